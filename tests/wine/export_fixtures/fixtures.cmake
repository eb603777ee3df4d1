# Fixture DLLs that prove the export check can fail: one that it must accept
# and one for each fault it must reject, with the reason it must give.
# The faults of calling conventions exist only in the 32-bit build; the rest
# is checked in both, which also proves that the 64-bit linker reads the
# 32-bit style .def files.
set(R6ODI_EXPORT_FIXTURES_DIR ${CMAKE_CURRENT_LIST_DIR})

# r6odi_export_fixture(<name> [REJECT <regex>] [LINK <libraries>] [SHARED_RUNTIME])
function(r6odi_export_fixture name)
  cmake_parse_arguments(PARSE_ARGV 1 FIXTURE "SHARED_RUNTIME" "REJECT" "LINK")
  set(target export_fixture_${name})
  add_library(${target} SHARED ${R6ODI_EXPORT_FIXTURES_DIR}/${name}.cpp
                               ${R6ODI_EXPORT_FIXTURES_DIR}/${name}.def)
  set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME fixture_${name})
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/tests/wine)
  if(FIXTURE_SHARED_RUNTIME)
    # Drop the static runtime of every other binary of this build.
    set_property(TARGET ${target} PROPERTY LINK_OPTIONS "")
  endif()
  target_link_options(${target} PRIVATE ${R6ODI_DLL_LINK_OPTIONS})
  if(FIXTURE_LINK)
    target_link_libraries(${target} PRIVATE ${FIXTURE_LINK})
  endif()

  set(check ${R6ODI_PECHECK} --objdump ${R6ODI_OBJDUMP} $<TARGET_FILE:${target}>)
  if(DEFINED FIXTURE_REJECT)
    add_test(NAME pecheck.rejects.${name}
             COMMAND ${Python3_EXECUTABLE} ${R6ODI_EXPECT_REJECT} ${FIXTURE_REJECT}
                     ${Python3_EXECUTABLE} ${check})
  else()
    add_test(NAME pecheck.accepts.${name} COMMAND ${Python3_EXECUTABLE} ${check})
  endif()
endfunction()

r6odi_export_fixture(accepted)
add_test(NAME pecheck.rejects.library_name
         COMMAND ${Python3_EXECUTABLE} ${R6ODI_EXPECT_REJECT}
                 "the export table names the library 'fixture_accepted.dll', want 'd_r6odi.dll'$"
                 ${Python3_EXECUTABLE} ${R6ODI_PECHECK} --objdump ${R6ODI_OBJDUMP}
                 --library d_r6odi.dll $<TARGET_FILE:export_fixture_accepted>)
if(NOT R6ODI_WIN64)
  r6odi_export_fixture(cdecl_callee
    REJECT "d_Subframe: 'ret' at 0x[0-9a-f]+, want 'ret \\$0x14' \\(callee, 5 arguments\\)")
  r6odi_export_fixture(tail_call
    REJECT "d_SetupCCD: 'ret' at 0x[0-9a-f]+, want 'ret \\$0x4' \\(callee, 1 argument\\)")
  r6odi_export_fixture(stdcall_caller
    REJECT "d_GetOK: 'ret \\$0x4' at 0x[0-9a-f]+, want 'ret' \\(caller, 0 arguments\\)")
  r6odi_export_fixture(argument_count
    REJECT "d_StartExposure: 'ret \\$0xc' at 0x[0-9a-f]+, want 'ret \\$0x8' \\(callee, 2 arguments\\)")
  # A stripped DLL is checked with the symbols of its own link only.
  add_test(NAME pecheck.rejects.foreign_symbols
           COMMAND ${Python3_EXECUTABLE} ${R6ODI_EXPECT_REJECT}
                   "code section \\.text differs from that of fixture_accepted\\.dll"
                   ${Python3_EXECUTABLE} ${R6ODI_PECHECK} --objdump ${R6ODI_OBJDUMP}
                   --symbols $<TARGET_FILE:export_fixture_accepted> $<TARGET_FILE:d_r6odi>)
endif()
r6odi_export_fixture(wrong_ordinal REJECT "d_GetOK: ordinal 8, want 9$")
r6odi_export_fixture(unknown_export REJECT "d_GetVersion: not in the export table of the driver$")
r6odi_export_fixture(decorated_name REJECT "d_Initialize@4: decorated name, want d_Initialize$")
r6odi_export_fixture(runtime_import SHARED_RUNTIME
  REJECT "imports libstdc\\+\\+-6\\.dll, which is not one of the allowed system DLLs$")
r6odi_export_fixture(system_import LINK advapi32
  REJECT "imports ADVAPI32\\.dll, which is not one of the allowed system DLLs$")
