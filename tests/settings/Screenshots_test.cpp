// Not a check: pictures of every page for a person to look at. Run with
//   xvfb-run test_settings --gtest_also_run_disabled_tests --gtest_filter='*Screenshots*'
// and QUORVEX_SHOTS set to the folder for the PNG files.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QPixmap>
#include <QTabWidget>
#include <QTimer>

#include "tests/settings/FixtureRecorder.h"
#include "ui/ProgramOptions.h"

TEST(SettingsDialogPictures, DISABLED_Screenshots) {
    const QString folder = qEnvironmentVariable("QUORVEX_SHOTS", QDir::tempPath());
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
    QTimer::singleShot(200, [&] {
        if (QWidget* window = QApplication::activeModalWidget()) {
            window->grab().save(folder + "/frmAGCRates.png");
            window->close();
        }
    });
    f.Dialog->btnAGCSetClick();
    f.Dialog->hide();
}
