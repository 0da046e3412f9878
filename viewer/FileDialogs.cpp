#include "FileDialogs.h"

#include <QFileDialog>
#include <QFileInfo>

QString TQtFileDialogs::RunArchiveOpenDialog() {
    const QString dir =
        openFileName_.isEmpty() ? openDir_ : QFileInfo(openFileName_).absolutePath();
    QFileDialog dialog(owner_.data(), QString(), dir);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({QStringLiteral("Зашифрованый архив (*.xxx)"),
                           QStringLiteral("Архив csv (*.csv)"), QStringLiteral("Все файлы (*.*)")});
    if (!openFileName_.isEmpty())
        dialog.selectFile(openFileName_);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    openFileName_ = dialog.selectedFiles().first();
    return openFileName_;
}

QString TQtFileDialogs::RunCsvSaveDialog(const QString& fileName) {
    QFileDialog dialog(owner_.data(), QString(), saveDir_, QStringLiteral("Архив csv (*.csv)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // The export asks its own question about an existing file.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.selectFile(fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}
