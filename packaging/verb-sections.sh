#!/bin/sh
# help2man's include text for kvel-cli's manual page, made from the program's own --help so the
# page cannot fall behind what the program says: the description with the verbs as --help lists
# them (help2man would run their lines together) and the options every verb takes, then a
# section per verb from that verb's --help.
set -eu
cli=$1

# --help text to roff: an option ("  --name ARG  what it does", further lines indented) becomes
# a tagged paragraph; a blank line starts a new paragraph.
to_roff() {
  sed -E -e 's/\\/\\e/g' \
    -e "s/^([.'])/\\\\\\&\\1/" \
    -e 's/^  (--?[a-z-]+)( [A-Z][A-Z:|-]*)? +(.*)$/.TP\n\\fB\1\\fR\2\n\3/' \
    -e 's/^ +//' \
    -e 's/^$/.PP/' \
    -e 's/-/\\-/g'
}

help=$("$cli" --help)
verbs=$(echo "$help" | sed -n '/^Verbs:$/,/^$/s/^  \([a-z]*\).*/\1/p')
[ -n "$verbs" ] || { echo "verb-sections.sh: $cli --help lists no verbs" >&2; exit 1; }

echo "[=DESCRIPTION]"
echo "$help" | sed -n '3p' | to_roff
echo ".SS Verbs"
echo ".nf"
echo "$help" | sed -n '/^Verbs:$/,/^$/{/^  /p;}' | sed -e 's/\\/\\e/g' -e 's/-/\\-/g'
echo ".fi"
echo ".SS Options for every verb"
echo "$help" | sed -n '/^Options for every verb:$/,$p' | sed -e '1d' -e 's/^Exit:/\n&/' | to_roff

for verb in $verbs; do
  verb_help=$("$cli" "$verb" --help)
  echo "[$(echo "$verb" | tr a-z A-Z)]"
  echo "$verb_help" | sed -n '1s/^Usage: //p' | sed -e 's/\\/\\e/g' -e 's/-/\\-/g' -e 's/^/.B /'
  echo ".PP"
  # What the verb does and its own options, up to the options every verb shares.
  echo "$verb_help" | sed -n '3,/^Options for every verb:$/p' | sed -e '$d' | sed -e '${/^$/d;}' |
    to_roff
done
