#include "QeldDialogs.h"

#include <QFileDialog>
#include <QFileInfo>

namespace {

QString Run(QWidget* owner, QFileDialog::AcceptMode mode, QString& dir) {
    QFileDialog dialog(owner, QString(), dir);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                       : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::HideNameFilterDetails); // each entry shows its caption only
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
    // A caption, then the patterns listed. "Всё" lists every file, names without a full
    // stop too, as "*.*" does where the program comes from; Qt's "*.*" wants a full stop.
    return {QStringLiteral("XMLки (*.xml) (*.xml)"), QStringLiteral("Всё (*.*) (*)")};
}

QString TQtQeldFileDialogs::RunOpenDialog() {
    return Run(Owner.data(), QFileDialog::AcceptOpen, OpenDir);
}

QString TQtQeldFileDialogs::RunSaveDialog() {
    return Run(Owner.data(), QFileDialog::AcceptSave, SaveDir);
}
