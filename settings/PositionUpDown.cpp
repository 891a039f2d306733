#include "settings/PositionUpDown.h"

#include <algorithm>

#include <QVBoxLayout>

#include "controls/MySpinUpDown.h"

TPositionUpDown::TPositionUpDown(int minimum, int maximum, int step, int position, QWidget* parent)
    : QWidget(parent), FMinimum(minimum), FMaximum(std::max(minimum, maximum)),
      FStep(std::max(1, step)), FPosition(std::clamp(position, FMinimum, FMaximum)) {
    FArrows = new TRxUpDown(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(FArrows);
    setFixedSize(TRxUpDown::PreferredWidth(this), 22);
    connect(FArrows, &TRxUpDown::Click, this, [this](TRxUpDown::TUDBtnType button) {
        setValue(FPosition + (button == TRxUpDown::btNext ? FStep : -FStep));
    });
}

void TPositionUpDown::setValue(int position) {
    const int clamped = std::clamp(position, FMinimum, FMaximum);
    if (clamped == FPosition)
        return;
    FPosition = clamped;
    emit valueChanged(FPosition);
}
