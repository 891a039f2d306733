// Every page of the settings dialog over the demo recorder's settings, the general page in
// the simple setups, and the amplifier-rate window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QPixmap>
#include <QTabWidget>
#include <QTest>

#include "tests/pictures/Pictures.h"
#include "tests/settings/FixtureRecorder.h"
#include "tests/support/ModalScript.h"
#include "widgets/ProgramOptions.h"

TEST(SettingsDialogPictures, EveryPage) {
    const QString folder = PictureFolder();
    // The demo recorder's settings, and a program that splits nothing.
    TSettingsDialogFixture f(TSettingsDialogFixture::TConnection::ImageFile,
                             TSettingsDialogFixture::DemoImage());
    TProgramOptions options;
    options.MaxOutputSize = 0;
    f.Dialog->LoadProgramOptions(options);
    f.Recorder->SetHiddenTabVisible(true);
    f.Dialog->show();
    for (int i = 0; i < f.Dialog->pcSettings->count(); ++i) {
        f.Dialog->pcSettings->setCurrentIndex(i);
        for (int k = 0; k < 5; ++k)
            QApplication::processEvents();
        const QString name = f.Dialog->pcSettings->widget(i)->objectName();
        EXPECT_TRUE(f.Dialog->grab().save(folder + "/" + name + ".png"));
    }
    // The general page in the simple setups, with the presets in place of the details.
    f.Dialog->cbSimpleQuality->setChecked(true);
    f.Dialog->cbSimpleVas->setChecked(true);
    f.Dialog->cbSimpleAmp->setChecked(true);
    f.Dialog->pcSettings->setCurrentWidget(f.Dialog->tsGeneral);
    for (int k = 0; k < 5; ++k)
        QApplication::processEvents();
    EXPECT_TRUE(f.Dialog->grab().save(folder + "/tsGeneral-simple.png"));
    // The amplifier-rate window, taken while it is open.
    f.Dialog->cbSimpleAmp->setChecked(false);
    f.Dialog->cbAGC->setChecked(true);
    TModalScript script({[&](QWidget* window) {
        QTest::qWait(200);
        EXPECT_TRUE(window->grab().save(folder + "/frmAGCRates.png"));
        window->close();
    }});
    f.Dialog->btnAGCSetClick();
    f.Dialog->hide();
}
