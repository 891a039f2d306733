#pragma once

// The Qt tests' one answerer of modal dialogs and message boxes.
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <vector>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <QWidget>

// Answers the modal dialogs that open while it lives, one scripted step per dialog, and
// keeps the texts of the message boxes it saw. A dialog beyond the script is cancelled, and
// so is a dialog its step left open (a step whose assertion failed returns early): no dialog
// ever waits for an answer that will not come. A step may open another dialog (a rename
// from the overwrite question): the next step answers that one, and the first dialog is
// left to its own step meanwhile.
class TModalScript {
public:
    using TStep = std::function<void(QWidget*)>;
    // What the script answers: every modal window, or only the message boxes, when the test
    // drives a dialog of its own and the script answers the boxes it raises.
    enum class TScope { AnyDialog, MessageBoxes };

    explicit TModalScript(std::vector<TStep> steps = {}, TScope scope = TScope::AnyDialog)
        : Steps(std::move(steps)), Scope(scope) {
        QObject::connect(&Timer, &QTimer::timeout, [this] { Answer(); });
        Timer.start(5);
    }
    bool Done() const { return Next == Steps.size(); }
    // The test drives this dialog itself: the script answers only what opens over it.
    void LeaveAlone(QWidget* dialog) { Left.push_back(dialog); }

    QStringList Texts;
    int Unexpected = 0;

private:
    void Answer() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal == Last ||
            std::find(Answering.begin(), Answering.end(), modal) != Answering.end())
            return;
        if (Scope == TScope::MessageBoxes && qobject_cast<QMessageBox*>(modal) == nullptr)
            return;
        if (std::find(Left.begin(), Left.end(), modal) != Left.end())
            return;
        Last = modal;
        // A dialog that is shown again (the same object run a second time) is a new step.
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            QObject::connect(
                dialog, &QDialog::finished, &Timer, [this] { Last = nullptr; },
                Qt::SingleShotConnection);
        if (auto* box = qobject_cast<QMessageBox*>(modal))
            Texts << box->text();
        // The step runs from a timer of its own: this poll is free meanwhile to answer a
        // dialog that the step opens in turn.
        QTimer::singleShot(0, &Timer, [this, answered = QPointer<QWidget>(modal)] {
            if (answered)
                Run(answered);
        });
    }
    void Run(QWidget* modal) {
        Answering.push_back(modal);
        const QPointer<QWidget> answered = modal;
        if (Next < Steps.size()) {
            Steps[Next++](modal);
            if (answered && answered->isVisible() &&
                QApplication::activeModalWidget() == answered) {
                ADD_FAILURE() << "a scripted step left its dialog open: "
                              << answered->metaObject()->className();
                Close(answered);
            }
        } else {
            Close(answered);
        }
        Answering.erase(std::find(Answering.begin(), Answering.end(), modal));
    }
    void Close(QWidget* modal) {
        ++Unexpected;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else if (modal != nullptr)
            modal->close();
    }

    std::vector<TStep> Steps;
    TScope Scope;
    std::size_t Next = 0;
    QPointer<QWidget> Last;
    std::vector<QWidget*> Answering; // dialogs whose steps are running; compared, never used
    std::vector<QWidget*> Left;      // dialogs the test drives; compared, never used
    QTimer Timer;
};

// A step that clicks the message box's button.
inline TModalScript::TStep ClickButton(QMessageBox::StandardButton button) {
    return [button](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr) << "expected a message box";
        ASSERT_NE(box->button(button), nullptr) << "no button " << button;
        box->button(button)->click();
    };
}

// A step that closes the dialog with Escape, as a user does.
inline TModalScript::TStep PressEscape() {
    return [](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); };
}

// Runs the dialog modally, the script answering it and what its steps open in turn; the
// dialog's result. Every step has run and no dialog went unanswered.
inline int ExecScripted(QDialog& dialog, std::vector<TModalScript::TStep> steps) {
    TModalScript script(std::move(steps));
    const int result = dialog.exec();
    EXPECT_TRUE(script.Done());
    EXPECT_EQ(script.Unexpected, 0) << script.Texts.join('|').toStdString();
    return result;
}
