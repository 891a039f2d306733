// The settings dialog as the program runs it: opened from the main window over a recorder on
// the USB 2.0 SPI adapter (simulated, its memory a copy of the demo image), with the
// program's own message boxes. What the user typed reaches the recorder's wire clamped, the
// boxes come up in front of the dialog, and a store that fails is neither forgotten nor
// hidden.
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QWindow>

#include "controls/MySpin.h"
#include "engine/RecClasses.h"
#include "i18n/VexaLang.h"
#include "i18n/VexaLangText.h"
#include "tests/common/SimulatedAdapter.h"
#include "tests/program/ProgramFixture.h"
#include "tests/support/ModalScript.h"
#include "widgets/PassDlg.h"

namespace {

// What a message box looked like as it came up.
struct TSeenBox {
    QString Text;
    QWidget* Parent = nullptr;
    bool InFrontOfParent = false; // the window system keeps it above its parent
};

// A step that notes the box and clicks its button.
TModalScript::TStep NoteAndClick(std::vector<TSeenBox>& seen, QMessageBox::StandardButton button) {
    return [&seen, button](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        QWidget* parent = box->parentWidget();
        seen.push_back(
            {box->text(), parent,
             parent != nullptr && box->windowHandle() != nullptr &&
                 box->windowHandle()->transientParent() == parent->window()->windowHandle()});
        ClickButton(button)(modal);
    };
}

// Only the boxes: the tests drive the settings dialog themselves.
constexpr auto BoxesOnly = TModalScript::TScope::MessageBoxes;

class ProgramSettings : public TProgramFixture {
protected:
    void SetUp() override {
        TProgramFixture::SetUp();
        Image = Folder.filePath("recorder.ovk").toStdString();
        ASSERT_TRUE(QFile::copy(QCoreApplication::applicationDirPath() + "/OM_Q70_DEMO.OVK",
                                QString::fromStdString(Image)));
        Recorder = std::make_unique<TSimulatedAdapter>(Image);
    }
    void TearDown() override {
        TProgramFixture::TearDown();
        Recorder.reset();
    }

    // The program started on the adapter, its window shown and active, the recorder connected
    // and scanned.
    TProgramForms& StartConnected() {
        ProgramOptions.ConnectType = ConnUsb20SpiAdapter;
        TProgramForms& forms = StartProgram();
        TfrmQuorvMain& main = forms.frmQuorvMain;
        main.show();
        QApplication::setActiveWindow(&main);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&main, 5000));
        EXPECT_TRUE(WaitInEventLoop([&] {
            return main.IsConnected() && main.Recorder != nullptr &&
                   main.Recorder->GetState() == StateIdle;
        }));
        return forms;
    }

    // Runs the settings dialog from the main window's action, doing what the user does while
    // it is up; the dialog is closed (its question answered No) if the user's part leaves it
    // open.
    void InSettingsDialog(TProgramForms& forms, const std::function<void()>& user) {
        TfrmRecSettings& dialog = forms.frmRecSettings;
        bool ran = false;
        QTimer::singleShot(0, &dialog, [&] {
            if (QTest::qWaitForWindowExposed(&dialog, 5000))
                user();
            ran = true;
            if (dialog.isVisible())
                dialog.reject();
        });
        forms.frmQuorvMain.Widgets().actRecSettings->trigger();
        EXPECT_TRUE(ran);
    }

    // The cycle-buffer byte the recorder received last for profile 1; -1 when none was sent.
    int LastStoredCycleBuffer() const {
        int stored = -1;
        for (const auto& command : Recorder->Adapter.Commands())
            if (command.Command == CmdProf && command.Data.size() == TRecProfile::Size &&
                command.Data[0] == RequestSet && command.Data[1] == 1)
                stored = command.Data[14];
        return stored;
    }

    std::string Image;
    std::unique_ptr<TSimulatedAdapter> Recorder;
};

void Type(TMySpinEdit* edit, const QString& text) {
    edit->setFocus(Qt::TabFocusReason);
    edit->selectAll();
    QTest::keyClicks(edit, text);
}

