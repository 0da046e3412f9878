#include "QeldDialogs.h"

#include <QFileDialog>
#include <QFileInfo>

namespace {

QString Run(QWidget* owner, QFileDialog::AcceptMode mode, QString& dir) {
    QFileDialog dialog(owner, QString(), dir);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                       : QFileDialog::AnyFile);
    dialog.setNameFilters(QeldFileFilters());
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    const QString chosen = dialog.selectedFiles().first();
    dir = QFileInfo(chosen).absolutePath();
    return chosen;
}

} // namespace

QStringList QeldFileFilters() {
    return {QStringLiteral("XMLки (*.xml)"), QStringLiteral("Всё (*.*)")};
}

QString TQtQeldFileDialogs::RunOpenDialog() {
    return Run(Owner.data(), QFileDialog::AcceptOpen, OpenDir);
}

QString TQtQeldFileDialogs::RunSaveDialog() {
    return Run(Owner.data(), QFileDialog::AcceptSave, SaveDir);
}
