// The host's binning codes: 16 pairs of horizontal and vertical factors, each
// with the name the host shows in its list.
#pragma once

#include <cstdint>

struct BinningCode {
    int32_t factorX;
    int32_t factorY;
    const char* name;
};

constexpr int32_t kBinningCodeCount = 16;

// The entry of `code`; a code outside 0..15 is read as code 0, so that a
// host that sends something unexpected still gets an unbinned frame.
const BinningCode& LookUpBinningCode(int32_t code);
