#pragma once

#include <cstdint>
#include <functional>

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;
class TMyGauge;

// The progress form of the long operations: the current step, a percentage gauge, the
// estimated time left in the title bar, and Cancel. Shown without a modal loop; the main
// window feeds it between polls.
class TfrmStatus : public QDialog {
    Q_OBJECT

public:
    // File time now, in 100-ns units; replaceable so that a test can set the clock.
    using TClock = std::function<std::int64_t()>;

    explicit TfrmStatus(QWidget* mainWindow = nullptr);

    // Percentage 0 to 100; ignored when equal to the last one set. 0 restarts the clock.
    void SetProgress(float percent);
    float GetProgress() const { return FProgress; }

    // Set on show; the main window clears it before it hides the form.
    bool KeepFocus() const { return FKeepFocus; }
    void SetKeepFocus(bool keep) { FKeepFocus = keep; }

    void SetClock(TClock clock);

    // The caption for a progress after elapsed seconds: the application's title, and with
    // 0 < percent < 100 and elapsed > 0 the estimate "EstimTimeStr: h:mm:ss" after it.
    static QString EstimateCaption(float percent, double elapsedSeconds);

    QLabel* lbStatus = nullptr;
    TMyGauge* mgProgress = nullptr;
    QPushButton* Button1 = nullptr;

signals:
    // Cancel was pressed: the main window sets its cancel-request flag. The button stays
    // disabled until the main window enables it for the next operation.
    void CancelClicked();

public slots:
    void reject() override; // Escape is Cancel; the form never closes itself

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void Button1Click();

    TClock FClock;
    std::int64_t FStartTime = 0;
    float FProgress = 0;
    bool FKeepFocus = false;
};
