#pragma once
// Binds the message-box seam to QMessageBox, owned by the program's main window.
#include "MessageBox.h"

#include <QPointer>
#include <QWidget>

namespace platform {

class QtMessageBox : public MessageBoxHandler {
public:
    void SetOwner(QWidget* owner) { owner_ = owner; }
    MsgResult Show(const QString& text, const QString& caption, MsgButtons buttons,
                   MsgIcon icon) override;

private:
    QPointer<QWidget> owner_;
};

} // namespace platform
