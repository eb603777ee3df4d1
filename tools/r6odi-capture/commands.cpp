#include "commands.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "disk_file.h"
#include "fits_file.h"
#include "flat_exposure.h"
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
    std::string problem =
        UnreachableSetup(SetupValuesReachable(), o.setupOptionsGiven, o.targetGiven, o.world.showDialog);
    return problem.empty() ? 0 : Fail(problem, kExitArguments);
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
int RefuseExisting(const std::string& folder, const std::vector<std::string>& names, bool overwrite)
{
    if (overwrite)
        return 0;
    for (const std::string& name : names) {
        std::filesystem::path path = std::filesystem::path(folder) / name;
        std::error_code ignored;
        if (std::filesystem::exists(path, ignored))
            return Fail("'" + path.string() + "' exists already: choose another folder, or give --overwrite",
                        kExitArguments);
    }
    return 0;
}

std::vector<std::string> FileNames(const std::vector<PlannedFrame>& plan)
{
    std::vector<std::string> names;
    for (const PlannedFrame& frame : plan)
        names.push_back(frame.fileName);
    return names;
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

std::string Extension(const Options& o)
{
    return o.compress == "rice" ? ".fits.fz" : ".fits";
}

// What every file of the run says beyond its frame.
HeaderFacts FactsForFiles(const Options& o, const CameraFacts& camera)
{
    HeaderFacts facts = o.header;
    if (o.pixelSizeText.empty())
        ModelPixelSize(camera.name, &facts.pixelWidthUm, &facts.pixelHeightUm);
    else
        ParsePixelSize(o.pixelSizeText, &facts.pixelWidthUm, &facts.pixelHeightUm);
    facts.setupKnown = SetupValuesReachable();
    facts.readMode = o.setup.readMode;
    facts.preflashSeconds = o.setup.preflashSeconds;
    facts.windowHeating = o.setup.windowHeating;
    return facts;
}

std::string Celsius(const FrameInfo& info)
{
    char text[32] = "-";
    if (info.hasCcdTemperature)
        std::snprintf(text, sizeof text, "%.2f", info.ccdTemperature);
    return text;
}

// A flat's time is found once per group, at its first frame, with the
// panel lit.
bool FlatSeconds(CameraControl& control, Progress& progress, const Options& o, const PlannedFrame& planned,
                 FrameGroup* group, std::string* error)
{
    if (!std::isnan(group->seconds))
        return true;
    double first = o.exposure.seconds > 0.0 ? o.exposure.seconds : 1.0;
    if (!FindFlatExposure(control, progress, planned.request, o.flatLevel, first, &group->seconds, error)) {
        *error = "frame " + std::to_string(planned.request.frameNumber) + "/" +
                 std::to_string(planned.request.frameCount) + ": " + *error;
        return false;
    }
    char line[160];
    std::snprintf(line, sizeof line, "Flat exposure for %s: %.3f s", planned.fileName.c_str(), group->seconds);
    progress.Line(line);
    return true;
}

int TakeFrames(CameraControl& control, Progress& progress, const Options& o, std::vector<FrameGroup> groups,
               const std::vector<PlannedFrame>& plan)
{
    const HeaderFacts base = FactsForFiles(o, control.Facts());
    FitsWriteOptions writing;
    writing.rice = o.compress == "rice";
    writing.replace = o.overwrite;
    std::vector<SummaryRow> rows;
    HostCost cost;
    bool panelNoted = false;
    for (const PlannedFrame& planned : plan) {
        ExposureRequest request = planned.request;
        FrameGroup& group = groups[(size_t)planned.group];
        bool flat = request.kind == FrameKind::Flat;
        if (!SetFlatPanel(flat) && flat && !panelNoted) {
            progress.Line("Flats: this host cannot switch a flat panel; they show what lights the telescope now");
            panelNoted = true;
        }
        std::string error;
        if (!control.KeepTemperature(&error) || (flat && !FlatSeconds(control, progress, o, planned, &group, &error)))
            return Fail(error);
        if (flat)
            request.seconds = group.seconds;
        Frame frame;
        if (!control.Expose(request, &frame, &error))
            return Fail(error);
        // The host's own work takes no time on the camera's clock.
        HoldClock(true);
        auto start = std::chrono::steady_clock::now();
        FrameStats stats = Measure(frame);
        cost.statsMs += MillisecondsSince(start);
        const std::string binning = std::to_string(frame.info.binX) + "x" + std::to_string(frame.info.binY);
        // Named after what the camera took, which it may have turned down.
        const std::string name = FrameFileName(request, binning, request.frameNumber, Extension(o));
        const std::string path = (std::filesystem::path(o.folder) / name).string();
        HeaderFacts facts = base;
        facts.writtenWallMs = WallMsAt(ClockMs());
        start = std::chrono::steady_clock::now();
        FitsWrite written = WriteFits(path, frame, facts, writing, &error);
        cost.fitsMs += MillisecondsSince(start);
        HoldClock(false);
        if (written != FitsWrite::Done) {
            SetFlatPanel(false);
            std::printf("\n%s", SummaryTable(rows).c_str());
            return Fail("frame " + std::to_string(request.frameNumber) + "/" + std::to_string(request.frameCount) +
                        " lost: " + error + (written == FitsWrite::Exists ? ", and is not replaced without --overwrite" : "") +
                        "; the " + std::to_string(rows.size()) + " frame(s) before it are whole in " + o.folder);
        }
        ++cost.frames;
        rows.push_back(SummaryRow{name, frame.info.kind, frame.info.exposureSeconds, frame.info.filter, binning,
                                  frame.info.hasCcdTemperature ? frame.info.ccdTemperature : NAN, stats});
        char line[300];
        std::snprintf(line, sizeof line, "Frame %d/%d: wrote %s  %d x %d  CCD %s °C  mean %.1f  min %u  max %u",
                      request.frameNumber, request.frameCount, name.c_str(), frame.width, frame.height,
                      Celsius(frame.info).c_str(), stats.mean, (unsigned)stats.minimum, (unsigned)stats.maximum);
        progress.Line(line);
    }
    SetFlatPanel(false);
    std::printf("\n%s", SummaryTable(rows).c_str());
    if (cost.frames > 0)
        std::printf("\n%d file(s) in %s; host time per frame: statistics %.1f ms, FITS write %.1f ms\n", cost.frames,
                    o.folder.c_str(), cost.statsMs / cost.frames, cost.fitsMs / cost.frames);
    return 0;
}

void UseTarget(Options& o)
{
    if (std::isnan(o.target))
        return;
    o.setup.hasSetTemperature = true;
    o.setup.setTemperature = o.target;
}

CoolingGoal GoalOf(const Options& o)
{
    return CoolingGoal{o.target, o.tolerance, o.settleSeconds, o.coolLimit};
}

int CheckFilterOf(const CameraFacts& facts, int filter)
{
    if (filter <= 0)
        return 0;
    std::string problem = CheckFilter(filter, facts.filterPositions);
    return problem.empty() ? 0 : Fail(problem, kExitArguments);
}

// The last step before anything is taken: every check has passed, so the
// folder may now be made.
int MakeFolder(const std::string& folder)
{
    std::string problem = PrepareFolder(folder);
    return problem.empty() ? 0 : Fail(problem, kExitArguments);
}

// Cools to the target, when one was given, before the first frame.
int CoolFirst(CameraControl& control, const Options& o)
{
    if (std::isnan(o.target))
        return 0;
    std::string error;
    return control.Cool(GoalOf(o), &error) ? 0 : Fail(error);
}

bool ReadText(const std::string& path, std::string* text)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    *text = content.str();
    return in.good() || in.eof();
}

