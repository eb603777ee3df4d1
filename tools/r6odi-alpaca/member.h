// An Alpaca member as the router serves it: its verb, the parameters it
// requires (parsed and checked before it runs, so a malformed request
// never reaches the camera), whether it needs a connection, and the code
// that answers it.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "driver_thread.h"
#include "image.h"
#include "request.h"
#include "rig.h"

namespace alpaca {

enum class ParamType { Int, Double, Bool, String };

struct Param {
    const char* name; // exact casing; a GET matches it in any casing
    ParamType type;
};

using Args = std::map<std::string, nlohmann::json>;

struct Member {
    bool put = false;
    bool needsConnection = true;
    std::vector<Param> params;
    nlohmann::json fallback = 0; // a GET's Value when it answers with an error
    std::function<Reply(const Args&)> run;
    // Image members answer with the image in `image` (JSON or ImageBytes,
    // as the client accepts).
    std::function<Reply(std::shared_ptr<const Image>* image)> runImage;
};

// Keyed by "get <member>" and "put <member>", the member in lower case.
using MemberTable = std::map<std::string, Member>;

// What the member code works on.
struct Context {
    Rig& rig;
    DriverThread& driver;
};

MemberTable CameraMembers(Context& context);
MemberTable FilterWheelMembers(Context& context);
// Connection, identity and the members every device type has.
void AddCommonMembers(MemberTable& table, Context& context, Device device);

// Small builders that keep the tables readable.
Member GetMember(nlohmann::json fallback, std::function<Reply()> run);
Member PutMember(std::vector<Param> params, std::function<Reply(const Args&)> run);
// A GET that reads the status under the rig's lock.
template <class Read>
std::function<Reply()> Locked(Context& c, Read read)
{
    return [&c, read]() {
        std::lock_guard<std::mutex> lock(c.rig.Lock());
        return read(c.rig.State());
    };
}
// A member the cameras lack: NotImplemented with a message naming it.
void AddNotImplemented(MemberTable& table, const std::string& verbAndName, const std::string& why,
                       std::vector<Param> params = {});

} // namespace alpaca
