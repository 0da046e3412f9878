#include "ArchiveFixtures.h"
#include "ConfigHome.h"
#include "Main.h"
#include "MessageBox.h"

#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <stdexcept>
#include <sys/stat.h>

using platform::MsgButtons;
using platform::MsgIcon;
using platform::MsgResult;
using platform::RecordingMessageBox;

namespace {

const QString kUnknown = QString::fromUtf8("Неизвестный формат архива");
const QString kLoadFailed = QString::fromUtf8("Не удалось загрузить фаил!");

// Also notes the cursor each box was shown under: -1 when none was set.
class CursorBoxes : public RecordingMessageBox {
public:
    MsgResult Show(const QString& text, const QString& caption, MsgButtons buttons,
                   MsgIcon icon) override {
        const QCursor* cursor = QGuiApplication::overrideCursor();
        cursors.push_back(cursor ? int(cursor->shape()) : -1);
        return RecordingMessageBox::Show(text, caption, buttons, icon);
    }
    QStringList Texts() const {
        QStringList out;
        for (const auto& b : Boxes())
            out << b.text;
        return out;
    }
    std::vector<int> cursors;
};

class FakeDialogs : public TFileDialogs {
public:
    QString RunArchiveOpenDialog() override { return openName; }
    QString ArchiveOpenFileName() const override { return openName; }
    QString RunCsvSaveDialog(const QString& fileName) override {
        asked << fileName;
        if (fail)
            throw std::runtime_error("dialog failed");
        return answer;
    }
    QString openName;
    QString answer;
    QStringList asked;
    bool fail = false;
};

TRegionalSettings Comma() {
    TRegionalSettings s;
    s.DecimalSeparator = ",";
    return s;
}

class MainWindow : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        form.SetRegionalSettings(Comma());
        form.SetFileDialogs(&dialogs);
    }

    QString Write(const QString& name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(fixtures::WriteFile(path, bytes));
        return path;
    }

    QString Panel(int i) const { return form.ViewStatusPanels[i]->text(); }

    void ExpectCleared() {
        EXPECT_EQ(form.windowTitle(), "Brisquel");
        EXPECT_EQ(form.ViewGrid->ColCount(), 30);
        EXPECT_EQ(form.ViewGrid->RowCount(), 30);
        EXPECT_EQ(form.ViewGrid->Cells(1, 1), "");
        EXPECT_EQ(Panel(0), "");
        EXPECT_EQ(Panel(1), "");
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    }

    QTemporaryDir dir;
    CursorBoxes boxes;
    FakeDialogs dialogs;
    TTolvaForm form;
};

const QByteArray kGood = fixtures::Archive({"12:00:00;ok;1,5;", "12:00:01;;-2;NaN"});

} // namespace

