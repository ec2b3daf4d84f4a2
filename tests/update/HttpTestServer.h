#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tolbe::test {

// A socket: an int on POSIX, Winsock's SOCKET (an unsigned pointer-sized number) on Windows.
#ifdef _WIN32
using Socket = std::uintptr_t;
#else
using Socket = int;
#endif

// One scripted answer: the exact bytes of the status line and headers, then the body.
struct ScriptedResponse {
    std::string head; // sent as is, including the blank line
    std::string body;
    std::size_t drop_after = std::string::npos; // close the connection after this many body bytes
    std::size_t chunk_bytes = 16 * 1024;        // body bytes per send
    std::chrono::milliseconds chunk_delay{0};
    std::chrono::milliseconds silent{0}; // accept, read the request, then say nothing this long
    bool endless = false;                // send the body again and again until the client goes

    // "HTTP/1.1 200 OK" with Content-Length and Connection: close, plus `extra` header lines
    // (each ending in CR LF).
    static ScriptedResponse Ok(const std::string& body, const std::string& extra = {});
};

// A small HTTP/1.x server on 127.0.0.1 and an ephemeral port, answering on its own thread,
// one connection at a time. Unknown paths get a "404 Not Found" page.
class HttpTestServer {
public:
    HttpTestServer();
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    void Route(const std::string& path, ScriptedResponse response);
    // "http://127.0.0.1:<port>" + path
    std::string Url(const std::string& path) const;
    int Port() const { return m_port; }
    // Raw request texts (request line and headers), oldest first.
    std::vector<std::string> Requests() const;
    int RequestsFor(const std::string& path) const;

private:
    void Serve();
    void Answer(Socket client);
    // Waits up to `d`; false when the server stops or the client hangs up meanwhile.
    bool Pause(Socket client, std::chrono::milliseconds d);

    Socket m_listen = static_cast<Socket>(-1);
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::map<std::string, ScriptedResponse> m_routes;
    std::vector<std::string> m_requests;
    std::thread m_thread;
};

// A port on 127.0.0.1 where nothing listens.
int ClosedPort();

} // namespace tolbe::test
