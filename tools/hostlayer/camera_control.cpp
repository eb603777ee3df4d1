#include "camera_control.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace r6host {
namespace {

// Unplugs in one frame after which the host gives up: a cable that keeps
// dropping out is a fault to mend, not to wait out.
constexpr int kMostUnplugs = 5;
// Retakes of a frame whose readout failed while the camera stayed.
constexpr int kMostRetakes = 2;
// Rounds of message dispatching that a removal notice gets to arrive in
// before a failure counts as the camera's own.
constexpr int kRemovalPumps = 5;
// How long past its end an exposure may still be reported running.
constexpr uint64_t kExposureGraceMs = 120000;

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...)
{
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    return text;
}

// A percentage as the driver's 1/100000 units.
int Units(double percent)
{
    return (int)std::lround(percent * 1000.0);
}

std::string Text(INT_PTR pointer)
{
    const char* text = reinterpret_cast<const char*>(pointer);
    return text != nullptr ? std::string(text) : std::string();
}

// The frame that d_Subframe makes of a window: its origin in the binned
// sensor (from the top row) and its size, for checking what was set.
struct Placement {
    int originX = 0;
    int originY = 0;
    int width = 0;
    int height = 0;
};

Placement PlaceFrame(const CameraFacts& facts, int binX, int binY, const Subframe& s)
{
    long long binnedWidth = facts.sensorWidth / binX;
    long long binnedHeight = facts.sensorHeight / binY;
    long long x = Units(s.x) * binnedWidth / 100000;
    long long w = Units(s.width) * binnedWidth / 100000;
    long long h = Units(s.height) * binnedHeight / 100000;
    long long y = binnedHeight - h - Units(s.y) * binnedHeight / 100000;
    if (x >= binnedWidth)
        x = binnedWidth - 1;
    if (y >= binnedHeight)
        y = binnedHeight - 1;
    if (x + w > binnedWidth)
        w = binnedWidth - x;
    return Placement{(int)x, (int)y, (int)w, (int)h};
}

// The factor along one axis that gives `received` pixels: the asked one
// first, then none, then any other the camera could have fallen back to.
int FactorReceived(int asked, int received, const std::function<int(int)>& sizeAt)
{
    if (sizeAt(asked) == received)
        return asked;
    for (int factor = 1; factor <= 16; ++factor)
        if (sizeAt(factor) == received)
            return factor;
    return 0;
}

std::string Clock(double seconds)
{
    int whole = (int)seconds;
    return Format("%d:%02d", whole / 60, whole % 60);
}

std::string FrameLabel(const ExposureRequest& r, const std::string& binning)
{
    std::string filter = r.filterName.empty() ? std::string() : " " + r.filterName;
    return Format("Frame %d/%d %s%s %s %.1f s", r.frameNumber, r.frameCount, KindName(KindOf(r)),
                  filter.c_str(), binning.c_str(), r.seconds);
}

} // namespace

FrameKind KindOf(const ExposureRequest& request)
{
    if (request.kind == FrameKind::Bias || request.kind == FrameKind::Flat)
        return request.kind;
    return request.light ? FrameKind::Light : FrameKind::Dark;
}

const char* KindName(FrameKind kind)
{
    switch (kind) {
    case FrameKind::Dark:
        return "dark";
    case FrameKind::Bias:
        return "bias";
    case FrameKind::Flat:
        return "flat";
    case FrameKind::Light:
        break;
    }
    return "light";
}

void BinningFactors(const std::string& name, int* binX, int* binY)
{
    int h = 0;
    int v = 0;
    if (std::sscanf(name.c_str(), "%d x %d", &h, &v) == 2 && h > 0 && v > 0) {
        *binX = h;
        *binY = v;
        return;
    }
    *binX = 1;
    *binY = 1;
}

int CoolerPercent(const std::string& infoText)
{
    size_t percent = infoText.rfind('%');
    if (percent == std::string::npos)
        return -1;
    size_t start = infoText.rfind(' ', percent);
    start = start == std::string::npos ? 0 : start + 1;
    std::string digits = infoText.substr(start, percent - start);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    return std::atoi(digits.c_str());
}

