"""Reads the tables written by dbf_tool with dbfread, an independent dBase reader."""
import datetime
import os
import subprocess
import sys
import tempfile

import dbfread


def fields(table):
    return [(f.name, f.type, f.length, f.decimal_count) for f in table.fields]


def check(condition, message):
    if not condition:
        print("FAILED:", message)
        sys.exit(1)


def main(tool):
    with tempfile.TemporaryDirectory() as folder:
        project = os.path.join(folder, "valley.qx2")
        alltypes = os.path.join(folder, "all.dbf")
        before = datetime.date.today()
        subprocess.run([tool, project, alltypes], check=True)
        after = datetime.date.today()

        obj = dbfread.DBF(os.path.join(folder, "valley2Obj.dbf"), load=True)
        check(fields(obj) == [("Type", "N", 11, 0), ("ID", "N", 11, 0), ("TerrainLay", "N", 11, 0),
                              ("Deleted", "L", 1, 0)], "object table fields %s" % fields(obj))
        check(len(obj.records) == 0, "object table has records")
        check(obj.header.dbversion == 0x03, "object table version")
        check(obj.header.headerlen == 161 and obj.header.recordlen == 35, "object table lengths")
        check(obj.header.numrecords == 0, "object table record count")
        check(before <= obj.date <= after, "object table date %s" % obj.date)

        coord = dbfread.DBF(os.path.join(folder, "valley2Coord.dbf"), load=True)
        expected = [("Type", "N", 11, 0), ("ID", "N", 11, 0), ("Coordinate", "N", 11, 0)] + [
            (name, "N", 20, 4) for name in ("X", "Y", "Z", "Size", "Rotation")]
        check(fields(coord) == expected, "coordinate table fields %s" % fields(coord))
        check(coord.header.headerlen == 289 and coord.header.recordlen == 134, "coordinate table lengths")
        check(len(coord.records) == 0, "coordinate table has records")

        table = dbfread.DBF(alltypes, load=True, ignore_missing_memofile=True)
        check(fields(table) == [("Title", "C", 20, 0), ("Small", "N", 6, 0), ("Whole", "N", 11, 0),
                                ("Flag", "L", 1, 0), ("Real", "N", 20, 4), ("Day", "D", 8, 0),
                                ("Notes", "M", 10, 0), ("Big", "N", 20, 0), ("AVeryLongF", "N", 11, 0)],
              "all-types fields %s" % fields(table))
        check(table.header.recordlen == 1 + 20 + 6 + 11 + 1 + 20 + 8 + 10 + 20 + 11, "all-types record length")
        check(os.path.getsize(alltypes) == 34 + 32 * 9, "all-types file size")
    print("dbf interop: ok")


if __name__ == "__main__":
    main(sys.argv[1])
