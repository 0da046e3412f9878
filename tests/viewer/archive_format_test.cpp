#include "ArchiveFixtures.h"
#include "ArchiveFormat.h"
#include "ArchiveMessages.h"
#include "ArchiveModel.h"
#include "MessageBox.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace viewer;
using platform::MsgButtons;
using platform::MsgIcon;
using platform::MsgResult;
using platform::RecordingMessageBox;

namespace {

TRegionalSettings Comma() {
    TRegionalSettings s;
    s.DecimalSeparator = ",";
    return s;
}

QList<QByteArray> Lines(const QByteArray& text) {
    TArchiveLines lines;
    lines.Assign(text);
    QList<QByteArray> out;
    for (qsizetype i = 0; i < lines.Count(); ++i)
        out << lines.Line(i).toByteArray();
    return out;
}

TDataGrid Grid(const QByteArray& text) {
    TArchiveLines lines;
    lines.Assign(text);
    TDataGrid grid;
    EXPECT_TRUE(grid.Assign(lines, kArchiveColumns));
    return grid;
}

} // namespace

TEST(ArchiveCipher, MatchesTheByteWiseReference) {
    for (const QByteArray& plain :
         {fixtures::Archive({"12:00:00;;1,5;"}), fixtures::Archive({"12:00:00;;1,5;"}) + "x",
          QByteArray("T"), QByteArray()}) {
        SCOPED_TRACE(plain.size());
        QByteArray bytes = plain;
        DecipherArchive(bytes, kArchiveKey);
        EXPECT_EQ(bytes, fixtures::Encipher(plain));
        DecipherArchive(bytes, kArchiveKey);
        EXPECT_EQ(bytes, plain);
    }
    const QByteArray enciphered = fixtures::Encipher(fixtures::Header());
    EXPECT_EQ(quint8(enciphered[0]), 0x28);
    EXPECT_EQ(quint8(enciphered[1]), 0x53);
    EXPECT_TRUE(LooksEnciphered(enciphered, kArchiveKey));
    EXPECT_FALSE(LooksEnciphered(fixtures::Header(), kArchiveKey));
    EXPECT_FALSE(LooksEnciphered("Xime", kArchiveKey));
    EXPECT_FALSE(LooksEnciphered("", kArchiveKey));
}

