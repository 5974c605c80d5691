#!/usr/bin/env bash
# The release preset (win32-release) refuses the development keys and builds and signs only what
# ships, collected into its bundle.
# Each case configures it, without building, into a folder of its own under WORK_DIR: without
# public keys, with the development keys, and with a pair of keys made here; and the development
# build says which keys it carries.
#   release_preset_test.sh CMAKE SOURCE_DIR WORK_DIR
set -u
cmake=$1 src=$2 work=$3
rm -rf "$work" && mkdir -p "$work/keys" || exit 2
if ! command -v i686-w64-mingw32-g++-win32 >/dev/null; then
    echo "SKIP: no 32-bit MinGW-w64 compiler"
    exit 77
fi
failures=0
fail() { echo "FAIL $1"; failures=$((failures + 1)); }
# shellcheck disable=SC2317  # called through check
not() { ! "$@"; }

# check NAME WHY COMMAND...: the case passes when COMMAND succeeds; WHY is shown when it does not.
check() {
    local name=$1 why=$2
    shift 2
    if "$@"; then echo "ok   $name"; else fail "$name: $why"; fi
}

dev=$src/keys/development
keys=$work/keys
for k in primary legacy; do
    openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -pkeyopt rsa_keygen_pubexp:65537 \
        -out "$keys/$k-private.pem" 2>/dev/null &&
        openssl pkey -in "$keys/$k-private.pem" -pubout -out "$keys/$k-public.pem" || exit 2
done
echo 0x5EED1234 >"$keys/legacy-length-seed.txt"
fresh_public="-DKY_PUBLIC_KEY_FILES=$keys/primary-public.pem;$keys/legacy-public.pem;$keys/legacy-length-seed.txt"
fresh_signing="-DKY_SIGNING_KEY=$keys/primary-private.pem -DKY_SIGNING_LEGACY_KEY=$keys/legacy-private.pem"

# configure NAME PRESET ARGS...: WORK/NAME configured, its output in WORK/NAME.log; the output is
# also left in $out with CMake's line wrapping undone.
configure() {
    local name=$1 preset=$2 rc
    shift 2
    "$cmake" -S "$src" -B "$work/$name" --preset "$preset" "$@" >"$work/$name.log" 2>&1
    rc=$?
    out=$(tr -s '[:space:]' ' ' <"$work/$name.log")
    return $rc
}

# refused NAME PATTERN ARGS...: the release configure fails, and says why (PATTERN).
refused() {
    local name=$1 pattern=$2
    shift 2
    if configure "$name" win32-release "$@"; then
        fail "$name: the configure succeeded"
    elif ! grep -qE -- "$pattern" <<<"$out"; then
        fail "$name: the configure failed without the reason /$pattern/ (see $work/$name.log)"
    else
        echo "ok   $name"
    fi
}

