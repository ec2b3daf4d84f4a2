#include "tests/support/TestSupport.h"
#include "tests/update/HttpTestServer.h"
#include "update/Download.h"

#include <gtest/gtest.h>

#include <functional>

using namespace tolbe;
using namespace tolbe::update;
using tolbe::test::HttpTestServer;
using tolbe::test::ScriptedResponse;
using tolbe::test::TempDir;

namespace {

std::string Bytes(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    return s;
}

// Counts yields and can run an action at a chosen one.
struct CountingYield {
    void operator()() {
        ++count;
        if (at == count && action) action();
    }
    int count = 0;
    int at = -1;
    std::function<void()> action;
};

// Records the events in order: "D<total>", "E<message>", "O".
struct EventLog {
    std::vector<std::string> events;
    void Attach(Download& d) {
        d.GetData = [this](std::int32_t total) { events.push_back("D" + std::to_string(total)); };
        d.ErrMassage = [this](const std::string& m) { events.push_back("E" + m); };
        d.DownLoadOver = [this] { events.push_back("O"); };
    }
};

// A response played from memory: a header block and a body handed out in scripted pieces,
// optionally failing after them.
class FakeHttpSession final : public HttpSession {
public:
    struct Script {
        bool opens = true;
        std::string headers;
        std::vector<std::string> reads; // what each Read hands out
        bool fail_after = false;        // then a failed read instead of the end of the body
        int* opened = nullptr;
    };
    explicit FakeHttpSession(Script s) : m_s(std::move(s)) {}
    bool Open(const std::string&, const std::string& agent) override {
        EXPECT_EQ(agent, "Tgpeli");
        if (m_s.opened != nullptr) ++*m_s.opened;
        return m_s.opens;
    }
    const std::string& RawHeaders() const override { return m_s.headers; }
    ReadResult Read(char* buffer, std::size_t size) override {
        if (m_next >= m_s.reads.size()) return {0, !m_s.fail_after};
        const std::string& piece = m_s.reads[m_next++];
        EXPECT_LE(piece.size(), size);
        std::copy(piece.begin(), piece.end(), buffer);
        return {piece.size(), true};
    }

private:
    Script m_s;
    std::size_t m_next = 0;
};

class DownloadTest : public ::testing::Test {
protected:
    TempDir dir;
    HttpTestServer server;
    CountingYield yield;
    Download tg;
    EventLog log;
    std::filesystem::path target = dir / "file.bin";

    void SetUp() override {
        log.Attach(tg);
        tg.AfterRead(std::ref(yield));
    }

    void Fetch(const std::string& path) {
        tg.URL(server.Url(path));
        tg.SaveFile(target.string());
        tg.Execute();
    }
};

} // namespace

TEST_F(DownloadTest, BodyOfWholeBlocksEndsWithAnEmptyRead) {
    const std::string body = Bytes(1024);
    server.Route("/a.bin", ScriptedResponse::Ok(body));
    Fetch("/a.bin");
    EXPECT_TRUE(tg.Running());
    EXPECT_EQ(tg.GetHeader("Content-Length"), "1024");
    EXPECT_EQ(tg.GetHeader("CONTENT-length"), "1024");
    tg.DownloadedBytes = 0;
    tg.StartDownLoad();
    EXPECT_EQ(log.events, (std::vector<std::string>{"D512", "D1024", "D1024", "O"}));
    EXPECT_EQ(tg.DownloadedBytes, 1024);
    EXPECT_EQ(test::ReadFile(target), body);
    EXPECT_FALSE(tg.Running());
    // The transfer ended with Cancel: no more answers, but the header block was kept.
    EXPECT_EQ(tg.GetHeader("Content-Length"), "0");
    EXPECT_EQ(tg.HttpHeaderText.substr(0, 16), std::string("HTTP/1.1 200 OK\0", 16));
    EXPECT_NE(server.Requests().at(0).find("\r\nUser-Agent: Tgpeli\r\n"), std::string::npos);
}

TEST_F(DownloadTest, EmptyBodyGivesAnEmptyFile) {
    server.Route("/empty", ScriptedResponse::Ok(""));
    Fetch("/empty");
    EXPECT_EQ(tg.GetHeader("Content-Length"), "0");
    tg.StartDownLoad();
    EXPECT_EQ(log.events, (std::vector<std::string>{"D0", "O"}));
    ASSERT_TRUE(std::filesystem::exists(target));
    EXPECT_EQ(std::filesystem::file_size(target), 0u);
}

