#pragma once

#include <cstdint>

#include <QDialog>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

// The compression choice for an upload: none, ADPCM 2 or 4 bit, or uLaw with its scale.
class TfrmFmtChoose : public QDialog {
    Q_OBJECT

public:
    explicit TfrmFmtChoose(QWidget* owner = nullptr);

    QGroupBox* gbCompression = nullptr;
    QRadioButton* rbNoCompress = nullptr;
    QRadioButton* rbADPCM2 = nullptr;
    QRadioButton* rbADPCM4 = nullptr;
    QRadioButton* rbuLaw = nullptr;
    QLabel* Label2 = nullptr;
    QComboBox* cbScale = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;

public slots:
    void reject() override; // Escape and the close box answer Cancel

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The scale belongs to uLaw only.
    void rbClick();
};

// Shows the dialog modally over parent. On OK sets the profile compression type and
// parameter: none 0 (parameter unchanged), ADPCM 2 bit 2/1, ADPCM 4 bit 2/2, uLaw 1 and the
// scale index (0 to 4 for 1, 2, 4, 8, 16), and returns true. Cancel changes nothing and
// returns false.
bool ChooseUploadFormat(QWidget* parent, std::uint8_t& compression, std::uint8_t& param);
