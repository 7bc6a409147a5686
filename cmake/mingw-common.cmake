# What both mingw-w64 toolchain files share; ZEB_MINGW_TRIPLE names the target.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${ZEB_MINGW_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${ZEB_MINGW_TRIPLE}-g++)
set(CMAKE_RC_COMPILER ${ZEB_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ZEB_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests of the cross build run under Wine when it is installed. 64-bit
# programs go straight to Wine's 64-bit loader, which also works on kernels
# that cannot start the 32-bit loader that the plain "wine" command needs.
if(ZEB_MINGW_TRIPLE MATCHES "^x86_64")
  find_program(ZEB_WINE NAMES wine64 wine PATHS /usr/lib/wine)
else()
  find_program(ZEB_WINE wine)
endif()
if(ZEB_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZEB_WINE})
endif()
