#pragma once

#include <string>

#include "i18n/VexaLangError.h"
#include "i18n/VexaLangManager.h"

// The process-wide language manager, created with the built-in constants on the first call.
TVexaLanguageManager* LangManager();

// The current text (UTF-8) of a named text constant; throws EVexaLangError for an unknown
// name. Every engine message and caption is fetched through it.
std::string GetLangConstant(const std::string& name);
