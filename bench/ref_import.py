#!/usr/bin/env python3
"""Reference for the import benchmark: the same work as `vgcli import DB FILE --keep-ids` into a
new database, written plainly with Python's standard sqlite3 module (one transaction, cached
prepared statements). Prints its CPU time; compare with bench_exchange or `time vgcli import`.

Usage: bench/ref_import.py SETTINGS_DB EXCHANGE_FILE NEW_DB
  SETTINGS_DB   build/bin/settings.db (its schema makes the new database)
"""
import os
import re
import sqlite3
import sys
import time

ESCAPES = {"\\\\": "\\", "\\TAB": "\t", "\\LF": "\n", "\\CR": "\r"}
ESCAPE = re.compile(r"\\(\\|TAB|LF|CR)")


def unescape(text):
    return ESCAPE.sub(lambda m: ESCAPES[m.group(0)], text) if "\\" in text else text


def main():
    settings, exchange, target = sys.argv[1:4]
    start = time.process_time()
    schema = sqlite3.connect(settings).execute(
        "SELECT Value FROM Settings WHERE Name = 'DbSchema'").fetchone()[0]
    if os.path.exists(target):
        os.remove(target)
    db = sqlite3.connect(target, isolation_level=None)
    db.executescript(schema)
    db.execute("PRAGMA user_version = 2")
    types, categories = {}, {}

    def type_id(name):
        if name not in types:
            row = db.execute("SELECT ID FROM tblType WHERE Name = ?", (name,)).fetchone()
            types[name] = row[0] if row else db.execute(
                "INSERT INTO tblType (Name) VALUES (?)", (name,)).lastrowid
        return types[name]

    def category_id(type_, name):
        key = (type_, name)
        if key not in categories:
            row = db.execute("SELECT ID FROM tblCategory WHERE TypeID = ? AND Name = ?",
                             (type_, name)).fetchone()
            categories[key] = row[0] if row else db.execute(
                "INSERT INTO tblCategory (TypeID, Name) VALUES (?, ?)", (type_, name)).lastrowid
        return categories[key]

    db.execute("BEGIN")
    last = None
    with open(exchange, encoding="utf-8", newline="") as f:
        next(f)
        for line in f:
            fields = line.rstrip("\r\n").split("\t")
            if len(fields) < 3 or not fields[0].strip().isdigit():
                continue
            item = int(fields[0])
            category = category_id(type_id(fields[1]), fields[2])
            if item != last and len(fields) >= 7:
                db.execute("INSERT INTO tblItem (ID, LastUpdate) VALUES (?, JulianDay(?))",
                           (item, fields[6]))
                db.execute("INSERT INTO ftsItem (DOCID, Title, Code) VALUES (?, ?, ?)",
                           (item, unescape(fields[3]), unescape(fields[4])))
                last = item
            db.execute("INSERT INTO tblItemCategory (ItemID, CategoryID) VALUES (?, ?)",
                       (item, category))
    db.execute("COMMIT")
    db.close()
    print(f"reference import: {time.process_time() - start:.2f} s CPU")


if __name__ == "__main__":
    main()
