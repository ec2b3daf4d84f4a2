// tolbe-cli setup candidates | next | brands, remote show | mark | send: the set-up assistant's
// lists, its next candidate and the remote's record without windows.
#include "tools/CliCommon.h"
#include "tools/CliJson.h"
#include "tools/CliRegistry.h"

#include "codec/DownOrder.h"
#include "core/Brands.h"
#include "core/Candidates.h"
#include "core/Ranking.h"
#include "core/RemoteRecord.h"
#include "core/TestKeys.h"
#include "i18n/StringTable.h"

#include "common/AsciiText.h"

#include <algorithm>
#include <iostream>
#include <memory>

namespace tolbe::cli {
namespace {

const std::string kDbHelp = "code database file (default: the one the program opens)";

std::shared_ptr<db::CodeDatabase> OpenDatabase(const CliContext& ctx, const std::string& file) {
    const CliDatabase where = LocateDatabase(ctx, file);
    auto database = std::make_shared<db::CodeDatabase>();
    if (database->OpenFile(where.path) != db::CodeDatabase::State::Open)
        throw CliFailure{"cannot open the code database " + where.path +
                         " (missing, damaged or not ours: " + database->Problem() + ")"};
    return database;
}

// The assistant offers the device-type list, so a device that is not on it is a mistake.
std::string KnownDevice(const db::CodeDatabase& database, const std::string& device) {
    std::vector<std::string> types;
    try {
        types = database.DeviceTypes();
    } catch (const db::DbError& e) {
        throw CliFailure{std::string("cannot read the device types: ") + e.what()};
    }
    for (const std::string& t : types)
        if (ToLower(t) == ToLower(device)) return t;
    std::string list;
    for (const std::string& t : types)
        list += (list.empty() ? "" : ", ") + t;
    throw CliFailure{"unknown device type \"" + device + "\": the database has " + list, 2};
}

std::string Cell(std::string text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
    return text;
}

template <class T, class F> std::string JsonList(const std::vector<T>& items, F item) {
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i)
        out += (i ? ", " : "") + item(items[i]);
    return out + "]";
}

std::string JsonText(const std::string& s) {
    return JsonString(s);
}

std::string KeyWord(const std::string& name) {
    std::string out = ToLower(name);
    out.erase(std::remove(out.begin(), out.end(), ' '), out.end());
    return out;
}

// A key given on the command line: by the database's name ("Volume +"), the windows' name
// ("Volume up") or the key-map number.
bool IsKey(const core::TestKey& k, const std::string& given) {
    const core::KeyKind kind = core::KeyKindOf(given);
    return KeyWord(k.name) == KeyWord(given) || std::to_string(k.keyMapId) == KeyWord(given) ||
           (kind != core::KeyKind::Other && kind == k.kind);
}

// A key as the windows name it in English, the database's name when they have none.
std::string ShownName(core::KeyKind kind, const std::string& name) {
    const int text = core::KeyNameText(kind);
    const auto shown = text < 0 ? std::nullopt : i18n::TryLoadText(1000, text);
    return shown ? *shown : name;
}
std::string ShownName(const core::TestKey& k) {
    return ShownName(k.kind, k.name);
}

std::string Joined(const std::vector<std::string>& items, const std::string& separator) {
    std::string out;
    for (const std::string& item : items)
        out += (out.empty() ? "" : separator) + item;
    return out;
}

std::string IdList(const std::vector<std::int32_t>& ids) {
    std::string out;
    for (std::int32_t id : ids)
        out += (out.empty() ? "" : ",") + std::to_string(id);
    return out;
}

struct CandidatesArgs {
    std::string db, slot, device, brand, model;
    std::vector<std::string> answers; // setup next only
    bool json = false;
};

// What a candidate list is made from: the database, slot, device type, brand and model.
void AddListOptions(CLI::App* cmd, CandidatesArgs& a) {
    cmd->add_option("--db", a.db, kDbHelp);
    cmd->add_option("--slot", a.slot, Slot::Choices())->required();
    cmd->add_option("--device", a.device, "device type, as the device-type list names it")->required();
    cmd->add_option("--brand", a.brand, "brand key words")->required();
    cmd->add_option("--model", a.model, "model as typed");
}

// The brand's candidates, with what the typed model found said on standard error.
core::CandidateList ListCandidates(const CliContext& ctx, const CandidatesArgs& a, Slot slot) {
    const auto database = OpenDatabase(ctx, a.db);
    const std::string device = KnownDevice(*database, a.device);
    auto found = core::FindCandidates(*database, slot, device, a.brand, a.model);
    if (!found) throw CliFailure{"cannot list the candidates: " + found.Error()};
    core::CandidateList list = std::move(*found);
    if (list.codeSets == 0) {
        const auto brands = core::ChooseBrand(*database, device, a.brand);
        std::string hint;
        for (const std::string& b : brands ? brands->nearest : std::vector<std::string>{})
            hint += (hint.empty() ? "; did you mean " : " or ") + ("\"" + b + "\"");
        std::cerr << "tolbe-cli: no code set of " << device << " matches brand \"" << a.brand << "\""
                  << (hint.empty() ? "" : hint + "?") << "\n";
    }
    const core::ModelLookup& m = list.model;
    if (m.looksLikeSerial)
        std::cerr << "\"" << m.typed << "\" looks like a serial number; the model name is on the same label, "
                  << "usually after \"Model\" or \"Type\"\n";
    for (const std::string& near : m.nearModels)
        std::cerr << "Did you mean model " << Cell(near) << "?\n";
    if (!m.typed.empty() && m.matching == 0 && !list.candidates.empty())
        std::cerr << "No model matches \"" << m.typed << "\"; showing all " << list.candidates.size()
                  << " candidates of the brand\n";
    return list;
}

std::string JsonModelLookup(const core::ModelLookup& m) {
    return ", \"model\": {\"typed\": " + JsonString(m.typed) + ", \"matching\": " + std::to_string(m.matching) +
           ", \"did_you_mean\": " + JsonList(m.nearModels, JsonText) +
           ", \"looks_like_serial\": " + (m.looksLikeSerial ? "true" : "false") + "}";
}

void RunCandidates(const CliContext& ctx, const CandidatesArgs& a) {
    const Slot slot = Slot::FromNumber(ParseSlot(a.slot));
    const core::CandidateList list = ListCandidates(ctx, a, slot);
    std::vector<const core::Candidate*> ranked;
    for (std::size_t i : core::RankCandidates(list, {}))
        ranked.push_back(&list.candidates[i]);
    if (a.json) {
        std::cout << "{\"candidates\": "
                  << JsonList(ranked,
                              [](const core::Candidate* c) {
                                  return "{\"set_of_code_ids\": " +
                                         JsonList(c->SetOfCodeIDs, [](std::int32_t id) { return std::to_string(id); }) +
                                         ", \"models\": " + JsonList(c->models, JsonText) +
                                         ", \"image_sha256\": " + JsonString(c->imageSha256) + "}";
                              })
                  << (a.model.empty() ? "" : JsonModelLookup(list.model)) << "}\n";
        return;
    }
    std::cout << "candidate\tcode_sets\tset_of_code_ids\tblocks\tmodels\timage_sha256\n";
    for (std::size_t k = 0; k < ranked.size(); ++k) {
        const core::Candidate& c = *ranked[k];
        std::cout << k + 1 << "\t" << c.SetOfCodeIDs.size() << "\t" << IdList(c.SetOfCodeIDs) << "\t" << c.BlockCount
                  << "\t" << Cell(Joined(c.models, ", ")) << "\t" << c.imageSha256 << "\n";
    }
    std::cerr << list.candidates.size() << " candidates for " << list.codeSets << " code sets (" << list.refused
              << " too long or empty for " << slot.Name() << ")\n";
}

// "SHA256=works", "SHA256=failed" or "SHA256=partly:KEY,KEY", the keys among the candidate's test
// keys by name (letter case and blanks aside) or key-map number.
core::Answer ParseAnswer(const std::string& text, const core::CandidateList& list) {
    const std::size_t eq = text.find('=');
    const auto bad = [&](const std::string& why) { return CliFailure{"--answer \"" + text + "\": " + why, 2}; };
    if (eq == std::string::npos) throw bad("write IMAGE_SHA256=works, =failed or =partly:KEY,KEY");
    core::Answer answer;
    answer.imageSha256 = ToLower(text.substr(0, eq));
    const auto tried = std::find_if(list.candidates.begin(), list.candidates.end(),
                                    [&](const core::Candidate& c) { return c.imageSha256 == answer.imageSha256; });
    if (tried == list.candidates.end()) throw bad("no candidate of this list has that image");
    const std::string said = text.substr(eq + 1);
    if (ToLower(said) == "works") {
        answer.verdict = core::Verdict::Works;
        return answer;
    }
    if (ToLower(said) == "failed") return answer;
    if (ToLower(said.substr(0, 7)) != "partly:") throw bad("the answer is works, failed or partly:KEY,KEY");
    answer.verdict = core::Verdict::Partly;
    std::size_t start = 7;
    for (;;) {
        const std::size_t comma = said.find(',', start);
        const std::string given = said.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        const auto key = std::find_if(tried->testKeys.begin(), tried->testKeys.end(),
                                      [&](const core::TestKey& k) { return IsKey(k, given); });
        if (key == tried->testKeys.end()) {
            std::vector<std::string> names;
            for (const core::TestKey& k : tried->testKeys)
                names.push_back(ShownName(k));
            throw bad("\"" + given + "\" is not one of its keys to test: " + Joined(names, ", "));
        }
        answer.keysWorked.push_back(key->keyMapId);
        if (comma == std::string::npos) return answer;
        start = comma + 1;
    }
}

void RunNext(const CliContext& ctx, const CandidatesArgs& a) {
    const Slot slot = Slot::FromNumber(ParseSlot(a.slot));
    const core::CandidateList list = ListCandidates(ctx, a, slot);
    std::vector<core::Answer> answers;
    for (const std::string& text : a.answers)
        answers.push_back(ParseAnswer(text, list));
    const auto works = std::find_if(answers.begin(), answers.end(),
                                    [](const core::Answer& x) { return x.verdict == core::Verdict::Works; });
    const std::vector<std::size_t> order = core::RankCandidates(list, answers);
    const core::Candidate* c = nullptr;
    std::string status = "none left";
    if (works != answers.end()) {
        status = "works";
        c = &*std::find_if(list.candidates.begin(), list.candidates.end(),
                           [&](const core::Candidate& x) { return x.imageSha256 == works->imageSha256; });
    } else if (!order.empty()) {
        status = "try";
        c = &list.candidates[order.front()];
    }
    const std::size_t tried = list.candidates.size() - order.size();
    std::vector<std::string> keys;
    if (c != nullptr)
        for (const core::TestKey& k : c->testKeys)
            keys.push_back(ShownName(k));
    if (a.json) {
        std::string candidate = "null";
        if (c != nullptr)
            candidate =
                "{\"set_of_code_ids\": " +
                JsonList(c->SetOfCodeIDs, [](std::int32_t id) { return std::to_string(id); }) +
                ", \"models\": " + JsonList(c->models, JsonText) + ", \"image_sha256\": " + JsonString(c->imageSha256) +
                ", \"source_id\": " + std::to_string(c->first.SourceID) + ", \"order\": " + JsonString(c->StrKeyDown) +
                ", \"blocks\": " + std::to_string(c->BlockCount) + ", \"keys\": " +
                JsonList(c->testKeys,
                         [](const core::TestKey& k) {
                             return "{\"name\": " + JsonString(k.name) +
                                    ", \"key_map_id\": " + std::to_string(k.keyMapId) + "}";
                         }) +
                "}";
        std::cout << "{\"status\": " << JsonString(status) << ", \"tried\": " << tried << ", \"left\": " << order.size()
                  << ", \"candidates\": " << list.candidates.size() << ", \"candidate\": " << candidate << "}\n";
        return;
    }
    std::cout << "status\tset_of_code_ids\tsource_id\torder\tblocks\tmodels\timage_sha256\tkeys\n";
    if (c == nullptr) {
        std::cout << status << "\t\t\t\t\t\t\t\n";
    } else {
        std::cout << status << "\t" << IdList(c->SetOfCodeIDs) << "\t" << c->first.SourceID << "\t" << c->StrKeyDown
                  << "\t" << c->BlockCount << "\t" << Cell(Joined(c->models, ", ")) << "\t" << c->imageSha256 << "\t"
                  << Cell(Joined(keys, ", ")) << "\n";
    }
    std::cerr << tried << " of " << list.candidates.size() << " candidates answered, " << order.size() << " left\n";
}

struct BrandsArgs {
    std::string db, device, like;
};

void RunBrands(const CliContext& ctx, const BrandsArgs& a) {
    const auto database = OpenDatabase(ctx, a.db);
    const std::string device = KnownDevice(*database, a.device);
    const auto chosen = core::ChooseBrand(*database, device, a.like);
    if (!chosen) throw CliFailure{"cannot list the brands: " + chosen.Error()};
    const core::BrandChoice& choice = *chosen;
    for (const std::string& b : choice.matching)
        std::cout << Cell(b) << "\n";
    for (const std::string& b : choice.nearest)
        std::cout << "Did you mean: " << Cell(b) << "?\n";
    if (choice.matching.empty() && choice.nearest.empty())
        std::cerr << "tolbe-cli: no brand of " << device << " matches \"" << a.like << "\"\n";
}

struct ShowArgs {
    std::string db;
    bool json = false;
};

std::string Nullable(bool present, const std::string& json) {
    return present ? json : "null";
}

void RunShow(const CliContext& ctx, const ShowArgs& a) {
    const core::RemoteRecord record = LoadRemoteRecord(ctx);
    if (a.json) {
        const auto slots = Slot::All();
        std::cout << "{\"slots\": " << JsonList(std::vector<Slot>(slots.begin(), slots.end()), [&](Slot slot) {
            const core::SlotRecord& r = record.Of(slot);
            const bool w = r.HasWritten();
            std::string resume = "null";
            if (r.resume)
                resume = "{\"device\": " + JsonString(r.resume->device) +
                         ", \"brand\": " + JsonString(r.resume->brand) + ", \"model\": " + JsonString(r.resume->model) +
                         ", \"candidate\": " + std::to_string(r.resume->candidate + 1) +
                         ", \"image_sha256\": " + JsonString(r.resume->imageSha256) + "}";
            return "{\"slot\": " + JsonString(slot.Name()) +
                   ", \"set_of_code_id\": " + Nullable(w, std::to_string(r.written.SetOfCodeID)) +
                   ", \"verdict\": " + JsonString(core::VerdictName(r.verdict)) +
                   ", \"keys\": " + JsonList(r.workingKeys, JsonText) +
                   ", \"source_id\": " + Nullable(w, std::to_string(r.written.SourceID)) +
                   ", \"device\": " + Nullable(w, JsonString(r.written.DeviceName)) +
                   ", \"brand\": " + Nullable(w, JsonString(r.written.BrandName)) +
                   ", \"model\": " + Nullable(w, JsonString(r.written.ModelName)) +
                   ", \"database_version\": " + Nullable(w, std::to_string(r.databaseVersion)) +
                   ", \"written_at\": " + Nullable(w, JsonString(r.writtenAt)) +
                   ", \"image_sha256\": " + Nullable(!r.imageSha256.empty(), JsonString(r.imageSha256)) +
                   ", \"ruled_out\": {\"device\": " + JsonString(r.ruledOutDevice) +
                   ", \"brand\": " + JsonString(r.ruledOutBrand) + ", \"images\": " + JsonList(r.ruledOut, JsonText) +
                   "}" + ", \"resume\": " + resume + "}";
        }) << "}\n";
        return;
    }
    std::cout << "slot\tset_of_code_id\tsource_id\tdevice\tbrand\tmodel\tdatabase_version\twritten_at\tverdict\tkeys\n";
    for (Slot slot : Slot::All()) {
        const core::SlotRecord& r = record.Of(slot);
        std::string keys;
        for (const std::string& k : r.workingKeys)
            keys += (keys.empty() ? "" : ", ") + ShownName(core::KeyKindOf(k), k);
        if (!r.HasWritten()) {
            std::cout << slot.Name() << "\t-\t-\t\t\t\t\t\t" << core::VerdictName(r.verdict) << "\t\n";
            continue;
        }
        std::cout << slot.Name() << "\t" << r.written.SetOfCodeID << "\t" << r.written.SourceID << "\t"
                  << Cell(r.written.DeviceName) << "\t" << Cell(r.written.BrandName) << "\t"
                  << Cell(r.written.ModelName) << "\t" << r.databaseVersion << "\t" << r.writtenAt << "\t"
                  << core::VerdictName(r.verdict) << "\t" << Cell(keys) << "\n";
    }
}

struct MarkArgs {
    std::string db, slot, verdict;
    std::int32_t setOfCodeId = 0;
    std::vector<std::string> keys;
};

// The keys as the database names them: each given by its name (letter case and blanks aside) or
// by its key-map number, among the test keys of the slot's code set.
std::vector<std::string> NamedKeys(const CliContext& ctx, const MarkArgs& a, Slot slot,
                                   const codec::SlotInfo& written) {
    const auto database = OpenDatabase(ctx, a.db);
    const auto test = core::TestKeysFor(*database, slot, written.SourceID, std::nullopt, written.DeviceName);
    if (!test) throw CliFailure{"cannot read the keys of the slot's code set: " + test.Error()};
    const std::vector<core::TestKey>& keys = *test;
    std::vector<std::string> named;
    for (const std::string& given : a.keys) {
        const auto it = std::find_if(keys.begin(), keys.end(), [&](const core::TestKey& k) { return IsKey(k, given); });
        if (it == keys.end()) {
            std::string list;
            for (const core::TestKey& k : keys)
                list += (list.empty() ? "" : ", ") + ShownName(k);
            throw CliFailure{"\"" + given + "\" is not one of the keys to test: " + list, 2};
        }
        if (std::find(named.begin(), named.end(), it->name) == named.end()) named.push_back(it->name);
    }
    return named;
}

void RunMark(const CliContext& ctx, const MarkArgs& a) {
    const Slot slot = Slot::FromNumber(ParseSlot(a.slot));
    const auto verdict = core::ParseVerdict(a.verdict);
    if (!verdict || *verdict == core::Verdict::NotTried)
        throw CliFailure{"unknown verdict \"" + a.verdict + "\": use works, partly or failed", 2};
    if (*verdict == core::Verdict::Partly && a.keys.empty())
        throw CliFailure{"with --verdict partly, --keys names the keys that worked", 2};
    if (*verdict != core::Verdict::Partly && !a.keys.empty())
        throw CliFailure{"--keys goes with --verdict partly only", 2};
    const auto check = [&](const core::SlotRecord& r) {
        if (!r.HasWritten())
            throw CliFailure{"nothing has been written into slot " + slot.Name() + " from this computer"};
        if (r.written.SetOfCodeID != a.setOfCodeId)
            throw CliFailure{"slot " + slot.Name() + " holds code set " + std::to_string(r.written.SetOfCodeID) +
                             " as written from this computer, not " + std::to_string(a.setOfCodeId)};
    };
    // The keys are looked up in the database before the record is locked, so the lock is held only
    // for the read, the change and the write.
    std::vector<std::string> keys;
    if (!a.keys.empty()) {
        const core::RemoteRecord before = LoadRemoteRecord(ctx);
        check(before.Of(slot));
        keys = NamedKeys(ctx, a, slot, before.Of(slot).written);
    }
    ChangeRemoteRecord(ctx, [&](core::RemoteRecord& record) {
        const core::SlotRecord& r = record.Of(slot);
        check(r);
        record.Answer(slot, r.written.DeviceName, r.written.BrandName, r.imageSha256, a.setOfCodeId, *verdict, keys);
    });
}

struct SendArgs {
    std::string db, slot;
    std::uint32_t seed = 0;
    CLI::Option* seedOpt = nullptr;
    DownloadOutput out;
};

void RunSend(const CliContext& ctx, const SendArgs& a) {
    const Slot slot = Slot::FromNumber(ParseSlot(a.slot));
    const core::RemoteRecord record = LoadRemoteRecord(ctx);
    const codec::SlotInfo written = record.Of(slot).written;
    if (!written.IsAssigned())
        throw CliFailure{"nothing has been written into slot " + slot.Name() + " from this computer"};
    CodeSelection sel;
    sel.db = a.db;
    sel.slot = slot.Name();
    sel.sourceId = written.SourceID;
    sel.seed = a.seed;
    sel.seedOpt = a.seedOpt;
    ResolvedCode code = ResolveCodeSelection(ctx, sel);
    code.request.SetOfCodeID = written.SetOfCodeID; // its own key order: the same image again
    auto rng = MakeFiller(sel);
    RunDownload(ctx, code, *rng, a.out, &written);
}

void RunReset(const CliContext& ctx, const std::string& slotText) {
    const Slot slot = Slot::FromNumber(ParseSlot(slotText));
    std::size_t cleared = 0;
    std::string brand;
    ChangeRemoteRecord(ctx, [&](core::RemoteRecord& record) {
        cleared = record.Of(slot).ruledOut.size();
        brand = record.Of(slot).ruledOutBrand;
        record.StartOver(slot);
    });
    std::cout << "slot " << slot.Name() << ": " << cleared << " ruled-out candidate" << (cleared == 1 ? "" : "s")
              << (brand.empty() ? "" : " of " + brand) << " cleared; the set-up starts at the first candidate\n";
}

const Registrar kRegistrar([](CLI::App& app, CliContext& ctx) {
    CLI::App* setup =
        app.add_subcommand("setup", "The set-up assistant's lists: brands, candidates and the next one to try.");
    setup->require_subcommand(1);

    auto cand = std::make_shared<CandidatesArgs>();
    CLI::App* c = setup->add_subcommand(
        "candidates",
        "List the candidates for a slot, likeliest first: every code set of the brand (no limit of 300), code sets "
        "that write the same bytes into the slot taken together, code sets too long for it left out. With --model, "
        "the candidates of the models it names come first (letter case, blanks, hyphens, dots, slashes and O/0, "
        "I/1/l aside), then \"Did you mean model ...?\" ones a letter or two away, then the rest of the brand. "
        "Tab-separated with a heading line, or JSON.");
    AddListOptions(c, *cand);
    c->add_flag("--json", cand->json,
                "print {\"candidates\": [{\"set_of_code_ids\", \"models\", \"image_sha256\"}]}, with --model "
                "also \"model\": {\"typed\", \"matching\", \"did_you_mean\", \"looks_like_serial\"}");
    c->callback([&ctx, cand] { RunCandidates(ctx, *cand); });

    auto next = std::make_shared<CandidatesArgs>();
    CLI::App* n = setup->add_subcommand(
        "next", "Print the next candidate to try after the answers so far, ranked as the set-up assistant ranks "
                "them (each answer moves up the candidates that send a code that worked and down those that send "
                "one that did not); status \"try\", \"works\" (an answer said so) or \"none left\". "
                "Tab-separated with a heading line, or JSON.");
    AddListOptions(n, *next);
    n->add_option("--answer", next->answers,
                  "a tried candidate: IMAGE_SHA256=works, =failed or =partly:KEY,KEY (the test keys that worked, by "
                  "name or key-map number); repeatable");
    n->add_flag("--json", next->json,
                "print {\"status\", \"tried\", \"left\", \"candidates\", \"candidate\": {\"set_of_code_ids\", "
                "\"models\", \"image_sha256\", \"source_id\", \"order\", \"blocks\", \"keys\"} or null}");
    n->callback([&ctx, next] { RunNext(ctx, *next); });

    auto resetSlot = std::make_shared<std::string>();
    CLI::App* r = setup->add_subcommand("reset", "Start the slot's set-up over: clear the candidates ruled out for "
                                                 "its brand and the place a stopped assistant resumes at.");
    r->add_option("--slot", *resetSlot, Slot::Choices())->required();
    r->callback([&ctx, resetSlot] { RunReset(ctx, *resetSlot); });

    auto brands = std::make_shared<BrandsArgs>();
    CLI::App* b = setup->add_subcommand(
        "brands", "List the brands of a device type, one a line; with --like those the text finds as a brand key "
                  "word, then \"Did you mean: BRAND?\" for close brands it misses (other case, blanks, hyphens, a "
                  "letter or two wrong).");
    b->add_option("--db", brands->db, kDbHelp);
    b->add_option("--device", brands->device, "device type, as the device-type list names it")->required();
    b->add_option("--like", brands->like, "brand as typed");
    b->callback([&ctx, brands] { RunBrands(ctx, *brands); });

    CLI::App* remote =
        app.add_subcommand("remote", "The remote's record: what this computer last wrote into each slot.");
    remote->require_subcommand(1);

    auto show = std::make_shared<ShowArgs>();
    CLI::App* s = remote->add_subcommand("show", "Show the four slots as last written from this computer, with the "
                                                 "verdicts. Tab-separated with a heading line, or JSON.");
    s->add_option("--db", show->db, kDbHelp);
    s->add_flag("--json", show->json, "print {\"slots\": [{\"slot\", \"set_of_code_id\", \"verdict\", ...}]}");
    s->callback([&ctx, show] { RunShow(ctx, *show); });

    auto mark = std::make_shared<MarkArgs>();
    CLI::App* m = remote->add_subcommand("mark", "Record whether the slot's code set works; a failed one is ruled "
                                                 "out for its brand.");
    m->add_option("--db", mark->db, kDbHelp);
    m->add_option("--slot", mark->slot, Slot::Choices())->required();
    m->add_option("--set-of-code-id", mark->setOfCodeId, "the code set last written into the slot")->required();
    m->add_option("--verdict", mark->verdict, "works, partly or failed")->required();
    m->add_option("--keys", mark->keys, "with partly: the keys that worked, by name or key-map number")->delimiter(',');
    m->callback([&ctx, mark] { RunMark(ctx, *mark); });

    auto send = std::make_shared<SendArgs>();
    CLI::App* d = remote->add_subcommand("send", "Play the slot's recorded code set again, as tolbe-cli download "
                                                 "plays it. Exit status 1 when it cannot be sent, 3 when the "
                                                 "download could not be played.");
    d->add_option("--db", send->db, kDbHelp);
    d->add_option("--slot", send->slot, Slot::Choices())->required();
    send->seedOpt = d->add_option("--seed", send->seed, "seed of the filler bytes (default: random)");
    AddDownloadOutputOptions(d, send->out);
    d->callback([&ctx, send] { RunSend(ctx, *send); });
});

} // namespace
} // namespace tolbe::cli
