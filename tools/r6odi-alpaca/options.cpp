#include "options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace alpaca {

const char* const kUsage =
    "usage: r6odi-alpaca [options]\n"
    "Serves one camera of the r6odi driver and its filter wheel as ASCOM Alpaca devices\n"
    "(camera/0, filterwheel/0).\n"
    "  --port N              HTTP port (default 11111)\n"
    "  --listen ADDR         address to listen on (default 127.0.0.1; 0.0.0.0: every network,\n"
    "                        without any authentication)\n"
    "  --camera ID           camera id (default: the first free camera)\n"
    "  --discovery-port N    UDP port of the discovery responder (default 32227; 0: none)\n"
    "  --location TEXT       where the server stands, for the management description\n"
    "  --read-mode MODE      low-noise or standard: the read mode at connection (default low-noise)\n"
    "  --max-step C          largest set-point change of the cooling ramp, C per minute (default 3)\n"
    "  --sensor-name NAME    the sensor's part number, for a camera the built-in table lacks\n"
    "  --pixel-size UM       the sensor's pixel pitch in micrometres, likewise\n"
    "simulation (Linux):\n"
    "  --speed F             the simulated clock runs F times faster than real time (default 1)\n"
    "  --simulate-unplug N   pull the camera's cable in the middle of exposure N ...\n"
    "  --unplug-every K      ... and again every K exposures after it\n"
    "  --unplug-seconds S    and plug it in again after S seconds (default 20)\n";

namespace {

bool Number(const char* text, double low, double high, double* value)
{
    errno = 0;
    char* end = nullptr;
    double number = std::strtod(text, &end);
    if (*text == '\0' || *end != '\0' || errno != 0 || number < low || number > high)
        return false;
    *value = number;
    return true;
}

struct NumberOption {
    const char* name;
    double low;
    double high;
    const char* allowed;
};

} // namespace

bool ParseOptions(int argc, char** argv, ServerOptions* o, std::string* error)
{
    const NumberOption numbers[] = {
        {"--port", 1, 65535, "1 to 65535"},
        {"--camera", -1, 2147483647, "a camera id (-1: the first free camera)"},
        {"--discovery-port", 0, 65535, "0 to 65535"},
        {"--max-step", 0.1, 100, "0.1 to 100 C per minute"},
        {"--pixel-size", 0.1, 100, "0.1 to 100 micrometres"},
        {"--speed", 0.01, 100000, "0.01 to 100000 (1 = real time)"},
        {"--simulate-unplug", 1, 1000000, "an exposure number from 1"},
        {"--unplug-every", 1, 1000000, "a number of exposures from 1"},
        {"--unplug-seconds", 0, 3600, "0 to 3600 s"},
    };
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        if (name == "--help" || name == "-h") {
            o->help = true;
            return true;
        }
        if (i + 1 >= argc) {
            *error = name.rfind("--", 0) == 0 ? name + " needs a value" : "unknown argument '" + name + "'";
            return false;
        }
        const char* text = argv[++i];
        if (name == "--listen") {
            o->listen = text;
        } else if (name == "--location") {
            o->location = text;
        } else if (name == "--sensor-name") {
            o->rig.sensorOverride.sensorName = text;
        } else if (name == "--read-mode") {
            std::string mode = text;
            if (mode != "low-noise" && mode != "standard") {
                *error = "read mode '" + mode + "' is unknown: give low-noise or standard";
                return false;
            }
            o->rig.setup.readMode = mode == "low-noise" ? 0 : 1;
        } else {
            const NumberOption* option = nullptr;
            for (const NumberOption& n : numbers)
                if (name == n.name)
                    option = &n;
            if (option == nullptr) {
                *error = "unknown option '" + name + "'";
                return false;
            }
            double value;
            if (!Number(text, option->low, option->high, &value)) {
                *error = std::string(option->name + 2) + " '" + text + "' is out of range: give " + option->allowed;
                return false;
            }
            if (name == "--port")
                o->port = (int)value;
            else if (name == "--camera")
                o->rig.setup.cameraId = (int)value;
            else if (name == "--discovery-port")
                o->discoveryPort = (int)value;
            else if (name == "--max-step")
                o->rig.setup.maxStepPerMinute = value;
            else if (name == "--pixel-size")
                o->rig.sensorOverride.pixelMicrons = value;
            else if (name == "--speed")
                o->world.speed = value;
            else if (name == "--simulate-unplug")
                o->world.unplugFrame = (int)value;
            else if (name == "--unplug-every")
                o->world.unplugEvery = (int)value;
            else
                o->world.unplugSeconds = value;
        }
    }
    return true;
}

} // namespace alpaca
