// The Alpaca discovery responder: answers the datagram "alpacadiscovery1"
// on its UDP port with {"AlpacaPort":N}, so clients find the server
// without being told its address. The port is opened shared, so several
// Alpaca servers on one machine can all answer.
#pragma once

#include <atomic>
#include <string>
#include <thread>

namespace alpaca {

class DiscoveryResponder {
public:
    DiscoveryResponder() = default;
    ~DiscoveryResponder();

    // Answers on `udpPort` with `alpacaPort`. With `loopbackOnly` (the HTTP
    // server listens on loopback) it answers only requests from this
    // machine: elsewhere the port it names cannot be reached. False with
    // the reason when the port cannot be had.
    bool Start(int udpPort, int alpacaPort, bool loopbackOnly, std::string* error);
    void Stop();

private:
    void Serve();

    intptr_t socket_ = -1;
    int alpacaPort_ = 0;
    bool loopbackOnly_ = true;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

// Whether a datagram is a discovery request: ASCOM's own responder takes
// any datagram that contains the request text, padding allowed.
bool IsDiscoveryRequest(const std::string& datagram);

} // namespace alpaca
