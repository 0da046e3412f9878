#include "FileDialogs.h"

#include <QFileDialog>

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
