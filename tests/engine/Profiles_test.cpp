#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "engine/RecClassesPresets.h"
#include "engine/RecClassesProfiles.h"
#include "engine/RecorderUi.h"
#include "link/ImageFile.h"
#include "platform/IniFile.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestData.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* InvalidFormatText = "Error: invalid profile file format.";
constexpr const char* CannotLoadText = "Error: can't load profile.";
constexpr const char* CannotSaveText = "Error: can't save profile.";

class TTempFolder : public testsupport::TTempDir {
public:
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(Path))
            names.push_back(entry.path().filename().string());
        return names;
    }
};

class TRecordingUi : public TRecorderUi {
public:
    void ShowMessage(const std::string& text) override { Messages.push_back(text); }
    std::vector<std::string> Messages;
};

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Lines joined with CR LF, as Windows writes them.
std::string WindowsText(std::initializer_list<std::string> lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

std::string NameOf(const TRecProfile& profile) {
    std::string name;
    for (std::uint8_t byte : profile.Name) {
        if (byte == 0)
            break;
        name.push_back(static_cast<char>(byte));
    }
    return name;
}

void SetName(TRecProfile& profile, const std::string& name) {
    profile.Name.fill(0);
    for (std::size_t i = 0; i < name.size() && i < profile.Name.size(); ++i)
        profile.Name[i] = static_cast<std::uint8_t>(name[i]);
}

// Valid values that differ from profile to profile, and bytes outside the
// profiles that a profile file must never touch.
TRecSettings SampleSettings() {
    TRecSettings s;
    for (std::size_t i = 0; i < TRecSettings::ProfileCount; ++i) {
        TRecProfile& p = s.Profiles[i];
        const auto n = static_cast<std::uint8_t>(i);
        p.Request = 0xA0 + n;
        p.Number = 0xB0 + n;
        SetName(p, "Prof" + std::to_string(i + 1));
        p.SampleRate = 3;
        p.Compress = 2;
        p.CompressParam = i % 2 == 0 ? 1 : 2;
        p.CyclicRecord = i % 2 == 0 ? 0xFF : 0;
        p.CycleBufSize = 10 + n;
        p.TimerType = i % 3 == 0 ? 0xFF : (i % 3 == 1 ? 1 : 2);
        p.TimerStartHour = 1 + n;
        p.TimerStartMin = 10 + n;
        p.TimerStartDay = 2 + n;
        p.TimerStartMonth = 3 + n;
        p.TimerStartYear = 2020 + n;
        p.TimerStopHour = 12 + n;
        p.TimerStopMin = 40 + n;
        p.TimerStopDay = 20 + n;
        p.TimerStopMonth = 4 + n;
        p.TimerStopYear = 2030 + n;
        p.Vas = i % 2;
        p.VasLevel = static_cast<std::int8_t>(-55 + 7 * n);
        p.VasTime = 1 + n;
        p.PgacGain = 42 + 5 * n;
        p.PgacMode = i % 2 == 0 ? 0 : 0xFF;
        p.PgacFastAttack = n;
        p.PgacFastRelease = 15 - n;
        p.PgacSlowAttack = 2 * n;
        p.PgacSlowRelease = 7;
    }
    s.SearchStep = 9;
    s.KeyPressType = 1;
    s.AccessLevel = 2;
    s.BatteryThresholds = {100, 200, 300, 400};
    s.AntialiasFilter = 1;
    s.CurrentProfile = 5;
    s.Password = NoPasswordBlock;
    s.LineParams[0] = {LineTagAnswerAndCallerId, 0x0C};
    return s;
}

// The record with every profile name empty, as a file without the profiles' sections
// leaves it.
TRecSettings NamesEmptied(TRecSettings s) {
    for (TRecProfile& p : s.Profiles)
        p.Name.fill(0);
    return s;
}

TRecSettings WithProfileFrom(TRecSettings s, std::size_t index, const TRecProfile& profile) {
    s.Profiles[index] = profile;
    return s;
}

// A record whose every profile byte differs from what the files here hold.
TRecSettings FilledSettings(std::uint8_t fill) {
    std::array<std::uint8_t, TRecSettings::Size> bytes;
    bytes.fill(fill);
    return TRecSettings::FromBytes(bytes.data());
}

class ProfileFileTest : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const std::string& bytes) {
        const std::string path = Folder.File(name);
        WriteBytes(path, bytes);
        return path;
    }

    // A file for model 12 with one profile section.
    std::string OneProfile(std::initializer_list<std::string> keys, int number = 1) {
        std::string text =
            "[Recorder model]\r\nModel=12\r\n[Profile " + std::to_string(number) + "]\r\n";
        for (const std::string& key : keys)
            text += key + "\r\n";
        return Write("one.rpr", text);
    }

    TTempFolder Folder;
    TRecordingUi Ui;
};

