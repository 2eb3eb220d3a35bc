#!/usr/bin/env bash
# Sets up a Debian 12 machine for the program, builds it and then either
# starts it from its program folder (run) or runs every test (test).
#   bash tools/dev.sh run     install, build, start the program
#   bash tools/dev.sh test    install, build, run all tests, then build and
#                             run them again under ASan and UBSan
# Run it as yourself: missing packages are installed through sudo (directly
# when run as root, as in CI). The build and the program run as the user who
# typed the command, also when that was done through sudo.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-image-formats-plugins libqt6svg6
  libpoppler-qt6-dev libpoppler-private-dev libtesseract-dev libleptonica-dev libzxing-dev libzip-dev
  libjpeg62-turbo-dev libtiff-dev
  libxcb1-dev libxcb-keysyms1-dev libxkbcommon-dev
  tesseract-ocr tesseract-ocr-eng tesseract-ocr-deu tesseract-ocr-fra
  breeze-icon-theme fonts-liberation fonts-dejavu-core
  xvfb xauth xdotool poppler-utils openbox
  debian-reference-en
)
# openbox: a small window manager that the X tests of stacking, activation
# and closing by the title bar's keys start for themselves (what the user
# sees depends on it: a window covering the screen is stacked above others).
# debian-reference-en: the 261-page manual whose PDF bench/pdf renders
# against pdftoppm (without it the bench makes a document of its own).

# The user who typed the command: under sudo, the one who called sudo.
invoking_user() {
  if [ "$(id -u)" -eq 0 ] && [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != root ]; then
    echo "$SUDO_USER"
  fi
}

# Runs a command as the user who typed the command (keeping the environment:
# DISPLAY, ZQ_JOBS ...), or as it stands when that is who we are.
as_user() {
  local user
  user=$(invoking_user)
  if [ -n "$user" ]; then
    runuser -u "$user" -- "$@"
  else
    "$@"
  fi
}

install_packages() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  ((${#missing[@]})) || return 0
  echo "== installing: ${missing[*]}"
  local root=()
  if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null 2>&1; then
      echo "dev.sh: installing packages needs root, and sudo is not installed; as root run:" >&2
      echo "  apt-get install --no-install-recommends ${missing[*]}" >&2
      exit 1
    fi
    root=(sudo --)
  fi
  "${root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
  "${root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

build() { # build DIR [cmake options...]
  local dir=$1; shift
  if [ -e "$dir" ] && ! as_user test -w "$dir"; then
    echo "dev.sh: $dir belongs to another user (an earlier run as root?); remove it first: sudo rm -rf $dir" >&2
    exit 1
  fi
  as_user cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  as_user cmake --build "$dir" --parallel "${ZQ_JOBS:-$(nproc)}"
}

XVFB_PID=
start_xvfb() {
  local n=97
  while [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 1 100); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.1; done
  export DISPLAY=":$n"
  echo "== Xvfb on $DISPLAY"
}
stop_xvfb() { [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true; }

run_tests() { # run_tests DIR
  as_user ctest --test-dir "$1" --output-on-failure --parallel "${ZQ_JOBS:-$(nproc)}" --timeout 600
}

case "${1:-}" in
  run)
    install_packages
    build build
    as_user build/app/quillon
    ;;
  test)
    install_packages
    build build
    trap stop_xvfb EXIT
    start_xvfb
    echo "== tests"
    run_tests build
    echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer"
    build build-asan -DZQ_SANITIZE=ON -DZQ_BENCH=OFF
    ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      run_tests build-asan
    ;;
  *)
    echo "usage: bash tools/dev.sh run|test" >&2
    exit 2
    ;;
esac
