#include <atomic>
#include <gtest/gtest.h>
#include <set>
#include <thread>

#include "i18n/VexaLang.h"
#include "tests/i18n/FakeLanguages.h"
#include "tests/i18n/StreamBytes.h"

namespace {

TResourceModule ModuleWith(const std::vector<std::pair<std::string, std::string>>& constants) {
    TVexaLang_Constants table;
    for (const auto& [name, value] : constants)
        table.Add(name, value);
    TResourceModule module;
    module.AddResource("VEXALANG_CONSTS", table.WriteConstantsStream());
    return module;
}

// Three constants and three languages: German translates X and Y, Russian only Y,
// and French fails to load.
class LanguageManagerTest : public ::testing::Test {
protected:
    LanguageManagerTest()
        : Module(ModuleWith({{"XStr", "x"}, {"YStr", "y"}, {"ZStr", "z"}})), Manager(Module) {
        Reader = std::make_shared<TFakeLanguageReader>();
        Reader->Files["Quorvex_de.lng"] = {
            1031, {{"XStr", "x de"}, {"YStr", "y de"}}, {{"frmMain", 1, "Datei"}}};
        Reader->Files["Quorvex_ru.lng"] = {
            1049, {{"ystr", "y ru"}}, {{"FRMMAIN", 1, "File ru"}, {"frmAbout", 2, "About ru"}}};
        Reader->Files["Quorvex_fr.lng"] = {1036, {{"XStr", "x fr"}}, {}, true};
        Manager.SetFileReader(Reader);
        for (const auto& entry : Reader->Files)
            Manager.AddLanguageFile(Folder.Touch(entry.first));
    }

    std::vector<std::string> Texts() const {
        return {Manager.ConstantText("XStr"), Manager.ConstantText("YStr"),
                Manager.ConstantText("ZStr")};
    }

    TLanguageFolder Folder;
    TResourceModule Module;
    TVexaLanguageManager Manager;
    std::shared_ptr<TFakeLanguageReader> Reader;
    std::vector<std::string> Log;
};

using TStrings = std::vector<std::string>;

} // namespace

TEST(LanguageManager, FreshManagerHasOnlyTheDefaultLanguage) {
    TResourceModule module = ModuleWith({{"AStr", "a"}});
    TVexaLanguageManager manager(module);
    EXPECT_EQ(manager.GetLanguageCount(), 1);
    EXPECT_EQ(manager.GetDefaultLanguageID(), 1033);
    EXPECT_EQ(manager.GetCurrentLanguageID(), 1033);
    EXPECT_EQ(manager.GetLanguageIDByIndex(0), 1033);
    EXPECT_EQ(manager.IndexOfLanguageID(1033), 0);
    EXPECT_EQ(manager.IndexOfLanguageID(1049), -1);
    EXPECT_EQ(manager.GetLanguageName(0), "English (United States)");
    EXPECT_EQ(manager.CodePage(), 1252u);
    EXPECT_THROW(manager.GetLanguageIDByIndex(1), EVexaLangError);
    EXPECT_THROW(manager.GetLanguageIDByIndex(-1), EVexaLangError);
    EXPECT_EQ(manager.ConstantText("astr"), "a");

    manager.SetDefaultLanguageID(0);
    EXPECT_EQ(manager.IndexOfLanguageID(0), 0);
    EXPECT_EQ(manager.GetLanguageName(0), "0"); // no locale name: the number
}

TEST(LanguageManager, CreationNeedsAValidResourceButNotAResource) {
    TResourceModule empty;
    TVexaLanguageManager withoutConstants(empty);
    EXPECT_THROW(withoutConstants.ConstantText("AccessQuestionStr"), EVexaLangError);

    TResourceModule broken;
    broken.AddResource("VEXALANG_CONSTS", TStreamBytes().Byte(9).Bytes);
    EXPECT_THROW(TVexaLanguageManager{broken}, EVexaLangError);

    // An old stream's values are read in the code page of the current language (English).
    TResourceModule old;
    old.AddResource("VEXALANG_CONSTS",
                    TStreamBytes().Byte(1).I32(1).Narrow("CafeStr").Narrow("Caf\xE9").Bytes);
    TVexaLanguageManager fromOld(old);
    EXPECT_EQ(fromOld.ConstantText("CafeStr"), "Caf\xC3\xA9");
}

