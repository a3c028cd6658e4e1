#!/usr/bin/env python3
"""Height-data files against independent tools: GDAL (USGS DEM, Terragen, XYZ, BMP), netpbm (PGM)
and ezdxf (DXF); NTF and Vistapro round trips through our own reader.

usage: heightdata_interop.py CASE TOOL   (TOOL: the heightdata_tool program)"""
import os
import subprocess
import sys
import tempfile

import numpy as np
from osgeo import gdal, osr

gdal.UseExceptions()
VOID = -32767
NULL = -1001.0


def synthetic(cols, rows):
    """The tool's synthetic grid, indexed [row, column], row 0 the north edge."""
    x = np.arange(cols)[None, :]
    y = np.arange(rows)[:, None]
    return ((x * 37 + y * 53) % 900 - 100).astype(float)


def run(*args):
    subprocess.run([str(a) for a in args], check=True)


def read_import(path):
    with open(path) as f:
        head = f.readline().split()
        heights = np.loadtxt(f, ndmin=2)
    cols, rows = int(head[0]), int(head[1])
    assert heights.shape == (rows, cols), (heights.shape, cols, rows)
    return heights, [float(v) for v in head[2:]]


def check(cond, what):
    if not cond:
        raise SystemExit("FAIL: " + what)


def write_tif(path, array, transform, epsg, nodata=None):
    ds = gdal.GetDriverByName("GTiff").Create(path, array.shape[1], array.shape[0], 1, gdal.GDT_Int16)
    ds.SetGeoTransform(transform)
    srs = osr.SpatialReference()
    srs.ImportFromEPSG(epsg)
    ds.SetProjection(srs.ExportToWkt())
    band = ds.GetRasterBand(1)
    band.WriteArray(array.astype(np.int16))
    if nodata is not None:
        band.SetNoDataValue(nodata)
    ds = None


def usgs_case(tmp, tool, geographic, side=None):
    if side:
        # Exactly rectangular: every profile as long as the grid is high, neither 463 nor 1201.
        heights = synthetic(side, side)
        heights[-1, 5:9] = VOID  # voids at the southern end of profiles: "-32767" right after a header
        heights[100:140, 50] = VOID  # a run of voids longer than a record
        write_tif(os.path.join(tmp, "in.tif"), heights, (499985, 30, 0, 4500015, 0, -30), 32617, VOID)
    elif geographic:
        n = 1201
        heights = synthetic(n, n)
        heights[10:20, 30:40] = VOID  # a void area
        res = 1.0 / 1200
        write_tif(os.path.join(tmp, "in.tif"), heights, (-80 - res / 2, res, 0, 41 + res / 2, 0, -res), 4326, VOID)
    else:
        heights = synthetic(40, 463)
        write_tif(os.path.join(tmp, "in.tif"), heights, (499985, 30, 0, 4500015, 0, -30), 32617)
    dem = os.path.join(tmp, "out.dem")
    written = gdal.Translate(dem, os.path.join(tmp, "in.tif"), format="USGSDEM")
    written = None  # flushes and closes the file
    ref_ds = gdal.Open(dem)  # the band needs its dataset alive
    ref = ref_ds.GetRasterBand(1).ReadAsArray().astype(float)
    out = os.path.join(tmp, "heights.txt")
    run(tool, "import", "usgs", dem, out)
    ours, (sx, sy, lo, hi) = read_import(out)
    # Profile c goes to column c and the southern end to the last row: row and column 0 stay empty.
    check(ours.shape == (ref.shape[0] + 1, ref.shape[1] + 1), "grid size %s for %s" % (ours.shape, ref.shape))
    expect = np.where(ref == VOID, NULL, ref)
    check(np.array_equal(ours[1:, 1:], expect), "heights differ from GDAL's")
    check((ours[0, :] == NULL).all() and (ours[:, 0] == NULL).all(), "row and column 0 are null")
    valid = ref[ref != VOID]
    check(lo == valid.min() and hi == valid.max(), "height range %g..%g" % (lo, hi))
    if geographic:
        check(abs(sy - 92.6) < 1e-9, "Y spacing %g" % sy)
        check(abs(sx - 92.76 * np.cos(np.radians(40.5))) < 0.01, "X spacing %g" % sx)
    else:
        check(sx == 30.0 and sy == 30.0, "spacing %g x %g" % (sx, sy))


