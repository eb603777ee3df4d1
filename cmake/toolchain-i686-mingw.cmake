# Cross build of the product: the 32-bit d_r6odi.dll that the host
# application loads.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(R6ODI_MINGW_TARGET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
