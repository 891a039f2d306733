#pragma once

#include <cstdint>

#include <QDate>
#include <QDialog>
#include <QString>

class QFrame;
class QLabel;
class QLocale;
class QPushButton;

// The program's version word: major in bits 16 to 23, minor in 8 to 15, build in 0 to 7.
constexpr std::uint32_t ProgramVersion = 0x0001001C; // 1.0.28
// The compiler's date of this build, "Mmm dd yyyy" with a blank-padded day ("Jan  7 2026").
extern const char* const ProgramBuildDate;

// Month, day and year of a build date text; blanks may repeat. False for anything else.
bool ParseBuildDate(const QString& text, QDate& date);
// The version line: versionWord, " major.minor.build ", then the date in the locale's short
// format in parentheses (the date text as it is when it does not read as a date).
QString AboutVersionText(const QString& versionWord, std::uint32_t version,
                         const QString& buildDate, const QLocale& locale);

// The about box: product name and version line; two more labels take their texts from the
// language files only.
class TAboutBox : public QDialog {
    Q_OBJECT

public:
    explicit TAboutBox(QWidget* owner = nullptr);

    QFrame* Panel1 = nullptr;
    QLabel* ProductName = nullptr;
    QLabel* Version = nullptr;
    QLabel* Copyright = nullptr;
    QLabel* Comments = nullptr;
    QPushButton* OKButton = nullptr;

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
};
