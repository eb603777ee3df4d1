# Running the Windows programs under Wine from CTest: the x86_64 build's
# under wine64, the i686 build's (the product itself) under Wine's 32-bit
# loader emulated by qemu-i386 (see scripts/wine-run.sh).
#
# Every such test runs through scripts/wine-run.sh in one Wine prefix of the
# build tree. A fixture test creates the prefix the first time (wineboot
# takes a while; the i686 build also puts Wine's 32-bit DLLs in it) and
# starts its wineserver; the tests reuse both; a cleanup fixture stops the
# server so that nothing of Wine outlives the test run.
find_program(R6ODI_WINE64 NAMES wine64 HINTS /usr/lib/wine /usr/lib/x86_64-linux-gnu/wine
             DOC "the wine64 loader")
find_program(R6ODI_WINESERVER NAMES wineserver64 wineserver HINTS /usr/lib/wine
             /usr/lib/x86_64-linux-gnu/wine DOC "the wineserver of that Wine")

set(R6ODI_WINE_FOUND OFF)
set(r6odi_wine_arch_options "")
if(R6ODI_WIN64)
  set(r6odi_wine_tools_found ON)
else()
  # The 32-bit loader is the plain `wine` of wine32:i386; it is looked for
  # by its path only, never in PATH, where it would be taken for wine64's.
  find_program(R6ODI_QEMU_I386 NAMES qemu-i386 DOC "qemu-user's i386 emulator")
  find_program(R6ODI_WINE32 NAMES wine PATHS /usr/lib/wine /usr/lib/i386-linux-gnu/wine
               NO_DEFAULT_PATH DOC "Wine's 32-bit loader (wine32:i386)")
  find_path(R6ODI_WINE32_DLLS NAMES kernel32.dll PATHS /usr/lib/i386-linux-gnu/wine/i386-windows
            NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH DOC "Wine's 32-bit DLLs (libwine:i386)")
  set(r6odi_wine_tools_found OFF)
  if(R6ODI_QEMU_I386 AND R6ODI_WINE32 AND R6ODI_WINE32_DLLS)
    set(r6odi_wine_tools_found ON)
    set(r6odi_wine_arch_options --arch i686 --qemu ${R6ODI_QEMU_I386} --wine32 ${R6ODI_WINE32}
                                --dlls ${R6ODI_WINE32_DLLS})
  endif()
endif()

if(R6ODI_WINE64 AND R6ODI_WINESERVER AND r6odi_wine_tools_found)
  set(R6ODI_WINE_FOUND ON)
  set(R6ODI_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  set(R6ODI_WINE_RUN sh ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh --prefix ${R6ODI_WINE_PREFIX}
                     --wine ${R6ODI_WINE64} --server ${R6ODI_WINESERVER} ${r6odi_wine_arch_options})
  # add_test(COMMAND <target>) runs the program through the script.
  set(CMAKE_CROSSCOMPILING_EMULATOR ${R6ODI_WINE_RUN})

  add_test(NAME wine.prefix COMMAND ${R6ODI_WINE_RUN} --setup)
  set_tests_properties(wine.prefix PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
  add_test(NAME wine.stop COMMAND ${R6ODI_WINE_RUN} --stop)
  set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60)
elseif(R6ODI_WIN64)
  message(WARNING "wine64 not found: the Windows test programs are built but not run")
else()
  message(WARNING "wine64, qemu-i386 (qemu-user) or wine32:i386 not found: the i686 test "
                  "programs are built but not run")
endif()

# r6odi_add_wine_test(<name> <target> [args...]): runs the program under
# Wine in the prefix of the build tree; its exit code is the result.
function(r6odi_add_wine_test name target)
  add_test(NAME ${name} COMMAND ${target} ${ARGN})
  # Emulated, a 32-bit program starts in seconds and runs several times
  # slower than natively.
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 300)
endfunction()
