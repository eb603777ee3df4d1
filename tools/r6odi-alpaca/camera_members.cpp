// The Camera device (ICameraV4): every member, mapped onto the driver or
// answered NotImplemented where the cameras lack the capability.
#include <chrono>
#include <cmath>
#include "member.h"
#include "utc_text.h"

namespace alpaca {
namespace {

constexpr int kMaxBin = 4;
constexpr double kExposureMax = 3600.0;  // s, what the driver's millisecond timer is trusted with
constexpr double kExposureMin = 0.001;   // s, the driver's resolution
constexpr double kSetPointLowest = -50.0;
constexpr double kSetPointHighest = 40.0;
// StartExposure waits this long for the driver to have started: a filter
// move or a readout of the frame before may still occupy it.
constexpr std::chrono::milliseconds kStartLimit(10000);

// Where the plan does not fit the binned sensor: the first reason, or "".
std::string PlanProblem(const ExposurePlan& p, const r6host::CameraFacts& facts)
{
    int width = facts.sensorWidth / p.binX;
    int height = facts.sensorHeight / p.binY;
    auto range = [](const char* what, int value, int low, int high) {
        return std::string(what) + " " + std::to_string(value) + " is outside " + std::to_string(low) + ".." +
               std::to_string(high);
    };
    if (p.numX < 1 || p.numX > width)
        return range("NumX", p.numX, 1, width) + " at binning " + std::to_string(p.binX);
    if (p.numY < 1 || p.numY > height)
        return range("NumY", p.numY, 1, height) + " at binning " + std::to_string(p.binY);
    if (p.startX < 0 || p.startX + p.numX > width)
        return range("StartX", p.startX, 0, width - p.numX) + " for NumX " + std::to_string(p.numX);
    if (p.startY < 0 || p.startY + p.numY > height)
        return range("StartY", p.startY, 0, height - p.numY) + " for NumY " + std::to_string(p.numY);
    return std::string();
}

Reply StartExposure(Context& c, double seconds, bool light)
{
    ExposurePlan plan;
    {
        std::lock_guard<std::mutex> lock(c.rig.Lock());
        Status& s = c.rig.State();
        if (s.state == kWaiting || s.state == kExposing || s.state == kReading)
            return Reply::Error(kInvalidOperation, "an exposure is already running: wait for it or abort it");
        if (seconds < 0.0 || seconds > kExposureMax || (light && seconds < kExposureMin))
            return Reply::Error(kInvalidValue, "Duration " + std::to_string(seconds) + " s is outside " +
                                                   (light ? "0.001" : "0") + "..3600 s");
        std::string problem = PlanProblem(s.plan, s.facts);
        if (!problem.empty())
            return Reply::Error(kInvalidValue, problem);
        plan = s.plan;
        plan.seconds = seconds;
        plan.light = light;
        s.state = kWaiting;
        s.imageReady = false;
        s.image.reset();
        s.exposureError.clear();
    }
    Rig& rig = c.rig;
    return c.driver.Call([&rig, plan]() { return rig.StartExposure(plan); }, kStartLimit);
}

// The binning setters check only the factor itself; the subframe is
// checked against it at StartExposure, so the order of the setters is free.
Member BinSetter(Context& c, const char* name, int ExposurePlan::*field)
{
    return PutMember({{name, ParamType::Int}}, [&c, name, field](const Args& a) {
        int value = a.at(name).get<int>();
        if (value < 1 || value > kMaxBin)
            return Reply::Error(kInvalidValue, std::string(name) + " " + std::to_string(value) + " is outside 1..4");
        std::lock_guard<std::mutex> lock(c.rig.Lock());
        c.rig.State().plan.*field = value;
        return Reply::Done();
    });
}

// StartX, StartY, NumX and NumY take any value: the standard has them
// checked at StartExposure, and clients set them in any order.
Member FrameSetter(Context& c, const char* name, int ExposurePlan::*field)
{
    return PutMember({{name, ParamType::Int}}, [&c, name, field](const Args& a) {
        std::lock_guard<std::mutex> lock(c.rig.Lock());
        c.rig.State().plan.*field = a.at(name).get<int>();
        return Reply::Done();
    });
}

void AddSettings(MemberTable& t, Context& c)
{
    auto locked = [&c](auto read) { return Locked(c, read); };
    struct Field {
        const char* member;
        const char* param;
        int ExposurePlan::*field;
        bool bin;
    };
    for (const Field& f : {Field{"binx", "BinX", &ExposurePlan::binX, true},
                           Field{"biny", "BinY", &ExposurePlan::binY, true},
                           Field{"startx", "StartX", &ExposurePlan::startX, false},
                           Field{"starty", "StartY", &ExposurePlan::startY, false},
                           Field{"numx", "NumX", &ExposurePlan::numX, false},
                           Field{"numy", "NumY", &ExposurePlan::numY, false}}) {
        int ExposurePlan::*field = f.field;
        t[std::string("get ") + f.member] =
            GetMember(0, locked([field](Status& s) { return Reply::Value(s.plan.*field); }));
        t[std::string("put ") + f.member] = f.bin ? BinSetter(c, f.param, field) : FrameSetter(c, f.param, field);
    }
    t["get readoutmode"] = GetMember(0, locked([](Status& s) { return Reply::Value(s.plan.readoutMode); }));
    t["put readoutmode"] = PutMember({{"ReadoutMode", ParamType::Int}}, [&c](const Args& a) {
        int mode = a.at("ReadoutMode").get<int>();
        std::lock_guard<std::mutex> lock(c.rig.Lock());
        Status& s = c.rig.State();
        if (mode < 0 || mode >= (int)s.readoutModes.size())
            return Reply::Error(kInvalidValue, "ReadoutMode " + std::to_string(mode) + " is outside 0.." +
                                                   std::to_string((int)s.readoutModes.size() - 1));
        s.plan.readoutMode = mode;
        return Reply::Done();
    });
    t["get readoutmodes"] =
        GetMember(nlohmann::json::array(), locked([](Status& s) { return Reply::Value(s.readoutModes); }));
}

void AddExposure(MemberTable& t, Context& c)
{
    auto locked = [&c](auto read) { return Locked(c, read); };
    t["put startexposure"] = PutMember({{"Duration", ParamType::Double}, {"Light", ParamType::Bool}},
                                       [&c](const Args& a) {
                                           return StartExposure(c, a.at("Duration").get<double>(),
                                                                a.at("Light").get<bool>());
                                       });
    // Stop ends the integration now and the frame is still read; Abort
    // throws the exposure away. Both are harmless when nothing runs; a
    // readout under way can be neither stopped nor aborted.
    for (bool stop : {true, false})
        t[stop ? "put stopexposure" : "put abortexposure"] = PutMember({}, [&c, stop](const Args&) {
            {
                std::lock_guard<std::mutex> lock(c.rig.Lock());
                if (c.rig.State().state == kReading)
                    return Reply::Error(kInvalidOperation, "the frame is being read out; it cannot be " +
                                                               std::string(stop ? "stopped" : "aborted"));
            }
            Rig& rig = c.rig;
            return c.driver.Call(
                [&rig, stop]() {
                    stop ? rig.StopExposure() : rig.AbortExposure();
                    return Reply::Done();
                },
                kStartLimit);
        });
    t["get camerastate"] = GetMember(0, locked([](Status& s) { return Reply::Value((int)s.state); }));
    t["get imageready"] = GetMember(false, locked([](Status& s) {
        if (s.state == kError)
            return Reply::Error(kDriverError, s.exposureError);
        return Reply::Value(s.imageReady);
    }));
    t["get percentcompleted"] = GetMember(0, locked([](Status& s) {
        // Idle: 100 with a frame ready, else 0; a value rather than
        // InvalidOperation, which conformance checkers count against a
        // camera (see docs/alpaca.md).
        if (s.state == kIdle || s.state == kError)
            return Reply::Value(s.imageReady ? 100 : 0);
        return Reply::Value(s.percent);
    }));
    t["get lastexposureduration"] = GetMember(0.0, locked([](Status& s) {
        if (!s.hasLastExposure)
            return Reply::Error(kInvalidOperation, "no exposure has been taken yet");
        return Reply::Value(s.lastSeconds);
    }));
    t["get lastexposurestarttime"] = GetMember("", locked([](Status& s) {
        if (!s.hasLastExposure)
            return Reply::Error(kInvalidOperation, "no exposure has been taken yet");
        return Reply::Value(r6host::UtcText(s.lastStartWallMs));
    }));
    for (const char* name : {"imagearray", "imagearrayvariant"}) {
        Member image;
        image.runImage = [&c](std::shared_ptr<const Image>* out) {
            std::lock_guard<std::mutex> lock(c.rig.Lock());
            Status& s = c.rig.State();
            if (!s.imageReady || !s.image)
                return Reply::Error(kInvalidOperation, "there is no image: take an exposure first");
            *out = s.image;
            return Reply::Done();
        };
        t[std::string("get ") + name] = image;
    }
}

void AddCooling(MemberTable& t, Context& c)
{
    auto locked = [&c](auto read) { return Locked(c, read); };
    auto apply = [&c]() {
        Rig& rig = c.rig;
        c.driver.Post([&rig]() {
            rig.ApplyCooling();
            return Reply::Done();
        });
        return Reply::Done();
    };
    t["get ccdtemperature"] = GetMember(0.0, locked([](Status& s) {
        if (!s.hasReading)
            return Reply::Error(kInvalidOperation, "the camera has not reported its temperature yet");
        return Reply::Value(s.ccdCelsius);
    }));
    t["get coolerpower"] = GetMember(0.0, locked([](Status& s) { return Reply::Value((double)s.coolerPercent); }));
    t["get cooleron"] = GetMember(false, locked([](Status& s) { return Reply::Value(s.coolerOn); }));
    t["put cooleron"] = PutMember({{"CoolerOn", ParamType::Bool}}, [&c, apply](const Args& a) {
        {
            std::lock_guard<std::mutex> lock(c.rig.Lock());
            Status& s = c.rig.State();
            s.coolerOn = a.at("CoolerOn").get<bool>();
            // Switched on before any set point: it holds where the sensor is.
            if (s.coolerOn && !s.hasSetPoint && s.hasReading) {
                s.hasSetPoint = true;
                s.setPoint = s.ccdCelsius;
            }
        }
        return apply();
    });
    t["get setccdtemperature"] = GetMember(0.0, locked([](Status& s) {
        // Before a set point is given, the one the regulation would hold.
        return Reply::Value(s.hasSetPoint ? s.setPoint : s.hasReading ? s.ccdCelsius : 0.0);
    }));
    t["put setccdtemperature"] = PutMember({{"SetCCDTemperature", ParamType::Double}}, [&c, apply](const Args& a) {
        double celsius = a.at("SetCCDTemperature").get<double>();
        if (celsius < kSetPointLowest || celsius > kSetPointHighest)
            return Reply::Error(kInvalidValue,
                                "SetCCDTemperature " + std::to_string(celsius) + " is outside -50..40 C");
        {
            std::lock_guard<std::mutex> lock(c.rig.Lock());
            c.rig.State().hasSetPoint = true;
            c.rig.State().setPoint = celsius;
        }
        return apply();
    });
}

void AddFacts(MemberTable& t, Context& c)
{
    auto locked = [&c](auto read) { return Locked(c, read); };
    t["get cameraxsize"] = GetMember(0, locked([](Status& s) { return Reply::Value(s.facts.sensorWidth); }));
    t["get cameraysize"] = GetMember(0, locked([](Status& s) { return Reply::Value(s.facts.sensorHeight); }));
    t["get maxadu"] = GetMember(0, locked([](Status& s) { return Reply::Value(s.sensor.maxAdu); }));
    t["get sensorname"] = GetMember("", locked([](Status& s) { return Reply::Value(s.sensor.sensorName); }));
    t["get sensortype"] = GetMember(0, []() { return Reply::Value(0); });
    for (const char* name : {"get pixelsizex", "get pixelsizey"})
        t[name] = GetMember(0.0, locked([](Status& s) {
            if (s.sensor.pixelMicrons <= 0.0)
                return Reply::Error(kNotImplemented, "the pixel size of this camera is not known: give --pixel-size");
            return Reply::Value(s.sensor.pixelMicrons);
        }));
    for (const char* name : {"get maxbinx", "get maxbiny"})
        t[name] = GetMember(0, []() { return Reply::Value(kMaxBin); });
    t["get exposuremax"] = GetMember(0.0, []() { return Reply::Value(kExposureMax); });
    t["get exposuremin"] = GetMember(0.0, []() { return Reply::Value(kExposureMin); });
    t["get exposureresolution"] = GetMember(0.0, []() { return Reply::Value(kExposureMin); });
    struct Flag {
        const char* name;
        bool value;
    };
    for (const Flag& f : {Flag{"canabortexposure", true}, Flag{"canasymmetricbin", true},
                          Flag{"canfastreadout", false}, Flag{"cangetcoolerpower", true},
                          Flag{"canpulseguide", false}, Flag{"cansetccdtemperature", true},
                          Flag{"canstopexposure", true}, Flag{"hasshutter", true}, Flag{"ispulseguiding", false}}) {
        bool value = f.value;
        t[std::string("get ") + f.name] = GetMember(false, [value]() { return Reply::Value(value); });
    }
}

void AddAbsent(MemberTable& t)
{
    const std::string mono = "the sensor is monochrome";
    AddNotImplemented(t, "get bayeroffsetx", mono);
    AddNotImplemented(t, "get bayeroffsety", mono);
    for (const char* family : {"gain", "offset"}) {
        std::string why = std::string("the cameras have no adjustable ") + family;
        std::string f = family;
        for (const char* suffix : {"", "min", "max", "s"})
            AddNotImplemented(t, "get " + f + suffix, why);
        AddNotImplemented(t, "put " + f, why, {{family[0] == 'g' ? "Gain" : "Offset", ParamType::Int}});
    }
    AddNotImplemented(t, "get fastreadout", "the read speeds are the readout modes");
    AddNotImplemented(t, "put fastreadout", "the read speeds are the readout modes", {{"FastReadout", ParamType::Bool}});
    AddNotImplemented(t, "put pulseguide", "the cameras have no guide port",
                      {{"Direction", ParamType::Int}, {"Duration", ParamType::Int}});
    for (const char* name : {"get electronsperadu", "get fullwellcapacity"})
        AddNotImplemented(t, name, "the cameras do not report it");
    AddNotImplemented(t, "get heatsinktemperature", "the driver reports no heat-sink temperature");
    AddNotImplemented(t, "get subexposureduration", "the cameras take no sub-exposures");
    AddNotImplemented(t, "put subexposureduration", "the cameras take no sub-exposures",
                      {{"SubExposureDuration", ParamType::Double}});
}

} // namespace

MemberTable CameraMembers(Context& c)
{
    MemberTable t;
    AddCommonMembers(t, c, Device::Camera);
    AddSettings(t, c);
    AddExposure(t, c);
    AddCooling(t, c);
    AddFacts(t, c);
    AddAbsent(t);
    t["get devicestate"] = GetMember(nlohmann::json::array(), [&c]() {
        std::lock_guard<std::mutex> lock(c.rig.Lock());
        const Status& s = c.rig.State();
        auto item = [](const char* name, nlohmann::json value) {
            return nlohmann::json{{"Name", name}, {"Value", std::move(value)}};
        };
        nlohmann::json state = nlohmann::json::array();
        state.push_back(item("CameraState", (int)s.state));
        if (s.hasReading)
            state.push_back(item("CCDTemperature", s.ccdCelsius));
        state.push_back(item("CoolerPower", (double)s.coolerPercent));
        if (s.state != kError)
            state.push_back(item("ImageReady", s.imageReady));
        state.push_back(item("IsPulseGuiding", false));
        state.push_back(item("PercentCompleted", s.state == kIdle ? (s.imageReady ? 100 : 0) : s.percent));
        double now = (double)std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
        state.push_back(item("TimeStamp", r6host::UtcText(now) + "Z"));
        return Reply::Value(state);
    });
    return t;
}

} // namespace alpaca
