#include "i18n/Language.h"
#include "i18n/StringTable.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace tolbe::i18n {
namespace {

using test::MemorySettingsStore;

struct Choice {
    std::int16_t index;
    std::int16_t base;
};

Choice Choose(const MemorySettingsStore& settings, std::uint16_t system_id) {
    std::int16_t base = 0;
    const std::int16_t index = GetLanguage(settings, system_id, base);
    return {index, base};
}

TEST(GetLanguage, SystemLanguageDecidesWhenNothingIsStored) {
    const MemorySettingsStore settings;
    const std::pair<std::uint16_t, int> table[] = {{0x0804, 0}, {0x0809, 1}, {0x0C0A, 2}, {0x040C, 3},
                                                   {0x0407, 4}, {0x0410, 5}, {0x0413, 6}};
    for (auto [id, index] : table) {
        const auto choice = Choose(settings, id);
        EXPECT_EQ(choice.index, index) << std::hex << id;
        EXPECT_EQ(choice.base, index * 1000) << std::hex << id;
    }
    // Other variants of the same languages are not in the table.
    for (std::uint16_t id : {0x0409, 0x040A, 0x0C07, 0x080C, 0x0813, 0x0404, 0x0000, 0xFFFF}) {
        const auto choice = Choose(settings, id);
        EXPECT_EQ(choice.index, 1) << std::hex << id;
        EXPECT_EQ(choice.base, 1000) << std::hex << id;
    }
    EXPECT_EQ(settings.writes, 0);
}

TEST(GetLanguage, StoredChoiceWinsOverTheSystem) {
    const std::pair<const char*, int> cases[] = {{"0", 0},
                                                 {"1000", 1},
                                                 {"2000", 2},
                                                 {"3000", 3},
                                                 {"4000", 4},
                                                 {"5000", 5},
                                                 {"6000", 6},
                                                 {"7000", 1},
                                                 {"500", 1},
                                                 {"-1000", 1},
                                                 {"99999999999999999999", 1}};
    for (auto [stored, index] : cases) {
        MemorySettingsStore settings;
        settings.Set("Language", stored);
        const int writes = settings.writes;
        const auto choice = Choose(settings, 0x0407);
        EXPECT_EQ(choice.index, index) << stored;
        EXPECT_EQ(choice.base, index * 1000) << stored;
        EXPECT_EQ(settings.writes, writes) << stored;
    }
}

TEST(GetLanguage, StoredTextThatIsNoNumberLeavesChinese) {
    for (const char* stored : {"abc", "10x", "-", " "}) {
        MemorySettingsStore settings;
        settings.Set("Language", stored);
        std::int16_t base = 0;
        EXPECT_EQ(GetLanguage(settings, 0x0809, base), 0) << '"' << stored << '"';
        EXPECT_EQ(base, 0) << '"' << stored << '"';
    }
}

TEST(GetLanguage, GermanSystemAndUsEnglishSystem) {
    const MemorySettingsStore settings;
    auto choice = Choose(settings, LanguageIdFromLocale("de_DE.UTF-8"));
    EXPECT_EQ(choice.index, 4);
    EXPECT_EQ(choice.base, 4000);
    choice = Choose(settings, LanguageIdFromLocale("en_US.UTF-8"));
    EXPECT_EQ(choice.index, 1);
    EXPECT_EQ(choice.base, 1000);
    EXPECT_TRUE(settings.values.empty());
}

TEST(LanguageIdFromLocale, MapsPosixNames) {
    const std::pair<const char*, std::uint16_t> cases[] = {
        {"de_DE", 0x0407},
        {"en_US", 0x0409},
        {"en_GB", 0x0809},
        {"zh_CN", 0x0804},
        {"es_ES", 0x0C0A},
        {"fr_FR", 0x040C},
        {"it_IT", 0x0410},
        {"nl_NL", 0x0413},
        {"de_AT", 0x0C07},
        {"fr_BE", 0x080C},
        {"nl_BE", 0x0813},
        {"es_MX", 0x080A},
        {"zh_TW", 0x0404},
        {"de_DE.UTF-8", 0x0407},
        {"fr_FR.ISO-8859-15@euro", 0x040C},
        {"zh_CN.GB18030", 0x0804},
        {"de-DE", 0x0407},
        {"DE_de", 0x0407},
        {"de", 0x0407},
        {"nl", 0x0413},
        {"C", 0x0409},
        {"POSIX", 0x0409},
        {"C.UTF-8", 0x0409},
        {"", 0x0409},
        {"de_IT", 0x0007},
        {"xx_YY", 0x0000},
        {"klingon", 0x0000},
    };
    for (auto [name, id] : cases)
        EXPECT_EQ(LanguageIdFromLocale(name), id) << '"' << name << '"';
}

// Sets or clears an environment variable for one test and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnv() { m_old ? setenv(m_name, m_old->c_str(), 1) : unsetenv(m_name); }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

TEST(SystemUiLanguageId, FirstNonEmptyOfLcAllLcMessagesLang) {
    {
        ScopedEnv all("LC_ALL", "it_IT.UTF-8"), messages("LC_MESSAGES", "fr_FR.UTF-8"), lang("LANG", "de_DE.UTF-8");
        EXPECT_EQ(SystemUiLanguageId(), 0x0410);
    }
    {
        ScopedEnv all("LC_ALL", ""), messages("LC_MESSAGES", "fr_FR.UTF-8"), lang("LANG", "de_DE.UTF-8");
        EXPECT_EQ(SystemUiLanguageId(), 0x040C);
    }
    {
        ScopedEnv all("LC_ALL", nullptr), messages("LC_MESSAGES", nullptr), lang("LANG", "nl_NL.UTF-8");
        EXPECT_EQ(SystemUiLanguageId(), 0x0413);
    }
    {
        ScopedEnv all("LC_ALL", nullptr), messages("LC_MESSAGES", nullptr), lang("LANG", "C");
        EXPECT_EQ(SystemUiLanguageId(), 0x0409);
    }
    {
        ScopedEnv all("LC_ALL", nullptr), messages("LC_MESSAGES", nullptr), lang("LANG", nullptr);
        EXPECT_EQ(SystemUiLanguageId(), 0x0409);
    }
}

} // namespace
} // namespace tolbe::i18n

