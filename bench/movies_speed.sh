#!/usr/bin/env bash
# Today's formats, figures side by side in one run (CPU = user + system; the whole burn-ins and the
# MKV remux run once, the own costs and the plain transcode --runs times):
#  1080  1920x1080 30 fps, 60 s, 1000 comments. The frame filter's own cost (our encoder decoding
#        to a null output with the filter, minus the same without it) against libass's own cost
#        (Debian's ffmpeg with -vf ass= on our script, minus the same without it); goal <= 0.03.
#        The whole "MP4(H.264)" burn-in (lumivox-cli render) against Debian's ffmpeg doing the
#        same through the ass filter with the same x264 and AAC settings; goal <= 0.85.
#  2160  3840x2160 30 fps, 20 s, 1000 comments: the same own costs, and the peak memory of our
#        encoder with the filter.
#  384   512x384 29.97 fps FLV, 120 s, 1000 comments: the filter's own CPU against the CPU of a
#        plain transcode of the clip by Debian's ffmpeg ("AVI" options); goal <= 0.08.
#  mkv   "MKV(字幕)" of a 10-minute 1280x720 video with 1000 comments: wall time; goal <= 3 s.
#
# usage: bench/movies_speed.sh [--build DIR] [--only 1080|2160|384|mkv]... [--runs N]
# An own cost is the difference between a run with the drawing and one without it. The two run
# back to back, N times (3 by default), and the median of the N differences is reported with
# their range: a pair measured seconds apart shares the machine's load of the moment, which on a
# shared machine drifts by more than the filter's whole cost over a few minutes.
# Clips and comment threads are made once into $LUMIVOX_BENCH_DIR (default
# /tmp/lumivox-movies-bench) and reused.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=build
ONLY=()
RUNS=3
while [ $# -gt 0 ]; do
  case "$1" in
    --build) BUILD=$2; shift 2 ;;
    --only) ONLY+=("$2"); shift 2 ;;
    --runs) RUNS=$2; shift 2 ;;
    *) echo "movies_speed: unknown argument '$1'" >&2; exit 2 ;;
  esac
done
[ ${#ONLY[@]} -eq 0 ] && ONLY=(1080 2160 384 mkv)
case "$BUILD" in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
CLI=$BUILD/bin/lumivox-cli
ENC=$BUILD/bin/FFmpeg
DEBIAN=/usr/bin/ffmpeg
WORK=${LUMIVOX_BENCH_DIR:-/tmp/lumivox-movies-bench}
mkdir -p "$WORK"
for tool in "$CLI" "$ENC" "$DEBIAN"; do
  [ -x "$tool" ] || { echo "movies_speed: $tool is missing (build lumivox-cli)" >&2; exit 1; }
done

# measure NAME COMMAND...: runs once; sets NAME_wall, NAME_cpu (s) and NAME_rss (MB).
measure() {
  local name=$1; shift
  local wall user sys rss
  if ! /usr/bin/time -o "$WORK/time.txt" -f "%e %U %S %M" "$@" >/dev/null 2>&1; then
    echo "movies_speed: failed: $*" >&2
    exit 1
  fi
  read -r wall user sys rss <"$WORK/time.txt"
  printf -v "${name}_wall" '%.2f' "$wall"
  printf -v "${name}_cpu" '%.2f' "$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')"
  printf -v "${name}_rss" '%d' "$((rss / 1024))"
}
# median VALUES...: the middle value (the mean of the two middle ones for an even count).
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { printf "%.2f", (v[int((NR + 1) / 2)] + v[int(NR / 2) + 1]) / 2 }'; }
# spread VALUES...: "lowest..highest".
spread() { printf '%s\n' "$@" | sort -g | awk 'NR == 1 { lo = $1 } { hi = $1 } END { printf "%.2f..%.2f", lo, hi }'; }

# paired_cost NAME RUNS: runs the command in the array OFF and then the one in ON, RUNS times;
# sets NAME_cpu and NAME_wall to the median of the differences (ON minus OFF), NAME_cpu_range
# to their range, and NAME_on_rss / NAME_off_rss to the peak memory of the last ON and OFF runs.
paired_cost() {
  local name=$1 runs=$2 i
  local cpu=() wall=()
  for ((i = 0; i < runs; i++)); do
    measure off "${OFF[@]}"
    measure on "${ON[@]}"
    cpu+=("$(minus "$on_cpu" "$off_cpu")")
    wall+=("$(minus "$on_wall" "$off_wall")")
  done
  printf -v "${name}_cpu" '%s' "$(median "${cpu[@]}")"
  printf -v "${name}_wall" '%s' "$(median "${wall[@]}")"
  printf -v "${name}_cpu_range" '%s' "$(spread "${cpu[@]}")"
  printf -v "${name}_on_rss" '%s' "$on_rss"
  printf -v "${name}_off_rss" '%s' "$off_rss"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b <= 0) print "n/a"; else printf "%.3f", a / b }'; }
minus() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a - b }'; }

