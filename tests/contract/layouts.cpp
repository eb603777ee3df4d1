// The record layouts the driver depends on, checked at compile time in every
// build: the 32-bit product, the 64-bit Windows build and the emulation,
// whose declarations must match the real headers of its 64-bit twin.
#include <cfloat>
#include <cstddef>

#include "platform/win32.h"

#if defined(_WIN32) && !defined(_WIN64)
// The product: the driver sets cbSize to these values.
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 5, "detail record of a 32-bit build");
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == 28, "interface record of a 32-bit build");
#else
static_assert(sizeof(void*) == 8, "a build that is not i686 is a 64-bit one");
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 8, "detail record of a 64-bit build");
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == 32, "interface record of a 64-bit build");
#endif

// The driver copies the device path to byte 28 of its 290-byte filter
// block and reads a removal's name from there.
static_assert(offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name) == 28, "name offset");
static_assert(sizeof(DEV_BROADCAST_HDR) == 12, "broadcast header");
static_assert(offsetof(DEV_BROADCAST_PORT_A, dbcp_name) == 12, "port name offset");
static_assert(sizeof(DEV_BROADCAST_VOLUME) == 20, "volume record");
static_assert(DBT_DEVNODES_CHANGED == 0x0007 && DBT_DEVICEARRIVAL == 0x8000 &&
                  DBT_DEVICEREMOVECOMPLETE == 0x8004,
              "device events");
static_assert(DBT_DEVTYP_VOLUME == 2 && DBT_DEVTYP_PORT == 3 && DBT_DEVTYP_DEVICEINTERFACE == 5,
              "device types");

// Every build evaluates double arithmetic in the precision of its type, as
// the host build in which the driver's conversions are tested does: the
// i686 product is built for SSE2 arithmetic, not the x87's 80 bits, so its
// temperature, set-point, preflash and time counts round as tested.
static_assert(FLT_EVAL_METHOD == 0, "floating point evaluated as in the host build");
