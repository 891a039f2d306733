#pragma once

#include <string>
#include <vector>

#include "i18n/VexaLangError.h"
#include "i18n/VexaLangManager.h"
#include "platform/TextFormat.h"

// The process-wide language manager, created with the built-in constants on the first call.
TVexaLanguageManager* LangManager();

// The current text (UTF-8) of a named text constant; throws EVexaLangError for an unknown
// name. Every engine message and caption is fetched through it.
std::string GetLangConstant(const std::string& name);

// A constant used as a format, through the checked formatter: a translation whose
// placeholders do not agree with the English default's is replaced by the default.
// Throws EVexaLangError for an unknown name.
std::string FormatLangConstantArgs(const std::string& name, const std::vector<TFormatArg>& args);

template <typename... TArgs>
std::string FormatLangConstant(const std::string& name, const TArgs&... args) {
    return FormatLangConstantArgs(name, {TFormatArg(args)...});
}
