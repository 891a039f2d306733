#include "ui/FmtChoose.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "i18n/VexaLangFormLists.h"
#include "widgets/DialogButtons.h"
#include "widgets/Mainutils.h"
#include "widgets/MsgBox.h"

TfrmFmtChoose::TfrmFmtChoose(QWidget* owner) : QDialog(owner) {
    setObjectName("frmFmtChoose");
    setWindowTitle("Choose compress method");

    gbCompression = new QGroupBox("Compression", this);
    gbCompression->setObjectName("gbCompression");
    // Only the frame's title is bold; the choices inside keep the dialog's font.
    // The weight is set explicitly on both, or the children would inherit the bold one.
    QFont normal = font();
    normal.setBold(false);
    QFont bold = normal;
    bold.setBold(true);
    gbCompression->setFont(bold);
    auto makeChoice = [this, normal](const char* name, const char* caption) {
        auto* button = new QRadioButton(caption, gbCompression);
        button->setObjectName(name);
        button->setFont(normal);
        connect(button, &QRadioButton::toggled, this, &TfrmFmtChoose::rbClick);
        return button;
    };
    rbNoCompress = makeChoice("rbNoCompress", "No compress");
    rbADPCM2 = makeChoice("rbADPCM2", "ADPCM 2 bit");
    rbADPCM4 = makeChoice("rbADPCM4", "ADPCM 4 bit");
    rbuLaw = makeChoice("rbuLaw", "uLaw");

    Label2 = new QLabel("Scale", gbCompression);
    Label2->setObjectName("Label2");
    Label2->setFont(normal);
    cbScale = new QComboBox(gbCompression);
    cbScale->setObjectName("cbScale");
    cbScale->setFont(normal);
    cbScale->addItems({"1", "2", "4", "8", "16"});
    cbScale->setCurrentIndex(4);
    Label2->setBuddy(cbScale);

    auto* choices = new QGridLayout(gbCompression);
    choices->addWidget(rbNoCompress, 0, 0);
    choices->addWidget(rbADPCM2, 1, 0);
    choices->addWidget(rbADPCM4, 2, 0);
    choices->addWidget(rbuLaw, 3, 0);
    auto* scale = new QHBoxLayout;
    scale->addWidget(Label2);
    scale->addWidget(cbScale);
    choices->addLayout(scale, 3, 1);
    choices->setColumnStretch(1, 1);

    const TOkCancelRow buttons = MakeOkCancelRow(*this, "Button1", "Button2");
    Button1 = buttons.Ok;
    Button2 = buttons.Cancel;

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(gbCompression);
    layout->addLayout(buttons.Layout);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    rbNoCompress->setChecked(true);
    rbClick();
    // The choices read as the settings dialog shows them, in the current language.
    gbCompression->setTitle(SettingsControlText("gbCompression", gbCompression->title()));
    for (QRadioButton* choice : {rbNoCompress, rbADPCM2, rbADPCM4, rbuLaw})
        choice->setText(
            SettingsControlText(choice->objectName().toLatin1().constData(), choice->text()));
    Label2->setText(SettingsControlText("lbScale", Label2->text()));
    // The form's texts are complete: they are its default language.
    CreateFormLanguageController(this, TTranslatedForm::FormatChoice);
}

void TfrmFmtChoose::rbClick() {
    const bool uLaw = rbuLaw->isChecked();
    Label2->setEnabled(uLaw);
    cbScale->setEnabled(uLaw);
}

void TfrmFmtChoose::reject() {
    done(mrCancel);
}

bool ChooseUploadFormat(QWidget* parent, std::uint8_t& compression, std::uint8_t& param) {
    TfrmFmtChoose dialog(parent);
    if (dialog.exec() != mrOk) {
        return false;
    }
    if (dialog.rbADPCM2->isChecked()) {
        compression = 2;
        param = 1;
    } else if (dialog.rbADPCM4->isChecked()) {
        compression = 2;
        param = 2;
    } else if (dialog.rbuLaw->isChecked()) {
        compression = 1;
        param = static_cast<std::uint8_t>(std::max(dialog.cbScale->currentIndex(), 0));
    } else {
        compression = 0;
    }
    return true;
}

void TfrmFmtChoose::showEvent(QShowEvent* event) {
    // The title, in the current language, shows whole in the title bar.
    const QMargins margins = layout()->contentsMargins();
    gbCompression->setMinimumWidth(TitleBarWidth(windowTitle()) - margins.left() - margins.right());
    QDialog::showEvent(event);
}
