#pragma once

#include <QWidget>

class QTimer;

// A vertical up-down pair of arrow buttons with the range -1 .. 1 around position 0. A press
// moves the position to +1 (upper arrow) or -1 (lower arrow); the notification reports it as
// a click and puts the position back to 0.
class TRxUpDown : public QWidget {
    Q_OBJECT

public:
    enum TUDBtnType { btNext, btPrev }; // btNext steps up, btPrev steps down

    static constexpr int Min = -1;
    static constexpr int Max = 1;
    static constexpr int FirstRepeatDelayMs = 400;
    static constexpr int RepeatIntervalMs = 100;

    explicit TRxUpDown(QWidget* parent = nullptr);

    int Position() const { return FPosition; }
    // Sets the position and sends the thumb-position notification for it.
    void SetPosition(int position);

    // The width the control keeps: the style's vertical scroll-bar width, at most 15.
    static int PreferredWidth(const QWidget* widget);

    QSize sizeHint() const override;

signals:
    void Click(TRxUpDown::TUDBtnType button);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void ScrollNotify(int position);
    void RepeatTick();
    bool InUpperHalf(const QPoint& point) const;

    int FPosition = 0;
    bool FChanging = false;
    int FPressedDirection = 0; // +1 upper arrow held, -1 lower arrow held
    QTimer* FRepeatTimer = nullptr;
};
