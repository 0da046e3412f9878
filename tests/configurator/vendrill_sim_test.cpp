// Vendrill end to end: the program's windows open the example project, connect over a
// pseudo-terminal to the instrument simulator served in this process, show the values the
// instrument measures as they change, write a value into the instrument and disconnect.
#include "MemorySettings.h"
#include "OutsideClose.h"
#include "PanelDetal.h"
#include "Program.h"
#include "ProjectListView.h"
#include "ProjectXML.h"
#include "ServedSimulator.h"
#include "SimHarness.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QWheelEvent>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>

namespace {

constexpr int kBound = 60000; // real ms; only a hang runs into it

// The example as the build copies it, beside its icon library.
QString ExampleProject() {
    return qEnvironmentVariable("TEST_BIN_DIR") + "/examples/instrument.xml";
}

// Nothing is painted: Qt paints large areas on drawing threads of its own, whose
// hand-overs the thread checker cannot see in the uninstrumented Qt libraries. So the main
// window stays hidden (its commands work all the same) and the dialogs draw nothing.

// The dialogs answer the project file the test names.
class ChosenFile : public TQeldFileDialogs {
public:
    QString File;
    QString RunOpenDialog() override { return File; }
    QString RunSaveDialog() override { return File; }
};

// The registers of examples/instrument-registers.txt that the test looks at.
sim::RegisterMap ExampleRegisters() {
    sim::RegisterMap registers;
    std::string error;
    EXPECT_TRUE(sim::LoadRegisterFile(EXAMPLES_DIR "/instrument-registers.txt", registers, error))
        << error;
    return registers;
}

class VendrillSim : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QFile::exists(ExampleProject()));
        store.Values[{"Morlavin_V1", "Port"}] =
            QString::number(projecttest::ServedSimulator::kPort);
        store.Values[{"Morlavin_V1", "ScanRate"}] = "50";
        store.Values[{"Morlavin_V1", "TimeOut"}] = "1000"; // a loaded machine loses no reply

        sim::Options options;
        options.Registers = ExampleRegisters();
        options.Id = "\xCC\xD2\xC2-12 v1.0"; // "МТВ-12 v1.0" in Windows-1251
        std::string error;
        const std::string card = dir.filePath("card.img").toStdString();
        ASSERT_TRUE(simtest::MakeFat16Image(
            card, 16384, {{"NOTE.TXT", "note"}, {"BIG.BIN", simtest::VariedBytes(300000)}}, error))
            << error;
        options.CardImage = card;
        ASSERT_TRUE(simulator.Start(options, error)) << error;

        // A program folder that is not there sends Temp to the user's cache, which every
        // run of the suite at once would share.
        ASSERT_TRUE(QDir(dir.path()).mkpath("bin"));
        program = std::make_unique<TVendrillProgram>(TQeldFormSetup{&store, dir.filePath("bin")});
        ASSERT_EQ(form().TempDir().toStdString(),
                  QDir::toNativeSeparators(dir.filePath("bin/Temp")).toStdString());
        recorder = std::make_unique<platform::RecordingMessageBox>();
        noticeRecorder = std::make_unique<TRecordingNotice>();
        for (QWidget* dialog : {static_cast<QWidget*>(&program->ConnectProcessForm),
                                static_cast<QWidget*>(&program->ConSetForm),
                                static_cast<QWidget*>(&program->ProblemConectionForm)})
            dialog->setUpdatesEnabled(false);
        form().SetFileDialogs(&files);
        form().SetDocumentOpener([this](const QString& path) { opened << path; });
        // A dialog left open would hold the test for ever: the guard closes it and says so.
        guard.setSingleShot(true);
        guard.setInterval(kBound);
        QObject::connect(&guard, &QTimer::timeout, [this] {
            guardFired = true;
            if (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
        });
        guard.start();
    }
    void TearDown() override {
        guard.stop();
        noticeRecorder.reset();
        recorder.reset();
        program.reset();
        simulator.Stop();
        EXPECT_FALSE(guardFired) << "a dialog never closed";
    }

    TQeldForm& form() { return program->QeldForm; }
    TXMLProject& project() { return *form().Project(); }
    TProjectListView& list() { return *project().ListView; }

    int Row(const QString& caption) {
        for (int row = 0; row < list().Count(); ++row)
            if (list().Caption(row) == caption)
                return row;
        ADD_FAILURE() << "no row " << caption.toStdString();
        return 0;
    }
    QString Value(const QString& caption) { return list().SubItem(Row(caption)); }

    // Lets the window thread work (the progress dialog's modal loop included) until the
    // condition holds; false when it never did.
    bool WaitUntil(const std::function<bool()>& condition) {
        QElapsedTimer timer;
        timer.start();
        while (!condition()) {
            if (timer.elapsed() > kBound || guardFired)
                return false;
            QTest::qWait(10);
        }
        return true;
    }

    QTemporaryDir dir;
    MemorySettings store;
    ChosenFile files;
    projecttest::ServedSimulator simulator;
    std::unique_ptr<TVendrillProgram> program;
    // Installed over the program's own, so that nothing waits for a user.
    std::unique_ptr<platform::RecordingMessageBox> recorder;
    std::unique_ptr<TRecordingNotice> noticeRecorder;
    QStringList opened; // files handed to the desktop
    QTimer guard;
    bool guardFired = false;

    // Opens the example, connects, and enters the card item.
    void OpenTheCard() {
        files.File = ExampleProject();
        form().MI_FileOpenClick();
        ASSERT_NE(form().Project(), nullptr);
        form().MI_ConectGoClick();
        ASSERT_TRUE(WaitUntil([&] { return project().DataMaster->State() == dmsPoll; }));
        list().SelectRow(Row("Карта памяти"));
        project().OpenSelected();
        ASSERT_TRUE(project().InCardView());
    }
    void SelectCardFile(const QByteArray& name) {
        const std::vector<TCardEntry>& entries = project().CardEntries();
        for (size_t row = 0; row < entries.size(); ++row)
            if (entries[row].Name.trimmed() == name)
                return list().SelectRow(static_cast<int>(row));
        ADD_FAILURE() << "no card file " << name.toStdString();
    }
};

