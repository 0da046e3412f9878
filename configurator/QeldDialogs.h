#pragma once
// The main window's open and save dialogs behind a seam, so tests answer them without a
// display. Both show project files ("XMLки (*.xml)") or every file ("Всё (*.*)") and
// start in the program's folder; neither adds an extension nor asks before replacing a
// file.
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

class TQeldFileDialogs {
public:
    virtual ~TQeldFileDialogs() = default;
    // The chosen file's full name, or empty on Cancel.
    virtual QString RunOpenDialog() = 0;
    virtual QString RunSaveDialog() = 0;
};

// The filter entries, as the toolkit's dialogs take them: each is the caption the dialog
// shows (the dialogs hide what follows it) and then, in parentheses, the patterns listed.
QStringList QeldFileFilters();

// The real dialogs. Each starts in its initial folder, then in the folder of the file it
// last gave.
class TQtQeldFileDialogs : public TQeldFileDialogs {
public:
    explicit TQtQeldFileDialogs(QWidget* owner) : Owner(owner) {}

    void SetInitialDir(const QString& dir) { OpenDir = SaveDir = dir; }

    QString RunOpenDialog() override;
    QString RunSaveDialog() override;

private:
    QPointer<QWidget> Owner;
    QString OpenDir;
    QString SaveDir;
};
