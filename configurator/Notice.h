#pragma once
// The seam through which channel input shows its refusals: the program binds the
// message form to it, tests bind a recorder. Window thread only.
#include <QString>
#include <QStringList>

class TNoticeHandler {
public:
    // A handler that goes while installed takes itself out, so nothing calls it dead.
    virtual ~TNoticeHandler();
    // Shows the text modally and returns when the user has closed it.
    virtual void ShowNotice(const QString& text) = 0;
};

// Installs the handler ShowNotice() uses; nullptr restores the default, which shows
// nothing (a headless run has no one to tell).
void SetNoticeHandler(TNoticeHandler* handler);
TNoticeHandler* CurrentNoticeHandler();

void ShowNotice(const QString& text);

// Records every notice; installs itself and restores the previous handler when destroyed.
class TRecordingNotice : public TNoticeHandler {
public:
    TRecordingNotice();
    ~TRecordingNotice() override;
    TRecordingNotice(const TRecordingNotice&) = delete;
    TRecordingNotice& operator=(const TRecordingNotice&) = delete;
    void ShowNotice(const QString& text) override;

    QStringList Texts;

private:
    TNoticeHandler* previous_;
};