TEST(LanguageManager, ScanRegistersOneFilePerLanguageInNameOrder) {
    TLanguageFolder folder;
    auto reader = std::make_shared<TFakeLanguageReader>();
    reader->Files = {
        {"Quorvex_de.lng", {1031}},     {"Quorvex_ru.lng", {1049}},
        {"Quorvex_ru2.lng", {1049}},    // the later file of one language replaces the first
        {"Quorvex_en.lng", {1033}},     // the default language: counts, is not listed
        {"Quorvex_none.lng", {0}},      // no LANGID: does not count
        {"QUORVEX_UK.LNG", {1058}},     // the mask ignores letter case
        {"Quorvex_pl.txt", {1045}},     // does not match the mask
        {"sub/Quorvex_cs.lng", {1029}}, // only with recursion, and only in matching folders
    };
    for (const auto& entry : reader->Files)
        folder.Touch(entry.first);
    folder.Touch("Quorvex_sub.lng/Quorvex_cs.lng");
    folder.Touch(".Quorvex_hidden.lng/Quorvex_sk.lng");
    reader->Files["Quorvex_cs.lng"] = {1029};
    reader->Files["Quorvex_sk.lng"] = {1051};

    TResourceModule module;
    TVexaLanguageManager manager(module);
    manager.SetFileReader(reader);
    EXPECT_EQ(manager.FindLanguageFiles(folder.Path.string(), "Quorvex_*.lng", false), 5);
    ASSERT_EQ(manager.GetLanguageCount(), 4);
    // Name order: de, en, none, ru, ru2, UK.
    EXPECT_EQ(manager.GetLanguageIDByIndex(1), 1031);
    EXPECT_EQ(manager.GetLanguageIDByIndex(2), 1049);
    EXPECT_EQ(manager.GetLanguageIDByIndex(3), 1058);
    EXPECT_EQ(std::filesystem::path(manager.GetLanguageFileName(2)).filename(), "Quorvex_ru2.lng");
    EXPECT_EQ(manager.GetLanguageName(2), "Russian (Russia)");
    EXPECT_EQ(manager.IndexOfLanguageID(1058), 3);

    // Recursion enters matching folders, but never one whose name begins with a dot.
    EXPECT_EQ(manager.FindLanguageFiles(folder.Path.string(), "*.lng", true), 6);
    EXPECT_EQ(manager.IndexOfLanguageID(1029), 4);
    EXPECT_EQ(manager.IndexOfLanguageID(1051), -1);

    EXPECT_EQ(manager.FindLanguageFiles((folder.Path / "missing").string(), "*", true), 0);
    EXPECT_FALSE(manager.AddLanguageFile((folder.Path / "missing.lng").string()));
    // A file the reader cannot read offers no language and stops nothing.
    EXPECT_FALSE(manager.AddLanguageFile(folder.Touch("unknown.lng")));
}

TEST_F(LanguageManagerTest, SwitchTranslatesConstantsAndControllersInOrder) {
    TFakeController main("frmMain", Log), about("frmAbout", Log);
    Manager.RegisterController(&main);
    Manager.RegisterController(&about);

    Manager.SetCurrentLanguageID(1031);
    EXPECT_EQ(Manager.GetCurrentLanguageID(), 1031);
    EXPECT_EQ(Texts(), (TStrings{"x de", "y de", "z"}));
    EXPECT_EQ(Log, (TStrings{"changing frmMain", "apply frmMain: 1=Datei", "changed frmMain",
                             "changing frmAbout", "apply frmAbout: defaults", "changed frmAbout"}));

    // Russian lacks X: X keeps the German text. Sections match without regard to case.
    Log.clear();
    Manager.SetCurrentLanguageID(1049);
    EXPECT_EQ(Texts(), (TStrings{"x de", "y ru", "z"}));
    EXPECT_EQ(Manager.CodePage(), 1251u);
    EXPECT_EQ(Log[1], "apply frmMain: 1=File ru");
    EXPECT_EQ(Log[4], "apply frmAbout: 2=About ru");

    // Back to the default restores every default.
    Log.clear();
    Manager.SetCurrentLanguageID(1033);
    EXPECT_EQ(Texts(), (TStrings{"x", "y", "z"}));
    EXPECT_EQ(Manager.CodePage(), 1252u);
    EXPECT_EQ(Log, (TStrings{"changing frmMain", "apply frmMain: defaults", "changed frmMain",
                             "changing frmAbout", "apply frmAbout: defaults", "changed frmAbout"}));
    Manager.UnregisterController(&main);
    Manager.UnregisterController(&about);
}

