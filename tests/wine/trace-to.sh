#!/usr/bin/env bash
# Runs a command with its standard error also copied to FILE: Wine writes
# what its debug channels note there, for the command and for every Windows
# program it starts. Usage: trace-to.sh FILE COMMAND...
set -euo pipefail
file=$1
shift
: >"$file"
"$@" 2> >(tee -a "$file" >&2)
