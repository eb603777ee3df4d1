# Cross build of the product: the 32-bit d_r6odi.dll that the host
# application loads.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(R6ODI_MINGW_TARGET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)

# SSE2 with SSE floating point: the compiler's default i686 target is the
# Pentium Pro's x87, whose 80-bit intermediates can round the driver's
# temperature, set-point, preflash and time conversions differently from the
# host build in which they are tested (every processor that runs a supported
# Windows has SSE2). tests/contract/layouts.cpp asserts FLT_EVAL_METHOD 0.
#
# The 32-bit Windows ABI promises callees only a 4-byte aligned stack, and
# the host application calls the exports (and Windows the window procedure
# and the thread routine) from code of any compiler: functions that keep
# SSE values on the stack realign it themselves rather than assume 16 bytes.
set(R6ODI_I686_FLAGS "-msse2 -mfpmath=sse -mincoming-stack-boundary=2")
set(CMAKE_C_FLAGS_INIT "${R6ODI_I686_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${R6ODI_I686_FLAGS}")
