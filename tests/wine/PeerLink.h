// The device side of the test COM ports under Wine: the host's pty peer
// (pty_peer.c), reached over TCP at VEXO_PTY_PEER (run-wine.sh --ports sets
// it). One request per line, one reply line each ("ok ..." or "err ...").
// Include it first: it brings in winsock2 before <windows.h>.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

class TPeerLink {
public:
    TPeerLink()
    {
        const char *where = std::getenv("VEXO_PTY_PEER");
        if (!where || !*where) {
            FProblem = "VEXO_PTY_PEER is not set: run through run-wine.sh --ports (ctest does)";
            return;
        }
        WSADATA wsa;
        if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
            FProblem = "WSAStartup failed";
            return;
        }
        const std::string text = where;
        const auto colon = text.rfind(':');
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo *found = nullptr;
        if (colon == std::string::npos ||
            getaddrinfo(text.substr(0, colon).c_str(), text.substr(colon + 1).c_str(), &hints, &found) != 0) {
            FProblem = "bad VEXO_PTY_PEER: " + text;
            return;
        }
        SOCKET s = ::socket(found->ai_family, found->ai_socktype, found->ai_protocol);
        if (s != INVALID_SOCKET && ::connect(s, found->ai_addr, static_cast<int>(found->ai_addrlen)) == 0)
            FSocket = s;
        else if (s != INVALID_SOCKET)
            closesocket(s);
        freeaddrinfo(found);
        if (!Connected())
            FProblem = "cannot reach the pty peer at " + text;
    }
    ~TPeerLink()
    {
        if (Connected())
            closesocket(FSocket);
    }
    TPeerLink(const TPeerLink &) = delete;
    TPeerLink &operator=(const TPeerLink &) = delete;

    bool Connected() const { return FSocket != INVALID_SOCKET; }
    const std::string &Problem() const { return FProblem; }

    // Sends one request without waiting for its reply.
    bool Post(const std::string &request)
    {
        const std::string line = request + "\n";
        const char *p = line.data();
        std::size_t left = line.size();
        while (left > 0) {
            const int n = ::send(FSocket, p, static_cast<int>(std::min<std::size_t>(left, 65536)), 0);
            if (n <= 0)
                return false;
            p += n;
            left -= static_cast<std::size_t>(n);
        }
        return true;
    }
    // The next reply line, without its end.
    std::string Reply()
    {
        for (;;) {
            const auto nl = FBuffer.find('\n');
            if (nl != std::string::npos) {
                std::string line = FBuffer.substr(0, nl);
                FBuffer.erase(0, nl + 1);
                return line;
            }
            char buf[65536];
            const int n = ::recv(FSocket, buf, sizeof buf, 0);
            if (n <= 0)
                return "err connection lost";
            FBuffer.append(buf, static_cast<std::size_t>(n));
        }
    }
    std::string Ask(const std::string &request) { return Post(request) ? Reply() : "err send failed"; }
    bool Ok(const std::string &request) { return Ask(request).rfind("ok", 0) == 0; }

    // The pty peer's port names.
    std::vector<std::string> Ports()
    {
        std::istringstream in(Ask("ports"));
        std::string word;
        std::vector<std::string> names;
        in >> word;
        while (in >> word)
            names.push_back(word);
        return names;
    }
    bool Write(const std::string &port, const std::string &bytes) { return Ok("write " + port + " " + ToHex(bytes)); }
    // What the program sent within `ms`; returns early once `n` bytes came (n > 0).
    std::string Read(const std::string &port, std::size_t n, int ms)
    {
        const std::string r = Ask("read " + port + " " + std::to_string(n) + " " + std::to_string(ms));
        return r.rfind("ok ", 0) == 0 ? FromHex(r.substr(3)) : std::string();
    }

    static std::string ToHex(const std::string &bytes)
    {
        static const char digits[] = "0123456789abcdef";
        std::string out;
        out.reserve(bytes.size() * 2);
        for (unsigned char c : bytes) {
            out += digits[c >> 4];
            out += digits[c & 15];
        }
        return out;
    }
    static std::string FromHex(const std::string &hex)
    {
        std::string out;
        for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
            out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
        return out;
    }

private:
    SOCKET FSocket = INVALID_SOCKET;
    std::string FBuffer;
    std::string FProblem;
};
