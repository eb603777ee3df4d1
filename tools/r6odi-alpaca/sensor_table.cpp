#include "sensor_table.h"

namespace alpaca {
namespace {

struct Model {
    const char* cameraName;
    const char* sensorName;
    double pixelMicrons;
};

// The family's models by the name their CameraInfo block carries (the
// first 14 characters, as d_GetName returns it).
constexpr Model kModels[] = {
    {"KX-814 Mono", "ICX285AL", 6.45},
    {"KX-694 Cooled", "ICX694AL", 4.54},
    {"KL-11000 Large", "KAI-11002M", 9.0},
};

} // namespace

SensorFacts LookUpSensor(const std::string& cameraName)
{
    SensorFacts facts;
    for (const Model& model : kModels)
        if (cameraName == model.cameraName) {
            facts.sensorName = model.sensorName;
            facts.pixelMicrons = model.pixelMicrons;
        }
    return facts;
}

} // namespace alpaca
