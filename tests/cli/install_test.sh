#!/usr/bin/env bash
# The installed layout: `cmake --install` into a fresh prefix puts the command in bin and the effect library
# in lib/palettrix, and the command finds the library from there (also after the prefix is moved), with
# nothing beside it; its test card is byte for byte the build tree's.
#   install_test.sh PALETTRIX BUILD_DIR
set -euo pipefail
palettrix=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset PALETTRIX_EFFECT
cmake --install "$2" --prefix "$work/prefix" >/dev/null
[ "$(ls "$work/prefix/bin")" = palettrix ] || { echo "FAIL: bin holds $(ls "$work/prefix/bin")"; exit 1; }
[ "$(ls "$work/prefix/lib/palettrix")" = Palettrix.so ] || { echo "FAIL: no lib/palettrix/Palettrix.so"; exit 1; }
[ -f "$work/prefix/lib/frei0r-1/palettrix.so" ] || { echo "FAIL: no lib/frei0r-1/palettrix.so"; exit 1; }

"$palettrix" demo "$work/expected.png" >/dev/null
"$work/prefix/bin/palettrix" demo "$work/installed.png" >/dev/null
cmp "$work/expected.png" "$work/installed.png"
mv "$work/prefix" "$work/moved"
"$work/moved/bin/palettrix" demo "$work/moved.png" >/dev/null
cmp "$work/expected.png" "$work/moved.png"
echo "ok: the installed command renders the test card from bin and from a moved prefix"
