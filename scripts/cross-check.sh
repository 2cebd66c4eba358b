#!/bin/sh
# Compiles every toolkit-free source for Windows with Debian's mingw-w64 cross compiler, so that
# a POSIX header or call slipping into them shows here rather than on a Windows machine. Debian
# has no Qt for Windows: sources that use Qt Core or Qt Serial Port see the host's Qt headers,
# so this checks our code, not Qt's, and nothing is linked. An honest partial check.
set -eu
cd "$(dirname "$0")/.."
CXX=${KVEL_CROSS_CXX:-x86_64-w64-mingw32-g++}
OUT=build/cross-check

# Every source in these folders is checked, so a new file is covered without a change here...
FOLDERS="core link transport unit diagnostics finder settings telemetry fleet firmware device cli network exporter gateway report"
# ...except the windows, which need Qt Widgets.
is_window() {
  case $1 in
  */Unit[0-9]*.cpp | device/FieldTable.cpp | device/MainDisplay.cpp) return 0 ;;
  *) return 1 ;;
  esac
}

# mingw-w64 carries some POSIX headers that MSVC lacks; these stand-ins make them fail here too.
POSIX_ONLY="unistd.h dirent.h pthread.h strings.h libgen.h sched.h sys/time.h sys/file.h sys/param.h"

if ! command -v "$CXX" >/dev/null; then
  echo "cross-check: no $CXX (apt install g++-mingw-w64-x86-64)" >&2
  exit 2
fi
qt=$(pkg-config --variable=includedir Qt6Core)
posix_only="$OUT/posix-only"
for header in $POSIX_ONLY; do
  mkdir -p "$posix_only/$(dirname "$header")"
  echo "#error \"<$header> is POSIX only: Windows compilers other than mingw lack it\"" \
    >"$posix_only/$header"
done
flags="-std=c++17 -Wall -Wextra -Werror -isystem $posix_only"
flags="$flags -isystem $qt -isystem $qt/QtCore -isystem $qt/QtSerialPort -isystem $qt/QtNetwork"
flags="$flags -isystem $qt/QtHttpServer"
# The version header, made from project() as CMake makes it.
version=$(sed -n 's/^project(kvel VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
mkdir -p "$OUT/generated"
sed "s/@PROJECT_VERSION@/$version/" cmake/KvelVersion.h.in >"$OUT/generated/KvelVersion.h"
flags="$flags -I$OUT/generated"
# libtelnet and libzip are plain C libraries that build on Windows too; only their headers are
# taken from the host, alone, so that no other host header slips in with them.
c_headers="$OUT/c-headers"
mkdir -p "$c_headers"
for header in libtelnet.h zip.h zipconf.h; do
  found=$(find /usr/include -name "$header" | head -1)
  [ -n "$found" ] && cp "$found" "$c_headers/"
done
flags="$flags -isystem $c_headers"
sources=""
for folder in $FOLDERS; do
  [ -d "$folder" ] || continue
  flags="$flags -I$folder"
  for source in "$folder"/*.cpp; do
    if [ -e "$source" ] && ! is_window "$source"; then sources="$sources $source"; fi
  done
done

# Checks that run while compiling, for what differs on Windows (`long` has 32 bits there).
compile_time_checks="tests/unit/FixedPointCheck.cpp"
flags="$flags -Itests/unit"
sources="$sources $compile_time_checks"

failed=""
for source in $sources; do
  "$CXX" $flags -c "$source" -o "$OUT/$(echo "$source" | tr / _).o" || failed="$failed $source"
done
if [ -n "$failed" ]; then
  echo "cross-check: these do not compile for Windows:$failed" >&2
  echo "cross-check: a window (Qt Widgets) belongs in is_window in $0; the rest must build there" >&2
  exit 1
fi
echo "cross-check: $(echo $sources | wc -w) sources compile for Windows with $CXX:$sources"