// A small text file, as safely as the frames: flushed before its name
// appears, never replacing one without --overwrite.
int WriteTextFile(const std::string& path, const std::string& text, bool replace)
{
    DiskFile file;
    std::string error;
    bool written = CreateDiskFile(path + ".part", &file, &error) && WriteDiskFile(&file, text.data(), text.size(), &error) &&
                   CloseDiskFile(&file, true, &error);
    if (!written) {
        DiscardDiskFile(&file);
        return Fail("cannot write " + path + ": " + error);
    }
    if (PublishFile(path + ".part", path, replace, true, &error) != Publish::Done) {
        std::remove((path + ".part").c_str());
        return Fail(error);
    }
    return 0;
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
        return CoolFirst(control, o);
    });
}

// What the files need, checked before the camera is touched.
static std::string CheckFileOptions(const Options& o)
{
    double width = 0.0, height = 0.0;
    std::string problem = o.pixelSizeText.empty() ? std::string() : ParsePixelSize(o.pixelSizeText, &width, &height);
    return problem.empty() ? CheckFolder(o.folder) : problem;
}

int RunExpose(Options& o)
{
    if (!o.subframeText.empty())
        ParseSubframe(o.subframeText, &o.exposure.subframe);
    std::string problem = CheckFileOptions(o);
    if (!problem.empty())
        return Fail(problem, kExitArguments);
    UseTarget(o);
    return WithCamera(o, [&o](CameraControl& control, Progress& progress) {
        const CameraFacts& facts = control.Facts();
        if (int refused = CheckFilterOf(facts, o.exposure.filter))
            return refused;
        FrameGroup group;
        group.kind = o.flat ? FrameKind::Flat : o.bias ? FrameKind::Bias : o.dark ? FrameKind::Dark : FrameKind::Light;
        group.count = o.count;
        group.seconds = o.flat ? NAN : o.bias ? 0.0 : o.exposure.seconds;
        group.filter = o.exposure.filter;
        group.binningCode = o.exposure.binningCode;
        std::vector<FrameGroup> groups{group};
        std::vector<PlannedFrame> plan =
            PlanFrames(groups, facts, o.exposure.subframe, SplitNames(o.filterNamesText), Extension(o));
        if (int refused = RefuseExisting(o.folder, FileNames(plan), o.overwrite))
            return refused;
        if (int refused = MakeFolder(o.folder))
            return refused;
        if (int failed = CoolFirst(control, o))
            return failed;
        return TakeFrames(control, progress, o, groups, plan);
    });
}

