#include "driver/binning_code.h"

namespace {

// The order is the host's: its list shows the names in code order, so the
// square binnings come first.
const BinningCode kBinningCodes[kBinningCodeCount] = {
    {1, 1, "1 x 1"}, {2, 2, "2 x 2"}, {3, 3, "3 x 3"}, {4, 4, "4 x 4"},
    {1, 2, "1 x 2"}, {1, 3, "1 x 3"}, {1, 4, "1 x 4"}, {2, 1, "2 x 1"},
    {2, 3, "2 x 3"}, {2, 4, "2 x 4"}, {3, 1, "3 x 1"}, {3, 2, "3 x 2"},
    {3, 4, "3 x 4"}, {4, 1, "4 x 1"}, {4, 2, "4 x 2"}, {4, 3, "4 x 3"},
};

} // namespace

const BinningCode& LookUpBinningCode(int32_t code)
{
    if (code < 0 || code >= kBinningCodeCount)
        code = 0;
    return kBinningCodes[code];
}
