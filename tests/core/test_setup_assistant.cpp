// The set-up assistant's core on a database whose code sets write only three distinct TV images.
#include "codec/CodeRecord.h"
#include "codec/DownOrder.h"
#include "core/Brands.h"
#include "core/Candidates.h"
#include "core/Download.h"
#include "core/Ranking.h"
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
        auto prepared = core::PrepareDownload(m_db, {1, Slot::TV(), source, std::nullopt}, filler, 0);
        EXPECT_TRUE(prepared) << prepared.Error();
        return prepared ? std::move(*prepared) : core::PreparedDownload{};
    }
    std::vector<std::string> KeyNames(std::int32_t source) {
        std::vector<std::string> names;
        for (const core::TestKey& k : core::TestKeysFor(m_db, Slot::TV(), source).Value())
            names.push_back(k.name);
        return names;
    }

    test::TempDir m_dir;
    db::CodeDatabase m_db;
};

// Four candidates, in search order: A 3,1,5 (201); B 2,6 (203, 205); C 9,10 (201's codes in the
// default order); D 11 (B's power code).
class Ranking : public SetupAssistant {
protected:
    void SetUp() override {
        test::MakeKeyedDatabase(m_dir / "ranked.db3", test::RankingDatabaseSql());
        ASSERT_EQ(m_db.OpenFile((m_dir / "ranked.db3").string()), db::CodeDatabase::State::Open);
        m_list = core::FindCandidates(m_db, Slot::TV(), "TV", "Samsung").Value();
        ASSERT_EQ(m_list.candidates.size(), 4u);
    }
    const std::string& Image(std::size_t i) const { return m_list.candidates[i].imageSha256; }
    core::CandidateList m_list;
};

} // namespace

TEST_F(SetupAssistant, CandidatesAreTheDistinctImagesInSearchOrder) {
    const auto found = core::FindCandidates(m_db, Slot::TV(), "TV", "sam sung");
    ASSERT_TRUE(found) << found.Error();
    const core::CandidateList& list = *found;
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
    EXPECT_NE(core::FindCandidates(m_db, Slot::SAT(), "TV", "Samsung")->candidates[0].imageSha256,
              list.candidates[0].imageSha256);
}

TEST_F(SetupAssistant, TestKeysArePreferredKindsTheCodeSetHasElseItsFirstKeys) {
    EXPECT_THAT(KeyNames(201), ElementsAre("Volume +", "Mute", "Channel +", "Power"));
    EXPECT_THAT(KeyNames(203), ElementsAre("K3", "K4", "Power"));
    EXPECT_FALSE(core::TestKeysFor(m_db, Slot::TV(), 204));
}

TEST(TestKeys, EachDeviceKindGetsKeysItShowsAndPowerComesLast) {
    const std::map<std::int32_t, std::string> names = {
        {1, "Mute"}, {2, "Menu"}, {3, "Power"}, {4, "Volume +"},  {5, "Channel +"}, {6, "Channel -"},
        {7, "Play"}, {8, "Stop"}, {9, "Eject"}, {10, "Volume -"}, {11, "Digit 1"}};
    std::vector<core::KeyCode> all;
    for (const auto& [id, name] : names)
        all.push_back({id, "c" + std::to_string(id)});
    const auto chosen = [&](const std::string& device, Slot slot, std::vector<core::KeyCode> present) {
        std::vector<std::string> out;
        for (const core::TestKey& k : core::ChooseTestKeys(present, names, core::DeviceKindOf(device, slot)))
            out.push_back(k.name);
        return out;
    };
    EXPECT_THAT(chosen("DVD Recorder", Slot::AUX(), all), ElementsAre("Play", "Stop", "Eject", "Menu", "Power"));
    EXPECT_THAT(chosen("TV/DVD", Slot::DVD(), all), ElementsAre("Volume +", "Mute", "Channel +", "Power"));
    EXPECT_THAT(chosen("SAT HD", Slot::SAT(), all), ElementsAre("Channel +", "Menu", "Channel -", "Power"));
    EXPECT_THAT(chosen("AMP", Slot::AUX(), all), ElementsAre("Volume +", "Mute", "Volume -", "Power"));
    EXPECT_THAT(chosen("Streamer", Slot::AUX(), all), ElementsAre("Menu", "Play", "Volume +", "Mute", "Power"));
    // A type the program does not know takes its slot's kind.
    EXPECT_THAT(chosen("Laser", Slot::DVD(), all), ElementsAre("Play", "Stop", "Eject", "Menu", "Power"));
    // A player's code set without its keys: the first others fill up to three, Power still last.
    EXPECT_THAT(chosen("DVD", Slot::DVD(), {{11, "a"}, {3, "b"}, {1, "c"}, {4, "d"}}),
                ElementsAre("Digit 1", "Mute", "Power"));
}

