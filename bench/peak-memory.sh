#!/usr/bin/env bash
# Peak memory of tavro-cli compress and decompress against the clip's length:
# a short and a long sample clip (tavro-cli sample, 2000 and 20000 frames by
# default), each compressed and decompressed at the default thread count and
# at --threads 1; the peak resident set size is /usr/bin/time -v's.
#
# Targets: every peak under 64 MB plus the compressed stream and its record
# stream (the two buffers a run may hold whole), and a peak that grows by less
# than 10 % from the short clip to the long one. The second is reported twice:
# for the whole peak, and for the peak beyond the streams the run holds (a
# compression neither: its records go to the LZARI coder as they are made and
# its code to the output file as it is coded; a decompression neither: it
# reads the file in chunks and holds a window of the records), which is what a
# frame-by-frame run can keep flat.
#
# Usage: bench/peak-memory.sh [SHORT] [LONG]   (frame counts; needs about
# LONG x 38 KB x 2 of disk in the build folder)
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${TAVRO_BUILD_DIR:-build}"
cli="$build_dir/bin/tavro-cli"
out="$build_dir/bench-memory"
short="${1:-2000}"
long="${2:-20000}"
[ -x "$cli" ] || { echo "peak-memory: $cli not built (run scripts/build.sh)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "peak-memory: /usr/bin/time not found (apt-get install time)" >&2; exit 1; }
mkdir -p "$out"

# peak_kb CMD...: the command's peak resident set size in KB.
peak_kb() {
  /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F: '/Maximum resident set size/ { gsub(/ /, "", $2); print $2 }'
}

declare -A peak beyond
printf '%-8s %-10s %-12s %9s %9s %9s %9s %9s\n' frames threads command "peak MB" "cmp MB" "rec MB" "limit MB" "beyond MB"
for n in "$short" "$long"; do
  clip="$out/sample$n.qcf"
  [ -f "$clip" ] || "$cli" sample "$clip" --frames "$n" -q
  for t in default 1; do
    opt=()
    [ "$t" = default ] || opt=(--threads "$t")
    peak[$n,$t,compress]=$(peak_kb "$cli" compress "$clip" "$out/c$n.cmp" --quiet "${opt[@]}")
    peak[$n,$t,decompress]=$(peak_kb "$cli" decompress "$out/c$n.cmp" "$out/d$n.qcf" -q "${opt[@]}")
    info=$("$cli" info "$out/c$n.cmp" --json)
    cmp_bytes=$(echo "$info" | sed -E 's/.*"bytes":([0-9]+).*/\1/')
    rec_bytes=$(echo "$info" | sed -E 's/.*"record_bytes":([0-9]+).*/\1/')
    for c in compress decompress; do
      held=0  # neither command holds a stream whole
      beyond[$n,$t,$c]=$(awk -v kb="${peak[$n,$t,$c]}" -v h="$held" 'BEGIN { printf "%.1f", kb / 1024 - h / 1048576 }')
      awk -v n="$n" -v t="$t" -v c="$c" -v kb="${peak[$n,$t,$c]}" -v cb="$cmp_bytes" -v rb="$rec_bytes" \
          -v b="${beyond[$n,$t,$c]}" 'BEGIN {
        limit = 64 + cb / 1048576 + rb / 1048576
        printf "%-8s %-10s %-12s %9.1f %9.1f %9.1f %9.1f %9.1f %s\n", n, t, c, kb / 1024, cb / 1048576, rb / 1048576, limit, b, (kb / 1024 < limit ? "ok" : "OVER") }'
    done
  done
  rm -f "$out/d$n.qcf"
done
echo
for t in default 1; do
  for c in compress decompress; do
    awk -v t="$t" -v c="$c" -v a="${peak[$short,$t,$c]}" -v b="${peak[$long,$t,$c]}" -v s="$short" -v l="$long" \
        -v ba="${beyond[$short,$t,$c]}" -v bb="${beyond[$long,$t,$c]}" 'BEGIN {
      g = (b / a - 1) * 100
      h = (bb - ba) / (a / 1024) * 100
      printf "growth %s -> %s frames, %-10s threads %-7s: whole peak %+6.1f %% %-4s  beyond the streams held %+5.1f %% %s (target < 10 %%)\n",
        s, l, c, t, g, (g < 10 ? "ok" : "OVER"), h, (h < 10 ? "ok" : "OVER") }'
  done
done
