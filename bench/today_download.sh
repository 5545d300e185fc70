#!/usr/bin/env bash
# Today's client downloading a 10-minute 720p video of about 100 MB (separate video and audio
# renditions, AES-128 encrypted) from the demo service on loopback: MB/s including decryption,
# and the client's CPU time per 100 MB. The clip and its HLS sample are made once (see
# bench/demo_today_serving.sh --clip-only), then bench_today_download runs RUNS downloads.
#
# usage: bench/today_download.sh [--build DIR] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=build
if [ "${1:-}" = --build ]; then BUILD=$2; shift 2; fi
RUNS=${1:-3}
cmake --build "$BUILD" --target bench_today_download lumivox-demo-service >/dev/null
clip_line=$(bash bench/demo_today_serving.sh --build "$BUILD" --clip-only | tail -1)
clip=$(sed -n 's/.*clip=\([^ ]*\).*/\1/p' <<<"$clip_line")
samples=$(sed -n 's/.*sample-dir=\([^ ]*\).*/\1/p' <<<"$clip_line")
"$BUILD/bench/bench_today_download" "$clip" "$samples" "$RUNS"
