#pragma once

#include <functional>
#include <optional>
#include <vector>

#include <QDate>
#include <QDialog>

#include "engine/RecClassesSettings.h"

class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPushButton;
class QRadioButton;
class QTabBar;
class QTabWidget;
class QTimeEdit;
class QTimer;
class QToolBar;
class QWidget;
class TCustomRecorder;
class TMySpinEdit;
class TPositionUpDown;
class TRecorder;
struct TProgramOptions;

// The settings dialog as the recorder object sees it: something it hands itself to.
class TCustomRecSettingsForm : public QDialog {
    Q_OBJECT

public:
    explicit TCustomRecSettingsForm(QWidget* parent = nullptr) : QDialog(parent) {}
    virtual void SetRecorder(TCustomRecorder* recorder) = 0;
};

// Where the dialog asks the user something. Tests replace these; the defaults show the
// program's message box, password dialog and file dialogs.
struct TRecSettingsPrompts {
    // A message box under the application title; returns IDOK, IDYES, IDNO...
    std::function<int(const QString& text, unsigned flags)> Message;
    // The password confirmation: the text entered, or nothing on Cancel.
    std::function<std::optional<QString>(const QString& prompt)> Password;
    // A file to save (or open) with the filter; empty when the user cancels.
    std::function<QString(bool save, const QString& filter, const QString& defaultSuffix,
                          const QString& folder)>
        FileName;
    // A folder chosen from start; empty when the user cancels.
    std::function<QString(const QString& title, const QString& start)> Folder;
};

// The recorder settings dialog: edits a working copy of the recorder's settings record and
// the program's options. The record keeps the device's raw bytes; values are converted only
// between the record and the controls.
class TfrmRecSettings : public TCustomRecSettingsForm {
    Q_OBJECT

public:
    explicit TfrmRecSettings(QWidget* parent = nullptr);
    ~TfrmRecSettings() override;

    // Keeps the recorder (null unless it is a TRecorder); the recorder calls it when it is
    // created and, with null, when it goes away.
    void SetRecorder(TCustomRecorder* recorder) override;
    TRecorder* Recorder() const { return FRecorder; }

    void RecSettingsToControls(const TRecSettings& settings);
    void ControlsToRecSettings(TRecSettings& settings);
    void LoadProgramOptions(const TProgramOptions& options);
    // True when the show-voice-parts option changed.
    bool SaveProgramOptions(TProgramOptions& options);

    // Actions.
    void actStoreExecute();
    void actRestoreExecute();
    void actLoadFromFileExecute();
    void actSaveToFileExecute();
    void actDefSettingsExecute();
    void SetHiddenTabVisible(bool visible);
    // Whether the page is one of the tab widget's: a page out of view is out of it.
    bool IsPageShown(const QWidget* page) const;

    // The profile tab last shown, -1 before the first restore (the tab bar itself always
    // marks one).
    int SelectedProfileTab() const { return FShownTab; }
    TRecSettings& WorkingCopy() { return FSettings; }
    bool IsModified() const { return FModified; }
    bool IsPasswordChanged() const { return FPasswordChanged; }
    TRecSettingsPrompts& Prompts() { return FPrompts; }
    // The mask example line: the file name a mask gives for the sample record. Until one is
    // set the example shows the mask itself.
    void SetMaskExpander(std::function<QString(const QString& mask)> expander);
    // After a language switch: the texts the dialog builds from constants are built again.
    void VexaLanguageController1LanguageChanged();

