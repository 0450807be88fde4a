#!/usr/bin/env bash
# Runs the Windows test programs under Wine: headless, in a prefix of the build tree's own, with
# nothing offered for download (no .NET or HTML engine) and no desktop menu entries made.
#
#   run_under_wine.sh PREFIX --create          make the prefix and keep a Wine server up
#   run_under_wine.sh PREFIX --stop            end that server
#   run_under_wine.sh PREFIX PROGRAM.exe       run a program that checks on its own
#   run_under_wine.sh PREFIX DRIVER.exe PLUGIN.dll LINUX_DRIVER PLUGIN.so
#       run a driver against the DLL and its Linux build against the Linux library, and compare
#       the two transcripts line for line
set -uo pipefail
export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
case $2 in
  --create)
    # A prefix from an earlier run is kept; Wine updates it itself when its version changed.
    [ -f "$WINEPREFIX/system.reg" ] || wineboot --init >/dev/null 2>&1 || exit 1
    # A server kept up for the whole run (--stop ends it, or five idle minutes) instead of one
    # started, with the prefix's services, for each short program; the one wineboot left would
    # end within seconds.
    wineserver --kill 2>/dev/null
    wineserver --persistent=300 </dev/null >/dev/null 2>&1 || exit 1
    # The prefix's services start with the first program and stay; started here, they hold no
    # test's output open.
    wineboot </dev/null >/dev/null 2>&1
    exit ;;
  --stop)
    wineserver --kill 2>/dev/null
    exit 0 ;;
esac

program=$2
if [ $# -eq 2 ]; then
  wine "$program" | tr -d '\r'
  exit "${PIPESTATUS[0]}"
fi
dll=$3 twin=$4 library=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
# Windows paths for the loader: the Linux root is drive Z:.
wine "$program" "Z:${dll//\//\\}" >"$work/windows" || status=1
tr -d '\r' <"$work/windows" >"$work/windows.txt"
"$twin" "$library" >"$work/linux.txt" || status=1
if ! diff -u --label "Linux: $library" --label "Wine: $dll" "$work/linux.txt" "$work/windows.txt"; then
  status=1
elif [ $status -ne 0 ]; then
  cat "$work/windows.txt"
fi
[ $status -eq 0 ] && echo "$(wc -l <"$work/windows.txt") transcript lines equal; $(basename "$program") passed its own checks"
exit $status
