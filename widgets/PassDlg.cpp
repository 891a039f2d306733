#include "widgets/PassDlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QVBoxLayout>

#include "i18n/VexaLangFormLists.h"
#include "widgets/DialogButtons.h"
#include "widgets/MsgBox.h"

namespace {

// Masks every character of a password edit with one fixed character, shown at once.
class TPasswordCharStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_LineEdit_PasswordCharacter) {
            return TPasswordDlg::PasswordChar;
        }
        if (hint == SH_LineEdit_PasswordMaskDelay) {
            return 0;
        }
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

TPasswordDlg::TPasswordDlg(QWidget* owner) : QDialog(owner) {
    setObjectName("PasswordDlg");
    setWindowTitle("Password Dialog");

    Label1 =
        new QLabel("You have changed Sequrity settings. \nEnter password to apply settings:", this);
    Label1->setObjectName("Label1");

    Password = new QLineEdit(this);
    Password->setObjectName("Password");
    Password->setMaxLength(MaxPasswordLength);
    Password->setEchoMode(QLineEdit::Password);
    auto* maskStyle = new TPasswordCharStyle;
    maskStyle->setParent(Password);
    Password->setStyle(maskStyle);
    QFont bold = Password->font();
    bold.setBold(true);
    Password->setFont(bold);
    Label1->setBuddy(Password);

    const TOkCancelRow buttons = MakeOkCancelRow(*this, "OKBtn", "CancelBtn");
    OKBtn = buttons.Ok;
    CancelBtn = buttons.Cancel;

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Password);
    layout->addLayout(buttons.Layout);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    // The form's texts are complete: they are its default language.
    CreateFormLanguageController(this, TTranslatedForm::PasswordDialog);
}

void TPasswordDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Password->setFocus(Qt::OtherFocusReason);
}

void TPasswordDlg::reject() {
    done(mrCancel);
}