TEST_F(ProgramSettings, ABoxRaisedByTheDialogComesUpInFrontOfItWhateverWindowIsActive) {
    TProgramForms& forms = StartConnected();
    TfrmRecSettings& dialog = forms.frmRecSettings;
    std::vector<TSeenBox> seen;
    TModalScript boxes({NoteAndClick(seen, QMessageBox::Ok)}, BoxesOnly);
    InSettingsDialog(forms, [&] {
        // The window manager left the main window active (or the user was elsewhere).
        QApplication::setActiveWindow(&forms.frmQuorvMain);
        dialog.cbCyclicRec->setChecked(true);
        Type(dialog.rxseCycleLen, "250");
        QTest::mouseClick(dialog.ToolBar1->widgetForAction(dialog.actStore), Qt::LeftButton);
    });
    EXPECT_EQ(boxes.Unexpected, 0);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].Text, Lang("SettingsAppliedStr"));
    EXPECT_EQ(seen[0].Parent, &dialog);
    EXPECT_TRUE(seen[0].InFrontOfParent);
    // The recorder received the value the edit can hold.
    EXPECT_EQ(LastStoredCycleBuffer(), 100);
}

TEST_F(ProgramSettings, EscapeAndYesStoreTheTypedValueClamped) {
    TProgramForms& forms = StartConnected();
    TfrmRecSettings& dialog = forms.frmRecSettings;
    std::vector<TSeenBox> seen;
    TModalScript boxes({NoteAndClick(seen, QMessageBox::Yes), NoteAndClick(seen, QMessageBox::Ok)},
                       BoxesOnly);
    InSettingsDialog(forms, [&] {
        dialog.cbCyclicRec->setChecked(true);
        Type(dialog.rxseCycleLen, "250");
        QTest::keyClick(dialog.rxseCycleLen, Qt::Key_Escape);
        EXPECT_FALSE(dialog.isVisible());
    });
    EXPECT_EQ(boxes.Unexpected, 0);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].Text, Lang("SettingsNotSaved"));
    EXPECT_EQ(seen[1].Text, Lang("SettingsAppliedStr"));
    for (const TSeenBox& box : seen) {
        EXPECT_EQ(box.Parent, &dialog);
        EXPECT_TRUE(box.InFrontOfParent);
    }
    EXPECT_EQ(LastStoredCycleBuffer(), 100);
}

TEST_F(ProgramSettings, AFailedStoreIsAskedAboutOnClosingAndNotShownAsStoredWhenReopened) {
    TProgramForms& forms = StartConnected();
    TfrmRecSettings& dialog = forms.frmRecSettings;
    QString nameBefore;
    // The error, then No to the closing question.
    std::vector<TSeenBox> seen;
    TModalScript boxes({NoteAndClick(seen, QMessageBox::Ok), NoteAndClick(seen, QMessageBox::No)},
                       BoxesOnly);
    InSettingsDialog(forms, [&] {
        nameBefore = dialog.edProfileName->text();
        dialog.edProfileName->setFocus();
        dialog.edProfileName->selectAll();
        QTest::keyClicks(dialog.edProfileName, "Unsent");
        // The recorder refuses profile commands: the store's five tries and the read-back's.
        Recorder->Adapter.InjectFault(TSimFault::Status4, CmdProf, 10);
        QTest::mouseClick(dialog.ToolBar1->widgetForAction(dialog.actStore), Qt::LeftButton);
        QTest::keyClick(dialog.edProfileName, Qt::Key_Escape);
        EXPECT_FALSE(dialog.isVisible());
    });
    EXPECT_EQ(boxes.Unexpected, 0);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_NE(seen[0].Text, Lang("SettingsAppliedStr"));
    EXPECT_EQ(seen[1].Text, Lang("SettingsNotSaved"));
    auto* recorder = dynamic_cast<TRecorder*>(forms.frmQuorvMain.Recorder);
    ASSERT_NE(recorder, nullptr);
    EXPECT_EQ(
        QByteArray(reinterpret_cast<const char*>(recorder->Settings().Profiles[0].Name.data()), 6),
        QByteArray("Phone\0", 6));

    // Shown again, the dialog shows what the recorder holds, and closing it asks nothing.
    TModalScript none({}, BoxesOnly);
    InSettingsDialog(forms, [&] {
        EXPECT_EQ(dialog.edProfileName->text(), nameBefore);
        QTest::keyClick(dialog.edProfileName, Qt::Key_Escape);
        EXPECT_FALSE(dialog.isVisible());
    });
    EXPECT_TRUE(none.Texts.isEmpty()) << none.Texts.join('|').toStdString();
}

