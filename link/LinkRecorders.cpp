#include "LinkRecorders.h"

#include <algorithm>
#include <chrono>

void TRecordingMainWindow::SetConnectedUI() {
    std::lock_guard lock(m_);
    calls_ << QStringLiteral("connected");
}

void TRecordingMainWindow::SetDisconnectedUI() {
    std::lock_guard lock(m_);
    calls_ << QStringLiteral("disconnected");
}

QStringList TRecordingMainWindow::Calls() const {
    std::lock_guard lock(m_);
    return calls_;
}

void TRecordingConnectProcess::SetStage(const QString& text, int32_t anim) {
    Entry e;
    e.Stage = true;
    e.StageText = text;
    e.StageAnim = anim;
    std::lock_guard lock(m_);
    entries_.push_back(e);
    cv_.notify_all();
}

void TRecordingConnectProcess::Post(const TConnectProgress& progress) {
    Entry e;
    e.Progress = progress;
    std::lock_guard lock(m_);
    entries_.push_back(e);
    cv_.notify_all();
}

std::vector<TRecordingConnectProcess::Entry> TRecordingConnectProcess::Entries() const {
    std::lock_guard lock(m_);
    return entries_;
}

QString TRecordingConnectProcess::Line(const Entry& e) {
    if (e.Stage)
        return QStringLiteral("stage %1 %2").arg(e.StageText).arg(e.StageAnim);
    const TConnectProgress& p = e.Progress;
    switch (p.Code) {
    case lnkShow:
        return QStringLiteral("show");
    case lnkRequest:
        return QStringLiteral("request");
    case lnkReply:
        return QStringLiteral("reply");
    case lnkStatus:
        return QStringLiteral("status ") + p.MessageText;
    case lnkMismatch:
        return QStringLiteral("mismatch");
    case lnkProgress:
        return QStringLiteral("progress %1").arg(p.LParam);
    case lnkDone:
        return QStringLiteral("done");
    case lnkCycle:
        return QStringLiteral("cycle");
    }
    return QStringLiteral("code %1").arg(static_cast<int>(p.Code));
}

QStringList TRecordingConnectProcess::Lines() const {
    QStringList lines;
    for (const Entry& e : Entries())
        lines << Line(e);
    return lines;
}

size_t TRecordingConnectProcess::Count() const {
    std::lock_guard lock(m_);
    return entries_.size();
}

size_t TRecordingConnectProcess::Count(TLinkCode code) const {
    std::lock_guard lock(m_);
    return std::count_if(entries_.begin(), entries_.end(),
                         [code](const Entry& e) { return !e.Stage && e.Progress.Code == code; });
}

void TRecordingConnectProcess::Clear() {
    std::lock_guard lock(m_);
    entries_.clear();
}

bool TRecordingConnectProcess::WaitUntil(const std::function<bool(const std::vector<Entry>&)>& done,
                                         int timeoutMs) const {
    std::unique_lock lock(m_);
    return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return done(entries_); });
}

bool TRecordingConnectProcess::WaitForCount(TLinkCode code, size_t count, int timeoutMs) const {
    return WaitUntil(
        [&](const std::vector<Entry>& entries) {
            return static_cast<size_t>(
                       std::count_if(entries.begin(), entries.end(), [&](const Entry& e) {
                           return !e.Stage && e.Progress.Code == code;
                       })) >= count;
        },
        timeoutMs);
}
