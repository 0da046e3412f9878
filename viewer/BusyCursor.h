#pragma once
// The application-starting cursor while the window works, restored on every way out.
#include <QGuiApplication>

class TBusyCursor {
public:
    TBusyCursor() { QGuiApplication::setOverrideCursor(Qt::BusyCursor); }
    ~TBusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};

// The ordinary cursor over a question asked in the middle of busy work.
class TNormalCursor {
public:
    TNormalCursor() : set_(QGuiApplication::overrideCursor() != nullptr) {
        if (set_)
            QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    ~TNormalCursor() {
        if (set_)
            QGuiApplication::restoreOverrideCursor();
    }
    TNormalCursor(const TNormalCursor&) = delete;
    TNormalCursor& operator=(const TNormalCursor&) = delete;

private:
    bool set_;
};
