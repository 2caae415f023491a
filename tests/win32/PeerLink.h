// The device side of the test COM ports: the host's pty peer, reached over
// TCP at VEXO_PTY_PEER (run-wine.sh --ports sets it). One request per line,
// one reply line each ("ok ..." or "err ...").
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdlib>
#include <string>

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
        WSAStartup(MAKEWORD(2, 2), &wsa);
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
        FSocket = ::socket(found->ai_family, found->ai_socktype, found->ai_protocol);
        if (FSocket != INVALID_SOCKET && ::connect(FSocket, found->ai_addr, static_cast<int>(found->ai_addrlen)) != 0) {
            closesocket(FSocket);
            FSocket = INVALID_SOCKET;
        }
        freeaddrinfo(found);
        if (FSocket == INVALID_SOCKET)
            FProblem = "cannot reach the pty peer at " + text;
    }
    ~TPeerLink()
    {
        if (FSocket != INVALID_SOCKET)
            closesocket(FSocket);
    }
    const std::string &Problem() const { return FProblem; }

    std::string Ask(const std::string &request)
    {
        const std::string line = request + "\n";
        if (::send(FSocket, line.data(), static_cast<int>(line.size()), 0) != static_cast<int>(line.size()))
            return "err send";
        for (;;) {
            const auto nl = FBuffer.find('\n');
            if (nl != std::string::npos) {
                std::string reply = FBuffer.substr(0, nl);
                FBuffer.erase(0, nl + 1);
                return reply;
            }
            char buf[4096];
            const int n = ::recv(FSocket, buf, sizeof buf, 0);
            if (n <= 0)
                return "err connection lost";
            FBuffer.append(buf, static_cast<size_t>(n));
        }
    }
    bool Write(const std::string &port, const std::string &bytes)
    {
        return Ask("write " + port + " " + Hex(bytes)).rfind("ok", 0) == 0;
    }
    // What the program sent within `ms`; early once `n` bytes came.
    std::string Read(const std::string &port, size_t n, int ms)
    {
        const std::string r = Ask("read " + port + " " + std::to_string(n) + " " + std::to_string(ms));
        std::string out;
        for (size_t i = 3; r.rfind("ok ", 0) == 0 && i + 1 < r.size(); i += 2)
            out += static_cast<char>(std::stoi(r.substr(i, 2), nullptr, 16));
        return out;
    }

private:
    static std::string Hex(const std::string &bytes)
    {
        static const char digits[] = "0123456789abcdef";
        std::string out;
        for (unsigned char c : bytes)
            out += {digits[c >> 4], digits[c & 15]};
        return out;
    }
    SOCKET FSocket = INVALID_SOCKET;
    std::string FBuffer, FProblem;
};