TEST_F(ProgramSettings, NoSplittingShowsNoLimitInTheLanguageOfTheProgram) {
    TProgramForms& forms = StartConnected();
    TfrmRecSettings& dialog = forms.frmRecSettings;
    ASSERT_EQ(ProgramOptions.MaxOutputSize, 0);
    for (const std::uint16_t language : {English, std::uint16_t{1049}, std::uint16_t{1031}}) {
        SwitchTo(language);
        const QString noLimit = Lang("NoLimitStr");
        InSettingsDialog(forms, [&] {
            EXPECT_EQ(dialog.rxsePartSize->text(), noLimit);
            EXPECT_GE(dialog.rxsePartSize->width(),
                      dialog.rxsePartSize->fontMetrics().horizontalAdvance(noLimit));
        });
        EXPECT_EQ(ProgramOptions.MaxOutputSize, 0);
    }
}

// The pages the keys that walk a tab widget show, from the first page on, a round and more.
std::vector<QWidget*> PagesWalked(TfrmRecSettings& dialog, Qt::Key key) {
    dialog.pcSettings->setCurrentIndex(0);
    dialog.pcSettings->tabBar()->setFocus();
    std::vector<QWidget*> seen;
    for (int i = 0; i < 2 * dialog.pcSettings->count() + 2; ++i) {
        QTest::keyClick(QApplication::focusWidget(), key, Qt::ControlModifier);
        seen.push_back(dialog.pcSettings->currentWidget());
    }
    return seen;
}

bool Contains(const std::vector<QWidget*>& pages, QWidget* page) {
    return std::find(pages.begin(), pages.end(), page) != pages.end();
}

TEST_F(ProgramSettings, TheKeysReachTheDealerPageOnlyInTheHiddenMode) {
    TProgramForms& forms = StartConnected();
    TfrmRecSettings& dialog = forms.frmRecSettings;
    ASSERT_FALSE(forms.frmQuorvMain.HiddenTabVisible());
    for (const Qt::Key key : {Qt::Key_Tab, Qt::Key_PageDown, Qt::Key_PageUp}) {
        SCOPED_TRACE(key);
        InSettingsDialog(forms, [&] {
            const std::vector<QWidget*> seen = PagesWalked(dialog, key);
            EXPECT_TRUE(Contains(seen, dialog.tsExpert)) << "the keys walk the pages";
            EXPECT_FALSE(Contains(seen, dialog.tsHidden));
            EXPECT_FALSE(dialog.tsHidden->isVisible());
        });
    }
    // The hidden chord on the main window, then the page is one of the others.
    QApplication::setActiveWindow(&forms.frmQuorvMain);
    QTest::keyClick(&forms.frmQuorvMain, Qt::Key_V,
                    Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier);
    ASSERT_TRUE(forms.frmQuorvMain.HiddenTabVisible());
    for (const Qt::Key key : {Qt::Key_Tab, Qt::Key_PageDown, Qt::Key_PageUp}) {
        SCOPED_TRACE(key);
        InSettingsDialog(forms,
                         [&] { EXPECT_TRUE(Contains(PagesWalked(dialog, key), dialog.tsHidden)); });
    }
    ASSERT_TRUE(forms.frmQuorvMain.HiddenTabVisible());
    // And out of reach again after the chord once more.
    QApplication::setActiveWindow(&forms.frmQuorvMain);
    QTest::keyClick(&forms.frmQuorvMain, Qt::Key_V,
                    Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier);
    InSettingsDialog(
        forms, [&] { EXPECT_FALSE(Contains(PagesWalked(dialog, Qt::Key_Tab), dialog.tsHidden)); });
}

