#include "Program.h"

#include "CodePage.h"
#include "ConfiguratorImages.h"
#include "FileSizeLimit.h"
#include "TermSignals.h"
#include "ToolkitTexts.h"
#include "WindowCloser.h"
#include "WindowManagerClose.h"

#include <QApplication>

TVendrillProgram::TVendrillProgram(const TQeldFormSetup& setup)
    : Boxes(WindowBoxes), PreviousBoxes(platform::CurrentMessageBoxHandler()),
      PreviousNotice(CurrentNoticeHandler()), QeldForm(setup), ConSetForm(QeldForm, &QeldForm),
      FormatMesForm(&QeldForm), ConnectProcessForm(QeldForm, &QeldForm),
      ProblemConectionForm(&QeldForm), ProblemPrompt(ProblemConectionForm) {
    WindowBoxes.SetOwner(&QeldForm);
    platform::SetMessageBoxHandler(&Boxes);
    SetNoticeHandler(&FormatMesForm);
    QeldForm.SetForms({&ConSetForm, &ConnectProcessForm, &ProblemPrompt, &Boxes});
}

TVendrillProgram::~TVendrillProgram() {
    QeldForm.FreeProject();
    // A handler installed after ours (a test's) restores ours itself.
    if (platform::CurrentMessageBoxHandler() == &Boxes)
        platform::SetMessageBoxHandler(PreviousBoxes);
    if (CurrentNoticeHandler() == &FormatMesForm)
        SetNoticeHandler(PreviousNotice);
}

int VendrillMain(int argc, char** argv) {
    // Qt sees only the program's name: the command line is not read.
    int qtArgc = 1;
    char programName[] = "Vendrill";
    char* qtArgv[] = {argc > 0 && argv[0] ? argv[0] : programName, nullptr};
    platform::SurviveFileSizeLimit();
    QApplication app(qtArgc, qtArgv);
    QApplication::setApplicationName(QStringLiteral("Vendrill"));
    QApplication::setWindowIcon(
        QIcon(QPixmap::fromImage(configurator::Image(QStringLiteral("vendrill")))));
    platform::RequireCodePage();
    platform::InstallToolkitTexts();

    // Before the windows and after them: no end signal stops their start or their end.
    platform::TermSignals endSignals;
    endSignals.KeepUntilExit();
    TVendrillProgram program;
    // The window manager's close too, under a dialog or a box, which Qt would drop.
    platform::CloseBlockedOnWindowManagerClose(
        &program.QeldForm, platform::CloseOnEndSignals(endSignals, &program.QeldForm));
    program.QeldForm.show();
    return QApplication::exec();
}
