#include "controls/MySpinUpDown.h"

#include <algorithm>

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QTimer>
#include <qdrawutil.h>

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
    const int pressed[2] = {Max, Min};
    const QColor arrow =
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText);
    for (int i = 0; i < 2; ++i) {
        const QRect& half = halves[i];
        const bool sunken = FPressedDirection == pressed[i];
        const QBrush face = palette().brush(QPalette::Button);
        qDrawShadePanel(&painter, half, palette(), sunken, 1, &face);
        // A triangle as wide as the half allows, at most 7 pixels, pointing away from the
        // middle; it moves by a pixel while pressed, as on a pushed button.
        const int span = std::clamp((half.width() - 5) | 1, 3, 7);
        const int rise = (span + 1) / 2;
        const int shift = sunken ? 1 : 0;
        const int left = half.left() + (half.width() - span) / 2 + shift;
        const int top = half.top() + (half.height() - rise) / 2 + shift;
        painter.setPen(Qt::NoPen);
        painter.setBrush(arrow);
        QPolygon triangle;
        if (i == 0) {
            triangle << QPoint(left, top + rise) << QPoint(left + span, top + rise)
                     << QPoint(left + span / 2, top) << QPoint(left + span / 2 + 1, top);
        } else {
            triangle << QPoint(left, top) << QPoint(left + span, top)
                     << QPoint(left + span / 2 + 1, top + rise)
                     << QPoint(left + span / 2, top + rise);
        }
        painter.drawPolygon(triangle);
    }
}
