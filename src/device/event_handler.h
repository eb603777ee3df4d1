#pragma once

#include "hostsupport/class.h"
#include "platform/win32.h"

namespace r6odi {

// Whatever receives the messages of a peer window. The window procedure
// hands a message over only when the window carries its owner in
// GWLP_USERDATA; `result` holds the window handle's value beforehand and is
// what the procedure returns when the message was handled.
class CEventHandler : public CLASS {
public:
    virtual bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) = 0;

protected:
    ~CEventHandler() = default;
};

} // namespace r6odi
