#include "png_preview.h"

#include <algorithm>
#include <cmath>

namespace capture {
namespace {

// Where the background should land, and how far below it black begins,
// in units of the background's noise: the usual screen-stretch settings.
constexpr double kTargetBackground = 0.25;
constexpr double kShadowClip = 2.8;
// Median and spread come from this many pixels at most, evenly spread.
constexpr size_t kSamples = 1 << 18;

double Median(std::vector<double>* values)
{
    auto middle = values->begin() + (std::ptrdiff_t)(values->size() / 2);
    std::nth_element(values->begin(), middle, values->end());
    return *middle;
}

// The midtones transfer function: 0 -> 0, m -> 0.5, 1 -> 1.
double Midtones(double m, double x)
{
    if (x <= 0.0)
        return 0.0;
    if (x >= 1.0)
        return 1.0;
    return (m - 1.0) * x / ((2.0 * m - 1.0) * x - m);
}

} // namespace

StretchCurve AutoStretch(const Frame& frame)
{
    StretchCurve curve;
    if (frame.pixels.empty())
        return curve;
    size_t step = std::max<size_t>(1, frame.pixels.size() / kSamples);
    std::vector<double> sample;
    for (size_t i = 0; i < frame.pixels.size(); i += step)
        sample.push_back(frame.pixels[i]);
    double median = Median(&sample);
    for (double& value : sample)
        value = std::fabs(value - median);
    // 1.4826 turns the median absolute deviation into a standard deviation
    // for normal noise.
    double sigma = 1.4826 * Median(&sample);
    auto range = std::minmax_element(frame.pixels.begin(), frame.pixels.end());
    curve.highlights = *range.second;
    curve.shadows = std::clamp(median - kShadowClip * sigma, (double)*range.first, median);
    double span = curve.highlights - curve.shadows;
    if (span <= 0.0)
        return curve;
    double background = (median - curve.shadows) / span;
    curve.midtones = background > 0.0 ? Midtones(kTargetBackground, background) : 0.5;
    return curve;
}

std::vector<uint8_t> ApplyStretch(const Frame& frame, const StretchCurve& curve)
{
    // One entry per possible pixel value: a 16 MP frame then costs a table
    // look-up per pixel instead of a division.
    std::vector<uint8_t> table(65536);
    double span = std::max(curve.highlights - curve.shadows, 1.0);
    for (size_t value = 0; value < table.size(); ++value) {
        double x = ((double)value - curve.shadows) / span;
        table[value] = (uint8_t)std::lround(255.0 * Midtones(curve.midtones, x));
    }
    std::vector<uint8_t> grey(frame.pixels.size());
    for (size_t i = 0; i < grey.size(); ++i)
        grey[i] = table[frame.pixels[i]];
    return grey;
}

} // namespace capture
