// The set-up assistant's core on a database whose code sets write only three distinct TV images.
#include "codec/CodeRecord.h"
#include "core/Brands.h"
#include "core/Candidates.h"
#include "core/Download.h"
#include "core/RemoteRecord.h"
#include "core/TestKeys.h"
#include "tests/support/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace tolbe;
using ::testing::ElementsAre;

namespace {

class SetupAssistant : public ::testing::Test {
protected:
    void SetUp() override {
        test::MakeKeyedDatabase(m_dir / "codes.db3", test::AssistantDatabaseSql());
        ASSERT_EQ(m_db.OpenFile((m_dir / "codes.db3").string()), db::CodeDatabase::State::Open);
    }
    core::PreparedDownload Download(std::int32_t source, std::uint32_t seed) {
        codec::SeededFiller filler(seed);
        return core::PrepareDownload(m_db, {1, Slot::TV(), source, std::nullopt}, filler, 0);
    }
    std::vector<std::string> KeyNames(std::int32_t source) {
        std::vector<std::string> names;
        for (const core::TestKey& k : core::TestKeysFor(m_db, Slot::TV(), source).keys)
            names.push_back(k.name);
        return names;
    }

    test::TempDir m_dir;
    db::CodeDatabase m_db;
};

} // namespace

TEST_F(SetupAssistant, CandidatesAreTheDistinctImagesInSearchOrder) {
    const core::CandidateList list = core::FindCandidates(m_db, Slot::TV(), "TV", "sam sung");
    ASSERT_EQ(list.error, "");
    EXPECT_EQ(list.codeSets, 7);
    EXPECT_EQ(list.refused, 1); // code set 4 is too long for a slot
    ASSERT_EQ(list.candidates.size(), 3u);
    EXPECT_THAT(list.candidates[0].SetOfCodeIDs, ElementsAre(3, 1, 5));
    EXPECT_THAT(list.candidates[0].models, ElementsAre("UE55", "UE40", "Combo"));
    EXPECT_EQ(list.candidates[0].first.SourceID, 201);
    EXPECT_THAT(list.candidates[1].SetOfCodeIDs, ElementsAre(2, 6));
    EXPECT_THAT(list.candidates[2].SetOfCodeIDs, ElementsAre(9)); // same codes as 201, the default key order

    // A download of any code set of a candidate writes its image, whatever its random filler.
    for (std::uint32_t seed : {1u, 2u}) {
        EXPECT_EQ(core::ImageSha256(Download(202, seed).CodeBuffer, Slot::TV()), list.candidates[0].imageSha256);
        EXPECT_EQ(core::ImageSha256(Download(205, seed).CodeBuffer, Slot::TV()), list.candidates[1].imageSha256);
    }
    EXPECT_NE(list.candidates[0].imageSha256, list.candidates[1].imageSha256);
    // The same code set in another slot is another image.
    EXPECT_NE(core::FindCandidates(m_db, Slot::SAT(), "TV", "Samsung").candidates[0].imageSha256,
              list.candidates[0].imageSha256);
}

TEST_F(SetupAssistant, TestKeysArePreferredKindsTheCodeSetHasElseItsFirstKeys) {
    EXPECT_THAT(KeyNames(201), ElementsAre("Power", "Volume +", "Mute", "Channel +", "Volume -"));
    EXPECT_THAT(KeyNames(203), ElementsAre("Power", "K3", "K4"));
    EXPECT_FALSE(core::TestKeysFor(m_db, Slot::TV(), 204).error.empty());
}

TEST_F(SetupAssistant, MistypedBrandsFindTheirBrand) {
    EXPECT_THAT(core::ChooseBrand(m_db, "TV").matching, ElementsAre("Samsung", "Sony"));
    for (const char* typed : {"SAMSNUG", "sam-sung", "Smasung", "samsungg"}) {
        const core::BrandChoice choice = core::ChooseBrand(m_db, "TV", typed);
        EXPECT_THAT(choice.nearest, ElementsAre("Samsung")) << typed;
    }
    EXPECT_THAT(core::ChooseBrand(m_db, "TV", "sam").matching, ElementsAre("Samsung"));
    EXPECT_TRUE(core::ChooseBrand(m_db, "TV", "Panasonic").nearest.empty());
    EXPECT_THAT(core::NearBrands({"LG", "JVC", "Loewe"}, "lg."), ElementsAre("LG"));
    EXPECT_THAT(core::NearBrands({"Bang & Olufsen", "Loewe"}, "bang olufson"), ElementsAre("Bang & Olufsen"));
}

