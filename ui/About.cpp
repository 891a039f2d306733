#include "ui/About.h"

#include <QFrame>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStringList>
#include <QVBoxLayout>

#include "i18n/VexaLang.h"
#include "i18n/VexaLangFormLists.h"
#include "i18n/VexaLangText.h"
#include "widgets/DialogButtons.h"
#include "widgets/Mainutils.h"
#include "widgets/MsgBox.h"

const char* const ProgramBuildDate = __DATE__;

namespace {

// The English short month names, whatever the user's language.
const char* const MonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

} // namespace

bool ParseBuildDate(const QString& text, QDate& date) {
    const QStringList parts = text.split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
    if (parts.size() != 3) {
        return false;
    }
    int month = 0;
    for (int i = 0; i < 12; ++i) {
        if (parts[0].compare(MonthNames[i], Qt::CaseInsensitive) == 0) {
            month = i + 1;
        }
    }
    bool dayOk = false;
    bool yearOk = false;
    const int day = parts[1].toInt(&dayOk);
    const int year = parts[2].toInt(&yearOk);
    const QDate parsed(year, month, day);
    if (month == 0 || !dayOk || !yearOk || !parsed.isValid()) {
        return false;
    }
    date = parsed;
    return true;
}

QString AboutVersionText(const QString& versionWord, std::uint32_t version,
                         const QString& buildDate, const QLocale& locale) {
    QDate date;
    const QString dateText =
        ParseBuildDate(buildDate, date) ? locale.toString(date, QLocale::ShortFormat) : buildDate;
    return versionWord +
           QString(" %1.%2.%3 ")
               .arg((version >> 16) & 0xFF)
               .arg((version >> 8) & 0xFF)
               .arg(version & 0xFF) +
           "(" + dateText + ")";
}

TAboutBox::TAboutBox(QWidget* owner) : QDialog(owner) {
    setObjectName("AboutBox");
    setWindowTitle("About");

    Panel1 = new QFrame(this);
    Panel1->setObjectName("Panel1");
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto makeLabel = [this](const char* name) {
        auto* label = new QLabel(Panel1);
        label->setObjectName(name);
        return label;
    };
    ProductName = makeLabel("ProductName");
    QFont large = ProductName->font();
    large.setBold(true);
    large.setPointSizeF(large.pointSizeF() * 1.3);
    ProductName->setFont(large);
    Version = makeLabel("Version");
    Copyright = makeLabel("Copyright");
    Comments = makeLabel("Comments");
    Comments->setWordWrap(true);

    auto* texts = new QVBoxLayout(Panel1);
    texts->addWidget(ProductName);
    texts->addWidget(Version);
    texts->addWidget(Copyright);
    texts->addWidget(Comments);
    texts->addStretch();

    const TCentredButtonRow buttons = MakeCentredButtonRow(*this, "OKButton", "OK");
    OKButton = buttons.Button;
    connect(OKButton, &QPushButton::clicked, this, [this] { done(mrOk); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Panel1);
    layout->addLayout(buttons.Layout);
    Panel1->setMinimumWidth(300);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    // The form's texts are complete: they are its default language.
    CreateFormLanguageController(this, TTranslatedForm::AboutBox);
}

void TAboutBox::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
    // Centred on the screen, not on the window that opened it.
    adjustSize();
    if (const QScreen* shown = screen()) {
        QRect frame(QPoint(0, 0), frameGeometry().size());
        frame.moveCenter(shown->availableGeometry().center());
        move(frame.topLeft());
        KeepOnScreen(*this);
    }
}

void TAboutBox::FormShow() {
    ProductName->setText(Lang("AppNameStr"));
    Version->setText(
        AboutVersionText(Lang("VersionStr"), ProgramVersion, ProgramBuildDate, QLocale()));
    // The labels without a text of their own take no room.
    Copyright->setVisible(!Copyright->text().isEmpty());
    Comments->setVisible(!Comments->text().isEmpty());
}

void TAboutBox::reject() {
    done(mrCancel);
}
