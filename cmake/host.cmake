# Host build: the driver as a library over the emulated Win32 layer, the
# simulated camera bus, GoogleTest tests under CTest, tools and benchmarks.
enable_testing()

if(R6ODI_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

find_package(Threads REQUIRED)
find_package(GTest REQUIRED)

# The emulation and the driver are shared objects, as the driver is a DLL on
# Windows: the emulated loader tells the driver's code from the program's by
# the image an address lies in (dladdr), so that unloading the module can
# name whatever still points into it. One emulation serves the whole process.
# The fuzz targets compile some driver sources into themselves for their
# coverage, which wants the driver linked statically; their modules then lie
# in the program and map no code of their own.
if(R6ODI_FUZZ)
  set(R6ODI_LIBRARY_TYPE STATIC)
else()
  set(R6ODI_LIBRARY_TYPE SHARED)
endif()
file(GLOB EMUL_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/platform/emul/*.cpp)
add_library(r6odi_platform ${R6ODI_LIBRARY_TYPE} ${EMUL_SOURCES})
target_include_directories(r6odi_platform PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(r6odi_platform PUBLIC Threads::Threads ${CMAKE_DL_LIBS})

# The driver itself.
add_library(r6odi_driver ${R6ODI_LIBRARY_TYPE} ${R6ODI_SOURCES} ${CMAKE_SOURCE_DIR}/src/platform/win32.h)
set_target_properties(r6odi_driver PROPERTIES LINKER_LANGUAGE CXX)
target_include_directories(r6odi_driver PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(r6odi_driver PUBLIC r6odi_platform)

file(GLOB SIM_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/sim/*.cpp)
add_library(r6odi_sim STATIC ${SIM_SOURCES} ${CMAKE_SOURCE_DIR}/sim/README.md)
set_target_properties(r6odi_sim PROPERTIES LINKER_LANGUAGE CXX)
target_include_directories(r6odi_sim PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(r6odi_sim PUBLIC r6odi_platform)

# A module of its own for the tests of the emulated loader (contract tests
# and tests/host/emul): its code lies in an image apart from the program's.
add_library(contract_module ${R6ODI_LIBRARY_TYPE} ${CMAKE_SOURCE_DIR}/tests/contract/module/contract_module.cpp)
target_include_directories(contract_module PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(contract_module PUBLIC r6odi_platform)

# Host tests: each folder tests/host/<area> is one GoogleTest program, so
# that one area can be built and run on its own.
include(GoogleTest)
file(GLOB HOST_TEST_AREAS LIST_DIRECTORIES true ${CMAKE_SOURCE_DIR}/tests/host/*)
foreach(area_dir IN LISTS HOST_TEST_AREAS)
  if(NOT IS_DIRECTORY ${area_dir})
    continue()
  endif()
  get_filename_component(area ${area_dir} NAME)
  file(GLOB area_sources CONFIGURE_DEPENDS ${area_dir}/*.cpp)
  if(NOT area_sources)
    continue()
  endif()
  add_executable(host_${area}_tests ${area_sources})
  target_include_directories(host_${area}_tests PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(host_${area}_tests PRIVATE r6odi_driver r6odi_sim GTest::gtest GTest::gtest_main)
  gtest_discover_tests(host_${area}_tests DISCOVERY_TIMEOUT 60 TEST_PREFIX ${area}.)
endforeach()
target_link_libraries(host_emul_tests PRIVATE contract_module)

# Contract tests of the Win32 subset: the same sources run here against the
# emulation and, in the x86_64 Windows build, against the real API.
file(GLOB CONTRACT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/contract/*.cpp)
if(CONTRACT_SOURCES)
  add_executable(contract_tests ${CONTRACT_SOURCES})
  target_include_directories(contract_tests PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(contract_tests PRIVATE r6odi_platform contract_module)
  add_test(NAME contract_tests_emulated COMMAND contract_tests)
endif()

# Tools, the main job among them.
file(GLOB TOOL_DIRS LIST_DIRECTORIES true ${CMAKE_SOURCE_DIR}/tools/*)
foreach(dir IN LISTS TOOL_DIRS)
  if(IS_DIRECTORY ${dir} AND EXISTS ${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endforeach()

if(R6ODI_BENCH AND EXISTS ${CMAKE_SOURCE_DIR}/bench/CMakeLists.txt)
  add_subdirectory(bench)
endif()
if(R6ODI_FUZZ AND EXISTS ${CMAKE_SOURCE_DIR}/tests/fuzz/CMakeLists.txt)
  add_subdirectory(tests/fuzz)
endif()
