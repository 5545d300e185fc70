#!/usr/bin/env bash
# The main job of Lumivox from a video page URL to the movie with its comments, over the
# network: installs the dependencies, builds lumivox-cli with its encoder and frame filter and
# lumivox-demo-service (Release, Ninja, ccache, in the `build` folder that scripts/test.sh uses
# too), makes a 40-second test video once, and starts the demo service on 127.0.0.1, a local
# peer of the video service that serves that video and the sample comment thread behind a
# login. Then `lumivox-cli URL` runs the whole job: login, lookup, comment thread, page visit,
# download and encoding. The movie, a still of it and the work files land in build/demo/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
export CCACHE_BASEDIR="$PWD"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --target lumivox-cli lumivox-demo-service -j2

demo="$PWD/build/demo"
video="$demo/demo.flv"
work="$demo/work"
mkdir -p "$demo" "$work"

# The video the demo service serves: 40 s of 512x384 at 29.97 fps in the service's old FLV
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

# The demo service on loopback, on ports the system chooses. --lifetime ends it by itself
# should this script be killed before it stops the service.
service_out="$demo/service.out"
service_log="$demo/service.log"
service_pid=
stop_service() {
  if [ -n "$service_pid" ]; then
    kill -TERM "$service_pid" 2>/dev/null || true
    wait "$service_pid" 2>/dev/null || true
    service_pid=
  fi
}
trap stop_service EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
echo "demo: starting lumivox-demo-service on 127.0.0.1"
build/bin/lumivox-demo-service --lifetime 900 --video "$video" \
  --comments tools/sample/comment.xml >"$service_out" 2>"$service_log" &
service_pid=$!
for _ in $(seq 200); do
  grep -q '^READY ' "$service_out" && break
  if ! kill -0 "$service_pid" 2>/dev/null; then
    echo "demo: lumivox-demo-service did not start:" >&2
    cat "$service_log" >&2
    exit 1
  fi
  sleep 0.05
done
ready=$(grep '^READY ' "$service_out") || { echo "demo: the service never got ready" >&2; exit 1; }
login_host=$(sed -n 's/.* login=\([^ ]*\).*/\1/p' <<<"$ready")
web_host=$(sed -n 's/.* web=\([^ ]*\).*/\1/p' <<<"$ready")
ca_file=$(sed -n 's/.* ca=\([^ ]*\).*/\1/p' <<<"$ready")

# The demo's own work folder (LUMIVOX_HOME), so that settings of the program folder do not
# change it: the demo service's account with automatic login on, the save folder, and the
# demo service as the video service, its self-signed certificate trusted.
printf '%s\r\n' \
  "[Lumivox]" \
  "Mail=demo@example.com" \
  "Password=p&ss=w+rd%41" \
  "Login=0" \
  "SaveDir=$demo" \
  "[Service]" \
  "Protocol=classic" \
  "LoginHost=$login_host" \
  "WebHost=$web_host" \
  "CaFile=$ca_file" >"$work/lumivox.ini"
chmod 600 "$work/lumivox.ini"

# The sample comments were posted in November 2026 (--all-periods), and all 175 of them are
# shown, not only the newest 100 that the default cap keeps for a 40-second video (--no-old).
url="$web_host/watch/sm9"
echo "demo: lumivox-cli $url"
started=$(date +%s.%N)
movie=$(LUMIVOX_HOME="$work" build/bin/lumivox-cli "$url" --all-periods --no-old --timings)
ended=$(date +%s.%N)
stop_service
requests=$(sed -n 's/^count \([^ ]*\) \([0-9]*\)$/\1 \2/p' "$service_log" | paste -sd, - |
  sed 's/,/, /g')

still="${movie%.*}-12s.png"
ffmpeg -nostdin -v error -y -ss 12 -i "$movie" -frames:v 1 "$still"

echo
echo "The video page:           $url (lumivox-demo-service, now stopped)"
echo "Requests it answered:     $requests"
echo "The downloaded video:     $demo/sm9.flv"
echo "The movie with comments:  $movie"
echo "A still at 12 s:          $still"
echo "The job's work files:     $work/ (lumivox.ini, comment.xml, comment.ini, data.ini, cookies.txt)"
elapsed=$(awk -v a="$started" -v b="$ended" 'BEGIN { printf "%.1f", b - a }')
echo "The whole job took:       $elapsed s (login, lookup, comments, page visit, download, encoding)"
