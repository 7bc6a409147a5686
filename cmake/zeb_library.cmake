# zeb_shared_library(TARGET EXPORT_NAME DEF_FILE): links one of the zeb
# libraries the way its platform's hosts load it, with the project's version,
# and gives hosts that link it the public headers; installed, it is
# zeb::EXPORT_NAME.
function(zeb_shared_library target export_name def_file)
  target_link_libraries(${target} INTERFACE zebheaders)
  set_target_properties(${target} PROPERTIES EXPORT_NAME ${export_name})
  # Both libraries export Init, ErrorCode and ErrorMsg. A program that links
  # both binds each of those names once, to whichever library comes first (on
  # Linux without a word), so the other role's calls reach the wrong library. CMake compares this property across everything a target links and
  # stops the generate step when a target would get both roles; the
  # property's name is the explanation the error shows. A program that plays
  # both roles loads the libraries at run time (zeb::headers, zeb_dynload.h).
  set_target_properties(${target} PROPERTIES
    INTERFACE_ZEB_LINK_MASTER_OR_FOLLOWER_NOT_BOTH ${export_name}
    COMPATIBLE_INTERFACE_STRING ZEB_LINK_MASTER_OR_FOLLOWER_NOT_BOTH)
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