TEST(ProfileFileNames, DeriveFromTheProgramFolderAndThePrefix) {
    struct TCase {
        const char* prefixPath;
        const char* def;
        const char* quality;
        const char* vas;
        const char* amp;
    } const cases[] = {
        {"/opt/q/OMVela", "/opt/q/OMVela.def", "/opt/q/OMVela_req.ini", "/opt/q/OMVela_vas.ini",
         "/opt/q/OMVela_amp.ini"},
        // An extension of the prefix is replaced, a dot in the folder is not one.
        {"/opt/q/OM.Vela", "/opt/q/OM.def", "/opt/q/OM_req.ini", "/opt/q/OM_vas.ini",
         "/opt/q/OM_amp.ini"},
        {"/opt/q.d/OMVela", "/opt/q.d/OMVela.def", "/opt/q.d/OMVela_req.ini",
         "/opt/q.d/OMVela_vas.ini", "/opt/q.d/OMVela_amp.ini"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.prefixPath);
        EXPECT_EQ(DefaultProfileFileName(c.prefixPath), c.def);
        EXPECT_EQ(QualityPresetFileName(c.prefixPath), c.quality);
        EXPECT_EQ(VasPresetFileName(c.prefixPath), c.vas);
        EXPECT_EQ(AmpPresetFileName(c.prefixPath), c.amp);
    }
    EXPECT_EQ(RecFilePrefixPath("/opt/q"), "/opt/q/OMVela");
    EXPECT_EQ(RecFilePrefixPath("/opt/q/"), "/opt/q/OMVela");
    // A translated prefix is a file name in the program's folder, never a path
    // elsewhere.
    struct TPrefixCase {
        const char* text;
        const char* path;
    } const prefixes[] = {
        {"OMVelaRu", "/opt/q/OMVelaRu"}, {"OM Vela", "/opt/q/OM Vela"}, {"", "/opt/q/OMVela"},
        {"..", "/opt/q/OMVela"},         {"../etc/x", "/opt/q/OMVela"}, {"/tmp/x", "/opt/q/OMVela"},
    };
    for (const TPrefixCase& c : prefixes)
        EXPECT_EQ(RecFilePrefixPath("/opt/q", c.text), c.path) << '"' << c.text << '"';
    EXPECT_FALSE(ProgramFolder().empty());
    EXPECT_TRUE(fs::is_directory(ProgramFolder()));
}