    // Components, named as the form's.
    QAction* actStore = nullptr;
    QAction* actRestore = nullptr;
    QAction* actLoadFromFile = nullptr;
    QAction* actSaveToFile = nullptr;
    QAction* actDefSettings = nullptr;
    QMenuBar* MainMenu1 = nullptr;
    QMenu* mmSettings = nullptr;
    QToolBar* ToolBar1 = nullptr;
    QTabWidget* pcSettings = nullptr;
    QWidget* tsGeneral = nullptr;
    QWidget* tsFiles = nullptr;
    QWidget* tsAdvanced = nullptr;
    QWidget* tsExpert = nullptr;
    QWidget* tsHidden = nullptr;
    QTabBar* tcRecSet = nullptr;
    QPushButton* btnClose = nullptr;
    QTimer* Timer1 = nullptr;

    // General page.
    QLabel* lbProfileName = nullptr;
    QLineEdit* edProfileName = nullptr;
    QGroupBox* gbCompression = nullptr;
    QRadioButton* rbNoCompress = nullptr;
    QRadioButton* rbADPCM4 = nullptr;
    QRadioButton* rbADPCM2 = nullptr;
    QRadioButton* rbuLaw = nullptr;
    QLabel* lbScale = nullptr;
    QComboBox* cbScale = nullptr;
    QGroupBox* gbBitRate = nullptr;
    QRadioButton* rbSR40000 = nullptr;
    QRadioButton* rbSR20000 = nullptr;
    QRadioButton* rbSR13333 = nullptr;
    QRadioButton* rbSR08000 = nullptr;
    QRadioButton* rbSR04000 = nullptr;
    QGroupBox* gbQuality = nullptr;
    QComboBox* cbQuality = nullptr;
    QLabel* lbMinRecTime = nullptr;
    QCheckBox* cbCyclicRec = nullptr;
    QLabel* lbCycleLen = nullptr;
    TMySpinEdit* rxseCycleLen = nullptr;
    QGroupBox* gbVas = nullptr;
    QCheckBox* cbVAS = nullptr;
    QLabel* lbSensibility = nullptr;
    QComboBox* cbVasPreset = nullptr;
    QLabel* lbVasLevel = nullptr;
    QLineEdit* edOffVol = nullptr;
    TPositionUpDown* updnOffVol = nullptr;
    QLabel* lbVasDb = nullptr;
    QLabel* lbVasTime = nullptr;
    QLineEdit* edOffTime = nullptr;
    TPositionUpDown* updnOffTime = nullptr;
    QLabel* lbVasSec = nullptr;
    QGroupBox* gbTimer = nullptr;
    QComboBox* cbTimerType = nullptr;
    QLabel* lbOnceTimerStart = nullptr;
    QDateEdit* dtpOnceTmrDateOn = nullptr;
    QTimeEdit* dtpOnceTmrTimeOn = nullptr;
    QLabel* lbOnceTimerStop = nullptr;
    QDateEdit* dtpOnceTmrDateOff = nullptr;
    QTimeEdit* dtpOnceTmrTimeOff = nullptr;
    QCheckBox* cbDailyTmr = nullptr;
    QTimeEdit* dtpDailyTmrTimeOn = nullptr;
    QTimeEdit* dtpDailyTmrTimeOff = nullptr;
    QGroupBox* gbCodec = nullptr;
    QLabel* lbGain = nullptr;
    QLineEdit* edGain = nullptr;
    TPositionUpDown* updnGain = nullptr;
    QCheckBox* cbAGC = nullptr;
    QPushButton* btnAGCSet = nullptr;
    QWidget* pnlRates = nullptr; // the twelve rate controls, moved as one
    QLabel* lbFAR = nullptr;
    QLabel* lbFRR = nullptr;
    QLabel* lbSAR = nullptr;
    QLabel* lbSRR = nullptr;
    QLineEdit* edFAR = nullptr;
    QLineEdit* edFRR = nullptr;
    QLineEdit* edSAR = nullptr;
    QLineEdit* edSRR = nullptr;
    TPositionUpDown* updnFAR = nullptr;
    TPositionUpDown* updnFRR = nullptr;
    TPositionUpDown* updnSAR = nullptr;
    TPositionUpDown* updnSRR = nullptr;
    QLabel* lbAmpPreset = nullptr;
    QComboBox* cbAmpPreset = nullptr;

