#include "ui/SoundInfoAnalysis.h"

#include <algorithm>
#include <vector>

#include <QApplication>
#include <QDateTime>
#include <QLocale>
#include <QRadioButton>

#include "audio/WaveAddInfo.h"
#include "audio/Wavefunc.h"
#include "i18n/VexaLang.h"
#include "ui/NorvelLoader.h"
#include "ui/SoundInfoScan.h"
#include "widgets/Mainutils.h"

namespace {

QString Constant(const char* name) {
    return LabelText(GetLangConstant(name));
}

QString DecimalList(const std::uint16_t* words, int count) {
    QString text;
    for (int i = 0; i < count; ++i) {
        text += QString::number(words[i]);
    }
    return text;
}

// Caller-ID data are 8-bit character codes; control codes would garble the label.
QChar DisplayChar(std::uint16_t code) {
    if (code < 0x20 || code == 0x7F || (code >= 0xD800 && code <= 0xDFFF)) {
        return QChar('.');
    }
    return QChar(code);
}

QString RecordTimeText(const TSystemTime& time) {
    const QDate date(time.Year, time.Month, time.Day);
    const QTime clock(time.Hour, time.Minute, time.Second);
    if (!date.isValid() || !clock.isValid()) {
        return QString::asprintf("%04u-%02u-%02u %02u:%02u:%02u", time.Year, time.Month, time.Day,
                                 time.Hour, time.Minute, time.Second);
    }
    const QLocale locale;
    return locale.toString(date, QLocale::ShortFormat) + " " + clock.toString("hh:mm:ss");
}

QString AddInfoText(const TSoundFileScan& scan) {
    const TWaveAddInfo& info = scan.AddInfo;
    if (info.Version == 0) {
        return Constant("NoAddInfoStr");
    }
    const std::string model = QString::fromStdU16String(info.ModelName).toStdString();
    const std::string serial = QString::fromStdU16String(info.SerialNumber).toStdString();
    QString text = LabelText(FormatLangConstant("AddFileInfoStr", model, serial));
    if (scan.IntegrityChecked) {
        text += " " + Constant(scan.IntegrityPassed ? "IntCheckPassedStr" : "IntCheckFailedStr");
    }
    if (info.RecordTimeRead) {
        text += "\n    " + RecordTimeText(info.RecordTime);
    }
    text += "\n";
    if (info.SourceCompressionRead) {
        text += "    " + Constant("SrcCompressTypeStr") + " " +
                SourceCompressionName(info.SourceCompression) + "\n";
    }
    return text + "\n";
}

} // namespace

QString LabelText(const std::string& constantText) {
    return QString::fromStdString(constantText).replace("\r\n", "\n").remove('\r');
}

QString SoundFileInfoText(std::uint64_t dataSize, unsigned channels, std::uint32_t samplesPerSec,
                          unsigned blockAlign, unsigned bitsPerSample) {
    // A format field of 0 leaves the length undefined: it is shown as 0.
    const std::uint64_t seconds =
        SoundFileSeconds(dataSize, channels, samplesPerSec, bitsPerSample);
    return LabelText(FormatLangConstant("FileInfoStr", dataSize, channels, samplesPerSec,
                                        blockAlign, seconds / 3600, seconds % 3600 / 60,
                                        seconds % 60));
}

QString SourceCompressionName(std::uint16_t value) {
    struct TName {
        const char* Component;
        const char* Default;
    };
    static constexpr TName Names[] = {{"rbNoCompress", "No compress"},
                                      {"rbADPCM4", "ADPCM 4 bit"},
                                      {"rbuLaw", "uLaw"},
                                      {"rbADPCM2", "ADPCM 2 bit"}};
    if (value >= std::size(Names)) {
        return "Unknown";
    }
    // The settings dialog's button carries the current language when the dialog exists.
    const TName& name = Names[value];
    return SettingsControlText(name.Component, QString::fromLatin1(name.Default));
}

