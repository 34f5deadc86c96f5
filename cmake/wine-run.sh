#!/usr/bin/env bash
# The cross build's test runner: runs a Windows program under the given wine
# loader and passes its stdout on with Unix line ends, so that ctest and the
# GoogleTest discovery read the same text as from a native test program.
# The program's exit status is kept.
set -o pipefail
wine=$1
shift
"$wine" "$@" | sed -u 's/\r$//'
