#!/usr/bin/env bash
# Installs every Debian 12 package that building, running and testing Lumivox need.
# Run as root. Quiet when everything is already installed.
set -euo pipefail

PACKAGES=(
  # build
  build-essential cmake ninja-build ccache pkg-config git
  # CI: the second compiler (also the sanitizer build), the format check, and the libFuzzer
  # harnesses of tests/fuzz (scripts/fuzz.sh) with clang's fuzzer runtime
  clang clang-format libclang-rt-14-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  # the subtitle placement test and benchmark draw our ASS scripts with libass for comparison
  libass-dev
  # benchmarks: bench/encoder_speed.sh times the encoder against Debian's ffmpeg; the
  # benchmark scripts make their comment threads with python3
  hyperfine python3
  # comments
  libpugixml-dev
  # text engine
  libfontconfig-dev libfreetype-dev libharfbuzz-dev fonts-ipafont-gothic fonts-ipafont-mincho
  # colour emoji in comments (ICU tells which characters are shown as emoji)
  fonts-noto-color-emoji libicu-dev
  # encoder and frame filter; Debian's ffmpeg makes test clips and is the benchmark reference
  libavformat-dev libavcodec-dev libavfilter-dev libavutil-dev libswscale-dev libswresample-dev ffmpeg
  # service client and demo service; today's service answers JSON (simdjson reads it,
  # nlohmann-json writes the requests) and its video segments are AES-128 encrypted (OpenSSL)
  libcurl4-openssl-dev libssl-dev libcpp-httplib-dev openssl libsimdjson-dev nlohmann-json3-dev
  # the session cookie read from browsers' cookie databases
  libsqlite3-dev
  # desktop program
  qt6-base-dev qt6-base-dev-tools libgl-dev xvfb xauth
  # the account's secrets in the desktop's keyring (QtKeychain; it loads libsecret when it runs);
  # the keyring tests start a D-Bus session with GNOME Keyring of their own
  qtkeychain-qt6-dev libsecret-1-0 dbus-daemon gnome-keyring
  # Qt's own texts (buttons, dialogs, calendar) in Japanese
  qt6-translations-l10n
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages: ${missing[*]} (run this script as root)" >&2
  exit 1
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
