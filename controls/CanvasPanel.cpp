#include "controls/CanvasPanel.h"

#include <QPainter>

TCanvasPanel::TCanvasPanel(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(1);
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
}

void TCanvasPanel::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter canvas(this);
    emit Paint(&canvas);
}
