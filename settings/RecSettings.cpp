#include "settings/RecSettings.h"

#include <algorithm>
#include <utility>

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>
#include <QTimeEdit>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include "controls/MySpin.h"
#include "engine/RecClasses.h"
#include "engine/RecClassesProfiles.h"
#include "i18n/VexaLang.h"
#include "i18n/VexaLangFormLists.h"
#include "i18n/VexaLangForms.h"
#include "i18n/VexaLangText.h"
#include "settings/PositionUpDown.h"
#include "widgets/Mainutils.h"
#include "widgets/MsgBox.h"
#include "widgets/PassDlg.h"

const QString TfrmRecSettings::PasswordMask = QString(PasswordEditLength, QChar(' '));

namespace {

// The password edit shows every character as '#', at once.
class THashPasswordStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '#';
        if (hint == SH_LineEdit_PasswordMaskDelay)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

template <typename T> T* Named(T* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

TMySpinEdit* MakeSpin(QWidget* parent, const char* name, double min, double max, double increment,
                      double value) {
    auto* spin = Named(new TMySpinEdit(parent), name);
    spin->SetButtonKind(TMySpinEdit::bkStandard);
    spin->SetValueType(TMySpinEdit::vtInteger);
    spin->SetMinValue(min);
    spin->SetMaxValue(max);
    spin->SetIncrement(increment);
    spin->SetValue(value);
    spin->setMaximumWidth(TfrmRecSettings::SpinEditWidth);
    return spin;
}

TPositionUpDown* MakeUpDown(QWidget* parent, const char* name, int min, int max, int step,
                            int position) {
    return Named(new TPositionUpDown(min, max, step, position, parent), name);
}

QLineEdit* MakeReadOnlyEdit(QWidget* parent, const char* name, int width) {
    auto* edit = Named(new QLineEdit(parent), name);
    edit->setReadOnly(true);
    edit->setFixedWidth(width);
    return edit;
}

QCheckBox* MakeCheck(QWidget* parent, const char* name, const char* caption) {
    return Named(new QCheckBox(QString::fromUtf8(caption), parent), name);
}

QLabel* MakeLabel(QWidget* parent, const char* name, const char* caption) {
    return Named(new QLabel(QString::fromUtf8(caption), parent), name);
}

QHBoxLayout* Row(std::initializer_list<QWidget*> widgets, bool stretch = true) {
    auto* row = new QHBoxLayout;
    for (QWidget* widget : widgets)
        row->addWidget(widget);
    if (stretch)
        row->addStretch();
    return row;
}

} // namespace

TfrmRecSettings::TfrmRecSettings(QWidget* parent) : TCustomRecSettingsForm(parent) {
    setObjectName("frmRecSettings");
    setWindowTitle("Recorder settings");
    FPrompts.Message = [](const QString& text, unsigned flags) {
        return ShowMessageBox(text, ApplicationTitle(), flags);
    };
    FPrompts.Password = [this](const QString& prompt) -> std::optional<QString> {
        TPasswordDlg dialog(this);
        dialog.Label1->setText(prompt);
        dialog.Password->clear();
        if (dialog.exec() != mrOk)
            return std::nullopt;
        return dialog.Password->text();
    };
    FPrompts.FileName = [this](bool save, const QString& filter, const QString& suffix,
                               const QString& folder) {
        QFileDialog dialog(this, QString(), folder, filter);
        dialog.setObjectName(save ? "sd1" : "od1");
        dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        dialog.setDefaultSuffix(suffix);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().first();
    };
    FPrompts.Folder = [this](const QString& title, const QString& start) {
        return QFileDialog::getExistingDirectory(this, title, start);
    };
    FormCreate();
    // Last, so that the texts above are the ones a switch back to the default restores.
    TVexaLanguageController* controller =
        CreateFormLanguageController(this, TTranslatedForm::SettingsDialog);
    controller->OnLanguageChanged = [this](TVexaLanguageController&) {
        VexaLanguageController1LanguageChanged();
    };
}

TfrmRecSettings::~TfrmRecSettings() = default;

void TfrmRecSettings::FormCreate() {
    FProgramFolder = QString::fromStdString(ProgramFolder());
    auto* outer = new QVBoxLayout(this);

    CreateActions();
    outer->setMenuBar(MainMenu1);
    outer->addWidget(ToolBar1);

    pcSettings = Named(new QTabWidget(this), "pcSettings");
    tsGeneral = Named(new QWidget, "tsGeneral");
    tsFiles = Named(new QWidget, "tsFiles");
    tsAdvanced = Named(new QWidget, "tsAdvanced");
    tsExpert = Named(new QWidget, "tsExpert");
    tsHidden = Named(new QWidget, "tsHidden");
    pcSettings->addTab(tsGeneral, "General");
    pcSettings->addTab(tsFiles, "Files");
    pcSettings->addTab(tsAdvanced, "Advanced");
    pcSettings->addTab(tsExpert, "Ovik-Expert");
    pcSettings->addTab(tsHidden, "Hidden");
    FPages = {tsGeneral, tsFiles, tsAdvanced, tsExpert, tsHidden};
    outer->addWidget(pcSettings);
    // Ctrl+PgDown and Ctrl+PgUp walk the pages as Ctrl+Tab and Ctrl+Shift+Tab do.
    for (const auto& [key, step] : {std::pair{QKeyCombination(Qt::CTRL, Qt::Key_PageDown), 1},
                                    std::pair{QKeyCombination(Qt::CTRL, Qt::Key_PageUp), -1}}) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        connect(shortcut, &QShortcut::activated, this, [this, step = step] {
            const int count = pcSettings->count();
            if (count > 0)
                pcSettings->setCurrentIndex((pcSettings->currentIndex() + step + count) % count);
        });
    }

