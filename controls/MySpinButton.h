#pragma once

#include <QPixmap>
#include <QPointer>
#include <QWidget>

class QTimer;

// A square button split along its diagonal: the upper-left half steps up, the lower-right
// half steps down. Held down, it repeats after 400 ms and then every 100 ms.
class TMySpinButton : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QPixmap UpGlyph READ UpGlyph WRITE SetUpGlyph)
    Q_PROPERTY(QPixmap DownGlyph READ DownGlyph WRITE SetDownGlyph)

public:
    enum TSpinButtonState { sbNotDown = 0, sbTopDown = 1, sbBottomDown = 2 };

    static constexpr int FirstRepeatDelayMs = 400;
    static constexpr int RepeatIntervalMs = 100;

    explicit TMySpinButton(QWidget* parent = nullptr);
    ~TMySpinButton() override;

    QPixmap UpGlyph() const { return FUpGlyph; }
    QPixmap DownGlyph() const { return FDownGlyph; }
    void SetUpGlyph(const QPixmap& glyph);
    void SetDownGlyph(const QPixmap& glyph);

    // Gets the focus when the button is pressed; not owned, forgotten when it is destroyed.
    QWidget* FocusControl() const { return FFocusControl; }
    void SetFocusControl(QWidget* control) { FFocusControl = control; }

    TSpinButtonState State() const { return FState; }
    // Which half holds the point, by the diagonal from bottom-left to top-right.
    TSpinButtonState HalfAt(const QPoint& point) const;
    // The repeat timer, created on the first press; null before.
    const QTimer* RepeatTimer() const { return FRepeatTimer; }

    QSize sizeHint() const override { return {20, 20}; }

    // The bitmaps the button shows unless it is given others.
    static QPixmap DefaultUpGlyph();
    static QPixmap DefaultDownGlyph();

signals:
    void TopClick();
    void BottomClick();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void TimerExpired();
    void FireClick();
    void SetState(TSpinButtonState state);
    void GiveFocusToControl();
    void InvalidateImages();
    const QPixmap& ImageForState(TSpinButtonState state);
    QPixmap DrawImage(TSpinButtonState state) const;

    QPixmap FUpGlyph;
    QPixmap FDownGlyph;
    QPointer<QWidget> FFocusControl;
    TSpinButtonState FState = sbNotDown;
    TSpinButtonState FPressHalf = sbNotDown;
    bool FDragging = false;
    bool FLeftDown = false;
    QTimer* FRepeatTimer = nullptr;
    QPixmap FImages[3];
    bool FImagesValid = false;
};
