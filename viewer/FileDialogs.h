#pragma once
// The main window's file dialogs behind a seam, so tests answer them without a display.
#include <QPointer>
#include <QString>
#include <QWidget>

class TFileDialogs {
public:
    virtual ~TFileDialogs() = default;
    // The open dialog's current file name; empty while it has never been used.
    virtual QString ArchiveOpenFileName() const = 0;
    // Runs the CSV save dialog preset to fileName; the chosen path, or empty on Cancel.
    virtual QString RunCsvSaveDialog(const QString& fileName) = 0;
};

// The real dialogs.
class TQtFileDialogs : public TFileDialogs {
public:
    explicit TQtFileDialogs(QWidget* owner) : owner_(owner) {}

    void SetArchiveOpenFileName(const QString& fileName) { openFileName_ = fileName; }
    // The save dialog's initial folder; the export never changes it.
    void SetSaveDir(const QString& dir) { saveDir_ = dir; }
    QString SaveDir() const { return saveDir_; }

    QString ArchiveOpenFileName() const override { return openFileName_; }
    QString RunCsvSaveDialog(const QString& fileName) override;

private:
    QPointer<QWidget> owner_;
    QString openFileName_;
    QString saveDir_;
};
