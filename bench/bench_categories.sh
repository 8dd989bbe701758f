#!/usr/bin/env bash
# Import of one item in N categories of one language (default 100,000), the shape whose time
# grew with the square of N. Prints the seconds of `vgcli import` into a new database.
#   bench/bench_categories.sh build/bin/vgcli [N]
set -euo pipefail
vgcli="$1"
n="${2:-100000}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
awk -v n="$n" 'BEGIN {
  printf "ID\tType\tCategory\tTitle\tCode\tFile\tModifyDate\t\r\n"
  printf "1\tPython\tc0\tOne\tcode\t\t2021-06-15 08:30:00\t\r\n"
  for (c = 1; c < n; c++) printf "1\tPython\tc%d\t\r\n", c
}' >"$work/many.tab"
"$vgcli" new "$work/many.db"
start=$(date +%s.%N)
"$vgcli" import "$work/many.db" "$work/many.tab" >/dev/null
end=$(date +%s.%N)
echo "import of $n categories: $(echo "$end - $start" | bc) s"
