#pragma once
// The main window's file dialogs behind a seam, so tests answer them without a display.
#include <QPointer>
#include <QString>
#include <QWidget>

class TFileDialogs {
public:
    virtual ~TFileDialogs() = default;
    // Runs the archive open dialog; the chosen file's full name, or empty on Cancel.
    virtual QString RunArchiveOpenDialog() = 0;
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
    // The open dialog's initial folder, until a file is picked: then that file's folder.
    void SetArchiveOpenDir(const QString& dir) { openDir_ = dir; }
    QString ArchiveOpenDir() const { return openDir_; }
    // The save dialog's initial folder; the export never changes it.
    void SetSaveDir(const QString& dir) { saveDir_ = dir; }
    QString SaveDir() const { return saveDir_; }

    QString RunArchiveOpenDialog() override;
    QString ArchiveOpenFileName() const override { return openFileName_; }
    QString RunCsvSaveDialog(const QString& fileName) override;

private:
    QPointer<QWidget> owner_;
    QString openFileName_;
    QString openDir_;
    QString saveDir_;
};
