#!/bin/sh
# kvel-cli stays on the floors without widgets: it must not need Qt Widgets or Qt Gui, which
# would tie a headless program to a display's libraries.
set -eu
needed=$(readelf -d "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
[ -n "$needed" ] || { echo "readelf found no libraries needed by $1" >&2; exit 1; }
if echo "$needed" | grep -E '^libQt6(Widgets|Gui)\.'; then
  echo "$1 needs the libraries above: something on a widget floor is linked into it" >&2
  exit 1
fi
echo "$needed" | grep -q '^libQt6Core\.' || { echo "$1 does not even need Qt Core" >&2; exit 1; }
