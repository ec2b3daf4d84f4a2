#include "update/Descriptor.h"

#include "common/AsciiText.h"
#include "common/AtomicFile.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>
#include <vector>

namespace tolbe::update {
namespace {

// A decimal number as a text-to-number conversion accepts it: blanks around, an optional
// sign, digits with an optional fraction and exponent. Anything else is not a number.
std::optional<double> ParseNumber(const std::string& text) {
    std::string_view s = text;
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty() || !(std::isdigit(static_cast<unsigned char>(s.front())) || s.front() == '.')) return std::nullopt;
    double v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
    return negative ? -v : v;
}

// Rounds half to even (the default rounding mode) into the range of T.
template <typename T> std::optional<T> RoundInto(double v) {
    const double r = std::nearbyint(v);
    if (!(r >= std::numeric_limits<T>::min() && r <= std::numeric_limits<T>::max())) return std::nullopt;
    return static_cast<T>(r);
}

} // namespace

std::int16_t ProgramVersionNumber(int major, int minor, int revision) {
    return static_cast<std::int16_t>(major * 100 + minor * 10 + revision);
}

std::int16_t OwnProgramVersion() {
    return ProgramVersionNumber(TOLBE_VERSION_MAJOR, TOLBE_VERSION_MINOR, TOLBE_VERSION_PATCH);
}

std::optional<std::int16_t> OfferedProgramVersion(const std::string& app_version) {
    if (app_version.empty()) return std::nullopt;
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = app_version.find('.', start);
        parts.push_back(app_version.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    if (parts.size() != 3) return std::nullopt;
    const auto p1 = ParseNumber(parts[0]);
    const auto p2 = ParseNumber(parts[1]);
    const auto p3 = ParseNumber(parts[2]);
    if (!p1 || !p2 || !p3) return std::nullopt;
    const auto a = RoundInto<std::int16_t>(*p1 * 100);
    if (!a) return std::nullopt;
    const auto b = RoundInto<std::int16_t>(*p2 * 10 + *a);
    if (!b) return std::nullopt;
    return RoundInto<std::int16_t>(*p3 + *b);
}

std::optional<std::int16_t> OfferedDatabaseVersion(const std::string& db_version) {
    const auto v = ParseNumber(db_version);
    if (!v) return std::nullopt;
    return RoundInto<std::int16_t>(*v);
}

std::int32_t AnnouncedLength(const std::string& header_value) {
    const auto v = ParseNumber(header_value);
    if (!v) return 0;
    return RoundInto<std::int32_t>(*v).value_or(0);
}

std::string FileNameFromUrl(const std::string& url) {
    const std::size_t slash = url.rfind('/');
    return slash == std::string::npos ? url : url.substr(slash + 1);
}

bool IsPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\") == std::string::npos &&
           name.find('\0') == std::string::npos;
}

bool IsSetupFileName(const std::string& name) {
    if (name.empty() || name.size() > 64 || !std::isalnum(static_cast<unsigned char>(name[0]))) return false;
    if (!std::all_of(name.begin(), name.end(),
                     [](unsigned char c) { return std::isalnum(c) != 0 || c == '.' || c == '_' || c == '-'; }))
        return false;
    const std::string lower = ToLower(name);
    for (const char* reserved :
         {"server.ini", "update.txt", "update.txt.minisig", "ir_database.db3", "lastsigned.txt", "update.lock"})
        if (lower == reserved) return false;
    return lower.find(kTempMarker) == std::string::npos;
}

std::string PrintableText(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) c = '?';
    return out;
}

int ProgressPercent(std::int32_t total, std::int32_t length) {
    if (length <= 0) return 0;
    const double r = std::nearbyint(static_cast<double>(total) * 100.0 / static_cast<double>(length));
    return static_cast<int>(std::clamp(r, 0.0, static_cast<double>(kProgressMax)));
}

bool IsSha256Hex(const std::string& text) {
    const std::string_view t = Trim(text);
    return t.size() == 64 && std::all_of(t.begin(), t.end(), [](unsigned char c) { return std::isxdigit(c) != 0; });
}

std::string NormalisedSha256(const std::string& text) {
    return ToLower(Trim(text));
}

} // namespace tolbe::update
