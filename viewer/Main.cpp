#include "Main.h"

#include "About.h"
#include "ArchiveMessages.h"
#include "BusyCursor.h"
#include "LayoutFont.h"
#include "Setings.h"
#include "Sory.h"
#include "VaskRegistry.h"
#include "ViewerImages.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>

namespace {
const QString kTitle = QStringLiteral("Brisquel");
const QColor kMaroon(128, 0, 0);
constexpr int kEmptyGridSize = 30;
constexpr int kToolButtonSize = 55;
constexpr int kToolImageSize = 48;
constexpr int kToolSeparatorWidth = 8;
const QString kVersion = QStringLiteral("1.1001");

Qt::WindowStates ToQtState(viewer::TWindowState state) {
    switch (state) {
    case viewer::TWindowState::Minimized:
        return Qt::WindowMinimized;
    case viewer::TWindowState::Maximized:
        return Qt::WindowMaximized;
    case viewer::TWindowState::Normal:
        break;
    }
    return Qt::WindowNoState;
}

viewer::TWindowState FromQtState(Qt::WindowStates state) {
    if (state & Qt::WindowMinimized)
        return viewer::TWindowState::Minimized;
    if (state & (Qt::WindowMaximized | Qt::WindowFullScreen))
        return viewer::TWindowState::Maximized;
    return viewer::TWindowState::Normal;
}
} // namespace

TTolvaForm::TTolvaForm(QWidget* parent)
    : QMainWindow(parent), ViewGrid(new TViewGrid(this)), ViewStatusBar(new QStatusBar(this)),
      FRegional(TRegionalSettings::System()), FQtDialogs(std::make_unique<TQtFileDialogs>(this)),
      FDialogs(FQtDialogs.get()) {
    setWindowTitle(kTitle);
    setWindowIcon(QIcon(QPixmap::fromImage(viewer::Image(QStringLiteral("brisquel")))));
    // The grid inherits it: its row height and time column follow from it.
    platform::SetLayoutFont(this);
    resize(696, 480);
    move(203, 212);
    CreateMenus();
    CreateToolBar();
    setCentralWidget(ViewGrid);
    setStatusBar(ViewStatusBar);
    for (QLabel*& panel : ViewStatusPanels) {
        panel = new QLabel(ViewStatusBar);
        panel->setFixedWidth(100);
        ViewStatusBar->addWidget(panel);
    }
    ViewGrid->OnDrawCell = [this](QPainter& canvas, int col, int row, const QRect& rect,
                                  TGridDrawState state) {
        ViewGridDrawCell(canvas, col, row, rect, state);
    };
    FormCreate();
}

TTolvaForm::~TTolvaForm() = default;

