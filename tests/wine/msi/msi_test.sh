#!/bin/bash
# The Windows Installer package under Wine's msiexec: install, removal, an install over an
# administrator's Gandry.ini that the watchdog then acts on, the choices of an install kept by a
# repair and a major upgrade from an older package built here from the same source, a rebuild of
# the same version, and a failed install. The x86 package is refused on 64-bit Windows and
# tested in a 32-bit prefix of its own.
# usage: msi_test.sh WINE_LOADER ARCH MSI MSI_CONFIG SAMPLE_INI BIN_DIR CMAKE BUILD_MSI_SCRIPT
#                    MSIBUILD WINE_PREFIX_SCRIPT
# (with WINEPREFIX set). MSI_CONFIG and BUILD_MSI_SCRIPT build the other packages.
set -u
loader=$1
arch=$2
msi=$3
config=$4
sample_ini=$5
bin=$6
cmake=$7
build_msi=$8
msibuild=$9
wine_prefix=${10}
work=$(mktemp -d /tmp/gandry-msi.XXXXXX)
. "$(dirname "$0")/../check.sh"
probe=gandry-msi-probe
service='HKLM\SYSTEM\CurrentControlSet\Services\zt-gandry-demon'
source_key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Gandry Service'
choices_key='HKLM\SOFTWARE\Gandry'
uninstall_key='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall'
folder_win='C:\Program Files\Gandry'
folder="$WINEPREFIX/drive_c/Program Files/Gandry"
site_folder_win='C:\Gandry Site'
site_folder="$WINEPREFIX/drive_c/Gandry Site"
prefix32=""

# Windows programs write to files, never to a pipe of ours (their children would inherit it).
win() { "$loader" "$@" </dev/null >"$work/out.txt" 2>&1; }
# The data of one registry value as reg.exe shows it, or nothing.
reg_value() {  # key, value name
  win reg.exe query "$1" /v "$2" || return 1
  tr -d '\r' <"$work/out.txt" | awk -v name="$2" '
    $1 == name && $2 ~ /^REG_/ { sub(/^[ \t]*[^ \t]+[ \t]+REG_[A-Z_]+[ \t]+/, ""); print }'
}
fails() { ! "$@"; }
no_key() { fails win reg.exe query "$1"; }
state() {  # the service's state number as sc query shows it
  win sc.exe query "$1"
  tr -d '\r' <"$work/out.txt" | awk '$1 == "STATE" { print $3 }'
}
wait_state() {  # service, state number, seconds
  local i
  for ((i = 0; i < $3 * 4; i++)); do
    [ "$(state "$1")" = "$2" ] && return 0
    sleep 0.25
  done
  return 1
}
msiexec() {  # log name, msiexec arguments...
  local log=$1
  shift
  "$loader" msiexec.exe "$@" /qn /l*v "$(winepath -w "$work/$log.log")" </dev/null \
    >/dev/null 2>&1
}
# The products registered with the upgrade code's name, as "version|publisher" lines.
products() {
  win reg.exe query "$uninstall_key" /s
  tr -d '\r' <"$work/out.txt" | awk '
    /^HKEY/ { if (name == "Gandry") print version "|" publisher; name = version = publisher = "" }
    $1 == "DisplayName" { name = $3 }
    $1 == "DisplayVersion" { version = $3 }
    $1 == "Publisher" { publisher = $3 }
    END { if (name == "Gandry") print version "|" publisher }'
}
cleanup() {
  win sc.exe stop "$probe"
  win sc.exe delete "$probe"
  rm -rf "$folder" "$site_folder"
  [ -z "$prefix32" ] || "$wine_prefix" cleanup "$prefix32"
  rm -rf "$work"
}
trap cleanup EXIT

registered_as_manager_does() {  # start type number
  check "image path quoted, with -service" \
    test "$(reg_value "$service" ImagePath)" = "\"$folder_win\\gandry.svc\" -service"
  check "start type $1" test "$(reg_value "$service" Start)" = "$1"
  check "display name" test "$(reg_value "$service" DisplayName)" = "Gandry Service"
  check "description" \
    test "$(reg_value "$service" Description)" = "Keeps the services listed in Gandry.ini running."
  # The manager's own check finds nothing wrong with the registration. Where Wine lets everyone
  # write to the folder, it reports that, which is left out here, as is the note on a
  # Gandry.ini without items.
  win "$folder/gandry-manager.exe" check
  local findings
  findings=$(tr -d '\r' <"$work/out.txt" | grep -v -e ' may be changed by ' \
    -e '^[0-9]* problems\? found\.$' -e '^No problems found\( (1 note(s))\)\?\.$' \
    -e '^Note: Gandry.ini lists no items')
  check "manager's check: no problem but Wine's write access" test -z "$findings"
  [ -z "$findings" ] || printf '  %s\n' "$findings"
  check "event message file" \
    test "$(reg_value "$source_key" EventMessageFile)" = "$folder_win\\gandry.svc"
  check "event types" test "$(reg_value "$source_key" TypesSupported)" = 0x7
}
removed() {
  check "service deleted" test -z "$(reg_value "$service" ImagePath)"
  check "event source removed" no_key "$source_key"
  check "the install's choices removed" no_key "$choices_key"
  check "programs removed" test ! -e "$folder/gandry.svc" -a ! -e "$folder/gandry.exe" \
    -a ! -e "$folder/gandry-manager.exe" -a ! -e "$folder/admin-guide.md"
  check "no product registered" test -z "$(products)"
}