    // Files page.
    QGroupBox* gbFileMask = nullptr;
    QComboBox* cbFNMask = nullptr;
    QLabel* lbExRes = nullptr;
    QGroupBox* gbSplitting = nullptr;
    QLabel* lbPartSize = nullptr;
    TMySpinEdit* rxsePartSize = nullptr;
    QLabel* lbDefFolder = nullptr;
    QLineEdit* edDefFolder = nullptr;
    QPushButton* btnBrowse = nullptr;
    QCheckBox* cbSkipSilence = nullptr;
    QCheckBox* cbShowParts = nullptr;
    QCheckBox* cbSorvane = nullptr;
    QCheckBox* cbAutoDownload = nullptr;
    QCheckBox* cbAutoDel = nullptr;
    QCheckBox* cbNonDownOnly = nullptr;
    QCheckBox* cbSync = nullptr;
    QCheckBox* cbDisErase = nullptr;

    // Advanced page.
    QRadioButton* rbSingle = nullptr;
    QRadioButton* rbDouble = nullptr;
    QCheckBox* cbAntialias = nullptr;
    QLabel* lbAccessLevel = nullptr;
    QComboBox* cbAccessLevel = nullptr;
    QLabel* lbPassword = nullptr;
    QLineEdit* edPassword = nullptr;
    QCheckBox* cbSimpleQuality = nullptr;
    QCheckBox* cbSimpleVas = nullptr;
    QCheckBox* cbSimpleAmp = nullptr;
    QLabel* lbSearchStep = nullptr;
    TMySpinEdit* rxseSearchStep = nullptr;

    // Expert page.
    QCheckBox* cbAutoAnswer = nullptr;
    QComboBox* cbDetectType = nullptr;
    TMySpinEdit* seRingVoltage = nullptr;
    TMySpinEdit* seBusyVoltage = nullptr;
    TMySpinEdit* seSkipRings = nullptr;
    TMySpinEdit* seDialDelay = nullptr;
    QLabel* lbNumLen = nullptr;
    TMySpinEdit* seNumLen = nullptr;
    QLabel* lbMinDigCount = nullptr;
    TMySpinEdit* seMinDigCount = nullptr;
    QWidget* pnlAdvAON = nullptr;
    QGroupBox* gbAdvancedAON = nullptr;
    TMySpinEdit* seFirstReqDelay = nullptr;
    TMySpinEdit* seReqDur = nullptr;
    QComboBox* cbReqForms = nullptr;
    TMySpinEdit* seReqCount = nullptr;
    TMySpinEdit* seReqAmp = nullptr;
    TMySpinEdit* seNextReqDelay = nullptr;
    QWidget* pnlAdvDTMF = nullptr;
    TMySpinEdit* seDTMFVoltage = nullptr;

    // Hidden page: the dealer switches.
    QCheckBox* cbHideEditor = nullptr;
    QCheckBox* cbDisableEditor = nullptr;
    QCheckBox* cbDisableFlash = nullptr;
    QCheckBox* cbHideFlash = nullptr;
    QCheckBox* cbHideMaskEdit = nullptr;
    QCheckBox* cbHideSplitting = nullptr;
    QCheckBox* cbHideExpert = nullptr;
    QCheckBox* cbHideAdvExpert = nullptr;
    QCheckBox* cbAonOnly = nullptr;
    QCheckBox* cbHideSorvane = nullptr;
    QCheckBox* cbHideAmpSettings = nullptr;

