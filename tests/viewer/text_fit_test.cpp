// Every text of every window the viewer makes fits its control at the desktop's default
// font, and the main window and its dialogs lay out in the configurator's layout font.
#include "ConfigHome.h"
#include "LayoutFont.h"
#include "MessageBox.h"
#include "Program.h"
#include "TextFit.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QList>

namespace {

TEST(TextFit, EveryTextOfTheViewerFitsItsControl) {
    textfit::UseDesktopFont();
    viewer::TBrisquelProgram program({});
    platform::RecordingMessageBox boxes;
    textfit::TWalk walk;

    TTolvaForm& main = program.TolvaForm;
    main.show();
    walk("main window", &main);
    ASSERT_TRUE(main.OpenArchive(QStringLiteral(EXAMPLES_DIR "/archive-plain.csv")));
    ASSERT_FALSE(main.ViewStatusPanels[0]->text().isEmpty());
    walk("archive open", &main);

    program.SetingsForm.show();
    walk("settings", &program.SetingsForm);
    program.AboutForm.show();
    walk("about", &program.AboutForm);
    program.SoryForm.show();
    walk("notice", &program.SoryForm);
    EXPECT_TRUE(walk.Faults.isEmpty()) << walk.Faults.join('\n').toStdString();
}

TEST(TextFit, TheGridFollowsTheLayoutFont) {
    textfit::UseDesktopFont();
    viewer::TBrisquelProgram program({});
    platform::RecordingMessageBox boxes;
    const QFont layout = platform::LayoutFont(QApplication::font());
    EXPECT_EQ(layout.family().toStdString(), "DejaVu Sans");
    EXPECT_EQ(layout.pointSize(), 8);
    TTolvaForm& main = program.TolvaForm;
    EXPECT_EQ(main.font().toString().toStdString(), layout.toString().toStdString());
    EXPECT_EQ(main.GridFont().toString().toStdString(), layout.toString().toStdString());
    const QFontMetrics metrics(layout);
    EXPECT_EQ(main.ViewGrid->DefaultRowHeight(), metrics.horizontalAdvance("00") + 5);
    EXPECT_EQ(main.ViewGrid->FixedColWidth(), metrics.horizontalAdvance("00:00:00") + 10);
}

// Made by the program (owned by the main window, which does not hand its font to windows)
// or on their own, the dialogs take the layout font before their controls are made; the
// headings derived from it follow, the explicitly sized ones keep their size.
TEST(TextFit, TheDialogsTakeTheLayoutFont) {
    textfit::UseDesktopFont();
    viewer::TBrisquelProgram program({});
    platform::RecordingMessageBox boxes;
    const QFont layout = program.TolvaForm.font();
    TAboutForm about;
    TSoryForm sory;
    TSetingsForm setings;
    const std::pair<const char*, const QWidget*> dialogs[] = {{"about", &program.AboutForm},
                                                              {"notice", &program.SoryForm},
                                                              {"settings", &program.SetingsForm},
                                                              {"about alone", &about},
                                                              {"notice alone", &sory},
                                                              {"settings alone", &setings}};
    for (const auto& [name, dialog] : dialogs) {
        EXPECT_EQ(dialog->font().family().toStdString(), layout.family().toStdString()) << name;
        EXPECT_EQ(dialog->font().pointSize(), layout.pointSize()) << name;
    }
    const auto pointSizeOf = [](const QWidget& dialog, const QString& text) {
        for (const QLabel* label : dialog.findChildren<QLabel*>())
            if (label->text() == text)
                return label->font().pointSize();
        return 0;
    };
    for (const QWidget* box : QList<const QWidget*>{&program.AboutForm, &about}) {
        EXPECT_EQ(pointSizeOf(*box, "Brisquel"), 20);
        EXPECT_EQ(pointSizeOf(*box, "Программа просмотра"), 10);
        EXPECT_EQ(pointSizeOf(*box, "форматов:"), 8);
    }
    EXPECT_EQ(pointSizeOf(program.SoryForm, "НЕ поддерживается."), 16);
    EXPECT_EQ(pointSizeOf(program.SoryForm, "Данная функция в этой версии программы"), 8);
}

} // namespace
