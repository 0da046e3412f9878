#include "ArchiveMessages.h"

#include "MessageBox.h"

using platform::MessageBox;
using platform::MsgButtons;
using platform::MsgIcon;
using platform::MsgResult;

namespace viewer {

namespace {
const QString kAttention = QStringLiteral("Внимание");
}

void ShowLoadFailed() {
    MessageBox(QStringLiteral("Не удалось загрузить фаил!"), kAttention, MsgButtons::Ok,
               MsgIcon::Warning);
}

void ShowUnknownFormat() {
    MessageBox(QStringLiteral("Неизвестный формат архива"), kAttention, MsgButtons::Ok,
               MsgIcon::Warning);
}

bool AskGoOnAfterErrors(qint64 count) {
    const QString text = QStringLiteral("Обноружено ") + QString::number(count) +
                         QStringLiteral(" ошибок в архиве!!\r\nПродолжать в любом случае?");
    return MessageBox(text, kAttention, MsgButtons::OkCancel, MsgIcon::Warning) == MsgResult::Ok;
}

bool AskReplaceFile(const QString& fileName) {
    const QString text =
        QStringLiteral("Файл ") + fileName + QStringLiteral(" уже существует!!\r\nЗаменить?");
    return MessageBox(text, kAttention, MsgButtons::OkCancel, MsgIcon::Warning) == MsgResult::Ok;
}

void ShowWriteFailed(const QString& path) {
    MessageBox(QStringLiteral("Неудалось записать фаил") + path, QStringLiteral("Ошибка."),
               MsgButtons::Ok, MsgIcon::Information);
}

void ShowUnexpectedError(const std::exception& error) {
    MessageBox(QString::fromLocal8Bit(error.what()), QStringLiteral("Brisquel"), MsgButtons::Ok,
               MsgIcon::Error);
}

} // namespace viewer
