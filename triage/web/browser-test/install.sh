#!/usr/bin/env bash
# Puts the page's browser driver (puppeteer-core, as the lock file pins it)
# and the scripts of this folder into DIR; npm runs only when the lock changed.
#   install.sh DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
dir=$1
mkdir -p "$dir"
if ! cmp -s "$here/package-lock.json" "$dir/package-lock.json" || [ ! -d "$dir/node_modules" ]; then
    cp "$here/package.json" "$here/package-lock.json" "$dir/"
    (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error) >&2
fi
cp "$here"/*.mjs "$dir/"
