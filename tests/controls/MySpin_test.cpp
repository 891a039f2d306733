#include <cmath>
#include <gtest/gtest.h>
#include <ostream>

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QFocusEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include "controls/MySpin.h"
#include "controls/MySpinButton.h"
#include "controls/MySpinUpDown.h"
#include "tests/support/EventLoopWait.h"

namespace {

using testsupport::WaitInEventLoop;

using TValueType = TMySpinEdit::TValueType;

struct TReadCase {
    const char* name;
    TValueType type;
    const char* text;
    double minValue;
    double expected;
    friend void PrintTo(const TReadCase& c, std::ostream* os) { *os << c.name; }
};

class SpinEditRead : public ::testing::TestWithParam<TReadCase> {};

TEST_P(SpinEditRead, TextReadsAsTheValueOrTheMinimum) {
    const TReadCase& c = GetParam();
    TMySpinEdit edit;
    edit.SetValueType(c.type);
    edit.SetMinValue(c.minValue);
    edit.SetMaxValue(c.minValue + 1000);
    edit.setText(c.text);
    EXPECT_DOUBLE_EQ(edit.Value(), c.expected) << "text \"" << c.text << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Table, SpinEditRead,
    ::testing::Values(
        TReadCase{"IntegerPlain", TMySpinEdit::vtInteger, "42", 0, 42},
        TReadCase{"IntegerSignedWithBlanks", TMySpinEdit::vtInteger, " -17 ", -100, -17},
        TReadCase{"IntegerEmptyGivesTruncatedMin", TMySpinEdit::vtInteger, "", 5.7, 5},
        TReadCase{"IntegerNegativeMinTruncatesTowardZero", TMySpinEdit::vtInteger, "x", -3.9, -3},
        TReadCase{"IntegerRefusesFraction", TMySpinEdit::vtInteger, "12.5", 2, 2},
        TReadCase{"IntegerRefusesLoneSign", TMySpinEdit::vtInteger, "-", 1, 1},
        TReadCase{"IntegerBeyond64BitsFails", TMySpinEdit::vtInteger, "99999999999999999999", 7, 7},
        TReadCase{"HexUpper", TMySpinEdit::vtHex, "FF", 0, 255},
        TReadCase{"HexLower", TMySpinEdit::vtHex, "1a", 0, 26},
        TReadCase{"HexEmptyGivesTruncatedMin", TMySpinEdit::vtHex, "", 3.5, 3},
        TReadCase{"HexRefusesOtherLetters", TMySpinEdit::vtHex, "G1", 1, 1},
        TReadCase{"HexRefusesPrefix", TMySpinEdit::vtHex, "$FF", 1, 1},
        TReadCase{"FloatPlain", TMySpinEdit::vtFloat, "1.25", 0, 1.25},
        TReadCase{"FloatExponent", TMySpinEdit::vtFloat, "2e3", 0, 2000},
        TReadCase{"FloatEmptyGivesMinUntruncated", TMySpinEdit::vtFloat, "", 0.5, 0.5},
        TReadCase{"FloatRefusesInfinity", TMySpinEdit::vtFloat, "inf", 0.5, 0.5}),
    [](const auto& info) { return std::string(info.param.name); });

struct TWriteCase {
    const char* name;
    TValueType type;
    int decimals;
    double minValue;
    double maxValue;
    double value;
    const char* expectedText;
    friend void PrintTo(const TWriteCase& c, std::ostream* os) { *os << c.name; }
};

class SpinEditWrite : public ::testing::TestWithParam<TWriteCase> {};

TEST_P(SpinEditWrite, ValueIsClampedAndWrittenInTheTypesNotation) {
    const TWriteCase& c = GetParam();
    TMySpinEdit edit;
    edit.SetValueType(c.type);
    edit.SetDecimal(c.decimals);
    edit.SetMinValue(c.minValue);
    edit.SetMaxValue(c.maxValue);
    edit.SetValue(c.value);
    EXPECT_EQ(edit.text().toStdString(), c.expectedText);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SpinEditWrite,
    ::testing::Values(
        TWriteCase{"HexFF", TMySpinEdit::vtHex, 2, 0, 0, 255, "FF"},
        TWriteCase{"HexZeroHasOneDigit", TMySpinEdit::vtHex, 2, 0, 0, 0, "0"},
        TWriteCase{"HexRounds", TMySpinEdit::vtHex, 2, 0, 0, 15.6, "10"},
        TWriteCase{"HexNegativeKeepsItsSign", TMySpinEdit::vtHex, 2, 0, 0, -255, "-FF"},
        TWriteCase{"IntegerRounds", TMySpinEdit::vtInteger, 2, 0, 0, 2.6, "3"},
        TWriteCase{"IntegerClampsAbove", TMySpinEdit::vtInteger, 2, -5, 10, 11, "10"},
        TWriteCase{"IntegerClampsBelow", TMySpinEdit::vtInteger, 2, -5, 10, -6, "-5"},
        TWriteCase{"EqualBoundsClampNothing", TMySpinEdit::vtInteger, 2, 0, 0, -123456789,
                   "-123456789"},
        TWriteCase{"EqualNonZeroBoundsClampNothing", TMySpinEdit::vtInteger, 2, 4, 4, 9, "9"},
        TWriteCase{"FloatFixedDecimals", TMySpinEdit::vtFloat, 2, 0, 0, 3.14159, "3.14"},
        TWriteCase{"FloatPadsDecimals", TMySpinEdit::vtFloat, 3, 0, 0, 2, "2.000"},
        TWriteCase{"FloatNoDecimals", TMySpinEdit::vtFloat, 0, 0, 0, 7.25, "7"},
        TWriteCase{"FloatFifteenDigitsOnly", TMySpinEdit::vtFloat, 20, 0, 0, 0.1,
                   "0.10000000000000000000"},
        TWriteCase{"FloatRoundsCarry", TMySpinEdit::vtFloat, 2, 0, 0, 9.999, "10.00"},
        TWriteCase{"FloatNegative", TMySpinEdit::vtFloat, 1, 0, 0, -0.25, "-0.3"},
        TWriteCase{"FloatNoNegativeZero", TMySpinEdit::vtFloat, 1, 0, 0, -0.01, "0.0"},
        TWriteCase{"FloatTinyRoundsUp", TMySpinEdit::vtFloat, 2, 0, 0, 0.006, "0.01"},
        TWriteCase{"FloatTinyRoundsDown", TMySpinEdit::vtFloat, 2, 0, 0, 0.004, "0.00"},
        TWriteCase{"FloatBeyondFifteenDigits", TMySpinEdit::vtFloat, 3, 0, 0, 123456789012.3456,
                   "123456789012.346"},
        TWriteCase{"FloatNoGroupSeparator", TMySpinEdit::vtFloat, 1, 0, 0, 1234567.5, "1234567.5"},
        TWriteCase{"NotANumberBecomesMin", TMySpinEdit::vtInteger, 2, 3, 9, std::nan(""), "3"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SpinEdit, StartsAtZeroWithTheDocumentedDefaults) {
    TMySpinEdit edit;
    EXPECT_EQ(edit.text(), "0");
    EXPECT_EQ(edit.ValueType(), TMySpinEdit::vtInteger);
    EXPECT_EQ(edit.ButtonKind(), TMySpinEdit::bkDiagonal);
    EXPECT_EQ(edit.Decimal(), 2);
    EXPECT_DOUBLE_EQ(edit.Increment(), 1.0);
    EXPECT_TRUE(edit.ArrowKeys());
    EXPECT_TRUE(edit.EditorEnabled());
    ASSERT_NE(edit.DiagonalButton(), nullptr);
    EXPECT_EQ(edit.StandardButton(), nullptr);
}

TEST(SpinEdit, HexValueReadsBackAfterWriting) {
    TMySpinEdit edit;
    edit.SetValueType(TMySpinEdit::vtHex);
    edit.SetValue(255);
    EXPECT_EQ(edit.text(), "FF");
    EXPECT_DOUBLE_EQ(edit.Value(), 255);
}

TEST(SpinEdit, ChangingTheValueTypeKeepsTheValueAndRoundsTheIncrement) {
    TMySpinEdit edit;
    edit.SetValueType(TMySpinEdit::vtFloat);
    edit.SetIncrement(2.4);
    edit.SetValue(255);
    EXPECT_EQ(edit.text(), "255.00");

    edit.SetValueType(TMySpinEdit::vtHex);
    EXPECT_EQ(edit.text(), "FF");
    EXPECT_DOUBLE_EQ(edit.Increment(), 2.0);

    edit.SetValueType(TMySpinEdit::vtInteger);
    EXPECT_EQ(edit.text(), "255");

    edit.SetValueType(TMySpinEdit::vtFloat);
    edit.SetIncrement(0.3);
    edit.SetValueType(TMySpinEdit::vtInteger);
    EXPECT_DOUBLE_EQ(edit.Increment(), 1.0) << "an increment rounding to 0 becomes 1";
}

TEST(SpinEdit, ChangingDecimalRewritesTheText) {
    TMySpinEdit edit;
    edit.SetValueType(TMySpinEdit::vtFloat);
    edit.SetValue(1.25);
    EXPECT_EQ(edit.text(), "1.25");
    edit.SetDecimal(4);
    EXPECT_EQ(edit.text(), "1.2500");
    edit.SetDecimal(1);
    EXPECT_EQ(edit.text(), "1.3") << "halves round away from zero";
}

TEST(SpinEdit, FloatUsesTheLocalesDecimalSeparator) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    {
        TMySpinEdit edit;
        edit.SetValueType(TMySpinEdit::vtFloat);
        edit.SetValue(1.5);
        EXPECT_EQ(edit.text(), "1,50");
        edit.setText("2,25");
        EXPECT_DOUBLE_EQ(edit.Value(), 2.25);
        edit.setText("");
        EXPECT_TRUE(edit.IsValidChar(','));
        EXPECT_FALSE(edit.IsValidChar('.'));
    }
    QLocale::setDefault(QLocale::c());
}

struct TCharCase {
    const char* name;
    TValueType type;
    bool editorEnabled;
    const char* text;
    char16_t key;
    bool valid;
    friend void PrintTo(const TCharCase& c, std::ostream* os) { *os << c.name; }
};

class SpinEditTyping : public ::testing::TestWithParam<TCharCase> {};

TEST_P(SpinEditTyping, IsValidChar) {
    const TCharCase& c = GetParam();
    TMySpinEdit edit;
    edit.SetValueType(c.type);
    edit.SetEditorEnabled(c.editorEnabled);
    edit.setText(c.text);
    EXPECT_EQ(edit.IsValidChar(QChar(c.key)), c.valid);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SpinEditTyping,
    ::testing::Values(
        TCharCase{"IntegerDigit", TMySpinEdit::vtInteger, true, "", u'7', true},
        TCharCase{"IntegerPlus", TMySpinEdit::vtInteger, true, "", u'+', true},
        TCharCase{"IntegerMinus", TMySpinEdit::vtInteger, true, "", u'-', true},
        TCharCase{"IntegerLetter", TMySpinEdit::vtInteger, true, "", u'a', false},
        TCharCase{"IntegerPoint", TMySpinEdit::vtInteger, true, "", u'.', false},
        TCharCase{"IntegerBlank", TMySpinEdit::vtInteger, true, "", u' ', false},
        TCharCase{"BackspacePasses", TMySpinEdit::vtInteger, true, "1", u'\b', true},
        TCharCase{"FloatPointWhileNone", TMySpinEdit::vtFloat, true, "12", u'.', true},
        TCharCase{"FloatSecondPoint", TMySpinEdit::vtFloat, true, "1.2", u'.', false},
        TCharCase{"FloatFirstExponent", TMySpinEdit::vtFloat, true, "12", u'e', true},
        TCharCase{"FloatExponentUpper", TMySpinEdit::vtFloat, true, "12", u'E', true},
        TCharCase{"FloatSecondExponent", TMySpinEdit::vtFloat, true, "1e5", u'E', false},
        TCharCase{"FloatHexLetter", TMySpinEdit::vtFloat, true, "", u'a', false},
        TCharCase{"HexLowerLetter", TMySpinEdit::vtHex, true, "", u'c', true},
        TCharCase{"HexUpperLetter", TMySpinEdit::vtHex, true, "", u'F', true},
        TCharCase{"HexBeyondF", TMySpinEdit::vtHex, true, "", u'g', false},
        TCharCase{"HexPoint", TMySpinEdit::vtHex, true, "", u'.', false},
        TCharCase{"LockedDigit", TMySpinEdit::vtInteger, false, "", u'5', false},
        TCharCase{"LockedBackspace", TMySpinEdit::vtInteger, false, "5", u'\b', false},
        TCharCase{"LockedOtherControl", TMySpinEdit::vtInteger, false, "5", u'\x03', true}),
    [](const auto& info) { return std::string(info.param.name); });

// An edit in a shown window, so keys, focus and mouse reach it.
class SpinEditWindow : public ::testing::Test {
protected:
    void SetUp() override {
        auto* layout = new QVBoxLayout(&Window);
        Edit = new TMySpinEdit(&Window);
        Other = new QLineEdit(&Window);
        layout->addWidget(Edit);
        layout->addWidget(Other);
        Window.resize(160, 80);
        Window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&Window));
    }

