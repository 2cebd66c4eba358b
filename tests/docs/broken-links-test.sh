#!/bin/sh
# The link check on a small tree with one link of each kind: it must fail and name exactly the
# missing file and the missing heading, and pass links to a file, a heading (Cyrillic, code and
# punctuation in it), a repeated heading and the web, and links shown as code.
set -eu
check=$1
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/docs"
cat >"$tree/README.md" <<'PAGE'
# Top
[ok](docs/guide.md) [ok](docs/guide.md#когда-kvel-говорит-нет-связи) [ok](#top)
[ok](docs/guide.md#kvel-cli-serve-the-exporter) [ok](docs/guide.md#notes-1) [web](https://example.org/x)
`[code](docs/missing-in-code.md)`
[gone](docs/missing.md)
```
[fenced](docs/missing-in-fence.md)
```
PAGE
cat >"$tree/CONTRIBUTING.md" <<'PAGE'
[no such heading](docs/guide.md#nowhere)
PAGE
cat >"$tree/docs/guide.md" <<'PAGE'
# Guide
## Когда kvel говорит "Нет связи"
## `kvel-cli serve`: the exporter
## Notes
## Notes
[back](../README.md#top)
PAGE
if out=$(/usr/bin/python3 "$check" "$tree" 2>&1); then
  echo "the check passed a tree with broken links: $out" >&2
  exit 1
fi
expected="docs-check: README.md:5: docs/missing.md: no such file
docs-check: CONTRIBUTING.md:1: docs/guide.md#nowhere: guide.md has no heading #nowhere"
if [ "$out" != "$expected" ]; then
  printf 'expected:\n%s\ngot:\n%s\n' "$expected" "$out" >&2
  exit 1
fi
