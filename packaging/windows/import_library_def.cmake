# Writes the .def file that dlltool makes a DLL's import library from: the
# DLL's exports, each under the symbol a host's compiler calls it by. 32-bit
# compilers decorate a stdcall function (Init is _Init@8, the @8 its
# arguments' size); 64-bit ones do not. The decorated names are read from the
# symbol table of the unstripped DLL, where the library's own definitions
# carry them, so they cannot drift from the code; dlltool --kill-at then binds
# each to the plain name that the DLL exports.
#   cmake -DNM=i686-w64-mingw32-nm -DDLL=zebmaster.dll -DDEF=zebmaster.def
#         -DOUTPUT=import.def -P import_library_def.cmake
execute_process(COMMAND ${NM} -g --defined-only ${DLL} OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${NM} could not list the symbols of ${DLL}")
endif()
set(symbols "\n${symbols}")
file(STRINGS ${DEF} lines)
set(content "")
set(in_exports OFF)
foreach(line IN LISTS lines)
  string(STRIP "${line}" line)
  if(line MATCHES "^LIBRARY ")
    string(APPEND content "${line}\n")
  elseif(line STREQUAL "EXPORTS")
    string(APPEND content "EXPORTS\n")
    set(in_exports ON)
  elseif(in_exports AND line MATCHES "^[A-Za-z_][A-Za-z0-9_]*$")
    if(symbols MATCHES "\n[0-9a-f]+ T _?(${line}@[0-9]+)\n")
      string(APPEND content "  ${CMAKE_MATCH_1}\n")
    elseif(symbols MATCHES "\n[0-9a-f]+ T _?${line}\n")
      string(APPEND content "  ${line}\n")
    else()
      message(FATAL_ERROR "${DLL} defines no function ${line}, which ${DEF} exports")
    endif()
  endif()
endforeach()
file(WRITE ${OUTPUT} "${content}")
