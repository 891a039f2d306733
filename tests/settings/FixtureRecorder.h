#pragma once

#include <array>
#include <memory>
#include <optional>
#include <vector>

#include <QString>
#include <QTemporaryDir>

#include "engine/RecClasses.h"
#include "settings/RecSettings.h"

// A recorder behind a fake transport that keeps the profiles, the active profile and the
// password as a device would, with the settings dialog attached the way the main window
// does it.
struct TFakeSettingsDevice {
    std::array<TRecProfile, TRecSettings::ProfileCount> Profiles{}; // wire form (VAS negated)
    std::uint8_t ActiveProfile = 0;
    TPasswordField Password{};
    int StoreCount = 0;   // command-13 stores
    int FailCommand = -1; // this command fails with error code 6...
    int FailAfter = 0;    // ...once it has succeeded this many times...
    int FailTimes = -1;   // ...this many times (-1: always)
};
TFakeSettingsDevice& FakeDevice();

class TDialogRecorderUi : public TRecorderUi {
public:
    explicit TDialogRecorderUi(TfrmRecSettings& dialog) : Callbacks(RecSettingsCallbacks(dialog)) {}
    void AttachRecorder(TRecorder* recorder) override { Callbacks.AttachRecorder(recorder); }
    void DetachRecorder(TRecorder* recorder) override { Callbacks.DetachRecorder(recorder); }
    void RestoreSettings() override { Callbacks.RestoreSettings(); }
    void SetHiddenTabVisible(bool visible) override { Callbacks.SetHiddenTabVisible(visible); }
    std::vector<std::string> Messages;
    void ShowMessage(const std::string& text) override { Messages.push_back(text); }

private:
    TRecSettingsCallbacks Callbacks;
};

// The dialog, a recorder on the fake device (or on a fresh image file), and the prompts
// answered from scripts.
class TSettingsDialogFixture {
public:
    enum class TConnection { FakeAdapter, ImageFile };
    // On an image file: a copy of image, or a fresh image when it is empty.
    explicit TSettingsDialogFixture(TConnection connection = TConnection::FakeAdapter,
                                    const QString& image = QString());
    ~TSettingsDialogFixture();

    // The settings record in the image file's header, as the file holds it now.
    TRecSettings ImageSettings() const;
    // Shows the dialog, active, as the main window does before it runs it.
    void Show();
    // The demo image the build places beside the test.
    static QString DemoImage();

    // A plausible device record: every field in range, today's once-timer dates.
    static TRecSettings SampleSettings();
    // Puts settings into the recorder and shows them (what a Refresh ends with).
    void Load(const TRecSettings& settings);

    std::unique_ptr<TfrmRecSettings> Dialog;
    std::unique_ptr<TDialogRecorderUi> Ui;
    std::unique_ptr<TRecorder> Recorder;
    std::vector<QString> Messages;   // every message box text, in order
    std::vector<int> MessageAnswers; // answers to Yes/No boxes, in order (default No)
    std::vector<std::optional<QString>> PasswordAnswers; // answers to the password prompt
    int PasswordPrompts = 0;
    QString NextFileName;
    QTemporaryDir Folder;
    QString ImagePath; // ImageFile only
};
