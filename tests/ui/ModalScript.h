#pragma once

#include <functional>
#include <vector>

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>

// Answers the modal dialogs that open while it lives, one scripted step per dialog, and
// keeps the texts of the message boxes it saw. A dialog beyond the script is cancelled.
class TModalScript {
public:
    using TStep = std::function<void(QWidget*)>;
    explicit TModalScript(std::vector<TStep> steps = {}) : Steps(std::move(steps)) {
        QObject::connect(&Timer, &QTimer::timeout, [this] {
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
            if (Next < Steps.size()) {
                Steps[Next++](modal);
            } else {
                ++Unexpected;
                if (auto* dialog = qobject_cast<QDialog*>(modal))
                    dialog->reject();
            }
        });
        Timer.start(5);
    }
    bool Done() const { return Next == Steps.size(); }

    QStringList Texts;
    int Unexpected = 0;

private:
    std::vector<TStep> Steps;
    std::size_t Next = 0;
    QPointer<QWidget> Last;
    QTimer Timer;
};