void TTolvaForm::CreateMenus() {
    const auto item = [this](QMenu* menu, const QString& text, void (TTolvaForm::*handler)(),
                             const QKeySequence& shortcut = {}) {
        QAction* action = menu->addAction(text);
        action->setShortcut(shortcut);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    QMenuBar* bar = menuBar();
    miFile = bar->addMenu(QStringLiteral("Фаил"));
    miFileOpen = item(miFile, QStringLiteral("Открыть"), &TTolvaForm::miFileOpenClick,
                      QKeySequence(Qt::CTRL | Qt::Key_O));
    miFileExport = miFile->addMenu(QStringLiteral("Экспорт в"));
    miFileExportCSV = item(miFileExport, QStringLiteral("CSV"), &TTolvaForm::miFileExportCSVClick,
                           QKeySequence(Qt::CTRL | Qt::Key_S));
    miFileExportExcel =
        item(miFileExport, QStringLiteral("Excel"), &TTolvaForm::miFileExportExcelClick,
             QKeySequence(Qt::CTRL | Qt::Key_E));
    miFileExportMySQL =
        item(miFileExport, QStringLiteral("MySQL"), &TTolvaForm::miFileExportMySQLClick,
             QKeySequence(Qt::CTRL | Qt::Key_M));
    miFileClose = item(miFile, QStringLiteral("Закрыть"), &TTolvaForm::miFileCloseClick);
    miFile->addSeparator();
    miFileExit = item(miFile, QStringLiteral("Выход"), &TTolvaForm::miFileExitClick);
    miView = bar->addMenu(QStringLiteral("Вид"));
    miViewSetings = item(miView, QStringLiteral("Настойки"), &TTolvaForm::miViewSetingsClick);
    miHelp = bar->addMenu(QStringLiteral("Помощь"));
    miHelpAbout = item(miHelp, QStringLiteral("О программе"), &TTolvaForm::miHelpAboutClick);

    // The save button's drop-down; its items share the menu's handlers, not its shortcuts.
    ExportPopupMenu = new QMenu(this);
    miExportCSV = item(ExportPopupMenu, QStringLiteral("CSV"), &TTolvaForm::miFileExportCSVClick);
    miExportExcel =
        item(ExportPopupMenu, QStringLiteral("Excel"), &TTolvaForm::miFileExportExcelClick);
    miExportMySQL =
        item(ExportPopupMenu, QStringLiteral("MySQL"), &TTolvaForm::miFileExportMySQLClick);
}

QToolButton* TTolvaForm::AddToolButton(const QString& hint, const QImage& image) {
    auto* button = new QToolButton(ViewToolBar);
    button->setToolTip(hint);
    button->setAccessibleName(hint);
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setIcon(QIcon(QPixmap::fromImage(image)));
    button->setIconSize(QSize(kToolImageSize, kToolImageSize));
    button->setFixedSize(kToolButtonSize, kToolButtonSize);
    button->setAutoRaise(true);
    ViewToolBar->addWidget(button);
    return button;
}

void TTolvaForm::CreateToolBar() {
    ViewToolBar = new QToolBar(this);
    ViewToolBar->setObjectName(QStringLiteral("ViewToolBar"));
    ViewToolBar->setMovable(false);
    ViewToolBar->setFloatable(false);
    ViewToolBar->setContextMenuPolicy(Qt::PreventContextMenu);
    ViewToolBar->setIconSize(QSize(kToolImageSize, kToolImageSize));
    ViewToolBar->setContentsMargins(0, 0, 0, 0);
    ViewToolBar->setMinimumHeight(kToolButtonSize + 2);
    addToolBar(Qt::TopToolBarArea, ViewToolBar);

    const auto separator = [this] {
        auto* line = new QFrame(ViewToolBar);
        line->setFrameShape(QFrame::VLine);
        line->setFrameShadow(QFrame::Sunken);
        line->setFixedSize(kToolSeparatorWidth, kToolButtonSize);
        ViewToolBar->addWidget(line);
    };
    const QList<QImage> images = viewer::ToolBarImages();
    tbOpen = AddToolButton(QStringLiteral("Открыть фаил"), images.value(0));
    connect(tbOpen, &QToolButton::clicked, this, &TTolvaForm::miFileOpenClick);
    tbClose = AddToolButton(QStringLiteral("Закрыть фаил"), images.value(1));
    connect(tbClose, &QToolButton::clicked, this, &TTolvaForm::miFileCloseClick);
    tbSave = AddToolButton(QStringLiteral("Сохранить"), images.value(2));
    tbSave->setMenu(ExportPopupMenu);
    tbSave->setPopupMode(QToolButton::MenuButtonPopup);
    // The arrow comes beside the 55-pixel button, not out of it.
    tbSave->setFixedWidth(kToolButtonSize +
                          style()->pixelMetric(QStyle::PM_MenuButtonIndicator, nullptr, tbSave));
    connect(tbSave, &QToolButton::clicked, this, &TTolvaForm::miFileExportCSVClick);
    separator();
    tbSetings = AddToolButton(QStringLiteral("Настройки"), images.value(3));
    connect(tbSetings, &QToolButton::clicked, this, &TTolvaForm::miViewSetingsClick);
    separator();
    tbAbout = AddToolButton(QStringLiteral("О программе"), images.value(4));
    connect(tbAbout, &QToolButton::clicked, this, &TTolvaForm::miHelpAboutClick);
}

void TTolvaForm::FormCreate() {
    ArchiveKey = viewer::kArchiveKey;
    FormatKind = 0;
    // What a failed settings read does not reach keeps these.
    FPrecision = 0;
    FHeadColor = FFerstColor = FSecondColor = 0;
    Registry = std::make_unique<TVaskRegistry>();
    Registry->IconPng = viewer::ImagePng(QStringLiteral("brisquel"));
    LoadSettings();
    ClearView();
    AdjustGridSizes();
    UpdateStatusBar();
}

viewer::TViewerSettings TTolvaForm::CurrentSettings() const {
    viewer::TViewerSettings settings;
    settings.Width = width();
    settings.Height = height();
    settings.Left = x();
    settings.Top = y();
    settings.WindowState = FromQtState(windowState());
    settings.Dir = OpenDir;
    settings.SaveDir = SaveDir;
    settings.Precision = FPrecision;
    settings.HeadColor = FHeadColor;
    settings.FerstColor = FFerstColor;
    settings.SecondColor = FSecondColor;
    return settings;
}

void TTolvaForm::LoadSettings() {
    viewer::TViewerSettings settings = CurrentSettings();
    viewer::LoadSettings(*Registry, QCoreApplication::applicationDirPath(), settings);

    resize(settings.Width, settings.Height);
    move(settings.Left, settings.Top);
    setWindowState(ToQtState(settings.WindowState));
    FQtDialogs->SetArchiveOpenDir(settings.Dir);
    OpenDir = FQtDialogs->ArchiveOpenDir();
    FQtDialogs->SetSaveDir(settings.SaveDir);
    SaveDir = FQtDialogs->SaveDir();
    SetPrecision(settings.Precision);
    FHeadColor = settings.HeadColor;
    FFerstColor = settings.FerstColor;
    FSecondColor = settings.SecondColor;
}

void TTolvaForm::SaveSettings() {
    const viewer::TViewerSettings settings = CurrentSettings();
    viewer::SaveSettings(*Registry, settings, settings.WindowState == viewer::TWindowState::Normal);
}

void TTolvaForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!FShown) {
        FShown = true;
        FormShow();
    }
}

