# Windows builds (MinGW-w64, see the toolchain files): the driver DLL, the
# check of its export and import tables, the contract tests against the real
# Win32 API and, in the x86_64 build, their runs under wine64.
enable_testing()

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(R6ODI_WIN64 ON)
else()
  set(R6ODI_WIN64 OFF)
endif()

# The test programs run under Wine (the i686 ones through qemu-i386):
# wine.cmake sets CMAKE_CROSSCOMPILING_EMULATOR, which must be in place
# before any target.
include(${CMAKE_SOURCE_DIR}/cmake/wine.cmake)
include(${CMAKE_SOURCE_DIR}/cmake/version.cmake)
include(${CMAKE_SOURCE_DIR}/cmake/thirdparty.cmake)

# The DLL must load on a Windows that has nothing but the system DLLs, so the
# compiler's runtime goes inside every binary. -static also keeps out any
# import library of a compiler DLL that a later change might pull in.
add_link_options(-static -static-libgcc -static-libstdc++)

# --- The driver --------------------------------------------------------------
# The driver's objects are compiled once: the DLL is made of them, and so is
# part of wine_tests, which calls the driver's own functions in processes of
# its own (two copies of the driver contending for one device).
add_library(r6odi_objects OBJECT ${R6ODI_SOURCES})
target_include_directories(r6odi_objects PUBLIC ${CMAKE_SOURCE_DIR}/src)

set(R6ODI_DEF_FILE ${CMAKE_SOURCE_DIR}/src/driver/d_r6odi.def)
add_library(d_r6odi SHARED $<TARGET_OBJECTS:r6odi_objects> ${R6ODI_DEF_FILE})
set_target_properties(d_r6odi PROPERTIES PREFIX "" OUTPUT_NAME d_r6odi)
target_include_directories(d_r6odi PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(d_r6odi PRIVATE user32 setupapi winmm)
r6odi_version_resource(d_r6odi "r6odi driver for cooled USB CCD cameras")
# The .def file is the only source of exports: without --exclude-all-symbols
# a .def whose EXPORTS section is still empty makes the linker export every
# global symbol. A linker warning fails the link.
set(R6ODI_DLL_LINK_OPTIONS -Wl,--exclude-all-symbols -Wl,--fatal-warnings)
if(NOT R6ODI_WIN64)
  # Without the stdcall fixup, a .def entry that names a stdcall function
  # without its @N alias fails the link instead of being matched to the
  # decorated symbol (a wrong N fails it anyway). The 64-bit linker needs the
  # fixup to read the same .def: there the @N names resolve to the plain
  # symbols, 64-bit code having one convention.
  list(APPEND R6ODI_DLL_LINK_OPTIONS -Wl,--disable-stdcall-fixup)
endif()
target_link_options(d_r6odi PRIVATE ${R6ODI_DLL_LINK_OPTIONS})

# --- Export and import check -------------------------------------------------
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND)
  # The interpreter itself rather than a launcher in front of it (a version
  # manager's shim costs half a second per start, and every check starts one).
  execute_process(COMMAND ${Python3_EXECUTABLE} -c "import sys; print(sys.executable)"
                  OUTPUT_VARIABLE r6odi_python OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE r6odi_rc)
  if(r6odi_rc EQUAL 0 AND EXISTS "${r6odi_python}")
    set(Python3_EXECUTABLE ${r6odi_python})
  endif()
endif()
if(DEFINED R6ODI_MINGW_TARGET)
  set(r6odi_objdump_names ${R6ODI_MINGW_TARGET}-objdump)
endif()
find_program(R6ODI_OBJDUMP NAMES ${r6odi_objdump_names} objdump DOC "objdump of the cross binutils")

set(R6ODI_PECHECK ${CMAKE_SOURCE_DIR}/tools/pecheck/pecheck.py)
set(R6ODI_EXPECT_REJECT ${CMAKE_SOURCE_DIR}/tools/pecheck/expect_reject.py)

