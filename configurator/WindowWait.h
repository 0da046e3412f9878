#pragma once
// The main window while it waits for the port thread (a Connect after a Disconnect, the
// start of card mode, the end of the link before its project is freed): it keeps
// painting and running its timers and the link's reports, shows the busy cursor, and
// takes nothing the user does, so that no second click can start a second wait, a
// second connect or free the project under the first.
//
// Installed on the application while a wait runs, it drops the user's input: mouse,
// wheel, keys and shortcuts, touch, drag and drop and context menus. The one exception
// is a modal window opened during the wait (a message box that the port thread handed
// over): it is answered as usual. The window manager's close reaches the windows as a
// close event, which is no input: the main window itself puts it off while Waiting()
// (AskClose) and makes it once the wait is over.
// A report that would show the connection-progress dialog modally is dropped too: it
// belongs to the link that the wait is stopping or pausing, and its modal loop would
// take input.
#include "WaitHook.h"

#include <QObject>

class TWindowWait : public QObject, public TWaitHook {
    Q_OBJECT
public:
    void BeginWait() override;
    // One pass over the pending events, input dropped.
    void ServeWait() override;
    void EndWait() override;

    // True while a wait runs.
    bool Waiting() const { return Depth > 0; }
    // A close came during a wait; it is made once the wait is over.
    void AskClose() { CloseWasAsked = true; }
    bool CloseAsked() const override { return CloseWasAsked; }

signals:
    // The outermost wait has ended.
    void Ended();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int Depth = 0; // waits inside waits
    bool CloseWasAsked = false;
};
