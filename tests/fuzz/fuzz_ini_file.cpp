// The INI reader and writer on any text: the settings file and Server.ini are edited by hand.
// Fields: the document, then section, key and value for a Set, then section and key of a probe.
#include "tests/fuzz/FuzzSupport.h"

#include "common/IniFile.h"

#include <cctype>
#include <optional>

namespace {

// Names and values the program itself writes: letters, digits and a few marks, never empty.
std::string Tame(const std::string& s, const char* fallback) {
    std::string out;
    for (const char c : s.substr(0, 40))
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '/') out += c;
    return out.empty() ? fallback : out;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::optional<std::string> Value(const tolbe::IniDocument& doc, const std::string& section, const std::string& key) {
    const std::string* v = doc.Find(section, key);
    return v != nullptr ? std::optional<std::string>(*v) : std::nullopt;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto f = tolbe::fuzz::Fields(data, size, 6);
    const std::string section = Tame(f[1], "MarvoState");
    const std::string key = Tame(f[2], "Language");
    const std::string value = Tame(f[3], "1000");
    const std::string probe_section = f[4];
    const std::string probe_key = f[5];

    tolbe::IniDocument doc = tolbe::IniDocument::Parse(f[0]);
    const auto probe_before = Value(doc, probe_section, probe_key);

    // Reading back what was parsed and written finds the same values.
    const tolbe::IniDocument reread = tolbe::IniDocument::Parse(doc.Serialize());
    FUZZ_CHECK(Value(reread, probe_section, probe_key) == probe_before);

    // A value set is found, in memory and after a rewrite; other keys keep theirs.
    doc.Set(section, key, value);
    FUZZ_CHECK(Value(doc, section, key) == value);
    const tolbe::IniDocument saved = tolbe::IniDocument::Parse(doc.Serialize());
    FUZZ_CHECK(Value(saved, section, key) == value);
    if (!(EqualNoCase(probe_section, section) && EqualNoCase(probe_key, key)))
        FUZZ_CHECK(Value(saved, probe_section, probe_key) == probe_before);

    // The profile reader's promises: at most 254 characters, no NUL.
    static tolbe::fuzz::MemoryFile file;
    file.Write(f[0].data(), f[0].size());
    const std::string got = tolbe::GetIniString(file.Path(), probe_section, probe_key);
    FUZZ_CHECK(got.size() <= 254);
    FUZZ_CHECK(got.find('\0') == std::string::npos);
    return 0;
}