TEST(ProfileModelList, MatchesTrimmedItems) {
    struct TCase {
        const char* list;
        int model;
        bool names;
    } const cases[] = {
        {"12", 12, true},
        {"9, 12 , x", 12, true},
        {"9, 12 , x", 9, true},
        {"9, 12 , x", 1, false},
        {"9,x", -1, true}, // an item that is no number
                           // counts as -1
        {"\t7\t", 7, true},
        {"12abc", 12, false},
        {"1,,12", 12, true},
        {"$0C", 12, true}, // integers read as the framework reads them
        {"", 0, false},
        {" , ", 0, false},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(ModelListNames(c.list, c.model), c.names)
            << '"' << c.list << "\" model " << c.model;
}

TEST_F(ProfileFileTest, WindowsWrittenFileLoads) {
    // CRLF, Windows-1251 text, names in any case, blanks around "=", a quoted
    // name, the first of two equal keys winning, and a model list.
    const std::string file =
        Write("windows.rpr", WindowsText({
                                 "; \xCF\xF0\xEE\xF4\xE8\xEB\xFC \xE4\xEB\xFF \xEE\xF4\xE8\xF1\xE0",
                                 "[RECORDER MODEL]",
                                 "model = 9, 12",
                                 "",
                                 "[profile 2]",
                                 "name = \"\xCE\xF4\xE8\xF1\"",
                                 "SAMPLE RATE = 4",
                                 "compress=2",
                                 "compressparam= 1",
                                 "cyclicrecord = 1",
                                 "CycleBufSize=\"25\"",
                                 "TIMERTYPE=2",
                                 "vas=1",
                                 "VasLevel = -45",
                                 "vastime=3",
                                 "VasTime=9",
                                 "pgac_gain=72",
                                 "Pgac_Mode=255",
                                 "pgac_fastattack=$0F",
                             }));
    for (std::uint8_t model : {9, 12}) {
        SCOPED_TRACE(model);
        TRecSettings settings = SampleSettings();
        const TProfileFileResult result = ReadProfileFile(file, settings, model, 1251);
        ASSERT_TRUE(result.Ok()) << result.Key << "=" << result.Value;
        const TRecProfile& p = settings.Profiles[1];
        EXPECT_EQ(NameOf(p), "\xCE\xF4\xE8\xF1");
        EXPECT_EQ(p.SampleRate, 4);
        EXPECT_EQ(p.Compress, 2);
        EXPECT_EQ(p.CompressParam, 1);
        EXPECT_EQ(p.CyclicRecord, 1); // was off: a boolean 1 now
        EXPECT_EQ(p.CycleBufSize, 25);
        EXPECT_EQ(p.TimerType, 2);
        EXPECT_EQ(p.Vas, 1);
        EXPECT_EQ(p.VasLevel, -45);
        EXPECT_EQ(p.VasTime, 3);
        EXPECT_EQ(p.PgacGain, 72);
        EXPECT_EQ(p.PgacMode, 0xFF);
        EXPECT_EQ(p.PgacFastAttack, 15);
        // Keys the file leaves out keep their fields; so do the other profiles.
        TRecProfile expected = SampleSettings().Profiles[1];
        expected.Name = p.Name;
        expected.SampleRate = 4;
        expected.Compress = 2;
        expected.CompressParam = 1;
        expected.CyclicRecord = 1;
        expected.CycleBufSize = 25;
        expected.TimerType = 2;
        expected.Vas = 1;
        expected.VasLevel = -45;
        expected.VasTime = 3;
        expected.PgacGain = 72;
        expected.PgacMode = 0xFF;
        expected.PgacFastAttack = 15;
        EXPECT_EQ(p, expected);
        // The other profiles have no section: only their names go.
        EXPECT_EQ(settings, WithProfileFrom(NamesEmptied(SampleSettings()), 1, p));
    }
    TRecSettings settings = SampleSettings();
    EXPECT_EQ(ReadProfileFile(file, settings, 1, 1251).Error, TProfileFileError::WrongModel);
    EXPECT_EQ(settings, SampleSettings());
}

// The settings record of a fresh image: every profile byte 1 (timer year 257, gain 1) and
// the default names.
TRecSettings FreshImageSettings() {
    TImageHeader header{};
    FillDefaultImageSettings(header);
    return TRecSettings::FromBytes(&header[ImgSettingsOfs]);
}

// A recorder that never used its timers: every timer field 0, the rest plausible.
TRecSettings UnusedTimerSettings() {
    TRecSettings s = SampleSettings();
    for (TRecProfile& p : s.Profiles) {
        p.TimerType = 0xFF;
        p.TimerStartHour = p.TimerStartMin = p.TimerStartDay = p.TimerStartMonth = 0;
        p.TimerStopHour = p.TimerStopMin = p.TimerStopDay = p.TimerStopMonth = 0;
        p.TimerStartYear = p.TimerStopYear = 0;
    }
    return s;
}

// Every byte of the record set to fill: values no dialog would offer.
TRecSettings OutOfRangeSettings() {
    TRecSettings s = FilledSettings(0xEE);
    for (TRecProfile& p : s.Profiles)
        SetName(p, "Wild");
    return s;
}

// A record that differs from like in every byte a profile file carries, except that the two
// switches are on and off as in like; the bytes a file never carries differ as well.
TRecSettings OtherValuesThan(const TRecSettings& like) {
    std::array<std::uint8_t, TRecSettings::Size> bytes = like.ToBytes();
    for (std::uint8_t& byte : bytes)
        byte = static_cast<std::uint8_t>(byte ^ 0x5A);
    TRecSettings other = TRecSettings::FromBytes(bytes.data());
    for (std::size_t i = 0; i < TRecSettings::ProfileCount; ++i) {
        other.Profiles[i].CyclicRecord = like.Profiles[i].CyclicRecord;
        other.Profiles[i].Vas = like.Profiles[i].Vas;
    }
    return other;
}

TEST_F(ProfileFileTest, SaveThenLoadRestoresEveryProfileByte) {
    struct TCase {
        const char* Name;
        TRecSettings Saved;
    } const cases[] = {
        {"Sample", SampleSettings()},
        {"FreshImage", FreshImageSettings()},
        {"UnusedTimer", UnusedTimerSettings()},
        {"OutOfRange", OutOfRangeSettings()},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string file = Folder.File(std::string(c.Name) + ".rpr");
        ASSERT_TRUE(SaveProfileFile(file, c.Saved, 12));

        // Loaded over the same record, every byte stays.
        TRecSettings same = c.Saved;
        ASSERT_TRUE(ReadProfileFile(file, same, 12).Ok());
        EXPECT_EQ(same.ToBytes(), c.Saved.ToBytes());

        // Loaded over another one, the profiles from byte 2 on come back whole and the rest
        // of the target stays its own.
        const TRecSettings target = OtherValuesThan(c.Saved);
        TRecSettings loaded = target;
        ASSERT_TRUE(ReadProfileFile(file, loaded, 12).Ok());
        TRecSettings expected = target;
        for (std::size_t i = 0; i < TRecSettings::ProfileCount; ++i) {
            TRecProfile p = c.Saved.Profiles[i];
            p.Request = target.Profiles[i].Request;
            p.Number = target.Profiles[i].Number;
            expected.Profiles[i] = p;
        }
        EXPECT_EQ(loaded.ToBytes(), expected.ToBytes());

        // And saving what was loaded writes the same file again.
        const std::string again = Folder.File(std::string(c.Name) + "-again.rpr");
        ASSERT_TRUE(SaveProfileFile(again, loaded, 12));
        EXPECT_EQ(testsupport::ReadFileBytes(again), testsupport::ReadFileBytes(file));
    }
}

TEST_F(ProfileFileTest, SwitchesReadAsBooleansAndKeepAnOnByteThatAgrees) {
    struct TCase {
        const char* Line; // empty: no key
        std::uint8_t Before;
        std::uint8_t After;
    } const cases[] = {
        {"CyclicRecord=1", 0xFF, 0xFF}, // the recorder's own "on" byte stays
        {"CyclicRecord=1", 0x00, 0x01},
        {"CyclicRecord=7", 0x00, 0x01},
        {"CyclicRecord=-1", 0x00, 0x01},
        {"CyclicRecord=0", 0xFF, 0x00},
        {"CyclicRecord=0", 0x00, 0x00},
        {"CyclicRecord=on", 0xFF, 0xFF}, // no number: the field stays
        {"CyclicRecord=on", 0x00, 0x00},
        {"", 0x11, 0x11},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.Line) + " over " + std::to_string(c.Before));
        const std::string file = c.Line[0] != 0 ? OneProfile({c.Line}) : OneProfile({});
        TRecSettings settings = SampleSettings();
        settings.Profiles[0].CyclicRecord = c.Before;
        ASSERT_TRUE(ReadProfileFile(file, settings, 12).Ok());
        EXPECT_EQ(settings.Profiles[0].CyclicRecord, c.After);
    }
    TRecSettings settings = SampleSettings();
    settings.Profiles[0].Vas = 0;
    settings.Profiles[1].Vas = 1;
    const std::string file =
        Write("vas.rpr", WindowsText({"[Recorder model]", "Model=12", "[Profile 1]", "VAS=1",
                                      "[Profile 2]", "VAS=0"}));
    ASSERT_TRUE(ReadProfileFile(file, settings, 12).Ok());
    EXPECT_EQ(settings.Profiles[0].Vas, 1);
    EXPECT_EQ(settings.Profiles[1].Vas, 0);
}

