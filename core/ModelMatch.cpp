#include "core/ModelMatch.h"

#include "common/AsciiText.h"

#include <algorithm>
#include <numeric>
#include <vector>

namespace tolbe::core {

namespace {
constexpr std::size_t kLongestModel = 64;
} // namespace

std::size_t EditDistance(const std::string& a, const std::string& b, std::size_t cap) {
    const std::size_t n = a.size(), m = b.size();
    if ((n > m ? n - m : m - n) > cap) return cap + 1;
    std::vector<std::size_t> before(m + 1), previous(m + 1), current(m + 1);
    std::iota(previous.begin(), previous.end(), std::size_t{0});
    for (std::size_t i = 1; i <= n; ++i) {
        current[0] = i;
        std::size_t best = current[0];
        for (std::size_t j = 1; j <= m; ++j) {
            const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                current[j] = std::min(current[j], before[j - 2] + 1);
            best = std::min(best, current[j]);
        }
        if (best > cap) return cap + 1;
        before.swap(previous);
        previous.swap(current);
    }
    return previous[m];
}

std::string NormaliseModel(const std::string& model) {
    std::string out;
    out.reserve(model.size());
    for (unsigned char c : model) {
        if (c == ' ' || c == '\t' || c == '-' || c == '.' || c == '/' || c == '_') continue;
        c = static_cast<unsigned char>(ToLower(static_cast<char>(c)));
        if (c == 'o') c = '0';
        if (c == 'i' || c == 'l') c = '1';
        out += static_cast<char>(c);
    }
    return out;
}

bool LooksLikeSerial(const std::string& typed) {
    int run = 0;
    for (unsigned char c : typed) {
        run = c >= '0' && c <= '9' ? run + 1 : 0;
        if (run >= 8) return true;
    }
    return false;
}

ModelCloseness CompareModel(const std::string& typed, const std::string& model) {
    const std::string key = NormaliseModel(typed);
    const std::string name = NormaliseModel(model);
    if (key.empty() || name.empty()) return {};
    if (key == name) return {ModelFit::Equal, 0};
    if (name.find(key) != std::string::npos) return {ModelFit::Contains, 0};
    // One slip in a short name already makes another model; longer names allow two. Model names
    // are short: a long text is no model name, and the distance stays cheap.
    if (key.size() > kLongestModel || name.size() > kLongestModel) return {};
    const std::size_t cap = key.size() <= 5 ? 1 : 2;
    const std::size_t d = EditDistance(key, name, cap);
    if (d <= cap) return {ModelFit::Near, d};
    return {};
}

} // namespace tolbe::core
