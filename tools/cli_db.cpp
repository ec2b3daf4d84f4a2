// tolbe-cli db sample | import | export: making and maintaining code database files.
#include "tools/CliRegistry.h"

#include "common/PathText.h"
#include "common/ProgramPaths.h"
#include "db/DatabaseFile.h"
#include "tools/devtools/SampleDatabase.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

namespace tolbe::cli {
namespace {

// Several command groups may hang below "db"; whoever comes first creates it.
CLI::App* DbGroup(CLI::App& app) {
    try {
        return app.get_subcommand("db");
    } catch (const CLI::OptionNotFound&) {
        CLI::App* db = app.add_subcommand("db", "Make, import and export code database files.");
        db->require_subcommand(1);
        return db;
    }
}

void RefuseExisting(const std::string& path, bool force) {
    std::error_code ec;
    if (!force && std::filesystem::exists(PathFromUtf8(path), ec))
        throw CliFailure{path + " exists; add --force to replace it"};
}

struct SampleArgs {
    std::string out;
    devtools::SampleOptions opt;
    bool force = false;
};

void RunSample(const SampleArgs& a) {
    RefuseExisting(a.out, a.force);
    devtools::SampleOptions opt = a.opt;
    opt.overwrite = a.force;
    const auto start = std::chrono::steady_clock::now();
    try {
        devtools::GenerateSampleDatabase(a.out, opt);
    } catch (const db::DbError& e) {
        throw CliFailure{"cannot make the sample database: " + std::string(e.what())};
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::error_code ec;
    const auto bytes = std::filesystem::file_size(PathFromUtf8(a.out), ec);
    std::printf("%s: %d code sets, %.2f s, %.1f MB\n", a.out.c_str(), opt.code_sets, seconds,
                static_cast<double>(bytes) / 1e6);
}

struct ImportArgs {
    std::string sql_file;
    std::string out;
    bool force = false;
};

void RunImport(const ImportArgs& a) {
    RefuseExisting(a.out, a.force);
    std::ifstream in(PathFromUtf8(a.sql_file), std::ios::binary);
    if (!in) throw CliFailure{"cannot read " + a.sql_file};
    std::ostringstream text;
    text << in.rdbuf();
    try {
        devtools::ImportDatabaseSql(text.str(), a.out, a.force);
    } catch (const db::DbError& e) {
        throw CliFailure{"import of " + a.sql_file + " failed, nothing written: " + std::string(e.what())};
    }
}

void RunExport(const std::string& file) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(PathFromUtf8(file), ec)) throw CliFailure{"no database file at " + file};
    db::DbConnection conn;
    if (!conn.OpenDatabase(file, db::BuildDatabaseKey(), true))
        throw CliFailure{file + " is not a code database of this program (wrong key or damaged file)"};
    // An export is read by 'db import' and by other tools: only a sound code database is written out.
    if (const std::string why = db::CheckCodeDatabase(conn, db::CheckOptions{ProgramPaths::CheckedDatabasesFile()});
        !why.empty())
        throw CliFailure{file + " is not a sound code database (" + why + "); nothing exported"};
    // The whole text is made before anything is printed, so a failure prints no half dump.
    std::ostringstream text;
    try {
        devtools::ExportDatabaseSql(conn, text);
    } catch (const db::DbError& e) {
        throw CliFailure{"cannot read " + file + ": " + std::string(e.what())};
    }
    std::cout << text.str();
    std::cout.flush();
    if (!std::cout) throw CliFailure{"cannot write the SQL text"};
}

const Registrar kRegisterDb([](CLI::App& app, CliContext& ctx) {
    CLI::App* db = DbGroup(app);

    auto sample = std::make_shared<SampleArgs>();
    CLI::App* s = db->add_subcommand(
        "sample", "Write a generated sample code database: real device types and brands, a 46-key remote, codes "
                  "whose records need 4 to 12 blocks and a few that are too long. The same options and seed "
                  "always give the same content. Large benchmark database: --code-sets 200000 --sources 20000 "
                  "--codes-per-source 40.");
    s->add_option("--out", sample->out, "database file to write")->required();
    s->add_option("--code-sets", sample->opt.code_sets, "number of code sets")
        ->capture_default_str()
        ->check(CLI::PositiveNumber);
    s->add_option("--seed", sample->opt.seed, "seed of the generator")->capture_default_str();
    s->add_option("--sources", sample->opt.sources,
                  "number of code sources shared by the code sets (default: two thirds of the code sets)")
        ->check(CLI::PositiveNumber);
    s->add_option("--codes-per-source", sample->opt.codes_per_source,
                  "average number of codes per source (default: varied for a spread of record sizes)")
        ->check(CLI::Range(1, 64));
    s->add_flag("--force", sample->force, "replace an existing file");
    s->callback([sample] { RunSample(*sample); });

    auto import = std::make_shared<ImportArgs>();
    CLI::App* i = db->add_subcommand(
        "import", "Run an SQL text (such as the output of 'db export') into a new database file opened with the "
                  "program's key. On an SQL error nothing is written and SQLite's message is shown.");
    i->add_option("--sql", import->sql_file, "file with the SQL text")->required();
    i->add_option("--out", import->out, "database file to write")->required();
    i->add_flag("--force", import->force, "replace an existing file");
    i->callback([import] { RunImport(*import); });

    auto db_file = std::make_shared<std::string>();
    CLI::App* e = db->add_subcommand(
        "export", "Print the whole database as SQL text (tables, rows, indexes) that 'db import' reads back "
                  "into an equal database.");
    e->add_option("--db", *db_file, "database file (default: the program folder's Database/IR_Database.db3)");
    e->callback([db_file, &ctx] { RunExport(db_file->empty() ? ctx.Paths().Database().string() : *db_file); });
});

} // namespace
} // namespace tolbe::cli
