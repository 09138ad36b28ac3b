// Requests written by hand on real sockets, for what the game never sends.
#pragma once
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace rawhttp {

// A connected socket to the address (IPv4 or IPv6), or -1.
inline int Connect(uint16_t port, const std::string& host = "127.0.0.1") {
    sockaddr_in v4{};
    sockaddr_in6 v6{};
    const bool bV6 = inet_pton(AF_INET6, host.c_str(), &v6.sin6_addr) == 1;
    if (!bV6 && inet_pton(AF_INET, host.c_str(), &v4.sin_addr) != 1)
        return -1;
    const int fd = socket(bV6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
    v4.sin_family = AF_INET;
    v4.sin_port = htons(port);
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(port);
    const int r = bV6 ? connect(fd, reinterpret_cast<sockaddr*>(&v6), sizeof v6)
                      : connect(fd, reinterpret_cast<sockaddr*>(&v4), sizeof v4);
    if (r != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

inline bool SendAll(int fd, const std::string& data) {
    for (size_t done = 0; done < data.size();) {
        const ssize_t n = send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Everything until the peer closes or nothing comes for waitMs.
inline std::string ReadUntilClose(int fd, int waitMs = 5000) {
    std::string out;
    char buf[8192];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, waitMs) <= 0)
            break;
        const ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        out.append(buf, static_cast<size_t>(n));
    }
    return out;
}

// Reads until the bytes hold `count` whole answers with a Content-Length each.
inline std::string ReadAnswers(int fd, int count, int waitMs = 5000) {
    std::string out;
    char buf[8192];
    auto complete = [&out, count] {
        size_t at = 0;
        for (int i = 0; i < count; ++i) {
            const size_t end = out.find("\r\n\r\n", at);
            if (end == std::string::npos)
                return false;
            const size_t cl = out.find("Content-Length: ", at);
            const size_t len = cl < end ? std::stoul(out.substr(cl + 16)) : 0;
            if (out.size() < end + 4 + len)
                return false;
            at = end + 4 + len;
        }
        return true;
    };
    while (!complete()) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, waitMs) <= 0)
            break;
        const ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        out.append(buf, static_cast<size_t>(n));
    }
    return out;
}

// One request on its own connection; the whole answer.
inline std::string Exchange(uint16_t port, const std::string& request,
                            const std::string& host = "127.0.0.1") {
    const int fd = Connect(port, host);
    if (fd < 0)
        return "";
    std::string reply;
    if (SendAll(fd, request))
        reply = ReadUntilClose(fd);
    close(fd);
    return reply;
}

inline std::string Get(uint16_t port, const std::string& target,
                       const std::string& extraHeaders = "") {
    return Exchange(port, "GET " + target + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n" +
                              extraHeaders + "\r\n");
}

inline bool Has(const std::string& s, const std::string& part) {
    return s.find(part) != std::string::npos;
}

// nInFlight requests (fnRequest's) on connections of their own, each one
// answered replaced at once, until Stop(); fnAnswer gets every whole answer,
// on the flood's thread.
class CFlood {
public:
    CFlood(uint16_t port, size_t nInFlight, std::function<std::string()> fnRequest,
           std::function<void(const std::string&)> fnAnswer)
        : m_thread([=] { Run(port, nInFlight, fnRequest, fnAnswer); }) {}
    ~CFlood() { Stop(); }
    // Returns when every request sent has been answered.
    void Stop() {
        m_bFlooding = false;
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    void Run(uint16_t port, size_t nInFlight, const std::function<std::string()>& fnRequest,
             const std::function<void(const std::string&)>& fnAnswer) {
        std::vector<pollfd> waiting;
        std::vector<std::string> got;
        char buf[4096];
        while (m_bFlooding || !waiting.empty()) {
            while (m_bFlooding && waiting.size() < nInFlight) {
                const int fd = Connect(port);
                if (fd < 0 || !SendAll(fd, fnRequest())) {
                    if (fd >= 0)
                        close(fd);
                    break;
                }
                waiting.push_back({fd, POLLIN, 0});
                got.emplace_back();
            }
            if (poll(waiting.data(), waiting.size(), 100) <= 0)
                continue;
            for (size_t i = waiting.size(); i-- > 0;) {
                if (!waiting[i].revents)
                    continue;
                const ssize_t n = recv(waiting[i].fd, buf, sizeof buf, 0);
                if (n > 0) {
                    got[i].append(buf, static_cast<size_t>(n));
                    continue;
                }
                close(waiting[i].fd);
                fnAnswer(got[i]);
                waiting.erase(waiting.begin() + static_cast<long>(i));
                got.erase(got.begin() + static_cast<long>(i));
            }
        }
    }
    std::atomic<bool> m_bFlooding{true};
    std::thread m_thread;  // last: runs on the members above
};

}  // namespace rawhttp
