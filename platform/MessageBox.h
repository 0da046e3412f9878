#pragma once
// One app-wide seam for modal message boxes: the programs bind it to a real dialog,
// tests bind a recorder that answers as told.
#include <QString>
#include <deque>
#include <mutex>
#include <vector>

namespace platform {

enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel, AbortRetryIgnore };
enum class MsgIcon { None, Information, Warning, Error, Question };
// Numbered as the Windows box results, which callers compare against.
enum class MsgResult { Ok = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };

class MessageBoxHandler {
public:
    virtual ~MessageBoxHandler() = default;
    virtual MsgResult Show(const QString& text, const QString& caption, MsgButtons buttons,
                           MsgIcon icon) = 0;
};

// Installs the handler used by MessageBox(); nullptr restores the default, which
// answers the first button without showing anything (no display in a headless run).
void SetMessageBoxHandler(MessageBoxHandler* handler);
MessageBoxHandler* CurrentMessageBoxHandler();

// Shows the box through the installed handler, unless a quiet close has begun.
MsgResult MessageBox(const QString& text, const QString& caption, MsgButtons buttons = MsgButtons::Ok,
                     MsgIcon icon = MsgIcon::None);
// The same through the given handler: for a handler that passes boxes on to another.
MsgResult ShowBox(MessageBoxHandler& handler, const QString& text, const QString& caption,
                  MsgButtons buttons, MsgIcon icon);

// A program's close that asks its user nothing more: from Begin on, until the object goes,
// no box opens and each is answered as its close button would answer it, so that what asked
// goes on as after the user's answer, and the close with it. A box would hold the close
// until someone answers it, and a session that is ending has no one to.
class QuietClose {
public:
    QuietClose() = default;
    ~QuietClose();
    QuietClose(const QuietClose&) = delete;
    QuietClose& operator=(const QuietClose&) = delete;
    // Once; again changes nothing.
    void Begin();
    bool Begun() const { return begun_; }

private:
    bool begun_ = false;
};

// Any thread: true while a quiet close has begun. Other questions put to the user (a
// dialog of the program's own) are answered unseen too, as their close box would.
bool QuietCloseBegun();

// Records every box and answers from a queue (the first button's answer when empty).
class RecordingMessageBox : public MessageBoxHandler {
public:
    struct Shown {
        QString text;
        QString caption;
        MsgButtons buttons;
        MsgIcon icon;
    };
    RecordingMessageBox();  // installs itself
    ~RecordingMessageBox() override;  // restores the previous handler
    MsgResult Show(const QString& text, const QString& caption, MsgButtons buttons,
                   MsgIcon icon) override;
    void Answer(MsgResult result);
    std::vector<Shown> Boxes() const;
    size_t Count() const;
    void Clear();

private:
    mutable std::mutex mutex_;
    std::vector<Shown> shown_;
    std::deque<MsgResult> answers_;
    MessageBoxHandler* previous_;
};

MsgResult FirstButtonResult(MsgButtons buttons);
// The answer of a box closed by its close button or Escape: the Cancel, No or Abort among
// its buttons, or its only one.
MsgResult CloseButtonResult(MsgButtons buttons);

} // namespace platform
