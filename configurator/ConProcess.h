#pragma once
// The connection-progress dialog: a small borderless window that shows the device search
// and the first full read, and the window through which the polling master reports from
// the port thread. The master's reports arrive as posted events (LinkWindows.h) carrying
// the texts and numbers as they were at the post; the dialog shows them, keeps the main
// window's request and reply counters and has the open project refresh its list after
// every poll cycle. Its controls change in the window thread only.
#include "LinkWindows.h"

#include <QDialog>
#include <QImage>
#include <QList>
#include <QTimer>
#include <cstdint>

class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;

// The open project as the dialog sees it.
class TConnectProject {
public:
    virtual ~TConnectProject() = default;
    // Rewrites the visible channel values from the registers.
    virtual void RefreshView() = 0;
    // Stops the link (the polling master then shows the disconnected state).
    virtual void Disconnect() = 0;
};

// The main window as the dialog sees it: its status-bar counters and its open project.
// Window thread only.
class TConnectProcessOwner {
public:
    virtual ~TConnectProcessOwner() = default;
    // One more request / good reply, shown in the status bar at once.
    virtual void CountRequest() = 0;
    virtual void CountAnswer() = 0;
    virtual int32_t RequestCount() const = 0;
    // nullptr while no project is open.
    virtual TConnectProject* OpenProject() = 0;
};

// A looping animation in place of the stock animation control, with frames of our own
// drawn at the control's top left, unscaled.
class TAnimate : public QWidget {
    Q_OBJECT
public:
    static constexpr int FrameMs = 80;

    explicit TAnimate(QWidget* parent);
    // The stock animation by its number (1 find folder ... 8 delete file). Ours has the
    // search (1) only; any other number gives no animation. Leaves it stopped.
    void SetCommonAVI(int32_t anim);
    int32_t CommonAVI() const { return Anim; }
    // Playing from the first frame; no effect without an animation.
    void Play();
    void Stop();
    bool Active() const { return Timer.isActive(); }
    int FrameCount() const { return Frames.size(); }
    int Frame() const { return FrameIndex; }
    // The next frame, after the last the first.
    void Step();

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QList<QImage> Frames;
    int32_t Anim = 0;
    int FrameIndex = 0;
    QTimer Timer;
};

class TConnectProcessForm : public QDialog {
    Q_OBJECT
public:
    // mainWindow: the window the dialog centres on at each showing; none in tests.
    explicit TConnectProcessForm(TConnectProcessOwner& owner, QWidget* mainWindow = nullptr);

    // What the polling master talks to from the port thread: its calls become events
    // posted to this dialog.
    TConnectProcessLink& Link() { return Posting; }

    // The stage text and animation, with the error text hidden (the effect of the
    // master's SetStage, in the window thread).
    void SetStage(const QString& text, int32_t anim);
    // The reaction to one report. lnkShow runs the dialog modally and returns when it
    // closes; reports posted meanwhile are handled from within its modal loop.
    void WMConnectProgress(const TConnectProgress& progress);
    // Closes the dialog with Cancel, stops the animation and disconnects the open project.
    void CancelButtonClick();

    // The texts and numbers of the last report handled.
    QString MessageText;
    QString ErrorText;
    int32_t ProgressMin = 0;
    int32_t ProgressMax = 0;
    int32_t ProgressPos = 0;

    QFrame* Panel1;
    TAnimate* Animate1;
    QLabel* ErrStaticText;
    QLabel* MesageLabel;
    QProgressBar* ProgressBar1;
    QPushButton* CancelButton;

public slots:
    // Esc and the window manager's close act as Cancel, so the link never runs on with
    // the dialog gone.
    void reject() override;

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void FormShow();
    void ShowStatus(const QString& text);
    // The bar's range and position; a position outside the range shows as an empty or
    // full bar, and a range without width as an empty bar.
    void SetProgress(int32_t min, int32_t max, int32_t pos);
    void SetProgressPosition(int32_t pos);

    TConnectProcessOwner& Owner;
    QWidget* MainWindow;
    TPostingConnectProcess Posting;
    int32_t BarMin = 0;
    int32_t BarMax = 100;
};
