#include "core/Brands.h"

#include "common/AsciiText.h"
#include "core/ModelMatch.h"
#include "db/CodeSearch.h"

#include <algorithm>

namespace tolbe::core {

namespace {

// Letters and digits only, ASCII letters in lower case; other bytes (UTF-8 letters) as they are.
std::string Folded(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        const char lower = ToLower(static_cast<char>(c));
        if ((lower >= 'a' && lower <= 'z') || (c >= '0' && c <= '9') || c >= 0x80) out += lower;
    }
    return out;
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
        const std::size_t d = EditDistance(key, folded, cap);
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

Result<BrandChoice> ChooseBrand(const db::CodeDatabase& database, const std::string& device, const std::string& typed) {
    using R = Result<BrandChoice>;
    BrandChoice choice;
    try {
        if (!database.IsOpen()) throw db::DbError("no code database is open");
        const std::vector<std::string> all = db::ListBrands(database.DBConn(), device);
        if (typed.empty()) {
            choice.matching = all;
            return R::Ok(std::move(choice));
        }
        choice.matching = db::ListBrands(database.DBConn(), device, typed);
        std::vector<std::string> rest;
        std::copy_if(all.begin(), all.end(), std::back_inserter(rest), [&](const std::string& b) {
            return std::find(choice.matching.begin(), choice.matching.end(), b) == choice.matching.end();
        });
        choice.nearest = NearBrands(rest, typed);
    } catch (const db::DbError& e) {
        return R::Fail(std::string("database: ") + e.what());
    }
    return R::Ok(std::move(choice));
}

} // namespace tolbe::core
