#pragma once

#include <string>
#include <vector>

#include <QDialog>
#include <QString>

#include "ui/SoundInfoAnalysis.h"

class QLabel;
class QPushButton;
class TWaveFile;

// What a WAV file on the PC holds: format and length, the recording information of its
// private chunk with the integrity check of its samples, and on request the call information
// the caller-ID library finds in the audio.
class TfrmSoundInfo : public QDialog {
    Q_OBJECT

public:
    explicit TfrmSoundInfo(QWidget* owner = nullptr);

    // Analyses a WAV file opened for reading and closes it (the caller frees the object),
    // then shows the dialog modally and gives its result.
    virtual int ShowSoundInfo(TWaveFile& wave);
    // Everything ShowSoundInfo does but the modal run: analysis, texts, layout.
    void PrepareSoundInfo(TWaveFile& wave);

    // Where the caller-ID library is looked for; by default the program's folder, then the
    // default search path.
    void SetLibraryCandidates(std::vector<std::string> candidates);
    const TSoundInfoTexts& GetTexts() const { return Texts; }

    QLabel* lbSoundInfo = nullptr;
    QPushButton* btnSoundAnalyse = nullptr;
    QLabel* lbCallInfo = nullptr;
    QPushButton* btnOK = nullptr;

public slots:
    void btnSoundAnalyseClick();

private:
    std::vector<std::string> LibraryCandidates;
    bool CustomCandidates = false;
    TSoundInfoTexts Texts;
    QString CallInfoPrepared;
};

// The main window's entry: opens the WAV file at wavPath and shows its information in the one
// dialog of the program (created on the first call, owned by parent). A file that is not a
// readable WAV file is reported in a message box.
void ShowSoundInfo(QWidget* parent, const QString& wavPath);