TEST_F(MainWindow, RecognisesTheFormByContent) {
    const QByteArray plain = kGood;
    const QByteArray odd = kGood + "7";
    QByteArray garbageAfterKey = fixtures::Encipher(plain);
    garbageAfterKey[5] = 'x';
    const struct {
        const char* what;
        QByteArray file;
        bool opens;
        QStringList boxes;
        QByteArray stream; // what the stream holds afterwards
        int formatKind;
    } cases[] = {
        {"plain", plain, true, {}, plain, 1},
        {"enciphered", fixtures::Encipher(plain), true, {}, plain, 1},
        {"enciphered, odd length", fixtures::Encipher(odd), true, {}, odd, 1},
        {"plain ending in key bytes", plain + "1;\x28\x53", true, {}, plain + "1;\x28\x53", 1},
        // Too short to look at: the kind stays what the last open left.
        {"9 bytes", plain.left(9), false, {kUnknown}, plain.left(9), 1},
        {"10 bytes", plain.left(10), false, {kUnknown}, plain.left(10), 0},
        {"193 bytes", plain.left(193), false, {kUnknown}, plain.left(193), 0},
        {"other first byte", "X" + plain.mid(1), false, {kUnknown}, "X" + plain.mid(1), 0},
        {"key byte, no header",
         garbageAfterKey,
         false,
         {kUnknown},
         fixtures::Encipher(garbageAfterKey),
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        boxes.Clear();
        const QString path = Write("a.xxx", c.file);
        EXPECT_EQ(form.OpenArchive(path), c.opens);
        EXPECT_EQ(boxes.Texts(), c.boxes);
        EXPECT_EQ(form.GetArchiveStream(), c.stream);
        EXPECT_EQ(form.GetFormatKind(), c.formatKind);
        EXPECT_EQ(form.windowTitle(), c.opens ? "Brisquel - a.xxx" : "Brisquel");
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
        if (c.opens) {
            EXPECT_EQ(form.ViewGrid->ColCount(), 66);
            EXPECT_EQ(form.ViewGrid->RowCount(), form.GetArchiveLines().Count());
            EXPECT_GE(form.ViewGrid->RowCount(), 3);
            EXPECT_EQ(form.ViewGrid->Cells(2, 1), "1,50");
        } else {
            ExpectCleared();
        }
    }
    for (const auto& b : boxes.Boxes()) {
        EXPECT_EQ(b.caption, QString::fromUtf8("Внимание"));
        EXPECT_EQ(b.buttons, MsgButtons::Ok);
        EXPECT_EQ(b.icon, MsgIcon::Warning);
    }
}

TEST_F(MainWindow, HostileFilesOpenOrFailCleanly) {
    // Each is opened, shown and painted down to its last row without reading past a line.
    QByteArray garbage(4096, 0);
    for (qsizetype i = 0; i < garbage.size(); ++i)
        garbage[i] = char((i * 7919 + 13) % 251 + 1); // no NUL: every line is read
    QByteArray keyedGarbage = garbage;
    keyedGarbage[0] = '\x28';
    QByteArray fields200 = "12:00:00;;";
    for (int i = 0; i < 200; ++i)
        fields200 += "1,5;";
    const QByteArray header = fixtures::Header();
    const QString question = QString::fromUtf8("Обноружено %1 ошибок в архиве!!\r\n"
                                               "Продолжать в любом случае?");
    const struct {
        const char* what;
        QByteArray file;
        QStringList boxes;
        int rows; // 0: not opened; -1: opened, rows and errors not counted here
    } cases[] = {
        {"empty", {}, {kUnknown}, 0},
        {"T alone", "T", {kUnknown}, 0},
        {"enciphered T alone", "\x28", {kUnknown}, 0},
        {"garbage", garbage, {kUnknown}, 0},
        {"garbage behind the key byte", keyedGarbage, {kUnknown}, 0},
        {"header and garbage", header + garbage, {}, -1},
        {"CR only", header + "\r12:00;;1\r\r12:01;;2\r", {question.arg(1)}, 4},
        {"200 fields", header + "\r\n" + fields200, {}, 2},
        {"semicolons only", header + "\n" + QByteArray(100000, ';'), {question.arg(1)}, 2},
        {"one long value", header + "\n1;;" + QByteArray(100000, '7'), {question.arg(1)}, 2},
        {"one long time", header + "\n" + QByteArray(100000, '1'), {question.arg(1)}, 2},
        {"NUL in a line", header + "\n12:00;;1" + QByteArray(1, '\0') + "x\n1", {}, 2},
    };
    form.resize(700, 500);
    form.show();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        boxes.Clear();
        EXPECT_EQ(form.OpenArchive(Write("h.xxx", c.file)), c.rows != 0);
        form.ViewGrid->scrollToBottom();
        form.ViewGrid->grab();
        if (c.rows < 0) {
            ASSERT_EQ(boxes.Count(), 1u); // the error count, answered OK
            EXPECT_GT(form.ViewGrid->RowCount(), 2);
            continue;
        }
        EXPECT_EQ(boxes.Texts(), c.boxes);
        if (c.rows > 0) {
            EXPECT_EQ(form.ViewGrid->RowCount(), c.rows);
            EXPECT_EQ(form.ViewGrid->ColCount(), 66);
        } else {
            ExpectCleared();
        }
    }
}

