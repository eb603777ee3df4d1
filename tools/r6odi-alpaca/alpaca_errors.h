// The Alpaca error numbers this server answers with: the low twelve bits of
// ASCOM's COM error codes, so that .NET clients map them to the exceptions
// their users know.
#pragma once

namespace alpaca {

enum ErrorNumber {
    kSuccess = 0,
    kNotImplemented = 0x400,
    kInvalidValue = 0x401,
    kNotConnected = 0x407,
    kInvalidOperation = 0x40B,
    kActionNotImplemented = 0x40C,
    // What the camera or the driver failed to do: an unplug, a readout that
    // went wrong, a camera that was not found.
    kDriverError = 0x500,
};

} // namespace alpaca
