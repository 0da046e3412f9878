#include "Main.h"

#include "ConfiguratorImages.h"
#include "ProjectXML.h"
#include "WheelZoom.h"
#include "WindowParts.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const QString kCaption = QStringLiteral("Конфигуратор");
const QString kNoDevice = QStringLiteral("Нет устройства");
const QString kDisconnected = QStringLiteral("Отключено");
const QString kConnected = QStringLiteral("Работа");
const QString kRequests = QStringLiteral("Запросов ");
const QString kAnswers = QStringLiteral("Ответов ");

constexpr int kToolButtonWidth = 55;
constexpr int kToolButtonHeight = 54;
constexpr int kToolImageSize = 48;
constexpr int kToolSeparatorWidth = 8;
constexpr int kCoolBarHeight = 60;
constexpr int kServisePanelWidth = 200;
constexpr int kStatusPanelWidths[5] = {100, 100, 100, 100, 50};

// The application's style, with menu pictures of the given size.
class TMenuPictureStyle : public QProxyStyle {
public:
    explicit TMenuPictureStyle(int size)
        : QProxyStyle(QApplication::style()->name()), size_(size) {}

    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        return metric == PM_SmallIconSize ? size_
                                          : QProxyStyle::pixelMetric(metric, option, widget);
    }

private:
    int size_;
};

enum TStatusPanel { spDevice = 0, spLink = 1, spRequests = 2, spAnswers = 3 };

Qt::WindowStates ToQtState(int32_t state) {
    switch (state) {
    case wsMinimized:
        return Qt::WindowMinimized;
    case wsMaximized:
        return Qt::WindowMaximized;
    default:
        // Only 0, 1 and 2 are ever written; anything else opens a normal window.
        return Qt::WindowNoState;
    }
}

int32_t FromQtState(Qt::WindowStates state) {
    if (state & Qt::WindowMinimized)
        return wsMinimized;
    if (state & (Qt::WindowMaximized | Qt::WindowFullScreen))
        return wsMaximized;
    return wsNormal;
}

QFrame* WhitePanel(QWidget* parent) {
    auto* panel = new QFrame(parent);
    panel->setFrameShape(QFrame::NoFrame);
    panel->setAutoFillBackground(true);
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, Qt::white);
    panel->setPalette(palette);
    // What the project puts in fills the panel.
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return panel;
}

// Without the connection-progress dialog (a window tested alone) reports go nowhere.
class TNoConnectProcess : public TConnectProcessLink {
public:
    void SetStage(const QString&, int32_t) override {}
    void Post(const TConnectProgress&) override {}
};

} // namespace

// What the open project sees of the main window.
class TQeldForm::THost : public TProjectHost {
public:
    explicit THost(TQeldForm& form) : Form(form) {}

    QWidget* MainPanel() override { return Form.MainPanel; }
    QWidget* ServisePanel() override { return Form.ServisePanel; }
    void SetDevicePanelText(const QString& text) override { Form.SetStatusText(spDevice, text); }
    void EnableBack() override { Form.EnableBack(); }
    void DisableBack() override { Form.DisableBack(); }
    QString TempDir() const override { return Form.TempDir(); }
    void DownloadStarts(const QString& path) override { Form.TempFolder.DownloadStarts(path); }
    void DownloadEnded(const QString& path) override { Form.TempFolder.DownloadEnded(path); }
    void SetCommandsEnabled(bool enabled) override { Form.SetUIEnabled(enabled); }
    TMainWindowLink& MainWindowLink() override { return Form; }
    TConnectProcessLink& ConnectProcessLink() override {
        if (Form.Forms.ConnectProcess)
            return Form.Forms.ConnectProcess->Link();
        return NoDialog;
    }
    TBoxHandOver* BoxHandOver() override { return Form.Forms.Boxes; }
    TWaitHook* WaitHook() override { return &Form.LinkWait; }
    TCardProgress* CardProgress() override { return &Form; }
    TRetryPrompt* RetryPrompt() override { return Form.Forms.RetryPrompt; }
    void OpenDocument(const QString& path) override {
        // A download that the closing window cancelled is not opened: its folder goes
        // with the program.
        if (!Form.CloseAfterDownload && Form.OpenDocument)
            Form.OpenDocument(path);
    }

private:
    TQeldForm& Form;
    TNoConnectProcess NoDialog;
};

// The open project as the link-settings and connection-progress dialogs see it.
class TQeldForm::TProjectLinks : public TProjectAddress, public TConnectProject {
public:
    explicit TProjectLinks(TXMLProject& project) : Project(project) {}

