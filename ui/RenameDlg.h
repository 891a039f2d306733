#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// The new name of a file: the caller fills and focuses edFileName, shows the dialog modally
// and reads edFileName on mrOk.
class TfrmRename : public QDialog {
    Q_OBJECT

public:
    explicit TfrmRename(QWidget* owner = nullptr);

    QLabel* Label1 = nullptr;
    QLineEdit* edFileName = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

public slots:
    void reject() override; // Escape and the close box answer Cancel
};
