// tolbe-cli db sample | import | export, run as a separate program.
#include "db/DatabaseFile.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <vector>

namespace {

using tolbe::test::ReadFile;
using tolbe::test::TempDir;
using tolbe::test::WriteFile;

using Outcome = tolbe::test::CommandOutcome;

class CliDb : public ::testing::Test {
protected:
    Outcome Run(const std::vector<std::string>& args) {
        return tolbe::test::RunProgram(TOLBE_CLI_PATH, args, m_dir.Path());
    }
    std::string Path(const std::string& name) const { return (m_dir / name).string(); }
    std::string Sample(const std::string& name, const std::string& seed) {
        const Outcome o = Run({"db", "sample", "--out", Path(name), "--code-sets", "200", "--seed", seed});
        EXPECT_EQ(o.status, 0) << o.err;
        return Path(name);
    }
    std::string ExportOk(const std::string& file) {
        const Outcome o = Run({"db", "export", "--db", file});
        EXPECT_EQ(o.status, 0) << o.err;
        EXPECT_EQ(o.err, "");
        return o.out;
    }

    TempDir m_dir;
};

} // namespace

TEST_F(CliDb, SampleIsDeterministicPerSeed) {
    const std::string a = ExportOk(Sample("a.db3", "11"));
    const std::string b = ExportOk(Sample("b.db3", "11"));
    const std::string c = ExportOk(Sample("c.db3", "12"));
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    EXPECT_NE(a.find("INSERT INTO \"M_DeviceTypes\" VALUES(8,'TV');"), std::string::npos);
    EXPECT_NE(a.find("CREATE TABLE M_Version\r\n"), std::string::npos);
}

TEST_F(CliDb, SampleRefusesToOverwriteWithoutForce) {
    WriteFile(m_dir / "s.db3", "old");
    const Outcome refused = Run({"db", "sample", "--out", Path("s.db3"), "--code-sets", "50"});
    EXPECT_NE(refused.status, 0);
    EXPECT_NE(refused.err.find("--force"), std::string::npos) << refused.err;
    EXPECT_EQ(ReadFile(m_dir / "s.db3"), "old");

    const Outcome forced = Run({"db", "sample", "--out", Path("s.db3"), "--code-sets", "50", "--force"});
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_TRUE(tolbe::db::TryVerifyDatabaseFile(Path("s.db3"), tolbe::db::BuildDatabaseKey()));
}

TEST_F(CliDb, SampleRejectsImpossibleSizes) {
    const std::string out = Path("x.db3");
    for (const auto& extra : std::vector<std::vector<std::string>>{{"--code-sets", "0"},
                                                                   {"--code-sets", "10", "--sources", "20"},
                                                                   {"--codes-per-source", "100"},
                                                                   {"--code-sets", "many"}}) {
        std::vector<std::string> args = {"db", "sample", "--out", out};
        args.insert(args.end(), extra.begin(), extra.end());
        const Outcome o = Run(args);
        EXPECT_NE(o.status, 0) << extra[0] << " " << extra[1];
        EXPECT_FALSE(o.err.empty()) << extra[0] << " " << extra[1];
        EXPECT_FALSE(std::filesystem::exists(out)) << extra[0] << " " << extra[1];
    }
}

TEST_F(CliDb, ImportReadsBackWhatExportWrote) {
    const std::string text = ExportOk(Sample("s.db3", "3"));
    WriteFile(m_dir / "dump.sql", text);
    const Outcome o = Run({"db", "import", "--sql", Path("dump.sql"), "--out", Path("copy.db3")});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(ExportOk(Path("copy.db3")), text);

    // Without --force an existing database stays as it is.
    const Outcome again = Run({"db", "import", "--sql", Path("dump.sql"), "--out", Path("s.db3")});
    EXPECT_NE(again.status, 0);
    EXPECT_NE(again.err.find("--force"), std::string::npos) << again.err;
    EXPECT_EQ(ExportOk(Path("s.db3")), text);
    EXPECT_EQ(Run({"db", "import", "--sql", Path("dump.sql"), "--out", Path("s.db3"), "--force"}).status, 0);
}

TEST_F(CliDb, BadSqlLeavesNoFileAndShowsSqliteMessage) {
    WriteFile(m_dir / "bad.sql", "CREATE TABLE x(a);\nINSERT INTO x VALUES(1, 2);\n");
    const Outcome o = Run({"db", "import", "--sql", Path("bad.sql"), "--out", Path("bad.db3")});
    EXPECT_NE(o.status, 0);
    EXPECT_NE(o.err.find("table x has 1 columns but 2 values were supplied"), std::string::npos) << o.err;
    EXPECT_FALSE(std::filesystem::exists(m_dir / "bad.db3"));
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.Path()))
        EXPECT_EQ(entry.path().string().find("bad.db3"), std::string::npos) << entry.path();

    const Outcome missing = Run({"db", "import", "--sql", Path("none.sql"), "--out", Path("none.db3")});
    EXPECT_NE(missing.status, 0);
    EXPECT_NE(missing.err.find("none.sql"), std::string::npos) << missing.err;
}

