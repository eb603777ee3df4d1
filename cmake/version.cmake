# Version resources for the Windows binaries. The version is the project's
# (the top CMakeLists.txt), so the DLL, the programs and the package name can
# never disagree.
enable_language(RC)

set(R6ODI_PRODUCT_NAME "r6odi camera driver")
string(REPLACE "." "," R6ODI_VERSION_COMMAS "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")

# r6odi_version_resource(<target> <description>): gives the DLL or program
# its version resource, with <description> as its FileDescription.
function(r6odi_version_resource target description)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "SHARED_LIBRARY")
    set(r6odi_file_type VFT_DLL)
  else()
    set(r6odi_file_type VFT_APP)
  endif()
  set(r6odi_description "${description}")
  set(r6odi_internal_name ${target})
  set(r6odi_file_name $<TARGET_FILE_NAME:${target}>)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/version.rc.in ${rc}.in @ONLY)
  # The file name comes from the target, which only generation knows.
  file(GENERATE OUTPUT ${rc} INPUT ${rc}.in)
  target_sources(${target} PRIVATE ${rc})
endfunction()