    // Change handlers (public so that the behaviour can be driven as a user would).
    void rbCompressClick();
    void cbCyclicRecClick();
    void cbTimerTypeChange();
    void cbDailyTmrClick();
    void cbVASClick();
    void cbAGCClick();
    void cbAutoDownloadClick();
    void cbDetectTypeChange();
    void cbDisEraseClick();
    void cbSimpleQualityClick();
    void cbSimpleVasClick();
    void cbSimpleAmpClick();
    void cbQualityChange();
    void cbVasPresetChange();
    void cbAmpPresetChange();
    void cbFNMaskChange();
    void edPasswordEnter();
    void edPasswordExit();
    void dtpOnceTmrDateOnEnter();
    void btnAGCSetClick();
    void btnBrowseClick();
    void DealerSwitchClick();
    // Shows the profile-name balloon unless one is showing; true when it was shown.
    bool ShowLatinOnlyBalloon();
    void HideLatinOnlyBalloon();
    bool IsBalloonShowing() const;
    // The question on closing with unsaved changes.
    void FormClose();

    static constexpr int PasswordEditLength = 7;
    static const QString PasswordMask; // seven blanks
    // The largest part size the edit offers, in MB; 0 is "no limit".
    static constexpr int MaxPartSizeMb = 2048;
    static constexpr int SpinEditWidth = 90; // the spin edits' widest
    // The dates the once-timer pickers offer: those the recorder's clock can reach.
    static QDate EarliestTimerDate();
    static QDate LatestTimerDate();

signals:
    // The dealer switches that the main window applies to its own actions.
    void MainWindowSwitchesChanged(bool hideEditor, bool disableEditor, bool disableFlash,
                                   bool hideFlash);

protected:
    void done(int result) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void CreateGeneralPage();
    void CreateFilesPage();
    void CreateAdvancedPage();
    void CreateExpertPage();
    void CreateHiddenPage();
    void SetPageShown(QWidget* page, bool shown);
    void CreateActions();
    void ConnectHandlers();
    void tcRecSetChange(int index);
    void SelectProfileTab(int index);
    void RefreshMinRecTime(const TRecProfile& profile, unsigned divisor);
    void FillPresetCombos(const TRecProfile& profile);
    void ApplyPresetToScratch(const std::function<void(TRecProfile&)>& apply);
    void UpdateAmpTexts();
    void ReadLineParams(const TRecSettings& settings);
    void WriteLineParams(TRecSettings& settings);
    void SetDetectItems(bool aonOnly);
    int Message(const QString& text, unsigned flags);
    // True with a recorder; without one, the user is told and false comes back.
    bool RecorderAvailable();
    void ShowNoLimitText();
    // Puts record into the recorder object and stores it to the device; false, with the
    // error shown and the object holding what the recorder holds, when that fails.
    bool StoreToRecorder(const TRecSettings& record);
    void ReadBackAfterFailedStore(const TRecSettings& before);

    bool FPasswordChanged = false;
    bool FModified = false;
    QString FPendingPassword;
    TRecorder* FRecorder = nullptr;
    TRecSettings FSettings;
    bool FFilling = false;

    int FShownTab = -1;
    // The pages in the order the tab widget shows them when all are shown.
    std::vector<QWidget*> FPages;
    QButtonGroup* FCompressGroup = nullptr;
    QButtonGroup* FRateGroup = nullptr;
    QWidget* FBalloon = nullptr;
    double FLoadedPartSize = 0;
    std::int64_t FLoadedMaxOutputSize = 0;
    TRecSettingsPrompts FPrompts;
    std::function<QString(const QString&)> FMaskExpander;
    QString FProgramFolder;
};

// What the main window's recorder callbacks hand to the settings dialog: its implementation
// of TRecorderUi calls these from AttachRecorder, DetachRecorder, RestoreSettings and
// SetHiddenTabVisible.
struct TRecSettingsCallbacks {
    std::function<void(TRecorder*)> AttachRecorder;
    std::function<void(TRecorder*)> DetachRecorder;
    std::function<void()> RestoreSettings;
    std::function<void(bool)> SetHiddenTabVisible;
};
TRecSettingsCallbacks RecSettingsCallbacks(TfrmRecSettings& dialog);
