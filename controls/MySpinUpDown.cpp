#include "controls/MySpinUpDown.h"

#include <algorithm>

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QTimer>

TRxUpDown::TRxUpDown(QWidget* parent) : QWidget(parent) {
    setFixedWidth(PreferredWidth(this));
    setCursor(Qt::ArrowCursor);
    setFocusPolicy(Qt::NoFocus);
}

int TRxUpDown::PreferredWidth(const QWidget* widget) {
    const QStyle* style = widget != nullptr ? widget->style() : nullptr;
    const int extent = style != nullptr ? style->pixelMetric(QStyle::PM_ScrollBarExtent) : 15;
    return std::clamp(extent, 1, 15);
}

QSize TRxUpDown::sizeHint() const {
    return {PreferredWidth(this), 20};
}

void TRxUpDown::SetPosition(int position) {
    FPosition = std::clamp(position, Min, Max);
    ScrollNotify(FPosition);
}

void TRxUpDown::ScrollNotify(int position) {
    // Putting the position back to 0 notifies again; that echo is not a click.
    if (FChanging) {
        return;
    }
    FChanging = true;
    if (position > 0) {
        emit Click(btNext);
    } else if (position < 0) {
        emit Click(btPrev);
    }
    FPosition = 0;
    ScrollNotify(0);
    FChanging = false;
}

bool TRxUpDown::InUpperHalf(const QPoint& point) const {
    return point.y() < height() / 2;
}

void TRxUpDown::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !isEnabled()) {
        QWidget::mousePressEvent(event);
        return;
    }
    FPressedDirection = InUpperHalf(event->position().toPoint()) ? Max : Min;
    update();
    if (FRepeatTimer == nullptr) {
        FRepeatTimer = new QTimer(this);
        connect(FRepeatTimer, &QTimer::timeout, this, &TRxUpDown::RepeatTick);
    }
    FRepeatTimer->start(FirstRepeatDelayMs);
    SetPosition(FPressedDirection);
}

void TRxUpDown::RepeatTick() {
    FRepeatTimer->setInterval(RepeatIntervalMs);
    if (FPressedDirection != 0) {
        SetPosition(FPressedDirection);
    }
}

void TRxUpDown::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    FPressedDirection = 0;
    if (FRepeatTimer != nullptr) {
        FRepeatTimer->stop();
    }
    update();
}

void TRxUpDown::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int upperHeight = height() / 2;
    const QRect halves[2] = {QRect(0, 0, width(), upperHeight),
                             QRect(0, upperHeight, width(), height() - upperHeight)};
    const QStyle::PrimitiveElement arrows[2] = {QStyle::PE_IndicatorArrowUp,
                                                QStyle::PE_IndicatorArrowDown};
    const int pressed[2] = {Max, Min};
    for (int i = 0; i < 2; ++i) {
        QStyleOptionButton option;
        option.initFrom(this);
        option.rect = halves[i];
        option.state |=
            FPressedDirection == pressed[i] ? QStyle::State_Sunken : QStyle::State_Raised;
        style()->drawPrimitive(QStyle::PE_PanelButtonBevel, &option, &painter, this);
        option.rect = halves[i].adjusted(2, 2, -2, -2);
        style()->drawPrimitive(arrows[i], &option, &painter, this);
    }
}
