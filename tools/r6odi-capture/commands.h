// The subcommands. Each brings the world up, runs, and takes it down again;
// the result is the process's exit code.
#pragma once

#include <cmath>
#include <string>

#include "arguments.h"
#include "camera_control.h"
#include "header_facts.h"
#include "host_world.h"
#include "session_plan.h"

namespace capture {

using namespace r6host;

constexpr int kExitFailure = 1;   // the work could not be done
constexpr int kExitArguments = 2; // an argument is wrong

struct Options {
    SetupValues setup;
    WorldOptions world;
    std::string readModeText = "low-noise";
    int setupOptionsGiven = 0; // setup options on the command line
    bool plain = false;
    bool progressOnTerminal = false;
    double reconnectWait = 600.0;

    double target = NAN; // NaN: not given
    bool targetGiven = false;
    double tolerance = 0.5;
    double settleSeconds = 60.0;
    double coolLimit = 1800.0;

    ExposureRequest exposure;
    bool dark = false;
    bool bias = false;
    bool flat = false;
    double flatLevel = 32768.0;
    std::string subframeText;
    int count = 1;
    std::string folder = ".";
    bool overwrite = false;
    std::string compress = "none";

    // What the files say of the optics and the observation.
    std::string pixelSizeText;
    HeaderFacts header;

    SessionSettings session;
    double darkSecondsOption = NAN;
    std::string filtersText;
    std::string binningsText;
    std::string filterNamesText = "L,R,G,B,Ha,OIII,SII";
    std::string planFile;

    std::string pngPath;
    std::string fromFits;
};

int RunList(Options& o);
int RunInfo(Options& o);
int RunCool(Options& o);
// expose and flat: frames of one kind.
int RunExpose(Options& o);
int RunSession(Options& o);
int RunPreview(Options& o);

} // namespace capture
