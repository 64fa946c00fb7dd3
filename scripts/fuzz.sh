#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default 60)
# from the seed corpus in fuzz/corpus. New inputs go to a scratch folder, so
# the tree's corpus stays small. Prints executions per target; exits non-zero
# when a target finds a crash (the crashing input is left in build/fuzz/findings).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

scripts/setup.sh fuzz
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

findings=build/fuzz/findings
mkdir -p "$findings"
status=0
for target in LoadImageFuzz LinkFuzz; do
  case $target in
    LoadImageFuzz) seeds=fuzz/corpus/load-image; max_len=4096 ;;
    LinkFuzz) seeds=fuzz/corpus/link; max_len=16384 ;;
  esac
  work=$(mktemp -d)
  cp "$seeds"/* "$work"/
  echo "== $target: $seconds s =="
  if ! build/fuzz/fuzz/$target "$work" -max_total_time="$seconds" -max_len=$max_len \
       -artifact_prefix="$findings/$target-" -print_final_stats=1 2>"$findings/$target.log"; then
    status=1
    tail -40 "$findings/$target.log"
  fi
  grep -E 'stat::number_of_executed_units|stat::new_units_added' "$findings/$target.log" || true
  rm -rf "$work"
done
exit $status
