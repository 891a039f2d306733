#include "controls/MySpinButton.h"

#include <cmath>

#include <QBitmap>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

namespace {

// A small filled triangle on a transparent ground, pointing up or down.
QPixmap MakeArrowGlyph(bool pointsUp) {
    constexpr int width = 5;
    constexpr int height = 3;
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int row = 0; row < height; ++row) {
        const int halfSpan = pointsUp ? row : height - 1 - row;
        const int centre = width / 2;
        for (int x = centre - halfSpan; x <= centre + halfSpan; ++x) {
            image.setPixelColor(x, row, Qt::black);
        }
    }
    return QPixmap::fromImage(image);
}

// A glyph without an alpha channel leaves out the colour of its bottom-left pixel.
QPixmap WithTransparentColour(const QPixmap& glyph) {
    if (glyph.isNull() || glyph.hasAlphaChannel()) {
        return glyph;
    }
    QPixmap result = glyph;
    const QImage image = glyph.toImage();
    const QColor transparent = image.pixelColor(0, image.height() - 1);
    result.setMask(QBitmap::fromImage(image.createMaskFromColor(transparent.rgb())));
    return result;
}

void PolyLine(QPainter& painter, std::initializer_list<QPoint> points) {
    const QPoint* previous = nullptr;
    for (const QPoint& point : points) {
        if (previous != nullptr) {
            painter.drawLine(*previous, point);
        }
        previous = &point;
    }
}

int RoundHalfAway(double value) {
    return static_cast<int>(std::lround(value));
}

} // namespace

TMySpinButton::TMySpinButton(QWidget* parent)
    : QWidget(parent), FUpGlyph(DefaultUpGlyph()), FDownGlyph(DefaultDownGlyph()) {
    resize(20, 20);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::ArrowCursor);
}

TMySpinButton::~TMySpinButton() = default;

QPixmap TMySpinButton::DefaultUpGlyph() {
    static const QPixmap glyph = MakeArrowGlyph(true); // the bitmap "MYSPINUP"
    return glyph;
}

QPixmap TMySpinButton::DefaultDownGlyph() {
    static const QPixmap glyph = MakeArrowGlyph(false); // the bitmap "MYSPINDOWN"
    return glyph;
}

void TMySpinButton::SetUpGlyph(const QPixmap& glyph) {
    FUpGlyph = glyph.isNull() ? DefaultUpGlyph() : glyph;
    InvalidateImages();
}

void TMySpinButton::SetDownGlyph(const QPixmap& glyph) {
    FDownGlyph = glyph.isNull() ? DefaultDownGlyph() : glyph;
    InvalidateImages();
}

TMySpinButton::TSpinButtonState TMySpinButton::HalfAt(const QPoint& point) const {
    // x / W + y / H <= 1, which for the square button is x + y <= H.
    const qint64 w = width();
    const qint64 h = height();
    return point.x() * h + point.y() * w <= w * h ? sbTopDown : sbBottomDown;
}

void TMySpinButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !isEnabled()) {
        QWidget::mousePressEvent(event);
        return;
    }
    FLeftDown = true;
    GiveFocusToControl();
    if (FState == sbNotDown) {
        FPressHalf = HalfAt(event->position().toPoint());
        SetState(FPressHalf);
        FireClick();
        if (FRepeatTimer == nullptr) {
            FRepeatTimer = new QTimer(this);
            connect(FRepeatTimer, &QTimer::timeout, this, &TMySpinButton::TimerExpired);
        }
        FRepeatTimer->start(FirstRepeatDelayMs);
    }
    FDragging = true;
}

void TMySpinButton::mouseMoveEvent(QMouseEvent* event) {
    if (!FDragging) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    const QPoint point = event->position().toPoint();
    TSpinButtonState newState = sbNotDown;
    if (rect().contains(point) && HalfAt(point) == FPressHalf) {
        newState = FPressHalf;
    }
    SetState(newState);
}

void TMySpinButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    FLeftDown = false;
    if (FRepeatTimer != nullptr) {
        FRepeatTimer->stop();
    }
    if (FDragging) {
        FDragging = false;
        if (rect().contains(event->position().toPoint())) {
            FPressHalf = sbNotDown;
            SetState(sbNotDown);
        }
    }
    // Released outside: the move that left the button already showed it raised.
    FPressHalf = sbNotDown;
}