TEST_F(VendrillSim, OpensConnectsShowsLiveValuesWritesAndDisconnects) {
    files.File = ExampleProject();
    form().MI_FileOpenClick();
    ASSERT_NE(form().Project(), nullptr) << recorder->Count();
    EXPECT_EQ(form().StatusText(0), "Модуль МТВ-12");
    EXPECT_TRUE(form().GoToolButton->isEnabled());
    EXPECT_TRUE(list().HasLargeImages());
    // The link's waits for its port thread keep this window alive.
    EXPECT_EQ(project().DataMaster->Thread().WaitHook(), &form().WindowWait());

    form().MI_ConectGoClick();
    EXPECT_EQ(form().StatusText(1), "Работа");
    EXPECT_FALSE(form().GoToolButton->isEnabled());
    // The first full read is in once the progress dialog has closed.
    ASSERT_TRUE(WaitUntil([&] { return Value("Температура подачи") == "21.50"; }))
        << Value("Температура подачи").toStdString();
    EXPECT_EQ(Value("Давление, кПа"), "101.50");
    EXPECT_EQ(Value("Режим"), "Работа");
    EXPECT_FALSE(program->ConnectProcessForm.isVisible());

    // The instrument measures anew: 30.0 on the wire, low-order word first.
    simulator.SetRegister(0, 0x0000);
    simulator.SetRegister(1, 0x41F0);
    EXPECT_TRUE(WaitUntil([&] { return Value("Температура подачи") == "30.00"; }));
    EXPECT_GT(form().RequestCount(), 0);
    EXPECT_NE(form().StatusText(3), "Ответов 0");

    // 55.5 typed into the detail panel goes out as one function 16 write.
    list().SelectRow(Row("Уставка температуры"));
    project().ShowSelectedDetail();
    ASSERT_FALSE(project().Detail->WriteButton->isHidden());
    project().Detail->ValueEdit->setText("55.5");
    project().Detail->WriteButton->click();
    EXPECT_EQ(Value("Уставка температуры"), "55.50") << "shown before the instrument answers";
    EXPECT_TRUE(WaitUntil([&] { return simulator.Register(40) == 0x425E; }));
    EXPECT_EQ(simulator.Register(39), 0x0000);
    EXPECT_TRUE(WaitUntil([&] { return project().Writes.Empty(); }));

    form().MI_ConectStopClick();
    EXPECT_EQ(form().StatusText(1), "Отключено");
    EXPECT_TRUE(form().GoToolButton->isEnabled());
    EXPECT_TRUE(project().DataMaster->Thread().WaitReached(ptsIdle, kBound));
    EXPECT_EQ(recorder->Count(), 0u);
    EXPECT_TRUE(noticeRecorder->Texts.isEmpty());
}