TEST_F(ProfileFileTest, SavedFileHasTheWindowsLayout) {
    const std::string file = Folder.File("layout.rpr");
    TRecSettings settings = SampleSettings();
    settings.Profiles[0].VasLevel = -30;
    settings.Profiles[0].CyclicRecord = 0xFF;
    ASSERT_TRUE(SaveProfileFile(file, settings, 9));
    const std::string text = testsupport::ReadFileBytes(file);

    std::istringstream lines(text);
    std::vector<std::string> got;
    for (std::string line; std::getline(lines, line);) {
        ASSERT_TRUE(!line.empty() && line.back() == '\r') << "line without CR LF: " << line;
        line.pop_back();
        got.push_back(line);
    }
    const std::vector<std::string> head = {
        "[Recorder model]",
        "Model=9",
        "",
        "[Profile 1]",
        "Name=Prof1",
        "Sample Rate=3",
        "Compress=2",
        "CompressParam=1",
        "CyclicRecord=1",
        "CycleBufSize=10",
        "TimerType=255",
        "TimerStartHour=1",
        "TimerStartMin=10",
        "TimerStartDay=2",
        "TimerStartMonth=3",
        "TimerStartYear=2020",
        "TimerStopHour=12",
        "TimerStopMin=40",
        "TimerStopDay=20",
        "TimerStopMonth=4",
        "TimerStopYear=2030",
        "VAS=0",
        "VasLevel=-30",
        "VasTime=1",
        "PGAC_Gain=42",
        "PGAC_Mode=0",
        "PGAC_FastAttack=0",
        "PGAC_FastRelease=15",
        "PGAC_SlowAttack=0",
        "PGAC_SlowRelease=7",
        "",
        "[Profile 2]",
    };
    ASSERT_GE(got.size(), head.size());
    EXPECT_EQ(std::vector<std::string>(got.begin(), got.begin() + head.size()), head);
    EXPECT_NE(text.find("[Profile 8]\r\nName=Prof8\r\n"), std::string::npos);
}

TEST_F(ProfileFileTest, NamesAreCutToEightBytesWithoutTerminator) {
    const std::string file = OneProfile({"Name=Conference"});
    TRecSettings settings = SampleSettings();
    ASSERT_TRUE(ReadProfileFile(file, settings, 12).Ok());
    const std::array<std::uint8_t, 8> eight = {'C', 'o', 'n', 'f', 'e', 'r', 'e', 'n'};
    EXPECT_EQ(settings.Profiles[0].Name, eight);

    const std::string again = Folder.File("again.rpr");
    ASSERT_TRUE(SaveProfileFile(again, settings, 12));
    EXPECT_EQ(TIniFile(again).ReadString("Profile 1", "Name", ""), "Conferen");

    // A name with outer blanks survives a round trip; an empty "Name=" clears the
    // name.
    SetName(settings.Profiles[2], "  ab ");
    ASSERT_TRUE(SaveProfileFile(again, settings, 12));
    TRecSettings back = FilledSettings(0x22);
    ASSERT_TRUE(ReadProfileFile(again, back, 12).Ok());
    EXPECT_EQ(back.Profiles[2].Name, settings.Profiles[2].Name);

    const std::string empty = OneProfile({"Name="});
    ASSERT_TRUE(ReadProfileFile(empty, settings, 12).Ok());
    EXPECT_EQ(settings.Profiles[0].Name, (std::array<std::uint8_t, 8>{}));
}

// Found by fuzzing: a zero byte inside a name ended it on saving but not on loading, so the
// saved file loaded back to other bytes.
TEST_F(ProfileFileTest, AZeroByteEndsTheNameSoItLoadsBackAsSaved) {
    const std::string file = OneProfile({std::string("Name=P2\xF2\0\0p`", 10)});
    TRecSettings settings = SampleSettings();
    ASSERT_TRUE(ReadProfileFile(file, settings, 12).Ok());
    const std::array<std::uint8_t, 8> name = {'P', '2', 0xF2, 0, 0, 0, 0, 0};
    EXPECT_EQ(settings.Profiles[0].Name, name);

    const std::string saved = Folder.File("saved.rpr");
    ASSERT_TRUE(SaveProfileFile(saved, settings, 12));
    TRecSettings back = FilledSettings(0x22);
    ASSERT_TRUE(ReadProfileFile(saved, back, 12).Ok());
    EXPECT_EQ(back.Profiles[0].Name, name);
}

