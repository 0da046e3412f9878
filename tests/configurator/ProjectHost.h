#pragma once
// A main window for the project's tests: real panels to hold the list and the detail
// panel, recorders for everything else, and helpers to write project files.
#include "LinkRecorders.h"
#include "ProjectXML.h"
#include "TestFiles.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>

// Failed expectations show texts as text.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace projecttest {

class TestHost : public TProjectHost {
public:
    TestHost() {
        window.resize(800, 500);
        main.setParent(&window);
        servise.setParent(&window);
        servise.setGeometry(0, 0, 200, 500);
        main.setGeometry(200, 0, 600, 500);
    }

    QWidget* MainPanel() override { return &main; }
    QWidget* ServisePanel() override { return &servise; }
    void SetDevicePanelText(const QString& text) override { DevicePanel = text; }
    void EnableBack() override { Back = true; }
    void DisableBack() override { Back = false; }
    QString TempDir() const override { return TempPath.isEmpty() ? Temp.path() : TempPath; }
    void SetCommandsEnabled(bool enabled) override {
        Commands = enabled;
        CommandCalls << (enabled ? "on" : "off");
    }
    TMainWindowLink& MainWindowLink() override { return Window; }
    TConnectProcessLink& ConnectProcessLink() override { return Dialog; }
    TBoxHandOver* BoxHandOver() override { return nullptr; }
    TCardProgress* CardProgress() override { return Progress; }
    TRetryPrompt* RetryPrompt() override { return Prompt; }
    void OpenDocument(const QString& path) override { Opened << path; }

    QWidget window;
    QWidget servise;
    QWidget main;
    QString DevicePanel = QStringLiteral("(untouched)");
    bool Back = false;
    bool Commands = true;
    QStringList CommandCalls;
    QStringList Opened;
    QTemporaryDir Temp;
    QString TempPath; // instead of Temp when set
    TRecordingMainWindow Window;
    TRecordingConnectProcess Dialog;
    TCardProgress* Progress = nullptr;
    TRetryPrompt* Prompt = nullptr;
};

using testfiles::ReadFile;
using testfiles::WriteFile;

// A project file in a folder of its own, and the project loaded from it.
struct ProjectFile {
    explicit ProjectFile(const QByteArray& xml, const QString& name = "project.xml")
        : Path(Dir.filePath(name)) {
        EXPECT_TRUE(WriteFile(Path, xml));
    }
    QTemporaryDir Dir;
    QString Path;
};

} // namespace projecttest
