#!/usr/bin/env bash
# Checks what brisco-install.exe declares to the system:
#   - Windows GUI subsystem (no console) and the wide-character entry point's start-up code;
#   - ASLR and DEP;
#   - an embedded manifest: asInvoker, common controls 6.0.0.0, Windows Vista and Windows 7;
#   - imports only from known DLLs, which Windows always loads from the system folder, so a
#     library planted beside the helper is never picked up before its own code runs.
# Usage: check_image.sh OBJDUMP OBJCOPY EXE WORKDIR
set -u
objdump=$1 objcopy=$2 exe=$3 work=$4
mkdir -p "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

headers=$("$objdump" -p "$exe") || { echo "FAIL: objdump cannot read $exe"; exit 1; }

grep -Eq '^Subsystem[[:space:]]+00000002' <<<"$headers" || fail "subsystem is not Windows GUI (2)"
characteristics=$(awk '/^DllCharacteristics/ {print $2}' <<<"$headers")
(( 0x$characteristics & 0x40 )) || fail "no ASLR (DYNAMIC_BASE) in DllCharacteristics $characteristics"
(( 0x$characteristics & 0x100 )) || fail "no DEP (NX_COMPAT) in DllCharacteristics $characteristics"

# The console entry point would have pulled in main/wmain instead; -municode start-up calls wWinMain.
"$objdump" -t "$exe" | grep -q 'wWinMain' || fail "no wWinMain in the image"

known_dlls="advapi32.dll kernel32.dll msvcrt.dll ole32.dll shell32.dll user32.dll"
while read -r dll; do
  lower=$(tr 'A-Z' 'a-z' <<<"$dll")
  grep -qw -- "$lower" <<<"$known_dlls" || fail "imports $dll, which is not a known DLL"
done < <(awk '/DLL Name:/ {print $3}' <<<"$headers")

"$objcopy" -O binary --only-section=.rsrc "$exe" "$work/rsrc.bin" || fail "no resource section"
manifest=$(tr -d '\0' <"$work/rsrc.bin" 2>/dev/null)
for needle in \
    'level="asInvoker"' \
    'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' \
    'supportedOS Id="{e2011457-1546-43c5-a5fe-008deee3d3f0}"' \
    'supportedOS Id="{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"'; do
  tr -s ' \n\r\t' ' ' <<<"$manifest" | grep -qF -- "$needle" || fail "manifest lacks $needle"
done

if [ "$failures" -ne 0 ]; then
  echo "$exe: $failures check(s) failed"
  exit 1
fi
echo "$exe: subsystem, entry, ASLR/DEP, manifest and imports as required"
