#pragma once

#include <cstdint>

// Qt's own texts (standard buttons of message boxes, file and folder dialogs) in the
// program's language: the "qtbase" catalogue of the language, from Qt's translations folder.
// Switching to a language without a catalogue (English) leaves Qt's built-in texts. True
// when a catalogue is in force afterwards.
bool ApplyQtTranslations(std::uint16_t langId);

class QLocale;

// The locale of a language identifier (its ISO language, with the region Qt takes as its
// likeliest); the system's locale for an identifier the table does not know.
QLocale LocaleOfLanguage(std::uint16_t langId);

// Dates and numbers that Qt formats (QLocale(), widgets, Qt's dialogs) follow the program's
// language: the default locale and that of every open window become the language's.
void ApplyProgramLocale(std::uint16_t langId);