TEST_F(ProfileFileTest, MissingKeysKeepTheirFieldsAndAMissingSectionEmptiesTheName) {
    // Profile 3 is missing whole; profile 5 has only a name and an empty number.
    std::string text = "[Recorder model]\r\nModel=12\r\n";
    for (int i = 1; i <= 8; ++i) {
        if (i == 3)
            continue;
        text += "[Profile " + std::to_string(i) + "]\r\n";
        text += i == 5 ? "Name=Only\r\nVasTime=\r\n" : "Name=P" + std::to_string(i) + "\r\n";
    }
    const std::string file = Write("partial.rpr", text);
    TRecSettings settings = SampleSettings();
    ASSERT_TRUE(ReadProfileFile(file, settings, 12).Ok());

    TRecSettings expected = SampleSettings();
    for (int i = 1; i <= 8; ++i)
        SetName(expected.Profiles[i - 1],
                i == 3 ? "" : (i == 5 ? "Only" : "P" + std::to_string(i)));
    EXPECT_EQ(settings, expected);
    EXPECT_EQ(settings.Profiles[2].Name, (std::array<std::uint8_t, 8>{}));

    // A section without "Name" empties the name too.
    ASSERT_TRUE(ReadProfileFile(OneProfile({"VasTime=4"}), settings, 12).Ok());
    EXPECT_EQ(settings.Profiles[0].Name, (std::array<std::uint8_t, 8>{}));
    EXPECT_EQ(settings.Profiles[0].VasTime, 4);
}

TEST_F(ProfileFileTest, NumbersAreStoredTruncatedToTheirFieldUnchecked) {
    struct TCase {
        const char* Line;
        int Offset; // in the 37-byte profile
        int Width;  // 1 or 2 bytes
        int Stored;
    } const cases[] = {
        {"Sample Rate=6", 10, 1, 6},
        {"Sample Rate=-1", 10, 1, 0xFF},
        {"Compress=3", 11, 1, 3},
        {"CompressParam=5", 12, 1, 5},
        {"CycleBufSize=0", 14, 1, 0},
        {"CycleBufSize=300", 14, 1, 300 & 0xFF},
        {"TimerType=0", 15, 1, 0},
        {"TimerStartHour=24", 16, 1, 24},
        {"TimerStartMonth=13", 19, 1, 13},
        {"TimerStartYear=257", 20, 2, 257},
        {"TimerStopYear=0", 26, 2, 0},
        {"TimerStopYear=65536", 26, 2, 0},
        {"TimerStopYear=70000", 26, 2, 70000 & 0xFFFF},
        {"VasLevel=-56", 29, 1, 0xC8},
        {"VasLevel=201", 29, 1, 201},
        {"VasTime=0", 30, 1, 0},
        {"PGAC_Gain=1", 31, 1, 1},
        {"PGAC_Mode=1", 32, 1, 1},
        {"PGAC_FastAttack=$FF", 33, 1, 0xFF},
        {"PGAC_SlowRelease=-1", 36, 1, 0xFF},
        {"Compress=fast", 11, 1, 2},       // no number: the field keeps its value
        {"VasTime=", 30, 1, 1},            // empty: the same
        {"VasTime=99999999999", 30, 1, 1}, // beyond 32 bits: the same
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Line);
        const std::string file = OneProfile({"Name=Any", c.Line});
        TRecSettings settings = SampleSettings();
        Ui.Messages.clear();
        ASSERT_TRUE(LoadProfileFile(file, settings, 12, Ui));
        EXPECT_TRUE(Ui.Messages.empty());
        const std::array<std::uint8_t, TRecProfile::Size> bytes = settings.Profiles[0].ToBytes();
        const int stored =
            c.Width == 1 ? bytes[c.Offset] : bytes[c.Offset] | bytes[c.Offset + 1] << 8;
        EXPECT_EQ(stored, c.Stored);
        // Nothing else of the record moved but the names of the profiles without a section.
        EXPECT_EQ(settings,
                  WithProfileFrom(NamesEmptied(SampleSettings()), 0, settings.Profiles[0]));
    }
}

TEST_F(ProfileFileTest, LoadTellsTheUserWhyAFileIsRefused) {
    struct TCase {
        const char* name;
        std::string bytes; // empty: no file
        bool folder;
        const char* message;
    } const cases[] = {
        {"missing", "", false, CannotLoadText},
        {"folder", "", true, CannotLoadText},
        {"no model", WindowsText({"[Profile 1]", "Name=X"}), false, InvalidFormatText},
        {"empty model", WindowsText({"[Recorder model]", "Model=", "[Profile 1]"}), false,
         InvalidFormatText},
        {"other model", WindowsText({"[Recorder model]", "Model=9, 11"}), false, InvalidFormatText},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = Folder.File(c.name);
        if (c.folder)
            fs::create_directory(file);
        else if (!c.bytes.empty())
            WriteBytes(file, c.bytes);
        TRecSettings settings = SampleSettings();
        Ui.Messages.clear();
        EXPECT_FALSE(LoadProfileFile(file, settings, 12, Ui));
        EXPECT_EQ(Ui.Messages, std::vector<std::string>{c.message});
        EXPECT_EQ(settings, SampleSettings());
    }
    TRecSettings settings = SampleSettings();
    Ui.Messages.clear();
    EXPECT_TRUE(LoadProfileFile(OneProfile({"Name=Fine"}), settings, 12, Ui));
    EXPECT_TRUE(Ui.Messages.empty());
    EXPECT_EQ(NameOf(settings.Profiles[0]), "Fine");
}