    CreateGeneralPage();
    CreateFilesPage();
    CreateAdvancedPage();
    CreateExpertPage();
    CreateHiddenPage();

    btnClose = Named(new QPushButton("Close", this), "btnClose");
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
    outer->addLayout(Row({btnClose}, false));
    outer->itemAt(outer->count() - 1)->layout()->setAlignment(Qt::AlignRight);

    Timer1 = Named(new QTimer(this), "Timer1");
    Timer1->setInterval(3000);
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, &TfrmRecSettings::HideLatinOnlyBalloon);

    // No button is the default: Enter in an edit closes nothing and opens no window.
    for (QPushButton* button : findChildren<QPushButton*>())
        button->setAutoDefault(false);

    pcSettings->setCurrentWidget(tsGeneral);
    cbScale->setCurrentIndex(0);
    FShownTab = -1;
    FFilling = false;
    SetHiddenTabVisible(false);

    // The request-signal forms: five characters, A for a 1-bit and D for a 0-bit.
    for (int i = 0; i < 32; ++i)
        cbReqForms->addItem(IntToBinStr(5, 'D', 'A', static_cast<std::uint64_t>(i)));
    cbFNMask->addItem("file_[rn] [ei] ([yyyy]_[mm]_[dd]-[hh_nn_ss])_[sn].wav");
    cbFNMask->addItem("file_[rn]_([yymmdd]-[hhnnss])_[sn].wav");
    cbFNMask->addItem("recorded [dd mmmm yyyy] at [hh.nn.ss].wav");

    // A language switch gives the lists new texts: each box keeps the width of its longest
    // item, not the width it had at its first showing.
    for (QComboBox* box : findChildren<QComboBox*>())
        if (!box->isEditable())
            box->setSizeAdjustPolicy(QComboBox::AdjustToContents);

    ConnectHandlers();
    cbFNMaskChange();
    cbCyclicRecClick();
    cbTimerTypeChange();
    cbDailyTmrClick();
    cbVASClick();
    cbAGCClick();
    cbAutoDownloadClick();
    cbDetectTypeChange();
    cbSimpleQualityClick();
    cbSimpleVasClick();
    cbSimpleAmpClick();
    UpdateAmpTexts();
}

void TfrmRecSettings::CreateActions() {
    auto makeAction = [this](const char* name, const char* caption, const char* hint) {
        auto* action = Named(new QAction(QString::fromUtf8(caption), this), name);
        action->setToolTip(QString::fromUtf8(hint));
        action->setStatusTip(QString::fromUtf8(hint));
        return action;
    };
    actStore = makeAction("actStore", "Store settings", "Store settings to recorder");
    actRestore = makeAction("actRestore", "Restore settings", "Restore settings from recorder");
    actLoadFromFile = makeAction("actLoadFromFile", "Load from file...", "Load settings from file");
    actSaveToFile = makeAction("actSaveToFile", "Save to file...", "Save settings to file");
    actDefSettings = makeAction("actDefSettings", "Factory settings", "Restore factory settings");

    MainMenu1 = Named(new QMenuBar(this), "MainMenu1");
    mmSettings = Named(MainMenu1->addMenu("Settings"), "mmSettings");
    ToolBar1 = Named(new QToolBar(this), "ToolBar1");
    ToolBar1->setToolButtonStyle(Qt::ToolButtonTextOnly);
    for (QAction* action : {actStore, actRestore, actLoadFromFile, actSaveToFile, actDefSettings}) {
        mmSettings->addAction(action);
        ToolBar1->addAction(action);
    }
    mmSettings->insertSeparator(actLoadFromFile);
    mmSettings->insertSeparator(actDefSettings);
}

