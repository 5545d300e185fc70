#!/usr/bin/env bash
# Pictures of the desktop program's main window with real jobs, under Xvfb: idle, running
# (encoding, with its speed and time left), finished (the movie with its buttons and the comment
# counts) and failed. Builds lumivox-window-shots and lumivox-demo-service, starts the demo
# service on 127.0.0.1 with the demo's video and the sample comment thread, and runs the window
# against it with a work folder of its own. The four pictures land in OUT_FOLDER (default
# build/window-shots); the finished one is also kept as docs/lumivox-window.png for the README.
# Then the main window and both side windows are opened on a 1920x1080 screen at 100 %, 150 % and
# 200 % scaling (QT_SCALE_FACTOR), each checked to lie within the screen (OUT_FOLDER/scale-N/).
#
#   bash scripts/window-shots.sh [OUT_FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."

out="$(realpath -m "${1:-build/window-shots}")"
export CCACHE_BASEDIR="$PWD"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --target lumivox-window-shots lumivox-demo-service -j2

shots="$PWD/build/window-shots-run"
work="$shots/work"
video="$shots/demo.flv"
rm -rf "$work" "$shots/save"
mkdir -p "$out" "$work" "$shots/save" docs

# 40 s of 512x384 at 29.97 fps in the service's old FLV form, as the demo's video.
if [ ! -s "$video" ]; then
  ffmpeg -nostdin -v error -y \
    -f lavfi -i "gradients=size=512x384:rate=30000/1001:duration=40:speed=0.03:nb_colors=4:\
c0=0x0f2027:c1=0x2c5364:c2=0x6a3093:c3=0xd76d77" \
    -f lavfi -i "sine=frequency=440:duration=40" \
    -c:v flv -q:v 3 -c:a libmp3lame -b:a 96k -ar 44100 -f flv "$video.part"
  mv "$video.part" "$video"
fi

service_out="$shots/service.out"
service_pid=
stop_service() {
  if [ -n "$service_pid" ]; then
    kill -TERM "$service_pid" 2>/dev/null || true
    wait "$service_pid" 2>/dev/null || true
    service_pid=
  fi
}
trap stop_service EXIT
build/bin/lumivox-demo-service --lifetime 600 --video "$video" \
  --comments tools/sample/comment.xml >"$service_out" 2>"$shots/service.log" &
service_pid=$!
for _ in $(seq 200); do
  grep -q '^READY ' "$service_out" && break
  sleep 0.05
done
ready=$(grep '^READY ' "$service_out") || { echo "window-shots: the demo service did not start" >&2; exit 1; }
login_host=$(sed -n 's/.* login=\([^ ]*\).*/\1/p' <<<"$ready")
web_host=$(sed -n 's/.* web=\([^ ]*\).*/\1/p' <<<"$ready")
ca_file=$(sed -n 's/.* ca=\([^ ]*\).*/\1/p' <<<"$ready")

# The demo account, the AVI format, the save folder, the side windows hidden (only the main
# window is pictured), the demo service as the video service.
printf '%s\r\n' \
  "[Lumivox]" \
  "Mail=demo@example.com" \
  "Password=p&ss=w+rd%41" \
  "Login=0" \
  "Format=AVI" \
  "SaveDir=$shots/save" \
  "ListDialog=0" \
  "CommentDialog=0" \
  "[Service]" \
  "Protocol=classic" \
  "LoginHost=$login_host" \
  "WebHost=$web_host" \
  "CaFile=$ca_file" >"$shots/lumivox.ini"
chmod 600 "$shots/lumivox.ini"
cp -p "$shots/lumivox.ini" "$work/lumivox.ini"

# The jobs take a bare video ID; the second one fails: its save folder cannot be made.
LUMIVOX_HOME="$work" LANG=C.UTF-8 xvfb-run -a -s "-screen 0 1280x800x24" \
  build/bin/lumivox-window-shots "$out" sm9 /proc/lumivox/save
cp "$out/finished.png" docs/lumivox-window.png
echo "docs/lumivox-window.png"

# The windows at a desktop's scalings, side windows shown: each must lie within the screen.
fit_failed=0
for scale in 1 1.5 2; do
  scaled="$shots/scale-$scale"
  mkdir -p "$scaled" "$out/scale-$scale"
  sed -e 's/^ListDialog=0/ListDialog=1/' -e 's/^CommentDialog=0/CommentDialog=1/' \
    "$shots/lumivox.ini" >"$scaled/lumivox.ini"
  chmod 600 "$scaled/lumivox.ini"
  echo "== scaling $scale on 1920x1080"
  LUMIVOX_HOME="$scaled" LANG=C.UTF-8 QT_SCALE_FACTOR=$scale xvfb-run -a -s "-screen 0 1920x1080x24" \
    build/bin/lumivox-window-shots --fit "$out/scale-$scale" || fit_failed=1
done
exit $fit_failed