    void SendFocusOut(QWidget* widget) {
        QFocusEvent event(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(widget, &event);
    }

    QWidget Window;
    TMySpinEdit* Edit = nullptr;
    QLineEdit* Other = nullptr;
};

TEST_F(SpinEditWindow, TypingDropsInvalidCharacters) {
    Edit->SetValueType(TMySpinEdit::vtFloat);
    Edit->clear();
    QTest::keyClicks(Edit, "1.5e3e.x4");
    EXPECT_EQ(Edit->text(), "1.5e34");
}

TEST_F(SpinEditWindow, ArrowKeysStepAndReportTheChange) {
    Edit->SetMinValue(0);
    Edit->SetMaxValue(3);
    Edit->SetValue(2);
    QSignalSpy changed(Edit, &QLineEdit::textChanged);
    QSignalSpy top(Edit, &TMySpinEdit::TopClick);
    QSignalSpy bottom(Edit, &TMySpinEdit::BottomClick);

    QTest::keyClick(Edit, Qt::Key_Up);
    EXPECT_EQ(Edit->text(), "3");
    EXPECT_TRUE(Edit->isModified());
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(top.count(), 1);

    // At the bound nothing changes, yet the step is still reported.
    QTest::keyClick(Edit, Qt::Key_Up);
    EXPECT_EQ(Edit->text(), "3");
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(top.count(), 2);

    QTest::keyClick(Edit, Qt::Key_Down);
    EXPECT_EQ(Edit->text(), "2");
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(bottom.count(), 1);

    Edit->SetArrowKeys(false);
    QTest::keyClick(Edit, Qt::Key_Up);
    EXPECT_EQ(Edit->text(), "2");
    EXPECT_EQ(top.count(), 2);
}

TEST_F(SpinEditWindow, ReadOnlyEditDoesNotStep) {
    Edit->setReadOnly(true);
    QSignalSpy top(Edit, &TMySpinEdit::TopClick);
    Edit->UpClick();
    EXPECT_EQ(Edit->text(), "0");
    EXPECT_EQ(top.count(), 0);
}

TEST_F(SpinEditWindow, EditorDisabledRefusesEditingButStillSteps) {
    Edit->SetEditorEnabled(false);
    Edit->SetValue(12);
    QApplication::clipboard()->setText("99");
    Edit->setCursorPosition(2);
    QTest::keyClicks(Edit, "5");
    QTest::keyClick(Edit, Qt::Key_Backspace);
    QTest::keyClick(Edit, Qt::Key_Home);
    QTest::keyClick(Edit, Qt::Key_Delete);
    QTest::keySequence(Edit, QKeySequence::Paste);
    EXPECT_EQ(Edit->text(), "12");
    QTest::keyClick(Edit, Qt::Key_Up);
    EXPECT_EQ(Edit->text(), "13");

    Edit->SetEditorEnabled(true);
    Edit->setCursorPosition(2);
    QTest::keyClick(Edit, Qt::Key_Backspace);
    EXPECT_EQ(Edit->text(), "1");
}

TEST_F(SpinEditWindow, LeavingWritesBackAValueOutsideTheBounds) {
    Edit->SetMinValue(1);
    Edit->SetMaxValue(10);
    Edit->setText("25");
    SendFocusOut(Edit);
    EXPECT_EQ(Edit->text(), "10");

    Edit->setText("-4");
    SendFocusOut(Edit);
    EXPECT_EQ(Edit->text(), "1");

    Edit->setText("7");
    SendFocusOut(Edit);
    EXPECT_EQ(Edit->text(), "7");

    // Text that does not read as a number is shown as the value it reads as.
    Edit->setText("");
    SendFocusOut(Edit);
    EXPECT_EQ(Edit->text(), "1");
}

TEST_F(SpinEditWindow, CommittingWhileFocusedDoesWhatLeavingDoes) {
    Edit->SetMinValue(1);
    Edit->SetMaxValue(100);
    Edit->setFocus(Qt::TabFocusReason);
    struct TCase {
        const char* Typed;
        const char* Shown;
        double Value;
    } const cases[] = {{"250", "100", 100}, {"0", "1", 1}, {"-7", "1", 1},
                       {"37", "37", 37},    {"", "1", 1},  {"-", "1", 1}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Typed);
        Edit->selectAll();
        QTest::keyClicks(Edit, c.Typed);
        if (c.Typed[0] == 0)
            QTest::keyClick(Edit, Qt::Key_Backspace);
        EXPECT_DOUBLE_EQ(Edit->CommitValue(), c.Value);
        EXPECT_EQ(Edit->text(), c.Shown);
        EXPECT_TRUE(Edit->hasFocus());
    }
}