void TfrmRecSettings::CreateGeneralPage() {
    auto* page = new QVBoxLayout(tsGeneral);
    tcRecSet = Named(new QTabBar(tsGeneral), "tcRecSet");
    for (int i = 1; i <= static_cast<int>(TRecSettings::ProfileCount); ++i)
        tcRecSet->addTab(QString("Profile %1").arg(i));
    tcRecSet->setExpanding(false);
    {
        // No tab is selected until the first restore.
        const QSignalBlocker blocker(tcRecSet);
        tcRecSet->setCurrentIndex(-1);
    }
    page->addWidget(tcRecSet);

    auto* body = new QGridLayout;
    page->addLayout(body);

    lbProfileName = MakeLabel(tsGeneral, "lbProfileName", "Profile name:");
    edProfileName = Named(new QLineEdit(tsGeneral), "edProfileName");
    edProfileName->setMaxLength(TRecProfile::NameSize);
    edProfileName->setFixedWidth(120);
    edProfileName->installEventFilter(this);
    body->addLayout(Row({lbProfileName, edProfileName}), 0, 0, 1, 2);

    // Quality: compression and rate, or the quality presets.
    gbCompression = Named(new QGroupBox("Compression", tsGeneral), "gbCompression");
    rbNoCompress = Named(new QRadioButton("No compress", gbCompression), "rbNoCompress");
    rbADPCM4 = Named(new QRadioButton("ADPCM 4 bit", gbCompression), "rbADPCM4");
    rbADPCM2 = Named(new QRadioButton("ADPCM 2 bit", gbCompression), "rbADPCM2");
    rbuLaw = Named(new QRadioButton("uLaw", gbCompression), "rbuLaw");
    lbScale = MakeLabel(gbCompression, "lbScale", "Scale:");
    cbScale = Named(new QComboBox(gbCompression), "cbScale");
    cbScale->addItems({"1", "2", "4", "8", "16"});
    FCompressGroup = new QButtonGroup(this);
    for (QRadioButton* rb : {rbNoCompress, rbADPCM4, rbADPCM2, rbuLaw})
        FCompressGroup->addButton(rb);
    auto* compression = new QVBoxLayout(gbCompression);
    compression->addWidget(rbNoCompress);
    compression->addWidget(rbADPCM4);
    compression->addWidget(rbADPCM2);
    compression->addLayout(Row({rbuLaw, lbScale, cbScale}));

    gbBitRate = Named(new QGroupBox("Sample rate", tsGeneral), "gbBitRate");
    rbSR40000 = Named(new QRadioButton("40000 Hz", gbBitRate), "rbSR40000");
    rbSR20000 = Named(new QRadioButton("20000 Hz", gbBitRate), "rbSR20000");
    rbSR13333 = Named(new QRadioButton("13300 Hz", gbBitRate), "rbSR13333");
    rbSR08000 = Named(new QRadioButton("8000 Hz", gbBitRate), "rbSR08000");
    rbSR04000 = Named(new QRadioButton("4000 Hz", gbBitRate), "rbSR04000");
    FRateGroup = new QButtonGroup(this);
    auto* rates = new QVBoxLayout(gbBitRate);
    for (QRadioButton* rb : {rbSR40000, rbSR20000, rbSR13333, rbSR08000, rbSR04000}) {
        FRateGroup->addButton(rb);
        rates->addWidget(rb);
    }

    gbQuality = Named(new QGroupBox("Quality", tsGeneral), "gbQuality");
    cbQuality = Named(new QComboBox(gbQuality), "cbQuality");
    cbQuality->setMinimumWidth(160);
    (new QVBoxLayout(gbQuality))->addWidget(cbQuality);

    auto* quality = new QHBoxLayout;
    quality->addWidget(gbCompression);
    quality->addWidget(gbBitRate);
    quality->addWidget(gbQuality);
    body->addLayout(quality, 1, 0, 1, 2);

    lbMinRecTime = MakeLabel(tsGeneral, "lbMinRecTime", "");
    body->addWidget(lbMinRecTime, 2, 0, 1, 2);

    cbCyclicRec = MakeCheck(tsGeneral, "cbCyclicRec", "Cyclic recording");
    lbCycleLen = MakeLabel(tsGeneral, "lbCycleLen", "Cycle buffer size, %:");
    rxseCycleLen = MakeSpin(tsGeneral, "rxseCycleLen", 1, 100, 1, 100);
    body->addLayout(Row({cbCyclicRec, lbCycleLen, rxseCycleLen}), 3, 0, 1, 2);

    // Voice-activated start.
    gbVas = Named(new QGroupBox("Voice activation", tsGeneral), "gbVas");
    cbVAS = MakeCheck(gbVas, "cbVAS", "Voice activated start");
    lbSensibility = MakeLabel(gbVas, "lbSensibility", "Sensibility:");
    cbVasPreset = Named(new QComboBox(gbVas), "cbVasPreset");
    cbVasPreset->setMinimumWidth(140);
    lbVasLevel = MakeLabel(gbVas, "lbVasLevel", "Level:");
    edOffVol = MakeReadOnlyEdit(gbVas, "edOffVol", 40);
    updnOffVol = MakeUpDown(gbVas, "updnOffVol", -55, 0, 1, -30);
    lbVasDb = MakeLabel(gbVas, "lbVasDb", "dB");
    lbVasTime = MakeLabel(gbVas, "lbVasTime", "Time:");
    edOffTime = MakeReadOnlyEdit(gbVas, "edOffTime", 40);
    updnOffTime = MakeUpDown(gbVas, "updnOffTime", 1, 15, 1, 10);
    lbVasSec = MakeLabel(gbVas, "lbVasSec", "s");
    auto* vas = new QVBoxLayout(gbVas);
    vas->addWidget(cbVAS);
    vas->addLayout(Row({lbSensibility, cbVasPreset}));
    vas->addLayout(Row({lbVasLevel, edOffVol, updnOffVol, lbVasDb}));
    vas->addLayout(Row({lbVasTime, edOffTime, updnOffTime, lbVasSec}));
    vas->addStretch();
    body->addWidget(gbVas, 4, 0);

    // Timer.
    gbTimer = Named(new QGroupBox("Timer", tsGeneral), "gbTimer");
    cbTimerType = Named(new QComboBox(gbTimer), "cbTimerType");
    cbTimerType->addItems({"Off", "Daily timer", "Once timer"});
    lbOnceTimerStart = MakeLabel(gbTimer, "lbOnceTimerStart", "Start:");
    dtpOnceTmrDateOn = Named(new QDateEdit(gbTimer), "dtpOnceTmrDateOn");
    dtpOnceTmrTimeOn = Named(new QTimeEdit(gbTimer), "dtpOnceTmrTimeOn");
    lbOnceTimerStop = MakeLabel(gbTimer, "lbOnceTimerStop", "Stop:");
    dtpOnceTmrDateOff = Named(new QDateEdit(gbTimer), "dtpOnceTmrDateOff");
    dtpOnceTmrTimeOff = Named(new QTimeEdit(gbTimer), "dtpOnceTmrTimeOff");
    for (QDateEdit* date : {dtpOnceTmrDateOn, dtpOnceTmrDateOff}) {
        date->setCalendarPopup(true);
        date->setDisplayFormat("dd.MM.yyyy");
        date->setDateRange(EarliestTimerDate(), LatestTimerDate());
    }
    for (QTimeEdit* time : {dtpOnceTmrTimeOn, dtpOnceTmrTimeOff})
        time->setDisplayFormat("HH:mm");
    dtpOnceTmrDateOn->installEventFilter(this);
    // The daily-timer pickers of the older layout; the timer type combo replaced them.
    cbDailyTmr = MakeCheck(gbTimer, "cbDailyTmr", "Daily timer");
    dtpDailyTmrTimeOn = Named(new QTimeEdit(gbTimer), "dtpDailyTmrTimeOn");
    dtpDailyTmrTimeOff = Named(new QTimeEdit(gbTimer), "dtpDailyTmrTimeOff");
    for (QWidget* old :
         std::initializer_list<QWidget*>{cbDailyTmr, dtpDailyTmrTimeOn, dtpDailyTmrTimeOff})
        old->hide();
    auto* timer = new QGridLayout(gbTimer);
    timer->addWidget(cbTimerType, 0, 0, 1, 3);
    timer->addWidget(lbOnceTimerStart, 1, 0);
    timer->addWidget(dtpOnceTmrDateOn, 1, 1);
    timer->addWidget(dtpOnceTmrTimeOn, 1, 2);
    timer->addWidget(lbOnceTimerStop, 2, 0);
    timer->addWidget(dtpOnceTmrDateOff, 2, 1);
    timer->addWidget(dtpOnceTmrTimeOff, 2, 2);
    timer->setRowStretch(3, 1);
    body->addWidget(gbTimer, 4, 1);

    // Amplifier.
    gbCodec = Named(new QGroupBox("Amplifier", tsGeneral), "gbCodec");
    lbGain = MakeLabel(gbCodec, "lbGain", "Gain:");
    edGain = MakeReadOnlyEdit(gbCodec, "edGain", 70);
    updnGain = MakeUpDown(gbCodec, "updnGain", 40, 80, 10, 40);
    cbAGC = MakeCheck(gbCodec, "cbAGC", "Automatic gain control");
    btnAGCSet = Named(new QPushButton("AGC rates...", gbCodec), "btnAGCSet");
    lbAmpPreset = MakeLabel(gbCodec, "lbAmpPreset", "Amplifier:");
    cbAmpPreset = Named(new QComboBox(gbCodec), "cbAmpPreset");
    cbAmpPreset->setMinimumWidth(140);
    pnlRates = Named(new QWidget(gbCodec), "pnlRates");
    auto* rateGrid = new QGridLayout(pnlRates);
    rateGrid->setContentsMargins(0, 0, 0, 0);
    struct TRateRow {
        QLabel*& Label;
        QLineEdit*& Edit;
        TPositionUpDown*& UpDown;
        const char* LabelName;
        const char* Caption;
        const char* EditName;
        const char* UpDownName;
    };
    const TRateRow rows[] = {
        {lbFAR, edFAR, updnFAR, "lbFAR", "Fast attack:", "edFAR", "updnFAR"},
        {lbFRR, edFRR, updnFRR, "lbFRR", "Fast release:", "edFRR", "updnFRR"},
        {lbSAR, edSAR, updnSAR, "lbSAR", "Slow attack:", "edSAR", "updnSAR"},
        {lbSRR, edSRR, updnSRR, "lbSRR", "Slow release:", "edSRR", "updnSRR"},
    };
    int r = 0;
    for (const TRateRow& row : rows) {
        row.Label = MakeLabel(pnlRates, row.LabelName, row.Caption);
        row.Edit = MakeReadOnlyEdit(pnlRates, row.EditName, 100);
        row.UpDown = MakeUpDown(pnlRates, row.UpDownName, 0, 15, 1, 0);
        rateGrid->addWidget(row.Label, r, 0);
        rateGrid->addWidget(row.Edit, r, 1);
        rateGrid->addWidget(row.UpDown, r, 2);
        ++r;
    }
    auto* codec = new QVBoxLayout(gbCodec);
    codec->addLayout(Row({lbGain, edGain, updnGain}));
    codec->addLayout(Row({lbAmpPreset, cbAmpPreset}));
    codec->addLayout(Row({cbAGC, btnAGCSet}));
    codec->addWidget(pnlRates);
    codec->addStretch();
    body->addWidget(gbCodec, 1, 2, 4, 1);
    page->addStretch();
}