TEST_F(DownloadTest, ShortLastBlockIsWrittenByteByByteWithYields) {
    const std::string body = Bytes(700);
    server.Route("/b", ScriptedResponse::Ok(body));
    Fetch("/b");
    tg.StartDownLoad();
    EXPECT_EQ(log.events, (std::vector<std::string>{"D512", "D700", "O"}));
    EXPECT_EQ(test::ReadFile(target), body);
    // Full block: after the read and after GetData. Short block: after the read, after each
    // of its 188 bytes and after GetData.
    EXPECT_EQ(yield.count, 2 + 1 + 188 + 1);
}

TEST_F(DownloadTest, HeaderQueriesSearchTheBlockAsSent) {
    ScriptedResponse r;
    r.head = "HTTP/1.1 200 OK\r\nServer: Tiny/1.0\r\nDate: Tue, 08 Dec 2026 01:00:00 GMT\r\n"
             "Content-Type: text/plain\r\nLast-Modified: Mon, 07 Dec 2026 10:00:00 GMT\r\nExpires: never\r\n"
             "content-length: 5\r\nConnection: close\r\n\r\n";
    r.body = "hello";
    server.Route("/h", r);
    Fetch("/h");
    EXPECT_EQ(tg.GetHeader("content-length"), "0") << "the server wrote the name in lower case";
    EXPECT_EQ(tg.GetHeader("server"), "Tiny/1.0");
    EXPECT_EQ(tg.GetHeader("Date"), "Tue, 08 Dec 2026 01:00:00 GMT");
    EXPECT_EQ(tg.GetHeader("Content-Type"), "text/plain");
    EXPECT_EQ(tg.GetHeader("LAST-MODIFIED"), "Mon, 07 Dec 2026 10:00:00 GMT");
    EXPECT_EQ(tg.GetHeader("Expires"), "0");
    static const char kBlock[] = "HTTP/1.1 200 OK\0Server: Tiny/1.0\0Date: Tue, 08 Dec 2026 01:00:00 GMT\0"
                                 "Content-Type: text/plain\0Last-Modified: Mon, 07 Dec 2026 10:00:00 GMT\0"
                                 "Expires: never\0content-length: 5\0Connection: close\0";
    const std::string block(kBlock, sizeof kBlock - 1);
    EXPECT_EQ(tg.GetHeader(""), block);
    EXPECT_EQ(tg.HttpHeaderText, block);
}

TEST_F(DownloadTest, NotFoundPageAnnouncesNoLengthButStillTransfers) {
    Fetch("/nowhere");
    EXPECT_EQ(tg.GetHeader("Content-Length"), "0");
    tg.StartDownLoad();
    EXPECT_EQ(test::ReadFile(target), "<html><body>Not here</body></html>");
}

TEST_F(DownloadTest, ResponseWithoutLengthRunsToTheEndOfTheConnection) {
    ScriptedResponse r;
    r.head = "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n";
    r.body = Bytes(3000);
    r.chunk_bytes = 1000;
    server.Route("/nolen", r);
    Fetch("/nolen");
    EXPECT_EQ(tg.GetHeader("Content-Length"), "0");
    tg.StartDownLoad();
    EXPECT_EQ(tg.DownloadedBytes, 3000);
    EXPECT_EQ(test::ReadFile(target), r.body);
}

TEST_F(DownloadTest, DroppedConnectionEndsLikeAShortRead) {
    ScriptedResponse r = ScriptedResponse::Ok(Bytes(4000));
    r.drop_after = 1300;
    r.chunk_bytes = 650;
    r.chunk_delay = std::chrono::milliseconds(20);
    server.Route("/drop", r);
    Fetch("/drop");
    EXPECT_EQ(tg.GetHeader("Content-Length"), "4000");
    tg.StartDownLoad();
    EXPECT_EQ(log.events, (std::vector<std::string>{"D512", "D1024", "D1300", "O"}));
    EXPECT_EQ(tg.DownloadedBytes, 1300);
    EXPECT_EQ(test::ReadFile(target), r.body.substr(0, 1300));
    EXPECT_FALSE(tg.Running());
}

TEST_F(DownloadTest, CancelInAnEventEndsWithAFailedRead) {
    ScriptedResponse r = ScriptedResponse::Ok(Bytes(64 * 1024));
    r.chunk_bytes = 1024;
    r.chunk_delay = std::chrono::milliseconds(5);
    server.Route("/slow", r);
    Fetch("/slow");
    tg.GetData = [&](std::int32_t total) {
        log.events.push_back("D" + std::to_string(total));
        if (total == 1024) tg.Cancel();
    };
    tg.StartDownLoad();
    // The cut body is not reported finished.
    EXPECT_EQ(log.events, (std::vector<std::string>{"D512", "D1024", "D1024"}));
    EXPECT_EQ(std::filesystem::file_size(target), 1024u);
}

