// The HTTP side: the device API for camera/0 and filterwheel/0, the
// management API and the setup pages, on cpp-httplib's thread pool.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "member.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}

namespace alpaca {

struct ServerIdentity {
    std::string location;       // the management description's Location
    std::string uniqueIdSeed;   // what the devices' UniqueIDs are made from
};

class Server {
public:
    Server(Rig& rig, DriverThread& driver, const ServerIdentity& identity);
    ~Server();

    // Binds the port; false with the reason.
    bool Bind(const std::string& address, int port, std::string* error);
    // Serves until Stop (from another thread).
    void Serve();
    void Stop();

private:
    void HandleDevice(const httplib::Request& request, httplib::Response& response, bool put);
    void HandleManagement(const httplib::Request& request, httplib::Response& response);
    void SendImage(const std::shared_ptr<const Image>& image, const httplib::Request& request,
                   httplib::Response& response, uint32_t clientTransactionId);
    uint32_t NextServerTransactionId() { return ++serverTransactionId_; }

    Context context_;
    ServerIdentity identity_;
    MemberTable camera_;
    MemberTable wheel_;
    std::unique_ptr<httplib::Server> http_;
    std::atomic<uint32_t> serverTransactionId_{0};
};

// A UUID-shaped identifier that is the same on every start for the same
// seed and device, and differs between devices.
std::string StableUniqueId(const std::string& seed, const std::string& device);

} // namespace alpaca
