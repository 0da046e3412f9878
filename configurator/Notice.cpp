#include "Notice.h"

namespace {
TNoticeHandler* g_handler = nullptr;
}

TNoticeHandler::~TNoticeHandler() {
    if (g_handler == this)
        g_handler = nullptr;
}

void SetNoticeHandler(TNoticeHandler* handler) {
    g_handler = handler;
}

TNoticeHandler* CurrentNoticeHandler() {
    return g_handler;
}

void ShowNotice(const QString& text) {
    if (g_handler)
        g_handler->ShowNotice(text);
}

TRecordingNotice::TRecordingNotice() : previous_(g_handler) {
    g_handler = this;
}

TRecordingNotice::~TRecordingNotice() {
    g_handler = previous_;
}

void TRecordingNotice::ShowNotice(const QString& text) {
    Texts.append(text);
}
