#!/usr/bin/env bash
# Checks a virtual table in a built Windows file against the layout a foreign host relies on: the
# function each slot points to and, on 32-bit, how many bytes of arguments it pops (thiscall: the
# callee cleans the stack, "ret N").
#   vtable-check.sh [--msvc] FILE VTABLE_SYMBOL 'Class::Name(:N' ...
# One SLOT argument per slot, in order: a text the slot's demangled function name starts with,
# then ":" and the bytes it must pop (checked on 32-bit files only). The file needs its symbols.
# --msvc: a file of the platform's own compiler, whose table symbol ("??_7Class@@6B@") points at
# slot 0 itself and whose names are matched as they stand (decorated).
set -u
layout=gnu
if [ "${1:-}" = --msvc ]; then layout=msvc; shift; fi
file=$1 vtable=$2; shift 2
[ -f "$file" ] || { echo "FAIL: $file does not exist"; exit 1; }
objdump=${OBJDUMP:-objdump}

case "$("$objdump" -f "$file" | sed -n 's/.*file format //p')" in
  pei-i386) ptr=4 ;;
  pei-x86-64) ptr=8 ;;
  *) echo "FAIL: $file is not a Windows image"; exit 1 ;;
esac

# Section start addresses by symbol-table section number (1-based).
mapfile -t section_vma < <("$objdump" -h "$file" | awk '$1 ~ /^[0-9]+$/ { print $4 }')
# "address name" of every symbol, names demangled.
demangle=-C
[ $layout = msvc ] && demangle=
symbols=$("$objdump" -t $demangle "$file" | sed -n 's/.*(sec *\([0-9]*\)).* 0x\([0-9a-f]*\) \(.*\)/\1 \2 \3/p' |
  while read -r sec off name; do
    [ "$sec" -ge 1 ] && [ "$sec" -le ${#section_vma[@]} ] || continue
    printf '%x %s\n' $(( 0x${section_vma[sec - 1]} + 0x$off )) "$name"
  done)
table=$(printf '%s\n' "$symbols" | awk -v s="$vtable" '{ a = $1; sub(/^[^ ]* /, "") } $0 == s { print a; exit }')
[ -n "$table" ] || { echo "FAIL: no symbol $vtable in $file"; exit 1; }

# GNU tables: the slots follow the offset-to-top and type-information entries. The platform
# compiler's table symbol is slot 0 (its type information sits before it).
if [ $layout = msvc ]; then first=$(( 0x$table )); else first=$(( 0x$table + 2 * ptr )); fi
words=$("$objdump" -s --start-address=$first --stop-address=$(( first + $# * ptr )) "$file" \
        | awk '/^ [0-9a-f]+ / { for (i = 2; i <= 5; ++i) if ($i ~ /^[0-9a-f]+$/) printf "%s", $i }')
failures=0
slot=0
for entry in "$@"; do
  want=${entry%:*} pop=${entry##*:}
  hex=${words:$(( slot * ptr * 2 )):$(( ptr * 2 ))}
  # Little-endian bytes to a number.
  addr=0
  for ((i = ${#hex} - 2; i >= 0; i -= 2)); do addr=$(( addr * 256 + 0x${hex:i:2} )); done
  addr=$(printf '%x' "$addr")
  names=$(printf '%s\n' "$symbols" | awk -v a="$addr" '$1 == a { $1 = ""; print substr($0, 2) }')
  if [ -n "$(printf '%s\n' "$names" | awk -v w="$want" 'index($0, w) == 1')" ]; then
    result="slot $slot: $want"
  else
    echo "FAIL: slot $slot points to '$(printf '%s' "$names" | head -1)', expected $want"
    failures=$((failures + 1)); slot=$((slot + 1)); continue
  fi
  if [ $ptr -eq 4 ]; then
    # The first return of the function; every return of one function pops the same bytes.
    ret=$("$objdump" -d --no-show-raw-insn --start-address=0x$addr --stop-address=$(( 0x$addr + 4096 )) "$file" \
          | awk '$2 ~ /^ret/ { print ($3 == "" ? "$0" : $3); exit }')
    ret=$(( ${ret#\$} ))
    if [ "$ret" != "$pop" ]; then
      echo "FAIL: slot $slot ($want) pops ${ret:-?} bytes of arguments, expected $pop"
      failures=$((failures + 1)); slot=$((slot + 1)); continue
    fi
    result="$result, pops $pop"
  fi
  echo "ok: $result"
  slot=$((slot + 1))
done
[ $failures -eq 0 ]
