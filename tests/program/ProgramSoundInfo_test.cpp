// The sound information of a downloaded file in each language: every line of the dialog
// shows whole.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QTest>

#include "audio/CrcWaveFile.h"
#include "audio/WaveAddInfo.h"
#include "audio/Wavefunc.h"
#include "tests/program/ProgramFixture.h"
#include "ui/SoundInfoFrm.h"

namespace {

class ProgramSoundInfo : public TProgramFixture {
protected:
    // A file as a download writes it: the data with the add-info record and its check word.
    std::string WriteDownload() {
        const std::string path = Folder.filePath(QStringLiteral("rec_1.wav")).toStdString();
        TCrcWaveFile wave;
        wave.SetFileName(path);
        SetPcmFormat(&wave.GetFormat(), 1, 8000, 16);
        EXPECT_TRUE(wave.Create());
        const std::vector<std::uint8_t> data(16000, 0);
        EXPECT_EQ(wave.Write(data.data(), static_cast<std::int32_t>(data.size())),
                  static_cast<std::int32_t>(data.size()));
        TWaveAddInfo info;
        info.Version = 5;
        info.CheckWord = EncodeWaveCheckWord(5, wave.GetCrc());
        info.SerialNumber = u"123456789";
        info.ModelName = u"Recorder model 1 1";
        info.RecordTime = TSystemTime{2024, 3, 0, 14, 9, 12, 5, 0};
        info.SourceCompression = 0;
        EXPECT_TRUE(wave.SetAddInfo(BuildWaveAddInfo(info)));
        EXPECT_TRUE(wave.Close());
        return path;
    }
};

// Each line's inked width, which may reach past its advance.
int LineWidth(const QFontMetrics& metrics, const QString& line) {
    return std::max(metrics.horizontalAdvance(line), metrics.boundingRect(line).right() + 1);
}

void ExpectLinesWhole(const QLabel& label) {
    const QFontMetrics metrics(label.font());
    const int room = label.contentsRect().width();
    for (const QString& line : label.text().split(QLatin1Char('\n')))
        EXPECT_LE(LineWidth(metrics, line), room)
            << label.objectName().toStdString() << ": " << line.toStdString();
    EXPECT_TRUE(label.window()->rect().contains(
        QRect(label.mapTo(label.window(), QPoint(0, 0)), label.size())));
}

TEST_F(ProgramSoundInfo, EveryLineShowsWholeInEachLanguage) {
    const std::string path = WriteDownload();
    for (const std::uint16_t language : {English, std::uint16_t{1031}, std::uint16_t{1049}}) {
        SCOPED_TRACE(language);
        LangManager()->SetCurrentLanguageID(LangManager()->GetDefaultLanguageID());
        WriteSettings("[Settings]\r\nLangID=" + QByteArray::number(language) + "\r\n");
        TfrmQuorvMain& main = StartProgram().frmQuorvMain;
        ASSERT_EQ(LangManager()->GetCurrentLanguageID(), language);
        auto& form = *new TfrmSoundInfo(&main); // the window deletes it
        TWaveFile wave;
        wave.SetFileName(path);
        ASSERT_TRUE(wave.Open());
        form.PrepareSoundInfo(wave);
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        ExpectLinesWhole(*form.lbSoundInfo);
        form.btnSoundAnalyse->click();
        QApplication::sendPostedEvents();
        form.layout()->activate();
        ExpectLinesWhole(*form.lbSoundInfo);
        ExpectLinesWhole(*form.lbCallInfo);
        form.hide();
        Forms.reset();
    }
}

} // namespace
