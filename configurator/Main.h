#pragma once
// The configurator's main window: menus, the tool bar in its cool bar, the status bar, the
// detail panel's place (ServisePanel) and the list's (MainPanel), the download progress
// panel, and at most one open project. It keeps its geometry and the link settings in the
// settings store, zooms the list on Ctrl + mouse wheel anywhere in the program, and
// switches its commands between three states: no project, project open with the link
// stopped, and link running.
//
// It is what the link, the dialogs and the project see of the main window: the link
// settings and the connected and disconnected states (TMainWindowLink), the settings
// dialog's owner (TConSetOwner), the progress dialog's counters (TConnectProcessOwner)
// and the card download's progress panel (TCardProgress). Window thread only.
#include "CardProgress.h"
#include "ConProcess.h"
#include "ConnectSet.h"
#include "LinkWindows.h"
#include "MessageBox.h"
#include "ProjectXML.h"
#include "QeldDialogs.h"
#include "Settings.h"
#include "TempFolder.h"
#include "WindowWait.h"

#include <QMainWindow>
#include <functional>
#include <memory>

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QToolBar;
class QToolButton;
class TBoxHandOver;
class TRetryPrompt;
class TWheelZoomHook;

// Where the window keeps its settings and its temporary folder; tests give their own.
struct TQeldFormSetup {
    platform::SettingsStore* Settings = nullptr; // the user's store when none
    QString ProgramFolder;                       // the program file's folder when empty
};

// The windows the main window works with; the program creates them after it.
struct TQeldForms {
    TConSetForm* ConSet = nullptr;
    TConnectProcessForm* ConnectProcess = nullptr;
    TRetryPrompt* RetryPrompt = nullptr; // the exchange-error dialog
    TBoxHandOver* Boxes = nullptr;       // the port thread's message boxes
};

