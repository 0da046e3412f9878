#include "Program.h"

#include "CodePage.h"
#include "FileSizeLimit.h"
#include "TermSignals.h"
#include "ToolkitTexts.h"
#include "ViewerImages.h"
#include "WindowCloser.h"
#include "WindowManagerClose.h"

#include <QApplication>

namespace viewer {

QStringList CommandLineParams(int argc, char** argv) {
    QStringList params;
    for (int i = 1; i < argc; ++i)
        params.append(QString::fromLocal8Bit(argv[i]));
    return params;
}

TBrisquelProgram::TBrisquelProgram(const QStringList& params)
    : AboutForm(&TolvaForm), SoryForm(&TolvaForm), SetingsForm(&TolvaForm),
      PreviousBoxes(platform::CurrentMessageBoxHandler()) {
    MessageBoxes.SetOwner(&TolvaForm);
    platform::SetMessageBoxHandler(&MessageBoxes);
    TolvaForm.SetForms(&AboutForm, &SoryForm, &SetingsForm);
    TolvaForm.SetCommandLine(params);
}

TBrisquelProgram::~TBrisquelProgram() {
    // A handler installed after ours (a test's) restores ours itself.
    if (platform::CurrentMessageBoxHandler() == &MessageBoxes)
        platform::SetMessageBoxHandler(PreviousBoxes);
}

int BrisquelMain(int argc, char** argv) {
    int qtArgc = 1;
    char programName[] = "Brisquel";
    char* qtArgv[] = {argc > 0 && argv[0] ? argv[0] : programName, nullptr};
    platform::SurviveFileSizeLimit();
    QApplication app(qtArgc, qtArgv);
    QApplication::setApplicationName(QStringLiteral("Brisquel"));
    QApplication::setWindowIcon(QIcon(QPixmap::fromImage(Image(QStringLiteral("brisquel")))));
    platform::RequireCodePage();
    platform::InstallToolkitTexts();

    // Before the windows and after them: no end signal stops their start or their end.
    platform::TermSignals endSignals;
    endSignals.KeepUntilExit();
    TBrisquelProgram program(CommandLineParams(argc, argv));
    // The window manager's close too, under a dialog or a box, which Qt would drop.
    platform::CloseBlockedOnWindowManagerClose(
        &program.TolvaForm, platform::CloseOnEndSignals(endSignals, &program.TolvaForm));
    program.TolvaForm.show();
    return QApplication::exec();
}

} // namespace viewer
