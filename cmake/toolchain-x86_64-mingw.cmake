# Cross build for x86_64 Windows: the same driver and the Windows test
# programs, run under wine64 (this machine cannot execute 32-bit code, so the
# 64-bit build is the one whose behaviour is tested on the real API).
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(R6ODI_MINGW_TARGET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