TEST_F(SpinEditWindow, EnterCommitsTheTypedValue) {
    Edit->SetMinValue(0);
    Edit->SetMaxValue(20);
    Edit->setFocus(Qt::TabFocusReason);
    Edit->selectAll();
    QTest::keyClicks(Edit, "99");
    QTest::keyClick(Edit, Qt::Key_Return);
    EXPECT_EQ(Edit->text(), "20");
}

TEST_F(SpinEditWindow, SpecialTextStandsForTheMinimum) {
    Edit->SetMinValue(0);
    Edit->SetMaxValue(2048);
    Edit->SetValue(650);
    Edit->SetSpecialValueText("no limit");
    EXPECT_EQ(Edit->text(), "650");
    Edit->SetValue(0);
    EXPECT_EQ(Edit->text(), "no limit");
    EXPECT_DOUBLE_EQ(Edit->Value(), 0);

    // Stepping leaves it and comes back to it.
    QTest::keyClick(Edit, Qt::Key_Up);
    EXPECT_EQ(Edit->text(), "1");
    QTest::keyClick(Edit, Qt::Key_Down);
    EXPECT_EQ(Edit->text(), "no limit");

    // A number typed over it replaces it; 0 typed, or anything that is no number, shows it.
    Edit->setFocus(Qt::MouseFocusReason);
    Edit->setCursorPosition(2);
    QTest::keyClicks(Edit, "12");
    EXPECT_EQ(Edit->text(), "12");
    Edit->selectAll();
    QTest::keyClicks(Edit, "0");
    EXPECT_DOUBLE_EQ(Edit->CommitValue(), 0);
    EXPECT_EQ(Edit->text(), "no limit");
    Edit->setText("no limits");
    SendFocusOut(Edit);
    EXPECT_EQ(Edit->text(), "no limit");

    // Without a special text the minimum shows as a number again.
    Edit->SetSpecialValueText(QString());
    EXPECT_EQ(Edit->text(), "0");
}