void TMySpinButton::TimerExpired() {
    FRepeatTimer->setInterval(RepeatIntervalMs);
    if (FState != sbNotDown && FLeftDown) {
        FireClick();
    }
}

void TMySpinButton::FireClick() {
    const QPointer<TMySpinButton> self(this);
    if (FState == sbTopDown) {
        emit TopClick();
    } else if (FState == sbBottomDown) {
        emit BottomClick();
    }
    // A click handler may have destroyed the button's owner, and with it the button.
    if (self && !FLeftDown) {
        SetState(sbNotDown);
    }
}

void TMySpinButton::SetState(TSpinButtonState state) {
    if (state != FState) {
        FState = state;
        update();
    }
}

void TMySpinButton::GiveFocusToControl() {
    QWidget* control = FFocusControl;
    if (control != nullptr && control->isEnabled() && control->isVisible() &&
        control->focusPolicy() != Qt::NoFocus && !control->hasFocus()) {
        control->setFocus(Qt::OtherFocusReason);
    }
}

void TMySpinButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::EnabledChange) {
        InvalidateImages();
    }
    QWidget::changeEvent(event);
}

void TMySpinButton::resizeEvent(QResizeEvent* event) {
    InvalidateImages();
    QWidget::resizeEvent(event);
}

void TMySpinButton::InvalidateImages() {
    FImagesValid = false;
    update();
}

const QPixmap& TMySpinButton::ImageForState(TSpinButtonState state) {
    if (!FImagesValid) {
        for (int s = sbNotDown; s <= sbBottomDown; ++s) {
            FImages[s] = DrawImage(static_cast<TSpinButtonState>(s));
        }
        FImagesValid = true;
    }
    return FImages[state];
}

void TMySpinButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, ImageForState(FState));
}

QPixmap TMySpinButton::DrawImage(TSpinButtonState state) const {
    const int w = std::max(width(), 1);
    const int h = std::max(height(), 1);
    const QPalette& pal = palette();
    const QColor face = pal.color(QPalette::Button);
    const QColor frame = pal.color(QPalette::Shadow);
    const QColor highlight = pal.color(QPalette::Light);
    const QColor shadow = pal.color(QPalette::Dark);

    QPixmap image(w, h);
    image.fill(face);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    if (state != sbNotDown) {
        // The pressed half darkens a little: on a light face the swapped bevel alone hardly
        // shows.
        const QPolygon half = state == sbTopDown ? QPolygon({{0, 0}, {w, 0}, {0, h}})
                                                 : QPolygon({{w, 0}, {w, h}, {0, h}});
        painter.setPen(Qt::NoPen);
        painter.setBrush(face.darker(115));
        painter.drawPolygon(half);
    }

    painter.setPen(frame);
    painter.drawRect(0, 0, w - 1, h - 1);
    painter.drawLine(-1, h, w, -1);

    // Upper half: lit from the top left, sunk when pressed.
    painter.setPen(state == sbTopDown ? shadow : highlight);
    PolyLine(painter, {{1, h - 4}, {1, 1}, {w - 3, 1}});
    if (state != sbTopDown) {
        painter.setPen(shadow);
        painter.drawLine(1, h - 3, w - 2, 0);
    }

    // Lower half.
    painter.setPen(state == sbBottomDown ? highlight : shadow);
    PolyLine(painter, {{2, h - 2}, {w - 2, h - 2}, {w - 2, 1}});
    painter.setPen(state == sbBottomDown ? shadow : highlight);
    painter.drawLine(2, h - 2, w - 1, 1);

    const QPixmap up = WithTransparentColour(FUpGlyph);
    const QPixmap down = WithTransparentColour(FDownGlyph);
    if (!isEnabled()) {
        painter.setOpacity(0.4);
    }
    const int offset = state == sbTopDown ? 2 : 1;
    painter.drawPixmap(RoundHalfAway(w / 4.0 - up.width() / 2.0) + offset,
                       RoundHalfAway(h / 4.0 - up.height() / 2.0) + offset, up);
    painter.drawPixmap(RoundHalfAway(3.0 * w / 4.0 - down.width() / 2.0) - 1,
                       RoundHalfAway(3.0 * h / 4.0 - down.height() / 2.0) - 1, down);

    painter.setOpacity(1.0);
    if (state == sbBottomDown) {
        painter.setPen(shadow);
        painter.drawLine(3, h - 2, w - 1, 2);
    }
    return image;
}
