# libsodium as the imported target `sodium` in every tree: the static cross build that
# scripts/setup.sh puts in build/deps/<triple> for the Windows trees, the system's libsodium-dev
# natively. Windows programs that link it need advapi32 (the system's random source).
if(TARGET sodium)
  return()
endif()
if(WIN32)
  set(SODIUM_ROOT "${PROJECT_SOURCE_DIR}/build/deps/${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32"
    CACHE PATH "Where the cross-built libsodium is installed")
  if(NOT EXISTS "${SODIUM_ROOT}/lib/libsodium.a" OR NOT EXISTS "${SODIUM_ROOT}/include/sodium.h")
    message(FATAL_ERROR "libsodium not found in ${SODIUM_ROOT}: run scripts/setup.sh")
  endif()
  add_library(sodium STATIC IMPORTED GLOBAL)
  set_target_properties(sodium PROPERTIES
    IMPORTED_LOCATION "${SODIUM_ROOT}/lib/libsodium.a"
    INTERFACE_INCLUDE_DIRECTORIES "${SODIUM_ROOT}/include"
    INTERFACE_COMPILE_DEFINITIONS SODIUM_STATIC
    INTERFACE_LINK_LIBRARIES advapi32)
else()
  find_path(SODIUM_INCLUDE_DIR sodium.h)
  find_library(SODIUM_LIBRARY sodium)
  if(NOT SODIUM_INCLUDE_DIR OR NOT SODIUM_LIBRARY)
    message(FATAL_ERROR "libsodium not found: install libsodium-dev (scripts/setup.sh does)")
  endif()
  add_library(sodium UNKNOWN IMPORTED GLOBAL)
  set_target_properties(sodium PROPERTIES
    IMPORTED_LOCATION "${SODIUM_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${SODIUM_INCLUDE_DIR}")
endif()