// Closing the window while the link runs ends the port thread before the dialogs it
// reports to are gone; the program then ends cleanly.
TEST_F(VendrillSim, ClosingWhileTheLinkRuns) {
    files.File = ExampleProject();
    form().MI_FileOpenClick();
    ASSERT_NE(form().Project(), nullptr);
    form().MI_ConectGoClick();
    ASSERT_TRUE(WaitUntil([&] { return Value("Температура подачи") == "21.50"; }));
    EXPECT_TRUE(form().close());
    EXPECT_EQ(form().Project(), nullptr);
    EXPECT_EQ(form().StatusText(0), "Нет устройства");
    EXPECT_EQ(form().StatusText(1), "Отключено");
    EXPECT_EQ(recorder->Count(), 0u);
}

// Ctrl + wheel over the settings dialog zooms the list too; a project file that does not
// load leaves the window without a project.
TEST_F(VendrillSim, WheelZoomsTheListFromAnyWindowAndAFailedOpenLeavesNoProject) {
    files.File = ExampleProject();
    form().MI_FileOpenClick();
    ASSERT_NE(form().Project(), nullptr);
    list().SetFontSize(26);
    program->ConSetForm.show();
    const auto turn = [](QWidget& window, int delta, Qt::KeyboardModifiers modifiers) {
        QWheelEvent event(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, delta), Qt::NoButton,
                          modifiers, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(window.windowHandle(), &event);
    };
    turn(program->ConSetForm, 120, Qt::ControlModifier);
    EXPECT_EQ(list().FontSize(), 28);
    turn(form(), 120, Qt::ControlModifier);
    EXPECT_EQ(list().FontSize(), 28);
    turn(form(), -120, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(list().FontSize(), 28);
    turn(form(), -120, Qt::ControlModifier);
    EXPECT_EQ(list().FontSize(), 26);
    program->ConSetForm.hide();

    files.File.clear();
    form().MI_FileOpenClick();
    EXPECT_NE(form().Project(), nullptr) << "a cancelled dialog changes nothing";

    files.File = dir.filePath("missing.xml");
    form().MI_FileOpenClick();
    EXPECT_EQ(form().Project(), nullptr);
    EXPECT_EQ(form().StatusText(0), "Нет устройства");
    EXPECT_TRUE(form().OpenToolButton->isEnabled());
    EXPECT_FALSE(form().CloseToolButton->isEnabled());
    ASSERT_EQ(recorder->Count(), 1u);
    EXPECT_EQ(recorder->Boxes()[0].text, TXMLProject::LoadFailedText);
}

// A card file goes to the temporary folder and is handed to the desktop.
TEST_F(VendrillSim, ACardFileDownloadsIntoTheTemporaryFolder) {
    OpenTheCard();
    SelectCardFile("NOTE");
    project().OpenSelected();
    const QString path = QDir::toNativeSeparators(QDir(form().TempDir()).filePath("NOTE.TXT"));
    EXPECT_EQ(opened, QStringList{path});
    EXPECT_EQ(simtest::ReadWholeFile(path.toStdString()), "note");
    EXPECT_TRUE(form().ProgressPanel->isHidden());
    EXPECT_TRUE(form().QeldCoolBar->isEnabled());
    EXPECT_EQ(recorder->Count(), 0u);
}

// Beside another instance that uses the same Temp, the window's end removes the file it
// downloaded and leaves the other's file and the folder.
TEST_F(VendrillSim, TheWindowBesideAnotherInstanceRemovesOnlyItsOwnDownload) {
    configurator::TTempFolder other(dir.filePath("bin"));
    ASSERT_TRUE(other.Create());
    ASSERT_EQ(other.Path(), form().TempDir());
    const QString theirs = QDir(other.Path()).filePath("README.TXT");
    QFile file(theirs);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("theirs") == 6);
    file.close();
    OpenTheCard();
    SelectCardFile("NOTE");
    project().OpenSelected();
    const QString mine = QDir(other.Path()).filePath("NOTE.TXT");
    ASSERT_TRUE(QFileInfo::exists(mine));

    program.reset();
    EXPECT_FALSE(QFileInfo::exists(mine));
    EXPECT_TRUE(QFileInfo::exists(theirs));
    EXPECT_TRUE(other.Remove());
    EXPECT_FALSE(QFileInfo::exists(other.Path()));
}