bool CameraControl::Connect(const SetupValues& values, std::string* error)
{
    values_ = values;
    ApplySetup(api_, values);
    if (!api_.GetOK()) {
        *error = values.cameraId == -1
                     ? "no camera found: none is attached, or each one is in use by another program"
                     : "no camera with id " + std::to_string(values.cameraId) +
                           " is attached (or it is in use by another program); 'list' shows the ids";
        return false;
    }
    facts_ = CameraFacts();
    facts_.name = Text(api_.GetName());
    facts_.sensorWidth = api_.GetWidth(0);
    facts_.sensorHeight = api_.GetHeight(0);
    facts_.filterPositions = (int)api_.FilterWheel(0, 0);
    if (facts_.filterPositions > 0)
        facts_.wheelName = Text(api_.FilterWheel(1, 0));
    int codes = api_.BinningCount();
    for (int code = 0; code < codes; ++code)
        facts_.binningNames.push_back(Text(api_.BinningName(code)));
    return true;
}

CoolingReading CameraControl::Reading() const
{
    CoolingReading reading;
    if (!api_.GetOK())
        return reading;
    // The driver answers -274 C when it has no reading: no real sensor
    // is below absolute zero.
    double celsius = api_.GetTemperature() / 1000.0;
    if (celsius < -273.15)
        return reading;
    reading.valid = true;
    reading.celsius = celsius;
    reading.coolerPercent = CoolerPercent(Text(api_.GetInfo()));
    return reading;
}

std::string CameraControl::StatusText() const
{
    return Text(api_.GetInfo());
}

bool CameraControl::StillConnected()
{
    // A removal reaches the driver as a window message: before a failure is
    // taken for the camera's own, the messages already waiting are let in.
    for (int i = 0; i < kRemovalPumps && api_.GetOK(); ++i)
        IdleAndReport();
    return api_.GetOK() != 0;
}

void CameraControl::IdleAndReport()
{
    Idle();
    std::string news = TakeWorldNews();
    if (!news.empty())
        progress_->Line(news);
}

bool CameraControl::Cool(double target, double tolerance, double limitSeconds, std::string* error)
{
    return Cool(CoolingGoal{target, tolerance, 0.0, limitSeconds}, error);
}

bool CameraControl::Cool(const CoolingGoal& goal, std::string* error)
{
    uint64_t start = ClockMs();
    uint64_t lastRead = 0;
    uint64_t inBandSince = 0;
    bool inBand = false;
    bool first = true;
    CoolingReading reading;
    for (;;) {
        uint64_t now = ClockMs();
        double elapsed = (double)(now - start) / 1000.0;
        if (first || now - lastRead >= 1000) {
            first = false;
            lastRead = now;
            reading = Reading();
            bool within = reading.valid && std::fabs(reading.celsius - goal.target) <= goal.tolerance;
            if (within && !inBand)
                inBandSince = now;
            inBand = within;
            double steady = inBand ? (double)(now - inBandSince) / 1000.0 : 0.0;
            if (inBand && steady >= goal.settleSeconds) {
                holdsTemperature_ = true;
                goal_ = goal;
                progress_->Line(Format("Cooled: CCD %.2f °C, set %.1f °C, cooler %d%% after %s", reading.celsius,
                                       goal.target, reading.coolerPercent, Clock(elapsed).c_str()));
                return true;
            }
            // One log line a minute; the terminal line follows every reading.
            std::string power = reading.coolerPercent >= 0 ? std::to_string(reading.coolerPercent) + "%" : "-";
            std::string text =
                !reading.valid ? Format("Cooling: no temperature reading  %s", Clock(elapsed).c_str())
                : inBand ? Format("Settling: CCD %6.2f °C  set %.1f °C  cooler %4s  steady %s of %s", reading.celsius,
                                  goal.target, power.c_str(), Clock(steady).c_str(), Clock(goal.settleSeconds).c_str())
                         : Format("Cooling: CCD %6.2f °C  set %.1f °C  cooler %4s  %s", reading.celsius, goal.target,
                                  power.c_str(), Clock(elapsed).c_str());
            progress_->Show((inBand ? "settle " : "cool ") + std::to_string((int)(elapsed / 60.0)), text);
        }
        if (elapsed > goal.limitSeconds) {
            *error = !reading.valid ? Format("no temperature reading within %.0f s", goal.limitSeconds)
                     : inBand ? Format("the sensor did not stay within %.2f °C of %.1f °C for %.0f s within %.0f s",
                                       goal.tolerance, goal.target, goal.settleSeconds, goal.limitSeconds)
                              : Format("the sensor did not reach %.1f °C within %.0f s: it stands at %.2f °C",
                                       goal.target, goal.limitSeconds, reading.celsius);
            return false;
        }
        IdleAndReport();
    }
}

