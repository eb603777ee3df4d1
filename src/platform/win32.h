// The one place where the driver learns which Win32 it runs on.
//
// On Windows the real system headers are used; everywhere else the same
// names come from the emulation under emul/, which implements exactly the
// subset the driver calls. The build system decides which one is compiled;
// no other source of the driver tests for the platform.
#pragma once

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <mmsystem.h>
#include <setupapi.h>
#include <dbt.h>
#else
#include "platform/emul/types.h"
#include "platform/emul/kernel.h"
#include "platform/emul/user.h"
#include "platform/emul/setupapi.h"
#include "platform/emul/module.h"
#include "platform/emul/winmm.h"
#endif
