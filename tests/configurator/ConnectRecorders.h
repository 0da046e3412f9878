#pragma once
// The main window and its open project as the connection-progress dialog sees them.
#include "ConProcess.h"

#include <QStringList>

class RecordingConnectOwner : public TConnectProcessOwner, public TConnectProject {
public:
    void CountRequest() override { ++Requests; }
    void CountAnswer() override { ++Answers; }
    int32_t RequestCount() const override { return Requests; }
    TConnectProject* OpenProject() override { return HasProject ? this : nullptr; }
    void RefreshView() override { Calls.append("refresh"); }
    void Disconnect() override { Calls.append("disconnect"); }

    int32_t Requests = 0;
    int32_t Answers = 0;
    bool HasProject = true;
    // "refresh" and "disconnect", in call order.
    QStringList Calls;
};