void TTolvaForm::FormShow() {
    if (FParams.isEmpty())
        return;
    // Once the window is on screen, so that the open's messages have it as their owner.
    const QString fileName = FParams.join(QString());
    QTimer::singleShot(0, this, [this, fileName] { OpenArchive(fileName); });
}

void TTolvaForm::closeEvent(QCloseEvent* event) {
    try {
        SaveSettings();
    } catch (const std::exception&) {
        // Settings that cannot be written are lost without a message.
    }
    QMainWindow::closeEvent(event);
}

void TTolvaForm::SetForms(TAboutForm* about, TSoryForm* sory, TSetingsForm* setings) {
    AboutForm = about;
    SoryForm = sory;
    SetingsForm = setings;
}

void TTolvaForm::miFileOpenClick() {
    QString fileName;
    try {
        fileName = FDialogs->RunArchiveOpenDialog();
    } catch (const std::exception& error) {
        viewer::ShowUnexpectedError(error);
        return;
    }
    if (fileName.isEmpty())
        return;
    OpenArchive(fileName);
    RegisterArchiveType();
}

void TTolvaForm::miFileCloseClick() {
    ClearView();
}

void TTolvaForm::miFileExitClick() {
    close();
}

void TTolvaForm::miViewSetingsClick() {
    if (!SetingsForm)
        return;
    SetingsForm->Load({FPrecision, FHeadColor, FFerstColor, FSecondColor, GridFont()}, font());
    if (SetingsForm->exec() != QDialog::Accepted)
        return;
    const TSetingsValues& values = SetingsForm->Values();
    SetHeadColor(values.HeadColor);
    SetSecondColor(values.SecondColor);
    SetFerstColor(values.FerstColor);
    SetPrecision(values.Precision);
    SetGridFont(values.GridFont);
    repaint();
    TBusyCursor busy;
    ShowTable();
}

