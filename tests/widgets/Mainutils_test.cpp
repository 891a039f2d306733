#include <cerrno>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <QDir>
#include <QTemporaryDir>

#include "link/RecXchange.h"
#include "widgets/Mainutils.h"

namespace {

TEST(ProgramMainutils, HasSwitchMatchesWholeParameterInAnyCase) {
    struct Case {
        QStringList parameters;
        const char* name;
        bool expected;
    };
    const Case cases[] = {
        {{"diag"}, "diag", true},   {{"DiAg"}, "diag", true},   {{"vemt", "DIAG"}, "diag", true},
        {{"-diag"}, "diag", false}, {{"/diag"}, "diag", false}, {{"diagnostic"}, "diag", false},
        {{"dia"}, "diag", false},   {{}, "diag", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(HasSwitchIn(c.parameters, c.name), c.expected)
            << c.parameters.join(' ').toStdString() << " / " << c.name;
}

TEST(ProgramMainutils, SecToTimeStr) {
    const std::pair<std::uint32_t, const char*> cases[] = {
        {0, "00:00:00"},
        {59, "00:00:59"},
        {3725, "01:02:05"},
        {86399, "23:59:59"},
        {123 * 3600 + 309, "123:05:09"},
        // More hours than a 16-bit count holds are still printed in full.
        {65536u * 3600u, "65536:00:00"},
    };
    for (const auto& [seconds, text] : cases)
        EXPECT_EQ(SecToTimeStr(seconds).toStdString(), text) << seconds;
}

TEST(ProgramMainutils, IntToBinStr) {
    struct Case {
        int width;
        std::uint64_t value;
        std::string expected;
    };
    const Case cases[] = {
        {8, 5, "00000101"}, {0, 5, "101"},
        {2, 5, "101"}, // never cut
        {4, 0, "0000"},     {0, 0, ""},
        {-3, 1, "1"},       {1, 0x8000000000000000ull, "1" + std::string(63, '0')},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IntToBinStr(c.width, '0', '1', c.value).toStdString(), c.expected)
            << c.width << " " << c.value;
    EXPECT_EQ(IntToBinStr(100, '0', '1', 1).size(), 64); // a width above 64 counts as 64
    EXPECT_EQ(IntToBinStr(6, '.', '#', 0b1011).toStdString(), "..#.##");
}

TEST(ProgramMainutils, TheExchangeErrorBoxNamesMessageCommandAndCode) {
    EXPECT_EQ(ExceptionBoxText(TERecXchange("Time-out", 9, 6)).toStdString(),
              "ERROR: Time-out. Cmd: 9; Error code 6");
    // A message holding a percent sign is text, not a format.
    EXPECT_EQ(ExceptionBoxText(TERecXchange("50% %s", 13, 255)).toStdString(),
              "ERROR: 50% %s. Cmd: 13; Error code 255");
}

TEST(ProgramMainutils, SysErrorTextIsTheNeutralSystemText) {
    EXPECT_EQ(SysErrorText(ENOENT).toStdString(), "No such file or directory");
    EXPECT_EQ(SysErrorText(EACCES).toStdString(), "Permission denied");
    EXPECT_FALSE(SysErrorText(123456).isEmpty());
}

class ProgramFileProbes : public ::testing::Test {
protected:
    QString Make(const char* name, const char* text = "x") {
        const QString path = Dir.filePath(name);
        std::ofstream(path.toStdString()) << text;
        return path;
    }
    QTemporaryDir Dir;
};

TEST_F(ProgramFileProbes, CanOpenFile) {
    const QString plain = Make("plain.wav");
    const QString readOnly = Make("readonly.wav");
    ::chmod(readOnly.toLocal8Bit().constData(), 0444);
    EXPECT_TRUE(CanOpenFile(plain, false));
    EXPECT_TRUE(CanOpenFile(plain, true));
    EXPECT_TRUE(CanOpenFile(readOnly, false));
    if (::geteuid() != 0) { // root writes anyway
        EXPECT_FALSE(CanOpenFile(readOnly, true));
    }
    EXPECT_FALSE(CanOpenFile(Dir.filePath("missing.wav"), false));
    EXPECT_FALSE(CanOpenFile(Dir.path(), false)); // a folder is not a file
    EXPECT_FALSE(CanOpenFile(QString(), false));
    EXPECT_TRUE(std::filesystem::exists(plain.toStdString()));
    EXPECT_EQ(std::filesystem::file_size(plain.toStdString()), 1u); // probing changes nothing
}

TEST_F(ProgramFileProbes, GetFileLocalTimeGivesTheLastWriteTimeInLocalTime) {
    const QString path = Make("dated.wav");
    std::tm when{};
    when.tm_year = 2021 - 1900;
    when.tm_mon = 2; // March
    when.tm_mday = 14;
    when.tm_hour = 15;
    when.tm_min = 9;
    when.tm_sec = 26;
    when.tm_isdst = -1;
    const std::time_t stamp = std::mktime(&when); // the test sets a local wall-clock time
    const utimbuf times{stamp, stamp};
    ASSERT_EQ(::utime(path.toLocal8Bit().constData(), &times), 0);

    TSystemTime time;
    GetFileLocalTime(path, time);
    EXPECT_EQ(time.Year, 2021);
    EXPECT_EQ(time.Month, 3);
    EXPECT_EQ(time.Day, 14);
    EXPECT_EQ(time.DayOfWeek, 0); // a Sunday
    EXPECT_EQ(time.Hour, 15);
    EXPECT_EQ(time.Minute, 9);
    EXPECT_EQ(time.Second, 26);
}

TEST_F(ProgramFileProbes, GetFileLocalTimeLeavesTheTimeAloneWhenTheFileCannotBeOpened) {
    TSystemTime time;
    time.Year = 1999;
    time.Day = 7;
    const TSystemTime before = time;
    GetFileLocalTime(Dir.filePath("missing.wav"), time);
    EXPECT_EQ(time, before);
    GetFileLocalTime(Dir.path(), time);
    EXPECT_EQ(time, before);
}

TEST(ProgramMainutils, FileDialogFilterGivesEachPatternApartWithBlanks) {
    struct TCase {
        const char* In;
        const char* Out;
    };
    const TCase cases[] = {
        {"Recorder profiles (*.rpr)|*.rpr", "Recorder profiles (*.rpr)"},
        {"Profiles|*.rpr;*.def|All|*", "Profiles (*.rpr *.def);;All (*)"},
        // A translation that names two patterns in its own description.
        {"Abbilder (*.ovk;*.img)|*.ovk;*.img", "Abbilder (*.ovk *.img)"},
        {" Images |*.ovk;;*.img", "Images (*.ovk *.img)"},
        {"", ""},
        {"Odd", "Odd"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(FileDialogFilter(c.In), c.Out) << c.In;
}

} // namespace
