#include "controls/MyGauge.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <numbers>

#include <QPainter>

#include "controls/MyGaugeBltBitmap.h"

namespace {

int Round(double value) {
    return static_cast<int>(std::lround(value));
}

EInvalidOperation OutOfRange(long long low, long long high) {
    return EInvalidOperation(
        QString("Value must be between %1 and %2").arg(low).arg(high).toStdString());
}

} // namespace

TMyGauge::TMyGauge(QWidget* parent) : QWidget(parent) {
    resize(100, 100);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

int TMyGauge::GetPercent() const {
    const long long range = static_cast<long long>(FMaxValue) - FMinValue;
    if (range == 0) {
        return 0;
    }
    return Round(100.0 * static_cast<double>(static_cast<long long>(FProgress) - FMinValue) /
                 static_cast<double>(range));
}

void TMyGauge::SetMinValue(int value) {
    if (value == FMinValue) {
        return;
    }
    if (value > FMaxValue) {
        throw OutOfRange(-static_cast<long long>(INT_MAX), static_cast<long long>(FMaxValue) - 1);
    }
    FMinValue = value;
    FProgress = std::max(FProgress, value);
    update();
}

void TMyGauge::SetMaxValue(int value) {
    if (value == FMaxValue) {
        return;
    }
    if (value < FMinValue) {
        throw OutOfRange(static_cast<long long>(FMinValue) + 1, INT_MAX);
    }
    FMaxValue = value;
    FProgress = std::min(FProgress, value);
    update();
}

void TMyGauge::SetProgress(int value) {
    value = std::clamp(value, FMinValue, FMaxValue);
    if (value == FProgress) {
        return;
    }
    const int shownBefore = GetPercent();
    FProgress = value;
    if (GetPercent() != shownBefore) {
        update();
    }
}

void TMyGauge::SetBackColor(const QColor& color) {
    if (color != FBackColor) {
        FBackColor = color;
        update();
    }
}

void TMyGauge::SetForeColor(const QColor& color) {
    if (color != FForeColor) {
        FForeColor = color;
        update();
    }
}

void TMyGauge::SetBorderStyle(TBorderStyle style) {
    if (style != FBorderStyle) {
        FBorderStyle = style;
        update();
    }
}

void TMyGauge::SetKind(TGaugeKind kind) {
    if (kind != FKind) {
        FKind = kind;
        update();
    }
}

void TMyGauge::SetShowText(bool show) {
    if (show != FShowText) {
        FShowText = show;
        update();
    }
}

void TMyGauge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, Render());
}

QImage TMyGauge::Render() const {
    QImage image(std::max(width(), 1), std::max(height(), 1), QImage::Format_RGB32);
    image.fill(FBackColor);
    QRect inner = image.rect();
    const int percent = GetPercent();
    {
        QPainter painter(&image);
        if (FBorderStyle == bsSingle) {
            painter.setPen(Qt::black);
            painter.drawRect(inner.adjusted(0, 0, -1, -1));
            inner.adjust(1, 1, -1, -1);
        }
        painter.setClipRect(inner);
        switch (FKind) {
        case gkHorizontalBar:
        case gkVerticalBar:
            PaintBar(painter, inner, percent);
            break;
        case gkPie:
            PaintPie(painter, inner, percent);
            break;
        case gkNeedle:
            PaintNeedle(painter, inner, percent);
            break;
        case gkText:
            painter.fillRect(inner, FBackColor);
            break;
        }
    }
    if (FShowText) {
        PaintText(image, inner, percent);
    }
    return image;
}

void TMyGauge::PaintBar(QPainter& painter, const QRect& inner, int percent) const {
    painter.fillRect(inner, FBackColor);
    if (FKind == gkHorizontalBar) {
        const int barWidth = std::min(Round(inner.width() * percent * 0.01), inner.width());
        painter.fillRect(inner.left(), inner.top(), barWidth, inner.height(), FForeColor);
    } else {
        const int barHeight =
            std::min(Round(inner.height() * percent * 0.01), std::max(inner.height() - 1, 0));
        painter.fillRect(inner.left(), inner.bottom() + 1 - barHeight, inner.width(), barHeight,
                         FForeColor);
    }
}

void TMyGauge::PaintPie(QPainter& painter, const QRect& inner, int percent) const {
    painter.fillRect(inner, FBackColor);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF ellipse = QRectF(inner).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(FForeColor);
    painter.setBrush(FBackColor);
    painter.drawEllipse(ellipse);
    if (percent >= 1) {
        // From twelve o'clock, clockwise over the percentage of a full turn.
        painter.setBrush(FForeColor);
        painter.drawPie(ellipse, 90 * 16, -Round(std::clamp(percent, 0, 100) * 3.6 * 16));
    }
}

void TMyGauge::PaintNeedle(QPainter& painter, const QRect& inner, int percent) const {
    painter.fillRect(inner, FBackColor);
    painter.setRenderHint(QPainter::Antialiasing);
    const int w = inner.width();
    const int bottom = inner.height();
    // The upper half of an ellipse whose centre lies on the bottom line.
    const QRectF ellipse(inner.left() + 0.5, inner.top() + 0.5, w - 1.0, 2.0 * (bottom - 1));
    painter.setPen(FForeColor);
    painter.setBrush(FBackColor);
    painter.drawPie(ellipse, 0, 180 * 16);
    if (percent >= 1) {
        const double a = std::clamp(percent, 0, 100) / 100.0 * std::numbers::pi;
        const QPoint base(inner.left() + w / 2, inner.top() + bottom - 1);
        const QPoint tip(inner.left() + Round((1 - std::cos(a)) * w / 2.0),
                         inner.top() + Round((1 - std::sin(a)) * (bottom - 1)));
        painter.setPen(QPen(FForeColor, 2));
        painter.drawLine(base, tip);
    }
}

void TMyGauge::PaintText(QImage& image, const QRect& inner, int percent) const {
    TBltBitmap text;
    text.MakeLike(image);
    {
        QPainter painter(&text);
        painter.setFont(font());
        painter.setPen(Qt::white);
        painter.drawText(inner, Qt::AlignCenter, QString("%1%").arg(percent));
    }
    // White on black, combined by XOR: the text shows inverted over bar and ground alike.
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.drawImage(0, 0, text);
}
