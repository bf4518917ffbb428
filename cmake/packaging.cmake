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
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR ${GANDRY_COMPANY_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Windows service watchdog")
set(CPACK_PACKAGE_FILE_NAME gandry-${PROJECT_VERSION}-windows-${GANDRY_PACKAGE_ARCH})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
# The zip carries the programs without their debugging information.
set(CPACK_STRIP_FILES TRUE)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
set(CPACK_COMPONENTS_ALL release)
include(CPack)

# The Windows Installer package, built with wixl (Debian's wixl package):
#   cmake --build --preset windows-x64 --target msi
# makes package/gandry-<version>-windows-<arch>.msi. GANDRY_PACKAGE_VERSION replaces the
# project's version, for an upgrade test. The package holds gandry-manager.exe: this build's,
# or a prebuilt one named by GANDRY_MANAGER_EXE.
set(GANDRY_PACKAGE_VERSION ${PROJECT_VERSION} CACHE STRING "Version of the MSI package")
set(GANDRY_MANAGER_EXE "" CACHE FILEPATH
    "gandry-manager.exe for the MSI package when this build has no gandry_manager target")
find_program(GANDRY_WIXL wixl)
find_program(GANDRY_MSIBUILD msibuild)
find_program(GANDRY_MSIINFO msiinfo)
if(TARGET gandry_manager)
  set(msi_manager $<TARGET_FILE:gandry_manager>)
  set(msi_manager_target gandry_manager)
else()
  set(msi_manager ${GANDRY_MANAGER_EXE})
  set(msi_manager_target "")
endif()
if(NOT GANDRY_WIXL OR NOT GANDRY_MSIBUILD OR NOT GANDRY_MSIINFO)
  message(STATUS "No wixl, msibuild or msiinfo (scripts/install-deps installs them): no msi target")
elseif(NOT msi_manager)
  message(STATUS "No gandry-manager.exe (set GANDRY_MANAGER_EXE): no msi target")
elseif(TARGET gandry_svc AND TARGET gandry_exe AND TARGET gandry_msi_actions)
  set(GANDRY_MSI
      ${CPACK_PACKAGE_DIRECTORY}/gandry-${GANDRY_PACKAGE_VERSION}-windows-${GANDRY_PACKAGE_ARCH}.msi)
  set(GANDRY_MSI_CONFIG ${CMAKE_BINARY_DIR}/package-text/msi-config.cmake)
  file(GENERATE OUTPUT ${GANDRY_MSI_CONFIG} CONTENT "\
set(GANDRY_MSI_WIXL ${GANDRY_WIXL})
set(GANDRY_MSI_MSIBUILD ${GANDRY_MSIBUILD})
set(GANDRY_MSI_MSIINFO ${GANDRY_MSIINFO})
set(GANDRY_MSI_STRIP ${CMAKE_STRIP})
set(GANDRY_MSI_SOURCE ${CMAKE_SOURCE_DIR}/packaging/gandry.wxs)
set(GANDRY_MSI_ARCH ${GANDRY_PACKAGE_ARCH})
set(GANDRY_MSI_PRODUCT_NAME ${PROJECT_NAME})
set(GANDRY_MSI_MANUFACTURER ${GANDRY_COMPANY_NAME})
set(GANDRY_MSI_VERSION ${GANDRY_PACKAGE_VERSION})
set(GANDRY_MSI_OUTPUT ${GANDRY_MSI})
set(GANDRY_MSI_SVC $<TARGET_FILE:gandry_svc>)
set(GANDRY_MSI_EXE $<TARGET_FILE:gandry_exe>)
set(GANDRY_MSI_MANAGER ${msi_manager})
set(GANDRY_MSI_INI ${GANDRY_PACKAGE_TEXT}/Gandry.ini)
set(GANDRY_MSI_GUIDE ${GANDRY_PACKAGE_TEXT}/admin-guide.md)
set(GANDRY_MSI_ACTIONS $<TARGET_FILE:gandry_msi_actions>)
")
  add_custom_command(
    OUTPUT ${GANDRY_MSI}
    COMMAND ${CMAKE_COMMAND} -DGANDRY_MSI_CONFIG=${GANDRY_MSI_CONFIG}
            -P ${CMAKE_SOURCE_DIR}/cmake/build-msi.cmake
    DEPENDS ${CMAKE_SOURCE_DIR}/packaging/gandry.wxs ${CMAKE_SOURCE_DIR}/cmake/build-msi.cmake
            ${GANDRY_MSI_CONFIG} ${GANDRY_PACKAGE_TEXT}/Gandry.ini
            ${GANDRY_PACKAGE_TEXT}/admin-guide.md gandry_svc gandry_exe gandry_msi_actions
            ${msi_manager_target}
            ${msi_manager}
    COMMENT "Building the Windows Installer package ${GANDRY_MSI}"
    VERBATIM)
  # The Wine tests install the package: with them it is part of the default build.
  if(GANDRY_BUILD_TESTS)
    add_custom_target(msi ALL DEPENDS ${GANDRY_MSI})
  else()
    add_custom_target(msi DEPENDS ${GANDRY_MSI})
  endif()
endif()
