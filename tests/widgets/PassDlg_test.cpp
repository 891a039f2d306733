#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "tests/support/ModalScript.h"
#include "widgets/MsgBox.h"
#include "widgets/PassDlg.h"

namespace {

TEST(PassDlg, AcceptsAtMostSevenCharactersShownAsPlus) {
    TPasswordDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), "Password Dialog");
    EXPECT_TRUE(dialog.Password->font().bold());
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QTest::keyClicks(dialog.Password, "abcdefghij");
    EXPECT_EQ(dialog.Password->text(), "abcdefg");
    EXPECT_EQ(dialog.Password->displayText(), "+++++++");
    dialog.Password->setText("x1");
    EXPECT_EQ(dialog.Password->displayText(), "++");
}

TEST(PassDlg, ShowingPutsTheFocusInThePasswordAndEnterMeansOk) {
    TPasswordDlg dialog;
    dialog.Label1->setText("Enter the recorder's password:");
    dialog.Password->clear();
    const auto answer = [&dialog](QWidget*) {
        EXPECT_EQ(dialog.focusWidget(), dialog.Password);
        QTest::keyClicks(dialog.Password, "1234");
        QTest::keyClick(dialog.Password, Qt::Key_Return);
    };
    EXPECT_EQ(ExecScripted(dialog, {answer}), mrOk);
    EXPECT_EQ(dialog.Password->text(), "1234");
}

TEST(PassDlg, CancelAndEscapeGiveCancel) {
    TPasswordDlg dialog;
    EXPECT_EQ(ExecScripted(dialog, {[&dialog](QWidget*) { dialog.CancelBtn->click(); }}), mrCancel);
    const auto escape = [&dialog](QWidget*) { QTest::keyClick(dialog.Password, Qt::Key_Escape); };
    EXPECT_EQ(ExecScripted(dialog, {escape}), mrCancel);
}

} // namespace