TEST_F(ProfileFileTest, SaveReplacesTheOldFileWhole) {
    const std::string file =
        Write("old.rpr", WindowsText({"; kept by nobody", "[Recorder model]", "Model=3",
                                      "[Profile 9]", "Name=Stale", "[Extra]", "Key=1"}));
    ::chmod(file.c_str(), 0600);
    ASSERT_TRUE(SaveProfileFile(file, SampleSettings(), 12));
    const TIniFile ini(file);
    EXPECT_EQ(ini.ReadSections().size(), 9u);
    EXPECT_FALSE(ini.SectionExists("Profile 9"));
    EXPECT_FALSE(ini.SectionExists("Extra"));
    EXPECT_EQ(ini.ReadString("Recorder model", "Model", ""), "12");
    EXPECT_EQ(testsupport::ReadFileBytes(file).find("kept by nobody"), std::string::npos);
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(Folder.Names(), std::vector<std::string>{"old.rpr"}); // no temporary left

    // Saving through a link replaces the file it points at and keeps the link.
    const std::string link = Folder.File("link.rpr");
    fs::create_symlink(file, link);
    TRecSettings other = SampleSettings();
    SetName(other.Profiles[0], "Linked");
    ASSERT_TRUE(SaveProfileFile(link, other, 12));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(TIniFile(file).ReadString("Profile 1", "Name", ""), "Linked");
}

TEST_F(ProfileFileTest, FailedSaveReportsFailureAndLeavesNothing) {
    const std::string folderTarget = Folder.File("taken");
    fs::create_directory(folderTarget);
    const std::string cases[] = {folderTarget, Folder.File("no/such/folder/x.rpr")};
    for (const std::string& target : cases) {
        SCOPED_TRACE(target);
        Ui.Messages.clear();
        EXPECT_FALSE(SaveProfileFile(target, SampleSettings(), 12, Ui));
        EXPECT_EQ(Ui.Messages, std::vector<std::string>{CannotSaveText});
    }
    EXPECT_TRUE(fs::is_directory(folderTarget));
    EXPECT_TRUE(fs::is_empty(folderTarget));
    EXPECT_EQ(Folder.Names(), std::vector<std::string>{"taken"});
}

TEST_F(ProfileFileTest, DefaultProfileLoadsOnlyWhenPresent) {
    const std::string prefix = Folder.File("OMVela");
    TRecSettings settings = SampleSettings();
    EXPECT_FALSE(LoadDefaultProfile(prefix, settings, 12, Ui));
    EXPECT_TRUE(Ui.Messages.empty());
    EXPECT_EQ(settings, SampleSettings());

    Write("OMVela.def", WindowsText({"[Recorder model]", "Model=1, 12", "[Profile 4]",
                                     "Name=Factory", "VasLevel=-20"}));
    EXPECT_TRUE(LoadDefaultProfile(prefix, settings, 12, Ui));
    EXPECT_EQ(NameOf(settings.Profiles[3]), "Factory");
    EXPECT_EQ(settings.Profiles[3].VasLevel, -20);
    EXPECT_TRUE(Ui.Messages.empty());

    TRecSettings other = SampleSettings();
    EXPECT_FALSE(LoadDefaultProfile(prefix, other, 2, Ui));
    EXPECT_EQ(Ui.Messages, std::vector<std::string>{InvalidFormatText});
    EXPECT_EQ(other, SampleSettings());
}

class PresetFileTest : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const std::string& bytes) {
        const std::string path = Folder.File(name);
        WriteBytes(path, bytes);
        return path;
    }
    TTempFolder Folder;
};

TEST_F(PresetFileTest, QualityPresetsInFileOrderWithTheirLanguageNames) {
    const std::string file =
        Write("q.ini", "\xEF\xBB\xBF" + WindowsText({
                                            "[Best]",
                                            "1033=Best quality",
                                            "1049=\xD0\x9B\xD1\x83\xD1\x87\xD1\x88\xD0\xB5\xD0\xB5",
                                            "compression = 0",
                                            "CompressParam=0",
                                            "BitRate=1",
                                            "[Speech]",
                                            "1033=Speech",
                                            "Compression=2",
                                            "CompressParam=2",
                                            "BITRATE=3",
                                            "[Plain]", // no names at all
                                            "Compression=1",
                                            "CompressParam=\"3\"",
                                            "BitRate=2",
                                            "[Twin]",
                                            "1033=Speech again",
                                            "Compression=2",
                                            "CompressParam=2",
                                            "BitRate=3",
                                        }));
    TQualityPresetList english;
    LoadQualityPresets(file, 1033, english);
    ASSERT_EQ(english.Count(), 4);
    EXPECT_EQ(english[0].Name, "Best quality");
    EXPECT_EQ(english[1].Name, "Speech");
    EXPECT_EQ(english[2].Name, "Plain");
    EXPECT_EQ(english[2].Compression, 1);
    EXPECT_EQ(english[2].CompressParam, 3);
    EXPECT_EQ(english[2].BitRate, 2);

    TQualityPresetList russian;
    LoadQualityPresets(file, 1049, russian);
    ASSERT_EQ(russian.Count(), 4);
    EXPECT_EQ(russian[0].Name, "\xD0\x9B\xD1\x83\xD1\x87\xD1\x88\xD0\xB5\xD0\xB5");
    EXPECT_EQ(russian[1].Name,
              "Speech"); // no key for the language: the section name

    TRecProfile profile;
    profile.SampleRate = 3;
    profile.Compress = 2;
    profile.CompressParam = 2;
    EXPECT_EQ(FindQualityPreset(english, profile),
              1); // the first of two equal presets
    profile.CompressParam = 1;
    EXPECT_EQ(FindQualityPreset(english, profile), -1);
    ApplyQualityPreset(english[0], profile);
    EXPECT_EQ(FindQualityPreset(english, profile), 0);
    EXPECT_EQ(profile.SampleRate, 1);
    EXPECT_EQ(profile.Compress, 0);
}

