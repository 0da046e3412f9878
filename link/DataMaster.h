#pragma once
// The configurator's Modbus RTU master. The project hands it the device address, the
// identification text, its read packets and its write queue, and tells it to connect
// or disconnect. Request by request it decides what goes over the line: first it
// identifies the instrument (Report Slave ID, function 17) when the project gives an
// identification text, then it reads every packet once (the first full read), then it
// polls cyclically: queued writes first, one per step, then the packets that have a
// register on screen or not yet read. It reports to the connection-progress dialog by
// posting a TLinkCode with the dialog's texts and numbers as they are at that moment.
// On request it stops polling and lends the port to the card reader (card mode).
//
// Threads: NextRequest and every step below it run in the port thread, which the
// master owns; the other operations run in the window thread. The two share the
// master's State and the thread's State (atomics, each change made by compare-and-
// exchange so that neither thread overwrites what the other set meanwhile), the
// registers' values and flags (atomics), and the write queue (locked). The waits of the
// window thread for the port thread in Connect and EnterCardMode are bounded and keep
// serving the message boxes the port thread hands over (a refused write's) and the
// window (the wait hook); the wait for the thread's end cancels the boxes, and serves
// the window when it comes through EndLink.
#include "LinkWindows.h"
#include "Packets.h"
#include "PortThread.h"
#include "VaskMMC.h"
#include "WriteQueue.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

class TBoxHandOver;

enum TDataMasterState : uint8_t {
    dmsSearch = 0,  // identifying the device
    dmsStopped = 1, // no requests: before the first connect, after a mismatch or a disconnect
    dmsUpdate = 2,  // first full read of every packet
    dmsPoll = 3,    // cyclic poll with queued writes
    dmsCard = 4,    // the port is lent to the card reader
};

class TDataMaster {
public:
    // The texts the master shows.
    static const QString SearchText;   // "Поиск устройства..."
    static const QString SilentText;   // "Устройство не отвечает..."
    static const QString UpdateText;   // "Обновляется пакет"
    static const QString MismatchText; // three lines, each break 0A 0D
    static const QString NoPortText;   // "Не могу открыть порт " + the port number
    static const QString CaptionText;  // "Внимание"
    static constexpr int32_t SilentAfter = 30; // unanswered requests that show nothing

    // Window thread. Stopped, address 210, a port thread that has never run, and the
    // card reader. The windows must outlive the master; the clock and the line factory
    // are the port thread's (tests run it on virtual time).
    TDataMaster(TMainWindowLink& mainWindow, TConnectProcessLink& dialog,
                platform::Clock& clock = platform::SystemClock(),
                TPortThread::TLineFactory makeLine = {});
    // Ends the port thread and returns only once it no longer touches the packets,
    // registers and write queue it was given; boxes it hands over meanwhile are cancelled.
    ~TDataMaster();
    TDataMaster(const TDataMaster&) = delete;
    TDataMaster& operator=(const TDataMaster&) = delete;

    // --- Window thread ---

    // The hand-over through which the port thread's message boxes reach the window
    // thread; set before the first Connect, must outlive the master.
    void SetBoxHandOver(TBoxHandOver* boxes);
    // What the window does while Connect, EnterCardMode and EndLink wait for the port
    // thread; nullptr: nothing. Set before the first Connect, must outlive the master.
    void SetWaitHook(TWaitHook* hook) { thread_->SetWaitHook(hook); }

    // The slave address of the identification request and of the card reader; may
    // change while connected.
    void SetAddress(uint8_t address) { address_.store(address); }
    uint8_t Address() const { return address_.load(); }

