#include "ui/StatusFrm.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "controls/MyGauge.h"
#include "i18n/VexaLang.h"
#include "widgets/DialogButtons.h"
#include "widgets/Mainutils.h"

namespace {

std::int64_t SystemFileTimeNow() {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count() / 100;
}

} // namespace

TfrmStatus::TfrmStatus(QWidget* mainWindow) : QDialog(mainWindow), FClock(SystemFileTimeNow) {
    setObjectName("frmStatus");
    setWindowTitle("Executing...");
    // Single fixed border and no border icons: the form only goes away when the main window
    // hides it.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    lbStatus = new QLabel(this);
    lbStatus->setObjectName("lbStatus");
    lbStatus->setMinimumWidth(320);

    mgProgress = new TMyGauge(this);
    mgProgress->setObjectName("mgProgress");
    mgProgress->SetBackColor(QApplication::palette().color(QPalette::Base));
    // The gauge writes its percentage inverted (XOR): over a mid-tone bar that gives a
    // mid-tone text, so the bar is a dark shade of the selection colour.
    mgProgress->SetForeColor(QApplication::palette().color(QPalette::Highlight).darker(200));
    QFont bold = mgProgress->font();
    bold.setBold(true);
    mgProgress->setFont(bold);
    mgProgress->setFixedHeight(22);

    const TCentredButtonRow buttons = MakeCentredButtonRow(*this, "Button1", "Cancel");
    Button1 = buttons.Button;
    connect(Button1, &QPushButton::clicked, this, &TfrmStatus::Button1Click);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lbStatus);
    layout->addWidget(mgProgress);
    layout->addLayout(buttons.Layout);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TfrmStatus::SetClock(TClock clock) {
    FClock = clock ? std::move(clock) : TClock(SystemFileTimeNow);
}

QString TfrmStatus::EstimateCaption(float percent, double elapsedSeconds) {
    if (!(percent > 0 && percent < 100 && elapsedSeconds > 0))
        return ApplicationTitle();
    const double remaining = elapsedSeconds * 100 / percent - elapsedSeconds;
    // A tiny first percentage can give an estimate beyond any clock; it is capped.
    constexpr double MaxSeconds = 100000.0 * 3600;
    const auto s = static_cast<long long>(std::llround(std::min(remaining, MaxSeconds)));
    const long long hours = s / 3600;
    const long long minutes = (s - hours * 3600) / 60;
    const long long seconds = s - hours * 3600 - minutes * 60;
    return ApplicationTitle() + "       " +
           QString::fromStdString(GetLangConstant("EstimTimeStr")) + ": " +
           QString::asprintf("%lld:%.2lld:%.2lld", hours, minutes, seconds);
}

void TfrmStatus::SetProgress(float percent) {
    if (percent == FProgress || std::isnan(percent))
        return;
    if (percent == 0)
        FStartTime = FClock();
    mgProgress->SetProgress(static_cast<int>(std::lround(percent)));
    FProgress = percent;
    const double elapsed = static_cast<double>(FClock() - FStartTime) * 1e-7;
    setWindowTitle(EstimateCaption(percent, elapsed));
}

void TfrmStatus::Button1Click() {
    Button1->setEnabled(false);
    emit CancelClicked();
}

void TfrmStatus::reject() {
    if (Button1->isEnabled())
        Button1Click();
}

void TfrmStatus::showEvent(QShowEvent* event) {
    FKeepFocus = true;
    // Wide enough for its title bar to show the longest estimate whole, in any language.
    const int titleWidth = TitleBarWidth(EstimateCaption(50, 36000 + 3599));
    const QMargins margins = layout() != nullptr ? layout()->contentsMargins() : QMargins();
    mgProgress->setMinimumWidth(titleWidth - margins.left() - margins.right());
    adjustSize();
    if (QWidget* main = parentWidget()) {
        const QRect m = main->frameGeometry();
        move((m.width() - width()) / 2 + m.left(), (m.height() - height()) / 2 + m.top());
        KeepOnScreen(*this);
    }
    setWindowTitle(ApplicationTitle());
    FStartTime = FClock();
    QDialog::showEvent(event);
}

void TfrmStatus::changeEvent(QEvent* event) {
    // Focus comes back from the main window, never from a question box shown meanwhile nor
    // from another program.
    if (event->type() == QEvent::ActivationChange && !isActiveWindow() && FKeepFocus &&
        isVisible() && QApplication::activeWindow() != nullptr &&
        QApplication::activeModalWidget() == nullptr)
        activateWindow();
    if (event->type() == QEvent::ActivationChange)
        update();
    QDialog::changeEvent(event);
}
