# The NATS C client that zebbridge links, as the target zeb_nats:
# - elsewhere than Windows, the one pkg-config finds (module libnats; Debian
#   package libnats-dev);
# - for Windows, an installed cnats CMake package (vcpkg's cnats, with MSVC
#   or mingw-w64), or else the release source nats.c-3.4.1.tar.gz from
#   ZEB_THIRD_PARTY_DIR, built once in this build tree for the target: a
#   static library without TLS, since no OpenSSL for the target is at hand.
# Sets ZEB_NATS_FOUND, and ZEB_NATS_MISSING saying why when there is none.

set(ZEB_NATS_FOUND OFF)
set(ZEB_NATS_MISSING "")

if(NOT WIN32)
  find_package(PkgConfig QUIET)
  if(PkgConfig_FOUND AND NOT CMAKE_CROSSCOMPILING)
    pkg_check_modules(LIBNATS QUIET IMPORTED_TARGET libnats)
  endif()
  if(LIBNATS_FOUND)
    add_library(zeb_nats INTERFACE)
    target_link_libraries(zeb_nats INTERFACE PkgConfig::LIBNATS)
    set(ZEB_NATS_FOUND ON)
  else()
    set(ZEB_NATS_MISSING "the NATS C client is missing (pkg-config module libnats; Debian package libnats-dev)")
  endif()
  return()
endif()

set(ZEB_THIRD_PARTY_DIR ${PROJECT_SOURCE_DIR}/../shared/third_party CACHE PATH
  "Release sources for the Windows build of zebbridge (nats.c-3.4.1.tar.gz)")
set(zeb_nats_tarball ${ZEB_THIRD_PARTY_DIR}/nats.c-3.4.1.tar.gz)
set(zeb_nats_sha256 a1a19247f74860d15eed8e357cf076441ffc5427d53038f83685e0eb81f3744b)

find_package(cnats CONFIG QUIET)
if(TARGET cnats::nats_static OR TARGET cnats::nats)
  add_library(zeb_nats INTERFACE)
  if(TARGET cnats::nats_static)
    target_link_libraries(zeb_nats INTERFACE cnats::nats_static)
  else()
    target_link_libraries(zeb_nats INTERFACE cnats::nats)
  endif()
elseif(EXISTS ${zeb_nats_tarball})
  file(SHA256 ${zeb_nats_tarball} zeb_nats_found_sha256)
  if(NOT zeb_nats_found_sha256 STREQUAL zeb_nats_sha256)
    set(ZEB_NATS_MISSING "${zeb_nats_tarball} is not the nats.c 3.4.1 release (SHA-256 ${zeb_nats_found_sha256})")
    return()
  endif()
  include(ExternalProject)
  if(POLICY CMP0135)
    cmake_policy(SET CMP0135 NEW)
  endif()
  # The client's build gets this build's compilers: the toolchain file of a
  # cross build (absolute, as the client is configured in a folder of its
  # own), or the compiler itself.
  set(zeb_nats_compilers -DCMAKE_C_COMPILER=${CMAKE_C_COMPILER})
  if(CMAKE_TOOLCHAIN_FILE)
    get_filename_component(toolchain ${CMAKE_TOOLCHAIN_FILE} ABSOLUTE BASE_DIR ${CMAKE_BINARY_DIR})
    if(NOT EXISTS ${toolchain})
      get_filename_component(toolchain ${CMAKE_TOOLCHAIN_FILE} ABSOLUTE BASE_DIR ${CMAKE_SOURCE_DIR})
    endif()
    set(zeb_nats_compilers -DCMAKE_TOOLCHAIN_FILE=${toolchain})
  endif()
  set(installed ${CMAKE_BINARY_DIR}/third_party/nats.c)
  set(library ${installed}/lib/${CMAKE_STATIC_LIBRARY_PREFIX}nats_static${CMAKE_STATIC_LIBRARY_SUFFIX})
  # Built only for what links it: not at all in a build without the bridge.
  ExternalProject_Add(zeb_nats_c
    PREFIX ${CMAKE_BINARY_DIR}/third_party/nats.c-build
    URL ${zeb_nats_tarball}
    URL_HASH SHA256=${zeb_nats_sha256}
    INSTALL_DIR ${installed}
    CMAKE_ARGS ${zeb_nats_compilers} -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=<INSTALL_DIR>
      -DNATS_BUILD_WITH_TLS=OFF -DNATS_BUILD_STREAMING=OFF -DNATS_BUILD_EXAMPLES=OFF
      -DNATS_BUILD_LIB_SHARED=OFF -DBUILD_TESTING=OFF
    BUILD_BYPRODUCTS ${library}
    EXCLUDE_FROM_ALL TRUE
    LOG_CONFIGURE ON LOG_BUILD ON LOG_INSTALL ON LOG_OUTPUT_ON_FAILURE ON)
  # Imported targets need their include folder to exist when configuring.
  file(MAKE_DIRECTORY ${installed}/include)
  add_library(zeb_nats_static STATIC IMPORTED GLOBAL)
  set_target_properties(zeb_nats_static PROPERTIES
    IMPORTED_LOCATION ${library}
    INTERFACE_INCLUDE_DIRECTORIES ${installed}/include)
  add_dependencies(zeb_nats_static zeb_nats_c)
  add_library(zeb_nats INTERFACE)
  target_link_libraries(zeb_nats INTERFACE zeb_nats_static)
else()
  set(ZEB_NATS_MISSING "no NATS C client for Windows: neither a cnats package nor ${zeb_nats_tarball}")
  return()
endif()
# The client's static library leaves its system libraries to its user: the
# sockets. Its header includes winsock2.h, which without these would bring
# all of windows.h along, min and max macros included.
target_link_libraries(zeb_nats INTERFACE ws2_32)
target_compile_definitions(zeb_nats INTERFACE WIN32_LEAN_AND_MEAN NOMINMAX)
set(ZEB_NATS_FOUND ON)
