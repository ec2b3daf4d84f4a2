#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tolbe {

// Value of one key of a profile (INI) file, or "" when the file, the section or the key is
// absent, when the value is empty, or when it begins with "(Unassigned)". At most 254
// characters are returned. Section and key names match without regard to letter case.
std::string GetIniString(const std::filesystem::path& file, const std::string& section, const std::string& key);

// A whole INI document, kept in file order so that rewriting it disturbs as little as possible.
class IniDocument {
public:
    // Parses text; lines that are neither sections, keys nor comments are kept as they are.
    static IniDocument Parse(const std::string& text);
    // Reads a file; a missing file gives an empty document.
    static IniDocument Load(const std::filesystem::path& file);

    // Case-insensitive lookup; the first matching section and key win, as the platform reader does.
    const std::string* Find(const std::string& section, const std::string& key) const;
    void Set(const std::string& section, const std::string& key, const std::string& value);
    std::string Serialize() const;
    // Writes through a temporary file and a rename, so a crash never leaves half a file.
    void Save(const std::filesystem::path& file) const;

private:
    struct Line {
        std::string raw; // the line as it was read (for comments and blank lines)
        std::string key; // empty for non-key lines
        std::string value;
    };
    struct Section {
        std::string name;   // empty for lines before the first section header
        std::string header; // the header line as read
        std::vector<Line> lines;
    };
    std::vector<Section> m_sections;
};

// GetIniString on a document already in memory: the same rules, no file read.
std::string GetIniString(const IniDocument& doc, const std::string& section, const std::string& key);

} // namespace tolbe