void TTolvaForm::miHelpAboutClick() {
    if (!AboutForm)
        return;
    AboutForm->Version = kVersion;
    AboutForm->exec();
}

void TTolvaForm::miFileExportExcelClick() {
    if (SoryForm)
        SoryForm->exec();
}

void TTolvaForm::miFileExportMySQLClick() {
    if (SoryForm)
        SoryForm->exec();
}

void TTolvaForm::RegisterArchiveType() {
    TBusyCursor busy;
    try {
        Registry->RegisterFileType(QStringLiteral(".xxx"), QStringLiteral("xxxFile"));
    } catch (const std::exception& error) {
        // Not through the event loop: the user is told, and the archive stays open.
        TNormalCursor normal;
        viewer::ShowUnexpectedError(error);
    }
}

void TTolvaForm::SetPrecision(int value) {
    FPrecision = std::clamp(value, 0, 4);
}

QFont TTolvaForm::GridFont() const {
    return ViewGrid->font();
}

void TTolvaForm::SetGridFont(const QFont& font) {
    ViewGrid->setFont(font);
}

void TTolvaForm::SetFileDialogs(TFileDialogs* dialogs) {
    FDialogs = dialogs ? dialogs : FQtDialogs.get();
}

bool TTolvaForm::OpenArchive(const QString& FileName) {
    ClearView();
    // Before anything is read: the next open dialog starts there even when this open fails.
    if (!FileName.isEmpty())
        OpenDir = QFileInfo(FileName).absolutePath();
    TBusyCursor busy;
    try {
        if (!(LoadArchiveFile(FileName) && DetectFormat() && ParseTable() && ValidateTable() &&
              ShowTable()))
            return false;
    } catch (const std::exception& error) {
        // Out of memory, in practice: nothing half-shown stays, and the loop goes on.
        ClearView();
        TNormalCursor normal;
        viewer::ShowUnexpectedError(error);
        return false;
    }
    setWindowTitle(kTitle + QStringLiteral(" - ") + QFileInfo(FileName).fileName());
    repaint();
    return true;
}

bool TTolvaForm::LoadArchiveFile(const QString& FileName) {
    if (viewer::ReadArchiveFile(FileName, ArchiveStream))
        return true;
    TNormalCursor normal;
    viewer::ShowLoadFailed();
    return false;
}

bool TTolvaForm::DetectFormat() {
    if (ArchiveStream.size() < 10) {
        TNormalCursor normal;
        viewer::ShowUnknownFormat();
        return false;
    }
    if (viewer::LooksEnciphered(ArchiveStream, ArchiveKey))
        DecipherArchive();
    if (CheckTableHeader()) {
        FormatKind = 1;
        return true;
    }
    FormatKind = 0;
    TNormalCursor normal;
    viewer::ShowUnknownFormat();
    return false;
}

void TTolvaForm::DecipherArchive() {
    viewer::DecipherArchive(ArchiveStream, ArchiveKey);
}

bool TTolvaForm::CheckTableHeader() {
    return viewer::CheckTableHeader(ArchiveStream);
}

bool TTolvaForm::ParseTable() {
    ArchiveLines.Assign(ArchiveStream);
    DataGrid.ClearCells();
    if (FormatKind != 1)
        return false;
    if (DataGrid.Assign(ArchiveLines, viewer::kArchiveColumns))
        return true;
    TNormalCursor normal;
    viewer::ShowLoadFailed(); // more lines than a grid can count
    return false;
}

