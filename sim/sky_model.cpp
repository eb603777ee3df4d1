#include "sim/sky_model.h"

#include <algorithm>
#include <cmath>

namespace sim {
namespace {

constexpr double kPi = 3.14159265358979323846;
// A star's light is followed this many sigmas out; beyond, it is below the
// read noise of any frame the camera can take.
constexpr double kStarReach = 5.0;

// Salts that keep the pattern, the field and the noise independent.
constexpr uint64_t kSaltPixel = 0x9E3779B97F4A7C15ull;
constexpr uint64_t kSaltStars = 0xC2B2AE3D27D4EB4Full;
constexpr uint64_t kSaltNoise = 0x165667B19E3779F9ull;

uint64_t Mix(uint64_t z)
{
    z += 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

uint64_t Hash(uint64_t salt, uint64_t a, uint64_t b, uint64_t c = 0)
{
    return Mix(Mix(Mix(salt ^ a) ^ b) ^ c);
}

// In (0, 1): never 0, so that a logarithm of it is finite.
double Uniform(uint32_t bits)
{
    return ((double)bits + 0.5) / 4294967296.0;
}

struct PixelTraits {
    double response; // flat field
    bool hot;
};

PixelTraits TraitsOf(const SkyModel& sky, int width, int height, int x, int y)
{
    uint64_t bits = Hash(kSaltPixel ^ sky.seed, (uint64_t)x, (uint64_t)y);
    double u = Uniform((uint32_t)bits);
    double v = Uniform((uint32_t)(bits >> 32));
    // A uniform spread of this width has the asked rms.
    double prnu = sky.pixelResponseSpread * std::sqrt(3.0) * (2.0 * u - 1.0);
    double dx = (x + 0.5 - width * 0.5) / (width * 0.5);
    double dy = (y + 0.5 - height * 0.5) / (height * 0.5);
    double r2 = (dx * dx + dy * dy) * 0.5; // 1 in the corners
    return PixelTraits{(1.0 - sky.vignetting * r2) * (1.0 + prnu), v < sky.hotPixelShare};
}

double Throughput(const SkyModel& sky, int filter)
{
    if (sky.filterThroughput.empty())
        return 1.0;
    size_t index = std::min<size_t>(filter < 0 ? 0 : (size_t)filter, sky.filterThroughput.size() - 1);
    return sky.filterThroughput[index];
}

double DarkRate(const SkyModel& sky, double celsius)
{
    return sky.darkRateAtZero * std::pow(2.0, celsius / sky.darkDoublingCelsius);
}

// Electrons per second that a star puts on the pixel at (x, y), taken at
// the pixel's centre.
double StarLight(const SkyModel& sky, const SkyStar& star, int x, int y)
{
    double dx = x + 0.5 - star.x;
    double dy = y + 0.5 - star.y;
    double s2 = sky.starSigma * sky.starSigma;
    double d2 = dx * dx + dy * dy;
    if (d2 > kStarReach * kStarReach * s2)
        return 0.0;
    return star.rate / (2.0 * kPi * s2) * std::exp(-d2 / (2.0 * s2));
}

// The part of the signal without stars: background through the flat field,
// dark current.
double BaseSignal(const SkyModel& sky, const SkyExposure& exposure, const PixelTraits& traits,
                  double darkRate)
{
    double dark = darkRate * (traits.hot ? sky.hotPixelFactor : 1.0);
    double rate = sky.flatPanelLit ? sky.flatPanelRate : sky.skyRate;
    double light = rate * Throughput(sky, exposure.filter) * traits.response;
    return light * exposure.lightSeconds + dark * exposure.seconds;
}

struct Region {
    int x0, y0, x1, y1; // unbinned, half open
};

// The unbinned pixels under the inside part of the window.
Region UnbinnedRegion(const SkyWindow& w, int* top, int* left, int* bottom, int* right)
{
    int binnedWidth = w.binX > 0 ? w.sensorWidth / w.binX : 0;
    int binnedHeight = w.binY > 0 ? w.sensorHeight / w.binY : 0;
    *top = std::max(w.topRow, 0);
    *left = std::max(w.firstColumn, 0);
    *bottom = std::min(w.topRow + w.rows, binnedHeight);
    *right = std::min(w.firstColumn + w.columns, binnedWidth);
    return Region{*left * w.binX, *top * w.binY, *right * w.binX, *bottom * w.binY};
}

void AddBase(const SkyModel& sky, const SkyExposure& exposure, const SkyWindow& w,
             const Region& region, std::vector<double>* electrons)
{
    double darkRate = DarkRate(sky, exposure.ccdCelsius);
    for (int y = region.y0; y < region.y1; ++y) {
        size_t row = (size_t)(y / w.binY - w.topRow) * (size_t)w.columns;
        for (int x = region.x0; x < region.x1; ++x) {
            PixelTraits traits = TraitsOf(sky, w.sensorWidth, w.sensorHeight, x, y);
            (*electrons)[row + (size_t)(x / w.binX - w.firstColumn)] +=
                BaseSignal(sky, exposure, traits, darkRate);
        }
    }
}

void AddStars(const SkyModel& sky, const SkyExposure& exposure, const SkyWindow& w,
              const Region& region, std::vector<double>* electrons)
{
    if (exposure.lightSeconds <= 0.0 || sky.flatPanelLit)
        return;
    double scale = exposure.lightSeconds * Throughput(sky, exposure.filter);
    double reach = kStarReach * sky.starSigma + 1.0;
    for (const SkyStar& star : StarField(sky, w.sensorWidth, w.sensorHeight)) {
        int x0 = std::max(region.x0, (int)std::floor(star.x - reach));
        int x1 = std::min(region.x1, (int)std::ceil(star.x + reach));
        int y0 = std::max(region.y0, (int)std::floor(star.y - reach));
        int y1 = std::min(region.y1, (int)std::ceil(star.y + reach));
        for (int y = y0; y < y1; ++y) {
            size_t row = (size_t)(y / w.binY - w.topRow) * (size_t)w.columns;
            for (int x = x0; x < x1; ++x) {
                double light = StarLight(sky, star, x, y);
                if (light == 0.0)
                    continue;
                PixelTraits traits = TraitsOf(sky, w.sensorWidth, w.sensorHeight, x, y);
                (*electrons)[row + (size_t)(x / w.binX - w.firstColumn)] += light * scale * traits.response;
            }
        }
    }
}

uint16_t ReadOut(const SkyModel& sky, const SkyExposure& exposure, const SkyWindow& w, int row,
                 int column, double electrons)
{
    double noise = 0.0;
    if (sky.readNoise > 0.0 || sky.shotNoise) {
        uint64_t bits = Hash(kSaltNoise ^ sky.seed ^ ((uint64_t)exposure.serial << 32),
                             ((uint64_t)w.binX << 8) | (uint64_t)w.binY, (uint64_t)row, (uint64_t)column);
        double radius = std::sqrt(-2.0 * std::log(Uniform((uint32_t)bits)));
        double angle = 2.0 * kPi * Uniform((uint32_t)(bits >> 32));
        noise = sky.readNoise * radius * std::cos(angle);
        if (sky.shotNoise)
            noise += std::sqrt(std::max(electrons, 0.0)) * radius * std::sin(angle);
    }
    double adu = sky.biasLevel + (electrons + noise) / sky.gain;
    return (uint16_t)std::clamp(std::lround(adu), 1L, 65533L);
}

} // namespace

std::vector<SkyStar> StarField(const SkyModel& sky, int sensorWidth, int sensorHeight)
{
    std::vector<SkyStar> stars;
    stars.reserve((size_t)std::max(sky.starCount, 0));
    double span = sky.faintestStar > 0.0 ? sky.brightestStar / sky.faintestStar : 1.0;
    for (int i = 0; i < sky.starCount; ++i) {
        uint64_t place = Hash(kSaltStars ^ sky.seed, (uint64_t)i, 1);
        uint64_t light = Hash(kSaltStars ^ sky.seed, (uint64_t)i, 2);
        double u = Uniform((uint32_t)light);
        // Faint stars far outnumber bright ones, as on the sky.
        double rate = sky.faintestStar * std::pow(span, u * u * u);
        stars.push_back(SkyStar{Uniform((uint32_t)place) * sensorWidth,
                                Uniform((uint32_t)(place >> 32)) * sensorHeight, rate});
    }
    return stars;
}

double UnbinnedSignal(const SkyModel& sky, const SkyExposure& exposure, int sensorWidth,
                      int sensorHeight, int x, int y)
{
    PixelTraits traits = TraitsOf(sky, sensorWidth, sensorHeight, x, y);
    double signal = BaseSignal(sky, exposure, traits, DarkRate(sky, exposure.ccdCelsius));
    if (exposure.lightSeconds <= 0.0 || sky.flatPanelLit)
        return signal;
    double scale = exposure.lightSeconds * Throughput(sky, exposure.filter) * traits.response;
    for (const SkyStar& star : StarField(sky, sensorWidth, sensorHeight))
        signal += StarLight(sky, star, x, y) * scale;
    return signal;
}

std::vector<uint16_t> RenderSky(const SkyModel& sky, const SkyExposure& exposure,
                                const SkyWindow& window)
{
    if (window.rows <= 0 || window.columns <= 0 || window.binX <= 0 || window.binY <= 0)
        return std::vector<uint16_t>();
    size_t count = (size_t)window.rows * (size_t)window.columns;
    std::vector<uint16_t> pixels(count, 0);
    int top, left, bottom, right;
    Region region = UnbinnedRegion(window, &top, &left, &bottom, &right);
    if (top >= bottom || left >= right)
        return pixels;
    std::vector<double> electrons(count, 0.0);
    AddBase(sky, exposure, window, region, &electrons);
    AddStars(sky, exposure, window, region, &electrons);
    for (int row = top; row < bottom; ++row)
        for (int column = left; column < right; ++column) {
            size_t at = (size_t)(row - window.topRow) * window.columns + (size_t)(column - window.firstColumn);
            pixels[at] = ReadOut(sky, exposure, window, row, column, electrons[at]);
        }
    return pixels;
}

} // namespace sim
