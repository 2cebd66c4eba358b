#!/bin/sh
# The manual pages as the package carries them, rendered by man as a reader sees them: kvel's
# covers the network line, the bus overview and network.ini; kvel-cli's has a section per verb,
# each opening with that verb's synopsis; neither makes groff warn.
set -eu
PAGES=$1
export LC_ALL=C.UTF-8 MANWIDTH=100

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

render() {
  page=$PAGES/$1.1.gz
  [ -s "$page" ] || fail "no manual page $page"
  warnings=$(gzip -dc "$page" | groff -man -Tutf8 -z 2>&1) || fail "groff could not render $1.1"
  [ -z "$warnings" ] || fail "groff warns about $1.1: $warnings"
  # Justified lines space words unevenly: one space between words, as they are read.
  man -l "$page" 2>&1 | col -bx | sed 's/  */ /g'
}

# Whether the page says `text`, wherever its lines break.
says() {
  echo "$1" | tr '\n' ' ' | sed 's/  */ /g' | grep -qF -- "$2"
}

kvel=$(render kvel)
for heading in "THE NETWORK LINE" "THE BUS OVERVIEW" "THE UNIT FINDER" "FILES" "OPTIONS"; do
  echo "$kvel" | grep -qx "$heading" || fail "man kvel has no section $heading"
done
for text in "network.ini" "Обзор шины" "Сетевое подключение" "modbus-tcp://HOST" "--version" \
  "9600, 19200, 38400, 57600 and 115200"; do
  says "$kvel" "$text" || fail "man kvel does not mention $text"
done

cli=$(render kvel-cli)
for verb in status watch get set backup compare restore upload find serve report; do
  section=$(echo "$cli" | sed -n "/^$(echo "$verb" | tr a-z A-Z)\$/,/^[A-Z]/p")
  [ -n "$section" ] || fail "man kvel-cli has no section for $verb"
  says "$section" "kvel-cli --port PORT [options] $verb" ||
    fail "the $verb section of man kvel-cli does not open with its synopsis: $section"
done
for text in "--all-rates" "--listen HOST:PORT" "--version" "./com1"; do
  says "$cli" "$text" || fail "man kvel-cli does not mention $text"
done
gateway=$(render kvel-gateway)
for text in "--raw-listen HOST:PORT" "--read-only" "--allow-line-changes" "exception 0B" \
  "exception 06" "127.0.0.1:5020"; do
  says "$gateway" "$text" || fail "man kvel-gateway does not mention $text"
done
echo "PASS"
