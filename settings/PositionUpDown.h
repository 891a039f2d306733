#pragma once

#include <QWidget>

class TRxUpDown;

// An up-down with a position of its own in minimum .. maximum, moved by one step per click
// of the program's arrow pair: the upper arrow counts up.
class TPositionUpDown : public QWidget {
    Q_OBJECT

public:
    TPositionUpDown(int minimum, int maximum, int step, int position, QWidget* parent = nullptr);

    int value() const { return FPosition; }
    // Clamps into the range; valueChanged when the position moves.
    void setValue(int position);
    int minimum() const { return FMinimum; }
    int maximum() const { return FMaximum; }
    int singleStep() const { return FStep; }
    TRxUpDown* Arrows() const { return FArrows; }

signals:
    void valueChanged(int position);

private:
    TRxUpDown* FArrows = nullptr;
    int FMinimum;
    int FMaximum;
    int FStep;
    int FPosition;
};
