#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// The password entry: the caller sets the prompt in Label1, fills or empties Password, shows
// the dialog modally and reads Password on mrOk.
class TPasswordDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr int MaxPasswordLength = 7;
    static constexpr char PasswordChar = '+';

    explicit TPasswordDlg(QWidget* owner = nullptr);

    QLabel* Label1 = nullptr;
    QLineEdit* Password = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

public slots:
    void reject() override; // Escape and the close box answer Cancel

protected:
    void showEvent(QShowEvent* event) override;
};
