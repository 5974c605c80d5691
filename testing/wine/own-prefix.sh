#!/usr/bin/env bash
# Runs a Windows test program as wine-run.sh does, but in a prefix of its own, for a test that
# changes what the shared prefix must keep (the programs of its system folder, say); stops that
# prefix's wineserver afterwards. The display is the shared one.
#   own-prefix.sh PREFIX_FOLDER PROGRAM [ARGS...]
set -u
export KY_WINE_PREFIX=$1
shift
"$(dirname "$0")/wine-run.sh" "$@"
rc=$?
. "$(dirname "$0")/wine-env.sh"
"$KY_WINESERVER" -k >/dev/null 2>&1
exit $rc