if [ "$arch" = x86 ]; then
  echo "--- the x86 package on 64-bit Windows"
  check "install refused" fails msiexec x86-on-x64 /i "$(winepath -w "$msi")"
  check "nothing installed" test -z "$(reg_value "$service" ImagePath)" \
    -a ! -e "$WINEPREFIX/drive_c/Program Files (x86)/Gandry/gandry.svc"
  # The rest on 32-bit Windows, the package's own.
  prefix32=$work/prefix32
  WINEARCH=win32 "$wine_prefix" setup "$prefix32" --persist 300 || exit 1
  export WINEPREFIX=$prefix32
  folder="$WINEPREFIX/drive_c/Program Files/Gandry"
  site_folder="$WINEPREFIX/drive_c/Gandry Site"
fi

echo "--- a fresh install"
check "install succeeds" msiexec install /i "$(winepath -w "$msi")"
check "the manager's output in the installer's log" \
  grep -q 'gandry-manager: The service "zt-gandry-demon" is registered' "$work/install.log"
for file in gandry.svc gandry.exe gandry-manager.exe admin-guide.md; do
  check "installed $file" test -s "$folder/$file"
done
check "default Gandry.ini is the sample" cmp -s "$folder/Gandry.ini" "$sample_ini"
registered_as_manager_does 0x2
check "the sample watches nothing: watchdog not started" test "$(state zt-gandry-demon)" = 1
version=$(basename "$msi" | sed -E 's/^gandry-([0-9.]+)-.*/\1/')
check "Add/Remove Programs: $version by Gandry" test "$(products)" = "$version|Gandry"

echo "--- removal"
# A value that the package did not write goes with the event source all the same.
win reg.exe add "$source_key" /v CategoryCount /t REG_DWORD /d 0 /f
check "removal succeeds" msiexec remove /x "$(winepath -w "$msi")"
removed
check "Gandry.ini kept" cmp -s "$folder/Gandry.ini" "$sample_ini"

echo "--- a start type the package does not know"
check "install refused" fails msiexec bad-start /i "$(winepath -w "$msi")" START=sometimes
check "nothing installed" test -z "$(reg_value "$service" ImagePath)" -a ! -e "$folder/gandry.svc"

echo "--- an install over a Gandry.ini without items, demand start"
printf '%s\r\n' '[Settings]' LoopDelayThread=5 LoopDelayService=5 StartDelayThread=5 \
  '[Services]' >"$folder/Gandry.ini"
cp "$folder/Gandry.ini" "$work/empty.ini"
check "install succeeds" msiexec empty /i "$(winepath -w "$msi")" START=demand
check "start type demand" test "$(reg_value "$service" Start)" = 0x3
check "Gandry.ini not overwritten" cmp -s "$folder/Gandry.ini" "$work/empty.ini"
check "watchdog not running" test "$(state zt-gandry-demon)" != 4
check "removal succeeds" msiexec remove-empty /x "$(winepath -w "$msi")"

echo "--- NOSTART=1 over a Gandry.ini that lists an item, then a repair that is not told"
printf '%s\r\n' '[Services]' 'Item1=GandryNoSuchService||3|0' >"$folder/Gandry.ini"
check "install succeeds" msiexec nostart /i "$(winepath -w "$msi")" NOSTART=1 START=demand
check "image path quoted" \
  test "$(reg_value "$service" ImagePath)" = "\"$folder_win\\gandry.svc\" -service"
check "watchdog not started" test "$(state zt-gandry-demon)" = 1
# What a Group Policy redeployment does. (Wine's msiexec /fa takes no package.)
check "repair succeeds" msiexec repair /i "$(winepath -w "$msi")" REINSTALL=ALL \
  REINSTALLMODE=vomus
