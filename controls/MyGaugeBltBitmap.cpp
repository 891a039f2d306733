#include "controls/MyGaugeBltBitmap.h"

void TBltBitmap::MakeLike(const QImage& other) {
    QImage::operator=(QImage(other.size(), QImage::Format_RGB32));
    fill(Qt::black);
}
