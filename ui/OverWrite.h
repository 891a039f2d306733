#pragma once

#include <QDialog>
#include <QString>

#include "transfer/TransferUi.h"

class QLabel;
class QPushButton;
class TfrmRename;

// What to do with a download's target file that exists. The caller sets the file name,
// runs exec() and reads the file name back after mrOverwrite.
class TfrmOverwrite : public QDialog {
    Q_OBJECT

public:
    // renameDialog is the program's rename form (borrowed); null uses one of its own.
    explicit TfrmOverwrite(QWidget* mainWindow = nullptr, TfrmRename* renameDialog = nullptr);

    QString FileName() const { return FFileName; }
    void SetFileName(const QString& name) { FFileName = name; }

    // The name as the label shows it: shortened in the middle to fit width pixels.
    static QString ShortenedName(const QString& name, const QFontMetrics& metrics, int width);

    QLabel* Label1 = nullptr;
    QPushButton* RenameBtn = nullptr;
    QPushButton* SkipBtn = nullptr;
    QPushButton* OverwriteBtn = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;

public slots:
    void reject() override; // Escape and the close box stop the batch

protected:
    void showEvent(QShowEvent* event) override;

private:
    void RenameBtnClick();
    QPushButton* AddButton(const char* name, const char* caption, int modalResult);

    TfrmRename* FRenameDialog;
    QString FFileName;
};