TEST_F(DownloadTest, CancelInTheYieldAfterAFullBlockDropsThatBlock) {
    server.Route("/c", ScriptedResponse::Ok(Bytes(2048)));
    Fetch("/c");
    // Yields: 1 after read 1, 2 after GetData, 3 after read 2.
    yield.at = 3;
    yield.action = [&] { tg.Cancel(); };
    tg.StartDownLoad();
    EXPECT_EQ(log.events, (std::vector<std::string>{"D512"}));
    EXPECT_EQ(std::filesystem::file_size(target), 512u);
    EXPECT_EQ(tg.DownloadedBytes, 512);
}

TEST_F(DownloadTest, RequestsThatCannotBeOpenedLeaveEverythingUntouched) {
    const std::string urls[] = {"http://127.0.0.1:" + std::to_string(test::ClosedPort()) + "/x",
                                "ftp://127.0.0.1:" + std::to_string(server.Port()) + "/x", "file:///etc/hostname",
                                "127.0.0.1/x", ""};
    for (const auto& url : urls) {
        tg.URL(url);
        tg.SaveFile(target.string());
        tg.DownloadedBytes = 77;
        tg.Execute();
        EXPECT_FALSE(tg.Running()) << url;
        EXPECT_EQ(tg.GetHeader("Content-Length"), "0") << url;
        EXPECT_EQ(tg.GetHeader(""), "0") << url;
        tg.StartDownLoad();
        EXPECT_FALSE(std::filesystem::exists(target)) << url;
        EXPECT_TRUE(log.events.empty()) << url;
        EXPECT_EQ(tg.DownloadedBytes, 77);
    }
    EXPECT_EQ(server.Requests().size(), 0u);
}

TEST_F(DownloadTest, TargetThatCannotBeWrittenIsReported) {
    server.Route("/f", ScriptedResponse::Ok("data"));
    const std::string bad = (dir / "no-such-folder" / "f.bin").string();
    tg.URL(server.Url("/f"));
    tg.SaveFile(bad);
    tg.Execute();
    tg.StartDownLoad();
    EXPECT_EQ(log.events, (std::vector<std::string>{"EFile " + bad + " are used, can't delete!"}));
    EXPECT_FALSE(tg.Running());
}

TEST_F(DownloadTest, HeaderBlockLargerThanTheBufferAnswersNothing) {
    ScriptedResponse r = ScriptedResponse::Ok("x", "X-Padding: " + std::string(1100, 'p') + "\r\n");
    server.Route("/big", r);
    Fetch("/big");
    EXPECT_TRUE(tg.Running());
    EXPECT_EQ(tg.HeaderText(), "");
    EXPECT_EQ(tg.GetHeader("Content-Length"), "0");
    EXPECT_EQ(tg.GetHeader(""), "0");
}

TEST_F(DownloadTest, ExistingLongerFileIsReplacedWhole) {
    test::WriteFile(target, std::string(5000, 'o'));
    server.Route("/s", ScriptedResponse::Ok("short"));
    Fetch("/s");
    tg.StartDownLoad();
    EXPECT_EQ(test::ReadFile(target), "short");
}

TEST_F(DownloadTest, RedirectsAreFollowedAndTheFinalHeadersAnswer) {
    ScriptedResponse moved;
    moved.head = "HTTP/1.1 302 Found\r\nLocation: /real\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    server.Route("/moved", moved);
    server.Route("/real", ScriptedResponse::Ok("payload"));
    Fetch("/moved");
    EXPECT_EQ(tg.GetHeader("Content-Length"), "7");
    tg.StartDownLoad();
    EXPECT_EQ(test::ReadFile(target), "payload");
}

// ---- Against the session double: exact read patterns ----

namespace {

// Header lines as the session hands them over, each followed by a NUL.
std::string Block(std::initializer_list<const char*> lines) {
    std::string b;
    for (const char* l : lines) {
        b += l;
        b += '\0';
    }
    return b;
}

struct FakeFixture {
    TempDir dir;
    CountingYield yield;
    FakeHttpSession::Script script;
    int opened = 0;
    std::unique_ptr<Download> tg;
    EventLog log;
    std::filesystem::path target = dir / "f.bin";

