#!/usr/bin/env bash
# The signing tool's command line: refusals with clear messages and non-zero exit codes, signing
# in place and to a new file, verification in words, and public keys in the configure step's form.
#   cli_test.sh KYSIGN KEY_DIR WORK_DIR
set -u
kysign=$1 keys=$2 work=$3
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 2
failures=0

# expect NAME EXIT_CODE OUTPUT_PATTERN -- COMMAND...
expect() {
    local name=$1 code=$2 pattern=$3; shift 4
    local out rc
    out=$("$@" 2>&1); rc=$?
    if [ "$rc" -ne "$code" ] || ! grep -qE -- "$pattern" <<<"$out"; then
        echo "FAIL $name: exit $rc (wanted $code), output: $out"
        failures=$((failures + 1))
    else
        echo "ok   $name"
    fi
}

head -c 5000 /dev/urandom >input.bin
cp input.bin inplace.bin
printf 'WScript.Echo "hello"\r\n%.0s' $(seq 10) >script.vbs
P="--selector P --key $keys/primary-private.pem"

expect SignsToNewFile 0 '^$' -- "$kysign" sign --form binary $P input.bin signed.bin
expect VerifiesInWords 0 "verified with a signature entry, key selector 'P' \(result true, status 3\)" -- "$kysign" verify signed.bin
# This build has the development keys built in (the cases here sign with them and verify without
# --key), and verify says so.
expect SaysDevelopmentKeysAreBuiltIn 0 '^built-in keys: the development keys \(not for a release\)$' -- "$kysign" verify signed.bin
expect SignsInPlace 0 '^$' -- "$kysign" sign --form text $P inplace.bin
expect InPlaceResultVerifies 0 'status 3' -- "$kysign" verify inplace.bin
# A program that links the verifier holds the end marker as text: that alone is no block.
{ head -c 3000 /dev/urandom; printf 'const 62F3AB0132FKYCSE in the data'; head -c 100 /dev/urandom; } >marker.bin
expect SignsFileHoldingTheMarkerText 0 '^$' -- "$kysign" sign --form binary $P marker.bin marker.signed.bin
expect FileHoldingTheMarkerTextVerifies 0 'status 3' -- "$kysign" verify marker.signed.bin
expect RefusesFileWithBlock 1 'already carries a signature block' -- "$kysign" sign --form binary $P signed.bin again.bin
expect RefusedFileIsNotWritten 1 '' -- test -e again.bin
expect RefusesMissingKey 1 'cannot open the key file' -- "$kysign" sign --form binary --key "$keys/none.pem" input.bin out.bin
expect RefusesPublicKeyForSigning 1 'no PEM private key' -- "$kysign" sign --form binary --key "$keys/primary-public.pem" input.bin out.bin
expect RefusesUnreadableInput 1 'cannot open missing.bin' -- "$kysign" sign --form binary $P missing.bin out.bin
expect RefusesBadSelector 2 'selector takes P or D' -- "$kysign" sign --form binary --selector X --key "$keys/primary-private.pem" input.bin out.bin
expect RefusesMissingForm 2 'sign needs --form' -- "$kysign" sign $P input.bin out.bin
expect RefusesLeadInAboveLimit 2 'lead-in takes 0 to 32' -- "$kysign" sign --form binary --lead-in 33 $P input.bin out.bin
expect RefusesPaddingAboveLimit 2 'padding takes 0 to 32' -- "$kysign" sign --form binary --padding 33 $P input.bin out.bin
expect RefusesLegacyWithoutSeed 2 'needs --seed-file' -- "$kysign" sign --form binary --legacy --key "$keys/legacy-private.pem" input.bin out.bin
expect RefusedRunsLeaveNoOutput 1 '' -- test -e out.bin
expect LeavesNoTemporaryFiles 1 '' -- sh -c 'ls | grep -q kysign-'
expect SignsWithLegacySelector 0 '^$' -- "$kysign" sign --form binary --selector D --key "$keys/legacy-private.pem" input.bin d.bin
expect ReportsLegacySelector 0 "key selector 'D' \(result false, status 11\)" -- "$kysign" verify d.bin
expect WritesLegacyTrailer 0 '^$' -- "$kysign" sign --form binary --legacy --key "$keys/legacy-private.pem" --seed-file "$keys/legacy-length-seed.txt" input.bin legacy.bin
expect VerifiesLegacyTrailer 0 'legacy trailer \(result true, status 2\)' -- "$kysign" verify legacy.bin
expect RefusesLegacyTrailerWithoutFallback 1 'no signature block \(result false, status 7\)' -- "$kysign" verify --mode 0 legacy.bin
expect ReportsUnsignedFile 1 'status 7' -- "$kysign" verify input.bin
expect ReportsMissingFile 1 'does not exist' -- "$kysign" verify missing.bin
expect VerifiesWithGivenKey 0 'status 3' -- "$kysign" verify --key "$keys/primary-public.pem" signed.bin
expect SignsScriptAsText 0 '^$' -- "$kysign" sign --form text $P script.vbs script.signed.vbs
expect ScriptKeepsItsLinesAndEndsInComment 0 "^'KYCS4F3A4200C37O" -- tail -n 1 script.signed.vbs
for k in primary legacy; do
    expect "PrintsModulusLikeOpenSsl_$k" 0 "^$(openssl rsa -pubin -in "$keys/$k-public.pem" -noout -modulus)\$" -- "$kysign" pubkey --key "$keys/$k-public.pem"
    expect "PrintsModulusOfPrivateKey_$k" 0 "^$(openssl rsa -pubin -in "$keys/$k-public.pem" -noout -modulus)\$" -- "$kysign" pubkey --key "$keys/$k-private.pem"
done

[ "$failures" -eq 0 ] && echo "all cases passed" || echo "$failures case(s) failed"
exit $((failures != 0))