TEST_F(LanguageManagerTest, SwitchesThatChangeNothingFireNothing) {
    TFakeController main("frmMain", Log);
    Manager.RegisterController(&main);

    Manager.SetCurrentLanguageID(1033); // already current
    Manager.SetCurrentLanguageID(2052); // not listed: the default, already current
    EXPECT_TRUE(Log.empty());
    EXPECT_EQ(Reader->Loads, 0);

    Manager.SetCurrentLanguageID(1031);
    Log.clear();
    Manager.SetCurrentLanguageID(1031); // loaded again, but the same language
    EXPECT_TRUE(Log.empty());
    EXPECT_EQ(Texts(), (TStrings{"x de", "y de", "z"}));

    Manager.SetCurrentLanguageID(2052); // not listed: back to the default
    EXPECT_EQ(Manager.GetCurrentLanguageID(), 1033);
    EXPECT_EQ(Texts(), (TStrings{"x", "y", "z"}));
    EXPECT_EQ(Log.size(), 3u);
    Manager.UnregisterController(&main);
}

TEST_F(LanguageManagerTest, LanguageThatFailsToLoadChangesNothing) {
    TFakeController main("frmMain", Log);
    Manager.RegisterController(&main);
    Manager.SetCurrentLanguageID(1031);
    Log.clear();

    try {
        Manager.SetCurrentLanguageID(1036);
        FAIL() << "no error";
    } catch (const EVexaLangError& error) {
        EXPECT_STREQ(error.what(), "Loading translations failed.\r\nLine 3: broken");
    }
    EXPECT_EQ(Manager.GetCurrentLanguageID(), 1031);
    EXPECT_EQ(Manager.CodePage(), 1252u);
    EXPECT_EQ(Texts(), (TStrings{"x de", "y de", "z"}));
    EXPECT_TRUE(Log.empty());
    // The lock was released on the way out.
    Manager.SetCurrentLanguageID(1049);
    EXPECT_EQ(Manager.GetCurrentLanguageID(), 1049);
    Manager.UnregisterController(&main);
}

TEST_F(LanguageManagerTest, HandlersMayReadConstantsAndOpenOrCloseForms) {
    TFakeController main("frmMain", Log), closing("frmClosing", Log), opened("frmNew", Log);
    std::string seenByHandler;
    main.OnChanged = [&] {
        seenByHandler = Manager.ConstantText("XStr"); // read lock inside the read lock
        Manager.UnregisterController(&closing);       // write lock inside the read lock
        Manager.RegisterController(&opened);
    };
    Manager.RegisterController(&main);
    Manager.RegisterController(&closing);

    Manager.SetCurrentLanguageID(1031);
    EXPECT_EQ(seenByHandler, "x de");
    // The closed form is not touched; the new one comes up through its own apply.
    EXPECT_EQ(Log, (TStrings{"changing frmMain", "apply frmMain: 1=Datei", "changed frmMain"}));

    Log.clear();
    main.OnChanged = nullptr;
    Manager.SetCurrentLanguageID(1033);
    EXPECT_EQ(Log, (TStrings{"changing frmMain", "apply frmMain: defaults", "changed frmMain",
                             "changing frmNew", "apply frmNew: defaults", "changed frmNew"}));
    Manager.UnregisterController(&main);
    Manager.UnregisterController(&opened);
}

TEST_F(LanguageManagerTest, FormCreatedAfterASwitchComesUpInTheCurrentLanguage) {
    TFakeController late("frmMain", Log);
    Manager.ApplyCurrentLanguageToController(&late); // default language: nothing to do
    EXPECT_TRUE(Log.empty());

    Manager.SetCurrentLanguageID(1049);
    Manager.RegisterController(&late);
    Manager.ApplyCurrentLanguageToController(&late);
    EXPECT_EQ(Log, (TStrings{"apply frmMain: 1=File ru"}));
    Manager.UnregisterController(&late);
}

