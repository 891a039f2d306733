#pragma once

#include <cstdint>

// Qt's own texts (standard buttons of message boxes, file and folder dialogs) in the
// program's language: the "qtbase" catalogue of the language, from Qt's translations folder.
// Switching to a language without a catalogue (English) leaves Qt's built-in texts. True
// when a catalogue is in force afterwards.
bool ApplyQtTranslations(std::uint16_t langId);