    void Start() {
        script.opened = &opened;
        tg = std::make_unique<Download>([this] { return std::make_unique<FakeHttpSession>(script); });
        tg->AfterRead(std::ref(yield));
        log.Attach(*tg);
        tg->URL("https://example.invalid/f.bin");
        tg->SaveFile(target.string());
        tg->Execute();
    }
};

} // namespace

TEST(DownloadWithSessionDouble, CancelDuringAShortBlockStillFinishesIt) {
    FakeFixture f;
    f.script.headers = Block({"HTTP/1.1 200 OK", "Content-Length: 600"});
    f.script.reads = {std::string(512, 'a'), std::string(88, 'b')};
    f.Start();
    EXPECT_EQ(f.tg->GetHeader("Content-Length"), "600");
    // Yields: 1 read, 2 GetData, 3 read, then one per byte of the short block.
    f.yield.at = 10;
    f.yield.action = [&] { f.tg->Cancel(); };
    f.tg->StartDownLoad();
    EXPECT_EQ(f.log.events, (std::vector<std::string>{"D512", "D600", "O"}));
    EXPECT_EQ(test::ReadFile(f.target), std::string(512, 'a') + std::string(88, 'b'));
}

TEST(DownloadWithSessionDouble, FailedReadEndsTheBodyUnfinished) {
    FakeFixture f;
    f.script.headers = Block({"HTTP/1.1 200 OK", "Content-Length: 2048"});
    f.script.reads = {std::string(512, 'a')};
    f.script.fail_after = true;
    f.Start();
    f.tg->StartDownLoad();
    EXPECT_EQ(f.log.events, (std::vector<std::string>{"D512", "D512"}));
    EXPECT_EQ(f.tg->DownloadedBytes, 512);
}

TEST(DownloadWithSessionDouble, HeaderBlockMustFitTheBufferWithItsTerminator) {
    for (const std::size_t size : {std::size_t{1023}, std::size_t{1024}}) {
        FakeFixture f;
        f.script.headers = "HTTP/1.1 200 OK" + std::string(size - 16, 'x') + '\0';
        f.Start();
        EXPECT_EQ(f.tg->HeaderText().size(), size == 1023 ? 1023u : 0u) << size;
    }
}

TEST(DownloadWithSessionDouble, OtherSchemesNeverReachTheSession) {
    FakeFixture f;
    f.Start();
    EXPECT_EQ(f.opened, 1);
    f.tg->URL("gopher://example.invalid/");
    f.tg->Execute();
    EXPECT_EQ(f.opened, 1);
    EXPECT_FALSE(f.tg->Running());
}

TEST_F(DownloadTest, LimitsCutOffWhatTheServerSends) {
    // A whole header name only: "X-Content-Length" is not the length.
    server.Route("/x", ScriptedResponse::Ok("abc", "X-Content-Length: 77\r\n"));
    ScriptedResponse only_x;
    only_x.head = "HTTP/1.1 200 OK\r\nX-Content-Length: 3\r\nConnection: close\r\n\r\n";
    only_x.body = "abc";
    server.Route("/only-x", only_x);
    Fetch("/x");
    EXPECT_EQ(tg.GetHeader("Content-Length"), "3");
    Fetch("/only-x");
    EXPECT_EQ(tg.GetHeader("Content-Length"), "0");

    // An announced length beyond the cap fails the request before any body.
    HttpLimits small;
    small.max_body_bytes = 1000;
    tg.Limits(small);
    server.Route("/big", ScriptedResponse::Ok(Bytes(1001)));
    Fetch("/big");
    EXPECT_FALSE(tg.Running());
    EXPECT_EQ(tg.GetHeader("Content-Length"), "0");

    // Without a length, the body stops at the cap.
    ScriptedResponse endless;
    endless.head = "HTTP/1.0 200 OK\r\n\r\n";
    endless.body = Bytes(4096);
    endless.endless = true;
    server.Route("/endless", endless);
    Fetch("/endless");
    tg.StartDownLoad();
    EXPECT_LE(tg.DownloadedBytes, 1000);

    // 2 bytes a second never end on their own: the deadline does.
    HttpLimits quick;
    quick.deadline_floor = std::chrono::milliseconds(500);
    tg.Limits(quick);
    ScriptedResponse trickle = ScriptedResponse::Ok(Bytes(100));
    trickle.chunk_bytes = 1;
    trickle.chunk_delay = std::chrono::milliseconds(500);
    server.Route("/trickle", trickle);
    const auto start = std::chrono::steady_clock::now();
    Fetch("/trickle");
    tg.DownloadedBytes = 0;
    tg.StartDownLoad();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_LT(tg.DownloadedBytes, 100);
}
