#include "ArchiveFixtures.h"
#include "ConfigHome.h"
#include "MessageBox.h"
#include "Program.h"
#include "SettingsStore.h"
#include "VaskRegistry.h"
#include "ViewerImages.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>

using platform::MsgButtons;
using platform::MsgIcon;
using platform::MsgResult;
using platform::RecordingMessageBox;
using viewer::TColor;

namespace {

const QString kExample = QStringLiteral(EXAMPLES_DIR "/archive-enciphered.xxx");
constexpr int kExampleRows = 201; // the header and 200 records
const QString kLoadFailed = QStringLiteral("Не удалось загрузить фаил!");

class RecordingDialogs : public TFileDialogs {
public:
    QString RunArchiveOpenDialog() override {
        ++openRuns;
        return openAnswer;
    }
    QString ArchiveOpenFileName() const override { return openAnswer; }
    QString RunCsvSaveDialog(const QString& fileName) override {
        saveAsked << fileName;
        return QString();
    }
    int openRuns = 0;
    QString openAnswer;
    QStringList saveAsked;
};

// The program as it starts, with message boxes that answer from the test. The settings
// and the association go to temporary folders.
class Program : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        // A closed window must not end the dialogs' loops of later tests.
        QApplication::setQuitOnLastWindowClosed(false);
        QFile::remove(platform::SettingsFilePath("Brisquelon"));
        qputenv("XDG_DATA_HOME", dir.filePath("data").toUtf8());
    }
    void TearDown() override {
        boxes.reset();
        program.reset();
        qunsetenv("XDG_DATA_HOME");
    }

    TTolvaForm& Start(const QStringList& params = {}) {
        boxes.reset();
        program.reset();
        program = std::make_unique<viewer::TBrisquelProgram>(params);
        boxes = std::make_unique<RecordingMessageBox>();
        Form().GetRegistry().RunTool = [this](const QString& tool, const QStringList&) {
            tools << tool;
        };
        return Form();
    }
    TTolvaForm& Form() { return program->TolvaForm; }

    // Runs act on the next modal dialog once its loop runs, then closes it if act did not.
    void WhenModal(std::function<void(QWidget*)> act) {
        QTimer::singleShot(0, [this, act] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal)
                return;
            ++modalsSeen;
            act(modal);
            if (modal->isVisible())
                modal->close();
        });
    }

    void ExpectCleared() {
        EXPECT_EQ(Form().windowTitle(), "Brisquel");
        EXPECT_EQ(Form().ViewGrid->ColCount(), 30);
        EXPECT_EQ(Form().ViewGrid->RowCount(), 30);
        EXPECT_EQ(Form().ViewStatusPanels[0]->text(), "");
        EXPECT_EQ(Form().ViewStatusPanels[1]->text(), "");
    }

    QStringList BoxTexts() const {
        QStringList texts;
        for (const auto& b : boxes->Boxes())
            texts << b.text;
        return texts;
    }

    // The example, opened from the command line and its question answered OK.
    TTolvaForm& StartWithExample() {
        TTolvaForm& form = Start({kExample});
        form.show();
        QApplication::processEvents();
        EXPECT_EQ(form.windowTitle(), "Brisquel - archive-enciphered.xxx");
        return form;
    }

    QTemporaryDir dir;
    std::unique_ptr<viewer::TBrisquelProgram> program;
    std::unique_ptr<RecordingMessageBox> boxes;
    QStringList tools;
    int modalsSeen = 0;
};

TEST(CommandLine, ParamsAfterTheProgramName) {
    char a0[] = "Brisquel", a1[] = "-style", a2[] = "fusion", a3[] = "/tmp/\xd0\xb0.xxx";
    char* argv[] = {a0, a1, a2, a3, nullptr};
    EXPECT_EQ(viewer::CommandLineParams(4, argv),
              QStringList({"-style", "fusion", QString::fromUtf8("/tmp/а.xxx")}));
    EXPECT_TRUE(viewer::CommandLineParams(1, argv).isEmpty());
    EXPECT_TRUE(viewer::CommandLineParams(0, argv).isEmpty());
}

