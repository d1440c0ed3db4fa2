# Reads the export list and writes the Windows .def file and the ELF
# version script from it.
file(STRINGS "${PROJECT_SOURCE_DIR}/src/OrviMapi.exports" _export_lines)
set(ORVIMAPI_EXPORTS "")
foreach(_line IN LISTS _export_lines)
  string(STRIP "${_line}" _line)
  if(_line STREQUAL "" OR _line MATCHES "^#")
    continue()
  endif()
  list(APPEND ORVIMAPI_EXPORTS "${_line}")
endforeach()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             "${PROJECT_SOURCE_DIR}/src/OrviMapi.exports")

set(_def "LIBRARY OrviMapi.dll\nEXPORTS\n")
set(_map "{\n  global:\n")
set(_inc "")
foreach(_name IN LISTS ORVIMAPI_EXPORTS)
  string(APPEND _def "  ${_name}\n")
  string(APPEND _map "    ${_name};\n")
  string(APPEND _inc "ORVIMAPI_EXPORT_NAME(${_name})\n")
endforeach()
string(APPEND _map "  local:\n    *;\n};\n")

set(ORVIMAPI_DEF_FILE "${PROJECT_BINARY_DIR}/OrviMapi.def")
set(ORVIMAPI_VERSION_SCRIPT "${PROJECT_BINARY_DIR}/orvimapi.map")
set(ORVIMAPI_EXPORTS_INC "${PROJECT_BINARY_DIR}/generated/orvimapi_exports.inc")
file(CONFIGURE OUTPUT "${ORVIMAPI_DEF_FILE}" CONTENT "${_def}")
file(CONFIGURE OUTPUT "${ORVIMAPI_VERSION_SCRIPT}" CONTENT "${_map}")
file(CONFIGURE OUTPUT "${ORVIMAPI_EXPORTS_INC}" CONTENT "${_inc}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             "${PROJECT_SOURCE_DIR}/include/OrviMapi.h")

# The stand-in's exported set: the C controls its headers mark MAPISIM_EXPORT
# and the MAPI and Win32 functions its declarations mark MAPISIM_API, each at
# the start of a line. Nothing else of it is visible outside.
set(MAPISIM_EXPORTS "")
file(GLOB_RECURSE _mapisim_headers CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/mapisim/*.h")
foreach(_header IN LISTS _mapisim_headers)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${_header}")
  file(STRINGS "${_header}" _lines
       REGEX "^(MAPISIM_EXPORT|MAPISIM_API) [^(]*[ *]([A-Za-z_][A-Za-z0-9_]*)\\(")
  foreach(_line IN LISTS _lines)
    string(REGEX MATCH "[ *]([A-Za-z_][A-Za-z0-9_]*)\\(" _ "${_line}")
    list(APPEND MAPISIM_EXPORTS "${CMAKE_MATCH_1}")
  endforeach()
endforeach()
list(REMOVE_DUPLICATES MAPISIM_EXPORTS)
list(SORT MAPISIM_EXPORTS)
set(_map "{\n  global:\n")
foreach(_name IN LISTS MAPISIM_EXPORTS)
  string(APPEND _map "    ${_name};\n")
endforeach()
string(APPEND _map "  local:\n    *;\n};\n")
set(MAPISIM_VERSION_SCRIPT "${PROJECT_BINARY_DIR}/mapisim.map")
set(MAPISIM_EXPORT_LIST "${PROJECT_BINARY_DIR}/mapisim.exports")
string(REPLACE ";" "\n" _list "${MAPISIM_EXPORTS}")
file(CONFIGURE OUTPUT "${MAPISIM_VERSION_SCRIPT}" CONTENT "${_map}")
file(CONFIGURE OUTPUT "${MAPISIM_EXPORT_LIST}" CONTENT "${_list}\n")
