#pragma once
// The archive viewer's main window: reads an archive (load, recognise and decipher, parse,
// validate), shows it in the coloured grid and exports its lines as CSV.
#include "ArchiveFormat.h"
#include "CellText.h"
#include "FileDialogs.h"
#include "ViewColors.h"
#include "ViewGrid.h"

#include <QByteArray>
#include <QMainWindow>
#include <memory>

class QLabel;
class QStatusBar;

class TTolvaForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TTolvaForm(QWidget* parent = nullptr);
    ~TTolvaForm() override;

    TViewGrid* ViewGrid;
    QStatusBar* ViewStatusBar;
    QLabel* ViewStatusPanels[2]; // row count, column count

    // Clears the view, then loads, recognises, parses, validates and shows the file under
    // the busy cursor, stopping at the first step that fails (it has told the user). On
    // success the title names the file.
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

    // The archive as last read.
    const QByteArray& GetArchiveStream() const { return ArchiveStream; }
    quint8 GetFormatKind() const { return FormatKind; }
    const TDataGrid& GetDataGrid() const { return DataGrid; }
    const TArchiveLines& GetArchiveLines() const { return ArchiveLines; }

private:
    void FormCreate();

    // The open steps, in the order OpenArchive runs them; each reports its own failure.
    bool LoadArchiveFile(const QString& FileName);
    bool DetectFormat();
    void DecipherArchive();
    bool CheckTableHeader();
    bool ParseTable();
    bool ValidateTable();

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
};