bool TTolvaForm::ValidateTable() {
    const qint64 errors = viewer::CountBadCells(DataGrid, FRegional);
    if (errors == 0)
        return true;
    TNormalCursor normal;
    return viewer::AskGoOnAfterErrors(errors);
}

bool TTolvaForm::ShowTable() {
    ViewGrid->Model()->Show(DataGrid, FPrecision, FRegional);
    AdjustGridSizes();
    ViewGrid->Refresh();
    UpdateStatusBar();
    return true;
}

void TTolvaForm::ClearView() {
    setWindowTitle(kTitle);
    DataGrid.SetSize(kEmptyGridSize, kEmptyGridSize);
    ViewGrid->Model()->Show(DataGrid, FPrecision, FRegional);
    ArchiveStream.clear();
    ArchiveLines.Clear();
    ViewGrid->SetCurrentCell(1, 1);
    repaint();
    UpdateStatusBar();
}

void TTolvaForm::AdjustGridSizes() {
    const QFontMetrics metrics(ViewGrid->font());
    ViewGrid->SetDefaultRowHeight(metrics.horizontalAdvance(QStringLiteral("00")) + 5);
    ViewGrid->SetFixedColWidth(metrics.horizontalAdvance(QStringLiteral("00:00:00")) + 10);
}

void TTolvaForm::UpdateStatusBar() {
    // No archive read: a file that is none keeps its bytes in the stream, but gives no
    // lines, and the grid it leaves is the empty one.
    if (ArchiveLines.IsEmpty()) {
        ViewStatusPanels[0]->clear();
        ViewStatusPanels[1]->clear();
        return;
    }
    ViewStatusPanels[0]->setText(QStringLiteral("Строк :") + QString::number(ViewGrid->RowCount()));
    ViewStatusPanels[1]->setText(QStringLiteral("Столбцов: ") +
                                 QString::number(ViewGrid->ColCount()));
}

void TTolvaForm::ViewGridDrawCell(QPainter& Canvas, int ACol, int ARow, const QRect& Rect,
                                  TGridDrawState State) {
    const TCellView cell = ViewGrid->Cell(ACol, ARow);
    QFont font = ViewGrid->font();
    // Selected cells keep the grid's text colour for them; the current cell does not.
    QColor textColor = ViewGrid->palette().color(
        State.Selected && !State.Focused ? QPalette::HighlightedText : QPalette::Text);
    Canvas.fillRect(Rect, viewer::ToQColor(ARow % 2 ? FFerstColor : FSecondColor));
    if (ARow == 0) {
        Canvas.fillRect(Rect, viewer::ToQColor(FHeadColor));
        font.setBold(true);
    } else if (ACol != 1) {
        if (!cell.Converts) {
            font.setBold(true);
            textColor = kMaroon;
        }
        if (ACol == 0)
            Canvas.fillRect(Rect, viewer::ToQColor(FHeadColor));
    }
    Canvas.setFont(font);
    Canvas.setPen(textColor);
    Canvas.drawText(Rect.adjusted(2, 3, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                    cell.Text);
}

void TTolvaForm::miFileExportCSVClick() {
    if (ArchiveLines.IsEmpty())
        return;
    try {
        const QString chosen =
            FDialogs->RunCsvSaveDialog(viewer::ExportDefaultName(FDialogs->ArchiveOpenFileName()));
        if (chosen.isEmpty())
            return;
        const QString target = viewer::ExportTargetPath(chosen);
        if (QFileInfo::exists(target) && !viewer::AskReplaceFile(QFileInfo(target).fileName()))
            return;
        if (!viewer::WriteArchiveLines(target, ArchiveLines))
            viewer::ShowWriteFailed(target);
    } catch (const std::exception& error) {
        viewer::ShowUnexpectedError(error);
    }
}
