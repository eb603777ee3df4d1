# Running the x86_64 Windows programs under wine64 from CTest.
#
# Every such test runs through scripts/wine-run.sh in one Wine prefix of the
# build tree. A fixture test creates the prefix the first time (wineboot
# takes a while) and starts its wineserver; the tests reuse both; a cleanup
# fixture stops the server so that nothing of Wine outlives the test run.
find_program(R6ODI_WINE64 NAMES wine64 HINTS /usr/lib/wine /usr/lib/x86_64-linux-gnu/wine
             DOC "the wine64 loader")
find_program(R6ODI_WINESERVER NAMES wineserver64 wineserver HINTS /usr/lib/wine
             /usr/lib/x86_64-linux-gnu/wine DOC "the wineserver of that Wine")

set(R6ODI_WINE_FOUND OFF)
if(R6ODI_WINE64 AND R6ODI_WINESERVER)
  set(R6ODI_WINE_FOUND ON)
  set(R6ODI_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  set(R6ODI_WINE_RUN sh ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh --prefix ${R6ODI_WINE_PREFIX}
                     --wine ${R6ODI_WINE64} --server ${R6ODI_WINESERVER})
  # add_test(COMMAND <target>) runs the program through the script.
  set(CMAKE_CROSSCOMPILING_EMULATOR ${R6ODI_WINE_RUN})

  add_test(NAME wine.prefix COMMAND ${R6ODI_WINE_RUN} --setup)
  set_tests_properties(wine.prefix PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
  add_test(NAME wine.stop COMMAND ${R6ODI_WINE_RUN} --stop)
  set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60)
else()
  message(WARNING "wine64 not found: the Windows test programs are built but not run")
endif()

# r6odi_add_wine_test(<name> <target> [args...]): runs the program under
# wine64 in the prefix of the build tree; its exit code is the result.
function(r6odi_add_wine_test name target)
  add_test(NAME ${name} COMMAND ${target} ${ARGN})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 120)
endfunction()
