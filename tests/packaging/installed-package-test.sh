#!/bin/sh
# The .deb that CPack makes from this build tree, unpacked into a scratch root: its dependencies,
# menu entry and icon; the launcher giving kvel a working directory of its own on first start;
# and the installed kvel, started by the menu entry's command line, with Qt's Russian texts,
# polling the installed kvel-sim for 10 seconds.
set -eu
# A display of its own, numbered away from the :99 where other xvfb-run -a calls race.
if [ -z "${KVEL_PACKAGE_TEST_DISPLAY:-}" ]; then
  KVEL_PACKAGE_TEST_DISPLAY=1 exec xvfb-run -a -n $((100 + $$ % 500)) "$0" "$@"
fi
CPACK=$1
CPACK_CONFIG=$2

scratch=$(mktemp -d)
kvel_pid=""
sim_pid=""
stop() {
  [ -z "$1" ] && return 0
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}
cleanup() {
  stop "$kvel_pid"
  stop "$sim_pid"
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() {
  for log in "$scratch"/*.log; do
    [ -e "$log" ] && { echo "--- $(basename "$log")"; cat "$log"; }
  done
  echo "FAIL: $*" >&2
  exit 1
}
count() { grep -c "$1" "$2" || true; }

# --- the package
"$CPACK" -G DEB --config "$CPACK_CONFIG" -B "$scratch/package" >"$scratch/cpack.log" 2>&1 ||
  fail "cpack could not make the package"
deb=$(ls "$scratch"/package/kvel_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 libqt6serialport6 libqt6gui6 qt6-translations-l10n fonts-dejavu-core; do
  case ", $depends," in
  *", $needed "* | *", $needed,"*) ;;
  *) fail "the package does not depend on $needed: $depends" ;;
  esac
done

# What the package says of itself names the network lines and the verbs beyond one unit's.
description=$(dpkg-deb -f "$deb" Description | tr '\n' ' ' | sed 's/  */ /g')
for named in "RTU over TCP" "Modbus TCP" "kvel-cli find" "kvel-cli serve"; do
  case "$description" in
  *"$named"*) ;;
  *) fail "the package's description does not name $named: $description" ;;
  esac
done

root=$scratch/root
dpkg -x "$deb" "$root"
changelog=$(gzip -dc "$root/usr/share/doc/kvel/changelog.gz" | tr '\n' ' ' | sed 's/  */ /g')
for named in "RTU over TCP" "Modbus TCP" "find looks for the units" "serve polls the units"; do
  case "$changelog" in
  *"$named"*) ;;
  *) fail "the changelog does not name $named" ;;
  esac
done
for program in kvel kvel-exporter kvel-sim kvel-launcher kvel-gateway; do
  [ -x "$root/usr/bin/$program" ] || fail "no /usr/bin/$program in the package"
done
for document in README.md docs/kvel-cli.md docs/images/kvel-main.png copyright changelog.gz \
  examples/exporter.ini; do
  [ -s "$root/usr/share/doc/kvel/$document" ] || fail "no /usr/share/doc/kvel/$document in the package"
done
for page in kvel kvel-cli kvel-exporter kvel-sim kvel-gateway; do
  manual=$root/usr/share/man/man1/$page.1.gz
  [ -s "$manual" ] || fail "no manual page for $page in the package"
  gzip -dc "$manual" | grep -q "^\.TH \"\?$(echo "$page" | tr a-z A-Z)" || fail "the manual page of $page has no title"
done
[ -s "$root/usr/lib/systemd/system/kvel-gateway.service" ] || fail "no kvel-gateway.service in the package"
desktop=$root/usr/share/applications/kvel.desktop
[ -f "$desktop" ] || fail "no menu entry in the package"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no icon named $icon"
command_line=$(sed -n 's/^Exec=//p' "$desktop")
[ -n "$command_line" ] || fail "the menu entry has no command line"

# --- starting as the menu does: a fresh home, the installed programs first on the path
export HOME="$scratch/home"
unset XDG_DATA_HOME QT_QPA_PLATFORM
mkdir -p "$HOME"
export PATH="$root/usr/bin:$PATH"
workdir="$HOME/.local/share/kvel"

start_from_menu() {
  # The subshell becomes the launcher, which becomes kvel: $! is kvel's process.
  (cd "$HOME" && eval "exec $command_line") 2>>"$scratch/kvel.log" &
  kvel_pid=$!
  for _ in $(seq 50); do
    [ "$(readlink "/proc/$kvel_pid/exe" || true)" = "$root/usr/bin/kvel" ] && return 0
    sleep 0.1
  done
  fail "the menu entry's command line did not start the installed kvel"
}

start_from_menu
[ "$(readlink "/proc/$kvel_pid/cwd")" = "$workdir" ] ||
  fail "kvel runs in $(readlink "/proc/$kvel_pid/cwd"), not in $workdir"
stop "$kvel_pid"
kvel_pid=""

# --- the installed kvel against the installed kvel-sim at COM1, 9600 bit/s, address 1
"$root/usr/bin/kvel-sim" --link "$workdir/dosdevices/com1" --address 1 --baud-index 3 --verbose \
  >/dev/null 2>"$scratch/sim.log" &
sim_pid=$!
for _ in $(seq 50); do [ -e "$workdir/dosdevices/com1" ] && break; sleep 0.1; done
[ -e "$workdir/dosdevices/com1" ] || fail "kvel-sim made no link at dosdevices/com1"
printf '\001\000\003\000\001\000' >"$workdir/data.inf"

start_from_menu
# Counted from the first poll, since a busy machine may take a while to start kvel.
for _ in $(seq 300); do grep -q ' <- ' "$scratch/sim.log" && break; sleep 0.1; done
grep -q ' <- ' "$scratch/sim.log" || fail "kvel sent nothing to kvel-sim within 30 s"
sleep 10
kill -0 "$kvel_pid" 2>/dev/null || fail "kvel ended within 10 s"
xdotool search --name '^КВЕЛv1$' >/dev/null || fail "no main window КВЕЛv1 on the display"

holding_polls=$(count '<- 01 03 00 00 00 1B 05 C1' "$scratch/sim.log")
input_polls=$(count '<- 01 04 00 00 00 15 31 C5' "$scratch/sim.log")
holding_replies=$(count '> 01 03 36 ' "$scratch/sim.log")
input_replies=$(count '> 01 04 2A ' "$scratch/sim.log")
echo "in 10 s: $holding_polls holding and $input_polls input polls," \
  "$holding_replies and $input_replies replies"
# One poll each 500 ms, the two kinds in turn, once the window is up.
[ "$holding_polls" -ge 8 ] && [ "$input_polls" -ge 8 ] || fail "kvel polled too little"
[ $((holding_polls - holding_replies)) -le 1 ] && [ $((input_polls - input_replies)) -le 1 ] ||
  fail "kvel-sim left polls unanswered"
if grep -q "translations are missing" "$scratch/kvel.log"; then
  fail "the installed kvel found no Qt Russian translations"
fi
if grep -q 'ERROR: AddressSanitizer\|runtime error:' "$scratch/kvel.log"; then
  fail "the installed kvel reported a memory or undefined-behaviour error"
fi
echo "PASS"