    uint8_t Address() const override { return Project.Address; }
    void SetAddress(uint8_t address) override { Project.Address = address; }
    void RefreshView() override { Project.RefreshView(); }
    void Disconnect() override { Project.Disconnect(); }

private:
    TXMLProject& Project;
};

TQeldForm::TQeldForm(const TQeldFormSetup& setup, QWidget* parent)
    : QMainWindow(parent), Store(setup.Settings ? *setup.Settings : platform::UserSettings()),
      TempFolder(setup.ProgramFolder.isEmpty() ? QCoreApplication::applicationDirPath()
                                               : setup.ProgramFolder),
      QtDialogs(std::make_unique<TQtQeldFileDialogs>(this)), Dialogs(QtDialogs.get()),
      OpenDocument([](const QString& path) { OpenWithDesktop(path); }),
      Host(std::make_unique<THost>(*this)) {
    setObjectName(QStringLiteral("QeldForm"));
    setWindowTitle(kCaption);
    setWindowIcon(QIcon(QPixmap::fromImage(configurator::Image(QStringLiteral("vendrill")))));
    SetLayoutFont(this);
    resize(777, 501);
    move(463, 299);
    CreateMenus();
    CreateToolBar();
    CreatePanels();
    CreateStatusBar();
    CreateProgressPanel();
    FormCreate();
    // Once the wait's caller has returned: it may still use the project.
    connect(&LinkWait, &TWindowWait::Ended, this, &TQeldForm::CloseAfterLinkWait,
            Qt::QueuedConnection);
}

TQeldForm::~TQeldForm() {
    FormDestroy();
}

void TQeldForm::SetFileDialogs(TQeldFileDialogs* dialogs) {
    Dialogs = dialogs ? dialogs : QtDialogs.get();
}

void TQeldForm::SetDocumentOpener(TDocumentOpener opener) {
    OpenDocument = std::move(opener);
}

// --- Building the window ---

