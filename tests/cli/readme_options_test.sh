#!/usr/bin/env bash
# The README names every command and every option the command's help lists, its own and each command's.
#   readme_options_test.sh PALETTRIX README
set -euo pipefail
palettrix=$1
readme=$2
missing=0
for command in "" render demo gallery palette list; do
  help=$("$palettrix" $command --help)
  [ -z "$command" ] || grep -q "palettrix $command" "$readme" || { echo "README lacks: palettrix $command"; missing=1; }
  for option in $(grep -oE -- '(^|[ ,])--?[a-z][a-z0-9-]*' <<<"$help" | tr -d ' ,' | sort -u); do
    if ! grep -qE -- "(^|[^a-z0-9-])$option([^a-z0-9-]|\$)" "$readme"; then
      echo "README lacks: ${command:-palettrix} $option"
      missing=1
    fi
  done
done
[ "$missing" = 0 ] && echo "ok: every command and option of the help is in the README"
