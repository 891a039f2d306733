#pragma once

#include <QFrame>

class QPainter;

// A raised panel in the button-face colour that lets its owner paint on it: the panel draws
// itself, then Paint is emitted with a painter on the panel.
class TCanvasPanel : public QFrame {
    Q_OBJECT

public:
    explicit TCanvasPanel(QWidget* parent = nullptr);

signals:
    // Emitted at the end of every paint; the painter is valid only during the call.
    void Paint(QPainter* canvas);

protected:
    void paintEvent(QPaintEvent* event) override;
};
