#!/usr/bin/env bash
# The main job of Lumivox from a video page URL to the movie with its comments, over the
# network: installs the dependencies, builds lumivox-cli with its encoder and frame filter and
# lumivox-demo-service (Release, Ninja, ccache, in the `build` folder that scripts/test.sh uses
# too), makes a 40-second test video once, and starts the demo service on 127.0.0.1, a local
# peer of the video service that serves that video and the sample comment thread. Then
# `lumivox-cli URL` runs the whole job. The movie, a still of it and the work files land in
# build/demo/ (build/demo/classic/ for --classic).
#
#   bash scripts/demo.sh             the service as it is today: the session cookie, the watch
#                                    data, the comment threads, the access rights and the
#                                    encrypted HLS renditions joined into sm9.mp4
#   bash scripts/demo.sh --classic   the classic protocol: login form, getflv, the XML comment
#                                    thread, the page visit and the .flv stream
set -euo pipefail
cd "$(dirname "$0")/.."

protocol=today
case "${1:-}" in
  "") ;;
  --classic) protocol=classic ;;
  *) echo "usage: bash scripts/demo.sh [--classic]" >&2; exit 2 ;;
esac

bash scripts/install-deps.sh
export CCACHE_BASEDIR="$PWD"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --target lumivox-cli lumivox-demo-service -j2

video="$PWD/build/demo/demo.flv"
demo="$PWD/build/demo"
[ "$protocol" = classic ] && demo="$PWD/build/demo/classic"
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
echo "demo: starting lumivox-demo-service --protocol $protocol on 127.0.0.1"
# Today's protocol serves the video as an HLS sample it makes once from the clip (H.264 and AAC
# renditions, kept in build/demo-samples/).
build/bin/lumivox-demo-service --protocol "$protocol" --lifetime 900 --video "$video" \
  --comments tools/sample/comment.xml >"$service_out" 2>"$service_log" &
service_pid=$!
for _ in $(seq 2400); do
  grep -q '^READY ' "$service_out" && break
  if ! kill -0 "$service_pid" 2>/dev/null; then
    echo "demo: lumivox-demo-service did not start:" >&2
    cat "$service_log" >&2
    exit 1
  fi
  sleep 0.05
done
ready=$(grep '^READY ' "$service_out") || { echo "demo: the service never got ready" >&2; exit 1; }
field() { sed -n "s/.* $1=\([^ ]*\).*/\1/p" <<<"$ready"; }
ca_file=$(field ca)

# The demo's own work folder (LUMIVOX_HOME), so that settings of the program folder do not
# change it: the save folder, the account, and the demo service as the video service, its
# self-signed certificate trusted. The classic account logs in with its mail address and
# password (automatic login on); today's account is the demo's user_session cookie, given in a
# file only its owner may read, as a user gives the cookie copied from the browser.
if [ "$protocol" = classic ]; then
  web_host=$(field web)
  printf '%s\r\n' \
    "[Lumivox]" \
    "Mail=demo@example.com" \
    "Password=p&ss=w+rd%41" \
    "Login=0" \
    "SaveDir=$demo" \
    "[Service]" \
    "Protocol=classic" \
    "LoginHost=$(field login)" \
    "WebHost=$web_host" \
    "CaFile=$ca_file" >"$work/lumivox.ini"
  session_options=()
else
  web_host=$(field www)
  printf '%s\r\n' \
    "[Lumivox]" \
    "SaveDir=$demo" \
    "[Service]" \
    "Protocol=today" \
    "AccountHost=$(field account)" \
    "WebHost=$web_host" \
    "NvapiHost=$(field nvapi)" \
    "CaFile=$ca_file" >"$work/lumivox.ini"
  session_file="$demo/session.txt"
  (umask 077 && field session >"$session_file")
  session_options=(--session-cookie-file "$session_file")
fi
chmod 600 "$work/lumivox.ini"

# The sample comments were posted in November 2026 (--all-periods), and all 175 of them are
# shown, not only the newest 100 that the default cap keeps for a 40-second video (--no-old).
url="$web_host/watch/sm9"
echo "demo: lumivox-cli $url"
started=$(date +%s.%N)
movie=$(LUMIVOX_HOME="$work" build/bin/lumivox-cli "$url" "${session_options[@]}" \
  --all-periods --no-old --timings)
ended=$(date +%s.%N)
stop_service
# The requests per path; today's playlists, keys and segments are counted together.
requests=$(sed -n 's/^count \([^ ]*\) \([0-9]*\)$/\1 \2/p' "$service_log" |
  awk '{ p = $1 }
       p ~ /\.m3u8$/ { p = "playlists" } p ~ /\.key$/ { p = "keys" }
       p ~ /\.cmf[va]$/ { p = (p ~ /init/ ? "init sections" : "segments") }
       { n[p] += $2 } END { for (p in n) print p " " n[p] }' | sort | paste -sd, - |
  sed 's/,/, /g')

still="${movie%.*}-12s.png"
ffmpeg -nostdin -v error -y -ss 12 -i "$movie" -frames:v 1 "$still"

echo
echo "The video page:           $url (lumivox-demo-service, now stopped)"
echo "Requests it answered:     $requests"
if [ "$protocol" = classic ]; then
  echo "The downloaded video:     $demo/sm9.flv"
  echo "The movie with comments:  $movie"
  echo "A still at 12 s:          $still"
  echo "The job's work files:     $work/ (lumivox.ini, comment.xml, comment.ini, data.ini, cookies.txt)"
  stages="login, lookup, comments, page visit, download, encoding"
else
  echo "The downloaded video:     $demo/sm9.mp4 (the video and audio renditions joined)"
  echo "The movie with comments:  $movie"
  echo "A still at 12 s:          $still"
  echo "The job's work files:     $work/ (lumivox.ini, sm9.comments.json, comment.ini, data.ini)"
  stages="session check, watch data, comments, access rights, HLS download, encoding"
fi
elapsed=$(awk -v a="$started" -v b="$ended" 'BEGIN { printf "%.1f", b - a }')
echo "The whole job took:       $elapsed s ($stages)"
