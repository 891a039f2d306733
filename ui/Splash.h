#pragma once

#include <QString>
#include <QWidget>

class QLabel;

// The start-up picture: a frameless form, kept on top, centred on the screen, the size of
// the picture. It is read from the program's base name with ".spl" in the current directory,
// a JPEG picture under another extension. Without a readable picture the form stays hidden.
class TfrmSplash : public QWidget {
    Q_OBJECT

public:
    explicit TfrmSplash(QWidget* owner = nullptr, const QString& picturePath = SplashPicturePath());

    // The program's file name without folder and extension, plus ".spl": a name relative to
    // the current directory, not to the program's folder.
    static QString SplashPicturePath();

    bool HasPicture() const { return FHasPicture; }
    void setVisible(bool visible) override;

    QLabel* Image1 = nullptr;

private:
    bool LoadPicture(const QString& path);
    void CentreOnScreen();

    bool FHasPicture = false;
};
