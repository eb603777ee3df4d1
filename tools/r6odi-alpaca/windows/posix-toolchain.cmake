# The Alpaca server's own Windows toolchain: MinGW-w64's posix thread model,
# because cpp-httplib needs std::mutex and std::condition_variable, which
# the win32 model lacks. The driver DLL keeps the win32 model.
set(CMAKE_SYSTEM_NAME Windows)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES R6ODI_MINGW_TARGET)
set(CMAKE_C_COMPILER ${R6ODI_MINGW_TARGET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${R6ODI_MINGW_TARGET}-g++-posix)
set(CMAKE_FIND_ROOT_PATH /usr/${R6ODI_MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The 32-bit build compiles the driver's code as the product does (SSE2
# floating point, a 4-byte aligned incoming stack; see
# cmake/toolchain-i686-mingw.cmake), so the server's driver behaves as the DLL.
if(R6ODI_MINGW_TARGET STREQUAL "i686-w64-mingw32")
  set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse -mincoming-stack-boundary=2")
  set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -mincoming-stack-boundary=2")
endif()
