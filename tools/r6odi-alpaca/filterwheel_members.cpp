// The FilterWheel device (IFilterWheelV3): the camera's internal wheel.
// A move runs on the driver thread while Position reads -1, so the PUT
// returns at once as Platform 7 clients expect.
#include "member.h"

namespace alpaca {

MemberTable FilterWheelMembers(Context& c)
{
    MemberTable t;
    AddCommonMembers(t, c, Device::FilterWheel);
    t["get names"] = GetMember(nlohmann::json::array(), Locked(c, [](Status& s) {
        return Reply::Value(s.filterNames);
    }));
    t["get focusoffsets"] = GetMember(nlohmann::json::array(), Locked(c, [](Status& s) {
        // The driver knows no focus offsets: zero for every position.
        return Reply::Value(std::vector<int>(s.filterNames.size(), 0));
    }));
    t["get position"] = GetMember(-1, Locked(c, [](Status& s) {
        if (!s.moveError.empty())
            return Reply::Error(kDriverError, s.moveError);
        return Reply::Value(s.position);
    }));
    t["put position"] = PutMember({{"Position", ParamType::Int}}, [&c](const Args& a) {
        int position = a.at("Position").get<int>();
        {
            std::lock_guard<std::mutex> lock(c.rig.Lock());
            Status& s = c.rig.State();
            int count = (int)s.filterNames.size();
            if (position < 0 || position >= count)
                return Reply::Error(kInvalidValue, "Position " + std::to_string(position) + " is outside 0.." +
                                                       std::to_string(count - 1));
            if (s.position == -1)
                return Reply::Error(kInvalidOperation, "the wheel is still moving to the last position asked");
            s.position = -1;
            s.moveError.clear();
        }
        Rig& rig = c.rig;
        c.driver.Post([&rig, position]() {
            rig.MoveFilter(position);
            return Reply::Done();
        });
        return Reply::Done();
    });
    t["get devicestate"] = GetMember(nlohmann::json::array(), Locked(c, [](Status& s) {
        nlohmann::json state = nlohmann::json::array();
        if (s.moveError.empty())
            state.push_back({{"Name", "Position"}, {"Value", s.position}});
        return Reply::Value(state);
    }));
    return t;
}

} // namespace alpaca
