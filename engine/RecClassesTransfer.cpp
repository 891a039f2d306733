#include "engine/RecClasses.h"
#include "link/DebugLog.h"
#include "link/ImageFile.h"

// The settings record travels through the image file's header for the image kinds and
// through commands 7 (active profile), 6 (profiles) and 13 (password) for every adapter.

void TRecorder::ReadSettings() {
    WriteDebugLog("Reading recorder settings");
    if (IsImageConnection(ConnectionKind))
        ReadSettingsFromImage();
    else
        ReadSettingsFromDevice();
    NormaliseRecSettings(SettingsRecord);
}

void TRecorder::ReadSettingsFromImage() {
    // A header that cannot be read leaves the bytes in memory as they are; they are taken.
    ReadImageHeader();
    const TImageHeader header = GetImageHeader();
    const TRecSettings image = TRecSettings::FromBytes(&header[ImgSettingsOfs]);
    // The password stays what the user last gave: it is checked, never read.
    const TPasswordField password = SettingsRecord.Password;
    SettingsRecord = image;
    SettingsRecord.Password = password;
}

void TRecorder::ReadSettingsFromDevice() {
    std::uint8_t active[TActiveProfRecord::Size] = {};
    Exchange(CmdActiveProf, TActiveProfRecord{RequestGet, 0}.ToBytes().data(),
             TActiveProfRecord::Size, active, TActiveProfRecord::Size);
    const std::uint8_t current = TActiveProfRecord::FromBytes(active).ProfileIndex;
    SettingsRecord.CurrentProfile = current < TRecSettings::ProfileCount ? current : 0;
    for (std::size_t i = 0; i < TRecSettings::ProfileCount; ++i) {
        TRecProfile request = SettingsRecord.Profiles[i];
        request.Request = RequestGet;
        request.Number = static_cast<std::uint8_t>(i + 1);
        std::array<std::uint8_t, TRecProfile::Size> answer{};
        Exchange(CmdProf, request.ToBytes().data(), TRecProfile::Size, answer.data(),
                 TRecProfile::Size);
        TRecProfile profile = TRecProfile::FromBytes(answer.data());
        profile.VasLevel = NegateVasLevel(profile.VasLevel);
        SettingsRecord.Profiles[i] = profile;
    }
}

void TRecorder::StoreSettings() {
    if (GetState() != StateIdle)
        throw ERecorderBusy();
    if (!PasswordFromField(SettingsRecord.Password))
        throw ERecPasswordError();
    WriteDebugLog("Store recorder settings");
    RefuseWritesToReadOnlyImage(CmdProf);
    if (IsImageConnection(ConnectionKind))
        StoreSettingsToImage();
    else
        StoreSettingsToDevice();
    ReadSettings();
}

void TRecorder::StoreSettingsToImage() {
    // The whole record goes into the header: what the read takes from it (profiles, device
    // values, line parameters) and the password, which the image checks as a recorder does.
    TRecSettings record = SettingsRecord;
    WriteDebugLog("Fill profiles");
    for (std::size_t i = 0; i < TRecSettings::ProfileCount; ++i)
        record.Profiles[i].Number = static_cast<std::uint8_t>(i + 1);
    WriteDebugLog("Fill VAS");
    WriteDebugLog("Fill BatLevels");
    WriteDebugLog("Fill line parameters and password");
    const TImageHeader old = GetImageHeader();
    SetImageHeaderSettings(record.ToBytes().data());
    if (!WriteImageHeader()) {
        // The header in memory stands for the file: it keeps what the file still holds.
        SetImageHeaderSettings(&old[ImgSettingsOfs]);
        throw TERecXchange(RecErrorMessage(RecErrIo), 0, RecErrIo);
    }
}

void TRecorder::StoreSettingsToDevice() {
    std::uint8_t reply[TCheckPwRecord::Size] = {};
    Exchange(CmdActiveProf,
             TActiveProfRecord{RequestSet, SettingsRecord.CurrentProfile}.ToBytes().data(),
             TActiveProfRecord::Size, reply, TActiveProfRecord::Size);
    for (std::size_t i = 0; i < TRecSettings::ProfileCount; ++i) {
        // The wire form is made on a copy, so a failure part-way leaves the record intact.
        TRecProfile wire = SettingsRecord.Profiles[i];
        wire.Request = RequestSet;
        wire.Number = static_cast<std::uint8_t>(i + 1);
        wire.VasLevel = NegateVasLevel(wire.VasLevel);
        std::array<std::uint8_t, TRecProfile::Size> answer{};
        Exchange(CmdProf, wire.ToBytes().data(), TRecProfile::Size, answer.data(),
                 TRecProfile::Size);
    }
    TCheckPwRecord password;
    password.Request = RequestSet;
    std::copy_n(SettingsRecord.Password.begin(), TCheckPwRecord::PasswordSize,
                password.Password.begin());
    Exchange(CmdCheckPw, password.ToBytes().data(), TCheckPwRecord::Size, reply,
             TCheckPwRecord::Size);
}
