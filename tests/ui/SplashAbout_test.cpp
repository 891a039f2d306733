#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include "i18n/VexaLang.h"
#include "ui/About.h"
#include "ui/Splash.h"

namespace {

// A temporary current directory for the test's lifetime.
class TCurrentDirectory {
public:
    explicit TCurrentDirectory(const QString& path) : Saved(QDir::currentPath()) {
        QDir::setCurrent(path);
    }
    ~TCurrentDirectory() { QDir::setCurrent(Saved); }

private:
    QString Saved;
};

class SplashPicture : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Temp.isValid()); }

    QString WriteJpeg(const QString& name, QSize size) {
        QImage picture(size, QImage::Format_RGB32);
        picture.fill(QColor(30, 90, 160));
        const QString path = QDir(Temp.path()).filePath(name);
        EXPECT_TRUE(picture.save(path, "JPEG"));
        return path;
    }

    QTemporaryDir Temp;
};

TEST_F(SplashPicture, JpegUnderSplExtensionIsShownAtItsSizeAndKeepsItsName) {
    const QString path = WriteJpeg("Quorvex.spl", QSize(240, 120));
    TfrmSplash splash(nullptr, path);
    EXPECT_TRUE(splash.HasPicture());
    EXPECT_TRUE(splash.isVisible());
    EXPECT_EQ(splash.size(), QSize(240, 120)) << "the form takes the picture's size";
    EXPECT_TRUE(splash.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_FALSE(QFile::exists(QDir(Temp.path()).filePath("Quorvex.jpg"))) << "no renaming";
}

TEST_F(SplashPicture, MissingOrUnreadablePictureLeavesTheSplashHidden) {
    const QString jpgOnly = WriteJpeg("Quorvex.jpg", QSize(50, 50));
    const QString garbage = QDir(Temp.path()).filePath("Broken.spl");
    QFile file(garbage);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("this is not a picture");
    file.close();

    for (const QString& path : {QDir(Temp.path()).filePath("Quorvex.spl"), garbage}) {
        TfrmSplash splash(nullptr, path);
        EXPECT_FALSE(splash.HasPicture()) << path.toStdString();
        EXPECT_FALSE(splash.isVisible());
        splash.show();
        EXPECT_FALSE(splash.isVisible()) << "an empty splash never appears";
    }
    EXPECT_TRUE(QFile::exists(jpgOnly)) << "a .jpg picture keeps its name";
    EXPECT_TRUE(QFile::exists(garbage));
}

TEST_F(SplashPicture, PictureIsLookedUpInTheCurrentDirectoryByTheProgramsName) {
    const QString expectedName =
        QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName() + ".spl";
    EXPECT_EQ(TfrmSplash::SplashPicturePath(), expectedName);
    EXPECT_TRUE(QFileInfo(TfrmSplash::SplashPicturePath()).isRelative());

    WriteJpeg(expectedName, QSize(64, 32));
    {
        TCurrentDirectory inTemp(Temp.path());
        TfrmSplash splash;
        EXPECT_TRUE(splash.HasPicture());
    }
    QTemporaryDir elsewhere;
    TCurrentDirectory inOther(elsewhere.path());
    TfrmSplash splash;
    EXPECT_FALSE(splash.HasPicture()) << "another current directory has no picture";
}

TEST(AboutBox, BuildDatesReadWithOneOrMoreBlanks) {
    const struct {
        const char* text;
        QDate expected; // invalid: does not read
    } cases[] = {
        {"Jan 27 2012", QDate(2012, 1, 27)},
        {"Jan  7 2026", QDate(2026, 1, 7)},
        {"Dec 31 1999", QDate(1999, 12, 31)},
        {" Feb  1 2024 ", QDate(2024, 2, 1)},
        {"Feb 30 2020", QDate()},
        {"Foo 1 2020", QDate()},
        {"Jan 2020", QDate()},
        {"", QDate()},
        {"Jan x 2020", QDate()},
        {"Jan 1 2020 extra", QDate()},
    };
    for (const auto& c : cases) {
        QDate date;
        EXPECT_EQ(ParseBuildDate(c.text, date), c.expected.isValid()) << c.text;
        if (c.expected.isValid()) {
            EXPECT_EQ(date, c.expected) << c.text;
        }
    }
    QDate compiled;
    EXPECT_TRUE(ParseBuildDate(ProgramBuildDate, compiled)) << ProgramBuildDate;
}

TEST(AboutBox, VersionLineHasNumbersAndTheShortDate) {
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(AboutVersionText("Version", 0x0001001C, "Jan 27 2012", english),
              "Version 1.0.28 (1/27/12)");
    EXPECT_EQ(AboutVersionText("Version", 0x00020A05, "Jan  7 2026", english),
              "Version 2.10.5 (1/7/26)");
    const QLocale german(QLocale::German, QLocale::Germany);
    EXPECT_EQ(AboutVersionText("Version", 0x0001001C, "Jan  7 2026", german),
              "Version 1.0.28 (07.01.26)");
    EXPECT_EQ(AboutVersionText("Version", 0x0001001C, "sometime", english),
              "Version 1.0.28 (sometime)")
        << "a date that does not read is shown as it is";
}

TEST(AboutBox, ShowingFillsNameAndVersionFromTheTextConstants) {
    TAboutBox box;
    EXPECT_EQ(box.windowTitle(), "About");
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    EXPECT_EQ(box.ProductName->text().toStdString(), GetLangConstant("AppNameStr"));
    const QString prefix = QString::fromStdString(GetLangConstant("VersionStr")) + " 1.0.28 (";
    EXPECT_TRUE(box.Version->text().startsWith(prefix)) << box.Version->text().toStdString();
    EXPECT_TRUE(box.Version->text().endsWith(")"));
    for (const char* name : {"OKButton", "ProductName", "Version", "Copyright", "Comments"}) {
        EXPECT_NE(box.findChild<QWidget*>(name), nullptr) << name;
    }
}

} // namespace
