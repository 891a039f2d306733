#include "i18n/VexaLangManager.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "i18n/VexaLangController.h"
#include "i18n/VexaLangError.h"
#include "i18n/VexaLangLocale.h"
#include "platform/WildcardMask.h"

namespace fs = std::filesystem;

using TReadGuard = TVexaLangLock::TReadGuard;
using TWriteGuard = TVexaLangLock::TWriteGuard;

TVexaLanguageManager::TVexaLanguageManager(const TResourceModule& module)
    // The source is read while the lock is already held (or before anyone else can).
    : Constants([this] { return CurrentLanguageId; }) {
    CurrentCodePage = CodePageOfLanguage(CurrentLanguageId);
    Constants.LoadFromResource(module, ConstantsResourceName);
    Constants.TranslateFrom(nullptr);
}

std::string TVexaLanguageManager::ConstantText(std::string_view name) const {
    TReadGuard guard(Lock);
    return Constants.GetValueByName(name);
}

TVexaLang_Constant TVexaLanguageManager::Constant(std::string_view name) const {
    TReadGuard guard(Lock);
    return Constants.FindConstant(name);
}

std::vector<TVexaLang_Constant> TVexaLanguageManager::ConstantsSnapshot() const {
    TReadGuard guard(Lock);
    std::vector<TVexaLang_Constant> snapshot;
    snapshot.reserve(Constants.Count());
    for (int i = 0; i < Constants.Count(); ++i)
        snapshot.push_back(Constants.Item(i));
    return snapshot;
}

std::uint16_t TVexaLanguageManager::GetDefaultLanguageID() const {
    TReadGuard guard(Lock);
    return DefaultLanguageId;
}

std::uint16_t TVexaLanguageManager::GetCurrentLanguageID() const {
    TReadGuard guard(Lock);
    return CurrentLanguageId;
}

void TVexaLanguageManager::SetDefaultLanguageID(std::uint16_t langId) {
    TWriteGuard guard(Lock);
    DefaultLanguageId = langId;
}

unsigned TVexaLanguageManager::CodePage() const {
    TReadGuard guard(Lock);
    return CurrentCodePage;
}

void TVexaLanguageManager::SetCurrentLanguageID(std::uint16_t langId) {
    std::unique_ptr<TVexaLang_CompTranslations> translations;
    {
        TWriteGuard guard(Lock);
        translations = LoadLanguageTranslations(langId);
        std::uint16_t newId = translations ? langId : DefaultLanguageId;
        if (newId == CurrentLanguageId)
            return;
        CurrentLanguageId = newId;
        CurrentCodePage = CodePageOfLanguage(newId);
    }
    ApplyTranslations(translations.get());
}

// The second half of a switch. The constants change under the write lock so that readers
// on other threads never see a half-written text; the controllers run under the read lock
// so that their handlers may read constants.
void TVexaLanguageManager::ApplyTranslations(const TVexaLang_CompTranslations* translations) {
    {
        TWriteGuard guard(Lock);
        Constants.TranslateFrom(translations != nullptr ? &translations->Constants() : nullptr);
    }
    TReadGuard guard(Lock);
    // A handler may open or close a form, so walk a copy and skip controllers gone since.
    const std::vector<TCustomVexaLanguageController*> controllers = Controllers;
    for (TCustomVexaLanguageController* controller : controllers) {
        if (!IsRegistered(controller))
            continue;
        const TVexaLang_CompTranslation* section =
            translations != nullptr ? translations->FindSection(controller->SectionName())
                                    : nullptr;
        controller->LanguageChanging();
        if (IsRegistered(controller))
            controller->ApplyLanguage(section);
        if (IsRegistered(controller))
            controller->LanguageChanged();
    }
}

int TVexaLanguageManager::GetLanguageCount() const {
    TReadGuard guard(Lock);
    return Languages.Count() + 1;
}

std::uint16_t TVexaLanguageManager::GetLanguageIDByIndex(int index) const {
    TReadGuard guard(Lock);
    if (index == 0)
        return DefaultLanguageId;
    if (index < 0 || index > Languages.Count())
        throw EVexaLangError("Language index out of range (" + std::to_string(index) + ")");
    return Languages.Item(index - 1).LangId;
}

