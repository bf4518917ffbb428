# Builds one Windows Installer package from packaging/gandry.wxs with wixl.
#   cmake -DGANDRY_MSI_CONFIG=FILE [-DVERSION=X.Y.Z] [-DOUTPUT=PATH] -P build-msi.cmake
# FILE (written by cmake/packaging.cmake into the build tree) names the tools, the source, the
# files to install, the architecture, the version and the output. VERSION and OUTPUT replace
# the last two, for an older package to upgrade from.
cmake_minimum_required(VERSION 3.25)
if(NOT GANDRY_MSI_CONFIG)
  message(FATAL_ERROR "build-msi: GANDRY_MSI_CONFIG is not set")
endif()
include(${GANDRY_MSI_CONFIG})
if(NOT VERSION)
  set(VERSION ${GANDRY_MSI_VERSION})
endif()
if(NOT OUTPUT)
  set(OUTPUT ${GANDRY_MSI_OUTPUT})
endif()
# Windows Installer compares the first three fields only, each within 255.255.65535.
if(NOT VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$"
   OR CMAKE_MATCH_1 GREATER 255 OR CMAKE_MATCH_2 GREATER 255 OR CMAKE_MATCH_3 GREATER 65535)
  message(FATAL_ERROR "build-msi: the version \"${VERSION}\" is not major.minor.build within "
                      "255.255.65535")
endif()
if(GANDRY_MSI_ARCH STREQUAL "x64")
  set(program_files ProgramFiles64Folder)
  set(win64 yes)
else()
  set(program_files ProgramFilesFolder)
  set(win64 no)
endif()

get_filename_component(out_dir ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${out_dir})
# Built beside the target and renamed at the end: a failed step leaves no package that looks
# finished.
set(partial ${OUTPUT}.partial)
file(REMOVE ${partial})
# The programs go in without their debugging information, as in the zip. wixl takes a file's
# Source only relative to the folder it runs in: the files are staged in one.
set(stage ${OUTPUT}.files)
file(REMOVE_RECURSE ${stage})
file(MAKE_DIRECTORY ${stage})
set(defines -D Version=${VERSION} -D ProgramFilesDir=${program_files} -D Win64=${win64}
            -D ProductName=${GANDRY_MSI_PRODUCT_NAME} -D Manufacturer=${GANDRY_MSI_MANUFACTURER})
foreach(file SVC EXE MANAGER INI GUIDE ACTIONS)
  string(TOLOWER ${file} name)
  file(COPY_FILE ${GANDRY_MSI_${file}} ${stage}/${name})
  if(file MATCHES "SVC|EXE|MANAGER|ACTIONS" AND GANDRY_MSI_STRIP)
    execute_process(COMMAND ${GANDRY_MSI_STRIP} ${stage}/${name} COMMAND_ERROR_IS_FATAL ANY)
  endif()
  list(APPEND defines -D ${name}=${name})
endforeach()
execute_process(
  COMMAND ${GANDRY_MSI_WIXL} -a ${GANDRY_MSI_ARCH} -o ${partial} ${defines} ${GANDRY_MSI_SOURCE}
  WORKING_DIRECTORY ${stage}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(REMOVE ${partial})
  message(FATAL_ERROR "build-msi: wixl failed (${result})")
endif()
# wixl drops IncludeMaximum: each Upgrade row with a maximum gets it back
# (msidbUpgradeAttributesVersionMaxInclusive 512), so that an installed product of the same
# version is replaced like an older one and a rebuilt package leaves one entry in Add/Remove
# Programs. Attributes is part of the table's key, so the table is imported again.
execute_process(COMMAND ${GANDRY_MSI_MSIINFO} export ${partial} Upgrade
                OUTPUT_VARIABLE exported RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(REMOVE ${partial})
  message(FATAL_ERROR "build-msi: msiinfo failed (${result})")
endif()
string(REPLACE "\r\n" "\n" exported "${exported}")
string(REPLACE "\n" ";" lines "${exported}")
set(upgrade_idt "")
foreach(line IN LISTS lines)
  # UpgradeCode, VersionMin, VersionMax (not empty), Language, then Attributes.
  if(line MATCHES "^({[^\t]*}\t[^\t]*\t[^\t]+\t[^\t]*\t)([0-9]+)(\t.*)$")
    math(EXPR attributes "${CMAKE_MATCH_2} | 512")
    set(line "${CMAKE_MATCH_1}${attributes}${CMAKE_MATCH_3}")
  endif()
  if(NOT line STREQUAL "")
    string(APPEND upgrade_idt "${line}\r\n")
  endif()
endforeach()
file(WRITE ${stage}/Upgrade.idt "${upgrade_idt}")

# What wixl cannot say in the source:
# - Gandry.ini's component never overwrites an existing file and is never removed
#   (msidbComponentAttributesNeverOverwrite 128 + Permanent 16, beside 64-bit 256 on x64);
# - the public properties, the searches that recall them and the upgrade properties pass into
#   the elevated part of a managed install;
# - the event message file is a REG_EXPAND_SZ, as the event log expects;
# - removal deletes the event source's key itself (Name "-"), with any value that the manager
#   or an administrator added to it;
# - the rollback action is one (msidbCustomActionTypeRollback 256 + InScript 1024 + DLL 1
#   + Continue 64 + NoImpersonate 2048); wixl writes it as an immediate action.
if(win64)
  set(ini_attributes 400)
else()
  set(ini_attributes 144)
endif()
set(secure START NOSTART INSTALLDIR REMEMBERED_START REMEMBERED_NOSTART REMEMBERED_INSTALLDIR
           WIX_DOWNGRADE_DETECTED WIX_UPGRADE_DETECTED GANDRY_SHARED_CODE_DETECTED)
execute_process(
  COMMAND ${GANDRY_MSI_MSIBUILD} ${partial} -i ${stage}/Upgrade.idt
          -q "UPDATE `Component` SET `Attributes` = ${ini_attributes} WHERE `Component` = 'Configuration'"
          -q "UPDATE `Property` SET `Value` = '${secure}' WHERE `Property` = 'SecureCustomProperties'"
          -q "UPDATE `Registry` SET `Value` = '#%[#GandrySvc]' WHERE `Name` = 'EventMessageFile'"
          -q "INSERT INTO `Registry` (`Registry`, `Root`, `Key`, `Name`, `Component_`) VALUES ('EventSourceKey', 2, 'SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Gandry Service', '-', 'Watchdog')"
          -q "UPDATE `CustomAction` SET `Type` = 3393 WHERE `Action` = 'UnregisterWatchdog'"
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(REMOVE ${partial})
  message(FATAL_ERROR "build-msi: msibuild failed (${result})")
endif()
file(RENAME ${partial} ${OUTPUT})
file(REMOVE_RECURSE ${stage})
