# What both MinGW-w64 toolchain files share; each sets R6ODI_MINGW_TARGET and
# CMAKE_SYSTEM_PROCESSOR first.
#
# The win32 thread model of MinGW-w64 is used on purpose: the driver starts
# its threads with CreateThread and locks with critical sections, so it needs
# nothing of the posix model, which would only bring libwinpthread-1.dll
# along (as an import, or as a static copy with its own TLS callbacks).
set(CMAKE_SYSTEM_NAME Windows)

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
