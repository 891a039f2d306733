// What the user typed into a spin edit is what reaches the recorder, clamped to the edit's
// range, however the store is started: the tool-bar button, the menu from the keyboard,
// Escape and "Yes" to the closing question, or a save to a profile file.
#include <algorithm>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <ostream>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QToolBar>

#include "controls/MySpin.h"
#include "engine/RecClassesProfiles.h"
#include "i18n/VexaLang.h"
#include "platform/IniFile.h"
#include "tests/settings/FixtureRecorder.h"
#include "tests/support/EventLoopWait.h"
#include "widgets/MsgBox.h"

namespace {

using testsupport::WaitInEventLoop;

using TConnection = TSettingsDialogFixture::TConnection;

// Detection items that show the caller-ID panels.
constexpr int DetectRussian = 1;
constexpr int DetectDtmf = 3;

// The byte a spin edit's value ends up as in the settings record.
struct TSpinTarget {
    const char* Name;
    TMySpinEdit* TfrmRecSettings::*Edit;
    double Min;
    double Max;
    int DetectItem; // the detection type that shows the edit, -1 any
    std::function<int(const TRecSettings&)> Stored;
    std::function<int(double value, const TRecSettings&)> Expected;
    friend void PrintTo(const TSpinTarget& t, std::ostream* os) { *os << t.Name; }
};

int Pair(const TRecSettings& s, std::uint8_t tag) {
    const TLineParamPair* pair = s.FindLineParam(tag);
    return pair != nullptr ? pair->Value : -1;
}

std::function<int(const TRecSettings&)> PairOf(std::uint8_t tag) {
    return [tag](const TRecSettings& s) { return Pair(s, tag); };
}

int Whole(double value) {
    return static_cast<int>(value);
}

const TSpinTarget SpinTargets[] = {
    {"rxseCycleLen", &TfrmRecSettings::rxseCycleLen, 1, 100, -1,
     [](const TRecSettings& s) { return int(s.Profiles[0].CycleBufSize); },
     [](double v, const TRecSettings&) { return Whole(v); }},
    {"rxseSearchStep", &TfrmRecSettings::rxseSearchStep, 1, 255, -1,
     [](const TRecSettings& s) { return int(s.SearchStep); },
     [](double v, const TRecSettings&) { return Whole(v); }},
    {"seRingVoltage", &TfrmRecSettings::seRingVoltage, 0, 255, -1, PairOf(LineTagRingVoltage),
     [](double v, const TRecSettings&) { return Whole(v); }},
    {"seBusyVoltage", &TfrmRecSettings::seBusyVoltage, 0, 255, -1, PairOf(LineTagBusyVoltage),
     [](double v, const TRecSettings&) { return Whole(v); }},
    {"seSkipRings", &TfrmRecSettings::seSkipRings, 0, 20, -1, PairOf(LineTagRingsBeforeAnswer),
     [](double v, const TRecSettings&) { return Whole(v); }},
    {"seDialDelay", &TfrmRecSettings::seDialDelay, 0, 255, -1, PairOf(LineTagDialDelay),
     [](double v, const TRecSettings&) { return Whole(v); }},
    {"seNumLen", &TfrmRecSettings::seNumLen, 0, 20, DetectRussian, PairOf(LineTagNumberLength),
     [](double v, const TRecSettings&) { return Whole(v); }},
    {"seMinDigCount", &TfrmRecSettings::seMinDigCount, 0, 20, DetectRussian,
     PairOf(LineTagMinDigits), [](double v, const TRecSettings&) { return Whole(v); }},
    {"seFirstReqDelay", &TfrmRecSettings::seFirstReqDelay, 0, 1000, DetectRussian,
     PairOf(LineTagFirstRequestDelay),
     [](double v, const TRecSettings&) { return Whole(100 - v / 10); }},
    {"seNextReqDelay", &TfrmRecSettings::seNextReqDelay, 0, 1000, DetectRussian,
     PairOf(LineTagNextRequestDelay),
     [](double v, const TRecSettings&) { return Whole(100 - v / 10); }},
    {"seReqDur", &TfrmRecSettings::seReqDur, 0, 500, DetectRussian, PairOf(LineTagRequestDuration),
     [](double v, const TRecSettings&) { return Whole(v / 2); }},
    {"seReqCount", &TfrmRecSettings::seReqCount, 0, 5, DetectRussian,
     PairOf(LineTagRequestFormAndCount),
     [](double v, const TRecSettings& s) {
         return (Pair(s, LineTagRequestFormAndCount) & 0xF8) | Whole(v);
     }},
    {"seReqAmp", &TfrmRecSettings::seReqAmp, -24, 0, DetectRussian, PairOf(LineTagRequestAmplitude),
     [](double v, const TRecSettings&) { return Whole(v / -6); }},
    {"seDTMFVoltage", &TfrmRecSettings::seDTMFVoltage, 0, 3060, DetectDtmf,
     PairOf(LineTagDtmfVoltage), [](double v, const TRecSettings&) { return Whole(v / 12); }},
};

QWidget* PageOf(const TfrmRecSettings& dialog, QWidget* widget) {
    for (QWidget* page :
         {dialog.tsGeneral, dialog.tsFiles, dialog.tsAdvanced, dialog.tsExpert, dialog.tsHidden})
        if (page->isAncestorOf(widget))
            return page;
    return nullptr;
}

// Makes the edit visible and enabled, gives it the focus and types text over its value, as a
// user does; the focus stays in the edit.
void TypeInto(TfrmRecSettings& dialog, TMySpinEdit* edit, int detectItem, const QString& text) {
    if (detectItem >= 0)
        dialog.cbDetectType->setCurrentIndex(detectItem);
    if (edit == dialog.rxseCycleLen)
        dialog.cbCyclicRec->setChecked(true);
    dialog.pcSettings->setCurrentWidget(PageOf(dialog, edit));
    if (edit->isHidden()) {
        edit->setText(text); // the search step is never shown; it is stored all the same
        return;
    }
    ASSERT_TRUE(edit->isVisible() && edit->isEnabled()) << edit->objectName().toStdString();
    edit->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(edit->hasFocus());
    edit->selectAll();
    QTest::keyClicks(edit, text);
    ASSERT_EQ(edit->text(), text);
}

void ClickToolButton(TfrmRecSettings& dialog, QAction* action) {
    QWidget* button = dialog.ToolBar1->widgetForAction(action);
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
}

// Opens the dialog's menu with a click on the menu bar and chooses the action with the keys.
void ChooseFromMenu(TfrmRecSettings& dialog, QAction* action) {
    const QRect title = dialog.MainMenu1->actionGeometry(dialog.mmSettings->menuAction());
    QTest::mouseClick(dialog.MainMenu1, Qt::LeftButton, Qt::NoModifier, title.center());
    ASSERT_TRUE(WaitInEventLoop([&] { return dialog.mmSettings->isVisible(); }));
    dialog.mmSettings->setActiveAction(action);
    QTest::keyClick(dialog.mmSettings, Qt::Key_Return);
    ASSERT_TRUE(WaitInEventLoop([&] { return !dialog.mmSettings->isVisible(); }));
}

class SpinEditStore : public ::testing::TestWithParam<TSpinTarget> {};

TEST_P(SpinEditStore, BelowInsideAndAboveTheRangeReachTheRecorderClamped) {
    const TSpinTarget& t = GetParam();
    const double inside = std::floor((t.Min + t.Max) / 2);
    for (const double typed : {t.Min - 10, inside, t.Max + 50}) {
        SCOPED_TRACE(typed);
        TSettingsDialogFixture f(TConnection::ImageFile);
        f.Show();
        TMySpinEdit* edit = f.Dialog.get()->*t.Edit;
        TypeInto(*f.Dialog, edit, t.DetectItem, QString::number(typed));
        ClickToolButton(*f.Dialog, f.Dialog->actStore);

        const double clamped = std::clamp(typed, t.Min, t.Max);
        const TRecSettings image = f.ImageSettings();
        EXPECT_EQ(t.Stored(image), t.Expected(clamped, image));
        EXPECT_EQ(t.Stored(f.Recorder->Settings()), t.Stored(image));
        // What the edit shows after the store is what the recorder holds.
        EXPECT_EQ(edit->Value(), edit->CheckValue(edit->Value()));
        EXPECT_FALSE(f.Messages.empty());
        EXPECT_EQ(f.Dialog->WorkingCopy().ToBytes(), f.Recorder->Settings().ToBytes());
    }
}

INSTANTIATE_TEST_SUITE_P(EverySpinEdit, SpinEditStore, ::testing::ValuesIn(SpinTargets),
                         [](const auto& info) { return std::string(info.param.Name); });

// The faults as found: a value typed and stored without leaving the edit.
struct TTrigger {
    const char* Name;
    std::function<void(TSettingsDialogFixture&)> Store;
    friend void PrintTo(const TTrigger& t, std::ostream* os) { *os << t.Name; }
};

const TTrigger Triggers[] = {
    {"ToolBarButton",
     [](TSettingsDialogFixture& f) { ClickToolButton(*f.Dialog, f.Dialog->actStore); }},
    {"MenuByKeyboard",
     [](TSettingsDialogFixture& f) { ChooseFromMenu(*f.Dialog, f.Dialog->actStore); }},
    {"EscapeAndYes",
     [](TSettingsDialogFixture& f) {
         f.MessageAnswers = {IDYES};
         QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
         EXPECT_FALSE(f.Dialog->isVisible());
         ASSERT_FALSE(f.Messages.empty());
         EXPECT_EQ(f.Messages.front(), QString::fromStdString(GetLangConstant("SettingsNotSaved")));
     }},
    {"CloseBoxAndYes",
     [](TSettingsDialogFixture& f) {
         f.MessageAnswers = {IDYES};
         EXPECT_TRUE(f.Dialog->close());
         EXPECT_FALSE(f.Dialog->isVisible());
         ASSERT_FALSE(f.Messages.empty());
         EXPECT_EQ(f.Messages.front(), QString::fromStdString(GetLangConstant("SettingsNotSaved")));
     }},
};

class TypedValueStore : public ::testing::TestWithParam<TTrigger> {};

TEST_P(TypedValueStore, StoresTheValueTheEditCanHold) {
    struct TCase {
        TMySpinEdit* TfrmRecSettings::*Edit;
        int DetectItem;
        const char* Typed;
        std::function<int(const TRecSettings&)> Stored;
        int Expected;
    } const cases[] = {
        {&TfrmRecSettings::rxseCycleLen, -1, "250",
         [](const TRecSettings& s) { return int(s.Profiles[0].CycleBufSize); }, 100},
        {&TfrmRecSettings::seReqCount, DetectRussian, "9",
         [](const TRecSettings& s) { return Pair(s, LineTagRequestFormAndCount) & 7; }, 5},
        {&TfrmRecSettings::seReqAmp, DetectRussian, "-100", PairOf(LineTagRequestAmplitude), 4},
        {&TfrmRecSettings::seNumLen, DetectRussian, "99", PairOf(LineTagNumberLength), 20},
    };
    for (const TCase& c : cases) {
        TSettingsDialogFixture f(TConnection::ImageFile);
        f.Show();
        SCOPED_TRACE((f.Dialog.get()->*c.Edit)->objectName().toStdString());
        TypeInto(*f.Dialog, f.Dialog.get()->*c.Edit, c.DetectItem, c.Typed);
        GetParam().Store(f);
        EXPECT_EQ(c.Stored(f.ImageSettings()), c.Expected);
        EXPECT_EQ(c.Stored(f.Recorder->Settings()), c.Expected);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryWayToStore, TypedValueStore, ::testing::ValuesIn(Triggers),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(TypedValueSave, TheProfileFileHoldsTheValueTheEditCanHold) {
    TSettingsDialogFixture f(TConnection::ImageFile);
    f.Show();
    f.NextFileName = f.Folder.filePath("typed.rpr");
    TypeInto(*f.Dialog, f.Dialog->rxseCycleLen, -1, "250");
    ChooseFromMenu(*f.Dialog, f.Dialog->actSaveToFile);
    EXPECT_EQ(TIniFile(f.NextFileName.toStdString()).ReadInteger("Profile 1", "CycleBufSize", -1),
              100);
    EXPECT_EQ(f.Dialog->rxseCycleLen->text(), "100");
}

TEST(TypedValueClose, TheClosingQuestionComparesTheValueTheEditCanHold) {
    // 100 stored; 250 typed is 100 once clamped, so nothing differs and nothing is asked.
    TSettingsDialogFixture f(TConnection::ImageFile);
    TRecSettings s = f.Recorder->Settings();
    s.Profiles[0].CycleBufSize = 100;
    f.Load(s);
    f.Show();
    TypeInto(*f.Dialog, f.Dialog->rxseCycleLen, -1, "250");
    QTest::keyClick(f.Dialog->rxseCycleLen, Qt::Key_Escape);
    EXPECT_FALSE(f.Dialog->isVisible());
    EXPECT_TRUE(f.Messages.empty());
}

TEST(TypedPasswordClose, APasswordTypedAndNotStoredIsAskedAboutOnClosing) {
    TSettingsDialogFixture f(TConnection::ImageFile);
    f.Show();
    f.Dialog->pcSettings->setCurrentWidget(f.Dialog->tsAdvanced);
    f.Dialog->edPassword->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(f.Dialog->edPassword, "1234");
    f.MessageAnswers = {IDYES};
    f.PasswordAnswers = {QString("1234")};
    QTest::keyClick(f.Dialog->edPassword, Qt::Key_Escape);
    EXPECT_FALSE(f.Dialog->isVisible());
    ASSERT_FALSE(f.Messages.empty());
    EXPECT_EQ(f.Messages.front(), QString::fromStdString(GetLangConstant("SettingsNotSaved")));
    EXPECT_EQ(f.PasswordPrompts, 1);
    const std::optional<std::string> stored = PasswordFromField(f.ImageSettings().Password);
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(*stored, "1234");
}

TEST(SettingsKeyboard, EnterInAnEditCommitsItAndNeitherClosesNorOpensAnything) {
    TSettingsDialogFixture f(TConnection::ImageFile);
    f.Show();
    const QByteArray before = QByteArray::number(f.ImageSettings().Profiles[0].CycleBufSize);
    TypeInto(*f.Dialog, f.Dialog->rxseCycleLen, -1, "250");
    QTest::keyClick(f.Dialog->rxseCycleLen, Qt::Key_Return);
    EXPECT_TRUE(f.Dialog->isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr); // no rate window, no question
    EXPECT_EQ(f.Dialog->rxseCycleLen->text(), "100");
    EXPECT_TRUE(f.Messages.empty());
    EXPECT_EQ(QByteArray::number(f.ImageSettings().Profiles[0].CycleBufSize), before);
    for (QPushButton* button : f.Dialog->findChildren<QPushButton*>())
        EXPECT_FALSE(button->isDefault()) << button->objectName().toStdString();
}

} // namespace
