// The progress, overwrite and part-selection forms on their own, with a long file name and a
// selection in place.
#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>

#include "tests/pictures/Pictures.h"
#include "ui/OverWrite.h"
#include "ui/PartSelect.h"
#include "ui/StatusFrm.h"
#include "widgets/Mainutils.h"

namespace {

TEST(FormPictures, ProgressOverwriteAndPartSelection) {
    const QString folder = PictureFolder();
    SetApplicationTitle("Quorvex");

    TfrmStatus status;
    status.show();
    status.lbStatus->setText("Copying record 12 to file_12_(2011_03_05-14_07_09)_SN1.wav");
    status.SetProgress(37);
    QTest::qWait(100);
    EXPECT_TRUE(status.grab().save(folder + "/status.png"));
    status.SetKeepFocus(false);
    status.hide();

    TfrmOverwrite overwrite;
    overwrite.SetFileName("/home/user/Sounds/" + QString(50, 'd') +
                          "/file_12_(2011_03_05-14_07_09)_SN123OCV345.wav");
    overwrite.show();
    QTest::qWait(100);
    EXPECT_TRUE(overwrite.grab().save(folder + "/overwrite.png"));
    overwrite.hide();

    TfrmPartSelect part;
    part.SetTotalDuration(3723);
    part.SetTotalSize(29'784'000);
    part.show();
    part.SetBar(60, 150);
    QTest::qWait(100);
    EXPECT_TRUE(part.grab().save(folder + "/partselect.png"));
}

} // namespace