void TfrmRecSettings::CreateFilesPage() {
    auto* page = new QVBoxLayout(tsFiles);
    gbFileMask = Named(new QGroupBox("File name mask", tsFiles), "gbFileMask");
    cbFNMask = Named(new QComboBox(gbFileMask), "cbFNMask");
    cbFNMask->setEditable(true);
    cbFNMask->setMinimumWidth(420);
    lbExRes = MakeLabel(gbFileMask, "lbExRes", "");
    auto* mask = new QVBoxLayout(gbFileMask);
    mask->addWidget(cbFNMask);
    mask->addWidget(lbExRes);
    page->addWidget(gbFileMask);

    gbSplitting = Named(new QGroupBox("File splitting", tsFiles), "gbSplitting");
    lbPartSize = MakeLabel(gbSplitting, "lbPartSize", "Maximum output file size, MB:");
    rxsePartSize = MakeSpin(gbSplitting, "rxsePartSize", 0, MaxPartSizeMb, 1, MaxPartSizeMb);
    ShowNoLimitText();
    (new QVBoxLayout(gbSplitting))->addLayout(Row({lbPartSize, rxsePartSize}));
    page->addWidget(gbSplitting);

    lbDefFolder = MakeLabel(tsFiles, "lbDefFolder", "Default folder:");
    edDefFolder = Named(new QLineEdit(tsFiles), "edDefFolder");
    btnBrowse = Named(new QPushButton("...", tsFiles), "btnBrowse");
    auto* folder = new QHBoxLayout;
    folder->addWidget(lbDefFolder);
    folder->addWidget(edDefFolder, 1);
    folder->addWidget(btnBrowse);
    page->addLayout(folder);

    cbSkipSilence = MakeCheck(tsFiles, "cbSkipSilence", "Skip silence");
    cbShowParts = MakeCheck(tsFiles, "cbShowParts", "Show voice parts");
    cbSorvane = MakeCheck(tsFiles, "cbSorvane", "Download in Sorvane format");
    cbAutoDownload = MakeCheck(tsFiles, "cbAutoDownload", "Download automatically on connect");
    cbAutoDel = MakeCheck(tsFiles, "cbAutoDel", "Delete downloaded recordings");
    cbNonDownOnly = MakeCheck(tsFiles, "cbNonDownOnly", "Only recordings not downloaded yet");
    cbSync = MakeCheck(tsFiles, "cbSync", "Synchronise recorder time on connect");
    cbDisErase = MakeCheck(tsFiles, "cbDisErase",
                           "Disable erasing of recordings\nthat are not downloaded yet");
    for (QCheckBox* check : {cbSkipSilence, cbShowParts, cbSorvane, cbAutoDownload})
        page->addWidget(check);
    for (QCheckBox* check : {cbAutoDel, cbNonDownOnly}) {
        auto* indented = new QHBoxLayout;
        indented->addSpacing(20);
        indented->addWidget(check);
        page->addLayout(indented);
    }
    page->addWidget(cbSync);
    // A multi-line caption aligned at the top.
    cbDisErase->setStyleSheet("QCheckBox::indicator { subcontrol-position: top left; }");
    page->addWidget(cbDisErase, 0, Qt::AlignTop);
    page->addStretch();
}

