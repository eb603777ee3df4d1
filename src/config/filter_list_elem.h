#pragma once

#include <cstdint>

#include "hostsupport/list.h"

namespace r6odi {

constexpr int kFilterNameCapacity = 31;

// One filter of the wheel as the configuration file names it.
class CFilterListElem : public CListElem {
public:
    char name[kFilterNameCapacity + 1] = {};
    uint32_t colour = 0; // 0x00BBGGRR
};

} // namespace r6odi
