#include "tests/settings/FixtureRecorder.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>

#include <QApplication>
#include <QDate>
#include <QFile>
#include <QTest>

#include "link/ImageFile.h"
#include "widgets/MsgBox.h"

TFakeSettingsDevice& FakeDevice() {
    static TFakeSettingsDevice device;
    return device;
}

namespace {

void FakeExchange(std::uint8_t command, const void* out, std::uint32_t outSize, void* in,
                  std::uint32_t inSize, std::uint32_t) {
    TFakeSettingsDevice& device = FakeDevice();
    if (device.FailCommand == command) {
        if (device.FailAfter > 0) {
            --device.FailAfter;
        } else if (device.FailTimes != 0) {
            if (device.FailTimes > 0)
                --device.FailTimes;
            throw TERecXchange("Time-out", command, 6);
        }
    }
    const auto* request = static_cast<const std::uint8_t*>(out);
    auto* reply = static_cast<std::uint8_t*>(in);
    std::memset(reply, 0, inSize);
    switch (command) {
    case CmdActiveProf:
        if (request[0] == RequestSet)
            device.ActiveProfile = request[1];
        reply[1] = device.ActiveProfile;
        break;
    case CmdProf: {
        const std::size_t index = static_cast<std::size_t>(request[1] - 1) % 8;
        if (request[0] == RequestSet)
            device.Profiles[index] = TRecProfile::FromBytes(request);
        device.Profiles[index].WriteTo(reply);
        break;
    }
    case CmdCheckPw:
        if (request[0] == RequestSet) {
            std::copy_n(request + 1, 20, device.Password.begin());
            device.Password[20] = 0;
            ++device.StoreCount;
        }
        std::memcpy(reply, request, std::min(outSize, inSize));
        break;
    default:
        throw TERecXchange("Not supported", command, 1);
    }
}

bool FakeProbe() {
    return true;
}

} // namespace

TSettingsDialogFixture::TSettingsDialogFixture(TConnection connection, const QString& image) {
    FakeDevice() = TFakeSettingsDevice{};
    FakeDevice().Password = NoPasswordBlock;
    Dialog = std::make_unique<TfrmRecSettings>();
    Dialog->Prompts().Message = [this](const QString& text, unsigned flags) {
        Messages.push_back(text);
        if ((flags & 0x0F) != MB_YESNO)
            return IDOK;
        if (MessageAnswers.empty())
            return IDNO;
        const int answer = MessageAnswers.front();
        MessageAnswers.erase(MessageAnswers.begin());
        return answer;
    };
    Dialog->Prompts().Password = [this](const QString&) -> std::optional<QString> {
        ++PasswordPrompts;
        if (PasswordAnswers.empty())
            return std::nullopt;
        const std::optional<QString> answer = PasswordAnswers.front();
        PasswordAnswers.erase(PasswordAnswers.begin());
        return answer;
    };
    Dialog->Prompts().FileName = [this](bool, const QString&, const QString&, const QString&) {
        return NextFileName;
    };
    Dialog->Prompts().Folder = [](const QString&, const QString&) { return QString(); };
    Ui = std::make_unique<TDialogRecorderUi>(*Dialog);
    if (connection == TConnection::FakeAdapter) {
        Recorder = std::make_unique<TRecorder>(ConnUsb20SpiAdapter, *Ui,
                                               TTransport{FakeExchange, FakeProbe});
        return;
    }
    ImagePath = Folder.filePath("memory.ovk");
    if (image.isEmpty())
        SetImageFile(ImagePath.toStdString(), true);
    else
        EXPECT_TRUE(QFile::copy(image, ImagePath)) << image.toStdString();
    Recorder = std::make_unique<TRecorder>(ConnImageFile, *Ui);
    Recorder->SetImageFileName(ImagePath.toStdString());
    // Connected and scanned, as the main window's first refresh leaves it.
    EXPECT_TRUE(Recorder->IsConnected());
    Recorder->Refresh();
    Recorder->WaitForOperation();
    Dialog->actRestoreExecute();
}

QString TSettingsDialogFixture::DemoImage() {
    return QCoreApplication::applicationDirPath() + "/OM_Q70_DEMO.OVK";
}

TRecSettings TSettingsDialogFixture::ImageSettings() const {
    std::ifstream file(ImagePath.toStdString(), std::ios::binary);
    std::array<char, TRecSettings::Size> bytes{};
    file.seekg(ImgSettingsOfs);
    file.read(bytes.data(), bytes.size());
    return TRecSettings::FromBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()));
}

void TSettingsDialogFixture::Show() {
    Dialog->show();
    Dialog->activateWindow();
    QApplication::setActiveWindow(Dialog.get());
    EXPECT_TRUE(QTest::qWaitForWindowActive(Dialog.get()));
}

TSettingsDialogFixture::~TSettingsDialogFixture() {
    Recorder.reset();
    Ui.reset();
    Dialog.reset();
}

TRecSettings TSettingsDialogFixture::SampleSettings() {
    TRecSettings s;
    const QDate today = QDate::currentDate();
    for (std::size_t i = 0; i < TRecSettings::ProfileCount; ++i) {
        TRecProfile& p = s.Profiles[i];
        p.Number = static_cast<std::uint8_t>(i + 1);
        const char name[] = "Prof";
        std::copy_n(name, 4, p.Name.begin());
        p.Name[4] = static_cast<std::uint8_t>('1' + i);
        p.SampleRate = 3;
        p.Compress = 2;
        p.CompressParam = 2;
        p.CyclicRecord = 0;
        p.CycleBufSize = 50;
        p.TimerType = 0xFF;
        p.TimerStartHour = 8;
        p.TimerStartMin = 30;
        p.TimerStartDay = static_cast<std::uint8_t>(today.day());
        p.TimerStartMonth = static_cast<std::uint8_t>(today.month());
        p.TimerStartYear = static_cast<std::uint16_t>(today.year());
        p.TimerStopHour = 17;
        p.TimerStopMin = 45;
        p.TimerStopDay = static_cast<std::uint8_t>(today.day());
        p.TimerStopMonth = static_cast<std::uint8_t>(today.month());
        p.TimerStopYear = static_cast<std::uint16_t>(today.year());
        p.Vas = 1;
        p.VasLevel = -30;
        p.VasTime = 10;
        p.PgacGain = 42;
        p.PgacMode = 0xFF;
        p.PgacFastAttack = 3;
        p.PgacFastRelease = 4;
        p.PgacSlowAttack = 5;
        p.PgacSlowRelease = 6;
    }
    s.SearchStep = 16;
    s.KeyPressType = 1;
    s.AccessLevel = 2;
    s.BatteryThresholds = {100, 200, 300, 400};
    s.AntialiasFilter = 1;
    s.CurrentProfile = 0;
    s.Password = NoPasswordBlock;
    s.LineParams = {{{0x7C, 0x0C},
                     {0x7E, 40},
                     {0x7F, 20},
                     {0xA1, 7},
                     {0xA2, 2},
                     {0xA3, 70},
                     {0xA4, 50},
                     {0xA5, 0x1D},
                     {0xA6, 2},
                     {0xA7, 5},
                     {0xA8, 80},
                     {0xA9, 100},
                     {0xAA, 5}}};
    return s;
}

void TSettingsDialogFixture::Load(const TRecSettings& settings) {
    Recorder->Settings() = settings;
    Dialog->actRestoreExecute();
}