void TfrmRecSettings::CreateAdvancedPage() {
    auto* page = new QVBoxLayout(tsAdvanced);
    auto* keys = Named(new QGroupBox("Key press", tsAdvanced), "gbKeyPress");
    rbSingle = Named(new QRadioButton("Single press", keys), "rbSingle");
    rbDouble = Named(new QRadioButton("Double press", keys), "rbDouble");
    auto* keyLayout = new QVBoxLayout(keys);
    keyLayout->addWidget(rbSingle);
    keyLayout->addWidget(rbDouble);
    page->addWidget(keys);

    cbAntialias = MakeCheck(tsAdvanced, "cbAntialias", "Antialias filter");
    page->addWidget(cbAntialias);
    lbAccessLevel = MakeLabel(tsAdvanced, "lbAccessLevel", "Access level:");
    cbAccessLevel = Named(new QComboBox(tsAdvanced), "cbAccessLevel");
    cbAccessLevel->addItems({"Low", "Middle", "High"});
    page->addLayout(Row({lbAccessLevel, cbAccessLevel}));

    lbPassword = MakeLabel(tsAdvanced, "lbPassword", "Password:");
    edPassword = Named(new QLineEdit(tsAdvanced), "edPassword");
    edPassword->setMaxLength(PasswordEditLength);
    edPassword->setEchoMode(QLineEdit::Password);
    auto* hashStyle = new THashPasswordStyle;
    hashStyle->setParent(edPassword);
    edPassword->setStyle(hashStyle);
    edPassword->setFixedWidth(100);
    edPassword->installEventFilter(this);
    page->addLayout(Row({lbPassword, edPassword}));

    cbSimpleQuality = MakeCheck(tsAdvanced, "cbSimpleQuality", "Simple quality setup");
    cbSimpleVas = MakeCheck(tsAdvanced, "cbSimpleVas", "Simple voice activation setup");
    cbSimpleAmp = MakeCheck(tsAdvanced, "cbSimpleAmp", "Simple amplifier setup");
    page->addWidget(cbSimpleQuality);
    page->addWidget(cbSimpleVas);
    page->addWidget(cbSimpleAmp);

    lbSearchStep = MakeLabel(tsAdvanced, "lbSearchStep", "Search step:");
    rxseSearchStep = MakeSpin(tsAdvanced, "rxseSearchStep", 1, 255, 1, 1);
    lbSearchStep->hide();
    rxseSearchStep->hide();
    page->addLayout(Row({lbSearchStep, rxseSearchStep}));
    page->addStretch();
}

