# Runs the host example on a channel of its own: a fresh root relative to the
# working directory (so the same path serves under Wine) and a master name
# no other run on this machine uses, removed afterwards.
#   cmake -DHOST=zeb_host [-DEMULATOR=wine] [-DLIBRARIES="master;follower"] -P run_host.cmake
string(RANDOM LENGTH 12 suffix)
set(root host-root-${suffix})
set(master example-${suffix})
file(MAKE_DIRECTORY ${root})
execute_process(COMMAND ${EMULATOR} ${HOST} ${root} ${master} ${LIBRARIES}
  RESULT_VARIABLE result OUTPUT_VARIABLE output)
file(REMOVE_RECURSE ${root})
file(REMOVE /dev/shm/zeb_${master})
message("${output}")
if(NOT result EQUAL 0)
  message(FATAL_ERROR "zeb_host ended with ${result}")
endif()
string(REGEX MATCHALL "ticket [0-9]+ [A-Z]+" trades "${output}")
if(NOT trades STREQUAL "ticket 5001 EURUSD;ticket 5002 XAUUSD;ticket 5003 GBPUSD")
  message(FATAL_ERROR "zeb_host printed other trades: ${trades}")
endif()
