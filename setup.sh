#!/usr/bin/env bash
# Set-up of the camera recording suite on Debian 12, as root.
#   ./setup.sh run    install what is missing, build (release) and start Kalmuth on an emulated camera
#   ./setup.sh test   install what is missing, build the sanitizer configuration and run every test
#   ./setup.sh tsan   install what is missing, build the ThreadSanitizer configuration (build/tsan) and
#                     run every test program under it
#   ./setup.sh bench  install what is missing, build the release configuration and run every benchmark;
#                     ends with each measured ratio beside its goal (all compared within this one run)
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# Parallel jobs for building and testing: every core unless JOBS says otherwise.
JOBS="${JOBS:-$(nproc 2>/dev/null || echo 4)}"

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qtbase5-dev qttools5-dev-tools fonts-dejavu-core
  libboost-all-dev liblog4cpp5-dev libpugixml-dev
  libtiff-dev libpng-dev libjpeg62-turbo-dev
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev ffmpeg
  xvfb xauth
  libgtest-dev libgmock-dev libbenchmark-dev
  libaravis-dev libusb-1.0-0-dev aravis-tools
)

install_missing() {
  local missing=()
  local package
  for package in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$package")
    fi
  done
  if [ "${#missing[@]}" -eq 0 ]; then
    return 0
  fi
  echo "Installing missing packages: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "Packages are missing and this is not root: run the set-up as root." >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# The udev rule test reads the shipped rule with udev's own "udevadm test". Installing the udev package
# would start a device manager on the machine, so when udevadm is missing, the package of the installed
# libudev1's version is only unpacked into the build folder and the test is pointed at it. Without a
# network the download fails and the test reports itself skipped.
provide_udevadm() {
  if [ -n "${UDEVADM:-}" ] || command -v udevadm >/dev/null 2>&1 || [ "$(id -u)" -ne 0 ]; then
    return 0
  fi
  local dir="$ROOT/build/udev"
  if [ ! -x "$dir/root/bin/udevadm" ]; then
    local version
    version="$(dpkg-query -W -f='${Version}' libudev1 2>/dev/null)" || return 0
    rm -rf "$dir" && mkdir -p "$dir"
    if ! (cd "$dir" && apt-get download -qq "udev=$version" >/dev/null 2>&1 && dpkg-deb -x udev_*.deb root); then
      echo "udevadm could not be fetched: the udev rule test will be skipped." >&2
      rm -rf "$dir"
      return 0
    fi
  fi
  export UDEVADM="$dir/root/bin/udevadm"
}

configure() {
  local dir="$1"
  shift
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S "$ROOT" -B "$dir" -G Ninja "$@"
  else
    cmake "$dir" "$@" >/dev/null
  fi
}

run_program() {
  local build="$ROOT/build/release"
  configure "$build" -DCMAKE_BUILD_TYPE=Release -DKALMUTH_SANITIZE=OFF -DKALMUTH_BUILD_TESTS=OFF -DKALMUTH_BUILD_BENCH=OFF
  cmake --build "$build" -j "$JOBS"
  local program="$build/bin/kalmuth"
  if [ ! -x "$program" ]; then
    echo "Everything built; there is no program Kalmuth yet to start."
    return 0
  fi
  # The set-up command runs the emulated camera only: discovering real cameras broadcasts on every
  # network interface. Start the program itself to reach real cameras.
  export NIMBO_REAL_CAMERAS=0
  export NIMBO_EMULATION="${NIMBO_EMULATION:-}"
  [ -n "$NIMBO_EMULATION" ] || unset NIMBO_EMULATION
  if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$program" "$@"
  fi
  echo "No display: starting Kalmuth under Xvfb."
  exec xvfb-run -a -s "-screen 0 1600x1000x24" "$program" "$@"
}

run_tests() {
  local build="$ROOT/build/test"
  configure "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKALMUTH_SANITIZE=ON -DKALMUTH_BUILD_TESTS=ON -DKALMUTH_BUILD_BENCH=ON
  cmake --build "$build" -j "$JOBS"
  export QT_QPA_PLATFORM=offscreen
  cd "$build"
  ctest --output-on-failure -j "$JOBS" --timeout 300
}

# Every test program under ThreadSanitizer, as CMake lists them in tests/test-programs.txt (a new
# program is in the run without being named here). Each program runs whole, so that races between
# tests of one program show as well; $JOBS programs run at once, each into a log of its own that is
# shown when the program fails or reports. Every program runs; any failure or report fails the run.
run_tsan() {
  local build="$ROOT/build/tsan"
  configure "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKALMUTH_SANITIZE=OFF -DKALMUTH_TSAN=ON -DKALMUTH_BUILD_TESTS=ON -DKALMUTH_BUILD_BENCH=OFF
  local targets=() name path
  declare -A paths
  while IFS=$'\t' read -r name path; do
    targets+=("$name")
    paths[$name]="$path"
  done <"$build/tests/test-programs.txt"
  cmake --build "$build" -j "$JOBS" --target "${targets[@]}"
  export QT_QPA_PLATFORM=offscreen
  export TSAN_OPTIONS="suppressions=$ROOT/cmake/tsan.supp halt_on_error=0 exitcode=66 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
  local logs="$build/tsan-logs"
  rm -rf "$logs"
  mkdir -p "$logs"
  local program running=0 started=$SECONDS
  for program in "${targets[@]}"; do
    (
      cd "$(dirname "${paths[$program]}")"
      start=$SECONDS
      rc=0
      "${paths[$program]}" >"$logs/$program.log" 2>&1 || rc=$?
      echo "$rc" >"$logs/$program.rc"
      echo "== $program: exit $rc after $((SECONDS - start)) s"
    ) &
    running=$((running + 1))
    if [ "$running" -ge "$JOBS" ]; then
      wait -n || true
      running=$((running - 1))
    fi
  done
  wait
  local failed=()
  for program in "${targets[@]}"; do
    if [ "$(cat "$logs/$program.rc" 2>/dev/null)" != 0 ]; then
      echo "==== $program failed or raced under ThreadSanitizer (log $logs/$program.log):"
      cat "$logs/$program.log"
      failed+=("$program")
    fi
  done
  if [ "${#failed[@]}" -ne 0 ]; then
    echo "Failed or raced under ThreadSanitizer: ${failed[*]}" >&2
    return 1
  fi
  echo "All ${#targets[@]} programs passed under ThreadSanitizer (the run took $((SECONDS - started)) s)."
}

# Benchmark programs in the order they run; each prints its own table, and those that compare two
# implementations end with "ratio:" lines, gathered into one table at the end.
BENCHMARKS=(
  nimbo_utility_bench
  engine_recording_bench
  engine_emulated_recording_bench
  engine_display_bench
  engine_media_bench
  engine_grab_bench
  nimbo_base_bench
  nimbo_realcamera_bench
  genapi_bench
)

run_benchmarks() {
  local build="$ROOT/build/release"
  configure "$build" -DCMAKE_BUILD_TYPE=Release -DKALMUTH_SANITIZE=OFF -DKALMUTH_BUILD_BENCH=ON
  cmake --build "$build" -j "$JOBS" --target "${BENCHMARKS[@]}"
  export QT_QPA_PLATFORM=offscreen
  local log
  log="$(mktemp)"
  local program path
  for program in "${BENCHMARKS[@]}"; do
    path="$(find "$build" -type f -name "$program" -perm -u+x | head -n 1)"
    if [ -z "$path" ]; then
      echo "ratio: $program was not built" | tee -a "$log"
      continue
    fi
    echo "=== $program"
    "$path" --benchmark_min_time="${BENCH_MIN_TIME:-0.5}" 2>&1 | tee -a "$log"
  done
  echo
  echo "=== Ratios of this run beside their goals"
  # The benchmark tables leave colour codes at the start of the line after them: strip them first.
  sed 's/\x1b\[[0-9;]*m//g' "$log" | grep '^ratio:' | sed 's/^ratio: //'
  rm -f "$log"
}

case "${1:-}" in
  run)
    shift
    install_missing
    run_program "$@"
    ;;
  test)
    install_missing
    provide_udevadm
    run_tests
    ;;
  tsan)
    install_missing
    run_tsan
    ;;
  bench)
    install_missing
    run_benchmarks
    ;;
  *)
    echo "usage: $0 run|test|tsan|bench" >&2
    exit 2
    ;;
esac
