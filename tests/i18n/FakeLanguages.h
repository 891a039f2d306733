#pragma once

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <unistd.h>
#include <vector>

#include "i18n/VexaLangController.h"
#include "i18n/VexaLangError.h"
#include "i18n/VexaLangManager.h"
#include "i18n/VexaLangTranslations.h"
#include "tests/support/TempDir.h"

// Language files for the manager's tests: the files exist on disk (empty) so that scanning
// finds them, and their contents are described here instead of parsed.
struct TFakeLanguageFile {
    using TConstants = std::vector<std::pair<std::string, std::string>>;
    using TTexts = std::vector<std::tuple<std::string, int, std::string>>; // section, id, text

    TFakeLanguageFile(std::uint16_t langId = 0, TConstants constants = {}, TTexts texts = {},
                      bool failsToLoad = false)
        : LangId(langId), Constants(std::move(constants)), Texts(std::move(texts)),
          FailsToLoad(failsToLoad) {}

    std::uint16_t LangId;
    TConstants Constants;
    TTexts Texts;
    bool FailsToLoad;
};

class TFakeLanguageReader : public TVexaLangFileReader {
public:
    std::uint16_t ReadLanguageId(const std::string& fileName) override {
        return FileFor(fileName).LangId;
    }
    std::unique_ptr<TVexaLang_CompTranslations>
    LoadTranslations(const std::string& fileName) override {
        const TFakeLanguageFile& file = FileFor(fileName);
        ++Loads;
        if (file.FailsToLoad)
            throw EVexaLangError("Loading translations failed.\r\nLine 3: broken");
        auto translations = std::make_unique<TVexaLang_CompTranslations>();
        translations->SetParameter("LANGID", std::to_string(file.LangId));
        for (const auto& [name, value] : file.Constants)
            translations->Constants().Add(name, value);
        for (const auto& [section, id, text] : file.Texts)
            translations->AddSection(section).Add(id, text);
        return translations;
    }

    std::map<std::string, TFakeLanguageFile> Files; // by file name without folder
    int Loads = 0;

private:
    const TFakeLanguageFile& FileFor(const std::string& fileName) {
        auto it = Files.find(std::filesystem::path(fileName).filename().string());
        if (it == Files.end())
            throw EVexaLangError("no such fake file: " + fileName);
        return it->second;
    }
};

// A controller that writes what the manager asks of it into a shared log.
class TFakeController : public TCustomVexaLanguageController {
public:
    TFakeController(std::string section, std::vector<std::string>& log)
        : Section(std::move(section)), Log(log) {}

    std::string SectionName() const override { return Section; }
    void LanguageChanging() override {
        Log.push_back("changing " + Section);
        if (OnChanging)
            OnChanging();
    }
    void ApplyLanguage(const TVexaLang_CompTranslation* section) override {
        std::string text = "apply " + Section + ":";
        if (section == nullptr) {
            text += " defaults";
        } else {
            for (int i = 0; i < section->Count(); ++i)
                text.append(" ")
                    .append(std::to_string(section->Item(i).Id))
                    .append("=")
                    .append(section->Item(i).Text);
        }
        Log.push_back(text);
    }
    void LanguageChanged() override {
        Log.push_back("changed " + Section);
        if (OnChanged)
            OnChanged();
    }

    std::function<void()> OnChanging;
    std::function<void()> OnChanged;

private:
    std::string Section;
    std::vector<std::string>& Log;
};

// A fresh folder that holds the (empty) language files.
class TLanguageFolder : public testsupport::TTempDir {
public:
    std::string Touch(const std::string& relativeName) const {
        std::filesystem::path file = Path / relativeName;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream{file};
        return file.string();
    }
};