check "start type still demand" test "$(reg_value "$service" Start)" = 0x3
check "watchdog still not started" test "$(state zt-gandry-demon)" = 1
check "removal succeeds" msiexec remove-nostart /x "$(winepath -w "$msi")"

echo "--- an older package in a folder of the site's, demand start, then a major upgrade"
old_msi=$work/gandry-0.0.1-windows-$arch.msi
check "older package built" "$cmake" -DGANDRY_MSI_CONFIG="$config" -DVERSION=0.0.1 \
  -DOUTPUT="$old_msi" -P "$build_msi"
win sc.exe create "$probe" binpath= "$(winepath -w "$bin/test_service.exe")"
folder=$site_folder
folder_win=$site_folder_win
mkdir -p "$folder"
printf '%s\r\n' '; the site'"'"'s own settings' '[Settings]' LoopDelayThread=5 LoopDelayService=5 \
  StartDelayThread=5 '[Services]' "Item1=$probe|probe|5|0" >"$folder/Gandry.ini"
cp "$folder/Gandry.ini" "$work/site.ini"
check "older install succeeds" msiexec old /i "$(winepath -w "$old_msi")" START=demand \
  INSTALLDIR="$folder_win"
check "watchdog running" wait_state zt-gandry-demon 4 30
check "watched service started by the watchdog" wait_state "$probe" 4 60
win sc.exe stop "$probe"
check "watched service stopped from outside" wait_state "$probe" 1 30
check "watched service running again" wait_state "$probe" 4 60
check "Gandry.ini as the administrator wrote it" cmp -s "$folder/Gandry.ini" "$work/site.ini"

# Not told where or how: the folder and the start type of the older install.
check "upgrade succeeds" msiexec upgrade /i "$(winepath -w "$msi")"
check "Gandry.ini kept byte for byte" cmp -s "$folder/Gandry.ini" "$work/site.ini"
check "start type still demand" test "$(reg_value "$service" Start)" = 0x3
check "only the new version registered" test "$(products)" = "$version|Gandry"
check "watchdog running after the upgrade" wait_state zt-gandry-demon 4 30

echo "--- a rebuild of the same version, told to start automatically"
rebuilt_msi=$work/rebuilt/gandry-$version-windows-$arch.msi
check "rebuilt package" "$cmake" -DGANDRY_MSI_CONFIG="$config" -DVERSION="$version" \
  -DOUTPUT="$rebuilt_msi" -P "$build_msi"
check "install succeeds" msiexec rebuilt /i "$(winepath -w "$rebuilt_msi")" START=auto
check "one entry in Add/Remove Programs" test "$(products)" = "$version|Gandry"
registered_as_manager_does 0x2
check "watchdog running" wait_state zt-gandry-demon 4 30

echo "--- removal of a running watchdog"
check "removal succeeds" msiexec remove-upgraded /x "$(winepath -w "$rebuilt_msi")"
removed
check "Gandry.ini kept byte for byte" cmp -s "$folder/Gandry.ini" "$work/site.ini"

echo "--- an install that fails after the watchdog was registered and started"
# A copy of the package with one more action at the end of the script: the manager run with a
# command it does not know.
failing_msi=$work/failing.msi
cp "$msi" "$failing_msi"
check "failing package built" "$msibuild" "$failing_msi" \
  -q "INSERT INTO \`CustomAction\` (\`Action\`, \`Type\`, \`Source\`, \`Target\`) VALUES ('PrepareFail', 51, 'Fail', '\"[#GandryManagerExe]\" frobnicate')" \
  -q "INSERT INTO \`CustomAction\` (\`Action\`, \`Type\`, \`Source\`, \`Target\`) VALUES ('Fail', 3073, 'GandryActions', 'RunInstalledManager')" \
  -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('PrepareFail', 5940)" \
  -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('Fail', 5950)"
folder="$WINEPREFIX/drive_c/Program Files/Gandry"
printf '%s\r\n' '[Services]' 'Item1=GandryNoSuchService||3|0' >"$folder/Gandry.ini"
check "install fails" fails msiexec failing /i "$(winepath -w "$failing_msi")"
check "the log says that the watchdog ran" \
  grep -q '^gandry-manager: zt-gandry-demon: running' "$work/failing.log"
check "the log says why the install failed" \
  grep -q '^gandry-manager (stderr): Unknown command "frobnicate"\.' "$work/failing.log"
# Wine's rollback stops and deletes the service itself, and removes the files before the
# package's rollback action can run the manager; on Windows the rollback runs backwards and the
# action does it.
check "no service left" test -z "$(reg_value "$service" ImagePath)"
check "no product registered" test -z "$(products)"

echo "$failures failed"
[ "$failures" = 0 ]
