# The stand-in's readers of real Outlook files, each over a Debian package:
#   .msg  mapisim/loader/msg/  compound files through libgsf (libgsf-1-dev)
#   .pst  mapisim/loader/pst/  personal folders files through libpff (libpff-dev)
# scripts/bootstrap.sh installs both. A reader whose package is missing, or
# does not link for this target (a -m32 build beside 64-bit packages), is
# left out: its C controls then fail with a message that says so, and the
# tests that need it skip. The Windows build has no stand-in, so neither.
find_package(PkgConfig QUIET)
include(CheckCSourceCompiles)

# Sets ${var} when the package is found and a program using it links.
function(orvimapi_find_reader var module header symbol)
  set(${var} OFF PARENT_SCOPE)
  if(NOT PKG_CONFIG_FOUND)
    return()
  endif()
  pkg_check_modules(${var}_PKG QUIET IMPORTED_TARGET ${module})
  if(NOT ${var}_PKG_FOUND)
    return()
  endif()
  set(CMAKE_REQUIRED_LIBRARIES PkgConfig::${var}_PKG)
  set(CMAKE_REQUIRED_QUIET ON)
  check_c_source_compiles("#include <${header}>
int main(void) { return (int)(long)&${symbol}; }" ${var}_LINKS)
  set(${var} ${${var}_LINKS} PARENT_SCOPE)
endfunction()

orvimapi_find_reader(MAPISIM_MSG libgsf-1 gsf/gsf-infile-msole.h gsf_infile_msole_new)
orvimapi_find_reader(MAPISIM_PST libpff libpff.h libpff_file_open)

if(MAPISIM_MSG)
  target_link_libraries(mapisim_obj PUBLIC PkgConfig::MAPISIM_MSG_PKG)
  target_compile_definitions(mapisim_obj PUBLIC MAPISIM_HAVE_MSG=1)
else()
  target_compile_definitions(mapisim_obj PUBLIC MAPISIM_HAVE_MSG=0)
  list(FILTER MAPISIM_SOURCES EXCLUDE REGEX "/mapisim/loader/msg/")
  message(STATUS "mapisim: .msg reader left out (needs libgsf-1-dev)")
endif()
if(MAPISIM_PST)
  target_link_libraries(mapisim_obj PUBLIC PkgConfig::MAPISIM_PST_PKG)
  target_compile_definitions(mapisim_obj PUBLIC MAPISIM_HAVE_PST=1)
else()
  target_compile_definitions(mapisim_obj PUBLIC MAPISIM_HAVE_PST=0)
  list(FILTER MAPISIM_SOURCES EXCLUDE REGEX "/mapisim/loader/pst/")
  message(STATUS "mapisim: .pst reader left out (needs libpff-dev)")
endif()
set_property(TARGET mapisim_obj PROPERTY SOURCES ${MAPISIM_SOURCES})
