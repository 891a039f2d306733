#include <gtest/gtest.h>
#include <ostream>

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "tests/support/ModalScript.h"
#include "ui/FmtChoose.h"
#include "ui/RenameDlg.h"
#include "widgets/MsgBox.h"

namespace {

TEST(FmtChoose, ScaleIsEnabledExactlyWhileULawIsChecked) {
    TfrmFmtChoose dialog;
    EXPECT_EQ(dialog.windowTitle(), "Choose compress method");
    EXPECT_TRUE(dialog.rbNoCompress->isChecked()) << "no compression at first";
    EXPECT_FALSE(dialog.cbScale->isEnabled());
    EXPECT_FALSE(dialog.Label2->isEnabled());
    EXPECT_EQ(dialog.cbScale->currentText(), "16");
    EXPECT_EQ(dialog.cbScale->count(), 5);
    EXPECT_TRUE(dialog.gbCompression->font().bold());
    EXPECT_FALSE(dialog.rbuLaw->font().bold()) << "only the frame title is bold";

    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QTest::mouseClick(dialog.rbuLaw, Qt::LeftButton);
    EXPECT_TRUE(dialog.rbuLaw->isChecked());
    EXPECT_TRUE(dialog.cbScale->isEnabled());
    EXPECT_TRUE(dialog.Label2->isEnabled());
    EXPECT_EQ(dialog.cbScale->currentText(), "16") << "still the design-time choice";

    for (QRadioButton* other : {dialog.rbADPCM4, dialog.rbADPCM2, dialog.rbNoCompress}) {
        QTest::mouseClick(other, Qt::LeftButton);
        EXPECT_TRUE(other->isChecked());
        EXPECT_FALSE(dialog.cbScale->isEnabled()) << other->objectName().toStdString();
    }
}

TEST(FmtChoose, ComponentsCarryTheirNames) {
    TfrmFmtChoose dialog;
    for (const char* name : {"gbCompression", "rbNoCompress", "rbADPCM2", "rbADPCM4", "rbuLaw",
                             "Label2", "cbScale", "Button1", "Button2"}) {
        EXPECT_NE(dialog.findChild<QWidget*>(name), nullptr) << name;
    }
}

struct TFormatCase {
    const char* name;
    const char* button;
    int scaleIndex;
    bool ok;
    std::uint8_t compression;
    std::uint8_t param;
    friend void PrintTo(const TFormatCase& c, std::ostream* os) { *os << c.name; }
};

class ChooseFormat : public ::testing::TestWithParam<TFormatCase> {};

TEST_P(ChooseFormat, CheckedChoiceGivesTheCompressionCodes) {
    const TFormatCase& c = GetParam();
    TModalScript script({[c](QWidget* modal) {
        auto* dialog = qobject_cast<TfrmFmtChoose*>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<QRadioButton*>(c.button)->click();
        if (c.scaleIndex >= 0) {
            dialog->cbScale->setCurrentIndex(c.scaleIndex);
        }
        (c.ok ? dialog->Button1 : dialog->Button2)->click();
    }});
    std::uint8_t compression = 9;
    std::uint8_t param = 9;
    EXPECT_EQ(ChooseUploadFormat(nullptr, compression, param), c.ok);
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(compression, c.compression);
    EXPECT_EQ(param, c.param);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ChooseFormat,
    ::testing::Values(TFormatCase{"NoneKeepsTheParameter", "rbNoCompress", -1, true, 0, 9},
                      TFormatCase{"Adpcm2", "rbADPCM2", -1, true, 2, 1},
                      TFormatCase{"Adpcm4", "rbADPCM4", -1, true, 2, 2},
                      TFormatCase{"ULawDefaultScale", "rbuLaw", -1, true, 1, 4},
                      TFormatCase{"ULawScale4", "rbuLaw", 2, true, 1, 2},
                      TFormatCase{"ULawScale1", "rbuLaw", 0, true, 1, 0},
                      TFormatCase{"CancelChangesNothing", "rbuLaw", 1, false, 9, 9}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FmtChoose, EscapeAnswersCancel) {
    TfrmFmtChoose dialog;
    EXPECT_EQ(ExecScripted(dialog, {PressEscape()}), mrCancel);
}

TEST(RenameDlg, ReturnsTheEditedNameOnOk) {
    TfrmRename dialog;
    EXPECT_EQ(dialog.windowTitle(), "Rename");
    EXPECT_EQ(dialog.Label1->text(), "New name");
    dialog.edFileName->setText("old.wav");
    const auto rename = [&dialog](QWidget*) {
        dialog.edFileName->selectAll();
        QTest::keyClicks(dialog.edFileName, "new.wav");
        dialog.OKBtn->click();
    };
    EXPECT_EQ(ExecScripted(dialog, {rename}), mrOk);
    EXPECT_EQ(dialog.edFileName->text(), "new.wav");

    const auto escape = [&dialog](QWidget*) { QTest::keyClick(dialog.edFileName, Qt::Key_Escape); };
    EXPECT_EQ(ExecScripted(dialog, {escape}), mrCancel);
}

} // namespace