TEST_F(PresetFileTest, VasAndAmpPresetsReadTheirBytes) {
    const std::string vas =
        Write("v.ini", WindowsText({"[Quiet]", "Level=-50", "Time=15", "[Loud]", "level = -10",
                                    "TIME=2", "[Same]", "Level=-50", "Time=15"}));
    TVasPresetList vasList;
    LoadVasPresets(vas, 1033, vasList);
    ASSERT_EQ(vasList.Count(), 3);
    EXPECT_EQ(vasList[1].Level, -10);
    EXPECT_EQ(vasList[1].Time, 2);
    TRecProfile profile;
    ApplyVasPreset(vasList[2], profile);
    EXPECT_EQ(profile.VasLevel, -50);
    EXPECT_EQ(FindVasPreset(vasList, profile), 0);
    profile.VasTime = 14;
    EXPECT_EQ(FindVasPreset(vasList, profile), -1);

    // Key order does not matter; a missing key reads 0 (Mode 0 is AGC on).
    const std::string amp =
        Write("a.ini", WindowsText({"[Room]", "SlowRelease=4", "SlowAttack=2", "FastRelease=8",
                                    "FastAttack=3", "Mode=0", "[Off]", "Mode=255", "FastAttack=8",
                                    "FastRelease=8", "SlowAttack=4", "SlowRelease=4", "[Bare]"}));
    TAmpPresetList ampList;
    LoadAmpPresets(amp, 1033, ampList);
    ASSERT_EQ(ampList.Count(), 3);
    const TAmpPreset& room = ampList[0];
    EXPECT_EQ(room.Mode, 0);
    EXPECT_EQ(room.FastAttack, 3);
    EXPECT_EQ(room.FastRelease, 8);
    EXPECT_EQ(room.SlowAttack, 2);
    EXPECT_EQ(room.SlowRelease, 4);
    ApplyAmpPreset(ampList[1], profile);
    EXPECT_EQ(profile.PgacMode, 0xFF);
    EXPECT_EQ(FindAmpPreset(ampList, profile), 1);
    profile = TRecProfile{};
    EXPECT_EQ(FindAmpPreset(ampList, profile), 2); // "Bare": every byte 0
    profile.PgacSlowRelease = 1;
    EXPECT_EQ(FindAmpPreset(ampList, profile), -1);
}

TEST_F(PresetFileTest, EverySectionIsAPresetAndMissingFilesGiveEmptyLists) {
    // Missing keys and words read 0; numbers are truncated to their byte, unchecked.
    const std::string vas = Write(
        "v.ini", WindowsText({"[TooLow]", "Level=-60", "Time=5", "[NoTime]", "Level=-20", "[Words]",
                              "Level=loud", "Time=5", "[Positive]", "Level=20", "Time=300"}));
    TVasPresetList vasList;
    LoadVasPresets(vas, 1033, vasList);
    ASSERT_EQ(vasList.Count(), 4);
    EXPECT_EQ(vasList[0].Level, -60);
    EXPECT_EQ(vasList[1].Name, "NoTime");
    EXPECT_EQ(vasList[1].Level, -20);
    EXPECT_EQ(vasList[1].Time, 0);
    EXPECT_EQ(vasList[2].Level, 0);
    EXPECT_EQ(vasList[3].Level, 20);
    EXPECT_EQ(vasList[3].Time, 300 & 0xFF);

    const std::string quality =
        Write("q.ini", WindowsText({"[Adpcm40k]", "Compression=2", "CompressParam=1", "BitRate=0",
                                    "[Rate6]", "BitRate=6", "[None]"}));
    TQualityPresetList qualityList;
    LoadQualityPresets(quality, 1033, qualityList);
    ASSERT_EQ(qualityList.Count(), 3);
    EXPECT_EQ(qualityList[0].Compression, 2);
    EXPECT_EQ(qualityList[1].BitRate, 6);
    EXPECT_EQ(qualityList[1].Compression, 0);
    EXPECT_EQ(qualityList[2].Name, "None");

    const std::string amp =
        Write("a.ini", WindowsText({"[Mode1]", "Mode=1", "[Rate16]", "FastAttack=16", "[Ok]"}));
    TAmpPresetList ampList;
    LoadAmpPresets(amp, 1033, ampList);
    ASSERT_EQ(ampList.Count(), 3);
    EXPECT_EQ(ampList[0].Mode, 1);
    EXPECT_EQ(ampList[1].FastAttack, 16);
    EXPECT_EQ(ampList[1].Mode, 0);

    // Loading again clears the list first, also when the file is gone.
    LoadAmpPresets(Folder.File("gone.ini"), 1033, ampList);
    EXPECT_EQ(ampList.Count(), 0);
    LoadVasPresets(vas, 1033, vasList);
    EXPECT_EQ(vasList.Count(), 4);
}

