// r6odi-capture: a night's routine on a camera through the driver's 21
// exports. Subcommands list, info, cool, expose, flat, session and preview; the
// setup options go to the driver the way its setup dialog's values do.
#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "commands.h"

namespace {

using capture::Options;

// CLI11 checks a value as text before converting it: each check parses the
// text itself, so that "abc" and "12x" get a message of their own.
bool ParseDouble(const std::string& text, double* value)
{
    char* end = nullptr;
    errno = 0;
    *value = std::strtod(text.c_str(), &end);
    return !text.empty() && errno == 0 && end == text.c_str() + text.size();
}

bool ParseInt(const std::string& text, int* value)
{
    char* end = nullptr;
    errno = 0;
    long parsed = std::strtol(text.c_str(), &end, 10);
    *value = (int)parsed;
    return !text.empty() && errno == 0 && end == text.c_str() + text.size() && parsed >= INT_MIN &&
           parsed <= INT_MAX;
}

CLI::Validator RealCheck(const std::string& what, std::string (*check)(double))
{
    return CLI::Validator(
        [what, check](std::string& text) {
            double value = 0.0;
            if (!ParseDouble(text, &value))
                return what + " '" + text + "' is not a number";
            return check(value);
        },
        "", what);
}

CLI::Validator IntCheck(const std::string& what, std::string (*check)(int))
{
    return CLI::Validator(
        [what, check](std::string& text) {
            int value = 0;
            if (!ParseInt(text, &value))
                return what + " '" + text + "' is not a whole number";
            return check(value);
        },
        "", what);
}

CLI::Validator RangeCheck(const std::string& what, double low, double high, const std::string& unit)
{
    return CLI::Validator(
        [=](std::string& text) {
            double value = 0.0;
            if (!ParseDouble(text, &value))
                return what + " '" + text + "' is not a number";
            if (!(value >= low && value <= high)) {
                char message[200];
                std::snprintf(message, sizeof message, "%s %s is out of range: give %g to %g%s", what.c_str(),
                              text.c_str(), low, high, unit.c_str());
                return std::string(message);
            }
            return std::string();
        },
        "", what);
}

CLI::Validator SubframeCheck()
{
    return CLI::Validator(
        [](std::string& text) {
            capture::Subframe subframe;
            return capture::ParseSubframe(text, &subframe);
        },
        "X,Y,W,H", "subframe");
}

void AddExposureOptions(CLI::App* command, Options* o, bool countAndFolder, bool flat = false)
{
    CLI::Option* time = command->add_option("-t,--time", o->exposure.seconds,
                                            flat ? "first trial exposure of the search, s (1)"
                                                 : "exposure time in seconds, 0 to 3600 (1)");
    time->check(RealCheck("exposure time", capture::CheckExposureTime));
    if (!flat) {
        CLI::Option* dark = command->add_flag("--dark", o->dark, "a dark frame: the shutter stays closed");
        command->add_flag("--bias", o->bias, "a bias frame: a dark of no length")->excludes(dark)->excludes(time);
    }
    command->add_option("-b,--bin", o->exposure.binningCode, "binning code 0..15 ('info' lists them; 0: 1 x 1)")
        ->check(IntCheck("binning code", capture::CheckBinningCode));
    command->add_option("--subframe", o->subframeText,
                        "x,y,width,height in percent of the sensor, x and y from the bottom-left corner")
        ->check(SubframeCheck());
    command->add_option("-f,--filter", o->exposure.filter, "filter position, 1 to the wheel's positions")
        ->check(RangeCheck("filter position", 1, 16, ""));
    if (countAndFolder) {
        command->add_option("-n,--count", o->count, "number of frames, 1 to 10000 (1)")
            ->check(IntCheck("count", capture::CheckCount));
        command->add_option("-o,--out", o->folder, "folder for the FITS files, created when missing (.)");
        command->add_flag("--overwrite", o->overwrite, "replace files of the same names");
    }
}

void AddCoolingOptions(CLI::App* command, Options* o, const std::string& targetHelp)
{
    command->add_option("--target", o->target, targetHelp)->check(RealCheck("temperature", capture::CheckTemperature));
    command->add_option("--tolerance", o->tolerance, "how close counts as reached, C (0.5)")
        ->check(RangeCheck("tolerance", 0.05, 10, " C"));
    command->add_option("--settle", o->settleSeconds, "then stay within the tolerance this long, s (60)")
        ->check(RangeCheck("settling time", 0, 3600, " s"));
    command->add_option("--cool-timeout,--cool-limit", o->coolLimit, "give up cooling after this many seconds (1800)")
        ->check(RangeCheck("cooling limit", 1, 86400, " s"));
}

void AddFileOptions(CLI::App& app, Options* o)
{
    app.add_option("--compress", o->compress, "none, or rice: tile-compressed .fits.fz, lossless (none)")
        ->check(CLI::IsMember({"none", "rice"}));
    app.add_option("--pixel-size", o->pixelSizeText,
                   "unbinned pixel size, um: SIZE or WIDTH,HEIGHT (known for the simulated models)");
    app.add_option("--focal-length", o->header.focalLengthMm, "focal length, mm (FOCALLEN)")
        ->check(RangeCheck("focal length", 1, 100000, " mm"));
    app.add_option("--aperture", o->header.apertureMm, "aperture diameter, mm (APTDIA)")
        ->check(RangeCheck("aperture", 1, 100000, " mm"));
    app.add_option("--object", o->header.object, "the object observed (OBJECT)");
    app.add_option("--telescope", o->header.telescope, "the telescope (TELESCOP)");
    app.add_option("--observer", o->header.observer, "the observer (OBSERVER)");
}

void AddSetupOptions(CLI::App& app, Options* o)
{
    app.add_option("-c,--camera", o->setup.cameraId, "camera id ('list' shows them; -1: the first free one)")
        ->check(RangeCheck("camera id", -1, 2147483647.0, ""));
    app.add_option("--read-mode", o->readModeText, "read mode: low-noise or standard")
        ->check(CLI::IsMember({"low-noise", "standard"}));
    app.add_flag("--window-heating", o->setup.windowHeating, "heat the CCD chamber window");
    app.add_option("--preflash", o->setup.preflashSeconds, "preflash time in seconds (cameras that have it)")
        ->check(RangeCheck("preflash time", 0, 65.535, " s"));
    app.add_option("--clears", o->setup.clearCount, "clears after the preflash, 1 to 20")
        ->check(RangeCheck("clear count", 1, 20, ""));
    app.add_option("--max-step", o->setup.maxStepPerMinute, "largest set-point change, C per minute")
        ->check(RangeCheck("set-point step", 0.1, 60, " C per minute"));
    app.add_option("--speed", o->world.speed, "simulated clock: virtual seconds per real second (1)")
        ->check(RealCheck("speed", capture::CheckSpeed));
    app.add_option("--simulate-unplug", o->world.unplugFrame,
                   "simulation: pull the camera's cable halfway through this frame")
        ->check(RangeCheck("frame to unplug in", 1, 10000, ""));
    app.add_option("--unplug-seconds", o->world.unplugSeconds, "simulation: plug it in again after this many seconds (20)")
        ->check(RangeCheck("unplug time", 0, 3600, " s"));
    app.add_option("--reconnect-wait", o->reconnectWait, "how long to wait for a camera that went away, s (600)")
        ->check(RangeCheck("reconnect wait", 0, 86400, " s"));
    app.add_flag("--dialog", o->world.showDialog, "Windows: set up in the driver's own dialog");
    app.add_flag("--plain", o->plain, "one line per step even on a terminal");
}

} // namespace

