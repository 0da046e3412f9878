#pragma once
// The archive viewer's main window: reads an archive (load, recognise and decipher, parse,
// validate), shows it in the coloured grid and exports its lines as CSV. Its menus and tool
// bar open the settings, about and notice dialogs; its settings are read when it is
// created and written when it closes.
#include "ArchiveFormat.h"
#include "CellText.h"
#include "FileDialogs.h"
#include "ViewColors.h"
#include "ViewGrid.h"
#include "ViewerSettings.h"

#include <QByteArray>
#include <QMainWindow>
#include <QStringList>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QStatusBar;
class QToolBar;
class QToolButton;
class TAboutForm;
class TSetingsForm;
class TSoryForm;
class TVaskRegistry;

class TTolvaForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TTolvaForm(QWidget* parent = nullptr);
    ~TTolvaForm() override;

    TViewGrid* ViewGrid;
    QStatusBar* ViewStatusBar;
    QLabel* ViewStatusPanels[2]; // row count, column count

    // The menus.
    QMenu* miFile;
    QAction* miFileOpen;        // Ctrl+O
    QMenu* miFileExport;        // "Экспорт в"
    QAction* miFileExportCSV;   // Ctrl+S
    QAction* miFileExportExcel; // Ctrl+E
    QAction* miFileExportMySQL; // Ctrl+M
    QAction* miFileClose;
    QAction* miFileExit;
    QMenu* miView;
    QAction* miViewSetings;
    QMenu* miHelp;
    QAction* miHelpAbout;

    // The tool bar: 55 x 55 buttons with the 48 x 48 images; the save button's arrow opens
    // ExportPopupMenu.
    QToolBar* ViewToolBar;
    QToolButton* tbOpen;
    QToolButton* tbClose;
    QToolButton* tbSave;
    QToolButton* tbSetings;
    QToolButton* tbAbout;
    QMenu* ExportPopupMenu;
    QAction* miExportCSV;
    QAction* miExportExcel;
    QAction* miExportMySQL;

    // The dialogs the commands show; the program creates them after the window.
    void SetForms(TAboutForm* about, TSoryForm* sory, TSetingsForm* setings);
    // The command line's parameters; joined without separators they name the archive
    // opened when the window is first shown.
    void SetCommandLine(const QStringList& params) { FParams = params; }

    // The commands of the menus and the tool bar.
    // The open dialog: a picked file is opened, then the ".xxx" association is written
    // whether the open succeeded or not.
    void miFileOpenClick();
    void miFileCloseClick();
    void miFileExitClick();
    // The settings dialog; OK applies its values and shows the table again.
    void miViewSetingsClick();
    void miHelpAboutClick();
    // Only the notice: these exports do not exist in this version.
    void miFileExportExcelClick();
    void miFileExportMySQLClick();
    // Makes the viewer the opening program of ".xxx" files; a failure is shown in a box.
    void RegisterArchiveType();

    // Clears the view, moves OpenDir to the file's folder, then loads, recognises, parses,
    // validates and shows the file under the busy cursor, stopping at the first step that
    // fails (it has told the user). On success the title names the file.
    bool OpenArchive(const QString& FileName);

    // DataGrid into ViewGrid with the current precision, colours and font; always true.
    bool ShowTable();
    // Title "Brisquel", an empty 30 x 30 grid, no archive, empty status panels.
    void ClearView();
    // Row height and time-column width from the grid's font.
    void AdjustGridSizes();
    void UpdateStatusBar();
    // ViewGrid's owner-draw handler: paints the whole cell.
    void ViewGridDrawCell(QPainter& Canvas, int ACol, int ARow, const QRect& Rect,
                          TGridDrawState State);
    // Writes ArchiveLines as a ".CSV" file the user picks.
    void miFileExportCSVClick();

    // What the settings change; ShowTable applies them.
    int Precision() const { return FPrecision; }
    void SetPrecision(int value); // clamped to 0-4
    viewer::TColor HeadColor() const { return FHeadColor; }
    void SetHeadColor(viewer::TColor color) { FHeadColor = color; }
    viewer::TColor FerstColor() const { return FFerstColor; }
    void SetFerstColor(viewer::TColor color) { FFerstColor = color; }
    viewer::TColor SecondColor() const { return FSecondColor; }
    void SetSecondColor(viewer::TColor color) { FSecondColor = color; }
    QFont GridFont() const;
    void SetGridFont(const QFont& font);

    // The separators cells are read and shown with; the user's by default.
    const TRegionalSettings& RegionalSettings() const { return FRegional; }
    void SetRegionalSettings(const TRegionalSettings& settings) { FRegional = settings; }

    // The file dialogs; nullptr goes back to the built-in ones, which the window owns.
    TFileDialogs& FileDialogs() const { return *FDialogs; }
    TQtFileDialogs& QtFileDialogs() const { return *FQtDialogs; }
    void SetFileDialogs(TFileDialogs* dialogs);

    // The settings store, and the folders the settings keep.
    TVaskRegistry& GetRegistry() const { return *Registry; }
    const QString& GetOpenDir() const { return OpenDir; }
    const QString& GetSaveDir() const { return SaveDir; }

    // The archive as last read.
    const QByteArray& GetArchiveStream() const { return ArchiveStream; }
    quint8 GetFormatKind() const { return FormatKind; }
    const TDataGrid& GetDataGrid() const { return DataGrid; }
    const TArchiveLines& GetArchiveLines() const { return ArchiveLines; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void CreateMenus();
    void CreateToolBar();
    QToolButton* AddToolButton(const QString& hint, const QImage& image);
    // First show: opens the archive the command line names.
    void FormShow();
    // The window's placement, folders, precision and colours as the settings keep them.
    viewer::TViewerSettings CurrentSettings() const;
    void LoadSettings();
    void SaveSettings();

    // The open steps, in the order OpenArchive runs them; each reports its own failure.
    bool LoadArchiveFile(const QString& FileName);
    bool DetectFormat();
    void DecipherArchive();
    bool CheckTableHeader();
    bool ParseTable();
    bool ValidateTable();

    std::unique_ptr<TVaskRegistry> Registry;
    QString OpenDir;
    QString SaveDir;
    QByteArray ArchiveStream;
    quint16 ArchiveKey = 0;
    quint8 FormatKind = 0;
    TDataGrid DataGrid;
    TArchiveLines ArchiveLines;
    int FPrecision = 2;
    viewer::TColor FHeadColor = viewer::kHotTrackColor;
    viewer::TColor FFerstColor = viewer::kWhiteColor;
    viewer::TColor FSecondColor = viewer::kButtonFaceColor;

    TRegionalSettings FRegional;
    std::unique_ptr<TQtFileDialogs> FQtDialogs;
    TFileDialogs* FDialogs;
    TAboutForm* AboutForm = nullptr;
    TSoryForm* SoryForm = nullptr;
    TSetingsForm* SetingsForm = nullptr;
    QStringList FParams;
    bool FShown = false;
};
