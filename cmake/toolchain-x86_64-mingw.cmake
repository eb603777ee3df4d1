# Cross build for x86_64 Windows: the same driver and the Windows test
# programs, run under wine64 (this machine cannot execute 32-bit code, so the
# 64-bit build is the one whose behaviour is tested on the real API).
#
# Same win32 thread model as the product build, for the same reason: only
# Win32 threads are used, and nothing may pull in libwinpthread-1.dll.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(R6ODI_MINGW_TARGET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${R6ODI_MINGW_TARGET}-gcc-win32)
set(CMAKE_CXX_COMPILER ${R6ODI_MINGW_TARGET}-g++-win32)
set(CMAKE_RC_COMPILER ${R6ODI_MINGW_TARGET}-windres)

# Headers and libraries of the target only; programs (python3, wine) come
# from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${R6ODI_MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