# make_clip FILE W H RATE SECONDS VCODEC...: a moving test picture with a tone.
make_clip() {
  local file=$1 w=$2 h=$3 rate=$4 seconds=$5; shift 5
  [ -s "$file" ] && return
  echo "movies_speed: making $file" >&2
  "$DEBIAN" -nostdin -hide_banner -loglevel error -y -f lavfi -i "testsrc2=size=${w}x${h}:rate=$rate" \
    -f lavfi -i "sine=frequency=440:sample_rate=44100,aformat=channel_layouts=stereo" \
    -t "$seconds" "$@" "$file.tmp.${file##*.}"
  mv "$file.tmp.${file##*.}" "$file"
}

# prepare TAG CLIP SECONDS: the comment thread, laid out by lumivox-cli into the overlay files
# (in $WORK/home_TAG) and our ASS script ($WORK/out_TAG/NAME.ass).
prepare() {
  local tag=$1 clip=$2 seconds=$3
  local xml=$WORK/comments_${seconds}s.xml
  [ -s "$xml" ] || python3 "$ROOT/bench/make_comment_xml.py" --seconds "$seconds" --count 1000 >"$xml"
  mkdir -p "$WORK/home_$tag" "$WORK/out_$tag"
  LUMIVOX_HOME=$WORK/home_$tag "$CLI" render "$clip" "$xml" --save-dir "$WORK/out_$tag" \
    --all-periods --no-old --format "ASS(字幕のみ)" >/dev/null
}

# filter_cost CLIP: the frame filter's own cost on CLIP (paired_cost filter), run in the folder
# that holds the overlay files.
filter_cost() {
  OFF=("$ENC" -y -i "$1" -an -vcodec rawvideo -f null -)
  ON=("$ENC" -y -i "$1" -an -vhook "velmora.dll -N comment.ini -D data.ini " -vcodec rawvideo -f null -)
  paired_cost filter "$RUNS"
}

# own_costs TAG CLIP: the filter's and libass's own costs on CLIP.
own_costs() {
  local tag=$1 clip=$2 name
  name=$(basename "${clip%.*}")
  local ass=$WORK/out_$tag/$name.ass
  cd "$WORK/home_$tag"
  filter_cost "$clip"
  OFF=("$DEBIAN" -nostdin -y -i "$clip" -an -vcodec rawvideo -f null -)
  ON=("$DEBIAN" -nostdin -y -i "$clip" -an -vf "ass=$ass" -vcodec rawvideo -f null -)
  paired_cost libass "$RUNS"
  cd "$ROOT"
  printf '%-44s %8s s CPU %8s s wall   (CPU of the %s pairs: %s)\n' "frame filter's own cost" \
    "$filter_cpu" "$filter_wall" "$RUNS" "$filter_cpu_range"
  printf '%-44s %8s s CPU %8s s wall   (CPU of the %s pairs: %s)\n' \
    "libass's own cost (Debian ffmpeg -vf ass)" "$libass_cpu" "$libass_wall" "$RUNS" "$libass_cpu_range"
  printf '%-44s %8s (CPU) %6s (wall)   goal <= 0.03\n' "filter / libass" \
    "$(ratio "$filter_cpu" "$libass_cpu")" "$(ratio "$filter_wall" "$libass_wall")"
}

