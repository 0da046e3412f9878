#include "Main.h"

#include "ArchiveMessages.h"
#include "BusyCursor.h"

#include <QFileInfo>
#include <QLabel>
#include <QPainter>
#include <QStatusBar>
#include <algorithm>

namespace {
const QString kTitle = QStringLiteral("Brisquel");
const QColor kMaroon(128, 0, 0);
constexpr int kEmptyGridSize = 30;
} // namespace

TTolvaForm::TTolvaForm(QWidget* parent)
    : QMainWindow(parent), ViewGrid(new TViewGrid(this)), ViewStatusBar(new QStatusBar(this)),
      FRegional(TRegionalSettings::System()), FQtDialogs(std::make_unique<TQtFileDialogs>(this)),
      FDialogs(FQtDialogs.get()) {
    resize(696, 480);
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

void TTolvaForm::FormCreate() {
    ArchiveKey = viewer::kArchiveKey;
    FormatKind = 0;
    ClearView();
    AdjustGridSizes();
    UpdateStatusBar();
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
    if (ArchiveStream.isEmpty()) {
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
