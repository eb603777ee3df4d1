// The members every Alpaca device has: connecting, identity, actions.
#include <chrono>

#include "member.h"

namespace alpaca {
namespace {

// Opening the camera reads its description and the filter list; a camera
// that is being plugged in or is slow to answer still fits in this.
constexpr std::chrono::milliseconds kConnectLimit(30000);

const char* const kDriverInfo =
    "r6odi-alpaca: the r6odi driver's cooled USB CCD cameras and their filter wheels as ASCOM Alpaca devices";

bool& ConnectedFlag(Status& status, Device device)
{
    return device == Device::Camera ? status.cameraConnected : status.wheelConnected;
}

Reply Connect(Rig& rig, Device device, bool on)
{
    return on ? rig.Connect(device) : rig.Disconnect(device);
}

std::string DeviceName(const Status& status, Device device)
{
    if (device == Device::Camera)
        return status.facts.name.empty() ? std::string("r6odi camera") : status.facts.name;
    return status.facts.wheelName.empty() ? std::string("r6odi filter wheel") : status.facts.wheelName;
}

} // namespace

Member GetMember(nlohmann::json fallback, std::function<Reply()> run)
{
    Member member;
    member.fallback = std::move(fallback);
    member.run = [run = std::move(run)](const Args&) { return run(); };
    return member;
}

Member PutMember(std::vector<Param> params, std::function<Reply(const Args&)> run)
{
    Member member;
    member.put = true;
    member.params = std::move(params);
    member.run = std::move(run);
    return member;
}

void AddNotImplemented(MemberTable& table, const std::string& verbAndName, const std::string& why,
                       std::vector<Param> params)
{
    std::string name = verbAndName.substr(verbAndName.find(' ') + 1);
    Member member;
    member.put = verbAndName.rfind("put ", 0) == 0;
    member.params = std::move(params);
    member.run = [name, why](const Args&) { return Reply::Error(kNotImplemented, name + " is not implemented: " + why); };
    table[verbAndName] = member;
}

void AddCommonMembers(MemberTable& table, Context& c, Device device)
{
    auto locked = [&c](auto read) {
        std::lock_guard<std::mutex> lock(c.rig.Lock());
        return read(c.rig.State());
    };
    auto free = [](Member member) {
        member.needsConnection = false;
        return member;
    };
    table["get connected"] = free(GetMember(false, [=]() {
        return Reply::Value(locked([=](Status& s) { return ConnectedFlag(s, device); }));
    }));
    table["put connected"] = free(PutMember({{"Connected", ParamType::Bool}}, [&c, device](const Args& a) {
        bool on = a.at("Connected").get<bool>();
        Rig& rig = c.rig;
        return c.driver.Call([&rig, device, on]() { return Connect(rig, device, on); }, kConnectLimit);
    }));
    // Connect and Disconnect return at once; Connecting reads true until the
    // driver thread has done the work, then answers a failed connect with
    // its reason.
    for (bool on : {true, false})
        table[on ? "put connect" : "put disconnect"] = free(PutMember({}, [&c, device, on](const Args&) {
            {
                std::lock_guard<std::mutex> lock(c.rig.Lock());
                c.rig.State().connecting = true;
                c.rig.State().connectError.clear();
            }
            Rig& rig = c.rig;
            c.driver.Post([&rig, device, on]() {
                Connect(rig, device, on);
                std::lock_guard<std::mutex> lock(rig.Lock());
                rig.State().connecting = false;
                return Reply::Done();
            });
            return Reply::Done();
        }));
    table["get connecting"] = free(GetMember(false, [=]() {
        return locked([=](Status& s) {
            if (!s.connecting && !ConnectedFlag(s, device) && !s.connectError.empty())
                return Reply::Error(kDriverError, s.connectError);
            return Reply::Value(s.connecting);
        });
    }));
    table["get description"] = free(GetMember("", [=]() {
        return Reply::Value(locked([=](Status& s) {
            std::string what = device == Device::Camera ? " cooled CCD camera" : " internal filter wheel";
            return (s.facts.name.empty() ? std::string("r6odi") : s.facts.name) + what;
        }));
    }));
    table["get driverinfo"] = free(GetMember("", []() { return Reply::Value(kDriverInfo); }));
    table["get driverversion"] = free(GetMember("", []() { return Reply::Value("1.0"); }));
    table["get interfaceversion"] =
        free(GetMember(0, [device]() { return Reply::Value(device == Device::Camera ? 4 : 3); }));
    table["get name"] = free(GetMember("", [=]() {
        return Reply::Value(locked([=](Status& s) { return DeviceName(s, device); }));
    }));
    table["get supportedactions"] =
        free(GetMember(nlohmann::json::array(), []() { return Reply::Value(nlohmann::json::array()); }));
    AddNotImplemented(table, "put action", "this device has no actions",
                      {{"Action", ParamType::String}, {"Parameters", ParamType::String}});
    for (const char* command : {"put commandblind", "put commandbool", "put commandstring"})
        AddNotImplemented(table, command, "the camera takes no raw commands",
                          {{"Command", ParamType::String}, {"Raw", ParamType::Bool}});
}

} // namespace alpaca
