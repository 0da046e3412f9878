#include "MessageBox.h"

#include <atomic>

namespace platform {

namespace {
std::atomic<MessageBoxHandler*> g_handler{nullptr};
// Quiet closes begun and not yet gone.
std::atomic<int> g_quietCloses{0};
} // namespace

MsgResult FirstButtonResult(MsgButtons buttons) {
    switch (buttons) {
    case MsgButtons::Ok:
    case MsgButtons::OkCancel:
        return MsgResult::Ok;
    case MsgButtons::YesNo:
    case MsgButtons::YesNoCancel:
        return MsgResult::Yes;
    case MsgButtons::RetryCancel:
        return MsgResult::Retry;
    case MsgButtons::AbortRetryIgnore:
        return MsgResult::Abort;
    }
    return MsgResult::Ok;
}

MsgResult CloseButtonResult(MsgButtons buttons) {
    switch (buttons) {
    case MsgButtons::Ok:
        return MsgResult::Ok;
    case MsgButtons::YesNo:
        return MsgResult::No;
    case MsgButtons::AbortRetryIgnore:
        return MsgResult::Abort;
    case MsgButtons::OkCancel:
    case MsgButtons::YesNoCancel:
    case MsgButtons::RetryCancel:
        return MsgResult::Cancel;
    }
    return MsgResult::Cancel;
}

void SetMessageBoxHandler(MessageBoxHandler* handler) { g_handler.store(handler); }

MessageBoxHandler* CurrentMessageBoxHandler() { return g_handler.load(); }

MsgResult MessageBox(const QString& text, const QString& caption, MsgButtons buttons, MsgIcon icon) {
    if (QuietCloseBegun())
        return CloseButtonResult(buttons);
    if (MessageBoxHandler* handler = g_handler.load())
        return handler->Show(text, caption, buttons, icon);
    return FirstButtonResult(buttons);
}

MsgResult ShowBox(MessageBoxHandler& handler, const QString& text, const QString& caption,
                  MsgButtons buttons, MsgIcon icon) {
    if (QuietCloseBegun())
        return CloseButtonResult(buttons);
    return handler.Show(text, caption, buttons, icon);
}

QuietClose::~QuietClose() {
    if (begun_)
        g_quietCloses.fetch_sub(1);
}

void QuietClose::Begin() {
    if (begun_)
        return;
    begun_ = true;
    g_quietCloses.fetch_add(1);
}

bool QuietCloseBegun() { return g_quietCloses.load() > 0; }

RecordingMessageBox::RecordingMessageBox() : previous_(CurrentMessageBoxHandler()) {
    SetMessageBoxHandler(this);
}

RecordingMessageBox::~RecordingMessageBox() { SetMessageBoxHandler(previous_); }

MsgResult RecordingMessageBox::Show(const QString& text, const QString& caption, MsgButtons buttons,
                                    MsgIcon icon) {
    std::lock_guard lock(mutex_);
    shown_.push_back({text, caption, buttons, icon});
    if (answers_.empty())
        return FirstButtonResult(buttons);
    MsgResult r = answers_.front();
    answers_.pop_front();
    return r;
}

void RecordingMessageBox::Answer(MsgResult result) {
    std::lock_guard lock(mutex_);
    answers_.push_back(result);
}

std::vector<RecordingMessageBox::Shown> RecordingMessageBox::Boxes() const {
    std::lock_guard lock(mutex_);
    return shown_;
}

size_t RecordingMessageBox::Count() const {
    std::lock_guard lock(mutex_);
    return shown_.size();
}

void RecordingMessageBox::Clear() {
    std::lock_guard lock(mutex_);
    shown_.clear();
    answers_.clear();
}

} // namespace platform