TEST_F(SpinEditWindow, EqualBoundsAcceptAnyValueOnLeaving) {
    Edit->setText("-987654");
    SendFocusOut(Edit);
    EXPECT_EQ(Edit->text(), "-987654");
    EXPECT_DOUBLE_EQ(Edit->Value(), -987654);
}

TEST_F(SpinEditWindow, EnteringByKeyboardSelectsAllButAClickDoesNot) {
    Edit->SetValue(1234);
    Edit->deselect();
    QFocusEvent byTab(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(Edit, &byTab);
    EXPECT_EQ(Edit->selectedText(), "1234");

    Edit->deselect();
    QFocusEvent byOther(QEvent::FocusIn, Qt::OtherFocusReason);
    QApplication::sendEvent(Edit, &byOther);
    EXPECT_EQ(Edit->selectedText(), "1234") << "the spin button gives the focus this way";

    Edit->deselect();
    QFocusEvent byMouse(QEvent::FocusIn, Qt::MouseFocusReason);
    QApplication::sendEvent(Edit, &byMouse);
    EXPECT_TRUE(Edit->selectedText().isEmpty());
}

TEST(SpinEditInDialog, EnterAndEscapeReachTheDialog) {
    for (const auto key : {Qt::Key_Return, Qt::Key_Escape}) {
        QDialog dialog;
        auto* edit = new TMySpinEdit(&dialog);
        auto* ok = new QPushButton("OK", &dialog);
        ok->move(0, 40);
        ok->setDefault(true);
        QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        QTest::keyClick(edit, key);
        EXPECT_EQ(dialog.result(), key == Qt::Key_Return ? QDialog::Accepted : QDialog::Rejected);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(edit->text(), "0");
    }
}

TEST_F(SpinEditWindow, DiagonalButtonStepsByHalf) {
    TMySpinButton* button = Edit->DiagonalButton();
    ASSERT_NE(button, nullptr);
    const int side = button->width();
    EXPECT_EQ(button->height(), side) << "the button in the edit is square";
    QSignalSpy top(Edit, &TMySpinEdit::TopClick);
    QSignalSpy bottom(Edit, &TMySpinEdit::BottomClick);

    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_EQ(Edit->text(), "1");
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(side - 2, side - 2));
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(side - 2, side - 2));
    EXPECT_EQ(Edit->text(), "-1");
    EXPECT_EQ(top.count(), 1);
    EXPECT_EQ(bottom.count(), 2);
    EXPECT_EQ(button->State(), TMySpinButton::sbNotDown);
}