int main(int argc, char** argv)
{
#if defined(SIGXFSZ)
    // A file-size limit then fails the write instead of killing the host,
    // which reports it like a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    Options o;
    CLI::App app{"r6odi-capture: capture host for the cooled USB CCD cameras of the d_r6odi driver"};
    app.fallthrough();
    app.require_subcommand(1);
    AddSetupOptions(app, &o);
    AddFileOptions(app, &o);

    CLI::App* list = app.add_subcommand("list", "the cameras the driver offers: label and id");
    CLI::App* info = app.add_subcommand("info", "name, sensor, filter wheel, binnings, temperature of the camera");
    CLI::App* cool = app.add_subcommand("cool", "cool to a temperature and follow the ramp");
    AddCoolingOptions(cool, &o, "wanted sensor temperature, C");
    cool->get_option("--target")->required();
    cool->add_option("--limit", o.coolLimit, "give up after this many seconds (1800)")
        ->check(RangeCheck("cooling limit", 1, 86400, " s"));
    CLI::App* expose = app.add_subcommand("expose", "take light, dark or bias frames and write them as FITS");
    AddExposureOptions(expose, &o, true);
    AddCoolingOptions(expose, &o, "first cool to this temperature and let it settle, C");
    CLI::App* flat = app.add_subcommand("flat", "find the exposure of the lit field, then take flat frames");
    AddExposureOptions(flat, &o, true, true);
    AddCoolingOptions(flat, &o, "first cool to this temperature and let it settle, C");
    flat->add_option("--flat-level", o.flatLevel, "wanted median, ADU (32768: half of full scale)")
        ->check(RangeCheck("flat level", 1000, 60000, " ADU"));
    CLI::App* session = app.add_subcommand("session", "set up, cool, biases, darks, flats and lights, then a summary");
    AddCoolingOptions(session, &o, "sensor temperature for the session, C (default -10)");
    std::vector<CLI::Option*> planned;
    planned.push_back(session->get_option("--target"));
    planned.push_back(session->get_option("--tolerance"));
    planned.push_back(session->get_option("--settle"));
    planned.push_back(session->add_option("--biases", o.session.biases, "biases per binning (2)")
                          ->check(RangeCheck("biases", 0, 1000, "")));
    planned.push_back(session->add_option("--darks", o.session.darks, "darks per binning (2)")
                          ->check(RangeCheck("darks", 0, 1000, "")));
    planned.push_back(session->add_option("--flats", o.session.flats, "flats per filter and binning (2)")
                          ->check(RangeCheck("flats", 0, 1000, "")));
    planned.push_back(session->add_option("--lights", o.session.lights, "lights per filter and binning (2)")
                          ->check(RangeCheck("lights", 0, 1000, "")));
    planned.push_back(session->add_option("-t,--time", o.session.lightSeconds, "light exposure time, s (60)")
                          ->check(RealCheck("exposure time", capture::CheckExposureTime)));
    planned.push_back(session->add_option("--dark-time", o.darkSecondsOption, "dark exposure time, s (default: the light time)")
                          ->check(RealCheck("exposure time", capture::CheckExposureTime)));
    planned.push_back(session->add_option("--flat-level", o.flatLevel, "flats' median, ADU (32768)")
                          ->check(RangeCheck("flat level", 1000, 60000, " ADU")));
    planned.push_back(session->add_option("--filters", o.filtersText, "filter positions (1,2,3)"));
    planned.push_back(session->add_option("--binnings", o.binningsText, "binning codes (0,1)"));
    planned.push_back(session->add_option("--subframe", o.subframeText, "x,y,width,height in percent")->check(SubframeCheck()));
    planned.push_back(session->add_option("--filter-names", o.filterNamesText,
                                          "names of the wheel's positions, in order (L,R,G,B,Ha,OIII,SII)"));
    CLI::Option* plan = session->add_option("--plan", o.planFile, "take the frames of this plan file (a session writes "
                                                                  "FOLDER/session.plan)");
    for (CLI::Option* option : planned)
        plan->excludes(option);
    session->add_option("-o,--out", o.folder, "folder for the FITS files, created when missing (session)");
    session->add_flag("--overwrite", o.overwrite, "replace files of the same names");
    CLI::App* preview = app.add_subcommand("preview", "a PNG of a frame with an astronomer's stretch");
    AddExposureOptions(preview, &o, false);
    preview->add_option("--png", o.pngPath, "the PNG to write")->required();
    preview->add_option("--from", o.fromFits, "stretch this FITS file instead of taking a frame");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "r6odi-capture: %s\nRun 'r6odi-capture --help' for the options.\n", e.what());
        return capture::kExitArguments;
    }
    o.setup.readMode = o.readModeText == "standard" ? 1 : 0;
    for (const char* name : {"--camera", "--read-mode", "--window-heating", "--preflash", "--clears", "--max-step"})
        o.setupOptionsGiven += (int)app.count(name);
    o.progressOnTerminal = !o.plain && capture::IsTerminal(stdout);
    o.targetGiven = !std::isnan(o.target);

    if (*list)
        return capture::RunList(o);
    if (*info)
        return capture::RunInfo(o);
    if (*cool)
        return capture::RunCool(o);
    if (*expose)
        return capture::RunExpose(o);
    if (*flat) {
        o.flat = true;
        return capture::RunExpose(o);
    }
    if (*session)
        return capture::RunSession(o);
    return capture::RunPreview(o);
}
