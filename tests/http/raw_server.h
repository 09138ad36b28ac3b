// A loopback server that answers each connection with bytes the test scripts,
// so the client meets exactly the responses hostile servers send.
#pragma once
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
using SocketFd = SOCKET;
constexpr int kShutBoth = SD_BOTH;
constexpr int kNoSignal = 0;
inline void CloseSocket(SocketFd fd) {
    closesocket(fd);
}
inline bool SocketsReady() {
    static const bool ready = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return ready;
}
#else
using SocketFd = int;
constexpr int kShutBoth = SHUT_RDWR;
constexpr int kNoSignal = MSG_NOSIGNAL;
inline void CloseSocket(SocketFd fd) {
    close(fd);
}
inline bool SocketsReady() {
    return true;
}
#endif

class CRawServer {
public:
    // Given the request number and its text; returns the bytes to send.
    using Reply = std::function<std::string(int, const std::string&)>;

    // nHoldMs keeps the connection open after the reply; nDripMs sends the
    // reply one byte at a time with that pause between bytes.
    explicit CRawServer(Reply reply, int nHoldMs = 0, int nDripMs = 0)
        : m_reply(std::move(reply)), m_nHoldMs(nHoldMs), m_nDripMs(nDripMs) {
        SocketsReady();
        m_fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(m_fd, 8);
        socklen_t n = sizeof a;
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &n);
        m_nPort = ntohs(a.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~CRawServer() {
        m_bStop = true;
        shutdown(m_fd, kShutBoth);
        CloseSocket(m_fd);
        m_thread.join();
    }
    int Port() const { return m_nPort; }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_nPort) + path;
    }
    std::vector<std::string> Requests() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_arrRequests;
    }

private:
    void Serve() {
        for (int i = 0; !m_bStop; ++i) {
            const SocketFd c = accept(m_fd, nullptr, nullptr);
            if (c == static_cast<SocketFd>(-1))
                return;
            const std::string req = ReadRequest(c);
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_arrRequests.push_back(req);
            }
            const std::string out = m_reply(i, req);
            if (m_nDripMs == 0)
                send(c, out.data(), static_cast<int>(out.size()), kNoSignal);
            for (size_t b = 0; m_nDripMs > 0 && b < out.size() && !m_bStop; ++b) {
                if (send(c, out.data() + b, 1, kNoSignal) != 1)
                    break;
                std::this_thread::sleep_for(std::chrono::milliseconds(m_nDripMs));
            }
            for (int t = 0; t < m_nHoldMs && !m_bStop; t += 10)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            CloseSocket(c);
        }
    }
    static std::string ReadRequest(SocketFd c) {
        std::string req;
        char buf[4096];
        size_t need = std::string::npos;
        while (need == std::string::npos || req.size() < need) {
            const auto n = recv(c, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            req.append(buf, static_cast<size_t>(n));
            const size_t end = req.find("\r\n\r\n");
            if (need == std::string::npos && end != std::string::npos) {
                const size_t cl = req.find("Content-Length: ");
                const size_t body = cl == std::string::npos ? 0 : std::stoul(req.substr(cl + 16));
                need = end + 4 + body;
            }
        }
        return req;
    }

    Reply m_reply;
    int m_nHoldMs;
    int m_nDripMs;
    SocketFd m_fd = static_cast<SocketFd>(-1);
    int m_nPort = 0;
    std::atomic<bool> m_bStop{false};
    std::mutex m_mutex;
    std::vector<std::string> m_arrRequests;
    std::thread m_thread;
};

inline std::string Page(const std::string& body, const std::string& status = "200 OK",
                        const std::string& extra = "") {
    return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n" + extra + "\r\n" + body;
}