TEST(ArchiveHeader, ExactTextAtOffsetZero) {
    const QByteArray header = fixtures::Header();
    ASSERT_EQ(header.size(), 194);
    QByteArray changed = header;
    changed[100] = '9' + 1;
    const struct {
        QByteArray bytes;
        bool ok;
    } cases[] = {
        {header, true},
        {header + "65;  extra\r\nrow", true},
        {header.left(193), false},
        {changed, false},
        {" " + header, false},
        {header.toLower(), false},
        {QByteArray(), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CheckTableHeader(c.bytes), c.ok) << c.bytes.left(20).toStdString();
}

TEST(ArchiveLines, LineEndsAndNul) {
    using L = QList<QByteArray>;
    const struct {
        QByteArray text;
        L lines;
    } cases[] = {
        {"a\r\nb", L{"a", "b"}},
        {"a\rb", L{"a", "b"}},
        {"a\nb", L{"a", "b"}},
        {"a\n\rb", L{"a", "", "b"}},
        {"a\r\r\nb", L{"a", "", "b"}},
        {"a\r\n", L{"a"}},
        {"a\r\n\r\n", L{"a", ""}},
        {"\n", L{""}},
        {"", L{}},
        {QByteArray("a\nb\0c\nd", 7), L{"a", "b"}},
        {QByteArray("\0a", 2), L{}},
        {"a\r", L{"a"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Lines(c.text), c.lines) << c.text.toStdString();
}

TEST(ArchiveGrid, FieldsByColumn) {
    QByteArray longLine;
    for (int i = 0; i < 70; ++i)
        longLine += "f" + QByteArray::number(i) + ";";
    const TDataGrid grid = Grid(fixtures::Header() + "\r\n" + "a;;b;\r\n" + "\r\n" + longLine +
                                "\r\n" + ";x\r\n" + "tail");
    EXPECT_EQ(grid.ColCount(), 66);
    EXPECT_EQ(grid.RowCount(), 6);
    const struct {
        int col, row;
        const char* text;
    } cases[] = {
        {0, 0, "Time"},
        {65, 0, "64"},
        {0, 1, "a"},
        {1, 1, ""},
        {2, 1, "b"},
        {3, 1, ""},
        {0, 2, ""},
        {65, 2, ""},
        {65, 3, "f65"}, // fields past the 66th are
                        // dropped, not folded into
                        // the last cell
        {0, 4, ""},
        {1, 4, "x"},
        {0, 5, "tail"},
        {0, 6, ""},
        {66, 1, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(grid.Cell(c.col, c.row), c.text) << c.col << "," << c.row;
}

TEST(ArchiveValidation, CountsBadTimeAndValueCells) {
    const QList<QByteArray> ok = {"12:34:56", "", "1,5", "", "NaN", "Ebad"};
    const struct {
        const char* what;
        QList<QByteArray> rows;
        qint64 errors;
    } cases[] = {
        {"good row", {ok.join(';')}, 0},
        {"empty line mid-file", {ok.join(';'), "", ok.join(';')}, 1},
        {"bad time", {"25:00;;1"}, 1},
        {"bad values", {"1;;1.5;e5;x;1,5;E;-"}, 4},
        {"error column and header never read", {"1;not a number;1"}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(CountBadCells(Grid(fixtures::Archive(c.rows)), Comma()), c.errors);
    }
    // The good row's texts, as stored.
    const TDataGrid grid = Grid(fixtures::Archive({ok.join(';')}));
    for (int col = 0; col < 6; ++col)
        EXPECT_EQ(grid.Cell(col, 1).toByteArray(), ok[col]);
    EXPECT_EQ(grid.Cell(6, 1), "");
    // A comma value counts under a point locale.
    TRegionalSettings point;
    point.DecimalSeparator = ".";
    EXPECT_EQ(CountBadCells(Grid(fixtures::Archive({"1;;1,5;1.5"})), point), 1);
}

TEST(ArchiveValidation, EveryCellFormAgreesWithTheGrammar) {
    // The count takes shortcuts for the usual values; wherever a cell stands in its line,
    // it must agree with the grammar.
    const QList<QByteArray> cells = {
        "",
        "0",
        "-",
        "+",
        ",",
        ".",
        "-,",
        "+,",
        ",5",
        "5,",
        "-,5",
        "1,2,3",
        "12345678",
        "1234567,",
        "123456,7",
        "+1,5",
        "-+1",
        "1-",
        "1,-",
        "5,,",
        "\xb5",
        "1\xb5",
        "1e5",
        "1E5",
        " 1",
        "1 ",
        "NaN",
        "NaNx",
        "E",
        "Ex",
        "e1",
        QByteArray(301, '9'),
        QByteArray(300, '9') + ",5",
        "0000000000000001",
        "1.5",
    };
    for (const QByteArray& separator : {QByteArray(","), QByteArray("."), QByteArray("dec")}) {
        TRegionalSettings settings;
        settings.DecimalSeparator = separator;
        for (const QByteArray& cell : cells) {
            SCOPED_TRACE(separator.toStdString() + " [" + cell.toStdString() + "]");
            const bool bad = !cell.isEmpty() && cell[0] != 'E' && cell != "NaN" &&
                             !TryTextToFloat(cell, settings);
            for (const QByteArray& row :
                 {"1;;" + cell + ";2;3;4;5;6;7;8;9", "1;;2;" + cell, "1;;" + cell + ";"})
                EXPECT_EQ(CountBadCells(Grid(fixtures::Archive({row})), settings), bad ? 1 : 0)
                    << row.toStdString();
        }
    }
}

TEST(ArchiveValidation, ErrorQuestion) {
    RecordingMessageBox boxes;
    boxes.Answer(MsgResult::Ok);
    boxes.Answer(MsgResult::Cancel);
    EXPECT_TRUE(AskGoOnAfterErrors(3));
    EXPECT_FALSE(AskGoOnAfterErrors(1234567));
    ASSERT_EQ(boxes.Count(), 2u);
    const auto box = boxes.Boxes()[1];
    EXPECT_EQ(box.text, QString::fromUtf8("Обноружено 1234567 ошибок в архиве!!\r\n"
                                          "Продолжать в любом случае?"));
    EXPECT_EQ(box.caption, QString::fromUtf8("Внимание"));
    EXPECT_EQ(box.buttons, MsgButtons::OkCancel);
    EXPECT_EQ(box.icon, MsgIcon::Warning);
}

TEST(ArchiveModel, ShowsFormattedCells) {
    TArchiveModel model;
    model.Show(
        Grid(fixtures::Archive({"12:00;\xc0\xff;1234567,89;;NaN;Ebad;x;-1e-2", "99:00;e;1"})), 2,
        Comma());
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.columnCount(), 66);
    const struct {
        int col, row;
        const char* text;
        bool converts;
    } cases[] = {
        {0, 0, "Time", true},  {2, 0, "1", true},          {0, 1, "12:00", true},
        {1, 1, "Ая", true},    {2, 1, "1234567,90", true}, {3, 1, "", false},
        {4, 1, "NaN", false},  {5, 1, "-------", false},   {6, 1, "-------", false},
        {7, 1, "-0,01", true}, {8, 1, "", false},          {0, 2, "-------", false},
        {1, 2, "e", true},     {2, 2, "1,00", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.col << "," << c.row);
        const TCellView cell = model.Cell(c.col, c.row);
        EXPECT_EQ(cell.Text, QString::fromUtf8(c.text));
        EXPECT_EQ(cell.Converts, c.converts);
        EXPECT_EQ(model.data(model.index(c.row, c.col)).toString(), cell.Text);
    }
    model.Show(Grid(fixtures::Archive({"1;" + QByteArray(10000, 'x')})), 2, Comma());
    EXPECT_EQ(model.Cell(1, 1).Text, QString(4096, u'x')); // what a cell can show at most
    model.Show(Grid(fixtures::Archive({"12:00;;1234567,89"})), 0, Comma());
    EXPECT_EQ(model.Cell(2, 1).Text, "1234568");
    TDataGrid empty;
    empty.SetSize(30, 30);
    model.Show(empty, 2, Comma());
    EXPECT_EQ(model.rowCount(), 30);
    EXPECT_EQ(model.columnCount(), 30);
    EXPECT_EQ(model.Cell(29, 29).Text, "");
}

TEST(ArchiveExport, WritesLinesWithCrLfAndKeepsBytes) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TArchiveLines lines;
    lines.Assign(QByteArray("Time;\xc0\xff\x98\na\rb\r\n\nc\0after", 22));
    const QString path = dir.filePath("out.CSV");
    ASSERT_TRUE(fixtures::WriteFile(path, "old contents that are longer than the new ones"));
    ASSERT_TRUE(WriteArchiveLines(path, lines));
    EXPECT_EQ(fixtures::ReadFile(path), QByteArray("Time;\xc0\xff\x98\r\na\r\nb\r\n\r\nc\r\n"));

    // A failure leaves no file, no temporary file, and an existing target as it was.
    EXPECT_FALSE(WriteArchiveLines(dir.filePath("missing/out.CSV"), lines));
    ASSERT_TRUE(QDir(dir.path()).mkpath("taken.CSV/inner"));
    EXPECT_FALSE(WriteArchiveLines(dir.filePath("taken.CSV"), lines));
    EXPECT_TRUE(QFileInfo(dir.filePath("taken.CSV/inner")).isDir());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"out.CSV"});
}

// An export may take a name as long as a folder takes (255 bytes), over an older file too.
TEST(ArchiveExport, TheLongestNameIsWritten) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TArchiveLines lines;
    lines.Assign("Time;a\n1;2");
    const QString path = dir.filePath(QString(251, u'e') + ".CSV");
    for (int write = 0; write < 2; ++write) {
        ASSERT_TRUE(WriteArchiveLines(path, lines)) << "write " << write;
        EXPECT_EQ(fixtures::ReadFile(path), QByteArray("Time;a\r\n1;2\r\n"));
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QFileInfo(path).fileName()});
}

TEST(ArchiveExport, FileNames) {
    EXPECT_EQ(ExportDefaultName(""), QString::fromUtf8("Копия"));
    EXPECT_EQ(ExportDefaultName("/data/arch 1.xxx"), QString::fromUtf8("Копияarch 1.xxx"));
    const struct {
        const char* chosen;
        const char* target;
    } cases[] = {
        {"/d/name.csv", "/d/name.CSV"},
        {"/d/name", "/d/name.CSV"},
        {"/d/a.b.txt", "/d/a.b.CSV"},
        {"/d.x/name", "/d.x/name.CSV"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExportTargetPath(QString::fromUtf8(c.chosen)), QString::fromUtf8(c.target));
}
