#include "i18n/Language.h"
#include "i18n/StringTable.h"
#include "i18n/Texts.h"

#include "common/AsciiText.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <string_view>
#include <utility>

namespace tolbe::i18n {
namespace {

constexpr std::uint16_t kEnglishUnitedStates = 0x0409;

// The one identifier per language that selects it; other variants fall to English.
constexpr std::array<std::uint16_t, 7> kLanguageIds = {
    0x0804, // Chinese, PRC
    0x0809, // English, United Kingdom
    0x0C0A, // Spanish, Spain (modern sort)
    0x040C, // French, France
    0x0407, // German, Germany
    0x0410, // Italian, Italy
    0x0413, // Dutch, Netherlands
};

struct LocaleId {
    std::string_view name; // "ll" or "ll_TT"
    std::uint16_t id;
};

// Bare language names stand for the language's main country, as a user with LANG=de expects.
constexpr LocaleId kLocaleIds[] = {
    {"zh", 0x0804},    {"zh_CN", 0x0804}, {"zh_TW", 0x0404}, {"zh_HK", 0x0C04}, {"zh_SG", 0x1004}, {"zh_MO", 0x1404},
    {"en", 0x0409},    {"en_US", 0x0409}, {"en_GB", 0x0809}, {"en_AU", 0x0C09}, {"en_CA", 0x1009}, {"en_NZ", 0x1409},
    {"en_IE", 0x1809}, {"en_ZA", 0x1C09}, {"en_IN", 0x4009}, {"es", 0x0C0A},    {"es_ES", 0x0C0A}, {"es_MX", 0x080A},
    {"es_AR", 0x2C0A}, {"es_CO", 0x240A}, {"es_CL", 0x340A}, {"es_US", 0x540A}, {"fr", 0x040C},    {"fr_FR", 0x040C},
    {"fr_BE", 0x080C}, {"fr_CA", 0x0C0C}, {"fr_CH", 0x100C}, {"fr_LU", 0x140C}, {"de", 0x0407},    {"de_DE", 0x0407},
    {"de_CH", 0x0807}, {"de_AT", 0x0C07}, {"de_LU", 0x1007}, {"de_LI", 0x1407}, {"it", 0x0410},    {"it_IT", 0x0410},
    {"it_CH", 0x0810}, {"nl", 0x0413},    {"nl_NL", 0x0413}, {"nl_BE", 0x0813}, {"pt", 0x0816},    {"pt_PT", 0x0816},
    {"pt_BR", 0x0416}, {"ru", 0x0419},    {"ru_RU", 0x0419}, {"ja", 0x0411},    {"ja_JP", 0x0411}, {"ko", 0x0412},
    {"ko_KR", 0x0412}, {"pl", 0x0415},    {"pl_PL", 0x0415}, {"sv", 0x041D},    {"sv_SE", 0x041D}, {"da", 0x0406},
    {"da_DK", 0x0406}, {"fi", 0x040B},    {"fi_FI", 0x040B}, {"nb", 0x0414},    {"nb_NO", 0x0414}, {"cs", 0x0405},
    {"cs_CZ", 0x0405}, {"hu", 0x040E},    {"hu_HU", 0x040E}, {"tr", 0x041F},    {"tr_TR", 0x041F}, {"el", 0x0408},
    {"el_GR", 0x0408},
};

std::uint16_t Find(std::string_view name) {
    for (const auto& entry : kLocaleIds)
        if (entry.name == name) return entry.id;
    return 0;
}

// A stored setting that reads as a whole decimal integer (sign and surrounding blanks allowed).
// The value itself only matters when it is small; larger numbers are merely "some other number".
bool ParseStoredNumber(const std::string& text, long long& value) {
    std::string_view digits = Trim(text);
    if (digits.empty()) return false;
    bool negative = false;
    if (digits.front() == '+' || digits.front() == '-') {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    if (digits.empty() || !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); }))
        return false;
    value = 0;
    for (char c : digits)
        value = std::min<long long>(value * 10 + (c - '0'), 1'000'000'000LL);
    if (negative) value = -value;
    return true;
}

std::int16_t Choose(int index, std::int16_t& LangBase) {
    LangBase = static_cast<std::int16_t>(index * 1000);
    return static_cast<std::int16_t>(index);
}

} // namespace

std::int16_t GetLanguage(const SettingsStore& settings, std::uint16_t system_lang_id, std::int16_t& LangBase) {
    const std::string stored = settings.GetSetting(kSettingsApp, kSettingsSection, settings_key::kLanguage);
    if (!stored.empty()) {
        long long value = 0;
        if (!ParseStoredNumber(stored, value)) return 0; // not a number: LangBase stays as it was
        if (value >= 0 && value <= 6000 && value % 1000 == 0) return Choose(static_cast<int>(value / 1000), LangBase);
        return Choose(1, LangBase);
    }
    for (std::size_t index = 0; index < kLanguageIds.size(); ++index)
        if (kLanguageIds[index] == system_lang_id) return Choose(static_cast<int>(index), LangBase);
    return Choose(1, LangBase);
}

std::uint16_t LanguageIdFromLocale(const std::string& name) {
    // language[_territory][.codeset][@modifier]; "de-DE" is accepted as well.
    std::string_view view(name);
    view = view.substr(0, std::min(view.find('.'), view.find('@')));
    if (view.empty() || view == "C" || view == "POSIX") return kEnglishUnitedStates;
    const auto sep = view.find_first_of("_-");
    const std::string language = ToLower(view.substr(0, sep));
    if (sep == std::string_view::npos) return Find(language);
    const std::string territory = ToUpper(view.substr(sep + 1));
    if (const auto id = Find(language + "_" + territory)) return id;
    // Known language, other country: the language without a sub-language, which selects no table row.
    return static_cast<std::uint16_t>(Find(language) & 0x03FF);
}

std::uint16_t SystemUiLanguageId() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value) return LanguageIdFromLocale(value);
    }
    return kEnglishUnitedStates;
}

} // namespace tolbe::i18n

namespace tolbe::i18n {
namespace {

// "Englisch(EN)" -> "Englisch": a caption without its trailing "(XX)" language code.
std::string WithoutCode(const std::string& caption) {
    const auto open = caption.rfind('(');
    if (open == std::string::npos || !caption.ends_with(")")) return caption;
    std::string name = caption.substr(0, open);
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    return name;
}

} // namespace

std::string LanguageMenuText(int lang_base, int index) {
    const auto caption = TryLoadText(lang_base, kTextLanguageCaption + index);
    if (!caption) return {};
    const auto own = TryLoadText(index * kLanguageBaseStep, kTextLanguageCaption + index);
    const std::string name = WithoutCode(*caption);
    if (!own || WithoutCode(*own) == name) return *caption;
    return name + " (" + WithoutCode(*own) + ")";
}

} // namespace tolbe::i18n
