# Install rules, the CMake package and the pkg-config files.
#   component "orvimapi": the library, its header, the package files
#   component "mapisim" (not on Windows): the stand-in MAPI and its control
#   header, for applications' own tests; liborvimapi needs it at run time there.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(ORVIMAPI_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/OrviMapi")

install(TARGETS orvimapi EXPORT OrviMapiTargets
        RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT orvimapi
        LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT orvimapi
                NAMELINK_COMPONENT orvimapi
        ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT orvimapi
        INCLUDES DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}")
install(FILES "${PROJECT_SOURCE_DIR}/include/OrviMapi.h"
        DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}" COMPONENT orvimapi)
install(EXPORT OrviMapiTargets NAMESPACE OrviMapi:: DESTINATION "${ORVIMAPI_CMAKE_DIR}"
        COMPONENT orvimapi)
if(WIN32)
  # For linkers and languages that want the export list itself.
  install(FILES "${ORVIMAPI_DEF_FILE}" DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT orvimapi)
else()
  install(TARGETS mapisim EXPORT OrviMapiMapisimTargets
          LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT mapisim NAMELINK_COMPONENT mapisim
          INCLUDES DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}")
  install(FILES "${PROJECT_SOURCE_DIR}/mapisim/mapisim.h"
          DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/mapisim" COMPONENT mapisim)
  install(EXPORT OrviMapiMapisimTargets NAMESPACE OrviMapi:: DESTINATION "${ORVIMAPI_CMAKE_DIR}"
          COMPONENT mapisim)
endif()

configure_package_config_file("${PROJECT_SOURCE_DIR}/cmake/package/OrviMapiConfig.cmake.in"
                              "${PROJECT_BINARY_DIR}/OrviMapiConfig.cmake"
                              INSTALL_DESTINATION "${ORVIMAPI_CMAKE_DIR}")
# Within a major version the interface only grows.
write_basic_package_version_file("${PROJECT_BINARY_DIR}/OrviMapiConfigVersion.cmake"
                                 COMPATIBILITY SameMajorVersion)
install(FILES "${PROJECT_BINARY_DIR}/OrviMapiConfig.cmake"
              "${PROJECT_BINARY_DIR}/OrviMapiConfigVersion.cmake"
        DESTINATION "${ORVIMAPI_CMAKE_DIR}" COMPONENT orvimapi)

# pkg-config: the prefix is found from the .pc file's own place, so that
# `cmake --install --prefix` and a moved prefix both work.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(ORVIMAPI_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH _up "/p/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/p")
  string(REGEX REPLACE "/$" "" _up "${_up}")
  set(ORVIMAPI_PC_PREFIX "\${pcfiledir}/${_up}")
endif()
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(ORVIMAPI_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
else()
  set(ORVIMAPI_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
endif()
if(IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(ORVIMAPI_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
else()
  set(ORVIMAPI_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
if(WIN32)
  set(ORVIMAPI_PC_LIBNAME OrviMapi)
else()
  set(ORVIMAPI_PC_LIBNAME orvimapi)
endif()
configure_file("${PROJECT_SOURCE_DIR}/cmake/package/orvimapi.pc.in"
               "${PROJECT_BINARY_DIR}/orvimapi.pc" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/orvimapi.pc"
        DESTINATION "${CMAKE_INSTALL_LIBDIR}/pkgconfig" COMPONENT orvimapi)
if(NOT WIN32)
  configure_file("${PROJECT_SOURCE_DIR}/cmake/package/mapisim.pc.in"
                 "${PROJECT_BINARY_DIR}/mapisim.pc" @ONLY)
  install(FILES "${PROJECT_BINARY_DIR}/mapisim.pc"
          DESTINATION "${CMAKE_INSTALL_LIBDIR}/pkgconfig" COMPONENT mapisim)
endif()
