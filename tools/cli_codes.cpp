// tolbe-cli search | order | encode: the code search, the key order and the code record of a
// slot, as the main window and the download compute them.
#include "tools/CliCommon.h"
#include "tools/CliRegistry.h"

#include "codec/CodeRecord.h"
#include "codec/DownOrder.h"
#include "codec/SlotTable.h"
#include "common/HexText.h"
#include "common/ProgramPaths.h"
#include "common/Slot.h"
#include "common/UserSettings.h"
#include "db/CodeSearch.h"
#include "db/DatabaseFile.h"
#include "i18n/Language.h"
#include "i18n/StringTable.h"
#include "i18n/Texts.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>

namespace tolbe::cli {
namespace {

// The remote model the program programs.

using Database = CliDatabase;

std::string Cell(std::string text) {
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
    return text;
}

struct SearchArgs {
    std::string db, device, brand, model;
    std::optional<int> lang;
    bool sql = false;
};

void RunSearch(const CliContext& ctx, const SearchArgs& a) {
    std::int16_t base = 0;
    if (a.lang) {
        base = static_cast<std::int16_t>(*a.lang);
    } else {
        i18n::GetLanguage(*OpenUserSettings(), i18n::SystemUiLanguageId(), base);
    }
    std::string aliases[3];
    for (int i = 0; i < 3; ++i) {
        try {
            aliases[i] = i18n::LoadText(base, i18n::kTextDevice + i);
        } catch (const i18n::TextNotFound&) {
            throw CliFailure{"no texts for language base " + std::to_string(base) + " (use 0, 1000, ... 6000)"};
        }
    }
    if (a.sql) {
        std::cout << db::BuildSearchStatement(a.device, a.brand, a.model, aliases[0], aliases[1], aliases[2]) << "\n";
        return;
    }
    db::DbConnection conn;
    OpenCodeDatabase(conn, LocateDatabase(ctx, a.db));
    db::DbRecordset rs;
    try {
        rs = db::SearchSetOfCodes(conn, a.device, a.brand, a.model, aliases[0], aliases[1], aliases[2]);
    } catch (const db::DbError& e) {
        throw CliFailure{std::string("search failed: ") + e.what()};
    }
    for (int c = 0; c < rs.ColumnCount(); ++c)
        std::cout << (c ? "\t" : "") << Cell(rs.ColumnName(c));
    std::cout << "\n";
    for (int r = 0; r < rs.RecordCount(); ++r) {
        for (int c = 0; c < rs.ColumnCount(); ++c)
            std::cout << (c ? "\t" : "") << Cell(rs.ValueAt(r, c).Text());
        std::cout << "\n";
    }
}

struct OrderArgs {
    std::string db;
    std::int32_t setOfCodeId = 0;
};

void RunOrder(const CliContext& ctx, const OrderArgs& a) {
    db::DbConnection conn;
    OpenCodeDatabase(conn, LocateDatabase(ctx, a.db));
    std::cout << codec::GetDownOrderStr(db::ReadKeyOrderRows(conn, a.setOfCodeId, codec::kSupportedRcuModel)) << "\n";
}

void RunEncode(const CliContext& ctx, const CodeSelection& a) {
    const ResolvedCode code = ResolveCodeSelection(ctx, a);
    auto rng = MakeFiller(a);
    const core::PreparedDownload prepared = PrepareOrFail(code, *rng, 0);
    const std::vector<std::uint8_t>& buffer = prepared.CodeBuffer;
    std::printf("%d\n", prepared.BlockCount);
    for (std::size_t at = 0; at < buffer.size(); at += Slot::kBlockBytes) {
        const auto block = std::span(buffer).subspan(at, std::min<std::size_t>(Slot::kBlockBytes, buffer.size() - at));
        std::fputs(ToHex(block).c_str(), stdout);
        if (block.size() == Slot::kBlockBytes) std::fputs("\n", stdout);
    }
}

const Registrar kRegistrar([](CLI::App& app, CliContext& ctx) {
    const std::string dbHelp = "code database file (default: the one the program opens)";

    auto search = std::make_shared<SearchArgs>();
    CLI::App* s = app.add_subcommand("search", "List the newest 300 valid code sets of a device type whose brand and "
                                               "model names contain the key words (blanks match anything), "
                                               "tab-separated with a heading line.");
    s->add_option("--db", search->db, dbHelp);
    s->add_option("--lang", search->lang,
                  "language base for the column headings: 0, 1000, ... 6000 "
                  "(default: the program's language)");
    s->add_option("--device", search->device, "device type, matched at the start of the name")->required();
    s->add_option("--brand", search->brand, "brand key words");
    s->add_option("--model", search->model, "model key words");
    s->add_flag("--sql", search->sql, "print the search statement instead of running it");
    s->callback([&ctx, search] { RunSearch(ctx, *search); });

    auto order = std::make_shared<OrderArgs>();
    CLI::App* o = app.add_subcommand("order", "Print the key order (key-map numbers in the remote's key order) of "
                                              "a code set; empty for code sets that use the default order.");
    o->add_option("--db", order->db, dbHelp);
    o->add_option("--set-of-code-id", order->setOfCodeId, "code-set number (SetOfCodeID)")->required();
    o->callback([&ctx, order] { RunOrder(ctx, *order); });

    auto encode = std::make_shared<CodeSelection>();
    CLI::App* e = app.add_subcommand("encode", "Encode a code source into the code record of a slot: the block "
                                               "count, then the record in hexadecimal, 64 bytes a line.");
    AddCodeSelectors(e, *encode);
    e->callback([&ctx, encode] { RunEncode(ctx, *encode); });
});

} // namespace
} // namespace tolbe::cli