for part in "${ONLY[@]}"; do
  case "$part" in
    1080)
      echo "== 1920x1080 30 fps, 60 s, 1000 comments =="
      clip=$WORK/clip_1080.mp4
      make_clip "$clip" 1920 1080 30 60 -c:v libx264 -preset ultrafast -crf 23 -c:a aac
      prepare 1080 "$clip" 60
      own_costs 1080 "$clip"
      measure whole_ours env LUMIVOX_HOME="$WORK/home_1080" "$CLI" render "$clip" \
        "$WORK/comments_60s.xml" --save-dir "$WORK/out_1080" --all-periods --no-old --format "MP4(H.264)"
      measure whole_debian "$DEBIAN" -nostdin -y -i "$clip" -vf "ass=$WORK/out_1080/clip_1080.ass" \
        -vcodec libx264 -crf 20 -preset veryfast -pix_fmt yuv420p -acodec aac -b:a 192k \
        -movflags +faststart "$WORK/debian_1080.mp4"
      printf '%-44s %8s s wall %8s s CPU\n' "burn-in, lumivox-cli MP4(H.264)" "$whole_ours_wall" "$whole_ours_cpu"
      printf '%-44s %8s s wall %8s s CPU\n' "burn-in, Debian ffmpeg + ass, same x264" "$whole_debian_wall" "$whole_debian_cpu"
      printf '%-44s %8s (wall) %6s (CPU)   goal <= 0.85\n' "ours / Debian's" \
        "$(ratio "$whole_ours_wall" "$whole_debian_wall")" "$(ratio "$whole_ours_cpu" "$whole_debian_cpu")"
      ;;
    2160)
      echo "== 3840x2160 30 fps, 20 s, 1000 comments =="
      clip=$WORK/clip_2160.mp4
      make_clip "$clip" 3840 2160 30 20 -c:v libx264 -preset ultrafast -crf 23 -c:a aac
      prepare 2160 "$clip" 20
      own_costs 2160 "$clip"
      printf '%-44s %8s MB (without the filter: %s MB)\n' "our encoder's peak memory with the filter" \
        "$filter_on_rss" "$filter_off_rss"
      ;;
    384)
      echo "== 512x384 29.97 fps FLV, 120 s, 1000 comments =="
      clip=$WORK/clip_384.flv
      make_clip "$clip" 512 384 30000/1001 120 -c:v flv -b:v 600k -c:a libmp3lame -b:a 128k -f flv
      prepare 384 "$clip" 120
      cd "$WORK/home_384"
      filter_cost "$clip"
      plain_runs=()
      for ((i = 0; i < RUNS; i++)); do
        measure plain "$DEBIAN" -nostdin -y -i "$clip" -vcodec msmpeg4 -acodec libmp3lame "$WORK/plain_384.avi"
        plain_runs+=("$plain_cpu")
      done
      plain_cpu=$(median "${plain_runs[@]}")
      cd "$ROOT"
      printf '%-44s %8s s CPU   (the %s pairs: %s)\n' "frame filter's own CPU" "$filter_cpu" "$RUNS" \
        "$filter_cpu_range"
      printf '%-44s %8s s CPU\n' "plain transcode by Debian's ffmpeg (AVI)" "$plain_cpu"
      printf '%-44s %8s   goal <= 0.08\n' "filter / plain transcode" "$(ratio "$filter_cpu" "$plain_cpu")"
      ;;
    mkv)
      echo "== MKV(字幕) of a 10-minute 1280x720 video, 1000 comments =="
      clip=$WORK/clip_720_600s.mp4
      make_clip "$clip" 1280 720 30 600 -c:v libx264 -preset ultrafast -crf 28 -c:a aac
      prepare mkv "$clip" 600
      measure mkv env LUMIVOX_HOME="$WORK/home_mkv" "$CLI" render "$clip" "$WORK/comments_600s.xml" \
        --save-dir "$WORK/out_mkv" --all-periods --no-old --format "MKV(字幕)"
      measure remux "$DEBIAN" -nostdin -y -i "$clip" -i "$WORK/out_mkv/clip_720_600s.ass" -map 0:v \
        -map 0:a -map 1:s -c copy "$WORK/debian_remux.mkv"
      printf '%-44s %8s s wall %8s s CPU   goal <= 3 s\n' "lumivox-cli render MKV(字幕)" "$mkv_wall" "$mkv_cpu"
      printf '%-44s %8s s wall %8s s CPU   (the disk sets the pace)\n' "Debian ffmpeg, the same remux" \
        "$remux_wall" "$remux_cpu"
      ;;
    *) echo "movies_speed: unknown part '$part'" >&2; exit 2 ;;
  esac
done
