#!/usr/bin/env bash
# `vgcli list` of every title against the cheapest SQL that gives the same rows in the sqlite3
# shell, run alternately; prints the median wall time of each and the ratio, and checks that both
# print the same lines (as a set: titles that sort equal may come in another order).
#   bench/bench_list.sh build/bin/vgcli DB [RUNS]
# DB: a database of the benchmarks, e.g. the one build/bench/bench_search leaves in build/bench/
# (bench-search-indexed-v2.db: its search index is current, so the titles come from the index's
# titles table; on a file without a current index they come from the full-text rows).
set -euo pipefail
vgcli="$1"; db="$2"; runs="${3:-7}"
sql="SELECT i.ID, f.c0Title FROM tblItem i JOIN ftsItem_content f ON f.docid = i.ID
     WHERE EXISTS (SELECT 1 FROM tblItemCategory l WHERE l.ItemID = i.ID) ORDER BY f.c0Title;"
tmp="$(mktemp -d)"; trap 'rm -rf "$tmp"' EXIT
"$vgcli" list "$db" > "$tmp/ours"
sqlite3 -separator $'\t' "$db" "$sql" > "$tmp/ref"
if [ "$(sort "$tmp/ours" | md5sum)" != "$(sort "$tmp/ref" | md5sum)" ]; then
  echo "the two lists differ"; exit 1
fi
now() { date +%s%N; }
ours=(); ref=()
for ((i = 0; i < runs; i++)); do
  t=$(now); "$vgcli" list "$db" > /dev/null; ours+=($(( $(now) - t )))
  t=$(now); sqlite3 -separator $'\t' "$db" "$sql" > /dev/null; ref+=($(( $(now) - t )))
done
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print (NR % 2 ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2) / 1e6}'; }
m1=$(median "${ours[@]}"); m2=$(median "${ref[@]}")
printf 'rows: %d (same set of lines)\n' "$(wc -l < "$tmp/ours")"
printf 'vgcli list   %8.1f ms\nsqlite3 shell %7.1f ms\nratio %.2fx (median of %d runs each)\n' "$m1" "$m2" \
  "$(awk -v a="$m1" -v b="$m2" 'BEGIN {print a / b}')" "$runs"
