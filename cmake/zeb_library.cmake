# zeb_shared_library(TARGET DEF_FILE): links one of the zeb libraries the
# way its platform's hosts load it.
function(zeb_shared_library target def_file)
  if(WIN32)
    # Hosts bind the exports by their plain names: the .def file lists them
    # undecorated, and on 32-bit Windows the linker binds each name to its
    # stdcall symbol (Init to Init@8) without a warning.
    target_sources(${target} PRIVATE ${def_file} ${PROJECT_SOURCE_DIR}/core/platform/dll_entry_win32.cpp)
    target_link_options(${target} PRIVATE -Wl,--enable-stdcall-fixup)
    set_target_properties(${target} PROPERTIES PREFIX "")
  else()
    # Calls inside the library bind to its own definitions, so a process that
    # loads both libraries (which both export Init, ErrorCode, ErrorMsg) never
    # mixes them up.
    target_link_options(${target} PRIVATE -Wl,-Bsymbolic)
  endif()
endfunction()
