// The list of cameras the setup dialog offers, kept in DriverState
// instanceList in enumeration order. A null list (its allocation failed at
// module start) counts as an empty one everywhere.
#pragma once

#include <cstdint>

#include "setup/driver_instance_list_elem.h"

namespace k6dlg {

// The enumeration's callback: appends one entry for the id.
void AddInstance(int32_t cameraId);

// Refills the list with the cameras that can be opened now, each labelled
// from a short-lived probe of it; returns the number of entries.
int BuildInstanceList();

// The entry at a position of the list, counted from 0; null when there is
// none (a negative position included).
CDriverInstanceListElem* InstanceAt(int position);

} // namespace k6dlg
