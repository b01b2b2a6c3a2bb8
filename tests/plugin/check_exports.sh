#!/bin/sh
# The effect library must export its entry point and nothing else.
set -eu
symbols=$(nm -D --defined-only "$1" | awk '{print $NF}' | sort -u)
if [ "$symbols" != "EntryPoint" ]; then
  echo "exported: $symbols"
  exit 1
fi