TEST_F(CliDb, ExportOfForeignOrDamagedFilesFailsClearly) {
    tolbe::test::MakeKeyedDatabase(m_dir / "foreign.db3", "CREATE TABLE t(a);", "another key, 23 letters");
    WriteFile(m_dir / "damaged.db3", std::string(8192, '\x5A'));
    for (const char* name : {"foreign.db3", "damaged.db3"}) {
        const Outcome o = Run({"db", "export", "--db", Path(name)});
        EXPECT_NE(o.status, 0) << name;
        EXPECT_EQ(o.out, "") << name;
        EXPECT_NE(o.err.find("wrong key or damaged file"), std::string::npos) << o.err;
    }
    const Outcome absent = Run({"db", "export", "--db", Path("absent.db3")});
    EXPECT_NE(absent.status, 0);
    EXPECT_NE(absent.err.find("no database file"), std::string::npos) << absent.err;
}

TEST_F(CliDb, ExportDefaultsToTheProgramFoldersDatabase) {
    std::filesystem::create_directories(m_dir / "prog" / "Database");
    const std::string db = (m_dir / "prog" / "Database" / "IR_Database.db3").string();
    ASSERT_EQ(Run({"db", "sample", "--out", db, "--code-sets", "30"}).status, 0);
    const Outcome o = Run({"--program-dir", Path("prog"), "db", "export"});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, ExportOk(db));
}

TEST_F(CliDb, HelpExplainsEachCommand) {
    for (const char* cmd : {"sample", "import", "export"}) {
        const Outcome o = Run({"db", cmd, "--help"});
        EXPECT_EQ(o.status, 0) << cmd;
        EXPECT_NE(o.out.find("--"), std::string::npos) << cmd;
    }
    EXPECT_NE(Run({"db", "sample", "--help"}).out.find("--codes-per-source"), std::string::npos);
    EXPECT_NE(Run({"db", "import", "--help"}).out.find("--sql"), std::string::npos);
}

TEST_F(CliDb, OnlyCodeDatabasesAreImportedOrUsed) {
    const std::string schema = ReadFile(std::filesystem::path(TOLBE_SOURCE_DIR) / "data" / "schema.sql");
    // Texts that crashed the importer or made a database that crashed every start, and texts
    // that do not make a code database: each refused with its reason, nothing written.
    const std::pair<std::string, std::string> cases[] = {
        {"SELECT rtreenode(2, x'0000ffff');", "SELECT is not allowed"},
        {schema + "INSERT INTO M_Protocol VALUES(9, 'x', rtreenode(2, x'0000ffff'));", "rtreenode is not allowed"},
        {"CREATE VIEW M_DeviceTypes AS SELECT 1, 2;", "CREATE VIEW is not allowed"},
        {schema + "CREATE TRIGGER t AFTER INSERT ON M_Protocol BEGIN DELETE FROM M_Protocol; END;",
         "CREATE TRIGGER is not allowed"},
        {schema + "CREATE VIRTUAL TABLE r USING rtree(id, a, b);", "CREATE VIRTUAL TABLE is not allowed"},
        {"CREATE TABLE M_DeviceTypes(a, b);", "not make a code database"},
        {schema + "INSERT INTO M_Protocol VALUES(9, 'x', randomblob(1000000000));", "randomblob is not allowed"},
        // Evaluated for every row by each insert and by the integrity check: refused before any row.
        {"CREATE TABLE M_Notes(a CHECK(length(replace(replace('xxxxxxxx','x','yy'),'y','zz'))>0));" + schema +
             "INSERT INTO M_Notes VALUES(1);",
         "a CHECK constraint is not allowed"},
        {schema + "CREATE INDEX ix ON M_CodeLink(replace(CodeData, 'A', 'BB'));", "an expression index is not allowed"},
    };
    for (const auto& [sql, reason] : cases) {
        WriteFile(m_dir / "in.sql", sql);
        const Outcome o = Run({"db", "import", "--sql", Path("in.sql"), "--out", Path("out.db3")});
        EXPECT_EQ(o.status, 1) << sql << "\n" << o.err;
        EXPECT_NE(o.err.find(reason), std::string::npos) << o.err;
        EXPECT_FALSE(std::filesystem::exists(m_dir / "out.db3")) << sql;
    }

    // A database with a view in place of a table, made outside the program: refused where it is
    // opened, with the message for a database that is not ours.
    tolbe::test::MakeKeyedDatabase(m_dir / "view.db3", "CREATE TABLE Base(a, b); CREATE VIEW M_DeviceTypes AS "
                                                       "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 "
                                                       "FROM c) SELECT x, x FROM c;" +
                                                           schema.substr(schema.find("CREATE TABLE M_SetOfCodes")));
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"search", "--db", Path("view.db3"), "--device", "TV"},
          std::vector<std::string>{"db", "export", "--db", Path("view.db3")}}) {
        const Outcome o = Run(args);
        EXPECT_EQ(o.status, 1) << o.err;
        EXPECT_EQ(o.out, "");
        EXPECT_NE(o.err.find("view M_DeviceTypes"), std::string::npos) << o.err;
    }
}