TEST_F(SetupAssistant, MistypedBrandsFindTheirBrand) {
    EXPECT_THAT(core::ChooseBrand(m_db, "TV")->matching, ElementsAre("Samsung", "Sony"));
    for (const char* typed : {"SAMSNUG", "sam-sung", "Smasung", "samsungg"}) {
        const core::BrandChoice choice = core::ChooseBrand(m_db, "TV", typed).Value();
        EXPECT_THAT(choice.nearest, ElementsAre("Samsung")) << typed;
    }
    EXPECT_THAT(core::ChooseBrand(m_db, "TV", "sam")->matching, ElementsAre("Samsung"));
    EXPECT_TRUE(core::ChooseBrand(m_db, "TV", "Panasonic")->nearest.empty());
    EXPECT_THAT(core::NearBrands({"LG", "JVC", "Loewe"}, "lg."), ElementsAre("LG"));
    EXPECT_THAT(core::NearBrands({"Bang & Olufsen", "Loewe"}, "bang olufson"), ElementsAre("Bang & Olufsen"));
}

TEST_F(SetupAssistant, RecordSurvivesARestartAndADamagedFileIsSetAsideOnce) {
    const auto file = m_dir / "user" / "Remote.ini";
    const core::Candidate tv = core::FindCandidates(m_db, Slot::TV(), "TV", "Samsung")->candidates[1];
    {
        core::RemoteRecord record(file);
        EXPECT_TRUE(record.Load().setAside.empty());
        record.RuleOut(Slot::TV(), "TV", "Samsung",
                       core::FindCandidates(m_db, Slot::TV(), "TV", "Samsung")->candidates[0].imageSha256);
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
    const auto saved = unread.Save();
    EXPECT_FALSE(saved);
    EXPECT_NE(saved.Error().find("not replaced"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(blocked / "inside"));
}

TEST_F(Ranking, OneSourceInTwoKeyOrdersIsTwoCandidatesEachWritingItsOwnImage) {
    EXPECT_THAT(m_list.candidates[0].SetOfCodeIDs, ElementsAre(3, 1, 5));
    EXPECT_THAT(m_list.candidates[2].SetOfCodeIDs, ElementsAre(9, 10));
    // A download of a code set with its own key order, as the window and setup next do it.
    for (const auto& [setOfCodeId, candidate] : {std::pair{1, 0}, {10, 2}, {11, 3}}) {
        const core::Candidate& c = m_list.candidates[static_cast<std::size_t>(candidate)];
        const std::string order = codec::GetDownOrderStr(db::ReadKeyOrderRows(m_db.DBConn(), setOfCodeId, 1));
        EXPECT_EQ(order, c.StrKeyDown) << setOfCodeId;
        // Written again from the record (My remote, tolbe-cli remote send): the same image.
        codec::SlotInfo written = c.first;
        written.SetOfCodeID = setOfCodeId;
        written.SourceID =
            m_db.DBConn()
                .OpenRecordset("Select SourceID From M_SetOfCodes where SetOfCodeID=" + std::to_string(setOfCodeId),
                               false)
                .ValueAt(0, 0)
                .ToInt32();
        for (const core::DownloadRequest& request :
             {core::DownloadRequest{1, Slot::TV(), written.SourceID, order}, core::RequestFor(Slot::TV(), written)}) {
            codec::SeededFiller filler(3);
            const auto d = core::PrepareDownload(m_db, request, filler, 0);
            ASSERT_TRUE(d) << d.Error();
            EXPECT_EQ(core::ImageSha256(d->CodeBuffer, Slot::TV()), c.imageSha256) << setOfCodeId;
        }
        std::vector<std::string> names;
        for (const core::TestKey& k : core::TestKeysFor(m_db, Slot::TV(), c.first.SourceID, order).Value())
            names.push_back(k.name);
        std::vector<std::string> listed;
        for (const core::TestKey& k : c.testKeys)
            listed.push_back(k.name);
        EXPECT_EQ(names, listed) << setOfCodeId;
    }
    EXPECT_NE(Image(0), Image(2));
    // B's power code is D's, though the two images lay it out differently.
    EXPECT_EQ(*m_list.candidates[1].CodeOf(13), *m_list.candidates[3].CodeOf(13));
    EXPECT_NE(*m_list.candidates[0].CodeOf(13), *m_list.candidates[3].CodeOf(13));
}

TEST_F(Ranking, ModelsMatchAsTypedOffALabelAndNothingIsLeftOut) {
    EXPECT_EQ(core::CompareModel("28bl-019t", "28BL019T").fit, core::ModelFit::Equal);
    EXPECT_EQ(core::CompareModel("28BLO19T", "28BL019T").fit, core::ModelFit::Equal);
    EXPECT_EQ(core::CompareModel("2 8bl", "28BL019T").fit, core::ModelFit::Contains);
    EXPECT_EQ(core::CompareModel("28BL018T", "28BL019T").fit, core::ModelFit::Near);
    EXPECT_EQ(core::CompareModel("", "28BL019T").fit, core::ModelFit::Other);
    EXPECT_EQ(core::CompareModel(std::string(5000, '8'), std::string(4990, '8') + "x").fit, core::ModelFit::Other);
    EXPECT_TRUE(core::LooksLikeSerial("SN 123456789"));
    EXPECT_FALSE(core::LooksLikeSerial("28BL019T 1234567"));

    EXPECT_THAT(core::RankCandidates(m_list, {}), ElementsAre(0, 1, 2, 3)); // most code sets, then newest
    core::ApplyModel(m_list, "ue-7o");
    EXPECT_EQ(m_list.model.matching, 1);
    EXPECT_THAT(core::RankCandidates(m_list, {}), ElementsAre(3, 0, 1, 2));
    core::ApplyModel(m_list, "UE71");
    EXPECT_EQ(m_list.model.matching, 0);
    EXPECT_THAT(m_list.model.nearModels, ElementsAre("UE70"));
    EXPECT_THAT(core::RankCandidates(m_list, {}), ElementsAre(3, 0, 1, 2));
    const core::CandidateList typed = core::FindCandidates(m_db, Slot::TV(), "TV", "Samsung", "12345678").Value();
    EXPECT_TRUE(typed.model.looksLikeSerial);
    EXPECT_EQ(typed.candidates.size(), 4u);
}

TEST_F(Ranking, EachAnswerMovesUpTheCodesThatWorkedAndDownTheOnesThatDidNot) {
    using core::Verdict;
    // B's power worked, its K3 and K4 did not: D sends B's power code, A and C another one.
    EXPECT_THAT(core::RankCandidates(m_list, {{Image(1), Verdict::Partly, {13}}}), ElementsAre(3, 0, 2));
    // Nothing of B worked: D's power code is ruled out with it.
    EXPECT_THAT(core::RankCandidates(m_list, {{Image(1), Verdict::Failed, {}}}), ElementsAre(0, 2, 3));
    // A failed: C sends all of A's codes.
    EXPECT_THAT(
        core::RankCandidates(m_list, {{Image(0), Verdict::Failed, {}}, {"not on the list", Verdict::Works, {}}}),
        ElementsAre(1, 3, 2));
    EXPECT_FALSE(core::NextCandidate(m_list, {{Image(0), Verdict::Failed, {}}, {Image(2), Verdict::Works, {}}}));

    // The window's list: tried ones stay in front, the rest ranked behind them, answered ones last.
    const std::vector<core::Answer> answers = {{Image(1), Verdict::Failed, {}}};
    const std::vector<std::string> before = {Image(0), Image(1), Image(2), Image(3)};
    core::RankRest(m_list, answers, 1);
    EXPECT_THAT((std::vector<std::string>{Image(0), Image(1), Image(2), Image(3)}),
                ElementsAre(before[0], before[2], before[3], before[1]));
}
