#include "i18n/StringTable.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string_view>
#include <unordered_map>

namespace tolbe::i18n {
namespace detail {
extern const std::string_view kStringTableData; // the embedded strings.tsv
} // namespace detail

namespace {

using LanguageTexts = std::array<std::string, kLanguageCount>;

struct Table {
    std::vector<int> numbers;
    std::unordered_map<int, LanguageTexts> texts;
};

// The table is part of the program; a malformed row is a build fault, reported loudly.
[[noreturn]] void Malformed(int line, const std::string& why) {
    throw std::logic_error("string table line " + std::to_string(line) + ": " + why);
}

std::string Unescape(std::string_view cell, int line) {
    std::string out;
    out.reserve(cell.size());
    for (std::size_t i = 0; i < cell.size(); ++i) {
        if (cell[i] != '\\') {
            out += cell[i];
            continue;
        }
        if (++i == cell.size()) Malformed(line, "backslash at the end of a text");
        switch (cell[i]) {
        case 't':
            out += '\t';
            break;
        case 'n':
            out += '\n';
            break;
        case '\\':
            out += '\\';
            break;
        default:
            Malformed(line, std::string("unknown escape \\") + cell[i]);
        }
    }
    return out;
}

Table Parse(std::string_view data) {
    Table table;
    bool header_seen = false;
    int line_no = 0;
    while (!data.empty()) {
        const auto eol = data.find('\n');
        std::string_view line = data.substr(0, eol);
        data.remove_prefix(eol == std::string_view::npos ? data.size() : eol + 1);
        ++line_no;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line.front() == '#') continue;
        if (!header_seen) { // the column names
            header_seen = true;
            continue;
        }
        std::vector<std::string_view> cells;
        for (std::size_t start = 0;;) {
            const auto tab = line.find('\t', start);
            cells.push_back(line.substr(start, tab - start));
            if (tab == std::string_view::npos) break;
            start = tab + 1;
        }
        if (cells.size() != 1 + kLanguageCount) Malformed(line_no, "expected 8 columns");
        int k = -1;
        const auto [end, ec] = std::from_chars(cells[0].data(), cells[0].data() + cells[0].size(), k);
        if (ec != std::errc() || end != cells[0].data() + cells[0].size() || k < 0 || k >= kLanguageBaseStep)
            Malformed(line_no, "bad text number");
        LanguageTexts texts;
        for (int lang = 0; lang < kLanguageCount; ++lang)
            texts[lang] = Unescape(cells[1 + lang], line_no);
        if (!table.texts.emplace(k, std::move(texts)).second) Malformed(line_no, "text number given twice");
        table.numbers.push_back(k);
    }
    std::sort(table.numbers.begin(), table.numbers.end());
    return table;
}

const Table& TheTable() {
    static const Table table = Parse(detail::kStringTableData);
    return table;
}

const std::string* Find(int lang_base, int k) {
    if (lang_base < 0 || lang_base % kLanguageBaseStep != 0 || lang_base / kLanguageBaseStep >= kLanguageCount)
        return nullptr;
    const auto& texts = TheTable().texts;
    const auto it = texts.find(k);
    return it == texts.end() ? nullptr : &it->second[lang_base / kLanguageBaseStep];
}

} // namespace

TextNotFound::TextNotFound(int lang_base, int k)
    : std::runtime_error("no text number " + std::to_string(static_cast<long long>(lang_base) + k) +
                         " (language base " + std::to_string(lang_base) + ", text " + std::to_string(k) + ")"),
      m_langBase(lang_base), m_k(k) {}

std::string LoadText(int lang_base, int k) {
    if (const auto* text = Find(lang_base, k)) return *text;
    throw TextNotFound(lang_base, k);
}

std::optional<std::string> TryLoadText(int lang_base, int k) {
    if (const auto* text = Find(lang_base, k)) return *text;
    return std::nullopt;
}

std::string FormatText(const std::string& text, const std::vector<std::string>& args) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (text[i] == '%' && next >= '1' && next <= '9' && static_cast<std::size_t>(next - '1') < args.size()) {
            out += args[static_cast<std::size_t>(next - '1')];
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

const std::vector<int>& TextNumbers() {
    return TheTable().numbers;
}

} // namespace tolbe::i18n