// The plan from --plan FILE, or from the options.
static std::string SessionPlanOf(Options& o, SessionPlan* plan)
{
    if (o.planFile.empty()) {
        plan->target = std::isnan(o.target) ? -10.0 : o.target;
        plan->tolerance = o.tolerance;
        plan->settleSeconds = o.settleSeconds;
        plan->flatLevel = o.flatLevel;
        plan->filterNames = SplitNames(o.filterNamesText);
        std::string problem;
        if (!o.subframeText.empty())
            problem = ParseSubframe(o.subframeText, &plan->subframe);
        if (problem.empty() && !o.filtersText.empty())
            problem = ParseNumberList("filter list", o.filtersText, 1, 16, &o.session.filters);
        if (problem.empty() && !o.binningsText.empty())
            problem = ParseNumberList("binning list", o.binningsText, 0, 15, &o.session.binnings);
        return problem;
    }
    std::string text;
    if (!ReadText(o.planFile, &text))
        return "cannot read plan file '" + o.planFile + "'";
    std::string problem = ParsePlan(text, plan);
    if (!problem.empty())
        return "plan file '" + o.planFile + "' " + problem;
    o.target = plan->target;
    o.targetGiven = true;
    o.tolerance = plan->tolerance;
    o.settleSeconds = plan->settleSeconds;
    o.flatLevel = plan->flatLevel;
    return std::string();
}

int RunSession(Options& o)
{
    if (o.folder == ".")
        o.folder = "session";
    SessionSettings& s = o.session;
    s.darkSeconds = std::isnan(o.darkSecondsOption) ? s.lightSeconds : o.darkSecondsOption;
    SessionPlan plan;
    std::string problem = SessionPlanOf(o, &plan);
    if (problem.empty())
        problem = CheckFileOptions(o);
    if (!problem.empty())
        return Fail(problem, kExitArguments);
    // A session is taken cold; where the host cannot set the temperature,
    // at the one the driver's dialog holds.
    if (std::isnan(o.target) && SetupValuesReachable())
        o.target = plan.target;
    UseTarget(o);
    return WithCamera(o, [&o, &plan](CameraControl& control, Progress& progress) {
        const CameraFacts& facts = control.Facts();
        if (plan.groups.empty())
            plan.groups = SessionGroups(o.session, facts);
        if (facts.filterPositions > 0)
            for (const FrameGroup& group : plan.groups)
                if (int refused = CheckFilterOf(facts, group.filter))
                    return refused;
        std::vector<PlannedFrame> frames = PlanFrames(plan.groups, facts, plan.subframe, plan.filterNames, Extension(o));
        const std::string planPath = (std::filesystem::path(o.folder) / "session.plan").string();
        std::error_code same;
        bool planIsInput = !o.planFile.empty() && std::filesystem::equivalent(o.planFile, planPath, same);
        std::vector<std::string> names = FileNames(frames);
        if (!planIsInput)
            names.push_back("session.plan");
        if (int refused = RefuseExisting(o.folder, names, o.overwrite))
            return refused;
        if (int refused = MakeFolder(o.folder))
            return refused;
        if (!planIsInput)
            if (int failed = WriteTextFile(planPath, PlanText(plan), o.overwrite))
                return failed;
        PrintFacts(facts);
        char line[200];
        std::snprintf(line, sizeof line, "Session: %zu frames into %s (plan in %s)", frames.size(), o.folder.c_str(),
                      planPath.c_str());
        progress.Line(line);
        if (!std::isnan(o.target)) {
            std::snprintf(line, sizeof line, "Cooling to %.1f °C, then %.0f s within %.2f °C", o.target,
                          o.settleSeconds, o.tolerance);
            progress.Line(line);
        }
        if (int failed = CoolFirst(control, o))
            return failed;
        return TakeFrames(control, progress, o, plan.groups, frames);
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
        request.light = !o.dark && !o.bias;
        request.kind = o.bias ? FrameKind::Bias : request.light ? FrameKind::Light : FrameKind::Dark;
        request.seconds = o.bias ? 0.0 : request.seconds;
        request.filterName = request.filter > 0 ? FilterName(request.filter, SplitNames(o.filterNamesText)) : "";
        Frame frame;
        std::string error;
        if (!control.Expose(request, &frame, &error))
            return Fail(error);
        return write(frame);
    });
}

} // namespace capture
