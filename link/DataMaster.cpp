#include "DataMaster.h"

#include "CodePage.h"
#include "MessageBox.h"
#include "WaitHook.h"

const QString TDataMaster::SearchText = QStringLiteral("Поиск устройства...");
const QString TDataMaster::SilentText = QStringLiteral("Устройство не отвечает...");
const QString TDataMaster::UpdateText = QStringLiteral("Обновляется пакет");
const QString TDataMaster::MismatchText =
    QStringLiteral("Внимание!!!\n\rНайденое устройство не соответствует файлу описания.\n\r"
                   "Дальнейшая работа с этим устройством не возможна.");
const QString TDataMaster::NoPortText = QStringLiteral("Не могу открыть порт ");
const QString TDataMaster::CaptionText = QStringLiteral("Внимание");

namespace {
constexpr uint8_t kReportSlaveId = 0x11;
constexpr uint8_t kReadUntilSilent = 255;
constexpr uint16_t kPause = 20;
constexpr uint16_t kGap = 20;
constexpr int32_t kSearchAnim = 1; // the find-folder animation
// A reply's bytes before the identification text, and its CRC after it.
constexpr int kIdOffset = 3;
constexpr int kCrcBytes = 2;
} // namespace

TDataMaster::TDataMaster(TMainWindowLink& mainWindow, TConnectProcessLink& dialog,
                         platform::Clock& clock, TPortThread::TLineFactory makeLine)
    : mainWindow_(mainWindow), dialog_(dialog),
      thread_(std::make_unique<TPortThread>(clock, std::move(makeLine))) {}

TDataMaster::~TDataMaster() {
    // The project frees its packets, registers and queue right after this.
    thread_->Stop();
}

void TDataMaster::SetBoxHandOver(TBoxHandOver* boxes) {
    thread_->SetBoxHandOver(boxes);
}

// --- Window thread ---

void TDataMaster::Connect(const QString& deviceId, const std::vector<TPacket*>& packets,
                          TWriteQueue& writes) {
    TPortSettings settings;
    settings.Port = static_cast<uint8_t>(mainWindow_.Port());
    settings.Speed = mainWindow_.PortSpeed();
    settings.TimeOut = static_cast<uint16_t>(mainWindow_.TimeOut());
    settings.Pause = kPause;
    settings.Gap = kGap;

    // A thread suspended inside a cycle would, once resumed, finish it on a port that
    // the port test has closed.
    const bool quiet = QuietThread();
    if (CloseAskedMeanwhile())
        return;
    if (!quiet) {
        RefuseConnect(settings.Port);
        return;
    }
    thread_->Setup(settings, static_cast<uint16_t>(mainWindow_.ScanRate()));
    thread_->OnRequest = [this](TPortBuffer*& buffer) { NextRequest(buffer); };
    if (!thread_->TestPort()) {
        RefuseConnect(settings.Port);
        return;
    }
    StartSteps(deviceId, packets, writes);
    thread_->SetState(ptsOpen);
    thread_->Resume();
    mainWindow_.SetConnectedUI();
}

bool TDataMaster::QuietThread() {
    if (!thread_->Started() || thread_->Suspended())
        return true;
    const int64_t bound = thread_->CycleBoundMs();
    if (thread_->State() != ptsIdle) {
        // Still connected (or a disconnect not yet done): the master stops answering,
        // so the cycle ends after the exchange in flight, and the port closes. A plain
        // store, as in Disconnect: a compare-and-exchange from the state just read
        // would lose to the thread's own ptsOpen -> ptsPoll and leave it polling.
        state_.store(dmsStopped);
        thread_->SetState(ptsClose);
    }
    return thread_->WaitReached(ptsIdle, bound) && thread_->Suspend(bound);
}

bool TDataMaster::CloseAskedMeanwhile() const {
    const TWaitHook* window = thread_->WaitHook();
    return window && window->CloseAsked();
}

void TDataMaster::RefuseConnect(uint8_t port) {
    platform::MessageBox(NoPortText + QString::number(port), CaptionText);
    mainWindow_.SetDisconnectedUI();
}

