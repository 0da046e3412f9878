// Every text of every window the configurator makes fits its control at the desktop's
// default font, in each state that shows other texts.
#include "DataMaster.h"
#include "MemorySettings.h"
#include "MessageBox.h"
#include "PanelDetal.h"
#include "Program.h"
#include "ProjectXML.h"
#include "QeldDialogs.h"
#include "TextFit.h"
#include "VItem.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

namespace {

class OpenExample : public TQeldFileDialogs {
public:
    QString RunOpenDialog() override {
        return qEnvironmentVariable("TEST_BIN_DIR") + "/examples/instrument.xml";
    }
    QString RunSaveDialog() override { return {}; }
};

// The walk itself: a text cut by its parent and one wider than its button are found; one
// that fits and one that is hidden are not.
TEST(TextFit, TheWalkFindsTheTextsThatAreCut) {
    QWidget window;
    window.resize(200, 100);
    auto* panel = new QWidget(&window);
    panel->setGeometry(0, 0, 100, 50);
    auto* cut = new QLabel("a text wider than its panel", panel);
    cut->move(10, 10);
    cut->adjustSize();
    (new QPushButton("a wide caption", &window))->setGeometry(0, 60, 40, 25);
    (new QLabel("fits", &window))->move(120, 10);
    auto* hidden = new QLabel("a hidden text that does not fit", &window);
    hidden->setGeometry(150, 80, 10, 10);
    hidden->hide();
    const QStringList faults = textfit::TextsThatDoNotFit(&window);
    EXPECT_EQ(faults.size(), 2) << faults.join('\n').toStdString();
    EXPECT_EQ(faults.filter("QLabel 'a text wider than its panel': needs").size(), 1);
    EXPECT_EQ(faults.filter("QPushButton 'a wide caption': needs").size(), 1);
}

TEST(TextFit, EveryTextOfTheConfiguratorFitsItsControl) {
    textfit::UseDesktopFont();
    QTemporaryDir dir;
    MemorySettings store;
    TVendrillProgram program(TQeldFormSetup{&store, dir.path()});
    platform::RecordingMessageBox boxes; // a failed load must not wait for a click
    textfit::TWalk walk;

    TQeldForm& main = program.QeldForm;
    main.show();
    walk("main window", &main);

    OpenExample dialogs;
    main.SetFileDialogs(&dialogs);
    main.MI_FileOpenClick();
    ASSERT_NE(main.Project(), nullptr);
    walk("project open", &main);
    // The detail panel for every item of the tree: folders, each kind of channel, the card.
    TPanelDetal& detail = *main.Project()->Detail;
    std::vector<TVItem*> items;
    for (const auto& root : main.Project()->Items)
        items.push_back(root.get());
    for (size_t i = 0; i < items.size(); ++i)
        for (const auto& child : items[i]->Children)
            items.push_back(child.get());
    for (TVItem* item : items) {
        detail.Item = item;
        detail.ShowItem();
        walk("detail panel of " + item->GetCaption(), &main);
    }

    // A path a little narrower than the panel's least width, less the 10 pixels it starts in.
    QString folder = "/tmp/Temp/";
    while (main.fontMetrics().horizontalAdvance(folder + "LOG.TXT") < 295)
        folder += 'i';
    main.SetPathText(folder + "LOG.TXT");
    main.SetSizeText(QStringLiteral("Скачено: 1234567 байт."));
    main.ShowPanel();
    walk("download", &main);
    main.HidePanel();

    program.ConSetForm.FillFields();
    program.ConSetForm.show();
    walk("link settings", &program.ConSetForm);
    program.ConSetForm.hide();

    program.FormatMesForm.SetText(QStringLiteral("Значение должно быть \n\rот -32768 до 32767"));
    program.FormatMesForm.show();
    walk("message", &program.FormatMesForm);
    program.FormatMesForm.hide();

    TConnectProcessForm& progress = program.ConnectProcessForm;
    progress.SetStage(TDataMaster::SearchText, 1);
    progress.show();
    walk("search", &progress);
    progress.WMConnectProgress({lnkStatus, 0, TDataMaster::SilentText, {}});
    walk("silent device", &progress);
    progress.WMConnectProgress({lnkProgress, 12, TDataMaster::UpdateText, {}, 0, 20, 12});
    walk("first read", &progress);
    progress.WMConnectProgress(
        {lnkMismatch, 0, TDataMaster::SearchText, TDataMaster::MismatchText});
    walk("mismatch", &progress);
    progress.hide();

    for (TProblemKind kind : {pkNoAnswer, pkNoCard, pkException}) {
        program.ProblemConectionForm.ProblemKind = kind;
        program.ProblemConectionForm.show();
        walk(QStringLiteral("exchange error %1").arg(kind), &program.ProblemConectionForm);
        program.ProblemConectionForm.hide();
    }
    EXPECT_TRUE(walk.Faults.isEmpty()) << walk.Faults.join('\n').toStdString();
}

} // namespace
