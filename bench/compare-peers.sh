#!/usr/bin/env bash
# Times tavro-cli against ffmpeg's encoders on the same QCIF clip, in one run:
#   tavro-cli compress / decompress / compare
#   ffmpeg libx264 -preset ultrafast, vc2 and jpeg2000 encode and decode, psnr filter
# Every tool runs single-threaded (tavro-cli --threads 1, ffmpeg -threads 1);
# times are whole-process wall times, the median of several runs. Prints a table with frames per second, sizes,
# compression ratios (raw bytes / coded bytes), PSNR (all measured by ffmpeg's
# psnr filter, so the tools are judged alike) and time ratios against Tavro.
#
# Ends with the speed targets: compress and decompress against x264, compare
# against the psnr filter, and from the Google Benchmark programs (a build with
# -DTAVRO_BUILD_BENCH=ON) the LZARI coder's MB/s on this clip's record stream,
# the wavelet's time per frame and ConvertFrame's; then the peak memory of
# tavro-cli decompress.
#
# Then every core: tavro-cli compress and decompress at --threads 1, 2 and the
# core count (the bytes checked equal), against ffmpeg libx264 -preset
# ultrafast at its default threads, with the targets (x264's time over
# Tavro's at the core count: compress >= 1.0, decompress >= 1.5), and the
# compression's wall time over the LZARI encoder's own on the same record
# stream (tavro_bench; target <= 1.15: the rest hidden behind the encoder). On
# a shared machine the wall times drift with the load; the CPU times show what
# the threads cost.
#
# Usage: bench/compare-peers.sh [CLIP.qcf] [RUNS]
#   CLIP.qcf  any raw QCIF stream (default: 300 natural frames joined from the
#             camera clips in $TAVRO_DATA_DIR or ../shared/data, else a
#             300-frame sample from tavro-cli sample)
#   RUNS      runs per measurement (default 5)
# Needs a built tavro-cli (scripts/build.sh) and ffmpeg.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir="${TAVRO_BUILD_DIR:-build}"
cli="$build_dir/bin/tavro-cli"
out="$build_dir/bench-peers"
runs="${2:-5}"
[ -x "$cli" ] || { echo "compare-peers: $cli not built (run scripts/build.sh)" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "compare-peers: ffmpeg not found" >&2; exit 1; }
mkdir -p "$out"