int TVexaLanguageManager::IndexOfLanguageID(std::uint16_t langId) const {
    TReadGuard guard(Lock);
    if (langId == DefaultLanguageId)
        return 0;
    int index = Languages.IndexOf(langId);
    return index >= 0 ? index + 1 : -1;
}

std::string TVexaLanguageManager::GetLanguageName(int index) const {
    return LanguageDisplayName(GetLanguageIDByIndex(index));
}

std::string TVexaLanguageManager::GetLanguageFileName(int index) const {
    TReadGuard guard(Lock);
    if (index == 0)
        return {};
    if (index < 0 || index > Languages.Count())
        throw EVexaLangError("Language index out of range (" + std::to_string(index) + ")");
    return Languages.Item(index - 1).FileName;
}

int TVexaLanguageManager::FindLanguageFiles(const std::string& folder, const std::string& mask,
                                            bool recursive) {
    std::error_code error;
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        if (MatchesMask(it->path().filename().string(), mask))
            entries.push_back(*it);
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
        return CompareTextAscii(a.path().filename().string(), b.path().filename().string()) < 0;
    });

    int count = 0;
    for (const fs::directory_entry& entry : entries) {
        std::error_code kindError;
        if (entry.is_directory(kindError)) {
            std::string name = entry.path().filename().string();
            if (recursive && !name.starts_with("."))
                count += FindLanguageFiles(entry.path().string(), mask, recursive);
        } else if (AddLanguageFile(entry.path().string())) {
            ++count;
        }
    }
    return count;
}

bool TVexaLanguageManager::AddLanguageFile(const std::string& fileName) {
    TWriteGuard guard(Lock);
    std::error_code error;
    if (!FileReader || !fs::is_regular_file(fileName, error))
        return false;
    std::uint16_t langId;
    try {
        langId = FileReader->ReadLanguageId(fileName);
    } catch (const std::exception&) {
        // An unreadable file offers no language; the scan goes on with the others.
        return false;
    }
    if (langId == 0)
        return false;
    if (langId != DefaultLanguageId)
        Languages.Register(langId, fileName);
    return true;
}

std::unique_ptr<TVexaLang_CompTranslations>
TVexaLanguageManager::LoadLanguageTranslations(std::uint16_t langId) const {
    std::string fileName;
    std::shared_ptr<TVexaLangFileReader> reader;
    {
        TReadGuard guard(Lock);
        int index = Languages.IndexOf(langId);
        if (langId == DefaultLanguageId || index < 0)
            return nullptr;
        fileName = Languages.Item(index).FileName;
        reader = FileReader;
    }
    if (!reader)
        throw EVexaLangError("No language file reader for \"" + fileName + "\"");
    auto translations = reader->LoadTranslations(fileName);
    if (!translations)
        throw EVexaLangError("Language file \"" + fileName + "\" could not be loaded");
    return translations;
}

void TVexaLanguageManager::SetFileReader(std::shared_ptr<TVexaLangFileReader> reader) {
    TWriteGuard guard(Lock);
    FileReader = std::move(reader);
}

bool TVexaLanguageManager::IsRegistered(const TCustomVexaLanguageController* controller) const {
    return std::find(Controllers.begin(), Controllers.end(), controller) != Controllers.end();
}

void TVexaLanguageManager::RegisterController(TCustomVexaLanguageController* controller) {
    TWriteGuard guard(Lock);
    if (controller != nullptr && !IsRegistered(controller))
        Controllers.push_back(controller);
}

void TVexaLanguageManager::UnregisterController(TCustomVexaLanguageController* controller) {
    TWriteGuard guard(Lock);
    std::erase(Controllers, controller);
}

void TVexaLanguageManager::ApplyCurrentLanguageToController(
    TCustomVexaLanguageController* controller) {
    TReadGuard guard(Lock);
    if (controller == nullptr || CurrentLanguageId == DefaultLanguageId)
        return;
    auto translations = LoadLanguageTranslations(CurrentLanguageId);
    controller->ApplyLanguage(translations ? translations->FindSection(controller->SectionName())
                                           : nullptr);
}
