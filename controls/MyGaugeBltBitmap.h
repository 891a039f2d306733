#pragma once

#include <QImage>

// The gauge's off-screen text layer: same size as the gauge picture, filled with the
// window-frame colour (black), so that combining it by XOR leaves the picture unchanged
// wherever nothing is written on it.
class TBltBitmap : public QImage {
public:
    TBltBitmap() = default;
    void MakeLike(const QImage& other);
};
