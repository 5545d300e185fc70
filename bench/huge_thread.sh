#!/usr/bin/env bash
# Memory and time of a whole offline render (lumivox-cli render: probe, layout, overlay files,
# the encoder with the comment frame filter) of a huge comment thread on a short clip, with the
# count cap off (--no-old) and no period limit: every comment is laid out, and the frames are
# far more crowded than a screen can show, so the frame filter's sprite ceiling comes into play.
#
# usage: bench/huge_thread.sh [--build DIR] [--count N] [--seconds S]
#   --build    build folder whose bin/ holds lumivox-cli, FFmpeg and velmora.so; default: build
#   --count    comments in the thread (default 433000)
#   --seconds  clip length (default 5)
# Files go to $LUMIVOX_BENCH_DIR (default /tmp/lumivox-huge-bench); the clip and the thread are
# made once and reused. Prints the wall time, the peak of the summed resident memory of
# lumivox-cli and its encoder (sampled every 50 ms) and each one's own peak.
# Goal: at most 500 MB peak and 60 s for the whole job. LUMIVOX_COMMENT_BITMAP_KIB in the
# environment sets the frame filter's ceiling for the bitmaps of the comments on screen.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD

BUILD=build
COUNT=433000
SECONDS_LEN=5
while [ $# -gt 0 ]; do
  case "$1" in
    --build) BUILD=$2; shift 2 ;;
    --count) COUNT=$2; shift 2 ;;
    --seconds) SECONDS_LEN=$2; shift 2 ;;
    *) echo "huge_thread: unknown argument '$1'" >&2; exit 2 ;;
  esac
done
case "$BUILD" in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
CLI=$BUILD/bin/lumivox-cli
DEBIAN=/usr/bin/ffmpeg
WORK=${LUMIVOX_BENCH_DIR:-/tmp/lumivox-huge-bench}
mkdir -p "$WORK/out" "$WORK/home"
[ -x "$CLI" ] || { echo "huge_thread: $CLI not built" >&2; exit 1; }
[ -x "$DEBIAN" ] || { echo "huge_thread: Debian's ffmpeg is not installed" >&2; exit 1; }

CLIP=$WORK/clip_512x384_${SECONDS_LEN}s.flv
if [ ! -s "$CLIP" ]; then
  "$DEBIAN" -nostdin -hide_banner -loglevel error -y \
    -f lavfi -i "testsrc2=size=512x384:rate=30000/1001" \
    -f lavfi -i "sine=frequency=440:sample_rate=44100,aformat=channel_layouts=stereo" \
    -t "$SECONDS_LEN" -c:v flv -b:v 600k -c:a libmp3lame -b:a 128k -f flv "$CLIP.tmp"
  mv "$CLIP.tmp" "$CLIP"
fi
COMMENTS=$WORK/comments_${COUNT}_${SECONDS_LEN}s.xml
if [ ! -s "$COMMENTS" ]; then
  echo "huge_thread: making $COUNT comments" >&2
  python3 "$ROOT/bench/make_comment_xml.py" --seconds "$SECONDS_LEN" --count "$COUNT" \
    > "$COMMENTS.tmp"
  mv "$COMMENTS.tmp" "$COMMENTS"
fi
echo "== $(du -h "$COMMENTS" | cut -f1) thread of $COUNT comments, ${SECONDS_LEN} s 512x384 clip, --no-old =="

# Resident kilobytes of a process, 0 once it is gone.
rss_kb() { awk '/^VmRSS:/ { print $2; found = 1 } END { if (!found) print 0 }' "/proc/$1/status" 2>/dev/null || echo 0; }

start=$(date +%s.%N)
LUMIVOX_HOME=$WORK/home "$CLI" render "$CLIP" "$COMMENTS" --save-dir "$WORK/out" \
  --all-periods --no-old --timings > "$WORK/render.out" 2> "$WORK/render.err" &
cli=$!
peak_sum=0; peak_cli=0; peak_encoder=0
while kill -0 "$cli" 2>/dev/null; do
  c=$(rss_kb "$cli")
  e=0
  for child in $(pgrep -P "$cli" 2>/dev/null); do
    e=$(( e + $(rss_kb "$child") ))
  done
  [ "$c" -gt "$peak_cli" ] && peak_cli=$c
  [ "$e" -gt "$peak_encoder" ] && peak_encoder=$e
  [ $(( c + e )) -gt "$peak_sum" ] && peak_sum=$(( c + e ))
  sleep 0.05
done
status=0
wait "$cli" || status=$?
end=$(date +%s.%N)

grep -E '^timings:|filter|velmora|incomplete|error' "$WORK/render.err" | head -5 || true
printf 'exit status        %d\n' "$status"
printf 'wall time          %.1f s   (goal <= 60 s)\n' "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')"
printf 'peak, both summed  %d MB    (goal <= 500 MB)\n' $(( peak_sum / 1024 ))
printf 'peak lumivox-cli   %d MB\n' $(( peak_cli / 1024 ))
printf 'peak encoder       %d MB\n' $(( peak_encoder / 1024 ))