void TQeldForm::CreateMenus() {
    const auto item = [this](QMenu* menu, const QString& text, void (TQeldForm::*handler)()) {
        QAction* action = menu->addAction(text);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    QMenuBar* bar = menuBar();
    MI_File = bar->addMenu(QStringLiteral("Фаил"));
    MI_FileOpen = item(MI_File, QStringLiteral("Открыть"), &TQeldForm::MI_FileOpenClick);
    MI_FileClose = item(MI_File, QStringLiteral("Закрыть"), &TQeldForm::MI_FileCloseClick);
    MI_FileSave = item(MI_File, QStringLiteral("Сохранить"), &TQeldForm::MI_FileSaveClick);
    MI_FileSaveAs = item(MI_File, QStringLiteral("Сохранить как"), &TQeldForm::MI_FileSaveAsClick);
    MI_File->addSeparator();
    MI_FileExit = item(MI_File, QStringLiteral("Выход"), &TQeldForm::MI_FileExitClick);

    MI_Conect = bar->addMenu(QStringLiteral("Связь"));
    MI_ConectGo = item(MI_Conect, QStringLiteral("Запуск"), &TQeldForm::MI_ConectGoClick);
    MI_ConectStop = item(MI_Conect, QStringLiteral("Останов"), &TQeldForm::MI_ConectStopClick);
    MI_ConectSet = item(MI_Conect, QStringLiteral("Настройка"), &TQeldForm::MI_ConectSetClick);

    MI_View = bar->addMenu(QStringLiteral("Вид"));
    MI_ViewIcon = item(MI_View, QStringLiteral("Иконки"), &TQeldForm::MI_ViewIconClick);
    MI_ViewTab = item(MI_View, QStringLiteral("Таблица"), &TQeldForm::MI_ViewTabClick);
    auto* viewGroup = new QActionGroup(this);
    for (QAction* action : {MI_ViewIcon, MI_ViewTab}) {
        action->setCheckable(true);
        viewGroup->addAction(action);
    }
    MI_ViewIcon->setChecked(true);
    MI_View->addSeparator();
    MI_ViewBack = item(MI_View, QStringLiteral("Назад"), &TQeldForm::MI_ViewBackClick);

    MI_Help = bar->addMenu(QStringLiteral("Помощь"));
    // Exists and does nothing.
    MI_HelpAbout = MI_Help->addAction(QStringLiteral("О программе"));

    ViewPopupMenu = new QMenu(this);
    const QList<QImage> styles = configurator::ViewStyleImages();
    PMI_ViewIcon = item(ViewPopupMenu, QStringLiteral("Иконки"), &TQeldForm::MI_ViewIconClick);
    PMI_ViewTab = item(ViewPopupMenu, QStringLiteral("Таблица"), &TQeldForm::MI_ViewTabClick);
    auto* popupGroup = new QActionGroup(this);
    for (int i = 0; QAction * action : {PMI_ViewIcon, PMI_ViewTab}) {
        action->setCheckable(true);
        action->setIcon(QIcon(QPixmap::fromImage(styles.value(i++))));
        popupGroup->addAction(action);
    }
    PMI_ViewIcon->setChecked(true);
    // The entries show their 48 x 48 pictures as they are. A menu takes its pictures' size
    // from its style alone, so this menu gets a style of its own.
    auto* pictures = new TMenuPictureStyle(kToolImageSize);
    pictures->setParent(ViewPopupMenu);
    ViewPopupMenu->setStyle(pictures);
}

QToolButton* TQeldForm::AddToolButton(const QString& hint, const QImage& image) {
    auto* button = new QToolButton(QeldToolBar);
    button->setToolTip(hint);
    button->setAccessibleName(hint);
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setIcon(QIcon(QPixmap::fromImage(image)));
    button->setIconSize(QSize(kToolImageSize, kToolImageSize));
    button->setFixedSize(kToolButtonWidth, kToolButtonHeight);
    button->setAutoRaise(true);
    QeldToolBar->layout()->addWidget(button);
    return button;
}

void TQeldForm::CreateToolBar() {
    QeldCoolBar = new QToolBar(this);
    QeldCoolBar->setObjectName(QStringLiteral("QeldCoolBar"));
    QeldCoolBar->setMovable(false);
    QeldCoolBar->setFloatable(false);
    QeldCoolBar->setContextMenuPolicy(Qt::PreventContextMenu);
    QeldCoolBar->setMinimumHeight(kCoolBarHeight);
    addToolBar(Qt::TopToolBarArea, QeldCoolBar);

    QeldToolBar = new QWidget(QeldCoolBar);
    QeldToolBar->setObjectName(QStringLiteral("QeldToolBar"));
    auto* row = new QHBoxLayout(QeldToolBar);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    const auto separator = [this] {
        auto* line = new QFrame(QeldToolBar);
        line->setFrameShape(QFrame::VLine);
        line->setFrameShadow(QFrame::Sunken);
        line->setFixedSize(kToolSeparatorWidth, kToolButtonHeight);
        QeldToolBar->layout()->addWidget(line);
    };
    const auto bind = [this](QToolButton* button, void (TQeldForm::*handler)()) {
        connect(button, &QToolButton::clicked, this, handler);
    };
    const QList<QImage> images = configurator::ToolBarImages();
    OpenToolButton = AddToolButton(QStringLiteral("Открыть"), images.value(0));
    bind(OpenToolButton, &TQeldForm::MI_FileOpenClick);
    CloseToolButton = AddToolButton(QStringLiteral("Закрыть"), images.value(1));
    bind(CloseToolButton, &TQeldForm::MI_FileCloseClick);
    SaveToolButton = AddToolButton(QStringLiteral("Сохранить"), images.value(2));
    bind(SaveToolButton, &TQeldForm::MI_FileSaveClick);
    separator();
    GoToolButton = AddToolButton(QStringLiteral("Запуск соединения"), images.value(3));
    bind(GoToolButton, &TQeldForm::MI_ConectGoClick);
    StopToolButton = AddToolButton(QStringLiteral("Останов соединения"), images.value(4));
    bind(StopToolButton, &TQeldForm::MI_ConectStopClick);
    SetToolButton = AddToolButton(QStringLiteral("Настройка соединения"), images.value(5));
    bind(SetToolButton, &TQeldForm::MI_ConectSetClick);
    separator();
    ViewToolButton = AddToolButton(QStringLiteral("Вид"), images.value(6));
    ViewToolButton->setMenu(ViewPopupMenu);
    ViewToolButton->setPopupMode(QToolButton::MenuButtonPopup);
    // The arrow comes beside the 55-pixel button, not out of it.
    ViewToolButton->setFixedWidth(
        kToolButtonWidth +
        style()->pixelMetric(QStyle::PM_MenuButtonIndicator, nullptr, ViewToolButton));
    BackToolButton = AddToolButton(QStringLiteral("Назад"), images.value(7));
    bind(BackToolButton, &TQeldForm::MI_ViewBackClick);
    separator();
    // Exists and does nothing.
    AboutToolButton = AddToolButton(QStringLiteral("О программе"), images.value(8));
    row->addStretch(1);
    QeldCoolBar->addWidget(QeldToolBar);
}

void TQeldForm::CreatePanels() {
    auto* client = new QWidget(this);
    auto* row = new QHBoxLayout(client);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    ServisePanel = WhitePanel(client);
    ServisePanel->setObjectName(QStringLiteral("ServisePanel"));
    ServisePanel->setFixedWidth(kServisePanelWidth);
    MainPanel = WhitePanel(client);
    MainPanel->setObjectName(QStringLiteral("MainPanel"));
    row->addWidget(ServisePanel);
    row->addWidget(MainPanel, 1);
    setCentralWidget(client);
}

void TQeldForm::CreateStatusBar() {
    QeldStatusBar = new QStatusBar(this);
    QeldStatusBar->setSizeGripEnabled(true);
    for (int i = 0; i < 5; ++i) {
        auto* panel = new QLabel(QeldStatusBar);
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        panel->setFixedWidth(kStatusPanelWidths[i]);
        QeldStatusBar->addWidget(panel);
        StatusPanels[i] = panel;
    }
    setStatusBar(QeldStatusBar);
}

void TQeldForm::CreateProgressPanel() {
    ProgressPanel = new QFrame(this);
    ProgressPanel->setObjectName(QStringLiteral("ProgressPanel"));
    ProgressPanel->setFrameShape(QFrame::Panel);
    ProgressPanel->setFrameShadow(QFrame::Raised);
    ProgressPanel->setAutoFillBackground(true);
    ProgressPanel->setGeometry(224, 168, 289, 113);
    ProgresLabel = new QLabel(ProgressPanel);
    ProgresLabel->move(10, 16);
    LoadProgressBar = new QProgressBar(ProgressPanel);
    LoadProgressBar->setGeometry(10, 32, 257, 17);
    LoadProgressBar->setTextVisible(false);
    SizeLabel = new QLabel(ProgressPanel);
    SizeLabel->move(10, 56);
    CancelLoadButton = new QPushButton(QStringLiteral("Отмена"), ProgressPanel);
    CancelLoadButton->setGeometry(104, 72, 75, 25);
    connect(CancelLoadButton, &QPushButton::clicked, this, &TQeldForm::CancelLoadButtonClick);
}

// --- Creation and destruction ---

void TQeldForm::FormCreate() {
    ProgressPanel->hide();
    QtDialogs->SetInitialDir(QCoreApplication::applicationDirPath());
    ResetConnectionUI();
    SetNoProjectUI();
    SetStatusText(spDevice, kNoDevice);
    SetStatusText(spLink, kDisconnected);
    LoadSettings();
    Requests = 0;
    Answers = 0;
    WheelHook = new TWheelZoomHook([this](int step) { AppMessage(step); }, this);
    qApp->installEventFilter(WheelHook);
    // A folder that cannot be made shows only when a download into it fails.
    TempFolder.Create();
}

void TQeldForm::FormDestroy() {
    // Nothing is served while the window goes.
    ReleaseProject();
    qApp->removeEventFilter(WheelHook);
    SaveSettings();
    TempFolder.Remove();
}

void TQeldForm::closeEvent(QCloseEvent* event) {
    // A box opened by what the close ends (a cancelled download's failed write, say)
    // would hold the close until it is answered.
    AsksNothing.Begin();
    if (LinkWait.Waiting()) {
        // The project must not go under the wait; what the wait was for starts nothing
        // once it is over, and the close is made then.
        CloseAfterWait = true;
        LinkWait.AskClose();
        event->ignore();
        return;
    }
    CloseAfterWait = false;
    if (DownloadRunning || (OpenedProject && OpenedProject->Downloading())) {
        // The download uses the window's controls: it ends (as a Cancel does) first, and
        // the window closes from the main loop once its caller has returned.
        CancelLoad = true;
        CloseAfterDownload = true;
        event->ignore();
        if (!DownloadRunning)
            QTimer::singleShot(0, this, &QWidget::close);
        return;
    }
    FreeProject();
    event->accept();
}

void TQeldForm::CloseAfterLinkWait() {
    if (CloseAfterWait)
        close();
}

void TQeldForm::FreeProject() {
    if (!OpenedProject)
        return;
    // While the project is whole: the window goes on drawing meanwhile, and the reports
    // of the link that reach it meanwhile reach the project.
    OpenedProject->EndLink();
    ReleaseProject();
}

void TQeldForm::ReleaseProject() {
    if (!OpenedProject)
        return;
    ProjectLinks.reset();
    OpenedProject.reset();
    // Its link has stopped with it: "Работа" would stay on a window with no link.
    SetStatusText(spLink, kDisconnected);
}

// --- Settings ---

TQeldSettings TQeldForm::CurrentSettings() const {
    TQeldSettings settings;
    settings.Width = width();
    settings.Height = height();
    settings.Left = x();
    settings.Top = y();
    settings.WinState = FromQtState(windowState());
    settings.Link = Link;
    return settings;
}

void TQeldForm::LoadSettings() {
    TQeldSettings settings = CurrentSettings();
    settings.Width = 600;
    settings.Height = 400;
    settings.WinState = wsNormal;
    settings.Link = TLinkValues{};
    settings.Load(Store);
    resize(settings.Width, settings.Height);
    move(settings.Left, settings.Top);
    setWindowState(ToQtState(settings.WinState));
    Link = settings.Link;
}

void TQeldForm::SaveSettings() {
    // A value the store refuses is lost like a registry write that fails: nothing to tell.
    CurrentSettings().Save(Store);
}

// --- States ---

void TQeldForm::SetConnectedUI() {
    MI_ConectGo->setEnabled(false);
    GoToolButton->setEnabled(false);
    MI_ConectStop->setEnabled(true);
    StopToolButton->setEnabled(true);
    SetStatusText(spLink, kConnected);
}

void TQeldForm::SetDisconnectedUI() {
    MI_ConectGo->setEnabled(true);
    GoToolButton->setEnabled(true);
    MI_ConectStop->setEnabled(false);
    StopToolButton->setEnabled(false);
    SetStatusText(spLink, kDisconnected);
}

void TQeldForm::ResetConnectionUI() {
    MI_ConectGo->setEnabled(false);
    MI_ConectStop->setEnabled(false);
    GoToolButton->setEnabled(false);
    StopToolButton->setEnabled(false);
    Requests = 0;
    Answers = 0;
    SetStatusText(spRequests, kRequests + QString::number(Requests));
    SetStatusText(spAnswers, kAnswers + QString::number(Answers));
}

void TQeldForm::SetNoProjectUI() {
    ResetConnectionUI();
    OpenToolButton->setEnabled(true);
    MI_FileOpen->setEnabled(true);
    for (QToolButton* button : {CloseToolButton, SaveToolButton, ViewToolButton, BackToolButton})
        button->setEnabled(false);
    for (QAction* action :
         {MI_FileClose, MI_FileSave, MI_FileSaveAs, MI_ViewIcon, MI_ViewTab, MI_ViewBack})
        action->setEnabled(false);
}

void TQeldForm::SetProjectUI() {
    OpenToolButton->setEnabled(false);
    MI_FileOpen->setEnabled(false);
    for (QToolButton* button : {CloseToolButton, SaveToolButton, ViewToolButton})
        button->setEnabled(true);
    for (QAction* action : {MI_FileClose, MI_FileSave, MI_FileSaveAs, MI_ViewIcon, MI_ViewTab})
        action->setEnabled(true);
    SetDisconnectedUI();
}

void TQeldForm::EnableBack() {
    BackToolButton->setEnabled(true);
    MI_ViewBack->setEnabled(true);
}

void TQeldForm::DisableBack() {
    BackToolButton->setEnabled(false);
    MI_ViewBack->setEnabled(false);
}

void TQeldForm::SetUIEnabled(bool enabled) {
    QeldCoolBar->setEnabled(enabled);
    for (QMenu* menu : {MI_File, MI_Conect, MI_View, MI_Help})
        menu->menuAction()->setEnabled(enabled);
}

void TQeldForm::SetStatusText(int panel, const QString& text) {
    if (panel >= 0 && panel < 5)
        StatusPanels[panel]->setText(text);
}

QString TQeldForm::StatusText(int panel) const {
    return panel >= 0 && panel < 5 ? StatusPanels[panel]->text() : QString();
}

void TQeldForm::CountRequest() {
    ++Requests;
    SetStatusText(spRequests, kRequests + QString::number(Requests));
}

void TQeldForm::CountAnswer() {
    ++Answers;
    SetStatusText(spAnswers, kAnswers + QString::number(Answers));
}

// --- Commands ---

void TQeldForm::MI_FileOpenClick() {
    const QString fileName = Dialogs->RunOpenDialog();
    if (fileName.isEmpty())
        return;
    repaint();
    FreeProject();
    OpenedProject = std::make_unique<TXMLProject>(*Host, LinkParts);
    ProjectLinks = std::make_unique<TProjectLinks>(*OpenedProject);
    if (OpenedProject->LoadFromFile(fileName)) {
        SetProjectUI();
        return;
    }
    FreeProject();
    SetNoProjectUI();
}

void TQeldForm::MI_FileCloseClick() {
    FreeProject();
    SetNoProjectUI();
}

void TQeldForm::MI_FileSaveClick() {
    if (OpenedProject)
        OpenedProject->Save();
}

void TQeldForm::MI_FileSaveAsClick() {
    if (!OpenedProject)
        return;
    const QString fileName = Dialogs->RunSaveDialog();
    if (!fileName.isEmpty())
        OpenedProject->SaveAs(fileName);
}

void TQeldForm::MI_FileExitClick() {
    close();
}

void TQeldForm::MI_ConectGoClick() {
    if (OpenedProject)
        OpenedProject->Connect();
}

void TQeldForm::MI_ConectStopClick() {
    if (OpenedProject)
        OpenedProject->Disconnect();
}

void TQeldForm::MI_ConectSetClick() {
    if (Forms.ConSet)
        Forms.ConSet->ShowSettings();
}

void TQeldForm::CheckViewStyle(int style) {
    (style == 0 ? MI_ViewIcon : MI_ViewTab)->setChecked(true);
    (style == 0 ? PMI_ViewIcon : PMI_ViewTab)->setChecked(true);
    if (OpenedProject)
        OpenedProject->SetViewStyle(static_cast<uint8_t>(style));
}

void TQeldForm::MI_ViewIconClick() {
    CheckViewStyle(0);
}

void TQeldForm::MI_ViewTabClick() {
    CheckViewStyle(1);
}

void TQeldForm::MI_ViewBackClick() {
    if (OpenedProject)
        OpenedProject->GoBack();
}

void TQeldForm::AppMessage(int step) {
    if (!OpenedProject)
        return;
    if (step > 0)
        OpenedProject->ZoomIn();
    else
        OpenedProject->ZoomOut();
}

TProjectAddress* TQeldForm::ProjectAddress() {
    return ProjectLinks.get();
}

TConnectProject* TQeldForm::OpenProject() {
    return ProjectLinks.get();
}

// --- The download's progress panel ---

void TQeldForm::SetBusyCursor(bool busy) {
    if (busy == BusyCursorSet)
        return;
    BusyCursorSet = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::BusyCursor);
    else
        QApplication::restoreOverrideCursor();
}

