#pragma once
// The windows as the link sees them: the main window's link settings and its connected
// and disconnected states, and the connection-progress dialog that the polling master
// reports to from the port thread. The link includes no widget header: the windows
// implement these interfaces, tests bind recorders (LinkRecorders.h).
#include <QCoreApplication>
#include <QEvent>
#include <QString>
#include <cstdint>

// The main window. Window thread only.
class TMainWindowLink {
public:
    virtual ~TMainWindowLink() = default;
    virtual int32_t Port() const = 0;      // COM port number; the link takes its low 8 bits
    virtual int32_t PortSpeed() const = 0; // baud
    virtual int32_t TimeOut() const = 0;   // ms; low 16 bits
    virtual int32_t ScanRate() const = 0;  // poll period in ms; low 16 bits
    virtual void SetConnectedUI() = 0;
    virtual void SetDisconnectedUI() = 0;
};

// The code of a progress report (the wParam of WM_CONNECTPROGRESS).
enum TLinkCode : int32_t {
    lnkShow = 0,     // show the dialog modally
    lnkRequest = 1,  // a request went out
    lnkReply = 2,    // a good reply came
    lnkStatus = 3,   // show MessageText
    lnkMismatch = 4, // show MessageText and ErrorText, stop the animation
    lnkProgress = 5, // show MessageText followed by LParam, set the progress bar
    lnkDone = 6,     // close the dialog
    lnkCycle = 7,    // a poll cycle ended: refresh the list
};

// One report, with the dialog's texts and numbers as they were at the moment of the
// post: the port thread keeps writing its own copies, the window thread reads these.
struct TConnectProgress {
    TLinkCode Code = lnkShow;
    int32_t LParam = 0; // the packet index with lnkProgress, else 0
    QString MessageText;
    QString ErrorText;
    int32_t ProgressMin = 0;
    int32_t ProgressMax = 0;
    int32_t ProgressPos = 0;
};

// The connection-progress dialog. Called from the port thread; neither call may block
// or touch a widget: both hand their content to the window thread, in call order.
class TConnectProcessLink {
public:
    virtual ~TConnectProcessLink() = default;
    // The stage text and animation number (1 find folder, ... 8 delete file; any other:
    // none); it reaches the dialog before any report posted after it.
    virtual void SetStage(const QString& text, int32_t anim) = 0;
    // WM_CONNECTPROGRESS.
    virtual void Post(const TConnectProgress& progress) = 0;
};

// WM_USER + 1, as a Qt event type: the event that carries a TConnectProgress.
inline const QEvent::Type WM_CONNECTPROGRESS = static_cast<QEvent::Type>(QEvent::User + 1);
// The event that carries a SetStage call.
inline const QEvent::Type WM_CONNECTSTAGE = static_cast<QEvent::Type>(QEvent::User + 2);

class TConnectProgressEvent : public QEvent {
public:
    explicit TConnectProgressEvent(const TConnectProgress& progress)
        : QEvent(WM_CONNECTPROGRESS), Progress(progress) {}
    const TConnectProgress Progress;
};

class TConnectStageEvent : public QEvent {
public:
    TConnectStageEvent(const QString& text, int32_t anim)
        : QEvent(WM_CONNECTSTAGE), Text(text), Anim(anim) {}
    const QString Text;
    const int32_t Anim;
};

// The program's binding: posts both calls as events to the dialog's object, which
// lives in the window thread and handles them in its event() override. The receiver
// must exist before the first post and outlive the master.
class TPostingConnectProcess : public TConnectProcessLink {
public:
    explicit TPostingConnectProcess(QObject* receiver) : receiver_(receiver) {}
    void SetStage(const QString& text, int32_t anim) override {
        QCoreApplication::postEvent(receiver_, new TConnectStageEvent(text, anim));
    }
    void Post(const TConnectProgress& progress) override {
        QCoreApplication::postEvent(receiver_, new TConnectProgressEvent(progress));
    }

private:
    QObject* receiver_;
};