namespace tolbe::i18n {
namespace {

TEST(LanguageMenuText, AddsTheOwnNameWhereTheCaptionNamesTheLanguageOtherwise) {
    EXPECT_EQ(LanguageMenuText(4000, 1), "Englisch (English)");
    EXPECT_EQ(LanguageMenuText(4000, 4), "Deutsch(DE)") << "the active language names itself";
    EXPECT_EQ(LanguageMenuText(3000, 0), "Chinois simplifié (简体中文)");
    EXPECT_EQ(LanguageMenuText(0, 4), "德语 (Deutsch)");
    EXPECT_EQ(LanguageMenuText(1000, 0), "简体中文(CN)") << "English captions Chinese in Chinese";
    EXPECT_EQ(LanguageMenuText(1000, 4), "Germany (Deutsch)");
    // The captions themselves are unchanged, and each language finds its own name in every menu.
    for (int base = 0; base < 7000; base += 1000) {
        for (int index = 0; index < 7; ++index) {
            const std::string own = LoadText(index * 1000, 21 + index);
            const std::string entry = LanguageMenuText(base, index);
            EXPECT_TRUE(entry == own || entry.ends_with(" (" + own.substr(0, own.rfind('(')) + ")"))
                << base << " " << index << " " << entry;
            EXPECT_TRUE(entry.starts_with(LoadText(base, 21 + index).substr(0, LoadText(base, 21 + index).rfind('('))))
                << entry;
        }
    }
    EXPECT_EQ(LanguageMenuText(1000, 7), "");
    EXPECT_EQ(LanguageMenuText(9000, 1), "");
}

} // namespace
} // namespace tolbe::i18n
