#include "commands.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <sstream>

#include "fits_file.h"
#include "png_preview.h"

namespace capture {
namespace {

typedef std::function<int(CameraControl&, Progress&)> CameraWork;

int Fail(const std::string& message, int code = kExitFailure)
{
    std::fflush(stdout);
    std::fprintf(stderr, "r6odi-capture: %s\n", message.c_str());
    return code;
}

std::string Degrees(std::string text)
{
    // The driver's status text carries the degree sign as the single
    // Latin-1 byte 0xB0; the terminal wants UTF-8.
    std::string out;
    for (char c : text)
        out += (unsigned char)c == 0xB0 ? std::string("\xC2\xB0") : std::string(1, c);
    return out;
}

std::vector<std::string> SplitNames(const std::string& text)
{
    std::vector<std::string> names;
    std::string name;
    std::istringstream in(text);
    while (std::getline(in, name, ','))
        names.push_back(name);
    return names;
}

// The setup values reach the driver only where the host can see its
// working copy; elsewhere they are the dialog's to set.
int RefuseUnreachableSetup(const Options& o)
{
    if (SetupValuesReachable() || o.setupOptionsGiven == 0 || o.world.showDialog)
        return 0;
    return Fail("this build cannot hand --camera, --read-mode, --window-heating, --preflash, --clears or "
                "--max-step to the driver: set them in the driver's own setup dialog with --dialog",
                kExitArguments);
}

std::string CameraMissing(const DriverApi& api, const std::string& reason)
{
    std::vector<CameraEntry> cameras;
    if (!ListCameras(api, &cameras) || cameras.empty())
        return reason;
    std::string ids;
    for (const CameraEntry& camera : cameras)
        ids += (ids.empty() ? "" : ", ") + std::to_string(camera.id);
    return reason + "; the driver offers " + ids;
}

int WithCamera(Options& o, const CameraWork& work)
{
    if (int refused = RefuseUnreachableSetup(o))
        return refused;
    DriverApi api;
    std::string error;
    if (!StartWorld(o.world, &api, &error)) {
        std::string ignored;
        StopWorld(&ignored);
        return Fail(error);
    }
    Progress progress(stdout, o.progressOnTerminal);
    int code;
    {
        CameraControl control(api, &progress);
        control.SetReconnectLimit(o.reconnectWait);
        // A camera asked for by id that cannot be had is the argument's
        // fault; with no camera at all the machine is to blame.
        if (control.Connect(o.setup, &error))
            code = work(control, progress);
        else
            code = Fail(CameraMissing(api, error), o.setup.cameraId == -1 ? kExitFailure : kExitArguments);
    }
    api.Finalize();
    if (!StopWorld(&error))
        code = Fail(error);
    return code;
}

void PrintFacts(const CameraFacts& facts)
{
    std::printf("Camera:        %s\n", facts.name.c_str());
    std::printf("Sensor:        %d x %d pixels\n", facts.sensorWidth, facts.sensorHeight);
    if (facts.filterPositions > 0)
        std::printf("Filter wheel:  %s, %d positions\n", facts.wheelName.c_str(), facts.filterPositions);
    else
        std::printf("Filter wheel:  none\n");
    std::printf("Binning codes:");
    for (size_t code = 0; code < facts.binningNames.size(); ++code)
        std::printf("%s %zu = %s", code == 0 ? "" : ",", code, facts.binningNames[code].c_str());
    std::printf("\n");
}

// Every file the run would write must be new, unless the user allows
// replacing: a night's frames are not overwritten by a typo.
int RefuseExisting(const std::string& folder, const std::vector<PlannedFrame>& plan, bool overwrite)
{
    if (overwrite)
        return 0;
    for (const PlannedFrame& frame : plan) {
        std::filesystem::path path = std::filesystem::path(folder) / frame.fileName;
        std::error_code ignored;
        if (std::filesystem::exists(path, ignored))
            return Fail("'" + path.string() + "' exists already: choose another folder, or give --overwrite",
                        kExitArguments);
    }
    return 0;
}

struct HostCost {
    double statsMs = 0.0;
    double fitsMs = 0.0;
    int frames = 0;
};

double MillisecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

int TakeFrames(CameraControl& control, Progress& progress, const std::string& folder,
               const std::vector<PlannedFrame>& plan)
{
    std::vector<SummaryRow> rows;
    HostCost cost;
    for (const PlannedFrame& planned : plan) {
        Frame frame;
        std::string error;
        if (!control.Expose(planned.request, &frame, &error))
            return Fail(error);
        auto start = std::chrono::steady_clock::now();
        FrameStats stats = Measure(frame);
        cost.statsMs += MillisecondsSince(start);
        std::string path = (std::filesystem::path(folder) / planned.fileName).string();
        start = std::chrono::steady_clock::now();
        if (!WriteFits(path, frame, &error))
            return Fail(error);
        cost.fitsMs += MillisecondsSince(start);
        ++cost.frames;
        SummaryRow row{planned.fileName, frame.info.light, frame.info.exposureSeconds, frame.info.filter,
                       std::to_string(frame.info.binX) + "x" + std::to_string(frame.info.binY),
                       frame.info.ccdTemperature, stats};
        rows.push_back(row);
        char line[300];
        std::snprintf(line, sizeof line, "Frame %d/%d: wrote %s  %d x %d  CCD %.2f °C  mean %.1f  min %u  max %u",
                      planned.request.frameNumber, planned.request.frameCount, planned.fileName.c_str(), frame.width,
                      frame.height, frame.info.ccdTemperature, stats.mean, (unsigned)stats.minimum,
                      (unsigned)stats.maximum);
        progress.Line(line);
    }
    std::printf("\n%s", SummaryTable(rows).c_str());
    if (cost.frames > 0)
        std::printf("\n%d file(s) in %s; host time per frame: statistics %.1f ms, FITS write %.1f ms\n", cost.frames,
                    folder.c_str(), cost.statsMs / cost.frames, cost.fitsMs / cost.frames);
    return 0;
}

void UseTarget(Options& o)
{
    if (std::isnan(o.target))
        return;
    o.setup.hasSetTemperature = true;
    o.setup.setTemperature = o.target;
}

int CheckFilterOf(const CameraFacts& facts, int filter)
{
    if (filter <= 0)
        return 0;
    std::string problem = CheckFilter(filter, facts.filterPositions);
    return problem.empty() ? 0 : Fail(problem, kExitArguments);
}

} // namespace

int RunList(Options& o)
{
    DriverApi api;
    std::string error;
    if (!StartWorld(o.world, &api, &error)) {
        std::string ignored;
        StopWorld(&ignored);
        return Fail(error);
    }
    std::vector<CameraEntry> cameras;
    int code = 0;
    if (!ListCameras(api, &cameras)) {
        code = Fail("this build sees the driver's camera list only in its setup dialog: run 'info --dialog'");
    } else if (cameras.empty()) {
        code = Fail("no camera found: none is attached, or each one is in use by another program");
    } else {
        std::printf("%-8s %s\n", "Id", "Camera (as the setup dialog lists it)");
        for (const CameraEntry& camera : cameras)
            std::printf("%-8d %s\n", camera.id, camera.label.c_str());
    }
    api.Finalize();
    if (!StopWorld(&error))
        code = Fail(error);
    return code;
}

int RunInfo(Options& o)
{
    return WithCamera(o, [](CameraControl& control, Progress&) {
        PrintFacts(control.Facts());
        CoolingReading reading = control.Reading();
        std::printf("Temperature:   %.2f °C\n", reading.celsius);
        std::printf("Driver status: %s\n", Degrees(control.StatusText()).c_str());
        return 0;
    });
}

int RunCool(Options& o)
{
    UseTarget(o);
    return WithCamera(o, [&o](CameraControl& control, Progress& progress) {
        progress.Line("Cooling " + control.Facts().name + " to " + std::to_string((int)std::lround(o.target)) +
                      " °C");
        std::string error;
        return control.Cool(o.target, o.tolerance, o.coolLimit, &error) ? 0 : Fail(error);
    });
}

int RunExpose(Options& o)
{
    if (!o.subframeText.empty())
        ParseSubframe(o.subframeText, &o.exposure.subframe);
    std::string problem = PrepareFolder(o.folder);
    if (!problem.empty())
        return Fail(problem, kExitArguments);
    UseTarget(o);
    return WithCamera(o, [&o](CameraControl& control, Progress& progress) {
        const CameraFacts& facts = control.Facts();
        if (int refused = CheckFilterOf(facts, o.exposure.filter))
            return refused;
        std::vector<PlannedFrame> plan;
        ExposureRequest request = o.exposure;
        request.light = !o.dark;
        request.filterName = request.filter > 0 ? FilterName(request.filter, SplitNames(o.filterNamesText)) : "";
        request.frameCount = o.count;
        int binX = 1, binY = 1;
        if ((size_t)request.binningCode < facts.binningNames.size())
            BinningFactors(facts.binningNames[(size_t)request.binningCode], &binX, &binY);
        for (int i = 1; i <= o.count; ++i) {
            request.frameNumber = i;
            plan.push_back(PlannedFrame{
                request, FrameFileName(request, std::to_string(binX) + "x" + std::to_string(binY), i)});
        }
        if (int refused = RefuseExisting(o.folder, plan, o.overwrite))
            return refused;
        return TakeFrames(control, progress, o.folder, plan);
    });
}

int RunSession(Options& o)
{
    if (std::isnan(o.target))
        o.target = -10.0;
    if (o.folder == ".")
        o.folder = "session";
    SessionSettings& s = o.session;
    s.darkSeconds = std::isnan(o.darkSecondsOption) ? s.lightSeconds : o.darkSecondsOption;
    std::string problem;
    if (!o.subframeText.empty())
        problem = ParseSubframe(o.subframeText, &s.subframe);
    if (problem.empty() && !o.filtersText.empty())
        problem = ParseNumberList("filter list", o.filtersText, 1, 16, &s.filters);
    if (problem.empty() && !o.binningsText.empty())
        problem = ParseNumberList("binning list", o.binningsText, 0, 15, &s.binnings);
    if (problem.empty())
        problem = PrepareFolder(o.folder);
    if (!problem.empty())
        return Fail(problem, kExitArguments);
    UseTarget(o);
    return WithCamera(o, [&o](CameraControl& control, Progress& progress) {
        const CameraFacts& facts = control.Facts();
        if (facts.filterPositions > 0)
            for (int filter : o.session.filters)
                if (int refused = CheckFilterOf(facts, filter))
                    return refused;
        std::vector<PlannedFrame> plan = PlanSession(o.session, facts, SplitNames(o.filterNamesText));
        if (int refused = RefuseExisting(o.folder, plan, o.overwrite))
            return refused;
        PrintFacts(facts);
        char line[200];
        std::snprintf(line, sizeof line, "Session: %zu frames into %s; cooling to %.1f °C first", plan.size(),
                      o.folder.c_str(), o.target);
        progress.Line(line);
        std::string error;
        if (!control.Cool(o.target, o.tolerance, o.coolLimit, &error))
            return Fail(error);
        return TakeFrames(control, progress, o.folder, plan);
    });
}

int RunPreview(Options& o)
{
    Frame frame;
    std::string error;
    auto write = [&o](const Frame& frame) {
        std::string error;
        StretchCurve curve = AutoStretch(frame);
        if (!WritePng(o.pngPath, frame.width, frame.height, ApplyStretch(frame, curve), &error))
            return Fail(error);
        std::printf("Wrote %s: %d x %d, black at %.0f ADU, white at %.0f ADU, midtones %.4f\n", o.pngPath.c_str(),
                    frame.width, frame.height, curve.shadows, curve.highlights, curve.midtones);
        return 0;
    };
    if (!o.fromFits.empty()) {
        if (!ReadFits(o.fromFits, &frame, &error))
            return Fail(error);
        return write(frame);
    }
    if (!o.subframeText.empty())
        ParseSubframe(o.subframeText, &o.exposure.subframe);
    UseTarget(o);
    return WithCamera(o, [&o, &write](CameraControl& control, Progress&) {
        if (int refused = CheckFilterOf(control.Facts(), o.exposure.filter))
            return refused;
        ExposureRequest request = o.exposure;
        request.light = !o.dark;
        request.filterName = request.filter > 0 ? FilterName(request.filter, SplitNames(o.filterNamesText)) : "";
        Frame frame;
        std::string error;
        if (!control.Expose(request, &frame, &error))
            return Fail(error);
        return write(frame);
    });
}

} // namespace capture
