#pragma once
// Recorders that stand in for the windows in tests of the link: they keep every call,
// in order, and may be read from any thread while the port thread reports.
#include "LinkWindows.h"

#include <QString>
#include <QStringList>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

class TRecordingMainWindow : public TMainWindowLink {
public:
    int32_t PortValue = 1;
    int32_t PortSpeedValue = 9600;
    int32_t TimeOutValue = 200;
    int32_t ScanRateValue = 1000;

    int32_t Port() const override { return PortValue; }
    int32_t PortSpeed() const override { return PortSpeedValue; }
    int32_t TimeOut() const override { return TimeOutValue; }
    int32_t ScanRate() const override { return ScanRateValue; }
    void SetConnectedUI() override;
    void SetDisconnectedUI() override;

    // "connected" and "disconnected", in call order.
    QStringList Calls() const;

private:
    mutable std::mutex m_;
    QStringList calls_;
};

class TRecordingConnectProcess : public TConnectProcessLink {
public:
    struct Entry {
        bool Stage = false; // a SetStage call, else a post
        QString StageText;
        int32_t StageAnim = 0;
        TConnectProgress Progress;
    };

    void SetStage(const QString& text, int32_t anim) override;
    void Post(const TConnectProgress& progress) override;

    std::vector<Entry> Entries() const;
    // One line per entry: "stage <text> <anim>", "show", "request", "reply",
    // "status <MessageText>", "mismatch", "progress <LParam>", "done", "cycle".
    QStringList Lines() const;
    static QString Line(const Entry& entry);
    size_t Count() const;
    size_t Count(TLinkCode code) const;
    void Clear();
    // Waits at most timeoutMs until done(entries) holds; for tests that run the thread.
    bool WaitUntil(const std::function<bool(const std::vector<Entry>&)>& done, int timeoutMs) const;
    // Waits until `count` posts of code have come.
    bool WaitForCount(TLinkCode code, size_t count, int timeoutMs) const;

private:
    mutable std::mutex m_;
    mutable std::condition_variable cv_;
    std::vector<Entry> entries_;
};