// The files the build places beside the program.
class ProgramFilesTest : public ::testing::Test {
protected:
    static std::string FilesFolder() {
        return (testsupport::TestDataFolder() / ".." / ".." / "engine" / "files")
            .lexically_normal()
            .string();
    }
    std::string Prefix() const { return RecFilePrefixPath(FilesFolder()); }
};

TEST_F(ProgramFilesTest, AreWindowsTextFiles) {
    for (const std::string& file :
         {DefaultProfileFileName(Prefix()), QualityPresetFileName(Prefix()),
          VasPresetFileName(Prefix()), AmpPresetFileName(Prefix())}) {
        SCOPED_TRACE(file);
        const std::string text = testsupport::ReadFileBytes(file);
        ASSERT_FALSE(text.empty());
        EXPECT_TRUE(text.ends_with("\r\n"));
        for (std::size_t pos = text.find('\n'); pos != std::string::npos;
             pos = text.find('\n', pos + 1))
            ASSERT_TRUE(pos > 0 && text[pos - 1] == '\r') << "bare LF at byte " << pos;
    }
}

TEST_F(ProgramFilesTest, FactoryProfileSetsEveryFieldForItsModels) {
    const std::string file = DefaultProfileFileName(Prefix());
    for (std::uint8_t model : {1, 9, 12}) {
        SCOPED_TRACE(model);
        // Two starting records that differ in every value end up equal only when the file
        // sets every field (a switch that agrees with the file keeps its byte, so both
        // start with the switches off).
        TRecSettings a = FilledSettings(0x00);
        TRecSettings b = OtherValuesThan(a);
        TRecordingUi ui;
        ASSERT_TRUE(LoadProfileFile(file, a, model, ui));
        ASSERT_TRUE(LoadProfileFile(file, b, model, ui));
        for (std::size_t i = 0; i < TRecSettings::ProfileCount; ++i) {
            TRecProfile pa = a.Profiles[i];
            TRecProfile pb = b.Profiles[i];
            pa.Request = pb.Request;
            pa.Number = pb.Number;
            EXPECT_EQ(pa, pb) << "profile " << i + 1;
            EXPECT_FALSE(NameOf(pa).empty());
        }
    }
    TRecSettings settings;
    EXPECT_EQ(ReadProfileFile(file, settings, 2).Error, TProfileFileError::WrongModel);
}

TEST_F(ProgramFilesTest, PresetFilesLoadWholeInEveryLanguage) {
    auto names = [](const auto& list) {
        std::vector<std::string> out;
        for (const auto& preset : list)
            out.push_back(preset.Name);
        return out;
    };
    for (std::uint16_t lang : {1033, 1049, 1031}) {
        SCOPED_TRACE(lang);
        TQualityPresetList quality;
        TVasPresetList vas;
        TAmpPresetList amp;
        LoadQualityPresets(QualityPresetFileName(Prefix()), lang, quality);
        LoadVasPresets(VasPresetFileName(Prefix()), lang, vas);
        LoadAmpPresets(AmpPresetFileName(Prefix()), lang, amp);
        // One preset per section.
        EXPECT_EQ(
            quality.Count(),
            static_cast<int>(TIniFile(QualityPresetFileName(Prefix())).ReadSections().size()));
        EXPECT_EQ(vas.Count(),
                  static_cast<int>(TIniFile(VasPresetFileName(Prefix())).ReadSections().size()));
        EXPECT_EQ(amp.Count(),
                  static_cast<int>(TIniFile(AmpPresetFileName(Prefix())).ReadSections().size()));
        EXPECT_GE(quality.Count(), 4);
        EXPECT_GE(vas.Count(), 3);
        EXPECT_GE(amp.Count(), 3);
        for (const auto& list : {names(quality), names(vas), names(amp)}) {
            for (const std::string& name : list)
                EXPECT_FALSE(name.empty());
        }
        if (lang == 1049) {
            TQualityPresetList english;
            LoadQualityPresets(QualityPresetFileName(Prefix()), 1033, english);
            EXPECT_NE(names(quality), names(english));
        }
    }
    // The factory profiles find their presets.
    TRecSettings settings;
    TRecordingUi ui;
    ASSERT_TRUE(LoadProfileFile(DefaultProfileFileName(Prefix()), settings, 12, ui));
    TQualityPresetList quality;
    LoadQualityPresets(QualityPresetFileName(Prefix()), 1033, quality);
    EXPECT_GE(FindQualityPreset(quality, settings.Profiles[0]), 0);
}

} // namespace