TEST_F(MainWindow, FileThatCannotBeRead) {
    // Neither opened nor read: a FIFO nobody writes to, an endless device, a file whose
    // size no memory holds (sparse, so it costs nothing on disk).
    const QString fifo = dir.filePath("fifo.xxx");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString huge = Write("huge.xxx", kGood);
    ASSERT_TRUE(QFile::resize(huge, qint64(1) << 40));
    ASSERT_TRUE(form.OpenArchive(Write("good.csv", kGood)));
    for (const QString& path :
         {dir.filePath("missing.xxx"), dir.path(), fifo, QStringLiteral("/dev/zero"), huge}) {
        SCOPED_TRACE(path.toStdString());
        boxes.Clear();
        EXPECT_FALSE(form.OpenArchive(path));
        EXPECT_EQ(boxes.Texts(), QStringList{kLoadFailed});
        ExpectCleared();
        EXPECT_TRUE(form.GetArchiveLines().IsEmpty());
    }
}

TEST_F(MainWindow, ErrorCountQuestion) {
    const QString path =
        Write("bad.xxx",
              fixtures::Encipher(fixtures::Archive({"25:00;;1,5;1.5", "", "12:00;;x;Eok;NaN"})));
    boxes.Answer(MsgResult::Cancel);
    EXPECT_FALSE(form.OpenArchive(path));
    EXPECT_EQ(boxes.Texts(), QStringList{QString::fromUtf8("Обноружено 4 ошибок в архиве!!\r\n"
                                                           "Продолжать в любом случае?")});
    EXPECT_EQ(boxes.Boxes()[0].buttons, MsgButtons::OkCancel);
    // Asked under the ordinary cursor; the busy one is gone afterwards.
    EXPECT_EQ(boxes.cursors, std::vector<int>{Qt::ArrowCursor});
    ExpectCleared();
    // The archive that was read stays for the export.
    EXPECT_EQ(form.GetArchiveLines().Count(), 4);
    EXPECT_EQ(form.GetDataGrid().RowCount(), 4);

    boxes.Clear();
    boxes.Answer(MsgResult::Ok);
    EXPECT_TRUE(form.OpenArchive(path));
    EXPECT_EQ(form.ViewGrid->RowCount(), 4);
    EXPECT_EQ(form.ViewGrid->Cells(0, 1), "-------");
    EXPECT_EQ(form.ViewGrid->Cells(0, 3), "12:00");
    EXPECT_EQ(form.windowTitle(), "Brisquel - bad.xxx");
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(MainWindow, StatusBarAndClearView) {
    ExpectCleared();
    ASSERT_TRUE(form.OpenArchive(Write("a.csv", kGood)));
    EXPECT_EQ(Panel(0), QString::fromUtf8("Строк :3"));
    EXPECT_EQ(Panel(1), QString::fromUtf8("Столбцов: 66"));
    ASSERT_TRUE(form.OpenArchive(Write("h.csv", fixtures::Header())));
    EXPECT_EQ(Panel(0), QString::fromUtf8("Строк :1"));
    ASSERT_TRUE(form.OpenArchive(Write("nul.csv", kGood.left(210) + '\0' + kGood.mid(210))));
    EXPECT_EQ(Panel(0), QString::fromUtf8("Строк :2"));

    form.ClearView();
    ExpectCleared();
    EXPECT_TRUE(form.GetArchiveStream().isEmpty());
    EXPECT_TRUE(form.GetArchiveLines().IsEmpty());
    EXPECT_EQ(form.ViewGrid->currentIndex().row(), 1);
    EXPECT_EQ(form.ViewGrid->currentIndex().column(), 1);
    // Showing the table again with nothing loaded keeps the empty grid and panels, also
    // after a file that was read but is no archive.
    form.ShowTable();
    ExpectCleared();
    EXPECT_FALSE(form.OpenArchive(Write("x.csv", "not an archive at all")));
    ASSERT_FALSE(form.GetArchiveStream().isEmpty());
    form.ShowTable();
    ExpectCleared();
}

TEST_F(MainWindow, CurrentCellAndSelectionOutliveShowTable) {
    const auto current = [this] {
        const QModelIndex i = form.ViewGrid->currentIndex();
        return QPoint(i.column(), i.row());
    };
    // An open starts at the first value cell, where ClearView put it.
    ASSERT_TRUE(form.OpenArchive(Write("a.csv", kGood)));
    EXPECT_EQ(current(), QPoint(1, 1));

    // Showing the table again (the settings dialog's OK) keeps the cell and the range.
    TViewGrid& grid = *form.ViewGrid;
    grid.SetCurrentCell(3, 2);
    grid.selectionModel()->select(
        QItemSelection(grid.model()->index(1, 2), grid.model()->index(2, 4)),
        QItemSelectionModel::ClearAndSelect);
    form.ShowTable();
    EXPECT_EQ(current(), QPoint(3, 2));
    EXPECT_EQ(grid.selectionModel()->selectedIndexes().size(), 6);

    // A header-only archive has no value cell to be current.
    ASSERT_TRUE(form.OpenArchive(Write("h.csv", fixtures::Header())));
    EXPECT_EQ(current(), QPoint(-1, -1));
    // A smaller table brings the cell inside it: after a refused open the settings
    // dialog's OK shows the archive read into the empty 30 x 30 view.
    boxes.Answer(MsgResult::Cancel);
    ASSERT_FALSE(form.OpenArchive(Write("b.csv", fixtures::Archive({"25:00;;1"}))));
    grid.SetCurrentCell(29, 29);
    form.ShowTable();
    EXPECT_EQ(current(), QPoint(29, 1));
}

TEST_F(MainWindow, PrecisionAndFontAreAppliedByShowTable) {
    ASSERT_TRUE(form.OpenArchive(Write("a.csv", kGood)));
    form.SetPrecision(4);
    EXPECT_EQ(form.ViewGrid->Cells(2, 1), "1,50"); // until shown again
    form.ShowTable();
    EXPECT_EQ(form.ViewGrid->Cells(2, 1), "1,5000");
    form.SetPrecision(9);
    EXPECT_EQ(form.Precision(), 4);
    form.SetPrecision(-3);
    EXPECT_EQ(form.Precision(), 0);
    form.ShowTable();
    EXPECT_EQ(form.ViewGrid->Cells(3, 2), "NaN");
    EXPECT_EQ(form.ViewGrid->Cells(2, 2), "-2");

    QFont big = form.GridFont();
    big.setPointSize(big.pointSize() * 2);
    form.SetGridFont(big);
    form.ShowTable();
    const QFontMetrics metrics(big);
    EXPECT_EQ(form.ViewGrid->DefaultRowHeight(), metrics.horizontalAdvance("00") + 5);
    EXPECT_EQ(form.ViewGrid->FixedColWidth(), metrics.horizontalAdvance("00:00:00") + 10);
    form.resize(600, 400);
    form.show();
    QApplication::processEvents();
    EXPECT_EQ(form.ViewGrid->CellRect(0, 1).width() + 1, form.ViewGrid->FixedColWidth());
    EXPECT_EQ(form.ViewGrid->CellRect(3, 2).height() + 1, form.ViewGrid->DefaultRowHeight());
    EXPECT_EQ(form.ViewGrid->CellRect(3, 0).height() + 1, form.ViewGrid->DefaultRowHeight());
}

TEST_F(MainWindow, FixedRowAndColumnAreSizedAtTheirOuterEdges) {
    ASSERT_TRUE(form.OpenArchive(Write("a.csv", kGood)));
    form.show();
    QApplication::processEvents();
    const auto drag = [](QWidget* target, QPoint from, QPoint to) {
        QMouseEvent press(QEvent::MouseButtonPress, from, target->mapToGlobal(from), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QMouseEvent move(QEvent::MouseMove, to, target->mapToGlobal(to), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, to, target->mapToGlobal(to), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(target, &press);
        QApplication::sendEvent(target, &move);
        QApplication::sendEvent(target, &release);
    };
    TViewGrid& grid = *form.ViewGrid;
    const int width = grid.FixedColWidth();
    drag(grid.verticalHeader()->viewport(), QPoint(width - 1, 5), QPoint(width + 39, 5));
    EXPECT_EQ(grid.FixedColWidth(), width + 40);
    EXPECT_EQ(grid.CellRect(0, 1).width() + 1, width + 40);
    const int height = grid.FixedRowHeight();
    drag(grid.horizontalHeader()->viewport(), QPoint(5, height - 1), QPoint(5, height + 9));
    EXPECT_EQ(grid.FixedRowHeight(), height + 10);
    EXPECT_EQ(grid.CellRect(3, 0).height() + 1, height + 10);
    EXPECT_EQ(grid.CellRect(3, 1).height() + 1, grid.DefaultRowHeight());
    // Showing the table again sizes both from the font.
    form.ShowTable();
    EXPECT_EQ(grid.FixedColWidth(), width);
    EXPECT_EQ(grid.FixedRowHeight(), height);
}

namespace {

bool Near(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) < 8 && std::abs(a.green() - b.green()) < 8 &&
           std::abs(a.blue() - b.blue()) < 8;
}

// Pixels of a cell that differ clearly from its background.
int Ink(const QImage& image, const QRect& cell, QColor background) {
    int count = 0;
    for (int y = cell.top(); y <= cell.bottom(); ++y)
        for (int x = cell.left(); x <= cell.right(); ++x)
            if (!Near(image.pixelColor(x, y), background))
                ++count;
    return count;
}

int Maroon(const QImage& image, const QRect& cell) {
    int count = 0;
    for (int y = cell.top(); y <= cell.bottom(); ++y)
        for (int x = cell.left(); x <= cell.right(); ++x)
            if (Near(image.pixelColor(x, y), QColor(128, 0, 0)))
                ++count;
    return count;
}

} // namespace

TEST_F(MainWindow, GridColoursAndMarkedCells) {
    const QString path =
        Write("c.csv", fixtures::Archive({"12:00:00;Error;;NaN;1,5;", "bad;-------;;;;",
                                          "12:00:01;Error;;;;", "12:00:02;;;;;"}));
    form.SetHeadColor(0x00FF0000);                 // blue, as 00BBGGRR
    form.SetFerstColor(0x0000FF00);                // green
    form.SetSecondColor(viewer::kButtonFaceColor); // a system colour
    form.resize(700, 500);
    form.show();
    ASSERT_TRUE(form.OpenArchive(path)); // one bad time; the question is answered OK
    form.ViewGrid->clearFocus();
    form.ViewGrid->clearSelection();
    QApplication::processEvents();
    const QImage image = form.ViewGrid->grab().toImage();
    const auto cell = [&](int col, int row) { return form.ViewGrid->CellRect(col, row); };
    const auto corner = [&](int col, int row) {
        const QRect r = cell(col, row);
        return image.pixelColor(r.right(), r.bottom());
    };
    const QColor blue(0, 0, 255), green(0, 255, 0), face(0xF0, 0xF0, 0xF0);
    EXPECT_TRUE(Near(corner(0, 0), blue));
    EXPECT_TRUE(Near(corner(3, 0), blue));
    EXPECT_TRUE(Near(corner(0, 1), blue));
    EXPECT_TRUE(Near(corner(0, 2), blue));
    EXPECT_TRUE(Near(corner(5, 1), green));
    EXPECT_TRUE(Near(corner(5, 2), face));
    EXPECT_TRUE(Near(corner(5, 3), green));
    EXPECT_TRUE(Near(corner(5, 4), face));
    EXPECT_TRUE(Near(corner(1, 3), green));

    // "NaN" and the bad time are maroon; a value and the Error text are not.
    EXPECT_GT(Maroon(image, cell(3, 1)), 5);
    EXPECT_GT(Maroon(image, cell(0, 2)), 5);
    EXPECT_EQ(Maroon(image, cell(4, 1)), 0);
    EXPECT_GT(Ink(image, cell(4, 1), green), 5);
    EXPECT_EQ(Maroon(image, cell(1, 2)), 0);
    EXPECT_EQ(Maroon(image, cell(0, 3)), 0);
    // Bold: the header's "Error" and the bad time's hyphens carry more ink than the same
    // texts in the Error column.
    EXPECT_GT(Ink(image, cell(1, 0), blue), Ink(image, cell(1, 3), green) * 11 / 10);
    EXPECT_GT(Ink(image, cell(0, 2), blue), Ink(image, cell(1, 2), face) * 11 / 10);
}

TEST_F(MainWindow, ExportWritesTheLinesRead) {
    // Nothing loaded: no dialog.
    form.miFileExportCSVClick();
    EXPECT_TRUE(dialogs.asked.isEmpty());

    const QByteArray text = fixtures::Archive({"25:00;\xc0\xff;1,5;", "1;;2"}, "\n");
    const QString path = Write("arch.xxx", fixtures::Encipher(text));
    boxes.Answer(MsgResult::Cancel); // refuse to go on past the bad time
    ASSERT_FALSE(form.OpenArchive(path));

    const QByteArray expected = fixtures::Archive({"25:00;\xc0\xff;1,5;", "1;;2"}, "\r\n");
    dialogs.answer = dir.filePath("copy.csv");
    form.miFileExportCSVClick();
    EXPECT_EQ(dialogs.asked, QStringList{QString::fromUtf8("Копия")});
    EXPECT_EQ(fixtures::ReadFile(dir.filePath("copy.CSV")), expected);

    // An existing file is replaced only after OK.
    boxes.Clear();
    dialogs.openName = path;
    ASSERT_TRUE(fixtures::WriteFile(dir.filePath("copy.CSV"), "keep"));
    boxes.Answer(MsgResult::Cancel);
    form.miFileExportCSVClick();
    EXPECT_EQ(dialogs.asked.last(), QString::fromUtf8("Копияarch.xxx"));
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text,
              QString::fromUtf8("Файл copy.CSV уже существует!!\r\nЗаменить?"));
    EXPECT_EQ(boxes.Boxes()[0].buttons, MsgButtons::OkCancel);
    EXPECT_EQ(fixtures::ReadFile(dir.filePath("copy.CSV")), "keep");
    boxes.Answer(MsgResult::Ok);
    form.miFileExportCSVClick();
    EXPECT_EQ(fixtures::ReadFile(dir.filePath("copy.CSV")), expected);

    // Cancel in the dialog writes nothing.
    boxes.Clear();
    dialogs.answer.clear();
    form.miFileExportCSVClick();
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(MainWindow, ExportFailuresAreReported) {
    ASSERT_TRUE(form.OpenArchive(Write("a.csv", kGood)));
    boxes.Clear();
    dialogs.answer = dir.filePath("missing/out.csv");
    form.miFileExportCSVClick();
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text,
              QString::fromUtf8("Неудалось записать фаил") + dir.filePath("missing/out.CSV"));
    EXPECT_EQ(boxes.Boxes()[0].caption, QString::fromUtf8("Ошибка."));

    // An error from below shows in a box instead of unwinding the event loop.
    boxes.Clear();
    dialogs.fail = true;
    form.miFileExportCSVClick();
    EXPECT_EQ(boxes.Texts(), QStringList{"dialog failed"});
}

// A FIFO (or, for root, a device) under the export's name is not replaced, even after OK.
TEST_F(MainWindow, ExportOverWhatIsNotARegularFileIsReported) {
    const testfiles::HangGuard guard;
    ASSERT_TRUE(form.OpenArchive(Write("a.csv", kGood)));
    const QString target = dir.filePath("out.CSV");
    dialogs.answer = target;
    for (const mode_t kind : testfiles::kNotRegular) {
        SCOPED_TRACE(kind);
        QFile::remove(target);
        if (!testfiles::MakeNotRegular(target, kind))
            continue; // a device, and this process may not make one
        boxes.Clear();
        boxes.Answer(MsgResult::Ok);
        form.miFileExportCSVClick();
        ASSERT_EQ(boxes.Count(), 2u);
        EXPECT_EQ(boxes.Boxes()[1].text, QString::fromUtf8("Неудалось записать фаил") + target);
        EXPECT_EQ(testfiles::FileKind(target), kind);
    }
}
