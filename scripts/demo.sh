#!/usr/bin/env bash
# The main job of Lumivox, offline: installs the dependencies, builds lumivox-cli with its
# encoder and frame filter (Release, Ninja, ccache, in the `build` folder that scripts/test.sh
# uses too), makes a 40-second test video once, and draws the sample comment thread onto it.
# The movie, a still of it and the work files land in build/demo/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
export CCACHE_BASEDIR="$PWD"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --target lumivox-cli -j2

demo="$PWD/build/demo"
video="$demo/demo.flv"
mkdir -p "$demo"

# The stand-in for a downloaded video: 40 s of 512x384 at 29.97 fps in the service's old FLV
# form (Sorenson video, MP3 audio): slowly drifting colour gradients, dark enough for white
# comments, and a two-tone chord.
if [ ! -s "$video" ]; then
  echo "demo: making the test video $video"
  ffmpeg -nostdin -v error -y \
    -f lavfi -i "gradients=size=512x384:rate=30000/1001:duration=40:speed=0.03:nb_colors=4:\
c0=0x0f2027:c1=0x2c5364:c2=0x6a3093:c3=0xd76d77" \
    -f lavfi -i "sine=frequency=440:duration=40" \
    -f lavfi -i "sine=frequency=660:duration=40" \
    -filter_complex "[1:a][2:a]amix=inputs=2,volume=0.5[a]" -map 0:v -map "[a]" \
    -c:v flv -q:v 3 -c:a libmp3lame -b:a 96k -ar 44100 -f flv "$video.part"
  mv "$video.part" "$video"
fi

# The demo keeps its own work folder, so that settings of the program folder do not change it.
# The sample comments were posted in November 2026 (--all-periods), and all 175 of them are
# shown, not only the newest 100 that the default cap keeps for a 40-second video (--no-old).
echo "demo: drawing tools/sample/comment.xml onto the video"
movie=$(LUMIVOX_HOME="$demo/work" build/bin/lumivox-cli render "$video" tools/sample/comment.xml \
  --save-dir "$demo" --all-periods --no-old --timings)

still="$demo/demo-12s.png"
ffmpeg -nostdin -v error -y -ss 12 -i "$movie" -frames:v 1 "$still"

echo
echo "The movie with comments:  $movie"
echo "A still at 12 s:          $still"
echo "The frame filter's files: $demo/work/comment.ini, $demo/work/data.ini"
