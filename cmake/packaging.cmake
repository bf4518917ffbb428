# The release zip of a Windows build: the watchdog, the shell and the manager, a commented
# sample "Gandry.ini" and the administrator's guide, flat in one folder named after the version
# and architecture.
#   cmake --build --preset windows-x64 --target package
if(NOT WIN32)
  return()
endif()

if(TARGET gandry_svc AND TARGET gandry_exe AND TARGET gandry_manager)
  install(TARGETS gandry_svc gandry_exe gandry_manager RUNTIME DESTINATION . COMPONENT release)
endif()
# Text files get CR LF line ends, which every Windows editor shows right.
set(GANDRY_PACKAGE_TEXT ${CMAKE_BINARY_DIR}/package-text)
configure_file(${CMAKE_SOURCE_DIR}/packaging/Gandry.ini ${GANDRY_PACKAGE_TEXT}/Gandry.ini @ONLY
               NEWLINE_STYLE CRLF)
configure_file(${CMAKE_SOURCE_DIR}/docs/admin-guide.md ${GANDRY_PACKAGE_TEXT}/admin-guide.md @ONLY
               NEWLINE_STYLE CRLF)
install(FILES ${GANDRY_PACKAGE_TEXT}/Gandry.ini ${GANDRY_PACKAGE_TEXT}/admin-guide.md
        DESTINATION . COMPONENT release)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(GANDRY_PACKAGE_ARCH x64)
else()
  set(GANDRY_PACKAGE_ARCH x86)
endif()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Gandry)
set(CPACK_PACKAGE_VENDOR Gandry)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Windows service watchdog")
set(CPACK_PACKAGE_FILE_NAME gandry-${PROJECT_VERSION}-windows-${GANDRY_PACKAGE_ARCH})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
# The zip carries the programs without their debugging information.
set(CPACK_STRIP_FILES TRUE)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
set(CPACK_COMPONENTS_ALL release)
include(CPack)
