// tolbe-cli setup and remote, run as a separate program on the assistant's scenario database.
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

class CliSetup : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(m_dir / "program");
        tolbe::test::MakeKeyedDatabase(m_dir / "codes.db3", tolbe::test::AssistantDatabaseSql());
    }
    tolbe::test::CommandOutcome Run(std::vector<std::string> args) {
        const auto options = std::find_if(args.begin(), args.end(), [](const std::string& a) { return a[0] == '-'; });
        args.insert(options, {"--db", (m_dir / "codes.db3").string()});
        args.insert(args.begin(), {"--program-dir", (m_dir / "program").string()});
        return tolbe::test::RunProgram(TOLBE_CLI_PATH, args, m_dir.Path());
    }
    tolbe::test::TempDir m_dir;
};

const std::string kHash = "\"[0-9a-f]{64}\"";

} // namespace

TEST_F(CliSetup, CandidatesBrandsAndTheRecordOfADownload) {
    auto o = Run({"setup", "candidates", "--slot", "TV", "--device", "tv", "--brand", "Samsung", "--json"});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(std::regex_match(o.out, std::regex(R"(\{"candidates": \[\{"set_of_code_ids": \[3, 1, 5\], "models": )"
                                                   R"(\["UE55", "UE40", "Combo"\], "image_sha256": )" +
                                                   kHash + R"(\}, \{"set_of_code_ids": \[2, 6\], "models": )" +
                                                   R"(\["UE50", "UE65"\], "image_sha256": )" + kHash +
                                                   R"(\}, \{"set_of_code_ids": \[9\], "models": \["UE32"\], )" +
                                                   R"("image_sha256": )" + kHash + R"(\}\]\}\n)")))
        << o.out;

    o = Run({"setup", "brands", "--device", "TV", "--like", "SAMSNUG"});
    EXPECT_EQ(o.out, "Did you mean: Samsung?\n");
    o = Run({"setup", "candidates", "--slot", "TV", "--device", "Toaster", "--brand", "x"});
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.err.find("unknown device type \"Toaster\""), std::string::npos) << o.err;

    // ALSA's null device takes the sound at once; the download then records the slot.
    o = Run({"download", "--slot", "TV", "--source-id", "203", "--pcm-device", tolbe::test::SilentOutput()});
    ASSERT_EQ(o.status, 0) << o.err;
    o = Run({"remote", "mark", "--slot", "TV", "--set-of-code-id", "2", "--verdict", "partly", "--keys", "power,k3"});
    ASSERT_EQ(o.status, 0) << o.err;
    o = Run({"remote", "show", "--json"});
    EXPECT_TRUE(std::regex_match(
        o.out, std::regex(R"(\{"slots": \[\{"slot": "TV", "set_of_code_id": 2, "verdict": "partly", )"
                          R"("keys": \["Power", "K3"\], "source_id": 203, "device": "TV", "brand": "Samsung", )"
                          R"("model": "UE50", "database_version": 1, "written_at": "[-0-9T:+]+", "image_sha256": )" +
                          kHash + R"(, .*\{"slot": "SAT", "set_of_code_id": null, "verdict": "not tried", .*\]\}\n)")))
        << o.out;

    // Failed rules the image out for the brand; setup reset starts the slot over.
    ASSERT_EQ(Run({"remote", "mark", "--slot", "TV", "--set-of-code-id", "2", "--verdict", "failed"}).status, 0);
    const auto reset = [&](const char* slot) {
        return tolbe::test::RunProgram(
            TOLBE_CLI_PATH, {"--program-dir", (m_dir / "program").string(), "setup", "reset", "--slot", slot},
            m_dir.Path());
    };
    o = reset("tv");
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.out, "slot TV: 1 ruled-out candidate of Samsung cleared; the set-up starts at the first candidate\n");
    EXPECT_EQ(tolbe::test::ReadFile(m_dir / "program" / "Remote.ini").find("RuledOut"), std::string::npos);
    // A damaged record is reported by the first command that reads it, and only by that one.
    tolbe::test::WriteFile(m_dir / "program" / "Remote.ini", std::string("\x01\x02 not ours\n"));
    o = Run({"remote", "show"});
    EXPECT_EQ(o.status, 0);
    EXPECT_NE(o.err.find("was damaged"), std::string::npos) << o.err;
    EXPECT_TRUE(std::filesystem::exists(m_dir / "program" / "Remote.ini.unreadable"));
    o = Run({"remote", "send", "--slot", "TV", "--pcm-device", tolbe::test::SilentOutput()});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err, "tolbe-cli: nothing has been written into slot TV from this computer\n");
}

// A script drives a whole set-up with setup next: the device is code set 11's (B's power code).
TEST_F(CliSetup, NextLeadsAScriptedSetUpToTheDevice) {
    std::filesystem::remove(m_dir / "codes.db3");
    tolbe::test::MakeKeyedDatabase(m_dir / "codes.db3", tolbe::test::RankingDatabaseSql());
    const std::vector<std::string> base = {"setup", "next", "--slot", "TV", "--device", "TV", "--brand", "Samsung"};
    const std::regex image(R"x("image_sha256": "([0-9a-f]{64})")x");
    const std::regex ids(R"x("set_of_code_ids": \[([0-9, ]*)\])x");
    std::vector<std::string> args = base;
    args.push_back("--json");
    std::vector<std::string> shown;
    for (const char* answer : {"=failed", "=partly:Power", "=works"}) {
        auto o = Run(args);
        ASSERT_EQ(o.status, 0) << o.err;
        std::smatch m, n;
        ASSERT_TRUE(std::regex_search(o.out, m, image) && std::regex_search(o.out, n, ids)) << o.out;
        shown.push_back(n[1]);
        args.insert(args.end(), {"--answer", m[1].str() + answer});
    }
    EXPECT_EQ(shown, (std::vector<std::string>{"3, 1, 5", "2, 6", "11"}));
    args.erase(std::find(args.begin(), args.end(), "--json"));
    auto o = Run(args);
    EXPECT_EQ(o.out.substr(0, o.out.find('\t', o.out.find('\n'))), "status\tset_of_code_ids\tsource_id\torder\tblocks\t"
                                                                   "models\timage_sha256\tkeys\nworks")
        << o.out;

    // The model as copied off a label comes first; one that matches nothing shows the whole brand.
    o = Run({"setup", "next", "--slot", "TV", "--device", "TV", "--brand", "Samsung", "--model", "ue-7o", "--json"});
    EXPECT_NE(
        o.out.find(R"("status": "try", "tried": 0, "left": 4, "candidates": 4, "candidate": {"set_of_code_ids": [11])"),
        std::string::npos)
        << o.out;
    o = Run({"setup", "candidates", "--slot", "TV", "--device", "TV", "--brand", "Samsung", "--model", "UE71"});
    EXPECT_NE(o.err.find("Did you mean model UE70?\nNo model matches \"UE71\"; showing all 4 candidates of the brand"),
              std::string::npos)
        << o.err;
    EXPECT_EQ(std::count(o.out.begin(), o.out.end(), '\n'), 5);
    o = Run({"setup", "next", "--slot", "TV", "--device", "TV", "--brand", "Samsung", "--answer", "abc=works"});
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.err.find("no candidate of this list has that image"), std::string::npos) << o.err;
}
