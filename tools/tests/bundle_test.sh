#!/usr/bin/env bash
# The shipped bundle as the build left it (this test builds nothing): exactly the files that ship,
# a manifest that matches them, a signature on each that the built-in keys accept, the uninstall
# script's block in text form, and an archive that holds the same files.
#   bundle_test.sh BUNDLE_FOLDER ARCHIVE KYSIGN
set -u
folder=$(realpath -m "$1") archive=$(realpath -m "$2") kysign=$3
failures=0
fail() { echo "FAIL $1"; failures=$((failures + 1)); }
ok() { echo "ok   $1"; }

# What ships, in byte order. Not the loader host (fetchwell.exe), its library (fetchwell.dll), its
# control file, or any stand-in, test copy or unsigned file.
expected="Uninstall.vbs
brisco-install.exe
brisco.ico
brisco_uninstall.ico
briscoinstallrc.dll
fetchwellGUI.dll
fetchwellGUI_de.dll
fetchwellGUI_en.dll
fetchwellGUI_fr.dll
fetchwellGUI_he.dll
fetchwellGUI_ru.dll
rcimage.dll"

if [ ! -d "$folder" ]; then
    echo "FAIL no bundle folder $folder (the default build makes it: target bundle)"
    exit 1
fi
manifest=$folder/MANIFEST.sha256

got=$(cd "$folder" && find . -mindepth 1 -printf '%P\n' | LC_ALL=C sort)
want=$(printf '%s\nMANIFEST.sha256\n' "$expected" | LC_ALL=C sort)
if [ "$got" = "$want" ]; then
    ok ExactlyTheShippedFiles
else
    fail "ExactlyTheShippedFiles: extra: $(comm -23 <(echo "$got") <(echo "$want") | tr '\n' ' ')missing: $(comm -13 <(echo "$got") <(echo "$want") | tr '\n' ' ')"
fi

# The manifest: one well-formed line per shipped file, sorted by name, each matching its file.
if [ ! -f "$manifest" ]; then
    fail "ManifestExists: no $manifest"
else
    bad=$(grep -cvE '^[0-9a-f]{64}  [0-9]+  [^ /\\]+$' "$manifest")
    [ "$bad" -eq 0 ] && ok ManifestLinesWellFormed || fail "ManifestLinesWellFormed: $bad bad line(s)"
    names=$(awk '{ print $3 }' "$manifest")
    [ "$names" = "$expected" ] && ok ManifestNamesEveryFileInOrder ||
        fail "ManifestNamesEveryFileInOrder: $(echo "$names" | tr '\n' ' ')"
    mismatched=
    while read -r hash size name; do
        file=$folder/$name
        [ -f "$file" ] || { mismatched="$mismatched $name(missing)"; continue; }
        [ "$(stat -c %s "$file")" = "$size" ] || mismatched="$mismatched $name(size)"
        [ "$(sha256sum <"$file" | cut -d' ' -f1)" = "$hash" ] || mismatched="$mismatched $name(sha256)"
    done <"$manifest"
    [ -z "$mismatched" ] && ok ManifestMatchesTheFiles || fail "ManifestMatchesTheFiles:$mismatched"
fi

# Every file carries a block that the built-in keys accept (kysign verify exits 0 only then).
unsigned=
while read -r name; do
    [ -f "$folder/$name" ] || continue
    "$kysign" verify "$folder/$name" >/dev/null 2>&1 || unsigned="$unsigned $name"
done <<<"$expected"
[ -z "$unsigned" ] && ok EveryFileVerifies || fail "EveryFileVerifies: refused:$unsigned"

# The script host reads the whole script: its block must be the text form, one comment line at its
# end (the helper refuses a script with any other), and it must not start like a program.
script=$folder/Uninstall.vbs
if [ -f "$script" ] && tail -c 2000 "$script" | grep -aqE "^'KYCS4F3A4200C37O[ -~]*62F3AB0132FKYCSE[[:space:]]*$" &&
    [ "$(head -c 2 "$script")" != MZ ]; then
    ok ScriptBlockIsACommentLine
else
    fail "ScriptBlockIsACommentLine: no text-form block line at the end of Uninstall.vbs"
fi
for icon in brisco.ico brisco_uninstall.ico; do
    [ -f "$folder/$icon" ] && [ "$(head -c 4 "$folder/$icon" | od -An -tx1 | tr -d ' ')" = 00000100 ] &&
        ok "IconFile_$icon" || fail "IconFile_$icon: no icon file header"
done

# The archive: the folder's files under fetchwell-client/, byte for byte.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
top=$(basename "$folder")
if [ ! -f "$archive" ]; then
    fail "ArchiveHoldsTheFolder: no $archive"
elif ! (cd "$work" && cmake -E tar xf "$archive") >/dev/null 2>&1; then
    fail "ArchiveHoldsTheFolder: cmake -E tar cannot read $archive"
else
    inside=$(cd "$work" && find . -mindepth 1 -type f -printf '%P\n' | LC_ALL=C sort)
    entries=$(printf '%s\n' "$want" | sed "s|^|$top/|" | LC_ALL=C sort)
    differing=
    while read -r name; do
        cmp -s "$folder/$name" "$work/$top/$name" || differing="$differing $name"
    done <<<"$want"
    if [ "$inside" != "$entries" ]; then
        fail "ArchiveHoldsTheFolder: entries $(echo "$inside" | tr '\n' ' ')"
    elif [ -n "$differing" ]; then
        fail "ArchiveHoldsTheFolder: differs from the folder:$differing"
    else
        ok ArchiveHoldsTheFolder
    fi
fi

[ "$failures" -eq 0 ] && echo "all cases passed" || echo "$failures case(s) failed"
exit $((failures != 0))