TEST_F(LanguageManagerTest, ReadersOnOtherThreadsNeverSeeAHalfSwitchedText) {
    const std::set<std::string> validX = {"x", "x de"};
    const std::set<std::string> validY = {"y", "y de"};
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < 3; ++i) {
        readers.emplace_back([&] {
            while (!stop.load(std::memory_order_acquire)) {
                if (!validX.count(Manager.ConstantText("XStr")) ||
                    !validY.count(Manager.ConstantText("YStr")))
                    ++bad;
                Manager.GetLanguageCount();
            }
        });
    }
    for (int round = 0; round < 100; ++round)
        Manager.SetCurrentLanguageID(round % 2 == 0 ? 1031 : 1033);
    stop.store(true, std::memory_order_release);
    for (std::thread& reader : readers)
        reader.join();
    EXPECT_EQ(bad.load(), 0);
    EXPECT_EQ(Texts(), (TStrings{"x", "y", "z"}));
}

TEST(VexaLangLock, NestsReadsWritesAndUpgradesOnOneThread) {
    TVexaLangLock lock;
    {
        TVexaLangLock::TReadGuard outer(lock);
        TVexaLangLock::TReadGuard inner(lock);
        {
            TVexaLangLock::TWriteGuard upgrade(lock);
            TVexaLangLock::TWriteGuard nested(lock);
            TVexaLangLock::TReadGuard readInWrite(lock);
        }
        TVexaLangLock::TReadGuard afterUpgrade(lock);
    }
    // Everything was released: another thread can take the lock for writing.
    bool written = false;
    std::thread other([&] {
        TVexaLangLock::TWriteGuard guard(lock);
        written = true;
    });
    other.join();
    EXPECT_TRUE(written);
}

// The program-wide functions, on the one manager of the process.
class FormatLangConstantTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto reader = std::make_shared<TFakeLanguageReader>();
        reader->Files["Quorvex_de.lng"] = {
            1031, {{"ExceptErrorStr", "FEHLER: %s. Befehl: %d; Code %d"}, {"ErrorStr", "Fehler"}}};
        reader->Files["Quorvex_ru.lng"] = {
            1049, {{"ExceptErrorStr", "\xD0\x9E\xD0\xA8\xD0\x98\xD0\x91\xD0\x9A\xD0\x90: %d %s"}}};
        LangManager()->SetFileReader(reader);
        for (const auto& entry : reader->Files)
            LangManager()->AddLanguageFile(Folder.Touch(entry.first));
    }
    void TearDown() override {
        LangManager()->SetCurrentLanguageID(LangManager()->GetDefaultLanguageID());
        LangManager()->SetFileReader(nullptr);
    }

    TLanguageFolder Folder;
};

TEST_F(FormatLangConstantTest, TranslationWithWrongPlaceholdersFallsBackToEnglish) {
    EXPECT_EQ(FormatLangConstant("ExceptErrorStr", "I/O Error", 3, 1),
              "ERROR: I/O Error. Cmd: 3; Error code 1");
    LangManager()->SetCurrentLanguageID(1031);
    EXPECT_EQ(GetLangConstant("ErrorStr"), "Fehler");
    EXPECT_EQ(FormatLangConstant("ExceptErrorStr", "I/O Error", 3, 1),
              "FEHLER: I/O Error. Befehl: 3; Code 1");
    LangManager()->SetCurrentLanguageID(1049);
    EXPECT_EQ(GetLangConstant("ErrorStr"), "Fehler"); // Russian lacks it: German stays
    EXPECT_EQ(FormatLangConstant("ExceptErrorStr", "I/O Error", 3, 1),
              "ERROR: I/O Error. Cmd: 3; Error code 1");
    LangManager()->SetCurrentLanguageID(1033);
    EXPECT_EQ(GetLangConstant("ErrorStr"), "Error");
    EXPECT_THROW(FormatLangConstant("NoSuchStr", 1), EVexaLangError);
}