void TfrmRecSettings::CreateExpertPage() {
    auto* page = new QVBoxLayout(tsExpert);
    cbAutoAnswer = MakeCheck(tsExpert, "cbAutoAnswer", "Answer automatically");
    page->addWidget(cbAutoAnswer);
    cbDetectType = Named(new QComboBox(tsExpert), "cbDetectType");
    cbDetectType->setMinimumWidth(180);
    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    form->addRow(MakeLabel(tsExpert, "lbDetectType", "Caller ID detection:"), cbDetectType);
    seRingVoltage = MakeSpin(tsExpert, "seRingVoltage", 0, 255, 1, 0);
    seBusyVoltage = MakeSpin(tsExpert, "seBusyVoltage", 0, 255, 1, 0);
    seSkipRings = MakeSpin(tsExpert, "seSkipRings", 0, 20, 1, 0);
    seDialDelay = MakeSpin(tsExpert, "seDialDelay", 0, 255, 1, 5);
    form->addRow(MakeLabel(tsExpert, "lbRingVoltage", "Ring voltage:"), seRingVoltage);
    form->addRow(MakeLabel(tsExpert, "lbBusyVoltage", "Busy voltage:"), seBusyVoltage);
    form->addRow(MakeLabel(tsExpert, "lbSkipRings", "Rings before answer:"), seSkipRings);
    form->addRow(MakeLabel(tsExpert, "lbDialDelay", "Dial delay, s:"), seDialDelay);
    lbNumLen = MakeLabel(tsExpert, "lbNumLen", "Number length:");
    seNumLen = MakeSpin(tsExpert, "seNumLen", 0, 20, 1, 0);
    lbMinDigCount = MakeLabel(tsExpert, "lbMinDigCount", "Minimum digits:");
    seMinDigCount = MakeSpin(tsExpert, "seMinDigCount", 0, 20, 1, 0);
    form->addRow(lbNumLen, seNumLen);
    form->addRow(lbMinDigCount, seMinDigCount);
    page->addLayout(form);

    pnlAdvAON = Named(new QWidget(tsExpert), "pnlAdvAON");
    gbAdvancedAON = Named(new QGroupBox("Advanced caller ID settings", pnlAdvAON), "gbAdvancedAON");
    (new QVBoxLayout(pnlAdvAON))->addWidget(gbAdvancedAON);
    pnlAdvAON->layout()->setContentsMargins(0, 0, 0, 0);
    seFirstReqDelay = MakeSpin(gbAdvancedAON, "seFirstReqDelay", 0, 1000, 10, 0);
    seReqDur = MakeSpin(gbAdvancedAON, "seReqDur", 0, 500, 10, 0);
    cbReqForms = Named(new QComboBox(gbAdvancedAON), "cbReqForms");
    seReqCount = MakeSpin(gbAdvancedAON, "seReqCount", 0, 5, 1, 0);
    seReqAmp = MakeSpin(gbAdvancedAON, "seReqAmp", -24, 0, 6, 0);
    seNextReqDelay = MakeSpin(gbAdvancedAON, "seNextReqDelay", 0, 1000, 10, 0);
    auto* aon = new QFormLayout(gbAdvancedAON);
    aon->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    aon->addRow("First request delay, ms:", seFirstReqDelay);
    aon->addRow("Request duration, ms:", seReqDur);
    aon->addRow("Request form:", cbReqForms);
    aon->addRow("Request count:", seReqCount);
    aon->addRow("Request amplitude, dB:", seReqAmp);
    aon->addRow("Next request delay, ms:", seNextReqDelay);
    page->addWidget(pnlAdvAON);

    pnlAdvDTMF = Named(new QWidget(tsExpert), "pnlAdvDTMF");
    seDTMFVoltage = MakeSpin(pnlAdvDTMF, "seDTMFVoltage", 0, 3060, 12, 0);
    auto* dtmf = new QFormLayout(pnlAdvDTMF);
    dtmf->setContentsMargins(0, 0, 0, 0);
    dtmf->addRow("DTMF voltage, mV:", seDTMFVoltage);
    page->addWidget(pnlAdvDTMF);
    page->addStretch();
}

