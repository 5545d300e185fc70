#!/usr/bin/env bash
# How fast the demo service serves today's encrypted HLS, so that a download benchmark against it
# measures the client and not the demo. Makes once a 10-minute 1280x720 H.264 + AAC clip of about
# 100 MB with Debian's ffmpeg, lets the demo cut it into one video and one audio rendition without
# re-encoding (--sample-copy; also once), then fetches every segment of both renditions through
# the demo's https hosts with curl, four at once, with the delivery cookie and signed URLs as a
# client does, and prints the throughput and the demo's CPU time per 100 MB.
#
# usage: bench/demo_today_serving.sh [--build DIR] [--clip-only]
#   --build       build folder whose bin/ holds lumivox-demo-service; default: build
#   --clip-only   make the clip (if needed) and print its path and the sample folder to use:
#                 a client's benchmark starts the demo itself with
#                 --protocol today --video CLIP --sample-copy --sample-dir DIR
# The clip and the sample are kept in BUILD/bench-samples.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD

BUILD=build
CLIP_ONLY=0
while [ $# -gt 0 ]; do
  case "$1" in
    --build) BUILD=$2; shift 2 ;;
    --clip-only) CLIP_ONLY=1; shift ;;
    *) echo "demo_today_serving: unknown argument '$1'" >&2; exit 2 ;;
  esac
done
case "$BUILD" in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
DEMO=$BUILD/bin/lumivox-demo-service
SAMPLES=$BUILD/bench-samples
CLIP=$SAMPLES/today-720p-10min.mp4
mkdir -p "$SAMPLES"

# 600 s of a moving test picture at 30 fps, H.264 at a constant 1.2 Mbit/s (filler keeps the
# size whatever the picture) with a key frame every 6 s, and AAC at 128 kbit/s: about 100 MB.
if [ ! -s "$CLIP" ]; then
  echo "demo_today_serving: making $CLIP (once; a few minutes)" >&2
  /usr/bin/ffmpeg -nostdin -hide_banner -loglevel error -y \
    -f lavfi -i "testsrc2=size=1280x720:rate=30" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000" -t 600 \
    -c:v libx264 -preset ultrafast -pix_fmt yuv420p -b:v 1200k -minrate 1200k -maxrate 1200k \
    -bufsize 1200k -x264-params nal-hrd=cbr:force-cfr=1 -g 180 -keyint_min 180 -sc_threshold 0 \
    -c:a aac -b:a 128k -ac 2 "$CLIP.part.mp4"
  mv "$CLIP.part.mp4" "$CLIP"
fi
if [ "$CLIP_ONLY" = 1 ]; then
  echo "clip=$CLIP sample-dir=$SAMPLES"
  exit 0
fi
[ -x "$DEMO" ] || { echo "demo_today_serving: $DEMO not built" >&2; exit 1; }

WORK=$(mktemp -d /tmp/lumivox-demo-bench-XXXXXX)
demo_pid=
cleanup() {
  [ -n "$demo_pid" ] && kill -TERM "$demo_pid" 2>/dev/null && wait "$demo_pid" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT
"$DEMO" --protocol today --lifetime 900 --video "$CLIP" --sample-copy --sample-dir "$SAMPLES" \
  >"$WORK/out" 2>"$WORK/log" &
demo_pid=$!
for _ in $(seq 1800); do
  grep -q '^READY ' "$WORK/out" && break
  kill -0 "$demo_pid" 2>/dev/null || { cat "$WORK/log" >&2; exit 1; }
  sleep 0.2
done
ready=$(grep '^READY ' "$WORK/out")
field() { tr ' ' '\n' <<<"$ready" | sed -n "s/^$1=//p"; }
ca=$(field ca)
www=$(field www)
nvapi=$(field nvapi)
session=$(field session)

api=(-s --cacert "$ca" -H "X-Frontend-Id: 6" -H "X-Frontend-Version: 0")
watch=$(curl "${api[@]}" -b "user_session=$session" "$www/watch/sm9?responseType=json")
read -r track key video audio < <(python3 -c '
import json, sys
w = json.load(sys.stdin)["data"]["response"]
d = w["media"]["domand"]
best = lambda items: next(i["id"] for i in items if i["isAvailable"])
print(w["client"]["watchTrackId"], d["accessRightKey"], best(d["videos"]), best(d["audios"]))' \
  <<<"$watch")
rights=$(curl "${api[@]}" -D "$WORK/headers" -b "user_session=$session" \
  -H "X-Request-With: https://www.nicovideo.jp" -H "X-Access-Right-Key: $key" \
  -H "Content-Type: application/json" --data "{\"outputs\":[[\"$video\",\"$audio\"]]}" \
  "$nvapi/v1/watch/sm9/access-rights/hls?actionTrackId=$track")
bid=$(sed -n 's/^[Ss]et-[Cc]ookie: domand_bid=\([0-9a-f]*\).*/\1/p' "$WORK/headers")
master=$(python3 -c 'import json,sys; print(json.load(sys.stdin)["data"]["contentUrl"])' <<<"$rights")
get=(-s --cacert "$ca" -b "domand_bid=$bid")
: >"$WORK/urls"
while read -r media; do
  curl "${get[@]}" "$media" | grep -v '^#' | sed 's/.*/url = "&"\noutput = "\/dev\/null"/' \
    >>"$WORK/urls"
done < <(curl "${get[@]}" "$master" | sed -n '/^#/{s/.*URI="\([^"]*\)".*/\1/p;d;}; /^https/p')
segments=$(grep -c '^url' "$WORK/urls")

ticks() { awk '{ print $14 + $15 }' "/proc/$demo_pid/stat"; }
before=$(ticks)
started=$(date +%s.%N)
bytes=$(curl "${get[@]}" --parallel --parallel-max 4 -K "$WORK/urls" -w "%{size_download}\n" 2>/dev/null |
  awk '{ total += $1 } END { print total }')
ended=$(date +%s.%N)
after=$(ticks)
awk -v b="$bytes" -v s="$segments" -v t0="$started" -v t1="$ended" -v c="$((after - before))" \
  -v hz="$(getconf CLK_TCK)" 'BEGIN {
    seconds = t1 - t0; mb = b / 1e6
    printf "segments: %d, %.1f MB in %.2f s: %.0f MB/s (curl, 4 at once, https)\n", s, mb, seconds, mb / seconds
    printf "demo service CPU: %.2f s, %.2f s per 100 MB\n", c / hz, c / hz * 100 / mb
  }'
