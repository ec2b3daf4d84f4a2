#include "core/Brands.h"

#include "db/CodeSearch.h"

#include <algorithm>
#include <numeric>

namespace tolbe::core {

namespace {

// Letters and digits only, ASCII letters in lower case; other bytes (UTF-8 letters) as they are.
std::string Folded(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c >= 'A' && c <= 'Z')
            out += static_cast<char>(c - 'A' + 'a');
        else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c >= 0x80)
            out += static_cast<char>(c);
    }
    return out;
}

// Edits (insert, delete, replace, swap of two neighbours) from `a` to `b`: the optimal string
// alignment form of the Damerau-Levenshtein distance. Stops early above `cap`.
std::size_t Distance(const std::string& a, const std::string& b, std::size_t cap) {
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

} // namespace

std::vector<std::string> NearBrands(const std::vector<std::string>& brands, const std::string& typed,
                                    std::size_t limit) {
    const std::string key = Folded(typed);
    if (key.empty()) return {};
    // One slip in a name of up to four characters already makes another name ("LG" and "JVC"
    // are one and two edits from many).
    const std::size_t cap = key.size() <= 4 ? 1 : 2;
    std::vector<std::pair<std::size_t, const std::string*>> near;
    for (const std::string& brand : brands) {
        const std::string folded = Folded(brand);
        if (folded.empty()) continue;
        const std::size_t d = Distance(key, folded, cap);
        if (d <= cap && d < folded.size()) near.emplace_back(d, &brand);
    }
    std::stable_sort(near.begin(), near.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
    std::vector<std::string> out;
    for (const auto& [d, brand] : near) {
        if (out.size() >= limit || (d > 0 && !out.empty() && near.front().first == 0)) break;
        out.push_back(*brand);
    }
    return out;
}

BrandChoice ChooseBrand(const db::CodeDatabase& database, const std::string& device, const std::string& typed) {
    BrandChoice choice;
    try {
        if (!database.IsOpen()) throw db::DbError("no code database is open");
        const std::vector<std::string> all = db::ListBrands(database.DBConn(), device);
        if (typed.empty()) {
            choice.matching = all;
            return choice;
        }
        choice.matching = db::ListBrands(database.DBConn(), device, typed);
        std::vector<std::string> rest;
        std::copy_if(all.begin(), all.end(), std::back_inserter(rest), [&](const std::string& b) {
            return std::find(choice.matching.begin(), choice.matching.end(), b) == choice.matching.end();
        });
        choice.nearest = NearBrands(rest, typed);
    } catch (const db::DbError& e) {
        choice = BrandChoice{};
        choice.error = std::string("database: ") + e.what();
    }
    return choice;
}

} // namespace tolbe::core
