#pragma once

#include <cstdint>

#include "hostsupport/list.h"

namespace k6dlg {

// Capacity of an entry's label, without the terminator.
constexpr int kInstanceTextCapacity = 31;

// One camera offered by the setup dialog: the id the enumeration reported
// (-1 when the device gave none, which opens the first free camera) and the
// label shown for it, "<description>, Id: <id>".
class CDriverInstanceListElem : public CBListElem {
public:
    int32_t cameraId = -1;
    char text[kInstanceTextCapacity + 1] = {};
};

} // namespace k6dlg
