#include "core/Candidates.h"

#include "codec/CodeRecord.h"
#include "codec/DownOrder.h"
#include "common/Digest.h"
#include "core/Download.h"
#include "db/CodeSearch.h"

#include <algorithm>
#include <map>
#include <optional>

namespace tolbe::core {

namespace {

struct Image {
    std::vector<std::uint8_t> bytes; // filler zeroed
    std::int16_t blocks = 0;
};

// Decrypted pages the connection keeps (KiB). A list walks the whole search index and every
// source's codes; with SQLite's 2 MiB default each of those pages is decrypted again by the next
// query that needs it. The cache stays, so the next list (another brand or slot) starts warm.
constexpr int kListCacheKiB = 32768;

// "Did you mean model ...?" names at most.
constexpr std::size_t kNearModelsListed = 5;

// One read transaction around many small queries: the file is locked and its first page read and
// decrypted once, not once a query.
class ReadTransaction {
public:
    explicit ReadTransaction(const db::DbConnection& conn) : m_conn(conn) {
        try {
            m_conn.ExecuteSql("PRAGMA cache_size=-" + std::to_string(kListCacheKiB));
        } catch (const db::DbError&) {
            // Only slower.
        }
        try {
            m_conn.ExecuteSql("BEGIN");
            m_open = true;
        } catch (const db::DbError&) {
            // Already inside one: the queries run in it.
        }
    }
    ~ReadTransaction() {
        try {
            if (m_open) m_conn.ExecuteSql("COMMIT");
        } catch (const db::DbError&) {
        }
    }
    ReadTransaction(const ReadTransaction&) = delete;
    ReadTransaction& operator=(const ReadTransaction&) = delete;

private:
    const db::DbConnection& m_conn;
    bool m_open = false;
};

} // namespace

std::string ImageSha256(const std::vector<std::uint8_t>& record, Slot slot) {
    if (record.size() < 10 || record.size() % Slot::kBlockBytes != 0 || record.size() > Slot::kRegionBytes) return {};
    // The trailer's address at offsets 4 and 5; the record ends with the trailer's four bytes.
    const int trailer = (record[4] << 8 | record[5]) - slot.BaseAddress();
    const std::size_t end = static_cast<std::size_t>(trailer) + 4;
    if (trailer < 6 || end > record.size() || record.size() - end >= Slot::kBlockBytes) return {};
    std::vector<std::uint8_t> image(record.begin(), record.begin() + static_cast<std::ptrdiff_t>(end));
    image.resize(record.size(), 0);

    return Sha256Hex(image);
}

const std::string* Candidate::CodeOf(std::int32_t keyMapId) const {
    const auto it =
        std::find_if(keyCodes.begin(), keyCodes.end(), [&](const KeyCode& k) { return k.keyMapId == keyMapId; });
    return it == keyCodes.end() ? nullptr : &it->code;
}

void ApplyModel(CandidateList& list, const std::string& model) {
    list.model = {model, LooksLikeSerial(model), 0, {}};
    std::map<std::string, std::size_t> near;
    for (Candidate& c : list.candidates) {
        c.model = {};
        for (const std::string& name : c.models) {
            const ModelCloseness fit = CompareModel(model, name);
            if (fit.fit < c.model.fit || (fit.fit == c.model.fit && fit.edits < c.model.edits)) c.model = fit;
            if (fit.fit == ModelFit::Near) near.try_emplace(name, fit.edits);
        }
        if (c.model.fit == ModelFit::Equal || c.model.fit == ModelFit::Contains) ++list.model.matching;
    }
    // Near names are offered only when nothing matches: otherwise they would only distract.
    if (list.model.matching > 0) return;
    std::vector<std::pair<std::size_t, std::string>> closest;
    for (const auto& [name, edits] : near)
        closest.emplace_back(edits, name);
    std::stable_sort(closest.begin(), closest.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
    for (std::size_t i = 0; i < closest.size() && i < kNearModelsListed; ++i)
        list.model.nearModels.push_back(closest[i].second);
}

Result<CandidateList> FindCandidates(const db::CodeDatabase& database, Slot slot, const std::string& device,
                                     const std::string& brand, const std::string& model) {
    using R = Result<CandidateList>;
    CandidateList list;
    list.model = {model, LooksLikeSerial(model), 0, {}};
    if (!database.IsOpen()) return R::Fail("no code database is open");
    try {
        const db::DbConnection& conn = database.DBConn();
        const ReadTransaction transaction(conn);
        const db::DbRecordset rs = db::SearchWithSources(conn, device, brand);
        list.codeSets = rs.RecordCount();
        const std::map<std::int32_t, std::string> names = KeyNames(database);
        // A code set's key order depends on nothing of it but its Source (GetDownOrderStr), and
        // its record on its code source and that order, so each pair is encoded once.
        std::map<std::string, std::string> orderBySource;
        std::map<std::pair<std::int32_t, std::string>, std::optional<Image>> byRecipe;
        std::map<std::vector<std::uint8_t>, std::size_t> byImage;
        codec::ZeroFiller zeros;
        for (int r = 0; r < rs.RecordCount(); ++r) {
            codec::SlotInfo info{rs.ValueAt(r, 0).ToInt32(), rs.ValueAt(r, 1).ToInt32(), rs.ValueAt(r, 2).Text(),
                                 rs.ValueAt(r, 3).Text(), rs.ValueAt(r, 4).Text()};
            const std::string sourceText = rs.ValueAt(r, 6).Text();
            auto order = orderBySource.find(sourceText);
            if (order == orderBySource.end())
                order = orderBySource
                            .emplace(sourceText, codec::GetDownOrderStr(db::ReadKeyOrderRows(
                                                     conn, info.SetOfCodeID, codec::kSupportedRcuModel)))
                            .first;

            auto [at, fresh] = byRecipe.try_emplace({info.SourceID, order->second});
            if (fresh) {
                DownloadRequest request;
                request.slot = slot;
                request.SourceID = info.SourceID;
                request.StrKeyDown = order->second;
                Image image;
                const DownloadResult<Done> built = BuildSlotRecord(database, request, zeros, image.bytes, image.blocks);
                if (!built &&
                    (built.ErrorKind() == Refusal::DatabaseFailed || built.ErrorKind() == Refusal::NoDatabase))
                    return R::Fail(built.Error());
                if (built) at->second = std::move(image);
            }
            if (!at->second) {
                ++list.refused;
                continue;
            }
            auto [group, added] = byImage.try_emplace(at->second->bytes, list.candidates.size());
            if (added) {
                Candidate c;
                c.first = info;
                c.StrKeyDown = order->second;
                c.BlockCount = at->second->blocks;
                c.imageSha256 = ImageSha256(at->second->bytes, slot);
                c.keyCodes = KeyCodesOf(at->second->bytes, order->second, slot);
                c.testKeys = ChooseTestKeys(c.keyCodes, names, DeviceKindOf(device, slot));
                list.candidates.push_back(std::move(c));
            }
            Candidate& c = list.candidates[group->second];
            c.SetOfCodeIDs.push_back(info.SetOfCodeID);
            if (std::find(c.models.begin(), c.models.end(), info.ModelName) != c.models.end()) continue;
            c.models.push_back(info.ModelName);
        }
        ApplyModel(list, model);
    } catch (const db::DbError& e) {
        return R::Fail(std::string("database: ") + e.what());
    }
    return R::Ok(std::move(list));
}

} // namespace tolbe::core
