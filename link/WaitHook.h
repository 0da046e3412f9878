#pragma once
// What the window thread does while it waits for the port thread: the wait may last a
// whole poll period, and the window must stay drawn meanwhile without letting the user
// start anything. The window side implements it; the link knows no widgets.
//
// Window thread only. Every bounded wait of the window thread for the port thread calls
// BeginWait once, ServeWait again and again until the thread is where the wait wants it
// (or the bound is up), then EndWait once. A wait may run inside another one's ServeWait
// (a message box of the port thread shown meanwhile); the calls then nest.
class TWaitHook {
public:
    virtual ~TWaitHook() = default;
    virtual void BeginWait() = 0;
    // Serves what the window needs of its own (repaints, timers, posted reports) and
    // nothing the user does. The time it takes does not count against the wait's bound.
    virtual void ServeWait() = 0;
    virtual void EndWait() = 0;
    // True once the window has been asked to close during a wait: the caller that waited
    // starts nothing after it (no connect, no window, no card mount) and leaves the close
    // to go on.
    virtual bool CloseAsked() const { return false; }
};