TEST_F(SetupAssistant, RecordSurvivesARestartAndADamagedFileIsSetAsideOnce) {
    const auto file = m_dir / "user" / "Remote.ini";
    const core::Candidate tv = core::FindCandidates(m_db, Slot::TV(), "TV", "Samsung").candidates[1];
    {
        core::RemoteRecord record(file);
        EXPECT_TRUE(record.Load().setAside.empty());
        record.RuleOut(Slot::TV(), "TV", "Samsung",
                       core::FindCandidates(m_db, Slot::TV(), "TV", "Samsung").candidates[0].imageSha256);
        record.RecordDownload(Slot::TV(), tv.first, m_db.Version(), Download(tv.first.SourceID, 7).CodeBuffer);
        EXPECT_FALSE(record.MarkVerdict(Slot::TV(), 6, core::Verdict::Works)); // not the code set written
        EXPECT_TRUE(record.MarkVerdict(Slot::TV(), 2, core::Verdict::Partly, {"Power", "K3"}));
        record.SaveResume(Slot::TV(), {"TV", "Samsung", "", 1, tv.imageSha256});
        ASSERT_TRUE(record.Save());
    }
    core::RemoteRecord again(file);
    EXPECT_TRUE(again.Load().problem.empty());
    const core::SlotRecord& r = again.Of(Slot::TV());
    EXPECT_EQ(r.written.SetOfCodeID, 2);
    EXPECT_EQ(r.written.BrandName, "Samsung");
    EXPECT_EQ(r.imageSha256, tv.imageSha256);
    EXPECT_EQ(r.verdict, core::Verdict::Partly);
    EXPECT_THAT(r.workingKeys, ElementsAre("Power", "K3"));
    EXPECT_EQ(r.ruledOut.size(), 1u);
    ASSERT_TRUE(r.resume.has_value());
    EXPECT_EQ(r.resume->candidate, 1);
    EXPECT_FALSE(again.Of(Slot::SAT()).HasWritten());

    // A stray line and a broken AUX value: AUX is lost, TV and SAT stay, the file is set aside once.
    test::WriteFile(file, test::ReadFile(file) + "[SAT]\nSourceID=201\nSetOfCodeID=1\nVerdict=works\nnoise\n" +
                              "[AUX]\nSourceID=x1\n");
    core::RemoteRecord damaged(file);
    const core::RemoteRecord::LoadReport report = damaged.Load();
    EXPECT_EQ(report.setAside, m_dir / "user" / "Remote.ini.unreadable");
    EXPECT_TRUE(std::filesystem::exists(report.setAside));
    EXPECT_EQ(damaged.Of(Slot::SAT()).verdict, core::Verdict::Works);
    EXPECT_TRUE(damaged.Of(Slot::TV()).HasWritten());
    EXPECT_FALSE(damaged.Of(Slot::AUX()).HasWritten());
    core::RemoteRecord later(file);
    EXPECT_TRUE(later.Load().setAside.empty());
    EXPECT_EQ(later.Of(Slot::SAT()).written.SourceID, 201);

    // A file that cannot be read now is never replaced unread.
    const auto blocked = m_dir / "blocked" / "Remote.ini";
    std::filesystem::create_directories(blocked / "inside");
    core::RemoteRecord unread(blocked);
    EXPECT_FALSE(unread.Load().problem.empty());
    unread.RecordDownload(Slot::TV(), tv.first, m_db.Version(), Download(tv.first.SourceID, 7).CodeBuffer);
    std::string why;
    EXPECT_FALSE(unread.Save(&why));
    EXPECT_NE(why.find("not replaced"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(blocked / "inside"));
}
