#include "i18n/StringTable.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

namespace tolbe::i18n {
namespace {

constexpr int kZh = 0, kEn = 1000, kEs = 2000, kFr = 3000, kDe = 4000, kIt = 5000, kNl = 6000;
constexpr int kBases[] = {kZh, kEn, kEs, kFr, kDe, kIt, kNl};

std::set<int> ExpectedNumbers() {
    std::set<int> k;
    for (auto [from, to] :
         {std::pair{0, 2}, {20, 27}, {50, 52}, {60, 63}, {70, 73}, {90, 95}, {100, 102}, {120, 167}, {180, 196}})
        for (int i = from; i <= to; ++i)
            k.insert(i);
    return k;
}

// Texts that are rightly the same as the English one in a translation.
const std::set<std::pair<int, int>> kSameAsEnglish = {
    {kZh, 21},                                      // the Chinese name of Chinese, in Chinese and English alike
    {kEs, 194}, {kFr, 194}, {kDe, 194}, {kIt, 194}, // the support address line is one text everywhere
    {kNl, 194}, {kZh, 194},                         //
    {kFr, 195}, {kDe, 195}, {kIt, 195}, {kNl, 195}, // "OK" is the button word in these languages
    {kDe, 122},                                     // "Version:" is German too
    {kIt, 0},                                       // Italian menus say "File"
    {kFr, 50},                                      // French "Mode"
    {kNl, 70},  {kNl, 71},                          // Dutch menus say "Help"
    {kNl, 132}, {kNl, 157},                         // Dutch "Model"
    {kEs, 140}, {kIt, 140},                         // Spanish and Italian "No"
    {kEs, 184},                                     // Spanish "Error"
    {kEs, 458}, {kDe, 458}, {kIt, 458}, {kNl, 458}, // "%1: %2" and the list comma are the same in these
    {kEs, 459}, {kFr, 459}, {kDe, 459}, {kIt, 459}, //
    {kNl, 459},                                     //
};

// The program's own texts (accessible names, newer messages) are numbered from 300 on, clear of
// the numbers the windows' designs carry.
constexpr int kOwnTextsFrom = 300;

TEST(StringTable, EveryLanguageHoldsTheSameNumbers) {
    auto expected = ExpectedNumbers();
    ASSERT_EQ(expected.size(), 96u);
    for (int k : TextNumbers())
        if (k >= kOwnTextsFrom) expected.insert(k);
    EXPECT_EQ(std::set<int>(TextNumbers().begin(), TextNumbers().end()), expected);
    EXPECT_EQ(TextNumbers().size(), expected.size());
    for (int base : kBases)
        for (int k = 0; k < 1000; ++k)
            EXPECT_EQ(TryLoadText(base, k).has_value(), expected.count(k) == 1) << "base " << base << " k " << k;
}

TEST(StringTable, TranslationsAreCompleteAndNotLeftInEnglish) {
    for (int k : TextNumbers()) {
        const std::string english = LoadText(kEn, k);
        for (int base : kBases) {
            if (base == kEn) continue;
            const std::string text = LoadText(base, k);
            if (english.empty()) continue;
            EXPECT_FALSE(text.empty()) << "base " << base << " k " << k;
            if (text == english) {
                EXPECT_TRUE(kSameAsEnglish.count({base, k}))
                    << "untranslated: base " << base << " k " << k << " \"" << text << '"';
            }
        }
    }
    // The allow-list must not hide anything that has been translated since.
    for (auto [base, k] : kSameAsEnglish)
        EXPECT_EQ(LoadText(base, k), LoadText(kEn, k)) << base << " " << k;
}

TEST(StringTable, EnglishTextsAreTheProgramsOwn) {
    EXPECT_EQ(LoadText(kEn, 0), "File(&F)");
    EXPECT_EQ(LoadText(kEn, 72), "Information(&A)...");
    EXPECT_EQ(LoadText(kEn, 136),
              "The database have been deleted or renamed, the program cannot be used, please reinstall.");
    EXPECT_EQ(LoadText(kEn, 141), "Error connecting database! database conrruption or invalid database.");
    EXPECT_EQ(LoadText(kEn, 147), "Remote programmed sucessful");
    EXPECT_EQ(LoadText(kEn, 153), "Do you want to abort the modified data and exit without saving it ?");
    EXPECT_EQ(LoadText(kEn, 193), "No result found,please check the entered data or contact us.");
    EXPECT_EQ(LoadText(kEn, 121), "");
    EXPECT_EQ(LoadText(kEn, 124), "Divalo");
    const char* names[] = {"简体中文(CN)", "English(EN)", "Spanish(ES)",    "French(FR)",
                           "Germany(DE)",  "Italy(IT)",   "Netherlands(NL)"};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(LoadText(kEn, 21 + i), names[i]);
}

TEST(StringTable, BrandTextsFollowTheLanguage) {
    EXPECT_EQ(LoadText(kZh, 124), "Sirkat");
    EXPECT_EQ(LoadText(kZh, 121), "");
    EXPECT_EQ(LoadText(kZh, 21), "简体中文(CN)");
    for (int base : {kEs, kFr, kDe, kIt, kNl}) {
        EXPECT_EQ(LoadText(base, 124), "DIVALO");
        EXPECT_NE(LoadText(base, 121).find("DIVALO"), std::string::npos) << base;
        EXPECT_NE(LoadText(base, 21), "简体中文(CN)") << base;
    }
    for (int base : kBases)
        EXPECT_EQ(LoadText(base, 194), std::string("Email:") + kSupportEmail);
}

// A menu text ending in "(&X)" or "(&X)...", X one character other than a blank.
bool EndsWithAccelerator(std::string text) {
    if (text.ends_with("...")) text.resize(text.size() - 3);
    return text.size() >= 4 && text.ends_with(")") && text.compare(text.size() - 4, 2, "(&") == 0 &&
           text[text.size() - 2] != ' ' && text[text.size() - 2] != ')';
}

TEST(StringTable, MenuAcceleratorsAndEllipsesKeepTheirForm) {
    EXPECT_TRUE(EndsWithAccelerator("Datei(&D)"));
    EXPECT_TRUE(EndsWithAccelerator("Info(&I)..."));
    EXPECT_FALSE(EndsWithAccelerator("Datei(D)"));
    EXPECT_FALSE(EndsWithAccelerator("Datei(&)"));
    for (int k : TextNumbers()) {
        const std::string english = LoadText(kEn, k);
        const bool has_accelerator = EndsWithAccelerator(english);
        const bool has_ellipsis = english.size() > 3 && english.ends_with("...");
        for (int base : kBases) {
            const std::string text = LoadText(base, k);
            // Chinese writes a button's letter as "(&X)" at the end where the others mark it inside.
            if (base == kZh && !has_accelerator && english.find('&') != std::string::npos)
                EXPECT_NE(text.find('&'), std::string::npos) << k << " " << text;
            else
                EXPECT_EQ(EndsWithAccelerator(text), has_accelerator) << base << " " << k << " " << text;
            EXPECT_EQ(text.ends_with("..."), has_ellipsis) << base << " " << k << " " << text;
        }
    }
}

// French sets a no-break space before ':' and a no-break (or narrow no-break) space before ';', '!'
// and '?'. Returns the punctuation marks of `text` that lack it, in order.
std::string FrenchSpacingFaults(const std::string& text) {
    static const std::string kNoBreak = "\xC2\xA0", kNarrowNoBreak = "\xE2\x80\xAF";
    std::string faults;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != ':' && c != ';' && c != '!' && c != '?') continue;
        const std::string before = text.substr(0, i);
        const bool spaced = before.ends_with(kNoBreak) || (c != ':' && before.ends_with(kNarrowNoBreak));
        const std::string bare = before.substr(0, before.size() - (before.ends_with(kNoBreak) ? 2 : 3));
        if (!spaced || bare.empty() || bare.back() == ' ') faults += c;
    }
    return faults;
}

