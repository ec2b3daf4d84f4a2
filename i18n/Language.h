#pragma once

#include "common/SettingsStore.h"

#include <cstdint>
#include <string>

namespace tolbe::i18n {

// Chooses the user-interface language once at start-up. The stored "Language" setting wins:
// "0", "1000", ... "6000" select that language, any other number selects English, and a value that
// is not a number leaves `LangBase` as the caller initialised it (0) and gives index 0. Without a
// stored value, `system_lang_id` (a Windows-style language identifier) decides; only the exact
// identifiers of the seven languages match, anything else is English. Nothing is written back.
// Returns the language index 0..6 and sets `LangBase` to index x 1000.
std::int16_t GetLanguage(const SettingsStore& settings, std::uint16_t system_lang_id, std::int16_t& LangBase);

// Windows-style language identifier of a POSIX locale name such as "de_DE.UTF-8" or "fr_BE@euro".
// "C", "POSIX" and the empty name give 0x0409 (English, United States). A known language with an
// unknown territory gives the language's neutral identifier (its sub-language 0); an unknown
// language gives 0.
std::uint16_t LanguageIdFromLocale(const std::string& name);

// The user's interface language: the first non-empty of $LC_ALL, $LC_MESSAGES and $LANG, mapped by
// LanguageIdFromLocale; 0x0409 when none is set.
std::uint16_t SystemUiLanguageId();

} // namespace tolbe::i18n

namespace tolbe::i18n {

// The Language menu's entry for language `index` (0..6) while the language at `lang_base` is active:
// its caption (text 21 + index) and, when the language's own name differs from the caption's name,
// the own name instead of the "(XX)" code, e.g. "Englisch (English)" in German. The own name is the
// language's caption in itself ("Deutsch(DE)" without its code). Empty when the caption is absent.
std::string LanguageMenuText(int lang_base, int index);

} // namespace tolbe::i18n
