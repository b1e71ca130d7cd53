#!/usr/bin/env bash
# HttpDownload (into a file, with progress) against `curl -s -o` on the same
# file from a local nginx: one warm-up each, then RUNS alternating runs; prints
# the median throughputs, their ratio (target >= 0.8) and HttpDownload's peak
# resident size (target < 16 MiB).
#   bench/download.sh [SIZE_MIB] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
size_mib=${1:-512}
runs=${2:-5}

cmake -S bench -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench --target download_bench -j 2 >/dev/null
bench=$root/build-bench/download_bench

work=$(mktemp -d)
cleanup() {
  python3 "$root/tests/e2e/servers/nginx_ctl.py" stop --state-dir "$work/servers" >/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/www"
head -c $((size_mib * 1024 * 1024)) /dev/urandom >"$work/www/data.bin"
python3 "$root/tests/e2e/servers/nginx_ctl.py" start --state-dir "$work/servers" \
  --root "$work/www" >/dev/null
url="http://127.0.0.1:$(cat "$work/servers/nginx.port")/data.bin"
export no_proxy=127.0.0.1 NO_PROXY=127.0.0.1
cd "$work"  # updater.log, if any, stays in the temporary folder

now() { date +%s.%N; }
time_curl() {
  local t0 t1
  t0=$(now)
  curl -s --noproxy '*' -o "$work/curl.bin" "$url"
  t1=$(now)
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.6f\n", b - a }'
}
# Prints "seconds peak_kib"; the wall time includes the process start, as curl's does.
time_ours() {
  local t0 t1 out
  t0=$(now)
  out=$("$bench" "$url" "$work/ours.bin")
  t1=$(now)
  set -- $out
  [ "$1" = ok ] || { echo "download failed: $out" >&2; exit 1; }
  [ "$3" = $((size_mib * 1024 * 1024)) ] || { echo "bar ended at $3: $out" >&2; exit 1; }
  awk -v a="$t0" -v b="$t1" -v rss="$6" 'BEGIN { printf "%.6f %d\n", b - a, rss }'
}

time_curl >/dev/null
time_ours >/dev/null
cmp -s "$work/curl.bin" "$work/www/data.bin" || { echo "curl's copy differs" >&2; exit 1; }
cmp -s "$work/ours.bin" "$work/www/data.bin" || { echo "HttpDownload's copy differs" >&2; exit 1; }

curl_times=()
our_times=()
peak=0
for _ in $(seq "$runs"); do
  rm -f "$work/curl.bin" "$work/ours.bin"
  curl_times+=("$(time_curl)")
  rm -f "$work/curl.bin"
  read -r t rss < <(time_ours)
  our_times+=("$t")
  [ "$rss" -gt "$peak" ] && peak=$rss
done

median() { printf '%s\n' "$@" | sort -g | awk '{ a[NR] = $1 } END { print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }
curl_median=$(median "${curl_times[@]}")
our_median=$(median "${our_times[@]}")
awk -v mib="$size_mib" -v runs="$runs" -v c="$curl_median" -v o="$our_median" -v peak="$peak" 'BEGIN {
  printf "file: %d MiB from nginx on 127.0.0.1, median of %d after a warm-up\n", mib, runs
  printf "curl -s -o:   %.3f s  (%.0f MiB/s)\n", c, mib / c
  printf "HttpDownload: %.3f s  (%.0f MiB/s)\n", o, mib / o
  printf "ratio (HttpDownload throughput / curl throughput): %.3f  (target >= 0.8)\n", c / o
  printf "HttpDownload peak resident size: %.1f MiB  (target < 16 MiB)\n", peak / 1024
}'