void TfrmRecSettings::CreateHiddenPage() {
    auto* page = new QVBoxLayout(tsHidden);
    cbHideEditor = MakeCheck(tsHidden, "cbHideEditor", "Hide \"Copy selected part\" command");
    cbDisableEditor =
        MakeCheck(tsHidden, "cbDisableEditor", "Disable \"Copy selected part\" command");
    cbDisableFlash = MakeCheck(tsHidden, "cbDisableFlash", "Disable Flash Drive");
    cbHideFlash = MakeCheck(tsHidden, "cbHideFlash", "Hide Flash Drive");
    cbHideMaskEdit = MakeCheck(tsHidden, "cbHideMaskEdit", "Hide Mask Editor");
    cbHideSplitting = MakeCheck(tsHidden, "cbHideSplitting", "Hide file split function");
    cbHideExpert = MakeCheck(tsHidden, "cbHideExpert", "Hide Ovik-Expert settings");
    cbHideAdvExpert = MakeCheck(tsHidden, "cbHideAdvExpert", "Hide advanced Ovik-Expert settings");
    cbAonOnly = MakeCheck(tsHidden, "cbAonOnly", "Enable Russian AON only");
    cbHideSorvane = MakeCheck(tsHidden, "cbHideSorvane",
                              "Disable and hide  \"Download in Sorvane format\" option");
    cbHideAmpSettings = MakeCheck(tsHidden, "cbHideAmpSettings", "Hide amplifier settings");
    for (QCheckBox* check : {cbHideEditor, cbDisableEditor, cbDisableFlash, cbHideFlash,
                             cbHideMaskEdit, cbHideSplitting, cbHideExpert, cbHideAdvExpert,
                             cbAonOnly, cbHideSorvane, cbHideAmpSettings})
        page->addWidget(check);
    page->addStretch();
}

