#pragma once

#include <functional>
#include <gtest/gtest.h>
#include <vector>

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>

// Answers the modal dialogs that open while it lives, one scripted step per dialog, and
// keeps the texts of the message boxes it saw. A dialog beyond the script is cancelled, and
// so is a dialog its step left open (a step whose assertion failed returns early): no dialog
// ever waits for an answer that will not come.
class TModalScript {
public:
    using TStep = std::function<void(QWidget*)>;
    explicit TModalScript(std::vector<TStep> steps = {}) : Steps(std::move(steps)) {
        QObject::connect(&Timer, &QTimer::timeout, [this] { Answer(); });
        Timer.start(5);
    }
    bool Done() const { return Next == Steps.size(); }

    QStringList Texts;
    int Unexpected = 0;

private:
    void Answer() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || modal == Last)
            return;
        Last = modal;
        // A dialog that is shown again (the same object run a second time) is a new step.
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            QObject::connect(
                dialog, &QDialog::finished, &Timer, [this] { Last = nullptr; },
                Qt::SingleShotConnection);
        if (auto* box = qobject_cast<QMessageBox*>(modal))
            Texts << box->text();
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
    }
    void Close(QWidget* modal) {
        ++Unexpected;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else if (modal != nullptr)
            modal->close();
    }

    std::vector<TStep> Steps;
    std::size_t Next = 0;
    QPointer<QWidget> Last;
    QTimer Timer;
};