    // Connects with the project's identification text (empty: no identification), its
    // read packets and its write queue, which must stay until the next Connect or the
    // master's end. The port settings come from the main window (Pause and Gap 20). A
    // thread that still runs a connection is first made to close the port and reach
    // ptsIdle (one that does not within its bound refuses the connect as a port that
    // does not open). If the port opens: device search, the thread opens the port and polls,
    // and the main window shows its connected state. If not: "Не могу открыть порт N"
    // (caption "Внимание"), the disconnected state, the thread stays suspended.
    void Connect(const QString& deviceId, const std::vector<TPacket*>& packets,
                 TWriteQueue& writes);
    // Makes the thread close the port and the master stop; shows the disconnected
    // state. Does not wait: the thread finishes its cycle, sleeps out the period and
    // closes the port.
    void Disconnect();
    // From dmsPoll only (else false, nothing changed): stops the poll, waits until the
    // thread has paused (no exchange of the poll in flight), lends the port and the
    // address to the card reader, mounts the card and lists its root. False when any of
    // that fails, or when the window's close came during the wait (nothing is mounted);
    // the master is then polling again, except when the thread was not polling (the
    // caller then calls LeaveCardMode).
    bool EnterCardMode();
    // Back from card mode: the master polls again, the thread takes its port back.
    void LeaveCardMode();
    // Ends the port thread for good, as the master's end does, with the wait hook
    // served meanwhile: for the window side before it frees what the link was given, so
    // that what the window reaches meanwhile is whole. The master's end then waits no more.
    void EndLink() { thread_->StopServed(); }

    TDataMasterState State() const { return static_cast<TDataMasterState>(state_.load()); }
    TMMC& MMC() { return mmc_; }
    TPortThread& Thread() { return *thread_; }

    // --- Port thread ---

    // The thread's OnRequest: judges the reply in buffer (when set) and sets buffer to
    // the next request, or to nullptr to end the cycle.
    void NextRequest(TPortBuffer*& buffer);

    // What Connect does once the port has opened, without touching the thread: tests
    // drive NextRequest by hand from here.
    void StartSteps(const QString& deviceId, const std::vector<TPacket*>& packets,
                    TWriteQueue& writes);

    // The steps' own fields (port thread; tests read them between steps).
    int32_t SearchStep() const { return searchStep_; }
    int32_t Retries() const { return retries_; }
    int32_t PacketIndex() const { return packetIndex_; }
    bool WriteInFlight() const { return writeInFlight_; }
    const TPortBuffer& Buffer() const { return buffer_; }

    // True when the identification text's Windows-1251 bytes stand in the reply from
    // byte 3 on, in the bytes that came before the CRC; a device whose identification
    // begins with the text matches. A reply too short to hold the text does not.
    bool DeviceIdMatches(const TPortBuffer& reply) const;

private:
    void StepSearch(TPortBuffer*& buffer);
    void BuildIdRequest(TPortBuffer*& buffer);
    void StartUpdate(TPortBuffer*& buffer);
    void StepUpdate(TPortBuffer*& buffer);
    void StepPoll(TPortBuffer*& buffer);
    // Judges the reply to the write at the head of the queue and removes it.
    void FinishWrite(TPortBuffer*& buffer);
    // Builds the head of the queue into the buffer; false when the queue is empty.
    bool SubmitWrite(TPortBuffer*& buffer);
    void Submit(TPortBuffer*& buffer);
    void NotifyReply() { Post(lnkReply); }
    void Post(TLinkCode code, int32_t lParam = 0);
    // The port thread's own change of the master's state: only from the state it
    // expects, so that a Disconnect or card mode set meanwhile stays.
    bool ChangeState(TDataMasterState expected, TDataMasterState desired);

    // Window thread: the thread no longer runs a connection and is suspended.
    bool QuietThread();
    // Window thread, after a wait: the window's close came during it and goes on after
    // it, so nothing starts under it.
    bool CloseAskedMeanwhile() const;
    void RefuseConnect(uint8_t port);

    TMainWindowLink& mainWindow_;
    TConnectProcessLink& dialog_;
    std::atomic<uint8_t> state_{dmsStopped};
    std::atomic<uint8_t> address_{210};
    std::vector<TPacket*> packets_; // not owned
    TWriteQueue* writes_ = nullptr; // not owned
    QString deviceId_;
    QByteArray deviceIdBytes_;

    // Port thread only, between Connect and the end of the link.
    int32_t searchStep_ = 0;
    int32_t retries_ = 0;
    int32_t packetIndex_ = 0;
    bool writeInFlight_ = false;
    TPortBuffer buffer_;
    TConnectProgress progress_; // the dialog's fields as the steps last wrote them

    std::unique_ptr<TPortThread> thread_;
    TMMC mmc_;
};