void TfrmRecSettings::ShowNoLimitText() {
    rxsePartSize->SetSpecialValueText(Lang("NoLimitStr"));
    // Wide enough for the text in every language, with the spin button beside it.
    const int needed = rxsePartSize->fontMetrics().horizontalAdvance(Lang("NoLimitStr")) + 40;
    rxsePartSize->setMinimumWidth(needed);
    rxsePartSize->setMaximumWidth(std::max(SpinEditWidth, needed));
}

QDate TfrmRecSettings::EarliestTimerDate() {
    return QDate(1970, 1, 1);
}

QDate TfrmRecSettings::LatestTimerDate() {
    return QDate(2105, 12, 31); // the clock's 32-bit seconds end in February 2106
}

void TfrmRecSettings::SetRecorder(TCustomRecorder* recorder) {
    FRecorder = dynamic_cast<TRecorder*>(recorder);
}

void TfrmRecSettings::SetMaskExpander(std::function<QString(const QString&)> expander) {
    FMaskExpander = std::move(expander);
    cbFNMaskChange();
}

void TfrmRecSettings::VexaLanguageController1LanguageChanged() {
    // The controls show the working copy again: the caller-ID kinds, the minimum record
    // time line and the part size's "no limit" are made from constants.
    ShowNoLimitText();
    if (FRecorder) {
        TRecSettings shown = FSettings;
        ControlsToRecSettings(shown);
        RecSettingsToControls(shown);
    }
    cbFNMaskChange();
}

int TfrmRecSettings::Message(const QString& text, unsigned flags) {
    return FPrompts.Message ? FPrompts.Message(text, flags) : IDCANCEL;
}

TRecSettingsCallbacks RecSettingsCallbacks(TfrmRecSettings& dialog) {
    TRecSettingsCallbacks callbacks;
    callbacks.AttachRecorder = [&dialog](TRecorder* recorder) { dialog.SetRecorder(recorder); };
    callbacks.DetachRecorder = [&dialog](TRecorder* recorder) {
        // A recorder that goes away must not be left behind in the dialog.
        if (dialog.Recorder() == recorder)
            dialog.SetRecorder(nullptr);
    };
    callbacks.RestoreSettings = [&dialog] { dialog.actRestoreExecute(); };
    callbacks.SetHiddenTabVisible = [&dialog](bool visible) {
        dialog.SetHiddenTabVisible(visible);
    };
    return callbacks;
}
