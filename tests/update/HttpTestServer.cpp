#include "tests/update/HttpTestServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace tolbe::test {
namespace {

sockaddr_in Loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    return a;
}

int BoundSocket(int* port) {
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) throw std::runtime_error("socket failed");
    const int one = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a = Loopback(0);
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(s);
        throw std::runtime_error("bind failed");
    }
    socklen_t len = sizeof a;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    *port = ntohs(a.sin_port);
    return s;
}

bool SendAll(int s, const char* data, std::size_t n) {
    while (n > 0) {
        const ssize_t w = ::send(s, data, n, MSG_NOSIGNAL);
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
    const int s = BoundSocket(&port);
    ::close(s); // bound but never listening, then released: connections are refused
    return port;
}

HttpTestServer::HttpTestServer() {
    m_listen = BoundSocket(&m_port);
    if (::listen(m_listen, 8) != 0) {
        ::close(m_listen);
        throw std::runtime_error("listen failed");
    }
    m_thread = std::thread([this] { Serve(); });
}

HttpTestServer::~HttpTestServer() {
    m_stop = true;
    m_thread.join();
    ::close(m_listen);
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
        pollfd p{m_listen, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        const int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        Answer(client);
        ::close(client);
    }
}

void HttpTestServer::Answer(int client) {
    std::string request;
    char buf[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
        pollfd p{client, POLLIN, 0};
        if (::poll(&p, 1, 2000) <= 0) return;
        const ssize_t n = ::recv(client, buf, sizeof buf, 0);
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
    ::shutdown(client, SHUT_RDWR);
}

bool HttpTestServer::Pause(int client, std::chrono::milliseconds d) {
    const auto end = std::chrono::steady_clock::now() + d;
    while (!m_stop && std::chrono::steady_clock::now() < end) {
        pollfd p{client, POLLIN, 0};
        if (::poll(&p, 1, 10) > 0) {
            char c = 0;
            if (::recv(client, &c, 1, MSG_PEEK | MSG_DONTWAIT) <= 0) return false; // the client went away
        }
    }
    return !m_stop;
}

} // namespace tolbe::test