# shellcheck disable=SC2086  # the key options are word lists
{
    refused RefusesMissingPublicKeys 'KY_PUBLIC_KEY_FILES names none' $fresh_signing
    refused RefusesDevelopmentPublicKeys \
        "refuses the development keys: the public key $dev/primary-public.pem" \
        "-DKY_PUBLIC_KEY_FILES=$dev/primary-public.pem;$dev/legacy-public.pem" $fresh_signing
    refused RefusesDevelopmentLegacyPublicKey \
        "refuses the development keys: the public key $dev/legacy-public.pem" \
        "-DKY_PUBLIC_KEY_FILES=$keys/primary-public.pem;$dev/legacy-public.pem" $fresh_signing
    refused RefusesMissingSigningKeys 'KY_SIGNING_KEY names none' "$fresh_public"
    refused RefusesDevelopmentSigningKey \
        "refuses the development keys: the signing key $dev/primary-private.pem \\(KY_SIGNING_KEY\\)" \
        "$fresh_public" -DKY_SIGNING_KEY="$dev/primary-private.pem" \
        -DKY_SIGNING_LEGACY_KEY="$keys/legacy-private.pem"
    refused RefusesDevelopmentLegacySigningKey \
        "refuses the development keys: the signing key $dev/legacy-private.pem \\(KY_SIGNING_LEGACY_KEY\\)" \
        "$fresh_public" -DKY_SIGNING_KEY="$keys/primary-private.pem" \
        -DKY_SIGNING_LEGACY_KEY="$dev/legacy-private.pem"
    refused RefusesSigningKeyOfAnotherPublicKey 'KY_SIGNING_KEY\) does not belong to the built-in public key' \
        "$fresh_public" -DKY_SIGNING_KEY="$keys/legacy-private.pem" \
        -DKY_SIGNING_LEGACY_KEY="$keys/legacy-private.pem"

    name=ConfiguresWithReleaseKeys
    if ! configure $name win32-release "$fresh_public" $fresh_signing; then
        fail "$name: the configure failed (see $work/$name.log)"
    else
        echo "ok   $name"
        dir=$work/$name
        check BuiltInKeysAreNotDevelopmentKeys 'the generated header says otherwise' \
            grep -q 'kBuiltinKeysAreDevelopmentKeys = false;' "$dir/generated/kysig/kysig_builtin_keys.h"
        check NoDevelopmentKeysMessage 'the configure says the development keys are built in' \
            not grep -q 'Built-in keys: the development keys' <<<"$out"
        # The targets, without the build folder's path (it is no target's name).
        targets=$("$cmake" --build "$dir" --target help 2>&1 | sed "s|$dir/||g")
        for shipped in fetchwellGUI brisco-install briscoinstallrc rcimage fetchwellgui_lang_en \
            fetchwellgui_lang_de fetchwellgui_lang_fr fetchwellgui_lang_ru fetchwellgui_lang_he \
            ky_shortcut_icons ky_uninstall_script; do
            check "Builds_$shipped" "no target $shipped" grep -q "^$shipped: " <<<"$targets"
        done
        # A target of the top folder, which the listing names by its folder's path only.
        check Builds_bundle "no target bundle" grep -q '^build bundle: phony' "$dir/build.ninja"
        check BundleIsInTheDefaultBuild "bundle is not part of all" \
            grep -qE '^build all: phony .*(^| )bundle( |$)' "$dir/build.ninja"
        unwanted=$(grep -E '_test|stand_in|plugin_host|winauto|ky_vl_|ky_check_program|gtest|gmock|verify_samples|_unsigned|fetchwell_library|loader_|cpp_host' <<<"$targets")
        check BuildsNoTestTargets "$(tr '\n' ' ' <<<"$unwanted")" test -z "$unwanted"
        tests=$(find "$dir" -path "$dir/host-tools" -prune -o -name CTestTestfile.cmake -print)
        check RegistersNoTests "$tests" test -z "$tests"
        # Exactly the shipped files are signed, each after its link or as its copy is made (the
        # file is the command's last word), and each once.
        signed=$(grep -E 'kysign sign ' "$dir/build.ninja" | awk '{ print $NF }' |
            xargs -r -n1 basename | LC_ALL=C sort | tr '\n' ' ')
        check SignsOnlyTheShippedFiles "signed: $signed" \
            test "$signed" = "Uninstall.vbs brisco-install.exe brisco.ico brisco_uninstall.ico \
briscoinstallrc.dll fetchwellGUI.dll fetchwellGUI_de.dll fetchwellGUI_en.dll fetchwellGUI_fr.dll \
fetchwellGUI_he.dll fetchwellGUI_ru.dll rcimage.dll "
        # The bundle collects exactly the files the release signed where it built them (bin/).
        listed=$(sed "s|^$dir/bin/||" "$dir/bundle/files.txt" 2>/dev/null | LC_ALL=C sort | tr '\n' ' ')
        check BundlesTheSignedFiles "the bundle's list: $listed" test "$listed" = "$signed"
    fi
}

# A development build carries the development keys and says so when it is configured.
name=DevelopmentBuildSaysSo
if ! configure $name win32; then
    fail "$name: the configure failed (see $work/$name.log)"
elif ! grep -q 'Built-in keys: the development keys in keys/development' <<<"$out" ||
    ! grep -q 'kBuiltinKeysAreDevelopmentKeys = true;' "$work/$name/generated/kysig/kysig_builtin_keys.h"; then
    fail "$name: no word of the development keys (see $work/$name.log)"
else
    echo "ok   $name"
fi

[ "$failures" -eq 0 ] && echo "all cases passed" || echo "$failures case(s) failed"
exit $((failures != 0))
