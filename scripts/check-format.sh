#!/bin/sh
# Fails, naming the files, when a C++ source differs from the tree's .clang-format.
set -eu
cd "$(dirname "$0")/.."
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror
