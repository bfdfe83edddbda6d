#!/usr/bin/env bash
# Instructions per workload step (repeatable whatever else the machine does): bench/callgrind.sh BENCH [N]
set -euo pipefail
bench=$1; n=${2:-20000}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
valgrind --tool=callgrind --callgrind-out-file="$dir/out" "$bench" "$n" >/dev/null 2>&1
for f in "$dir"/out.*; do
  step=$(grep -m1 '^desc: Trigger: Client Request: ' "$f" | sed 's/.*Request: //')
  total=$(grep -m1 '^summary:' "$f" | awk '{print $2}')
  [ -n "$step" ] && printf '%-12s %14d Ir  %8.1f Ir/op\n' "$step" "$total" "$(echo "$total / $n" | bc -l)"
done | sort