def export(tool, fmt, path, cols, rows, spacing=30.0):
    run(tool, "export", fmt, path, cols, rows, spacing)


def terragen_case(tmp, tool):
    for cols, rows, spacing in ((20, 15, 12.5), (17, 17, 30.0)):
        path = os.path.join(tmp, "t.ter")
        export(tool, "terragen", path, cols, rows, spacing)
        ds = gdal.Open(path)
        band = ds.GetRasterBand(1)
        got = band.ReadAsArray().astype(float) * (band.GetScale() or 1.0) + (band.GetOffset() or 0.0)
        want = synthetic(cols, rows)
        check(got.shape == want.shape, "Terragen size %s" % (got.shape,))
        # One raw step is HeightScale / 65536 units of `spacing` metres.
        check(np.abs(got - want).max() < 0.05, "Terragen heights off by %g m" % np.abs(got - want).max())
        check(abs(ds.GetGeoTransform()[1] - spacing) < 1e-6, "Terragen ground scale")


def xyz_case(tmp, tool):
    path = os.path.join(tmp, "t.xyz")
    export(tool, "xyz", path, 12, 7, 25.0)
    with open(path, newline="") as f:
        lines = f.read().split("\r\n")
    check(lines[0] == "m,0,0,  275.000000,  150.000000,   25.000000,   25.000000,noattr", "XYZ header " + lines[0])
    # GDAL reads the point lines after our three-line header.
    points = os.path.join(tmp, "points.xyz")
    with open(points, "w") as f:
        f.write("\n".join(lines[3:]))
    ds = gdal.Open(points)
    got = ds.GetRasterBand(1).ReadAsArray().astype(float)
    check(np.array_equal(got, synthetic(12, 7)), "XYZ heights differ in GDAL")
    gt = ds.GetGeoTransform()
    check(gt[1] == 25.0 and abs(gt[5]) == 25.0 and gt[3] == 150 + 12.5, "XYZ geotransform %s" % (gt,))
    # And our importer reads it back.
    out = os.path.join(tmp, "heights.txt")
    run(tool, "import", "xyz", path, out)
    ours, _ = read_import(out)
    check(np.array_equal(ours, synthetic(12, 7)), "XYZ round trip")


def pgm_case(tmp, tool):
    path = os.path.join(tmp, "t.pgm")
    export(tool, "pgm", path, 13, 9)
    raw = subprocess.run(["pamtopnm"], stdin=open(path, "rb"), capture_output=True, check=True).stdout
    # Raw PGM from netpbm: "P5\n13 9\nMAXVAL\n" then big-endian 16-bit samples.
    parts = raw.split(maxsplit=4)
    check(parts[0] == b"P5" and int(parts[1]) == 13 and int(parts[2]) == 9, "netpbm header %r" % parts[:3])
    want = synthetic(13, 9)
    maxval = int(parts[3])
    check(maxval == int(want.max() - want.min() + 1000), "maxval %d" % maxval)
    samples = np.frombuffer(parts[4][: 13 * 9 * 2], dtype=">u2").reshape(9, 13)
    check(np.array_equal(samples, want - want.min()), "PGM samples differ in netpbm")
    # And a plain PGM that netpbm wrote (a 16-bit ramp) reads here with its samples as heights.
    ramp = subprocess.run(["pgmramp", "-lr", "-maxval", "4000", "23", "6"], capture_output=True, check=True).stdout
    plain = subprocess.run(["pnmtoplainpnm"], input=ramp, capture_output=True, check=True).stdout
    theirs = os.path.join(tmp, "ramp.pgm")
    with open(theirs, "wb") as f:
        f.write(plain)
    out = os.path.join(tmp, "heights.txt")
    run(tool, "import", "pgm", theirs, out)
    ours, _ = read_import(out)
    raw = subprocess.run(["pamtopnm"], input=ramp, capture_output=True, check=True).stdout.split(maxsplit=4)
    ref = np.frombuffer(raw[4][: 23 * 6 * 2], dtype=">u2").reshape(6, 23)
    check(np.array_equal(ours, ref), "netpbm's plain PGM reads with other heights")