// Closing the window during a download cancels it; the window closes once the download
// has ended, and the cancelled file is not opened.
TEST_F(VendrillSim, ClosingDuringADownloadWaitsForItsEnd) {
    OpenTheCard();
    SelectCardFile("BIG");
    bool closedAtOnce = true;
    QTimer::singleShot(0, &form(), [&] { closedAtOnce = form().close(); });
    project().OpenSelected();
    EXPECT_FALSE(closedAtOnce);
    EXPECT_TRUE(opened.isEmpty());
    const auto written = QFileInfo(QDir(form().TempDir()).filePath("BIG.BIN")).size();
    EXPECT_LT(written, 300000) << "cancelled";
    EXPECT_NE(form().Project(), nullptr) << "not from inside the download";
    EXPECT_TRUE(WaitUntil([&] { return form().Project() == nullptr; }));
    EXPECT_EQ(recorder->Count(), 0u);
}

// The system's clock, whose sleeps on the port thread can be held: the thread then stays
// inside its turn, so that a wait of the window thread for it lasts until it is let go.
class HoldingClock : public platform::Clock {
public:
    int64_t NowMs() const override { return platform::SystemClock().NowMs(); }
    void SleepMs(int64_t ms) override {
        {
            std::unique_lock lock(m_);
            if (holding_ && std::this_thread::get_id() != window_) {
                held_ = true;
                changed_.notify_all();
                changed_.wait(lock, [this] { return !holding_; });
            }
        }
        platform::SystemClock().SleepMs(ms);
    }
    // Holds the port thread at its next sleep; true once it is held.
    bool Hold() {
        std::unique_lock lock(m_);
        holding_ = true;
        held_ = false;
        return changed_.wait_for(lock, std::chrono::milliseconds(kBound), [this] { return held_; });
    }
    void Release() {
        std::lock_guard lock(m_);
        holding_ = false;
        changed_.notify_all();
    }

private:
    const std::thread::id window_ = std::this_thread::get_id();
    std::mutex m_;
    std::condition_variable changed_;
    bool holding_ = false;
    bool held_ = false;
};

// When the close comes: while Start after Stop waits for the cycle in flight, while the
// card item waits for the poll to pause, or during a card download whose file can no
// longer be written (its folder was removed under it), the exchange-error dialog open
// over it or not.
enum class TCloseMoment { StartsWait, CardWait, Download, DownloadPrompt };

struct CloseCase {
    const char* name;
    TCloseMoment moment;
    TCloseFrom from;
};

void PrintTo(const CloseCase& c, std::ostream* os) {
    *os << c.name;
}

class VendrillClose : public VendrillSim, public ::testing::WithParamInterface<CloseCase> {
protected:
    void SetUp() override {
        VendrillSim::SetUp();
        form().SetLinkParts({&clock, {}, nullptr});
        // Shown, as the program's main window is, whose close ends the program; drawn
        // never, as above.
        form().setUpdatesEnabled(false);
        form().show();
    }
    void TearDown() override {
        clock.Release();
        VendrillSim::TearDown();
    }
    // Runs step once per timer tick from now on, until it returns true.
    void EachTick(std::function<bool()> step) {
        ticker.setInterval(0);
        QObject::connect(&ticker, &QTimer::timeout, [this, step = std::move(step)] {
            if (step())
                ticker.stop();
        });
        ticker.start();
    }
    // Asks the close once the window waits for its link, then lets the link go once the
    // close is asked (or, a close being dropped, a while later).
    void CloseDuringTheWait(TOutsideClose& outside) {
        ASSERT_TRUE(clock.Hold());
        EachTick([this, &outside, ticks = 0]() mutable {
            if (!form().WindowWait().Waiting())
                return false;
            if (ticks++ == 0)
                outside.Ask(GetParam().from);
            if (!form().WindowWait().CloseAsked() && ticks < 100)
                return false;
            clock.Release();
            return true;
        });
    }

