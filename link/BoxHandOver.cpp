#include "BoxHandOver.h"

#include <QMetaObject>
#include <algorithm>

using platform::MsgButtons;
using platform::MsgIcon;
using platform::MsgResult;

TBoxHandOver::TBoxHandOver(platform::MessageBoxHandler& window)
    : window_(window), windowThread_(std::this_thread::get_id()) {}

TBoxHandOver::~TBoxHandOver() {
    std::unique_lock lock(m_);
    closing_ = true;
    for (auto& r : queued_)
        AnswerLocked(*r, MsgResult::Cancel);
    for (auto& r : onScreen_)
        AnswerLocked(*r, MsgResult::Cancel);
    queued_.clear();
    cv_.wait(lock, [&] { return askers_ == 0; });
}

void TBoxHandOver::AnswerLocked(Request& request, MsgResult result) {
    if (request.answered)
        return;
    request.answered = true;
    request.result = result;
    cv_.notify_all();
}

MsgResult TBoxHandOver::Show(const QString& text, const QString& caption, MsgButtons buttons,
                             MsgIcon icon) {
    if (InWindowThread())
        return window_.Show(text, caption, buttons, icon);

    auto request = std::make_shared<Request>();
    request->text = text;
    request->caption = caption;
    request->buttons = buttons;
    request->icon = icon;

    std::unique_lock lock(m_);
    if (closing_ || cancelling_)
        return MsgResult::Cancel;
    ++askers_;
    queued_.push_back(request);
    if (waiterWake_)
        waiterWake_();
    // Served from the window thread's event loop when it is not waiting for us.
    QMetaObject::invokeMethod(
        &context_, [this] { ServePending(); }, Qt::QueuedConnection);
    cv_.wait(lock, [&] { return request->answered; });
    --askers_;
    cv_.notify_all();
    return request->result;
}

void TBoxHandOver::ServePending() {
    for (;;) {
        std::shared_ptr<Request> request;
        {
            std::lock_guard lock(m_);
            if (queued_.empty())
                return;
            request = queued_.front();
            queued_.pop_front();
            onScreen_.push_back(request);
        }
        // Modal: the window thread's loop runs meanwhile and may serve later boxes. One
        // handed over before a quiet close began and served after it stays unseen too.
        const MsgResult result = platform::ShowBox(window_, request->text, request->caption,
                                                   request->buttons, request->icon);
        std::lock_guard lock(m_);
        onScreen_.erase(std::find(onScreen_.begin(), onScreen_.end(), request));
        AnswerLocked(*request, result);
    }
}

void TBoxHandOver::CancelPending() {
    std::lock_guard lock(m_);
    for (auto& r : queued_)
        AnswerLocked(*r, MsgResult::Cancel);
    for (auto& r : onScreen_)
        AnswerLocked(*r, MsgResult::Cancel);
    queued_.clear();
}

size_t TBoxHandOver::Pending() const {
    std::lock_guard lock(m_);
    size_t n = queued_.size();
    for (const auto& r : onScreen_)
        n += r->answered ? 0 : 1;
    return n;
}

std::function<void()> TBoxHandOver::SetWaiterWake(std::function<void()> wake) {
    std::lock_guard lock(m_);
    std::swap(waiterWake_, wake);
    return wake;
}

bool TBoxHandOver::SetCancelling(bool cancelling) {
    std::lock_guard lock(m_);
    std::swap(cancelling_, cancelling);
    return cancelling;
}
