# MAPI32.DLL's export names and ordinals, for the functions the library
# imports and the stand-in plays.
#
# MAPI32 exports each function under its stdcall-decorated name
# (HrQueryAllRows@24) at a fixed ordinal, and most also undecorated at the
# ordinal before; FreeProws, HrGetOneProp and HrQueryAllRows only decorated.
# mingw-w64's libmapi32.a imports all of them by undecorated name, which
# MAPI32 does not export for those three, so the library imports by ordinal
# through an import library made here, as applications built with the SDK
# do. The stand-in DLL exports the same names at the same ordinals.
#
# Each entry: name|argument bytes|ordinal of the undecorated name or -|
# ordinal of the decorated name|imported by the library (1) or not (0).
set(MAPI32_FUNCTIONS
    "MAPILogonEx|20|10|11|1"
    "MAPIAllocateBuffer|8|12|13|0"
    "MAPIAllocateMore|12|14|15|0"
    "MAPIFreeBuffer|4|16|17|1"
    "MAPIAdminProfiles|8|18|19|1"
    "MAPIInitialize|4|20|21|1"
    "MAPIUninitialize|0|22|23|1"
    "HrQueryAllRows|24|-|75|1"
    "HrGetOneProp|12|-|135|1"
    "FreeProws|4|-|140|1"
    "WrapCompressedRTFStream|12|186|185|1")

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(_decorate ON)  # the compiler names a stdcall function Name@bytes
  set(_machine i386)
else()
  set(_decorate OFF)
  set(_machine i386:x86-64)
endif()

set(_imports "LIBRARY MAPI32.DLL\nEXPORTS\n")
set(_exports "LIBRARY MAPI32.DLL\nEXPORTS\n")
set(MAPI32_EXPORT_NAMES "")
set(MAPI32_IMPORT_ORDINALS "")
foreach(_entry IN LISTS MAPI32_FUNCTIONS)
  string(REGEX MATCHALL "[^|]+" _fields "${_entry}")
  list(GET _fields 0 _name)
  list(GET _fields 1 _bytes)
  list(GET _fields 2 _plain)
  list(GET _fields 3 _decorated)
  list(GET _fields 4 _imported)
  if(_decorate)
    set(_symbol "${_name}@${_bytes}")
  else()
    set(_symbol "${_name}")
  endif()
  if(_imported)
    string(APPEND _imports "  ${_symbol} @${_decorated} NONAME\n")
    list(APPEND MAPI32_IMPORT_ORDINALS "${_decorated}")
  endif()
  if(_decorate)
    string(APPEND _exports "  ${_name}@${_bytes} @${_decorated}\n")
  else()
    string(APPEND _exports "  ${_name}@${_bytes} = ${_name} @${_decorated}\n")
  endif()
  list(APPEND MAPI32_EXPORT_NAMES "${_name}@${_bytes}")
  if(NOT _plain STREQUAL "-")
    if(_decorate)
      string(APPEND _exports "  ${_name} = ${_name}@${_bytes} @${_plain}\n")
    else()
      string(APPEND _exports "  ${_name} @${_plain}\n")
    endif()
    list(APPEND MAPI32_EXPORT_NAMES "${_name}")
  endif()
endforeach()
set(MAPI32_IMPORTS_DEF "${PROJECT_BINARY_DIR}/mapi32-imports.def")
set(MAPI32_EXPORTS_DEF "${PROJECT_BINARY_DIR}/mapi32-exports.def")
file(CONFIGURE OUTPUT "${MAPI32_IMPORTS_DEF}" CONTENT "${_imports}")
file(CONFIGURE OUTPUT "${MAPI32_EXPORTS_DEF}" CONTENT "${_exports}")

# The import library, by ordinal.
string(REGEX REPLACE "gcc(-posix|-win32)?$" "dlltool" _dlltool_guess "${CMAKE_C_COMPILER}")
find_program(MAPI32_DLLTOOL NAMES "${_dlltool_guess}" dlltool REQUIRED)
set(MAPI32_IMPORT_LIBRARY "${PROJECT_BINARY_DIR}/libmapi32-ordinals.a")
add_custom_command(OUTPUT "${MAPI32_IMPORT_LIBRARY}"
                   COMMAND "${MAPI32_DLLTOOL}" -m ${_machine} -d "${MAPI32_IMPORTS_DEF}"
                           -l "${MAPI32_IMPORT_LIBRARY}"
                   DEPENDS "${MAPI32_IMPORTS_DEF}"
                   COMMENT "MAPI32 import library (by ordinal)")
add_custom_target(mapi32_import_library DEPENDS "${MAPI32_IMPORT_LIBRARY}")
add_library(mapi32_ordinals STATIC IMPORTED GLOBAL)
set_target_properties(mapi32_ordinals PROPERTIES IMPORTED_LOCATION "${MAPI32_IMPORT_LIBRARY}")
add_dependencies(mapi32_ordinals mapi32_import_library)
