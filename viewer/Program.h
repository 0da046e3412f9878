#pragma once
// The viewer's program start: the main window and its three dialogs, the message boxes
// owned by the main window, and the command line.
#include "About.h"
#include "Main.h"
#include "QtMessageBox.h"
#include "Setings.h"
#include "Sory.h"

#include <QStringList>

namespace viewer {

// The parameters after the program's name, as given.
QStringList CommandLineParams(int argc, char** argv);

// The forms in their order of creation: the main window, then the about box, the notice
// and the settings dialog. While it lives the message boxes are real ones owned by the
// main window.
class TBrisquelProgram {
public:
    explicit TBrisquelProgram(const QStringList& params);
    ~TBrisquelProgram();
    TBrisquelProgram(const TBrisquelProgram&) = delete;
    TBrisquelProgram& operator=(const TBrisquelProgram&) = delete;

    TTolvaForm TolvaForm;
    TAboutForm AboutForm;
    TSoryForm SoryForm;
    TSetingsForm SetingsForm;

private:
    platform::QtMessageBox MessageBoxes;
    platform::MessageBoxHandler* PreviousBoxes;
};

// Shows the main window and runs until it closes. Qt sees only the program's name, so
// none of its own options (-style, -platform, ...) takes a part of the file name.
int BrisquelMain(int argc, char** argv);

} // namespace viewer