TEST_F(SpinEditWindow, ButtonSitsInsideTheRightEdgeAndTextStopsBeforeIt) {
    Window.resize(200, 80);
    QApplication::processEvents();
    const QWidget* container = Edit->DiagonalButton()->parentWidget();
    const QRect inEdit = container->geometry();
    EXPECT_LE(inEdit.right(), Edit->width() - 1);
    EXPECT_GE(inEdit.top(), 0);
    EXPECT_LE(inEdit.bottom(), Edit->height() - 1);
    EXPECT_GE(inEdit.right(), Edit->width() - 4);
    EXPECT_EQ(Edit->textMargins().right(), container->width() + 2);

    Edit->SetButtonKind(TMySpinEdit::bkStandard);
    ASSERT_NE(Edit->StandardButton(), nullptr);
    EXPECT_EQ(Edit->DiagonalButton(), nullptr);
    EXPECT_LE(Edit->StandardButton()->width(), 15);
    EXPECT_EQ(Edit->textMargins().right(), Edit->StandardButton()->width() + 2);
}

TEST_F(SpinEditWindow, StandardButtonStepsUpAndDown) {
    Edit->SetButtonKind(TMySpinEdit::bkStandard);
    TRxUpDown* upDown = Edit->StandardButton();
    ASSERT_NE(upDown, nullptr);
    QTest::mouseClick(upDown, Qt::LeftButton, {}, QPoint(upDown->width() / 2, 1));
    QTest::mouseClick(upDown, Qt::LeftButton, {}, QPoint(upDown->width() / 2, 1));
    EXPECT_EQ(Edit->text(), "2");
    QTest::mouseClick(upDown, Qt::LeftButton, {},
                      QPoint(upDown->width() / 2, upDown->height() - 2));
    EXPECT_EQ(Edit->text(), "1");
    EXPECT_EQ(upDown->Position(), 0) << "the position goes back to 0 after each click";
}

