#pragma once

namespace r6odi {

// A value rounded to two decimals, halves away from zero, for display.
double RoundToHundredths(float value);

} // namespace r6odi
