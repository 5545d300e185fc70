#!/usr/bin/env bash
# Times the whole offline render (lumivox-cli render: probe, layout, overlay files, and the
# encoder with the comment frame filter) of 120 s of 512x384 29.97 fps FLV (Sorenson H.263 +
# MP3) with 1000 comments on the default "AVI" preset, against Debian's ffmpeg doing the same
# transcode without comments (-vcodec msmpeg4 -acodec libmp3lame), side by side in one run.
# Then shows how one render's time splits between its stages (--timings).
#
# usage: bench/render_speed.sh [--build DIR] [--runs N] [--seconds S] [--count N]
#   --build    build folder whose bin/ holds lumivox-cli, FFmpeg and velmora.so; default: build
#   --runs     timed runs per command (default 5; hyperfine adds one warm-up run)
#   --seconds  clip length (default 120)
#   --count    comments in the thread (default 1000)
# Clips, comments and movies go to $LUMIVOX_BENCH_DIR (default /tmp/lumivox-render-bench); the
# clip and the comment thread are made once and reused. Uses hyperfine when installed, else
# repeated /usr/bin/time runs. Target: at most 1.2 x Debian's time.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD

BUILD=build
RUNS=5
SECONDS_LEN=120
COUNT=1000
while [ $# -gt 0 ]; do
  case "$1" in
    --build) BUILD=$2; shift 2 ;;
    --runs) RUNS=$2; shift 2 ;;
    --seconds) SECONDS_LEN=$2; shift 2 ;;
    --count) COUNT=$2; shift 2 ;;
    *) echo "render_speed: unknown argument '$1'" >&2; exit 2 ;;
  esac
done
case "$BUILD" in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
CLI=$BUILD/bin/lumivox-cli
DEBIAN=/usr/bin/ffmpeg
WORK=${LUMIVOX_BENCH_DIR:-/tmp/lumivox-render-bench}
mkdir -p "$WORK/out" "$WORK/home"
[ -x "$CLI" ] || { echo "render_speed: $CLI not built (cmake --build $BUILD --target lumivox-cli)" >&2; exit 1; }
[ -x "$DEBIAN" ] || { echo "render_speed: Debian's ffmpeg is not installed" >&2; exit 1; }

# A test picture with moving parts at the bitrate the service's 512x384 videos have, and a
# 44.1 kHz stereo tone for the MP3 track.
CLIP=$WORK/clip_512x384_${SECONDS_LEN}s.flv
if [ ! -s "$CLIP" ]; then
  echo "render_speed: making $CLIP" >&2
  "$DEBIAN" -nostdin -hide_banner -loglevel error -y \
    -f lavfi -i "testsrc2=size=512x384:rate=30000/1001" \
    -f lavfi -i "sine=frequency=440:sample_rate=44100,aformat=channel_layouts=stereo" \
    -t "$SECONDS_LEN" -c:v flv -b:v 600k -c:a libmp3lame -b:a 128k -f flv "$CLIP.tmp"
  mv "$CLIP.tmp" "$CLIP"
fi
COMMENTS=$WORK/comments_${COUNT}_${SECONDS_LEN}s.xml
if [ ! -s "$COMMENTS" ]; then
  python3 "$ROOT/bench/make_comment_xml.py" --seconds "$SECONDS_LEN" --count "$COUNT" \
    > "$COMMENTS.tmp"
  mv "$COMMENTS.tmp" "$COMMENTS"
fi

# Every comment is drawn: no period limit and no cap by the video's length.
RENDER="LUMIVOX_HOME=$WORK/home $CLI render $CLIP $COMMENTS --save-dir $WORK/out --all-periods --no-old"
REFERENCE="$DEBIAN -nostdin -hide_banner -loglevel error -y -i $CLIP -vcodec msmpeg4 -acodec libmp3lame $WORK/debian.avi"

mean_seconds() {  # command text -> mean wall time of $RUNS runs, in seconds
  local total=0 t
  for _ in $(seq "$RUNS"); do
    t=$( { /usr/bin/time -f "%e" bash -c "$1" >/dev/null 2>/dev/null; } 2>&1 | tail -1)
    total=$(awk -v a="$total" -v b="$t" 'BEGIN { print a + b }')
  done
  awk -v a="$total" -v n="$RUNS" 'BEGIN { printf "%.3f", a / n }'
}

echo "== 512x384, ${SECONDS_LEN} s, ${COUNT} comments, preset AVI =="
if command -v hyperfine >/dev/null; then
  json=$WORK/hyperfine.json
  hyperfine --style basic --warmup 1 --runs "$RUNS" --export-json "$json" \
    -n "debian-ffmpeg (no comments)" "$REFERENCE" \
    -n "lumivox-cli render" "$RENDER 2>/dev/null"
  reference=$(python3 -c "import json; print('%.3f' % json.load(open('$json'))['results'][0]['mean'])")
  render=$(python3 -c "import json; print('%.3f' % json.load(open('$json'))['results'][1]['mean'])")
else
  reference=$(mean_seconds "$REFERENCE")
  render=$(mean_seconds "$RENDER")
fi

echo
echo "== one render, stage by stage =="
bash -c "$RENDER --timings" 2>&1 >/dev/null | grep '^timings:'
drawn=$(( ($(tr -cd '\n' < "$WORK/home/comment.ini" | wc -c) - 5) / 10 ))
echo "comments laid out and drawn: $drawn"

echo
echo "== summary (mean wall seconds) =="
printf '%-30s %8.3f s\n' "debian-ffmpeg (no comments)" "$reference"
printf '%-30s %8.3f s  %5.3f x  (target <= 1.2 x)\n' "lumivox-cli render" "$render" \
  "$(awk -v a="$render" -v b="$reference" 'BEGIN { print a / b }')"