void TDataMaster::StartSteps(const QString& deviceId, const std::vector<TPacket*>& packets,
                             TWriteQueue& writes) {
    deviceId_ = deviceId;
    deviceIdBytes_ = platform::ToCodePage(deviceId);
    packets_ = packets;
    writes_ = &writes;
    searchStep_ = 0;
    state_.store(dmsSearch);
}

void TDataMaster::Disconnect() {
    thread_->SetState(ptsClose);
    state_.store(dmsStopped);
    mainWindow_.SetDisconnectedUI();
}

bool TDataMaster::EnterCardMode() {
    // Only from the poll: a stopped master (after a mismatch, say) must not come out of
    // card mode polling.
    if (!ChangeState(dmsPoll, dmsCard))
        return false;
    if (!thread_->ChangeState(ptsPoll, ptsPaused))
        return false;
    // The card reader must never exchange while an exchange of the poll is in flight.
    if (!thread_->WaitReached(ptsPaused, thread_->CycleBoundMs()) || CloseAskedMeanwhile()) {
        LeaveCardMode();
        return false;
    }
    mmc_.Port = thread_->Port();
    mmc_.Address = Address();
    if (!mmc_.Mount() || !mmc_.ReadDirectory()) {
        LeaveCardMode();
        return false;
    }
    return true;
}

void TDataMaster::LeaveCardMode() {
    uint8_t card = dmsCard;
    state_.compare_exchange_strong(card, dmsPoll);
    thread_->ChangeState(ptsPaused, ptsPoll);
}

// --- Port thread ---

bool TDataMaster::ChangeState(TDataMasterState expected, TDataMasterState desired) {
    uint8_t e = expected;
    return state_.compare_exchange_strong(e, desired);
}

void TDataMaster::Post(TLinkCode code, int32_t lParam) {
    TConnectProgress progress = progress_;
    progress.Code = code;
    progress.LParam = lParam;
    dialog_.Post(progress);
}

void TDataMaster::Submit(TPortBuffer*& buffer) {
    buffer = &buffer_;
    Post(lnkRequest);
}

void TDataMaster::NextRequest(TPortBuffer*& buffer) {
    switch (State()) {
    case dmsSearch:
        StepSearch(buffer);
        break;
    case dmsUpdate:
        StepUpdate(buffer);
        break;
    case dmsPoll:
        StepPoll(buffer);
        break;
    default:
        buffer = nullptr;
        break;
    }
}

void TDataMaster::BuildIdRequest(TPortBuffer*& buffer) {
    buffer_.Tx[0] = Address();
    buffer_.Tx[1] = kReportSlaveId;
    AppendCRC(buffer_, 2);
    buffer_.RxLen = kReadUntilSilent;
    Submit(buffer);
}

void TDataMaster::StepSearch(TPortBuffer*& buffer) {
    if (searchStep_ == 0) {
        if (deviceId_.isEmpty()) {
            StartUpdate(buffer);
            return;
        }
        BuildIdRequest(buffer);
        searchStep_ = 1;
        retries_ = 0;
        dialog_.SetStage(SearchText, kSearchAnim);
        Post(lnkShow);
        progress_.MessageText = SearchText;
        Post(lnkStatus);
        return;
    }
    if (!buffer || buffer->RxCount <= 3) {
        BuildIdRequest(buffer);
        if (retries_ > SilentAfter) {
            progress_.MessageText = SilentText;
            Post(lnkStatus);
        } else {
            ++retries_;
        }
        return;
    }
    if (!CheckReplyCRC(*buffer))
        return; // the same request goes out again, uncounted
    NotifyReply();
    if (DeviceIdMatches(*buffer)) {
        StartUpdate(buffer);
        return;
    }
    // Stopped before the window side hears of it, so that it sees the state it reports.
    ChangeState(dmsSearch, dmsStopped);
    buffer = nullptr;
    progress_.ErrorText = MismatchText;
    Post(lnkMismatch);
}

