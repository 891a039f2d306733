#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <ostream>
#include <thread>

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include "tests/support/EventLoopWait.h"
#include "tests/support/ModalScript.h"
#include "widgets/MsgBox.h"

namespace {

// Presses the button (or Escape) on the message box as soon as it is up.
TModalScript::TStep Press(QMessageBox::StandardButton button) {
    return button == QMessageBox::Escape ? PressEscape() : ClickButton(button);
}

struct TBoxCase {
    const char* name;
    unsigned flags;
    QList<QMessageBox::StandardButton> buttons;
    QMessageBox::StandardButton defaultButton;
    QMessageBox::Icon icon;
    friend void PrintTo(const TBoxCase& c, std::ostream* os) { *os << c.name; }
};

class MessageBoxFlags : public ::testing::TestWithParam<TBoxCase> {};

TEST_P(MessageBoxFlags, ButtonsIconAndDefaultFollowTheFlags) {
    const TBoxCase& c = GetParam();
    QMessageBox* box = CreateMessageBox(nullptr, "text", "Caption", c.flags);
    EXPECT_EQ(box->windowTitle(), "Caption");
    EXPECT_EQ(box->text(), "text");
    EXPECT_EQ(box->icon(), c.icon);
    QMessageBox::StandardButtons expected;
    for (auto b : c.buttons) {
        expected |= b;
    }
    EXPECT_EQ(box->standardButtons(), expected);
    ASSERT_NE(box->defaultButton(), nullptr);
    EXPECT_EQ(box->standardButton(box->defaultButton()), c.defaultButton);
    delete box;
}

INSTANTIATE_TEST_SUITE_P(
    Table, MessageBoxFlags,
    ::testing::Values(
        TBoxCase{"PlainOk", MB_OK, {QMessageBox::Ok}, QMessageBox::Ok, QMessageBox::NoIcon},
        TBoxCase{
            "ErrorOk", MB_ICONERROR, {QMessageBox::Ok}, QMessageBox::Ok, QMessageBox::Critical},
        TBoxCase{"DestroyQuestion",
                 MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2,
                 {QMessageBox::Yes, QMessageBox::No},
                 QMessageBox::No,
                 QMessageBox::Warning},
        TBoxCase{"Question",
                 MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON3,
                 {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel},
                 QMessageBox::Cancel,
                 QMessageBox::Question},
        TBoxCase{"OkCancel",
                 MB_OKCANCEL | MB_ICONINFORMATION,
                 {QMessageBox::Ok, QMessageBox::Cancel},
                 QMessageBox::Ok,
                 QMessageBox::Information},
        TBoxCase{"RetryCancel",
                 MB_RETRYCANCEL,
                 {QMessageBox::Retry, QMessageBox::Cancel},
                 QMessageBox::Retry,
                 QMessageBox::NoIcon},
        TBoxCase{"AbortRetryIgnore",
                 MB_ABORTRETRYIGNORE | MB_DEFBUTTON2,
                 {QMessageBox::Abort, QMessageBox::Retry, QMessageBox::Ignore},
                 QMessageBox::Retry,
                 QMessageBox::NoIcon},
        TBoxCase{"DefaultBeyondTheButtonsIsTheLast",
                 MB_YESNO | MB_DEFBUTTON3,
                 {QMessageBox::Yes, QMessageBox::No},
                 QMessageBox::No,
                 QMessageBox::NoIcon}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ShowMessageBox, ReturnsTheWindowsCodeOfThePressedButton) {
    const struct {
        unsigned flags;
        QMessageBox::StandardButton press;
        int code;
    } cases[] = {
        {MB_OK, QMessageBox::Ok, IDOK},
        {MB_OKCANCEL, QMessageBox::Cancel, IDCANCEL},
        {MB_YESNO, QMessageBox::Yes, IDYES},
        {MB_YESNO, QMessageBox::No, IDNO},
        {MB_ABORTRETRYIGNORE, QMessageBox::Abort, IDABORT},
        {MB_ABORTRETRYIGNORE, QMessageBox::Retry, IDRETRY},
        {MB_ABORTRETRYIGNORE, QMessageBox::Ignore, IDIGNORE},
        {MB_OK, QMessageBox::Escape, IDOK},
        {MB_YESNO, QMessageBox::Escape, IDNO},
        {MB_YESNOCANCEL, QMessageBox::Escape, IDCANCEL},
    };
    for (const auto& c : cases) {
        TModalScript script({Press(c.press)});
        EXPECT_EQ(ShowMessageBox(QString("question"), QString("Quorvex"), c.flags), c.code)
            << "flags " << c.flags << " button " << c.press;
        EXPECT_TRUE(script.Done());
    }
}

TEST(ShowMessageBox, FromAnotherThreadTheUiThreadShowsIt) {
    TModalScript script({ClickButton(QMessageBox::Yes)});
    std::atomic<int> code{0};
    std::atomic<bool> done{false};
    std::thread worker([&] {
        code = ShowMessageBox(std::string("from a worker"), std::string("Quorvex"), MB_YESNO);
        done = true;
    });
    EXPECT_TRUE(testsupport::WaitInEventLoop([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(code.load(), IDYES);
    EXPECT_TRUE(script.Done());
}

TEST(ShowMessageBox, OwnerWindowGoingAwayClosesTheBoxSafely) {
    auto* owner = new QWidget;
    owner->show();
    QApplication::setActiveWindow(owner);
    ASSERT_TRUE(QTest::qWaitForWindowActive(owner));
    TModalScript script({[owner](QWidget* box) {
        EXPECT_EQ(box->parentWidget(), owner);
        delete owner; // takes its child box along
    }});
    EXPECT_EQ(ShowMessageBox(QString("still there?"), QString("Quorvex"), MB_YESNO), IDNO);
    EXPECT_TRUE(script.Done());
}

TEST(ShowMessageBox, SitsOnTheModalDialogEvenWhenItsOwnerIsTheActiveWindow) {
    // The window manager may leave the owner active when a dialog opens, or the user may
    // have gone to another program meanwhile: the box still goes in front of the dialog.
    for (const bool ownerActive : {false, true}) {
        SCOPED_TRACE(ownerActive);
        QWidget owner;
        owner.show();
        QDialog dialog(&owner);
        QWidget* parent = nullptr;
        bool shownInFront = false;
        int code = 0;
        // The test drives the dialog; the script answers the box that comes up over it.
        TModalScript script({[&](QWidget* box) {
                                parent = box->parentWidget();
                                shownInFront =
                                    box->windowHandle() != nullptr &&
                                    box->windowHandle()->transientParent() == dialog.windowHandle();
                                ClickButton(QMessageBox::Yes)(box);
                            }},
                            TModalScript::TScope::MessageBoxes);
        QTimer::singleShot(0, &dialog, [&] {
            QApplication::setActiveWindow(ownerActive ? &owner : nullptr);
            code = ShowMessageBox(QString("applied"), QString("Quorvex"), MB_YESNO);
            dialog.accept();
        });
        dialog.exec();
        EXPECT_TRUE(script.Done());
        EXPECT_EQ(code, IDYES);
        EXPECT_EQ(parent, &dialog);
        EXPECT_TRUE(shownInFront);
    }
}

TEST(ShowMessageBox, NeverSitsOnTheSplash) {
    QWidget splash(nullptr, Qt::SplashScreen);
    splash.show();
    QApplication::setActiveWindow(&splash);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&splash));
    TModalScript script({[](QWidget* box) {
        EXPECT_EQ(box->parentWidget(), nullptr);
        ClickButton(QMessageBox::Ok)(box);
    }});
    EXPECT_EQ(ShowMessageBox(QString("notice"), QString("Quorvex"), MB_OK), IDOK);
    EXPECT_TRUE(script.Done());
}

} // namespace