if(Python3_Interpreter_FOUND AND R6ODI_OBJDUMP)
  add_test(NAME pecheck.d_r6odi
           COMMAND ${Python3_EXECUTABLE} ${R6ODI_PECHECK} --objdump ${R6ODI_OBJDUMP}
                   --library d_r6odi.dll $<TARGET_FILE:d_r6odi>)
  include(${CMAKE_SOURCE_DIR}/tests/wine/export_fixtures/fixtures.cmake)
else()
  message(WARNING "python3 or objdump missing: the export check of d_r6odi.dll is not registered")
endif()

# --- Contract tests and Windows-only tests ------------------------------------
# Built and run in both configurations: under wine64, and as the 32-bit
# product itself under qemu-i386 and Wine's 32-bit loader.
file(GLOB CONTRACT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/contract/*.cpp)
# The module the loader's tests load and unload, beside contract_tests.exe.
add_library(contract_module SHARED ${CMAKE_SOURCE_DIR}/tests/contract/module/contract_module.cpp)
set_target_properties(contract_module PROPERTIES PREFIX "")
target_include_directories(contract_module PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(contract_module PRIVATE user32 winmm)
add_executable(contract_tests ${CONTRACT_SOURCES})
add_dependencies(contract_tests contract_module)
target_include_directories(contract_tests PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(contract_tests PRIVATE user32 setupapi winmm)

file(GLOB WINE_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/*.cpp)
# Besides loading the DLL, the program carries the driver's code itself: its
# processes attach it to their own module and claim devices through it.
add_executable(wine_tests ${WINE_TEST_SOURCES} $<TARGET_OBJECTS:r6odi_objects>)
target_include_directories(wine_tests PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(wine_tests PRIVATE user32 setupapi winmm)
# The DLL is loaded at run time, not linked; it must be built first.
add_dependencies(wine_tests d_r6odi)

if(R6ODI_WINE_FOUND)
  if(R6ODI_WIN64)
    r6odi_add_wine_test(contract_tests_wine contract_tests)
  else()
    # Under qemu-i386, Wine's CancelIoEx brings the emulated process down
    # once it has run a second thread: the cancel contract runs first in a
    # process of its own.
    r6odi_add_wine_test(contract_tests_wine contract_tests "-Overlapped.Cancelled")
    r6odi_add_wine_test(contract_tests_wine_cancel contract_tests "Overlapped.Cancelled")
  endif()
  if(R6ODI_WIN64)
    r6odi_add_wine_test(wine_tests wine_tests --driver "Z:$<TARGET_FILE:d_r6odi>")
  else()
    # An emulated 32-bit process cannot start another one: the tests with
    # child processes run in the 64-bit build only.
    r6odi_add_wine_test(wine_tests wine_tests --driver "Z:$<TARGET_FILE:d_r6odi>"
                        "-Processes.,-Claims.Loser,-Claims.SearchThatFindsNothing,-Claims.Listing,-ModuleCycles.TwoProcesses")
  endif()
endif()

# The exported interface through the real loader: a program of its own, with
# none of the driver's code in it, finds the DLL's exports by name and runs
# the conformance cases that need no camera through them.
add_executable(exports_wine ${CMAKE_SOURCE_DIR}/tests/wine/exports/exports_wine.cpp)
target_include_directories(exports_wine PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
add_dependencies(exports_wine d_r6odi)
if(R6ODI_WINE_FOUND)
  r6odi_add_wine_test(exports_wine exports_wine "Z:$<TARGET_FILE:d_r6odi>")
endif()

# A host that unloads the DLL without d_Finalize during an exposure and keeps
# pumping its messages for 30 s: a program of its own, so that the process
# it would crash is its own.
add_executable(unload_wine ${CMAKE_SOURCE_DIR}/tests/wine/unload/unload_wine.cpp)
add_dependencies(unload_wine d_r6odi)
if(R6ODI_WINE_FOUND)
  r6odi_add_wine_test(unload_wine unload_wine "Z:$<TARGET_FILE:d_r6odi>")
endif()

# --- The capture host ---------------------------------------------------------
# Loads d_r6odi.dll as an imaging application does; built in both
# configurations, run under wine64 in the 64-bit one.
add_subdirectory(${CMAKE_SOURCE_DIR}/tools/hostlayer ${CMAKE_BINARY_DIR}/tools/hostlayer)
add_subdirectory(${CMAKE_SOURCE_DIR}/tools/r6odi-capture ${CMAKE_BINARY_DIR}/tools/r6odi-capture)
# The Alpaca server: a sub-build with the posix MinGW compilers of its own.
add_subdirectory(${CMAKE_SOURCE_DIR}/tools/r6odi-alpaca ${CMAKE_BINARY_DIR}/tools/r6odi-alpaca)

# --- The package for Windows users ----------------------------------------------
# scripts/package.sh packs the product's tree; the test packs this one, unpacks
# the zip and runs what it holds under Wine's 32-bit loader.
if(NOT R6ODI_WIN64 AND R6ODI_WINE_FOUND AND R6ODI_SYSTEM_PYTHON AND R6ODI_OBJDUMP)
  add_test(NAME package.zip
           COMMAND ${R6ODI_SYSTEM_PYTHON} ${CMAKE_SOURCE_DIR}/tests/package/package_test.py
                   --build ${CMAKE_BINARY_DIR} --version ${PROJECT_VERSION} --windres ${CMAKE_RC_COMPILER}
                   --objdump ${R6ODI_OBJDUMP} -- ${R6ODI_WINE_RUN})
  set_tests_properties(package.zip PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 300)
endif()

# --- The setup dialog under the real dialog manager -----------------------------
# Drawn with Wine's X11 driver on an Xvfb display of its own, in a prefix of
# its own (scripts/wine-x11-run.sh); the driver's objects are linked in, so
# the tests read the working copy the dialog wrote. The X11 runner has the
# 64-bit loader only, so the dialog runs under Wine in the 64-bit build.
file(GLOB WINE_DIALOG_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/dialog/*.cpp)
add_executable(wine_dialog_tests ${WINE_DIALOG_TEST_SOURCES} $<TARGET_OBJECTS:r6odi_objects>)
target_include_directories(wine_dialog_tests PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(wine_dialog_tests PRIVATE user32 setupapi winmm)
if(R6ODI_WINE_FOUND AND R6ODI_WIN64)
  set(R6ODI_WINE_X11_RUN sh ${CMAKE_SOURCE_DIR}/scripts/wine-x11-run.sh
                         --prefix ${CMAKE_BINARY_DIR}/wineprefix-x11 --wine ${R6ODI_WINE64}
                         --server ${R6ODI_WINESERVER})
  add_test(NAME wine_x11.prefix COMMAND ${R6ODI_WINE_X11_RUN} --setup)
  set_tests_properties(wine_x11.prefix PROPERTIES FIXTURES_SETUP wine_x11 TIMEOUT 300)
  add_test(NAME wine_dialog_tests COMMAND ${R6ODI_WINE_X11_RUN} $<TARGET_FILE:wine_dialog_tests>)
  set_tests_properties(wine_dialog_tests PROPERTIES FIXTURES_REQUIRED wine_x11 TIMEOUT 180)
endif()

# --- Benchmark ----------------------------------------------------------------
# How late the end of an exposure is seen, on the real clock and the real
# message queue: not a test (its figures depend on the machine), run by hand
# in the 64-bit build:  cmake --build --preset win64 --target run_exposure_latency
add_executable(exposure_latency ${CMAKE_SOURCE_DIR}/bench/exposure_latency.cpp
                                $<TARGET_OBJECTS:r6odi_objects>)
target_include_directories(exposure_latency PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(exposure_latency PRIVATE user32 setupapi winmm)
if(R6ODI_WINE_FOUND)
  add_custom_target(run_exposure_latency
                    COMMAND ${R6ODI_WINE_RUN} --setup
                    COMMAND ${R6ODI_WINE_RUN} $<TARGET_FILE:exposure_latency>
                    COMMAND ${R6ODI_WINE_RUN} --stop
                    DEPENDS exposure_latency
                    USES_TERMINAL)
endif()