TEST(StringTable, FrenchPunctuationTakesANoBreakSpace) {
    EXPECT_EQ(FrenchSpacingFaults("Appareil\xC2\xA0:"), "");
    EXPECT_EQ(FrenchSpacingFaults("Vraiment\xE2\x80\xAF? Oui\xC2\xA0!"), "");
    EXPECT_EQ(FrenchSpacingFaults("Appareil:"), ":");
    EXPECT_EQ(FrenchSpacingFaults("Appareil :"), ":");
    EXPECT_EQ(FrenchSpacingFaults("Appareil\xE2\x80\xAF:"), ":") << "a colon takes the full no-break space";
    EXPECT_EQ(FrenchSpacingFaults("Erreur ! Encore ?"), "!?");
    EXPECT_EQ(FrenchSpacingFaults("Quoi \xE2\x80\xAF?"), "?") << "an ordinary space before the no-break one";
    for (int k : TextNumbers()) {
        if (k == 194) continue; // "Email:" and the address are the same text in every language
        EXPECT_EQ(FrenchSpacingFaults(LoadText(kFr, k)), "") << "k " << k << " \"" << LoadText(kFr, k) << '"';
    }
}

TEST(StringTable, PlaceholdersTakeTheirArgumentsInEveryLanguage) {
    EXPECT_EQ(FormatText(LoadText(kDe, 312), {"pulse", "Connection refused"}),
              "Die Übertragung konnte auf der Tonausgabe „pulse“ nicht abgespielt werden: Connection refused. Wählen "
              "Sie unter Datei > Tonausgabe eine andere Ausgabe, oder prüfen Sie, ob die Soundkarte des Kabels "
              "angeschlossen ist.");
    EXPECT_EQ(FormatText("%2 %1 %3 100%", {"a%2", "b"}), "b a%2 %3 100%");
    for (int base : kBases) {
        const std::string text = FormatText(LoadText(base, 312), {"hw:CARD=X", "Device busy"});
        EXPECT_NE(text.find("hw:CARD=X"), std::string::npos) << base;
        EXPECT_NE(text.find("Device busy"), std::string::npos) << base;
        EXPECT_NE(FormatText(LoadText(base, 313), {"disk full"}).find("disk full"), std::string::npos) << base;
    }
}

TEST(StringTable, LookupFailures) {
    EXPECT_THROW(LoadText(kEn, 4999), TextNotFound); // the message box's default title is nowhere
    EXPECT_THROW(LoadText(kZh, 3), TextNotFound);    // a gap between the numbered groups
    EXPECT_THROW(LoadText(kNl, 197), TextNotFound);
    EXPECT_THROW(LoadText(kEn, -1), TextNotFound);
    EXPECT_THROW(LoadText(7000, 0), TextNotFound);
    EXPECT_THROW(LoadText(500, 0), TextNotFound);
    EXPECT_THROW(LoadText(-1000, 0), TextNotFound);
    EXPECT_FALSE(TryLoadText(1500, 120).has_value());
    try {
        LoadText(kEn, 4999);
        FAIL();
    } catch (const TextNotFound& e) {
        EXPECT_EQ(e.LangBase(), kEn);
        EXPECT_EQ(e.K(), 4999);
        EXPECT_NE(std::string(e.what()).find("5999"), std::string::npos) << e.what();
    }
    EXPECT_EQ(TryLoadText(kDe, 138), "Abbrechen");
}

} // namespace
} // namespace tolbe::i18n