TEST_F(SpinEditWindow, HeightNeverFallsBelowTheFontsNeed) {
    Edit->resize(Edit->width(), 4);
    EXPECT_GE(Edit->height(), Edit->MinHeight());
    EXPECT_GE(Edit->MinHeight(), Edit->fontMetrics().height() + 5);
}

TEST(SpinButton, DiagonalDecidesTheHalf) {
    TMySpinButton button;
    ASSERT_EQ(button.size(), QSize(20, 20));
    struct {
        QPoint point;
        TMySpinButton::TSpinButtonState half;
    } const cases[] = {
        {{0, 0}, TMySpinButton::sbTopDown},      {{19, 0}, TMySpinButton::sbTopDown},
        {{0, 19}, TMySpinButton::sbTopDown},     {{10, 10}, TMySpinButton::sbTopDown},
        {{11, 10}, TMySpinButton::sbBottomDown}, {{19, 19}, TMySpinButton::sbBottomDown},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(button.HalfAt(c.point), c.half) << c.point.x() << "," << c.point.y();
    }
    button.resize(40, 10); // not square: the same diagonal, corner to corner
    EXPECT_EQ(button.HalfAt({30, 1}), TMySpinButton::sbTopDown);
    EXPECT_EQ(button.HalfAt({30, 5}), TMySpinButton::sbBottomDown);
}