bool CameraControl::KeepTemperature(std::string* error)
{
    if (!holdsTemperature_)
        return true;
    CoolingReading reading = Reading();
    if (reading.valid && std::fabs(reading.celsius - goal_.target) <= goal_.tolerance)
        return true;
    progress_->Line(reading.valid ? Format("The sensor left the band: CCD %.2f °C, set %.1f °C; waiting for it",
                                           reading.celsius, goal_.target)
                                  : std::string("No temperature reading: waiting for one"));
    return Cool(goal_, error);
}

bool CameraControl::SelectFrame(const ExposureRequest& request, Frame* frame, std::string* error)
{
    const std::string name = (size_t)request.binningCode < facts_.binningNames.size()
                                 ? facts_.binningNames[(size_t)request.binningCode]
                                 : std::string("1 x 1");
    int binX, binY;
    BinningFactors(name, &binX, &binY);
    const Subframe& s = request.subframe;
    api_.Subframe(Units(s.x), Units(s.y), Units(s.width), Units(s.height), request.binningCode);
    int width = api_.GetWidth(0);
    int height = api_.GetHeight(0);
    if (width <= 0 || height <= 0) {
        *error = "the subframe holds no pixel at binning " + name;
        return false;
    }
    // A camera may turn down one factor and keep the other: each axis is
    // checked against what came back, and the frame is described as taken.
    int gotX = FactorReceived(binX, width, [&](int f) { return PlaceFrame(facts_, f, binY, s).width; });
    int gotY = FactorReceived(binY, height, [&](int f) { return PlaceFrame(facts_, binX, f, s).height; });
    if (gotX == 0 || gotY == 0) {
        *error = Format("the camera sent %d x %d pixels, which no binning of the window gives (asked: %s, code %d)",
                        width, height, name.c_str(), request.binningCode);
        return false;
    }
    if (gotX != binX || gotY != binY)
        progress_->Line(Format("Frame %d/%d: the camera took binning %d x %d, not %s (code %d); the file says what "
                               "it took",
                               request.frameNumber, request.frameCount, gotX, gotY, name.c_str(),
                               request.binningCode));
    Placement placed = PlaceFrame(facts_, gotX, gotY, s);
    frame->width = width;
    frame->height = height;
    frame->pixels.assign((size_t)width * (size_t)height, 0);
    frame->info.binX = gotX;
    frame->info.binY = gotY;
    frame->info.originX = placed.originX;
    frame->info.originY = placed.originY;
    frame->info.sensorRows = facts_.sensorHeight / gotY;
    return true;
}

