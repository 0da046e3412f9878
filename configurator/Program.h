#pragma once
// The configurator's program start: the five windows in their order (the main window, the
// link-settings dialog, the message form, the connection-progress dialog and the
// exchange-error dialog), the message boxes owned by the main window and handed over from
// the port thread, and the notices of refused input shown in the message form.
#include "BoxHandOver.h"
#include "ConProcess.h"
#include "ConnectSet.h"
#include "FormatMes.h"
#include "Main.h"
#include "Notice.h"
#include "ProblemConWin.h"
#include "QtMessageBox.h"

class TVendrillProgram {
public:
    explicit TVendrillProgram(const TQeldFormSetup& setup = {});
    // The open project goes first, so that its port thread has ended before the windows
    // it reports to; then the dialogs, then the main window.
    ~TVendrillProgram();
    TVendrillProgram(const TVendrillProgram&) = delete;
    TVendrillProgram& operator=(const TVendrillProgram&) = delete;

private:
    // Made before the windows and gone after them: every port thread has ended by then.
    platform::QtMessageBox WindowBoxes;
    TBoxHandOver Boxes;
    platform::MessageBoxHandler* PreviousBoxes;
    TNoticeHandler* PreviousNotice;

public:
    TQeldForm QeldForm;
    TConSetForm ConSetForm;
    TFormatMesForm FormatMesForm;
    TConnectProcessForm ConnectProcessForm;
    TProblemConectionForm ProblemConectionForm;
    TProblemPrompt ProblemPrompt;

    TBoxHandOver& BoxHandOver() { return Boxes; }
};

// Shows the main window and runs until it closes. The command line is not read.
int VendrillMain(int argc, char** argv);
