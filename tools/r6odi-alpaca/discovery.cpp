#include "discovery.h"

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>
using SocketLength = int;
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
using SocketLength = socklen_t;
#endif

namespace alpaca {
namespace {

const char kRequest[] = "alpacadiscovery1";
// How often the thread looks whether it is to stop.
constexpr int kPollMs = 200;

void CloseSocket(intptr_t s)
{
#if defined(_WIN32)
    closesocket((SOCKET)s);
#else
    close((int)s);
#endif
}

} // namespace

bool IsDiscoveryRequest(const std::string& datagram)
{
    return datagram.find(kRequest) != std::string::npos;
}

DiscoveryResponder::~DiscoveryResponder()
{
    Stop();
}

bool DiscoveryResponder::Start(int udpPort, int alpacaPort, bool loopbackOnly, std::string* error)
{
#if defined(_WIN32)
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) {
#else
    int s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s < 0) {
#endif
        *error = "no UDP socket for discovery";
        return false;
    }
    int on = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, (const char*)&on, sizeof on);
#if defined(SO_REUSEPORT)
    setsockopt(s, SOL_SOCKET, SO_REUSEPORT, (const char*)&on, sizeof on);
#endif
#if defined(_WIN32)
    DWORD timeout = kPollMs;
#else
    timeval timeout{0, kPollMs * 1000};
#endif
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, (const char*)&timeout, sizeof timeout);
    // Every address: broadcasts arrive at the broadcast address, not at
    // the one the HTTP server listens on.
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons((uint16_t)udpPort);
    if (bind(s, (const sockaddr*)&address, sizeof address) != 0) {
        CloseSocket((intptr_t)s);
        *error = "cannot open UDP port " + std::to_string(udpPort) + " for discovery";
        return false;
    }
    socket_ = (intptr_t)s;
    alpacaPort_ = alpacaPort;
    loopbackOnly_ = loopbackOnly;
    stopping_ = false;
    thread_ = std::thread([this]() { Serve(); });
    return true;
}

void DiscoveryResponder::Serve()
{
    const std::string answer = "{\"AlpacaPort\":" + std::to_string(alpacaPort_) + "}";
    char buffer[512];
    while (!stopping_) {
        sockaddr_in sender{};
        SocketLength senderSize = sizeof sender;
        auto got = recvfrom(socket_, buffer, sizeof buffer, 0, (sockaddr*)&sender, &senderSize);
        if (got <= 0)
            continue;
        bool local = (ntohl(sender.sin_addr.s_addr) >> 24) == 127;
        if (!IsDiscoveryRequest(std::string(buffer, (size_t)got)) || (loopbackOnly_ && !local))
            continue;
        sendto(socket_, answer.data(), (int)answer.size(), 0, (const sockaddr*)&sender, senderSize);
    }
}

void DiscoveryResponder::Stop()
{
    if (!thread_.joinable())
        return;
    stopping_ = true;
    thread_.join();
    CloseSocket(socket_);
    socket_ = -1;
}

} // namespace alpaca
