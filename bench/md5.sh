#!/usr/bin/env bash
# FileMd5Hex against `openssl dgst -md5` on one cached file (default 512 MiB of
# random bytes): best of several runs each, digests compared, ratio printed
# (above 1.0 means faster than openssl).
#   bench/md5.sh [SIZE_MIB] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
size_mib=${1:-512}
runs=${2:-5}

cmake -S bench -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench --target md5_bench -j 2 >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
file=$work/data.bin
head -c $((size_mib * 1024 * 1024)) /dev/urandom >"$file"
cat "$file" >/dev/null  # into the page cache

ssl_best=
for _ in $(seq "$runs"); do
  t0=$(date +%s.%N)
  ssl_digest=$(openssl dgst -md5 -r "$file" | cut -d' ' -f1)
  t1=$(date +%s.%N)
  ssl_best=$(awk -v a="$t0" -v b="$t1" -v best="$ssl_best" \
    'BEGIN { t = b - a; if (best == "" || t < best) best = t; printf "%.6f", best }')
done

read -r our_digest our_best < <(build-bench/md5_bench "$file" "$runs")

if [ "$our_digest" != "$ssl_digest" ]; then
  echo "digests differ: $our_digest (FileMd5Hex) vs $ssl_digest (openssl)" >&2
  exit 1
fi
awk -v mib="$size_mib" -v runs="$runs" -v ssl="$ssl_best" -v ours="$our_best" 'BEGIN {
  printf "file: %d MiB, best of %d\n", mib, runs
  printf "openssl dgst -md5: %.3f s  (%.0f MiB/s)\n", ssl, mib / ssl
  printf "FileMd5Hex:        %.3f s  (%.0f MiB/s)\n", ours, mib / ours
  printf "ratio (openssl time / FileMd5Hex time): %.3f\n", ssl / ours
}'
