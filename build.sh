#!/usr/bin/env bash
# Sets up a Debian 12 machine for Veltrane, builds it and runs its jobs.
#   ./build.sh setup        install the Debian packages the build needs (only those missing)
#   ./build.sh build        configure and build into build/
#   ./build.sh test         setup + build + run every test with ctest
#   ./build.sh asan         the tests again under AddressSanitizer and UBSan (leaks fail)
#   ./build.sh host3        the package built for host framework version 3, with its tests
#   ./build.sh demo         setup + build, then merge the bundled example into out/letters.docx
#   ./build.sh fuzz [SECS]  build the fuzz targets with clang 14 and run each for SECS (30)
#   ./build.sh tidy [PATH…] clang-tidy over src/ (or the given files and folders); any finding fails
#   ./build.sh package      a Release build into build-package and its Debian package (.deb)
set -euo pipefail
cd "$(dirname "$0")"

JOBS=${JOBS:-$(nproc)}
BUILD_PACKAGES=(g++ cmake ninja-build pkg-config zlib1g-dev libzip-dev zipcmp zipmerge ziptool
  libpugixml-dev libsqlite3-dev libcli11-dev libcups2-dev libgtest-dev libgmock-dev unixodbc-dev
  libxml2-dev)
# What the tests run besides the build: a private print scheduler, LibreOffice for PDF, and a
# private PostgreSQL server reached through its ODBC driver, with GNU parallel for the shards.
TEST_PACKAGES=(cups-daemon cups-client libreoffice-writer-nogui fonts-liberation2 postgresql
  odbc-postgresql parallel)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

setup() {
  local missing=()
  for pkg in "${BUILD_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    as_root apt-get update -qq
    DEBIAN_FRONTEND=noninteractive as_root apt-get install -y --no-install-recommends "${missing[@]}"
  fi
}

configure_and_build() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@"
  cmake --build "$dir" -j "$JOBS"
}

run_tests() {
  local dir=$1
  ctest --test-dir "$dir" --output-on-failure -j "$JOBS" --timeout 600
}

# Configures build-tidy for its compilation database alone and runs the checks of .clang-tidy
# over the sources under src/. Given files or folders (paths from the repository root), it
# checks only those sources and reports only the headers under those paths. clang-tidy turns
# every finding into an error, so any finding fails the job.
tidy() {
  cmake -S . -B build-tidy -G Ninja -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DVELTRANE_BUILD_TESTS=OFF \
    -DVELTRANE_BUILD_BENCH=OFF -DVELTRANE_BUILD_FUZZ=OFF ${CMAKE_ARGS:-} >/dev/null
  if [ $# -eq 0 ]; then
    run-clang-tidy-14 -p build-tidy -j "$JOBS" -quiet "^$PWD/src/"
    return
  fi
  local paths=()
  for path in "$@"; do
    path=${path#./}
    path=${path%/}
    [ -e "$path" ] || { echo "tidy: no such file or folder: $path" >&2; exit 2; }
    paths+=("$path")
  done
  local alternatives
  alternatives=$(IFS='|'; echo "${paths[*]}")
  run-clang-tidy-14 -p build-tidy -j "$JOBS" -quiet -header-filter="^$PWD/($alternatives)(/|\$)" \
    "^$PWD/($alternatives)(/|\$)"
}

case "${1:-test}" in
  setup) setup ;;
  build) setup; configure_and_build build ${CMAKE_ARGS:-} ;;
  test) BUILD_PACKAGES+=("${TEST_PACKAGES[@]}"); setup; configure_and_build build ${CMAKE_ARGS:-}; run_tests build ;;
  asan)
    BUILD_PACKAGES+=("${TEST_PACKAGES[@]}")
    setup
    configure_and_build build-asan -DVELTRANE_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug ${CMAKE_ARGS:-}
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      run_tests build-asan ;;
  host3)
    setup
    configure_and_build build-host3 -DVELTRANE_HOST_VERSION=3 -DVELTRANE_PACKAGE_ONLY=ON ${CMAKE_ARGS:-}
    run_tests build-host3 ;;
  demo)
    setup
    configure_and_build build ${CMAKE_ARGS:-}
    examples/demo.sh build/src/cli/veltrane out ;;
  fuzz)
    BUILD_PACKAGES+=(clang-14 libclang-rt-14-dev)
    setup
    fuzz/run.sh "${2:-30}" ;;
  package)
    BUILD_PACKAGES+=(dpkg-dev file)
    setup
    # -O2 as Debian builds its packages; g++ 12's -O3 reports false overlaps in std::string.
    configure_and_build build-package -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
      -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_INSTALL_PREFIX=/usr \
      -DVELTRANE_BUILD_TESTS=OFF ${CMAKE_ARGS:-}
    (cd build-package && cpack -G DEB)
    ls build-package/*.deb ;;
  tidy)
    BUILD_PACKAGES+=(clang-tidy-14)
    setup
    shift
    tidy "$@" ;;
  *) echo "usage: $0 [setup|build|test|asan|host3|demo|package|fuzz [SECS]|tidy [PATH...]]" >&2; exit 2 ;;
esac