    HoldingClock clock;
    QTimer ticker;
};

// One close from outside, whenever it comes, ends the program: what was under way goes no
// further, no message box opens, the window closes and the settings are written.
TEST_P(VendrillClose, OneCloseEndsTheProgram) {
    TOutsideClose outside(form());
    switch (GetParam().moment) {
    case TCloseMoment::StartsWait:
        files.File = ExampleProject();
        form().MI_FileOpenClick();
        form().MI_ConectGoClick();
        ASSERT_TRUE(WaitUntil([&] { return project().DataMaster->State() == dmsPoll; }));
        form().MI_ConectStopClick();
        ASSERT_NO_FATAL_FAILURE(CloseDuringTheWait(outside));
        form().MI_ConectGoClick();
        EXPECT_EQ(form().StatusText(1), "Отключено");
        EXPECT_FALSE(program->ConnectProcessForm.isVisible());
        break;
    case TCloseMoment::CardWait:
        files.File = ExampleProject();
        form().MI_FileOpenClick();
        form().MI_ConectGoClick();
        ASSERT_TRUE(WaitUntil([&] { return project().DataMaster->State() == dmsPoll; }));
        list().SelectRow(Row("Карта памяти"));
        ASSERT_NO_FATAL_FAILURE(CloseDuringTheWait(outside));
        project().OpenSelected();
        EXPECT_FALSE(project().InCardView());
        EXPECT_EQ(project().DataMaster->MMC().CurDir, TMMC::NotMounted);
        break;
    case TCloseMoment::Download:
    case TCloseMoment::DownloadPrompt:
        ASSERT_NO_FATAL_FAILURE(OpenTheCard());
        SelectCardFile("BIG");
        EachTick([&] {
            if (!form().Downloading())
                return false;
            if (GetParam().moment == TCloseMoment::DownloadPrompt) {
                // The card is taken out: the dialog asks whether to try again.
                simulator.SetFaults({{sim::FaultKind::Exception, 8, 1}});
                if (!program->ProblemConectionForm.isVisible())
                    return false;
            }
            QDir(form().TempDir()).removeRecursively();
            outside.Ask(GetParam().from);
            return true;
        });
        project().OpenSelected();
        EXPECT_TRUE(opened.isEmpty());
        break;
    }
    ticker.stop();
    // The program ends once none of its windows is open any more.
    EXPECT_TRUE(WaitUntil([] {
        const QWidgetList windows = QApplication::topLevelWidgets();
        return std::none_of(windows.begin(), windows.end(),
                            [](const QWidget* window) { return window->isVisible(); });
    }));
    EXPECT_EQ(form().Project(), nullptr);
    EXPECT_EQ(recorder->Count(), 0u) << recorder->Boxes()[0].text.toStdString();
    const int commits = store.Commits;
    recorder.reset();
    program.reset();
    EXPECT_GT(store.Commits, commits) << "settings not written";
}

const CloseCase kCloseCases[] = {
    {"StartsWaitWindowManager", TCloseMoment::StartsWait, TCloseFrom::WindowManager},
    {"StartsWaitEndSignal", TCloseMoment::StartsWait, TCloseFrom::EndSignal},
    {"CardWaitWindowManager", TCloseMoment::CardWait, TCloseFrom::WindowManager},
    {"CardWaitEndSignal", TCloseMoment::CardWait, TCloseFrom::EndSignal},
    {"DownloadWindowManager", TCloseMoment::Download, TCloseFrom::WindowManager},
    {"DownloadEndSignal", TCloseMoment::Download, TCloseFrom::EndSignal},
    {"DownloadPromptWindowManager", TCloseMoment::DownloadPrompt, TCloseFrom::WindowManager},
    {"DownloadPromptEndSignal", TCloseMoment::DownloadPrompt, TCloseFrom::EndSignal},
};

INSTANTIATE_TEST_SUITE_P(Moments, VendrillClose, ::testing::ValuesIn(kCloseCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
