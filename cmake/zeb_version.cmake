# The project's one version, as the headers and the Windows binaries show it:
# zeb/version.h in the build tree's include directory, installed with the
# public headers, and a version resource for each Windows binary.
configure_file(${PROJECT_SOURCE_DIR}/include/zeb/version.h.in
  ${PROJECT_BINARY_DIR}/include/zeb/version.h @ONLY)

if(WIN32)
  enable_language(RC)
endif()

# zeb_version_resource(TARGET DESCRIPTION): on Windows, the binary carries
# the project's version and DESCRIPTION in its file properties.
function(zeb_version_resource target description)
  if(NOT WIN32)
    return()
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(zeb_file_type VFT_APP)
    set(zeb_file_name ${target}${CMAKE_EXECUTABLE_SUFFIX})
  else()
    set(zeb_file_type VFT_DLL)
    set(zeb_file_name ${target}${CMAKE_SHARED_LIBRARY_SUFFIX})
  endif()
  set(zeb_target ${target})
  set(zeb_description "${description}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/zeb_version.rc.in
    ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
endfunction()