TEST_F(Program, CommandLineOpensWhenFirstShown) {
    ASSERT_TRUE(QFile::copy(kExample, dir.filePath("my archive.xxx")));
    const QString half = kExample.left(kExample.size() - 9);
    const QString fifo = dir.filePath("fifo.xxx");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const struct {
        const char* what;
        QStringList params;
        MsgResult answer; // to the question about the example's bad cells
        QStringList texts;
        bool opens;
    } cases[] = {
        {"whole path", {kExample}, MsgResult::Ok, {}, true},
        {"joined without separators", {half, kExample.right(9)}, MsgResult::Ok, {}, true},
        {"Cancel at the question", {kExample}, MsgResult::Cancel, {}, false},
        // A blank split the path in two; joined, it names no file.
        {"blank lost", {dir.filePath("my"), "archive.xxx"}, MsgResult::Ok, {kLoadFailed}, false},
        {"Qt's own option", {"-style", "fusion"}, MsgResult::Ok, {kLoadFailed}, false},
        {"FIFO without a writer", {fifo}, MsgResult::Ok, {kLoadFailed}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TTolvaForm& form = Start(c.params);
        boxes->Answer(c.answer);
        QApplication::processEvents();
        ExpectCleared(); // nothing before the window is shown
        form.show();
        QApplication::processEvents();
        const QStringList texts = BoxTexts();
        if (c.texts.isEmpty()) {
            ASSERT_EQ(texts.size(), 1);
            EXPECT_TRUE(texts[0].startsWith(QStringLiteral("Обноружено 4 ошибок")))
                << texts[0].toStdString();
        } else {
            EXPECT_EQ(texts, c.texts);
        }
        if (c.opens) {
            EXPECT_EQ(form.windowTitle(), "Brisquel - archive-enciphered.xxx");
            EXPECT_EQ(form.ViewGrid->ColCount(), 66);
            EXPECT_EQ(form.ViewGrid->RowCount(), kExampleRows);
            EXPECT_EQ(form.ViewStatusPanels[0]->text(), "Строк :201");
            EXPECT_EQ(form.GetOpenDir(), EXAMPLES_DIR);
        } else {
            ExpectCleared();
        }
        // Only the first showing opens; the command line writes no association.
        boxes->Clear();
        form.hide();
        form.show();
        QApplication::processEvents();
        EXPECT_EQ(boxes->Count(), 0u);
        EXPECT_TRUE(tools.isEmpty());
        EXPECT_FALSE(QFile::exists(dir.filePath("data")));
    }
}

TEST_F(Program, MenusAndToolBar) {
    TTolvaForm& form = Start();
    form.show();
    const struct {
        QAction* action;
        const char* text;
        QKeySequence shortcut;
    } items[] = {
        {form.miFileOpen, "Открыть", QKeySequence("Ctrl+O")},
        {form.miFileExportCSV, "CSV", QKeySequence("Ctrl+S")},
        {form.miFileExportExcel, "Excel", QKeySequence("Ctrl+E")},
        {form.miFileExportMySQL, "MySQL", QKeySequence("Ctrl+M")},
        {form.miFileClose, "Закрыть", QKeySequence()},
        {form.miFileExit, "Выход", QKeySequence()},
        {form.miViewSetings, "Настойки", QKeySequence()},
        {form.miHelpAbout, "О программе", QKeySequence()},
        {form.miExportCSV, "CSV", QKeySequence()},
        {form.miExportExcel, "Excel", QKeySequence()},
        {form.miExportMySQL, "MySQL", QKeySequence()},
    };
    for (const auto& i : items) {
        EXPECT_EQ(i.action->text(), QString::fromUtf8(i.text));
        EXPECT_EQ(i.action->shortcut(), i.shortcut) << i.text;
    }
    EXPECT_EQ(form.miFile->title(), "Фаил");
    EXPECT_EQ(form.miFileExport->title(), "Экспорт в");
    EXPECT_EQ(form.miView->title(), "Вид");
    EXPECT_EQ(form.miHelp->title(), "Помощь");

    const struct {
        QToolButton* button;
        const char* hint;
    } buttons[] = {{form.tbOpen, "Открыть фаил"},
                   {form.tbClose, "Закрыть фаил"},
                   {form.tbSave, "Сохранить"},
                   {form.tbSetings, "Настройки"},
                   {form.tbAbout, "О программе"}};
    const QList<QImage> images = viewer::ToolBarImages();
    int left = -1;
    for (int i = 0; i < 5; ++i) {
        QToolButton* b = buttons[i].button;
        EXPECT_EQ(b->toolTip(), QString::fromUtf8(buttons[i].hint));
        EXPECT_EQ(b->height(), 55);
        if (b != form.tbSave) { // its arrow comes beside it
            EXPECT_EQ(b->width(), 55);
        }
        EXPECT_EQ(b->iconSize(), QSize(48, 48));
        EXPECT_EQ(
            b->icon().pixmap(48, 48).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
            images[i].convertToFormat(QImage::Format_ARGB32_Premultiplied))
            << buttons[i].hint;
        EXPECT_GT(b->x(), left) << "left to right";
        left = b->x();
    }
    EXPECT_GE(form.tbSave->width(), 55);
    EXPECT_GE(form.ViewToolBar->minimumHeight(), 57);
    EXPECT_EQ(form.tbSave->popupMode(), QToolButton::MenuButtonPopup);
    ASSERT_EQ(form.tbSave->menu(), form.ExportPopupMenu);
    EXPECT_EQ(form.ExportPopupMenu->actions(),
              QList<QAction*>({form.miExportCSV, form.miExportExcel, form.miExportMySQL}));
}

TEST_F(Program, ToolButtonsRunTheCommands) {
    TTolvaForm& form = StartWithExample();
    RecordingDialogs dialogs;
    form.SetFileDialogs(&dialogs);
    form.tbSave->click();
    form.miExportCSV->trigger();
    EXPECT_EQ(dialogs.saveAsked.size(), 2);
    form.tbOpen->click(); // cancelled
    EXPECT_EQ(dialogs.openRuns, 1);
    EXPECT_EQ(form.windowTitle(), "Brisquel - archive-enciphered.xxx");
    form.tbClose->click();
    ExpectCleared();
    form.SetFileDialogs(nullptr);
}

TEST_F(Program, OpenDialogWritesTheAssociationEvenForANonArchive) {
    TTolvaForm& form = Start();
    RecordingDialogs dialogs;
    form.SetFileDialogs(&dialogs);
    form.miFileOpenClick(); // cancelled: nothing happens
    EXPECT_EQ(boxes->Count(), 0u);
    EXPECT_TRUE(tools.isEmpty());

    QDir().mkpath(dir.filePath("other"));
    dialogs.openAnswer = dir.filePath("other/notes.txt");
    ASSERT_TRUE(fixtures::WriteFile(dialogs.openAnswer, "not an archive at all"));
    form.miFileOpenClick();
    EXPECT_EQ(BoxTexts(), QStringList{QStringLiteral("Неизвестный формат архива")});
    ExpectCleared();
    EXPECT_EQ(form.GetOpenDir(), dir.filePath("other"));
    EXPECT_TRUE(QFile::exists(dir.filePath("data/applications/brisquel.desktop")));
    EXPECT_TRUE(QFile::exists(dir.filePath("data/mime/packages/brisquel-xxxfile.xml")));
    EXPECT_EQ(tools, QStringList({"update-mime-database", "update-desktop-database"}));
    form.SetFileDialogs(nullptr);
}

TEST_F(Program, AssociationFailureIsShownAndTheArchiveStaysOpen) {
    TTolvaForm& form = Start();
    RecordingDialogs dialogs;
    form.SetFileDialogs(&dialogs);
    // Folders below a regular file cannot be made, not even by root.
    ASSERT_TRUE(fixtures::WriteFile(dir.filePath("plain"), "file"));
    qputenv("XDG_DATA_HOME", dir.filePath("plain/data").toUtf8());
    dialogs.openAnswer = dir.filePath("a.csv");
    ASSERT_TRUE(fixtures::WriteFile(dialogs.openAnswer, fixtures::Archive({"12:00:00;;1;"})));
    form.miFileOpenClick();
    ASSERT_EQ(boxes->Count(), 1u);
    const auto box = boxes->Boxes()[0];
    EXPECT_TRUE(box.text.startsWith(QStringLiteral("Неудалось записать фаил")))
        << box.text.toStdString();
    EXPECT_TRUE(box.text.contains(dir.filePath("plain/data"))) << box.text.toStdString();
    EXPECT_EQ(box.caption, "Brisquel");
    EXPECT_EQ(box.icon, MsgIcon::Error);
    EXPECT_EQ(form.windowTitle(), "Brisquel - a.csv");
    EXPECT_EQ(form.ViewGrid->RowCount(), 2);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    form.SetFileDialogs(nullptr);
}

TEST_F(Program, SettingsOkAppliesAndShowsTheTableAgain) {
    TTolvaForm& form = Start();
    // With nothing loaded the empty grid is shown again and the panels stay empty.
    WhenModal([&](QWidget* modal) {
        EXPECT_EQ(modal, &program->SetingsForm);
        program->SetingsForm.OKButton->click();
    });
    form.miViewSetingsClick();
    EXPECT_EQ(modalsSeen, 1);
    ExpectCleared();

    StartWithExample();
    TTolvaForm& shown = Form();
    ASSERT_EQ(shown.ViewGrid->Cells(2, 1), "6.88");
    const QFont picked("DejaVu Sans Mono", 15);
    TSetingsForm& setings = program->SetingsForm;
    setings.PickColor = [](const QColor&) { return std::optional<QColor>(QColor(1, 2, 3)); };
    setings.PickFont = [&](const QFont&) { return std::optional<QFont>(picked); };
    WhenModal([&](QWidget*) {
        EXPECT_EQ(setings.PrecisionComboBox->currentIndex(), 2);
        EXPECT_TRUE(setings.ImageON->isHidden());
        setings.PrecisionComboBox->setCurrentIndex(4);
        QTest::mouseDClick(setings.HeadPaintBox, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseDClick(setings.SecondPaintBox, Qt::LeftButton, {}, QPoint(5, 5));
        setings.FontButton->click();
        setings.OKButton->click();
    });
    shown.miViewSetingsClick();
    EXPECT_EQ(modalsSeen, 2);
    EXPECT_EQ(shown.Precision(), 4);
    EXPECT_EQ(shown.HeadColor(), TColor(0x00030201));
    EXPECT_EQ(shown.FerstColor(), viewer::kWhiteColor);
    EXPECT_EQ(shown.SecondColor(), TColor(0x00030201));
    EXPECT_EQ(shown.GridFont(), picked);
    // Shown again: the values, the sizes from the new font, the panels.
    EXPECT_EQ(shown.ViewGrid->Cells(2, 1), "6.8800");
    EXPECT_EQ(shown.ViewGrid->DefaultRowHeight(), QFontMetrics(picked).horizontalAdvance("00") + 5);
    EXPECT_EQ(shown.ViewStatusPanels[0]->text(), "Строк :201");
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(Program, SbrosThenCancelChangesNothing) {
    TTolvaForm& form = StartWithExample();
    form.SetPrecision(3);
    form.SetHeadColor(0x00112233);
    form.SetFerstColor(0x00445566);
    form.SetSecondColor(0x00778899);
    form.ShowTable();
    const QFont font = form.GridFont();
    const QString cell = form.ViewGrid->Cells(2, 1);
    TSetingsForm& setings = program->SetingsForm;
    for (const char* how : {"Отмена", "window frame"}) {
        WhenModal([&](QWidget*) {
            setings.DefaultButton->click();
            EXPECT_EQ(setings.PrecisionComboBox->currentIndex(), 2);
            EXPECT_FALSE(setings.ImageON->isHidden());
            if (QString(how) == "Отмена")
                setings.CancelButton->click();
            else
                setings.close();
        });
        form.miViewSetingsClick();
        EXPECT_EQ(form.Precision(), 3) << how;
        EXPECT_EQ(form.HeadColor(), TColor(0x00112233));
        EXPECT_EQ(form.FerstColor(), TColor(0x00445566));
        EXPECT_EQ(form.SecondColor(), TColor(0x00778899));
        EXPECT_EQ(form.GridFont(), font);
        EXPECT_EQ(form.ViewGrid->Cells(2, 1), cell);
    }
    EXPECT_EQ(modalsSeen, 2);
}

TEST_F(Program, AboutShowsTheVersionCentred) {
    TTolvaForm& form = Start();
    program->AboutForm.Version = "0.1";
    program->AboutForm.move(0, 0);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    WhenModal([&](QWidget* modal) {
        EXPECT_EQ(modal, &program->AboutForm);
        EXPECT_EQ(program->AboutForm.VersionLable->text(), "Версия: 1.1001");
        const QRect frame = modal->frameGeometry();
        EXPECT_EQ(frame.left(), screen.width() / 2 - frame.width() / 2);
        EXPECT_EQ(frame.top(), screen.height() / 2 - frame.height() / 2);
        program->AboutForm.ButtonOK->click();
    });
    form.tbAbout->click();
    EXPECT_EQ(modalsSeen, 1);
    EXPECT_EQ(program->AboutForm.result(), QDialog::Accepted);
}

TEST_F(Program, ExcelAndMySqlShowOnlyTheNotice) {
    TTolvaForm& form = StartWithExample();
    RecordingDialogs dialogs;
    form.SetFileDialogs(&dialogs);
    boxes->Clear();
    const QStringList before = QDir(EXAMPLES_DIR).entryList(QDir::Files);
    for (QAction* action :
         {form.miFileExportExcel, form.miFileExportMySQL, form.miExportExcel, form.miExportMySQL}) {
        WhenModal([&](QWidget* modal) {
            EXPECT_EQ(modal, &program->SoryForm) << action->text().toStdString();
            program->SoryForm.ButtonOk->click();
        });
        action->trigger();
    }
    EXPECT_EQ(modalsSeen, 4);
    EXPECT_EQ(boxes->Count(), 0u);
    EXPECT_TRUE(dialogs.saveAsked.isEmpty());
    EXPECT_EQ(QDir(EXAMPLES_DIR).entryList(QDir::Files), before);
    EXPECT_EQ(form.windowTitle(), "Brisquel - archive-enciphered.xxx");
    form.SetFileDialogs(nullptr);
}

// The settings file as the store holds it.
class Settings : public Program {
protected:
    void Store(const QList<std::pair<QString, QString>>& values) {
        TVaskRegistry registry;
        registry.SetSection("Brisquelon");
        for (const auto& [name, value] : values)
            registry.WriteValue(name, value);
    }
    QString Stored(const QString& name) {
        TVaskRegistry registry;
        registry.SetSection("Brisquelon");
        return registry.ReadValue(name, "absent");
    }
    void ExpectColors(TColor head, TColor ferst, TColor second) {
        EXPECT_EQ(Form().HeadColor(), head);
        EXPECT_EQ(Form().FerstColor(), ferst);
        EXPECT_EQ(Form().SecondColor(), second);
    }
};

TEST_F(Settings, DefaultsWhenAbsent) {
    TTolvaForm& form = Start();
    EXPECT_EQ(form.size(), QSize(700, 500));
    EXPECT_EQ(form.pos(), QPoint(250, 250));
    EXPECT_EQ(form.windowState(), Qt::WindowNoState);
    EXPECT_EQ(form.GetOpenDir(), QCoreApplication::applicationDirPath());
    EXPECT_EQ(form.GetSaveDir(), QCoreApplication::applicationDirPath());
    EXPECT_EQ(form.QtFileDialogs().ArchiveOpenDir(), form.GetOpenDir());
    EXPECT_EQ(form.QtFileDialogs().SaveDir(), form.GetSaveDir());
    EXPECT_EQ(form.Precision(), 2);
    ExpectColors(viewer::kHotTrackColor, viewer::kWhiteColor, viewer::kButtonFaceColor);
    EXPECT_EQ(Stored("Width"), "absent"); // nothing is written before the window closes
}

TEST_F(Settings, RoundTripThroughTheWindow) {
    TTolvaForm& form = Start();
    form.resize(640, 420);
    form.move(30, 40);
    form.SetPrecision(3);
    form.SetHeadColor(0x00563412);
    form.SetSecondColor(viewer::kHotTrackColor);
    ASSERT_TRUE(fixtures::WriteFile(dir.filePath("a.csv"), fixtures::Archive({})));
    ASSERT_TRUE(form.OpenArchive(dir.filePath("a.csv")));
    form.show();
    const int writes = platform::SettingsFileWrites();
    form.miFileExit->trigger(); // closes the window, which writes the settings
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(platform::SettingsFileWrites() - writes, 1); // all of them in one rewrite
    const struct {
        const char* name;
        QString text;
    } stored[] = {{"Width", "640"},
                  {"Height", "420"},
                  {"Left", "30"},
                  {"Top", "40"},
                  {"WindowState", "0"},
                  {"Dir", dir.path()},
                  {"SaveDir", QCoreApplication::applicationDirPath()},
                  {"Precision", "3"},
                  {"HeadColor", "5649426"},
                  {"FerstColor", "16777215"},
                  {"SecondColor", "-16777190"}};
    for (const auto& s : stored)
        EXPECT_EQ(Stored(s.name), s.text) << s.name;

    TTolvaForm& again = Start();
    EXPECT_EQ(again.size(), QSize(640, 420));
    EXPECT_EQ(again.pos(), QPoint(30, 40));
    EXPECT_EQ(again.GetOpenDir(), dir.path());
    EXPECT_EQ(again.QtFileDialogs().ArchiveOpenDir(), dir.path());
    EXPECT_EQ(again.Precision(), 3);
    ExpectColors(0x00563412, viewer::kWhiteColor, viewer::kHotTrackColor);
}

TEST_F(Settings, HexadecimalColoursAndPrecisionOutOfRange) {
    const struct {
        QString precision;
        int expected;
    } cases[] = {{"7", 4}, {"-1", 0}, {"$3", 3}, {" 1", 1}};
    for (const auto& c : cases) {
        Store({{"Precision", c.precision},
               {"HeadColor", "$000000FF"},
               {"FerstColor", "$FF000005"},
               {"SecondColor", "-16777201"}});
        Start();
        EXPECT_EQ(Form().Precision(), c.expected) << c.precision.toStdString();
        ExpectColors(0x000000FF, 0xFF000005, 0xFF00000F);
    }
}

TEST_F(Settings, MaximisedKeepsTheNormalPlacement) {
    Store({{"Width", "640"}, {"Height", "420"}, {"Left", "30"}, {"Top", "40"}});
    TTolvaForm& form = Start();
    form.setWindowState(Qt::WindowMaximized);
    form.close();
    EXPECT_EQ(Stored("WindowState"), "2");
    EXPECT_EQ(Stored("Width"), "640");
    EXPECT_EQ(Stored("Left"), "30");

    TTolvaForm& again = Start();
    EXPECT_TRUE(again.windowState() & Qt::WindowMaximized);
    EXPECT_EQ(again.normalGeometry().size(), QSize(640, 420));
}

TEST_F(Settings, ReadingStopsAtTheFirstBadValue) {
    // A precision that is no integer: what was read before applies, the rest keep the
    // window's creation values (precision 0, black), which closing then stores.
    Store({{"Width", "610"}, {"Dir", dir.path()}, {"Precision", "2.5"}, {"HeadColor", "$FF"}});
    TTolvaForm& form = Start();
    EXPECT_EQ(form.size(), QSize(610, 500));
    EXPECT_EQ(form.pos(), QPoint(250, 250));
    EXPECT_EQ(form.GetOpenDir(), dir.path());
    EXPECT_EQ(form.GetSaveDir(), dir.path());
    EXPECT_EQ(form.Precision(), 0);
    ExpectColors(0, 0, 0);
    form.close();
    EXPECT_EQ(Stored("Precision"), "0");
    EXPECT_EQ(Stored("HeadColor"), "0");

    // A value that is no string stops at the first read: the design placement, no folders.
    QFile::remove(platform::SettingsFilePath("Brisquelon"));
    ASSERT_TRUE(fixtures::WriteFile(platform::SettingsFilePath("Brisquelon"),
                                    "[General]\nWidth=1, 2\nHeight=300\n"));
    TTolvaForm& blocked = Start();
    EXPECT_EQ(blocked.size(), QSize(696, 480));
    EXPECT_EQ(blocked.pos(), QPoint(203, 212));
    EXPECT_EQ(blocked.GetOpenDir(), "");
    EXPECT_EQ(blocked.Precision(), 0);
}

} // namespace
