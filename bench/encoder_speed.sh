#!/usr/bin/env bash
# Times our FFmpeg against Debian's ffmpeg on the default "AVI" preset's transcode
# (-vcodec msmpeg4 -acodec libmp3lame, .avi) of 120 s FLV clips (Sorenson H.263 + MP3, 29.97 fps)
# at 512x384 and 1280x720; with the comment frame filter too when it is available.
#
# usage: bench/encoder_speed.sh [--build DIR] [--runs N] [--seconds S] [--sizes "512x384 1280x720"]
#                               [--vhook-files DIR]
#   --build        build folder whose bin/ holds FFmpeg (and velmora.so); default: build
#   --runs         timed runs per command (default 5; hyperfine adds one warm-up run)
#   --seconds      clip length (default 120)
#   --vhook-files  folder with comment.ini and data.ini for 1000 comments; by default they are
#                  made with bench/make_comment_files.py when that script and velmora.so exist
# Clips and outputs go to $LUMIVOX_BENCH_DIR (default /tmp/lumivox-encoder-bench); clips are
# made once and reused. Uses hyperfine when installed (scripts/install-deps.sh installs it),
# else repeated /usr/bin/time runs; prints the mean times and the ratios to Debian's ffmpeg.
# Targets: without the filter at most 1.05 x Debian's time; with it 1.15 x (512x384) and
# 1.3 x (1280x720).
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD

BUILD=build
RUNS=5
SECONDS_LEN=120
SIZES="512x384 1280x720"
VHOOK_FILES=""
while [ $# -gt 0 ]; do
  case "$1" in
    --build) BUILD=$2; shift 2 ;;
    --runs) RUNS=$2; shift 2 ;;
    --seconds) SECONDS_LEN=$2; shift 2 ;;
    --sizes) SIZES=$2; shift 2 ;;
    --vhook-files) VHOOK_FILES=$2; shift 2 ;;
    *) echo "encoder_speed: unknown argument '$1'" >&2; exit 2 ;;
  esac
done
case "$BUILD" in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
OURS=$BUILD/bin/FFmpeg
VELMORA=$BUILD/bin/velmora.so
DEBIAN=/usr/bin/ffmpeg
WORK=${LUMIVOX_BENCH_DIR:-/tmp/lumivox-encoder-bench}
mkdir -p "$WORK"
[ -x "$OURS" ] || { echo "encoder_speed: $OURS not built (cmake --build $BUILD --target FFmpeg)" >&2; exit 1; }
[ -x "$DEBIAN" ] || { echo "encoder_speed: Debian's ffmpeg is not installed" >&2; exit 1; }

# A test picture with moving parts (no noise: a real video's bitrate stays within what the
# encoder's rate control can hold) and a 44.1 kHz stereo tone for the MP3 track, at the
# bitrates the service's videos of that size have. Made once per size and length.
make_clip() {
  local size=$1 clip=$WORK/clip_${1}_${SECONDS_LEN}s.flv rate=600k
  [ "${size%x*}" -gt 640 ] && rate=2000k
  if [ ! -s "$clip" ]; then
    echo "encoder_speed: making $clip" >&2
    "$DEBIAN" -hide_banner -loglevel error -y \
      -f lavfi -i "testsrc2=size=${size}:rate=30000/1001" \
      -f lavfi -i "sine=frequency=440:sample_rate=44100,aformat=channel_layouts=stereo" \
      -t "$SECONDS_LEN" -c:v flv -b:v "$rate" -c:a libmp3lame -b:a 128k "$clip.tmp.flv"
    mv "$clip.tmp.flv" "$clip"
  fi
  echo "$clip"
}

# ---- frame-filter hook (velmora) ---------------------------------------------------------
# Prints the folder that holds comment.ini and data.ini for a clip of the given size, or
# nothing when the filter cannot be timed. The frame filter reads both from the current
# folder, so the -vhook runs are started in that folder.
vhook_files_for() {
  local size=$1 w=${1%x*} h=${1#*x}
  [ -f "$VELMORA" ] || return 0
  if [ -n "$VHOOK_FILES" ]; then
    echo "$VHOOK_FILES"
    return 0
  fi
  local gen=$ROOT/bench/make_comment_files.py dir=$WORK/comments_${size}_${SECONDS_LEN}s
  [ -f "$gen" ] || return 0
  if [ ! -s "$dir/data.ini" ]; then
    mkdir -p "$dir"
    python3 "$gen" --width "$w" --height "$h" --fps 29.97 --seconds "$SECONDS_LEN" \
      --count 1000 "$dir" >&2
  fi
  echo "$dir"
}
# ------------------------------------------------------------------------------------------

PRESET="-vcodec msmpeg4 -acodec libmp3lame"
mean_seconds() {  # command... -> mean wall time of $RUNS runs, in seconds
  local total=0 t
  for _ in $(seq "$RUNS"); do
    t=$( { /usr/bin/time -f "%e" "$@" >/dev/null 2>/dev/null; } 2>&1 | tail -1)
    total=$(awk -v a="$total" -v b="$t" 'BEGIN { print a + b }')
  done
  awk -v a="$total" -v n="$RUNS" 'BEGIN { printf "%.3f", a / n }'
}

declare -A RESULT
for size in $SIZES; do
  clip=$(make_clip "$size")
  files=$(vhook_files_for "$size")
  names=("debian-ffmpeg" "ours")
  cmds=("$DEBIAN -nostdin -hide_banner -loglevel error -y -i $clip $PRESET $WORK/debian_$size.avi"
        "$OURS -hide_banner -loglevel error -y -i $clip $PRESET $WORK/ours_$size.avi")
  if [ -n "$files" ]; then
    names+=("ours+vhook")
    cmds+=("cd $files && $OURS -hide_banner -loglevel error -y -i $clip -vhook 'velmora.dll -N comment.ini -D data.ini ' $PRESET $WORK/vhook_$size.avi")
  else
    echo "encoder_speed: $size: frame filter not timed (no velmora.so or comment files)" >&2
  fi
  echo "== $size, ${SECONDS_LEN} s =="
  if command -v hyperfine >/dev/null; then
    json=$WORK/hyperfine_$size.json
    args=()
    for i in "${!cmds[@]}"; do args+=(-n "${names[$i]}" "${cmds[$i]}"); done
    hyperfine --style basic --warmup 1 --runs "$RUNS" --export-json "$json" "${args[@]}"
    for i in "${!names[@]}"; do
      RESULT[$size,${names[$i]}]=$(python3 -c "import json,sys; r=json.load(open('$json'))['results']; print('%.3f' % r[$i]['mean'])")
    done
  else
    for i in "${!cmds[@]}"; do
      RESULT[$size,${names[$i]}]=$(mean_seconds bash -c "${cmds[$i]}")
      echo "${names[$i]}: ${RESULT[$size,${names[$i]}]} s"
    done
  fi
done

echo
echo "== summary (mean wall seconds, ratio to Debian's ffmpeg) =="
for size in $SIZES; do
  base=${RESULT[$size,debian-ffmpeg]}
  for name in debian-ffmpeg ours ours+vhook; do
    t=${RESULT[$size,$name]:-}
    [ -n "$t" ] || continue
    printf '%-10s %-14s %8.3f s  %5.3f x\n' "$size" "$name" "$t" "$(awk -v a="$t" -v b="$base" 'BEGIN { print a / b }')"
  done
done
