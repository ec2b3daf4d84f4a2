#include "tests/update/HttpTestServer.h"

#include <algorithm>
#include <stdexcept>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace tolbe::test {
namespace {

// The few calls that differ between Winsock and POSIX sockets.
#ifdef _WIN32
using Length = int;
constexpr int kShutBoth = SD_BOTH;
constexpr int kNoSignal = 0; // Winsock raises no signal on a closed peer
constexpr int kDontWait = 0; // the peek follows a poll that saw data or the hang-up
void CloseSocket(Socket s) {
    ::closesocket(s);
}
int Poll(Socket s, int timeout_ms) {
    WSAPOLLFD p{s, POLLIN, 0};
    return ::WSAPoll(&p, 1, timeout_ms);
}
Socket NewSocket() {
    // Started once for the process and never ended: the servers may outlive main's statics.
    static const bool started = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    if (!started) throw std::runtime_error("WSAStartup failed");
    const Socket s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) throw std::runtime_error("socket failed");
    // Windows lets another socket bind a port in use under SO_REUSEADDR: left unset there.
    return s;
}
#else
using Length = socklen_t;
constexpr int kShutBoth = SHUT_RDWR;
constexpr int kNoSignal = MSG_NOSIGNAL;
constexpr int kDontWait = MSG_DONTWAIT;
void CloseSocket(Socket s) {
    ::close(s);
}
int Poll(Socket s, int timeout_ms) {
    pollfd p{s, POLLIN, 0};
    return ::poll(&p, 1, timeout_ms);
}
Socket NewSocket() {
    const Socket s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) throw std::runtime_error("socket failed");
    const int one = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    return s;
}
#endif

sockaddr_in Loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    return a;
}

Socket BoundSocket(int* port) {
    const Socket s = NewSocket();
    sockaddr_in a = Loopback(0);
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        CloseSocket(s);
        throw std::runtime_error("bind failed");
    }
    Length len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    *port = ntohs(a.sin_port);
    return s;
}

bool SendAll(Socket s, const char* data, std::size_t n) {
    while (n > 0) {
        const int piece = static_cast<int>(std::min<std::size_t>(n, 1 << 20));
        const auto w = ::send(s, data, piece, kNoSignal);
        if (w <= 0) return false;
        data += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

} // namespace

ScriptedResponse ScriptedResponse::Ok(const std::string& body, const std::string& extra) {
    ScriptedResponse r;
    r.head = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extra +
             "Connection: close\r\n\r\n";
    r.body = body;
    return r;
}

int ClosedPort() {
    int port = 0;
    const Socket s = BoundSocket(&port);
    CloseSocket(s); // bound but never listening, then released: connections are refused
    return port;
}

HttpTestServer::HttpTestServer() {
    m_listen = BoundSocket(&m_port);
    if (::listen(m_listen, 8) != 0) {
        CloseSocket(m_listen);
        throw std::runtime_error("listen failed");
    }
    m_thread = std::thread([this] { Serve(); });
}

HttpTestServer::~HttpTestServer() {
    m_stop = true;
    m_thread.join();
    CloseSocket(m_listen);
}

void HttpTestServer::Route(const std::string& path, ScriptedResponse response) {
    std::lock_guard lock(m_mutex);
    m_routes[path] = std::move(response);
}

std::string HttpTestServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

std::vector<std::string> HttpTestServer::Requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

int HttpTestServer::RequestsFor(const std::string& path) const {
    int n = 0;
    for (const auto& r : Requests())
        if (r.rfind("GET " + path + " ", 0) == 0) ++n;
    return n;
}

void HttpTestServer::Serve() {
    while (!m_stop) {
        if (Poll(m_listen, 50) <= 0) continue;
#ifdef _WIN32
        const Socket client = ::accept(m_listen, nullptr, nullptr);
        if (client == INVALID_SOCKET) continue;
#else
        const Socket client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
#endif
        Answer(client);
        CloseSocket(client);
    }
}

void HttpTestServer::Answer(Socket client) {
    std::string request;
    char buf[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
        if (Poll(client, 2000) <= 0) return;
        const auto n = ::recv(client, buf, sizeof buf, 0);
        if (n <= 0) return;
        request.append(buf, static_cast<std::size_t>(n));
    }
    const std::size_t sp1 = request.find(' ');
    const std::size_t sp2 = request.find(' ', sp1 + 1);
    const std::string path = request.substr(sp1 + 1, sp2 - sp1 - 1);

    ScriptedResponse r;
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back(request.substr(0, request.find("\r\n\r\n")));
        auto it = m_routes.find(path);
        if (it != m_routes.end()) {
            r = it->second;
        } else {
            r.body = "<html><body>Not here</body></html>";
            r.head = "HTTP/1.1 404 Not Found\r\nContent-Length: " + std::to_string(r.body.size()) +
                     "\r\nConnection: close\r\n\r\n";
        }
    }
    if (!Pause(client, r.silent)) return;
    if (!SendAll(client, r.head.data(), r.head.size())) return;
    const std::size_t limit = std::min(r.drop_after, r.body.size());
    do {
        for (std::size_t sent = 0; sent < limit && !m_stop;) {
            if (!Pause(client, r.chunk_delay)) return;
            const std::size_t n = std::min(r.chunk_bytes, limit - sent);
            if (!SendAll(client, r.body.data() + sent, n)) return;
            sent += n;
        }
    } while (r.endless && limit > 0 && !m_stop);
    ::shutdown(client, kShutBoth);
}

bool HttpTestServer::Pause(Socket client, std::chrono::milliseconds d) {
    const auto end = std::chrono::steady_clock::now() + d;
    while (!m_stop && std::chrono::steady_clock::now() < end) {
        if (Poll(client, 10) > 0) {
            char c = 0;
            if (::recv(client, &c, 1, MSG_PEEK | kDontWait) <= 0) return false; // the client went away
        }
    }
    return !m_stop;
}

} // namespace tolbe::test
