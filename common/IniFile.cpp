#include "common/IniFile.h"

#include "common/AsciiText.h"
#include "common/AtomicFile.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace tolbe {
namespace {

constexpr std::size_t kMaxValueChars = 254;
constexpr std::string_view kUnassigned = "(Unassigned)";

std::string Trimmed(std::string_view s) {
    return std::string(Trim(s));
}

// The platform reader drops one pair of matching quotes around a value.
std::string Unquote(std::string v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

} // namespace

IniDocument IniDocument::Parse(const std::string& text) {
    IniDocument doc;
    doc.m_sections.push_back({});
    std::istringstream in(text);
    std::string raw;
    while (std::getline(in, raw)) {
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        std::string t = Trimmed(raw);
        if (!t.empty() && t.front() == '[') {
            auto close = t.find(']');
            Section s;
            s.name = Trimmed(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            s.header = raw;
            doc.m_sections.push_back(std::move(s));
            continue;
        }
        Line line{raw, {}, {}};
        auto eq = t.find('=');
        if (!t.empty() && t.front() != ';' && t.front() != '#' && eq != std::string::npos && eq > 0) {
            line.key = Trimmed(t.substr(0, eq));
            line.value = Unquote(Trimmed(t.substr(eq + 1)));
        }
        doc.m_sections.back().lines.push_back(std::move(line));
    }
    return doc;
}

IniDocument IniDocument::Load(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return Parse({});
    std::ostringstream ss;
    ss << in.rdbuf();
    return Parse(ss.str());
}

const std::string* IniDocument::Find(const std::string& section, const std::string& key) const {
    for (const auto& s : m_sections) {
        if (s.header.empty() || !EqualNoCase(s.name, section)) continue;
        for (const auto& l : s.lines)
            if (!l.key.empty() && EqualNoCase(l.key, key)) return &l.value;
    }
    return nullptr;
}

void IniDocument::Set(const std::string& section, const std::string& key, const std::string& value) {
    for (auto& s : m_sections) {
        if (s.header.empty() || !EqualNoCase(s.name, section)) continue;
        for (auto& l : s.lines) {
            if (!l.key.empty() && EqualNoCase(l.key, key)) {
                l.value = value;
                l.raw = l.key + "=" + value;
                return;
            }
        }
        // Keep new keys ahead of trailing blank lines so sections stay visually grouped.
        auto pos = s.lines.end();
        while (pos != s.lines.begin() && Trimmed(std::prev(pos)->raw).empty())
            --pos;
        s.lines.insert(pos, Line{key + "=" + value, key, value});
        return;
    }
    Section s;
    s.name = section;
    s.header = "[" + section + "]";
    s.lines.push_back(Line{key + "=" + value, key, value});
    m_sections.push_back(std::move(s));
}

std::string IniDocument::Serialize() const {
    std::string out;
    for (const auto& s : m_sections) {
        if (!s.header.empty()) out += s.header + "\n";
        for (const auto& l : s.lines)
            out += l.raw + "\n";
    }
    return out;
}

void IniDocument::Save(const std::filesystem::path& file) const {
    std::error_code ec;
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ec);
    try {
        WriteFileAtomically(file, Serialize());
    } catch (const std::filesystem::filesystem_error& e) {
        throw std::runtime_error("cannot write settings file " + file.string() + ": " + e.code().message());
    }
}

std::string GetIniString(const std::filesystem::path& file, const std::string& section, const std::string& key) {
    return GetIniString(IniDocument::Load(file), section, key);
}

std::string GetIniString(const IniDocument& doc, const std::string& section, const std::string& key) {
    const std::string* v = doc.Find(section, key);
    if (v == nullptr) return {};
    std::string value = v->substr(0, kMaxValueChars);
    if (value.compare(0, kUnassigned.size(), kUnassigned) == 0) return {};
    // The platform reader hands back a C string: the text ends at the first NUL.
    return value.substr(0, value.find('\0'));
}

} // namespace tolbe