CameraControl::Attempt CameraControl::TryExpose(const ExposureRequest& request, Frame* frame,
                                                 std::string* error)
{
    if (!api_.GetOK())
        return Attempt::Unplugged;
    if (request.filter > 0 && api_.FilterWheel(4, request.filter) == 0) {
        if (!StillConnected())
            return Attempt::Unplugged;
        *error = "the filter wheel did not take position " + std::to_string(request.filter);
        return Attempt::Refused;
    }
    if (!SelectFrame(request, frame, error))
        return StillConnected() ? Attempt::Refused : Attempt::Unplugged;
    const std::string binning = Format("%dx%d", frame->info.binX, frame->info.binY);
    const std::string label = FrameLabel(request, binning);

    FrameInfo& info = frame->info;
    info.exposureSeconds = request.seconds;
    info.light = request.light;
    info.kind = KindOf(request);
    info.filter = request.filterName;
    info.instrument = facts_.name;
    info.hasSetTemperature = values_.hasSetTemperature;
    info.setTemperature = values_.setTemperature;
    CoolingReading atStart = Reading();
    info.hasCcdTemperature = atStart.valid;
    info.ccdTemperature = atStart.celsius;

    uint32_t ms = (uint32_t)std::lround(request.seconds * 1000.0);
    uint64_t start = ClockMs();
    info.startWallMs = WallMsAt(start);
    api_.StartExposure(ms, request.light ? 1 : 0);
    ExposureBegun(request.frameNumber, ms);
    while (api_.IsExposing()) {
        if (!api_.GetOK()) {
            api_.InterruptExposure();
            return Attempt::Unplugged;
        }
        uint64_t now = ClockMs();
        if (now - start > ms + kExposureGraceMs) {
            api_.InterruptExposure();
            *error = "the exposure did not end " + std::to_string(kExposureGraceMs / 1000) + " s after its time";
            return Attempt::Failed;
        }
        double left = std::max(0.0, (double)ms - (double)(now - start)) / 1000.0;
        progress_->Show(label + " expose", Format("%s: exposing, %.1f s left", label.c_str(), left));
        IdleAndReport();
    }
    CoolingReading atEnd = Reading();
    info.hasEndTemperature = atEnd.valid;
    info.endTemperature = atEnd.celsius;
    api_.StartDownload();
    progress_->Show(label + " read", Format("%s: reading out %d x %d", label.c_str(), frame->width, frame->height));
    bool read = api_.ReadImage(frame->pixels.data()) != 0;
    api_.EndDownload(0);
    if (!read && !StillConnected())
        return Attempt::Unplugged;
    if (!api_.GetOK())
        return Attempt::Unplugged;
    if (!read) {
        *error = "the readout failed";
        return Attempt::Failed;
    }
    return Attempt::Done;
}

bool CameraControl::AwaitReconnect(const ExposureRequest& request, std::string* error)
{
    progress_->Line(Format("Camera disconnected during frame %d/%d: waiting up to %.0f s for it to come back",
                           request.frameNumber, request.frameCount, reconnectLimit_));
    uint64_t start = ClockMs();
    for (;;) {
        double waited = (double)(ClockMs() - start) / 1000.0;
        if (api_.GetOK()) {
            // The driver reconnected on its own; a setup run sends the read
            // mode, window heating and preflash again, as a camera that
            // lost power has forgotten them.
            api_.SetupCCD(1);
            if (api_.GetOK()) {
                progress_->Line(Format("Camera back after %.1f s: retaking frame %d/%d", waited, request.frameNumber,
                                       request.frameCount));
                return !holdsTemperature_ || Cool(goal_, error);
            }
        }
        if (waited > reconnectLimit_) {
            *error = Format("the camera did not come back within %.0f s", reconnectLimit_);
            return false;
        }
        progress_->Show("reconnect", Format("Waiting for the camera: %s", Clock(waited).c_str()));
        IdleAndReport();
    }
}

bool CameraControl::Expose(const ExposureRequest& request, Frame* frame, std::string* error)
{
    int unplugs = 0;
    int retakes = 0;
    for (;;) {
        std::string reason;
        Attempt attempt = TryExpose(request, frame, &reason);
        if (attempt == Attempt::Done)
            return true;
        if (attempt == Attempt::Refused) {
            *error = Format("frame %d/%d: %s", request.frameNumber, request.frameCount, reason.c_str());
            return false;
        }
        if (attempt == Attempt::Failed) {
            if (++retakes > kMostRetakes) {
                *error = Format("frame %d/%d: %s", request.frameNumber, request.frameCount, reason.c_str());
                return false;
            }
            progress_->Line(Format("Frame %d/%d: %s; taking it again", request.frameNumber, request.frameCount,
                                   reason.c_str()));
            continue;
        }
        if (++unplugs > kMostUnplugs) {
            *error = Format("frame %d/%d: the camera was lost %d times", request.frameNumber, request.frameCount,
                            kMostUnplugs);
            return false;
        }
        if (!AwaitReconnect(request, error))
            return false;
    }
}

} // namespace r6host
