#pragma once

// The widgets' way to a text constant.
#include <QString>

#include "i18n/VexaLang.h"

// The current text of the named text constant, in the current language.
inline QString Lang(const char* name) {
    return QString::fromStdString(GetLangConstant(name));
}
