#pragma once

#include <stdexcept>

#include <QColor>
#include <QWidget>

// The framework's error for a property set outside its allowed range.
class EInvalidOperation : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A progress gauge: a bar, a pie, a needle or just the percentage, with the percentage
// written inverted over the picture.
class TMyGauge : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor BackColor READ BackColor WRITE SetBackColor)
    Q_PROPERTY(TBorderStyle BorderStyle READ BorderStyle WRITE SetBorderStyle)
    Q_PROPERTY(QColor ForeColor READ ForeColor WRITE SetForeColor)
    Q_PROPERTY(TGaugeKind Kind READ Kind WRITE SetKind)
    Q_PROPERTY(int MinValue READ MinValue WRITE SetMinValue)
    Q_PROPERTY(int MaxValue READ MaxValue WRITE SetMaxValue)
    Q_PROPERTY(int Progress READ Progress WRITE SetProgress)
    Q_PROPERTY(bool ShowText READ ShowText WRITE SetShowText)

public:
    enum TGaugeKind { gkText, gkHorizontalBar, gkVerticalBar, gkPie, gkNeedle };
    Q_ENUM(TGaugeKind)
    enum TBorderStyle { bsNone, bsSingle };
    Q_ENUM(TBorderStyle)

    explicit TMyGauge(QWidget* parent = nullptr);

    QColor BackColor() const { return FBackColor; }
    void SetBackColor(const QColor& color);
    TBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TBorderStyle style);
    QColor ForeColor() const { return FForeColor; }
    void SetForeColor(const QColor& color);
    TGaugeKind Kind() const { return FKind; }
    void SetKind(TGaugeKind kind);
    int MinValue() const { return FMinValue; }
    // Raises EInvalidOperation above MaxValue; lifts Progress to the new bound.
    void SetMinValue(int value);
    int MaxValue() const { return FMaxValue; }
    // Raises EInvalidOperation below MinValue; lowers Progress to the new bound.
    void SetMaxValue(int value);
    int Progress() const { return FProgress; }
    // Clamped to the bounds; repaints only when the shown percentage changes.
    void SetProgress(int value);
    bool ShowText() const { return FShowText; }
    void SetShowText(bool show);

    // round(100 * (Progress - MinValue) / (MaxValue - MinValue)); 0 for equal bounds.
    int GetPercent() const;
    // The picture the gauge paints, at its current size.
    QImage Render() const;

    QSize sizeHint() const override { return {100, 100}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void PaintBar(class QPainter& painter, const QRect& inner, int percent) const;
    void PaintPie(class QPainter& painter, const QRect& inner, int percent) const;
    void PaintNeedle(class QPainter& painter, const QRect& inner, int percent) const;
    void PaintText(QImage& image, const QRect& inner, int percent) const;

    QColor FBackColor = Qt::white;
    TBorderStyle FBorderStyle = bsSingle;
    QColor FForeColor = Qt::black;
    TGaugeKind FKind = gkHorizontalBar;
    int FMinValue = 0;
    int FMaxValue = 100;
    int FProgress = 0;
    bool FShowText = true;
};
