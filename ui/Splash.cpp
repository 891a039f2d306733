#include "ui/Splash.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

TfrmSplash::TfrmSplash(QWidget* owner, const QString& picturePath)
    : QWidget(owner, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName("frmSplash");
    Image1 = new QLabel(this);
    Image1->setObjectName("Image1");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Image1);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    FHasPicture = LoadPicture(picturePath);
    adjustSize();
    CentreOnScreen();
    show();
}

QString TfrmSplash::SplashPicturePath() {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName() + ".spl";
}

bool TfrmSplash::LoadPicture(const QString& path) {
    // Read as JPEG whatever the extension says; the file keeps its name.
    QImageReader reader(path, "jpeg");
    const QImage picture = reader.read();
    if (picture.isNull()) {
        return false;
    }
    Image1->setPixmap(QPixmap::fromImage(picture));
    return true;
}

void TfrmSplash::CentreOnScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    QRect frame(QPoint(0, 0), size());
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

void TfrmSplash::setVisible(bool visible) {
    // An empty frameless box in the middle of the screen tells the user nothing.
    QWidget::setVisible(visible && FHasPicture);
}