clip="${1:-}"
data_dir="${TAVRO_DATA_DIR:-../shared/data}"
if [ -z "$clip" ]; then
  # foreman 100 + bus 75 + hall 50 + highway 40 + glasgow 35 frames.
  parts=(foreman_100f:100 bus_75f:75 hall_50f:50 highway_40f:40 glasgow_40f:35)
  clip="$out/natural300.qcf"
  : > "$clip"
  for part in "${parts[@]}"; do
    file="$data_dir/${part%%:*}.qcf"
    if [ ! -f "$file" ]; then
      clip=""
      break
    fi
    head -c $(( ${part##*:} * 38016 )) "$file" >> "$clip"
  done
fi
if [ -z "$clip" ]; then
  clip="$out/sample300.qcf"
  "$cli" sample "$clip" --frames 300 -q
fi
frames=$("$cli" info "$clip" --json | sed -E 's/.*"frames":([0-9]+).*/\1/')
raw_bytes=$((frames * 38016))
# ffmpeg reads exactly the whole frames.
head -c "$raw_bytes" "$clip" > "$out/clip.yuv"
raw=(-f rawvideo -pix_fmt yuv420p -s 176x144 -r 25)
ff=(ffmpeg -hide_banner -loglevel error -y -threads 1 -filter_threads 1)

# median_time CMD...: runs the command $runs times; prints the median wall time
# and the median CPU time (user + system) in seconds, to the millisecond (the
# shell's own timer). On a loaded machine the CPU time is the steadier figure;
# both are whole-process.
median_time() {
  local walls=() cpus=() line TIMEFORMAT='%3R %3U %3S'
  for _ in $(seq "$runs"); do
    line=$({ time "$@" >/dev/null 2>&1; } 2>&1 | tail -n 1)
    walls+=("$(echo "$line" | awk '{print $1}')")
    cpus+=("$(echo "$line" | awk '{print $2 + $3}')")
  done
  local med='{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'
  echo "$(printf '%s\n' "${walls[@]}" | sort -g | awk "$med") $(printf '%s\n' "${cpus[@]}" | sort -g | awk "$med")"
}

# psnr_of DECODED.yuv: ffmpeg's average PSNR of a decoded clip against the original.
psnr_of() {
  ffmpeg -hide_banner -threads 1 -filter_threads 1 "${raw[@]}" -i "$1" "${raw[@]}" -i "$out/clip.yuv" \
    -lavfi psnr -f null - 2>&1 | sed -nE 's/.*average:([0-9.inf]+).*/\1/p' | tail -n 1
}

declare -A enc dec size psnr
echo "clip: $clip ($frames frames, $raw_bytes bytes), median of $runs runs, single thread" >&2

# Tavro.
enc[tavro]=$(median_time "$cli" compress "$clip" "$out/tavro.cmp" --quiet --threads 1)
dec[tavro]=$(median_time "$cli" decompress "$out/tavro.cmp" "$out/tavro.qcf" -q --threads 1)
size[tavro]=$(stat -c %s "$out/tavro.cmp")
psnr[tavro]=$(psnr_of "$out/tavro.qcf")
cmp_time=$(median_time "$cli" compare "$out/tavro.qcf" "$clip" -q)
tavro_mean=$("$cli" compare "$out/tavro.qcf" "$clip" | tail -n 1)

# ffmpeg peers, each in the NUT container (no muxer limits on the codecs).
declare -A args=(
  [x264]="-c:v libx264 -preset ultrafast"
  [vc2]="-c:v vc2 -b:v VC2RATE"
  [jpeg2000]="-c:v jpeg2000"
)
# vc2's default rate is far above the raw rate; give it Tavro's bit rate instead.
tavro_rate=$(( size[tavro] * 8 * 25 / frames ))
args[vc2]=${args[vc2]/VC2RATE/$tavro_rate}
for name in x264 vc2 jpeg2000; do
  # shellcheck disable=SC2086
  enc[$name]=$(median_time "${ff[@]}" "${raw[@]}" -i "$out/clip.yuv" ${args[$name]} "$out/$name.nut")
  dec[$name]=$(median_time "${ff[@]}" -i "$out/$name.nut" -f rawvideo -pix_fmt yuv420p "$out/$name.yuv")
  size[$name]=$(stat -c %s "$out/$name.nut")
  psnr[$name]=$(psnr_of "$out/$name.yuv")
done
psnr_time=$(median_time "${ff[@]}" "${raw[@]}" -i "$out/tavro.qcf" "${raw[@]}" -i "$out/clip.yuv" -lavfi psnr -f null -)

echo
echo "ffmpeg: ${args[x264]} | ${args[vc2]} | ${args[jpeg2000]}; all -threads 1"
printf '\n%-9s %7s %7s %7s %7s %7s %7s %7s %7s %9s %7s %7s %8s %8s\n' tool "enc s" "enc fps" "cpu s" "cpu fps" \
  "dec s" "dec fps" "cpu s" "cpu fps" bytes ratio "PSNR" "enc/tav" "dec/tav"
for name in tavro x264 vc2 jpeg2000; do
  read -r ew ec <<<"${enc[$name]}"
  read -r dw dc <<<"${dec[$name]}"
  read -r tew tec <<<"${enc[tavro]}"
  read -r tdw tdc <<<"${dec[tavro]}"
  awk -v n="$name" -v ew="$ew" -v ec="$ec" -v dw="$dw" -v dc="$dc" -v f="$frames" -v s="${size[$name]}" \
      -v r="$raw_bytes" -v p="${psnr[$name]}" -v tec="$tec" -v tdc="$tdc" 'BEGIN {
        ps = (p ~ /inf/) ? "inf" : sprintf("%.2f", p)
        printf "%-9s %7.3f %7.0f %7.3f %7.0f %7.3f %7.0f %7.3f %7.0f %9d %7.2f %7s %8.2f %8.2f\n", n, ew, f/ew, ec, (ec > 0 ? f/ec : 0), dw, f/dw, dc, (dc > 0 ? f/dc : 0), s, r/s, ps, ec/tec, dc/tdc
      }'
done
echo
read -r cw cc <<<"$cmp_time"
read -r pw pc <<<"$psnr_time"
awk -v cw="$cw" -v cc="$cc" -v pw="$pw" -v pc="$pc" -v f="$frames" \
  'BEGIN { printf "measure loss: tavro-cli compare %.3f s wall, %.3f s cpu; ffmpeg psnr filter %.3f s wall, %.3f s cpu; cpu ffmpeg/tavro %s\n", cw, cc, pw, pc, (cc > 0 ? sprintf("%.2f", pc/cc) : "n/a (below the 10 ms clock)") }'
echo "(enc/tav, dec/tav: the peer's CPU time over Tavro's; above 1 means Tavro is faster.)"
echo "tavro-cli compare of the decoded clip: $tavro_mean"
echo "(ratio = raw bytes / coded bytes; the desktop summary's ratio counts 2 bytes a sample, twice this.)"
echo "Files are in $out/."

# Speed targets (CPU times: on a shared machine they are steadier than wall).
read -r tew tec <<<"${enc[tavro]}"
read -r tdw tdc <<<"${dec[tavro]}"
read -r xew xec <<<"${enc[x264]}"
read -r xdw xdc <<<"${dec[x264]}"
peak_kb=$(/usr/bin/time -f '%M' "$cli" decompress "$out/tavro.cmp" "$out/tavro.qcf" -q 2>&1 >/dev/null | tail -n 1)
convert_us="n/a (build with -DTAVRO_BUILD_BENCH=ON)"
lzari="n/a (build with -DTAVRO_BUILD_BENCH=ON)"
lzari_enc_s=""
wavelet="$lzari"
if [ -x "$build_dir/bin/tavro_bench" ]; then
  bench_out=$("$build_dir/bin/tavro_bench" --clip="$clip" --benchmark_filter='Lzari|Wavelet' \
    --benchmark_repetitions="$runs" --benchmark_report_aggregates_only=true 2>/dev/null)
  lzari=$(echo "$bench_out" | awk '/Lzari(En|De)code_median/ {
    for (i = 1; i <= NF; ++i) if ($i ~ /bytes_per_second=/) { split($i, v, "="); r = r sprintf("%s %s  ", $1, v[2]) } }
    END { gsub(/_median/, "", r); print r "(median cpu)" }')
  # The encoder's own wall time on the record stream, in seconds.
  lzari_enc_s=$(echo "$bench_out" | awk '/LzariEncode_median/ {
    f = ($3 == "ms") ? 1e-3 : ($3 == "us") ? 1e-6 : ($3 == "ns") ? 1e-9 : 1; print $2 * f }')
  wavelet=$(echo "$bench_out" | awk '/Wavelet.*_median/ { split($1, n, "/"); r = r sprintf("%s %.0f us  ", n[2], $4) }
    END { print r "(forward + inverse, median cpu)" }')
fi
if [ -x "$build_dir/bin/tavro_convert_bench" ]; then
  convert_us=$("$build_dir/bin/tavro_convert_bench" --benchmark_repetitions="$runs" \
    --benchmark_report_aggregates_only=true 2>/dev/null |
    awk '/_median/ {sub(/_median$/, "", $1); printf "%s%s %.1f us cpu (%.1f us wall)", sep, $1, $4, $2; sep = "; "}')
fi
echo
echo "targets (median of $runs runs, $frames frames):"
awk -v f="$frames" -v tec="$tec" -v tdc="$tdc" -v xec="$xec" -v xdc="$xdc" -v tew="$tew" -v tdw="$tdw" \
    -v xew="$xew" -v xdw="$xdw" -v cw="$cw" -v cc="$cc" -v pw="$pw" -v pc="$pc" 'BEGIN {
  fmt = "  %-34s %9.0f fps cpu %9.0f fps wall   x264 %7.0f cpu %7.0f wall   ratio %5.2f cpu %5.2f wall (target >= %s)\n"
  printf fmt, "tavro-cli compress", f/tec, f/tew, f/xec, f/xew, xec/tec, xew/tew, "0.9"
  printf fmt, "tavro-cli decompress", f/tdc, f/tdw, f/xdc, f/xdw, xdc/tdc, xdw/tdw, "1.1"
  printf "  %-34s %.3f s cpu %.3f s wall   psnr filter %.3f s cpu %.3f s wall   ratio %s cpu %.2f wall (target >= 5)\n",
    "tavro-cli compare", cc, cw, pc, pw, (cc > 0 ? sprintf("%.2f", pc/cc) : "n/a"), pw/cw
}'
echo "  LZARI on the record stream         $lzari"
echo "  wavelet, one frame                 $wavelet"
echo "  ConvertFrame                       $convert_us per frame (target <= 30 us)"
awk -v kb="$peak_kb" -v raw="$raw_bytes" 'BEGIN {
  printf "  tavro-cli decompress peak memory   %.1f MB for %.1f MB of output written frame by frame (bench/peak-memory.sh: how it grows with the clip)\n", kb/1024, raw/1048576
}'

# Every core.
cores=$(nproc)
declare -A tenc tdec
counts=$(printf '%s\n' 1 2 "$cores" | sort -un)
for t in $counts; do
  tenc[$t]=$(median_time "$cli" compress "$clip" "$out/tavro-t$t.cmp" --quiet --threads "$t")
  tdec[$t]=$(median_time "$cli" decompress "$out/tavro-t$t.cmp" "$out/tavro-t$t.qcf" -q --threads "$t")
  if ! cmp -s "$out/tavro-t$t.cmp" "$out/tavro.cmp" || ! cmp -s "$out/tavro-t$t.qcf" "$out/tavro.qcf"; then
    echo "compare-peers: --threads $t gave other bytes than --threads 1" >&2
    exit 1
  fi
done
ffd=(ffmpeg -hide_banner -loglevel error -y)
xenc=$(median_time "${ffd[@]}" "${raw[@]}" -i "$out/clip.yuv" -c:v libx264 -preset ultrafast "$out/x264-mt.nut")
xdec=$(median_time "${ffd[@]}" -i "$out/x264-mt.nut" -f rawvideo -pix_fmt yuv420p "$out/x264-mt.yuv")
echo
echo "every core ($cores cores; load average $(cut -d ' ' -f 1-3 /proc/loadavg) at the end):"
printf '  %-26s %7s %7s %7s %7s %7s %7s %9s %9s\n' run "enc s" "enc fps" "cpu s" "dec s" "dec fps" "cpu s" "enc x1" "dec x1"
read -r e1 _ <<<"${tenc[1]}"
read -r d1 _ <<<"${tdec[1]}"
row() {  # name, "wall cpu" of the encode, of the decode
  read -r ew ec <<<"$2"
  read -r dw dc <<<"$3"
  awk -v n="$1" -v ew="$ew" -v ec="$ec" -v dw="$dw" -v dc="$dc" -v f="$frames" -v e1="$e1" -v d1="$d1" 'BEGIN {
    printf "  %-26s %7.3f %7.0f %7.3f %7.3f %7.0f %7.3f %8.2fx %8.2fx\n", n, ew, f/ew, ec, dw, f/dw, dc, e1/ew, d1/dw }'
}
for t in $counts; do
  row "tavro-cli --threads $t" "${tenc[$t]}" "${tdec[$t]}"
done
row "x264 ultrafast, default" "$xenc" "$xdec"
echo "  (x1: wall-time speed-up over tavro-cli --threads 1)"
read -r tew _ <<<"${tenc[$cores]}"
read -r tdw _ <<<"${tdec[$cores]}"
read -r xew _ <<<"$xenc"
read -r xdw _ <<<"$xdec"
awk -v tew="$tew" -v tdw="$tdw" -v xew="$xew" -v xdw="$xdw" -v c="$cores" 'BEGIN {
  printf "  tavro-cli --threads %d vs x264 at its default threads, wall: compress %.2f (target >= 1.0), decompress %.2f (target >= 1.5)\n", c, xew/tew, xdw/tdw }'
if [ -n "$lzari_enc_s" ]; then
  awk -v tew="$tew" -v l="$lzari_enc_s" -v c="$cores" 'BEGIN {
    printf "  tavro-cli compress --threads %d wall over the LZARI encoder alone on its record stream (tavro_bench LzariEncode, median wall %.3f s): %.2f (target <= 1.15)\n", c, l, tew / l }'
else
  echo "  compress over the LZARI encoder alone: n/a (build with -DTAVRO_BUILD_BENCH=ON)"
fi
