// The server's command line.
#pragma once

#include <string>

#include "host_world.h"
#include "rig.h"

namespace alpaca {

struct ServerOptions {
    int port = 11111;
    std::string listen = "127.0.0.1";
    int discoveryPort = 32227;    // 0: no discovery responder
    std::string location;
    RigOptions rig;
    r6host::WorldOptions world;
    bool help = false;
};

// False with a message naming the bad value and what is allowed.
bool ParseOptions(int argc, char** argv, ServerOptions* options, std::string* error);

extern const char* const kUsage;

} // namespace alpaca
