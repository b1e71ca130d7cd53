#!/bin/sh
# Velmar Acc post-update step: notes which version was installed, and when.
# Usage: record-update.sh VERSION FILE
printf 'Velmar Acc %s installed on %s\n' "$1" "$(date '+%Y-%m-%d %H:%M:%S')" >"$2"