def bmp_case(tmp, tool):
    path = os.path.join(tmp, "t.bmp")
    export(tool, "bmp", path, 21, 11)
    ds = gdal.Open(path)
    want = synthetic(21, 11)
    grey = np.trunc((want - want.min()) / (want.max() - want.min()) * 255.0)
    for b in range(1, min(ds.RasterCount, 3) + 1):
        got = ds.GetRasterBand(b).ReadAsArray().astype(float)
        check(np.array_equal(got, grey), "BMP band %d differs in GDAL" % b)


def dxf_case(tmp, tool):
    import ezdxf
    path = os.path.join(tmp, "t.dxf")
    cols, rows, spacing = 7, 4, 10.0
    export(tool, "dxf", path, cols, rows, spacing)
    doc = ezdxf.readfile(path)
    auditor = doc.audit()
    check(not auditor.has_errors, "ezdxf audit: %s" % [str(e.message) for e in auditor.errors])
    meshes = [e for e in doc.modelspace() if e.dxftype() == "POLYLINE"]
    check(len(meshes) == 1 and meshes[0].is_poly_face_mesh is False and meshes[0].is_polygon_mesh, "one polygon mesh")
    mesh = meshes[0]
    check(mesh.dxf.m_count == cols and mesh.dxf.n_count == rows, "mesh %dx%d" % (mesh.dxf.m_count, mesh.dxf.n_count))
    want = synthetic(cols, rows)
    w, h = cols / 2.0 * spacing, rows / 2.0 * spacing
    verts = list(mesh.vertices)
    check(len(verts) == cols * rows, "vertex count")
    for m in range(cols):
        for n in range(rows):
            # ezdxf's mesh addressing: vertex (m, n) is the n-th of the m-th run.
            v = mesh.get_mesh_vertex((m, n)).dxf.location
            expect = (m * spacing - w, (rows - n) * spacing - h, want[n, m])
            check(all(abs(a - b) < 0.006 for a, b in zip(v, expect)), "vertex %d,%d %s != %s" % (m, n, v, expect))


def roundtrip_case(tmp, tool, fmt, cols, rows, size):
    path = os.path.join(tmp, "t." + fmt)
    export(tool, fmt, path, cols, rows)
    out = os.path.join(tmp, "heights.txt")
    run(tool, "import", fmt, path, out)
    ours, _ = read_import(out)
    want = np.zeros((size, size))
    sub = synthetic(cols, rows)[:size, :size]
    want[: sub.shape[0], : sub.shape[1]] = sub
    check(ours.shape == (size, size), "%s size %s" % (fmt, ours.shape))
    check(np.array_equal(ours, want), "%s round trip differs" % fmt)


def main():
    case, tool = sys.argv[1], os.path.abspath(sys.argv[2])
    with tempfile.TemporaryDirectory() as tmp:
        if case == "usgs_geographic":
            usgs_case(tmp, tool, True)
        elif case == "usgs_utm":
            usgs_case(tmp, tool, False)
        elif case == "usgs_square":
            usgs_case(tmp, tool, False, 257)
        elif case == "terragen":
            terragen_case(tmp, tool)
        elif case == "xyz":
            xyz_case(tmp, tool)
        elif case == "pgm":
            pgm_case(tmp, tool)
        elif case == "bmp":
            bmp_case(tmp, tool)
        elif case == "dxf":
            dxf_case(tmp, tool)
        elif case == "ntf":
            roundtrip_case(tmp, tool, "ntf", 30, 20, 401)
        elif case == "vistapro":
            roundtrip_case(tmp, tool, "vistapro", 300, 270, 258)
        else:
            raise SystemExit("unknown case " + case)
    print("ok", case)


if __name__ == "__main__":
    main()
