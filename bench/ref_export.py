#!/usr/bin/env python3
"""Reference for the export benchmark: the lines `vgcli export DB FILE` writes, from a direct
join of the base tables (items, the full-text content table, links, categories, languages),
written plainly with Python's standard sqlite3 module. Prints its CPU time; compare with
bench_exchange or `time vgcli export`, and `cmp` the two files.

Usage: bench/ref_export.py DB FILE          writes FILE
       bench/ref_export.py DB --rows-only   only reads the join's rows (the engine's share)
"""
import sqlite3
import sys
import time

ESCAPES = str.maketrans({"\\": "\\\\", "\t": "\\TAB", "\n": "\\LF", "\r": "\\CR"})


def field(value):
    return "" if value is None else str(value).translate(ESCAPES)


def main():
    database, target = sys.argv[1:3]
    start = time.process_time()
    db = sqlite3.connect(database)
    rows = db.execute(
        "SELECT l.ItemID, t.Name, c.Name, x.c0Title, x.c1Code, x.c2File, DateTime(i.LastUpdate) "
        "FROM tblItemCategory AS l JOIN tblItem AS i ON i.ID = l.ItemID "
        "JOIN ftsItem_content AS x ON x.docid = i.ID "
        "LEFT JOIN tblCategory AS c ON c.ID = l.CategoryID LEFT JOIN tblType AS t ON t.ID = c.TypeID "
        "ORDER BY l.ItemID, (c.Name IS NULL OR t.Name IS NULL), l.rowid")
    if target == "--rows-only":
        count = sum(1 for _ in rows)
        print(f"reference rows: {count} in {time.process_time() - start:.2f} s CPU")
        return
    with open(target, "w", encoding="utf-8", newline="") as out:
        out.write("ID\tType\tCategory\tTitle\tCode\tFile\tModifyDate\t\r\n")
        last = None
        for item, type_, category, title, code, file, modified in rows:
            head = f"{item}\t{field(type_)}\t{field(category)}\t"
            if item != last:
                out.write(head + f"{field(title)}\t{field(code)}\t{field(file)}\t{field(modified)}\t\r\n")
                last = item
            else:
                out.write(head + "\r\n")
    print(f"reference export: {time.process_time() - start:.2f} s CPU")


if __name__ == "__main__":
    main()