// A new password is stored; the box that says so is answered before the program asks for
// the recorder's password again, never under it.
TEST_F(ProgramSettings, AfterANewPasswordThePromptComesOnlyOnceTheAppliedBoxIsAnswered) {
    TProgramForms& forms = StartConnected();
    TfrmQuorvMain& main = forms.frmQuorvMain;
    TfrmRecSettings& dialog = forms.frmRecSettings;
    const QString password = QStringLiteral("4711");
    // The box is held until the window's connection poll has fallen due (Timer1 has run out)
    // and the event loop has since been about to wait twice: each of those times an idle pass
    // would poll the recorder, which now wants the new password.
    bool boxUp = false;
    bool pollDue = false;
    int pollChances = 0;
    QObject counting; // the counts end with the test
    QObject::connect(main.Widgets().Timer1, &QTimer::timeout, &counting, [&] { pollDue = true; });
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                     &counting, [&] {
                         if (boxUp && pollDue)
                             ++pollChances;
                     });
    // A step that answers the password dialog asking the question with the password.
    auto typePassword = [&](const char* question, bool* overBox) -> TModalScript::TStep {
        return [&, question, overBox](QWidget* modal) {
            auto* prompt = qobject_cast<TPasswordDlg*>(modal);
            ASSERT_NE(prompt, nullptr) << "expected the password dialog: " << question;
            EXPECT_EQ(prompt->Label1->text(), Lang(question));
            if (overBox != nullptr)
                *overBox = boxUp;
            prompt->Password->setText(password);
            prompt->OKBtn->click();
        };
    };
    bool promptOverBox = false;
    TModalScript script({typePassword("PwdChangeStr", nullptr),
                         [&](QWidget* modal) {
                             auto* box = qobject_cast<QMessageBox*>(modal);
                             ASSERT_NE(box, nullptr) << "expected the box that says so";
                             EXPECT_EQ(box->text(), Lang("SettingsAppliedStr"));
                             boxUp = true;
                             pollDue = !main.Widgets().Timer1->isActive();
                             EXPECT_TRUE(WaitInEventLoop([&] { return pollChances >= 2; }));
                             boxUp = false;
                             ClickButton(QMessageBox::Ok)(modal);
                         },
                         typePassword("AccessQuestionStr", &promptOverBox)});
    script.LeaveAlone(&dialog);
    InSettingsDialog(forms, [&] {
        dialog.pcSettings->setCurrentWidget(dialog.tsAdvanced);
        dialog.edPassword->setFocus();
        QTest::keyClicks(dialog.edPassword, password);
        dialog.cbAntialias->setFocus(); // leaving the edit takes the new password
        QTest::mouseClick(dialog.ToolBar1->widgetForAction(dialog.actStore), Qt::LeftButton);
        // The window polls the recorder, which now wants the new password.
        EXPECT_TRUE(WaitInEventLoop([&] { return script.Done(); }));
    });
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(script.Unexpected, 0) << script.Texts.join('|').toStdString();
    EXPECT_FALSE(promptOverBox);
    EXPECT_TRUE(WaitInEventLoop([&] { return main.IsConnected(); }));
}

// The settings dialog's line and the status panel give the same minimum record time for the
// recorder's current profile.
TEST_F(ProgramSettings, TheMinimumRecordTimeReadsTheSameInTheDialogAndTheStatusPanel) {
    TProgramForms& forms = StartConnected();
    TfrmRecSettings& dialog = forms.frmRecSettings;
    const QRegularExpression time(QStringLiteral("\\d\\d:\\d\\d:\\d\\d"));
    const QString panel = time.match(forms.frmQuorvMain.Widgets().lbMinRecTime->text()).captured();
    ASSERT_FALSE(panel.isEmpty())
        << forms.frmQuorvMain.Widgets().lbMinRecTime->text().toStdString();
    EXPECT_NE(panel, QStringLiteral("00:00:00"));
    InSettingsDialog(forms, [&] {
        EXPECT_EQ(time.match(dialog.lbMinRecTime->text()).captured(), panel)
            << dialog.lbMinRecTime->text().toStdString();
    });
}

} // namespace
