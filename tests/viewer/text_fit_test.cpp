// Every text of every window the viewer makes fits its control at the desktop's default
// font, and the main window lays out in the configurator's layout font.
#include "ConfigHome.h"
#include "LayoutFont.h"
#include "MessageBox.h"
#include "Program.h"
#include "TextFit.h"

#include <gtest/gtest.h>

#include <QLabel>

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

} // namespace
