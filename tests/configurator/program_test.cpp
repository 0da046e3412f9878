// The program start: the five windows in their order, the message boxes and notices bound
// to them while the program lives, and given back afterwards.
#include "MemorySettings.h"
#include "Program.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace {

TEST(Program, CreatesTheFiveWindowsInOrderAndBindsTheBoxes) {
    QTemporaryDir dir;
    MemorySettings store;
    platform::MessageBoxHandler* boxesBefore = platform::CurrentMessageBoxHandler();
    TNoticeHandler* noticesBefore = CurrentNoticeHandler();
    {
        TVendrillProgram program(TQeldFormSetup{&store, dir.path()});
        // The dialogs are the main window's, in the order they were made.
        QStringList order;
        for (QObject* child : program.QeldForm.children())
            if (child->inherits("QDialog"))
                order << child->metaObject()->className();
        EXPECT_EQ(order, (QStringList{"TConSetForm", "TFormatMesForm", "TConnectProcessForm",
                                      "TProblemConectionForm"}));
        for (QWidget* dialog : std::initializer_list<QWidget*>{
                 &program.ConSetForm, &program.FormatMesForm, &program.ConnectProcessForm,
                 &program.ProblemConectionForm})
            EXPECT_TRUE(dialog->isHidden());
        EXPECT_EQ(platform::CurrentMessageBoxHandler(), &program.BoxHandOver());
        EXPECT_EQ(CurrentNoticeHandler(), &program.FormatMesForm);
        EXPECT_TRUE(program.BoxHandOver().InWindowThread());
    }
    EXPECT_EQ(platform::CurrentMessageBoxHandler(), boxesBefore);
    EXPECT_EQ(CurrentNoticeHandler(), noticesBefore);
    // The main window's end wrote the settings.
    EXPECT_EQ(store.Text("Morlavin_V1", "Port"), "1");
}

} // namespace
