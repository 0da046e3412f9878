#pragma once
// The viewer's messages about archives, through the app-wide message-box seam.
#include <QString>
#include <exception>

namespace viewer {

// "Не удалось загрузить фаил!"
void ShowLoadFailed();
// "Неизвестный формат архива"
void ShowUnknownFormat();
// The bad-cell count and the question whether to go on; true only for OK.
bool AskGoOnAfterErrors(qint64 count);
// Whether to replace an existing export file (its name without the folder); true for OK.
bool AskReplaceFile(const QString& fileName);
// "Неудалось записать фаил" followed by the path.
void ShowWriteFailed(const QString& path);
// An error nothing else handled, shown instead of letting it unwind the event loop.
void ShowUnexpectedError(const std::exception& error);

} // namespace viewer
