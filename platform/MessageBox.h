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

MsgResult MessageBox(const QString& text, const QString& caption, MsgButtons buttons = MsgButtons::Ok,
                     MsgIcon icon = MsgIcon::None);

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

} // namespace platform