QString CallInfoText(const TCallerIdStatus& status) {
    const std::uint16_t* w = status.Words;
    constexpr int RecordWords = NORVEL_STATUS_WORDS;
    if (w[0] == 0) {
        return Constant("NoCallInfoStr");
    }
    QString text = Constant(w[0] == 2 ? "OutCallStr" : "InCallStr") + "\n";

    constexpr int Group1 = 3;
    const int length1 = std::min<int>(w[1], RecordWords - Group1);
    if (length1 > 0) {
        text += Constant(w[Group1] == 0 ? "PulseNumberStr" : "DTMFNumberStr") + ": " +
                DecimalList(w + Group1 + 1, length1 - 1) + "\n";
    }
    const int group2 = Group1 + length1;
    const int length2 = std::min<int>(w[2], RecordWords - group2);
    if (length2 <= 0) {
        return text;
    }
    const std::uint16_t* g = w + group2; // g[0] is the kind, g[1 .. length2 - 1] the values
    if (g[0] == 0) {
        return text + Constant("RusAONStr") + ": " + DecimalList(g + 1, length2 - 1) + "\n";
    }
    text += Constant("CallerIDStr") + "\n";
    for (int i = 0; i + 2 < length2;) {
        const std::uint16_t type = g[i + 1];
        const int count = std::min<int>(g[i + 2], length2 - (i + 3));
        text += Constant("NameParamsStr") + ": ";
        switch (type) {
        case 1:
            text += Constant("DateTimeStr") + ": " + QString::number(count);
            break;
        case 2:
            text += Constant("CallIdentStr") + ": " + QString::number(count);
            break;
        case 7:
            text += Constant("CallNameStr") + ": " + QString::number(count);
            break;
        default:
            text += QString::number(type) + " " + QString::number(count);
            break;
        }
        text += "\n";
        for (int k = 0; k < count; ++k) {
            text += DisplayChar(g[i + 3 + k]);
        }
        text += "\n";
        i += count + 2;
    }
    return text;
}

TSoundInfoTexts AnalyseSoundFile(TWaveFile& wave, TNorvelLibrary* library) {
    const bool haveLibrary = library != nullptr && library->IsLoaded();
    const TCallerIdDecoder decoder = haveLibrary ? library->Decoder() : TCallerIdDecoder{};
    const TSoundFileScan scan = ScanSoundFile(wave, haveLibrary ? &decoder : nullptr);

    TSoundInfoTexts texts;
    const TWaveFormat& format = scan.Format;
    texts.FileInfo = SoundFileInfoText(scan.DataSize, format.Channels, format.SamplesPerSec,
                                       format.BlockAlign, format.BitsPerSample);
    texts.AddInfoVersion = scan.AddInfo.Version;
    texts.IntegrityChecked = scan.IntegrityChecked;
    texts.IntegrityPassed = scan.IntegrityPassed;
    if (!haveLibrary) {
        texts.AnalysisNote = QString::fromStdString(GetLangConstant("CallerIdLibraryMissingStr"));
        if (library != nullptr && !library->GetLoadError().empty()) {
            texts.AnalysisNote += ":\n" + QString::fromStdString(library->GetLoadError());
        }
        texts.AnalysisNote += ".";
    } else if (!scan.Decoding) {
        texts.AnalysisNote = QString::fromStdString(GetLangConstant("AnalysePcmOnlyStr"));
    }

    texts.AddInfo = AddInfoText(scan);
    if (scan.AddInfoStated > scan.AddInfoHeld) {
        texts.AddInfo += LabelText(FormatLangConstant("AddInfoCutShortStr", scan.AddInfoHeld,
                                                      scan.AddInfoStated)) +
                         "\n";
    }
    if (scan.StatedDataSize > scan.DataSize) {
        texts.AddInfo +=
            LabelText(FormatLangConstant("WaveCutShortStr", scan.DataSize, scan.StatedDataSize)) +
            "\n";
    }
    texts.CallInfo = CallInfoText(scan.Status);
    return texts;
}
