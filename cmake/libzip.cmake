# The static libzip of the Windows trees brings bzip2 and liblzma, which its CMake package names
# as the targets BZip2::BZip2 and LibLZMA::LibLZMA without defining them: here they are, from
# the static libraries that scripts/setup.sh installs beside libzip. Natively nothing to do
# (Debian's shared libzip brings its own).
if(NOT WIN32 OR TARGET BZip2::BZip2)
  return()
endif()
if(libzip_DIR)
  get_filename_component(OSTVANE_LIBZIP_PREFIX "${libzip_DIR}/../../.." ABSOLUTE)
else()
  set(OSTVANE_LIBZIP_PREFIX "${PROJECT_SOURCE_DIR}/build/deps/${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32")
endif()
foreach(lib bz2 lzma)
  if(NOT EXISTS "${OSTVANE_LIBZIP_PREFIX}/lib/lib${lib}.a")
    message(FATAL_ERROR "lib${lib}.a not found in ${OSTVANE_LIBZIP_PREFIX}/lib: run scripts/setup.sh")
  endif()
endforeach()
add_library(BZip2::BZip2 STATIC IMPORTED GLOBAL)
set_target_properties(BZip2::BZip2 PROPERTIES IMPORTED_LOCATION "${OSTVANE_LIBZIP_PREFIX}/lib/libbz2.a")
add_library(LibLZMA::LibLZMA STATIC IMPORTED GLOBAL)
set_target_properties(LibLZMA::LibLZMA PROPERTIES IMPORTED_LOCATION "${OSTVANE_LIBZIP_PREFIX}/lib/liblzma.a")
