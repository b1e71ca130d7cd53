#!/usr/bin/env bash
# The unzip action against Info-ZIP `unzip -o -q`: one archive of about 150 MB
# in 2,000 files (one large text file among them), made once and kept in
# build-bench/; median of RUNS timed runs each after a warm-up, ratio printed
# (1.0 means as fast as unzip; the target is 0.8 or more).
#   bench/unzip.sh [RUNS] [WORKDIR]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}

cmake -S bench -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench --target unzip_bench -j 2 >/dev/null

archive=build-bench/unzip-bench.zip
if [ ! -f "$archive" ]; then
  echo "making $archive ..."
  build-bench/unzip_bench make "$archive.part"
  mv "$archive.part" "$archive"
fi
cat "$archive" >/dev/null  # into the page cache

work=${2:-$(mktemp -d)}
mkdir -p "$work"
[ -n "${2:-}" ] || trap 'rm -rf "$work"' EXIT
echo "archive: $(du -m "$archive" | cut -f1) MB packed, $(unzip -Z -t "$archive" | sed 's/,.*//')"
build-bench/unzip_bench run "$archive" "$work" "$runs"
