#!/usr/bin/env bash
# Zips the files of STAGE (named relative to it) so that the same files give
# the same zip: every time set to TIME (seconds since 1970, UTC; a release
# takes its last commit's), no owner or extra time fields, no folder entries,
# names in the order given.
#
#   tools/reproducible-zip.sh STAGE TIME ZIP FILE...
set -euo pipefail
[ $# -ge 4 ] || { echo "usage: $0 STAGE TIME ZIP FILE..." >&2; exit 2; }
stage=$1 time=$2 zip=$3
shift 3
zip=$(realpath -m "$zip")
rm -f "$zip"
(cd "$stage" && touch -d "@$time" "$@" && TZ=UTC zip -X -D -q "$zip" "$@")