void TQeldForm::SetProgressRange(int minimum, int maximum) {
    LoadProgressBar->setRange(minimum, maximum);
    LoadProgressBar->setValue(0);
}

void TQeldForm::SetProgressPosition(int position) {
    LoadProgressBar->setValue(position);
}

void TQeldForm::SetPathText(const QString& path) {
    ProgresLabel->setText(path);
    ProgresLabel->adjustSize();
}

void TQeldForm::SetSizeText(const QString& text) {
    SizeLabel->setText(text);
    SizeLabel->adjustSize();
}

void TQeldForm::ShowPanel() {
    // The path as drawn in the window's own font sets the width.
    const int pathWidth = fontMetrics().horizontalAdvance(ProgresLabel->text());
    const QRect outer = frameGeometry();
    const TProgressPanelLayout layout =
        LayoutProgressPanel(pathWidth, CancelLoadButton->width(), ProgressPanel->height(),
                            outer.width(), outer.height());
    ProgressPanel->resize(layout.PanelWidth, ProgressPanel->height());
    LoadProgressBar->resize(layout.BarWidth, LoadProgressBar->height());
    CancelLoadButton->move(layout.ButtonLeft, CancelLoadButton->y());
    ProgressPanel->move(layout.PanelLeft, layout.PanelTop);
    DownloadRunning = true;
    ProgressPanel->show();
    ProgressPanel->raise();
    CancelLoadButton->setFocus();
    repaint();
}

void TQeldForm::HidePanel() {
    ProgressPanel->hide();
    DownloadRunning = false;
    if (CloseAfterDownload)
        // From the main loop, once the download's caller has returned.
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void TQeldForm::ProcessEvents() {
    QCoreApplication::processEvents();
}
