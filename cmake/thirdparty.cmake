# The libraries that Debian ships for Linux only and the Windows programs
# need (cfitsio, libpng, zlib, and cpp-httplib's whole header):
# scripts/build-libs.sh cross-compiles them from the upstream tarballs of
# Debian's source archive into the build tree, once; a later configure finds
# them built and goes on at once. They are linked
# statically, so that the programs need no DLL beside them.
if(R6ODI_WIN64)
  set(r6odi_thirdparty_arch x86_64)
else()
  set(r6odi_thirdparty_arch i686)
endif()
set(R6ODI_THIRDPARTY ${CMAKE_BINARY_DIR}/thirdparty CACHE PATH
    "Where the cross-compiled libraries are installed (include/, lib/)")
set(R6ODI_THIRDPARTY_LIBRARIES zlib libpng cfitsio cpp-httplib)

set(r6odi_build_libs ${CMAKE_SOURCE_DIR}/scripts/build-libs.sh)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${r6odi_build_libs})
execute_process(COMMAND bash ${r6odi_build_libs} --arch ${r6odi_thirdparty_arch}
                        --prefix ${R6ODI_THIRDPARTY} ${R6ODI_THIRDPARTY_LIBRARIES}
                RESULT_VARIABLE r6odi_rc)
if(NOT r6odi_rc EQUAL 0)
  message(FATAL_ERROR "building ${R6ODI_THIRDPARTY_LIBRARIES} for ${r6odi_thirdparty_arch} failed")
endif()

# r6odi_thirdparty_library(<name> <file> [dependencies...]): an imported
# static library of the prefix; its headers count as system headers, so the
# build's warnings do not reach into them.
function(r6odi_thirdparty_library name file)
  add_library(r6odi::${name} STATIC IMPORTED GLOBAL)
  set_target_properties(r6odi::${name} PROPERTIES
                        IMPORTED_LOCATION ${R6ODI_THIRDPARTY}/lib/${file}
                        INTERFACE_INCLUDE_DIRECTORIES ${R6ODI_THIRDPARTY}/include
                        INTERFACE_LINK_LIBRARIES "${ARGN}")
endfunction()

r6odi_thirdparty_library(zlib libz.a)
r6odi_thirdparty_library(png libpng16.a r6odi::zlib)
r6odi_thirdparty_library(cfitsio libcfitsio.a r6odi::zlib)