TEST(SpinButton, DraggingShowsThePressOnlyOverTheHalfWhereItBegan) {
    TMySpinButton button;
    button.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&button));
    QSignalSpy top(&button, &TMySpinButton::TopClick);

    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(button.State(), TMySpinButton::sbTopDown);
    EXPECT_EQ(top.count(), 1);
    QTest::mouseMove(&button, QPoint(16, 16)); // the other half
    EXPECT_EQ(button.State(), TMySpinButton::sbNotDown);
    QTest::mouseMove(&button, QPoint(4, 3));
    EXPECT_EQ(button.State(), TMySpinButton::sbTopDown);
    QTest::mouseMove(&button, QPoint(40, 3)); // outside
    EXPECT_EQ(button.State(), TMySpinButton::sbNotDown);
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(40, 3));
    EXPECT_EQ(button.State(), TMySpinButton::sbNotDown);
    EXPECT_EQ(top.count(), 1) << "dragging clicks nothing";
}

TEST(SpinButton, HeldButtonRepeatsAfterTheFirstDelayThenFaster) {
    TMySpinButton button;
    button.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&button));
    QSignalSpy bottom(&button, &TMySpinButton::BottomClick);

    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(16, 16));
    EXPECT_EQ(bottom.count(), 1) << "a click at once";
    ASSERT_NE(button.RepeatTimer(), nullptr);
    EXPECT_TRUE(button.RepeatTimer()->isActive());
    EXPECT_EQ(button.RepeatTimer()->interval(), TMySpinButton::FirstRepeatDelayMs);

    ASSERT_TRUE(WaitInEventLoop([&] { return bottom.count() >= 2; }));
    EXPECT_EQ(button.RepeatTimer()->interval(), TMySpinButton::RepeatIntervalMs);
    ASSERT_TRUE(WaitInEventLoop([&] { return bottom.count() >= 4; }));

    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(16, 16));
    EXPECT_FALSE(button.RepeatTimer()->isActive());
    EXPECT_EQ(button.State(), TMySpinButton::sbNotDown);
    const int afterRelease = bottom.count();
    QTest::qWait(2 * TMySpinButton::RepeatIntervalMs);
    EXPECT_EQ(bottom.count(), afterRelease);
}

TEST(SpinButton, PressedHalfLooksSunken) {
    TMySpinButton button;
    button.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&button));
    const QImage normal = button.grab().toImage();
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(3, 3));
    const QImage upperDown = button.grab().toImage();
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(3, 3));
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(16, 16));
    const QImage lowerDown = button.grab().toImage();
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(16, 16));
    EXPECT_NE(normal, upperDown);
    EXPECT_NE(normal, lowerDown);
    EXPECT_NE(upperDown, lowerDown);
    EXPECT_EQ(button.grab().toImage(), normal);
}

TEST(SpinButton, PressGivesTheFocusControlTheFocus) {
    QWidget window;
    auto* edit = new QLineEdit(&window);
    auto* other = new QLineEdit(&window);
    auto* button = new TMySpinButton(&window);
    edit->move(0, 0);
    other->move(0, 30);
    button->move(0, 60);
    button->SetFocusControl(edit);
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    other->setFocus();
    ASSERT_TRUE(other->hasFocus());
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_TRUE(edit->hasFocus());

    delete edit; // a destroyed focus control is forgotten
    EXPECT_EQ(button->FocusControl(), nullptr);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(3, 3));
}

} // namespace