bool TDataMaster::DeviceIdMatches(const TPortBuffer& reply) const {
    // Only bytes that came, before the CRC: what Rx held from earlier replies, or past
    // its end, must not decide.
    const int textBytes = int(reply.RxCount) - kIdOffset - kCrcBytes;
    if (deviceIdBytes_.size() > textBytes)
        return false;
    for (qsizetype i = 0; i < deviceIdBytes_.size(); ++i)
        if (static_cast<uint8_t>(deviceIdBytes_[i]) != reply.Rx[kIdOffset + i])
            return false;
    return true;
}

void TDataMaster::StartUpdate(TPortBuffer*& buffer) {
    packetIndex_ = 0;
    buffer = nullptr;
    if (packets_.empty()) {
        // Nothing to read: polling begins with the next cycle.
        ChangeState(dmsSearch, dmsPoll);
        Post(lnkDone);
        return;
    }
    if (!ChangeState(dmsSearch, dmsUpdate))
        return; // disconnected meanwhile
    StepUpdate(buffer);
    progress_.MessageText = UpdateText;
    progress_.ProgressMin = 0;
    progress_.ProgressMax = static_cast<int32_t>(packets_.size()) - 1;
    progress_.ProgressPos = 0;
    Post(lnkStatus);
    Post(lnkProgress, 0);
}

void TDataMaster::StepUpdate(TPortBuffer*& buffer) {
    if (packets_.empty()) {
        ChangeState(dmsUpdate, dmsPoll);
        buffer = nullptr;
        Post(lnkDone);
        return;
    }
    if (!buffer) {
        packets_[packetIndex_]->BuildRequest(buffer_);
        Submit(buffer);
        return;
    }
    if (packets_[packetIndex_]->CheckReply(*buffer)) {
        NotifyReply();
        if (packetIndex_ + 1 >= static_cast<int32_t>(packets_.size())) {
            ChangeState(dmsUpdate, dmsPoll);
            buffer = nullptr;
            Post(lnkDone);
            return;
        }
        ++packetIndex_;
    }
    packets_[packetIndex_]->BuildRequest(buffer_);
    Submit(buffer);
    progress_.ProgressPos = packetIndex_;
    Post(lnkProgress, packetIndex_);
}

void TDataMaster::StepPoll(TPortBuffer*& buffer) {
    if (writeInFlight_) {
        writeInFlight_ = false;
        // A reply never judged (card mode or a disconnect came in between) leaves the
        // write at the head: it goes out again.
        if (buffer)
            FinishWrite(buffer);
    }
    if (buffer) {
        if (packetIndex_ < static_cast<int32_t>(packets_.size()) &&
            packets_[packetIndex_]->CheckReply(*buffer))
            NotifyReply();
        ++packetIndex_;
    } else {
        packetIndex_ = 0;
    }
    if (SubmitWrite(buffer))
        return;
    for (int32_t j = packetIndex_; j < static_cast<int32_t>(packets_.size()); ++j) {
        if (packets_[j]->IsActive()) {
            packets_[j]->BuildRequest(buffer_);
            packetIndex_ = j;
            Submit(buffer);
            return;
        }
    }
    buffer = nullptr;
    Post(lnkCycle);
}

void TDataMaster::FinishWrite(TPortBuffer*& buffer) {
    if (TWRPacket* head = writes_ ? writes_->Head() : nullptr) {
        // A refused write shows its box here, in the port thread, without any lock held.
        if (head->CheckReply(*buffer))
            NotifyReply();
        writes_->RemoveHead();
    }
    buffer = nullptr;
}

bool TDataMaster::SubmitWrite(TPortBuffer*& buffer) {
    while (TWRPacket* head = writes_ ? writes_->Head() : nullptr) {
        if (head->BuildRequest(buffer_)) {
            Submit(buffer);
            writeInFlight_ = true;
            return true;
        }
        writes_->RemoveHead(); // a function no channel builds: nothing to send
    }
    return false;
}