class TQeldForm : public QMainWindow,
                  public TMainWindowLink,
                  public TConSetOwner,
                  public TConnectProcessOwner,
                  public TCardProgress {
    Q_OBJECT
public:
    explicit TQeldForm(const TQeldFormSetup& setup = {}, QWidget* parent = nullptr);
    // Frees an open project (its link stopped first), writes the settings and removes the
    // temporary folder.
    ~TQeldForm() override;

    void SetForms(const TQeldForms& forms) { Forms = forms; }
    // The open and save dialogs; nullptr goes back to the real ones.
    void SetFileDialogs(TQeldFileDialogs* dialogs);
    // Frees the open project, if any: its link is stopped and its port thread has ended
    // when this returns. The window is served while the thread ends, as in the link's
    // other waits.
    void FreeProject();
    // The open project; nullptr while none is open.
    TXMLProject* Project() const { return OpenedProject.get(); }
    // How a downloaded card file is opened; the desktop's program by default.
    using TDocumentOpener = std::function<void(const QString& path)>;
    void SetDocumentOpener(TDocumentOpener opener);
    // How the projects opened from now on build their link; the system's clock and serial
    // devices by default.
    void SetLinkParts(const TProjectLinkParts& parts) { LinkParts = parts; }

    // --- Controls ---
    QToolBar* QeldCoolBar; // one band holding QeldToolBar
    QWidget* QeldToolBar;
    QToolButton* OpenToolButton;
    QToolButton* CloseToolButton;
    QToolButton* SaveToolButton;
    QToolButton* GoToolButton;
    QToolButton* StopToolButton;
    QToolButton* SetToolButton;
    QToolButton* ViewToolButton; // its arrow opens ViewPopupMenu; the button does nothing
    QToolButton* BackToolButton;
    QToolButton* AboutToolButton;
    QMenu* ViewPopupMenu;
    QAction* PMI_ViewIcon;
    QAction* PMI_ViewTab;

    QMenu* MI_File;
    QAction* MI_FileOpen;
    QAction* MI_FileClose;
    QAction* MI_FileSave;
    QAction* MI_FileSaveAs;
    QAction* MI_FileExit;
    QMenu* MI_Conect;
    QAction* MI_ConectGo;
    QAction* MI_ConectStop;
    QAction* MI_ConectSet;
    QMenu* MI_View;
    QAction* MI_ViewIcon;
    QAction* MI_ViewTab;
    QAction* MI_ViewBack;
    QMenu* MI_Help;
    QAction* MI_HelpAbout;

    QFrame* ServisePanel; // the detail panel's parent
    QFrame* MainPanel;    // the list's parent
    QStatusBar* QeldStatusBar;
    QLabel* StatusPanels[5]; // device, link state, requests, replies, empty

    QFrame* ProgressPanel;
    QLabel* ProgresLabel;
    QProgressBar* LoadProgressBar;
    QLabel* SizeLabel;
    QPushButton* CancelLoadButton; // "Отмена"

    // Set by CancelLoadButton, cleared and read by the card download.
    bool CancelLoad = false;

    // The folder downloaded card files go to, with the platform's separators.
    QString TempDir() const { return TempFolder.Path(); }
    void SetStatusText(int panel, const QString& text);
    QString StatusText(int panel) const;

    // --- Commands ---
    void MI_FileOpenClick();
    void MI_FileCloseClick();
    void MI_FileSaveClick();
    void MI_FileSaveAsClick();
    void MI_FileExitClick();
    void MI_ConectGoClick();
    void MI_ConectStopClick();
    void MI_ConectSetClick();
    void MI_ViewIconClick();
    void MI_ViewTabClick();
    void MI_ViewBackClick();
    void CancelLoadButtonClick() { CancelLoad = true; }

    // --- The three states ---
    void SetConnectedUI() override;
    void SetDisconnectedUI() override;
    void ResetConnectionUI();
    void SetNoProjectUI();
    void SetProjectUI();
    void EnableBack();
    void DisableBack();
    // While a card file downloads: the cool bar and the four menus take no input; the
    // progress panel's Cancel does.
    void SetUIEnabled(bool enabled);

    // --- TMainWindowLink: the link settings ---
    int32_t Port() const override { return Link.Port; }
    int32_t PortSpeed() const override { return Link.PortSpeed; }
    int32_t TimeOut() const override { return Link.TimeOut; }
    int32_t ScanRate() const override { return Link.ScanRate; }

    // --- TConSetOwner ---
    TLinkValues LinkValues() const override { return Link; }
    void SetLinkValues(const TLinkValues& values) override { Link = values; }
    TProjectAddress* ProjectAddress() override;
    // Geometry (only in the normal state), window state and link values.
    void SaveSettings() override;
    void LoadSettings();

    // --- TConnectProcessOwner ---
    void CountRequest() override;
    void CountAnswer() override;
    int32_t RequestCount() const override { return Requests; }
    int32_t AnswerCount() const { return Answers; }
    TConnectProject* OpenProject() override;

    // --- TCardProgress: the download's progress panel ---
    void SetBusyCursor(bool busy) override;
    void ClearCancel() override { CancelLoad = false; }
    bool CancelRequested() const override { return CancelLoad; }
    void SetProgressRange(int minimum, int maximum) override;
    void SetProgressPosition(int position) override;
    void SetPathText(const QString& path) override;
    void SetSizeText(const QString& text) override;
    void ShowPanel() override;
    void HidePanel() override;
    void ProcessEvents() override;

    // Ctrl + wheel, one step: the open project's list font grows (+1) or shrinks (-1).
    void AppMessage(int step);

    // What the window does while the link waits for its port thread.
    TWindowWait& WindowWait() { return LinkWait; }

    // True while a card file downloads (the progress panel is up).
    bool Downloading() const { return DownloadRunning; }
    // True once the window was asked to close during a download: it closes when the
    // download has ended, and the downloaded file is not opened.
    bool ClosePending() const { return CloseAfterDownload; }

protected:
    // From the first close asked on, nothing more is asked of the user: no message box
    // opens (platform::QuietClose). Closing during a download cancels it and closes once
    // it has ended; while the link waits for its port thread the window does not close,
    // and the close, the window manager's as well as the program's, is made once the wait
    // is over; otherwise the open project goes first, so that its port thread has ended
    // before any window it reports to is destroyed.
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void FormDestroy();
    void CreateMenus();
    void CreateToolBar();
    void CreatePanels();
    void CreateStatusBar();
    void CreateProgressPanel();
    QToolButton* AddToolButton(const QString& hint, const QImage& image);
    void CheckViewStyle(int style);
    TQeldSettings CurrentSettings() const;
    // FreeProject without serving the window.
    void ReleaseProject();
    void CloseAfterLinkWait();
    class THost;
    class TProjectLinks;

    platform::SettingsStore& Store;
    configurator::TTempFolder TempFolder;
    TLinkValues Link;
    int32_t Requests = 0;
    int32_t Answers = 0;
    TQeldForms Forms;
    std::unique_ptr<TQtQeldFileDialogs> QtDialogs;
    TQeldFileDialogs* Dialogs;
    TWheelZoomHook* WheelHook = nullptr;
    TWindowWait LinkWait;
    bool BusyCursorSet = false;
    bool DownloadRunning = false;
    bool CloseAfterDownload = false;
    bool CloseAfterWait = false; // a close came during a wait
    platform::QuietClose AsksNothing;
    TDocumentOpener OpenDocument;
    TProjectLinkParts LinkParts;
    std::unique_ptr<THost> Host;
    std::unique_ptr<TXMLProject> OpenedProject;
    std::unique_ptr<TProjectLinks> ProjectLinks; // what the dialogs see of OpenedProject
};
