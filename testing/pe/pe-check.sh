#!/usr/bin/env bash
# Checks a built Windows file with objdump: machine, exact export names, imports limited to a
# list, ASLR and DEP flags, subsystem, text inside the embedded manifest.
#   pe-check.sh FILE [--machine i386|x86-64] [--exports "A B"] [--imports "K32.dll ..."]
#               [--aslr-dep] [--subsystem "Windows GUI"] [--manifest-contains TEXT]...
#               [--has-symbol NAME] [--lacks-symbol REGEX] [--forbid-import REGEX]
#               [--exports-include DEF] [--imports-within DLL DEF] [--resource-only]
# --imports lists the DLLs that may be imported, separated by commas or spaces (case-insensitive);
# any other import fails.
# --exports-include: the file exports every name of the EXPORTS list of a .def file (and may
# export more). --imports-within: every name the file imports from DLL is in the .def file's list.
# --resource-only: a library that holds resources and nothing that could run: no entry point, no
# import and no exported name.
set -u
file=$1; shift
[ -f "$file" ] || { echo "FAIL: $file does not exist"; exit 1; }
objdump=${OBJDUMP:-objdump}
dump=$("$objdump" -p "$file") || { echo "FAIL: objdump cannot read $file"; exit 1; }
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

while [ $# -gt 0 ]; do
  case "$1" in
  --machine)
    want=$2; shift 2
    got=$("$objdump" -f "$file" | sed -n 's/^architecture: \([^,]*\).*/\1/p')
    case "$want:$got" in
      i386:i386|x86-64:i386:x86-64) pass "machine $got" ;;
      *) fail "machine is '$got', expected $want" ;;
    esac ;;
  --exports)
    want=$(printf '%s\n' $2 | sort | tr '\n' ' '); shift 2
    got=$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' \
          | sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*\([^[:space:]]*\).*/\1/p' | sort | tr '\n' ' ')
    [ "$got" = "$want" ] && pass "exports: $got" || fail "exports are '$got', expected '$want'" ;;
  --exports-include|--imports-within)
    option=$1
    if [ "$option" = --imports-within ]; then dll=$2; shift; fi
    def=$2; shift 2
    [ -f "$def" ] || { fail "$def does not exist"; continue; }
    listed=$(sed -n '/^EXPORTS/,$p' "$def" | sed '1d; s/;.*//; s/^[[:space:]]*//; s/[[:space:]].*//' | sed '/^$/d')
    if [ "$option" = --exports-include ]; then
      got=$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' \
            | sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*\([^[:space:]]*\).*/\1/p')
      missing=$(printf '%s\n' "$listed" | grep -vxF -f <(printf '%s\n' "$got"))
      [ -n "$listed" ] && [ -z "$missing" ] && pass "exports every name of $(basename "$def")" \
        || fail "does not export:" ${missing:-"(nothing listed in $def)"}
    else
      # The hint/name lines of that DLL's block: "vma hint name".
      got=$(printf '%s\n' "$dump" | awk -v d="$dll" 'tolower($0) ~ "dll name: " tolower(d) "$" { on = 1; next }
            on && /DLL Name:|^$/ && seen { exit } on && $1 ~ /^[0-9a-f]+$/ && NF >= 3 { seen = 1; print $3 }')
      extra=$(printf '%s\n' "$got" | grep -vxF -f <(printf '%s\n' "$listed"))
      if [ -z "$got" ]; then fail "nothing imported from $dll"
      elif [ -z "$extra" ]; then pass "imports from $dll only names of $(basename "$def"):" $got
      else fail "imports from $dll names not in $(basename "$def"):" $extra; fi
    fi ;;
  --imports)
    allowed=$(printf '%s\n' $2 | tr ',;' '\n\n' | tr '[:upper:]' '[:lower:]'); shift 2
    got=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p')
    bad=
    for dll in $got; do
      printf '%s\n' "$allowed" | grep -qx "$(printf '%s' "$dll" | tr '[:upper:]' '[:lower:]')" || bad="$bad $dll"
    done
    # Every image imports something; none found means objdump's listing was not understood.
    if [ -z "$got" ]; then fail "no imports found"
    elif [ -z "$bad" ]; then pass "imports:" $got
    else fail "unexpected imports:$bad"; fi ;;
  --resource-only)
    shift
    entry=$(printf '%s\n' "$dump" | sed -n 's/^AddressOfEntryPoint[[:space:]]*\([0-9a-fA-F]*\).*/\1/p')
    if [ -z "$entry" ]; then fail "no entry point field found"
    elif [ -n "$(printf '%s' "$entry" | tr -d 0)" ]; then fail "entry point at $entry"
    else pass "no entry point"; fi
    dlls=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '\n' ' ')
    [ -z "$dlls" ] && pass "no imports" || fail "imports $dlls"
    names=$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' \
            | sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*\([^[:space:]]*\).*/\1/p' | tr '\n' ' ')
    [ -z "$names" ] && pass "no exported names" || fail "exports $names" ;;
  --aslr-dep)
    shift
    flags=$(printf '%s\n' "$dump" | sed -n '/^DllCharacteristics/,/^[A-Z][a-zA-Z]*[[:space:]]/p')
    for f in DYNAMIC_BASE NX_COMPAT; do
      printf '%s\n' "$flags" | grep -q "$f" && pass "$f set" || fail "$f not set"
    done
    printf '%s\n' "$dump" | sed -n '/^Characteristics/,/^$/p' | grep -q 'relocations stripped' \
      && fail "relocations stripped (ASLR cannot move the image)" ;;
  --subsystem)
    want=$2; shift 2
    got=$(printf '%s\n' "$dump" | sed -n 's/^Subsystem[[:space:]]*[0-9a-f]*[[:space:]]*(\(.*\))/\1/p')
    [ "$got" = "$want" ] && pass "subsystem $got" || fail "subsystem is '$got', expected '$want'" ;;
  --manifest-contains)
    want=$2; shift 2
    rsrc=$(mktemp)
    "${OBJCOPY:-objcopy}" -O binary --only-section=.rsrc "$file" "$rsrc" 2>/dev/null
    grep -aqF -- "$want" "$rsrc" && pass "manifest has $want" || fail "manifest lacks $want"
    rm -f "$rsrc" ;;
  --has-symbol)
    want=$2; shift 2
    # Decorated on 32-bit: _wWinMain@16.
    "$objdump" -t "$file" | grep -Eq -- "[[:space:]]_*${want}(@[0-9]+)?$" && pass "symbol $want" || fail "no symbol $want" ;;
  --lacks-symbol)
    # No symbol whose name matches the extended regular expression. The files keep their symbol
    # table, so a name that is absent there is absent from the code: a file without one fails,
    # since it proves nothing.
    want=$2; shift 2
    symbols=$("$objdump" -t "$file" | awk '/^\[ *[0-9]+\]/ { print $NF }')
    if [ -z "$symbols" ]; then fail "no symbol table, cannot show the absence of $want"
    else
      hits=$(printf '%s\n' "$symbols" | grep -E -- "$want" | sort -u | tr '\n' ' ')
      [ -z "$hits" ] && pass "no symbol matching $want" || fail "symbols matching $want: $hits"
    fi ;;
  --forbid-import)
    # An extended regular expression for imported function names.
    want=$2; shift 2
    hits=$(printf '%s\n' "$dump" | sed -n -E "s/^[[:space:]]+[0-9a-f]+[[:space:]]+[0-9]+[[:space:]]+(${want})$/\1/p" | tr '\n' ' ')
    [ -z "$hits" ] && pass "imports nothing matching $want" || fail "imports $hits" ;;
  *) echo "unknown option $1"; exit 2 ;;
  esac
done
[ $failures -eq 0 ]
