// A code database written to the format by another hand, with its own names for the columns the
// program reads by position: it must work exactly as the same rows under our own names.
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <set>
#include <sstream>

namespace {

using tolbe::test::ReadFile;
using tolbe::test::WriteFile;
using Outcome = tolbe::test::CommandOutcome;

const std::filesystem::path kFixture = std::filesystem::path(TOLBE_FIXTURES_DIR) / "foreign-columns.sql";

class ForeignDatabase : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(kFixture)) {
            // CI sets TOLBE_REQUIRE_FIXTURES, so a missing fixture can never pass there unnoticed.
            if (std::getenv("TOLBE_REQUIRE_FIXTURES") != nullptr) FAIL() << kFixture << " is missing";
            GTEST_SKIP() << kFixture << " is missing";
        }
    }
    Outcome Run(const std::vector<std::string>& args) {
        return tolbe::test::RunProgram(TOLBE_CLI_PATH, args, m_dir.Path());
    }
    std::string Ok(const std::vector<std::string>& args) {
        const Outcome o = Run(args);
        EXPECT_EQ(o.status, 0) << args[0] << ": " << o.err;
        return o.out;
    }
    std::string Import(const std::string& sql, const std::string& name) {
        WriteFile(m_dir / (name + ".sql"), sql);
        const std::string db = (m_dir / (name + ".db3")).string();
        Ok({"db", "import", "--sql", (m_dir / (name + ".sql")).string(), "--out", db});
        return db;
    }
    tolbe::test::TempDir m_dir;
};

// The fixture with every table it shares with our schema defined as ours: the same rows under the
// program's own column names.
std::string UnderOurNames(const std::string& foreign) {
    const std::string schema = ReadFile(std::filesystem::path(TOLBE_SOURCE_DIR) / "data" / "schema.sql");
    std::string out;
    std::istringstream lines(foreign);
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_search(line, m, std::regex("^CREATE TABLE (M_\\w+)")) && m[1] != "M_Version") {
            const std::size_t at = schema.find("CREATE TABLE " + m[1].str() + "(");
            if (at != std::string::npos) line = schema.substr(at, schema.find(");", at) + 2 - at);
        }
        out += line + "\n";
    }
    return out;
}

} // namespace

TEST_F(ForeignDatabase, SearchesOrdersAndEncodesAsUnderOurOwnNames) {
    const std::string foreign = ReadFile(kFixture);
    const std::string ours = UnderOurNames(foreign);
    ASSERT_NE(ours, foreign);
    const std::string theirs = Import(foreign, "theirs");
    const std::string own = Import(ours, "ours");

    // Every code set the search finds, then each one's key order and each source's slot image.
    const std::string found = Ok({"search", "--db", theirs, "--device", "TV"});
    EXPECT_EQ(found, Ok({"search", "--db", own, "--device", "TV"}));
    std::set<std::string> sets, sources;
    std::istringstream rows(found);
    std::string row;
    std::getline(rows, row); // heading
    while (std::getline(rows, row)) {
        std::istringstream cells(row);
        std::string source, set;
        cells >> source >> set;
        sources.insert(source);
        sets.insert(set);
    }
    ASSERT_GE(sets.size(), 10u) << found;
    bool someOwnOrder = false;
    for (const std::string& set : sets) {
        const std::string order = Ok({"order", "--db", theirs, "--set-of-code-id", set});
        EXPECT_EQ(order, Ok({"order", "--db", own, "--set-of-code-id", set})) << set;
        someOwnOrder = someOwnOrder || order.size() > 1;
    }
    EXPECT_TRUE(someOwnOrder) << "the key order table was never read";
    for (const std::string& source : sources)
        for (const char* slot : {"TV", "AUX"}) {
            const std::vector<std::string> args = {"--slot", slot, "--source-id", source, "--seed", "3"};
            auto with = [&](const std::string& db) {
                std::vector<std::string> a = {"encode", "--db", db};
                a.insert(a.end(), args.begin(), args.end());
                return Run(a);
            };
            const Outcome a = with(theirs), b = with(own);
            EXPECT_EQ(a.status, b.status) << source << " " << slot;
            EXPECT_EQ(a.out, b.out) << source << " " << slot;
        }
    // The assistant's candidates and test keys read the key names by position too.
    const std::vector<std::string> candidates = {"setup", "candidates", "--slot",  "TV",    "--device",
                                                 "TV",    "--brand",    "Hitachi", "--json"};
    auto on = [&](const std::string& db) {
        std::vector<std::string> a = candidates;
        a.insert(a.end(), {"--db", db});
        return Ok(a);
    };
    EXPECT_EQ(on(theirs), on(own));
    EXPECT_NE(on(theirs).find("\"set_of_code_ids\""), std::string::npos);
}
