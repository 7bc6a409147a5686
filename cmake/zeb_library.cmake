# zeb_shared_library(TARGET EXPORT_NAME DEF_FILE): links one of the zeb
# libraries the way its platform's hosts load it, with the project's version,
# and gives hosts that link it the public headers; installed, it is
# zeb::EXPORT_NAME.
function(zeb_shared_library target export_name def_file)
  target_include_directories(${target} INTERFACE
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include> $<BUILD_INTERFACE:${PROJECT_BINARY_DIR}/include>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  set_target_properties(${target} PROPERTIES EXPORT_NAME ${export_name})
  add_library(zeb::${export_name} ALIAS ${target})
  if(WIN32)
    # Hosts bind the exports by their plain names: the .def file lists them
    # undecorated, and on 32-bit Windows the linker binds each name to its
    # stdcall symbol (Init to Init@8) without a warning.
    target_sources(${target} PRIVATE ${def_file})
    target_link_options(${target} PRIVATE -Wl,--enable-stdcall-fixup)
    set_target_properties(${target} PROPERTIES PREFIX "")
    zeb_version_resource(${target} "zeb ${export_name} library")
  else()
    # Calls inside the library bind to its own definitions, so a process that
    # loads both libraries (which both export Init, ErrorCode, ErrorMsg) never
    # mixes them up.
    target_link_options(${target} PRIVATE -Wl,-Bsymbolic)
    # The file name carries the major version (libzebmaster.so.1), which
    # changes only when hosts or the files on disk would break.
    set_target_properties(${target} PROPERTIES
      VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  endif()
endfunction()
