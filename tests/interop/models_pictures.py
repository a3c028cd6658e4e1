#!/usr/bin/env python3
"""Makes SGI, TGA and PCX pictures with netpbm, ImageMagick and PIL, loads each with our picture
loader (qx_dumppicture) and compares the pixels with what PIL reads from the same file."""
import os
import subprocess
import sys
import tempfile

from PIL import Image

W, H = 13, 7  # odd width: padded lines and runs that cross line ends


def source_rgba():
    img = Image.new("RGBA", (W, H))
    for y in range(H):
        for x in range(W):
            # Runs of equal pixels (for the run-length coders) next to changing ones.
            v = (x // 3) * 40 if y % 2 else x * 19
            img.putpixel((x, y), (v % 256, (y * 37) % 256, (x * y * 11) % 256, (x * 20 + y * 5) % 256))
    return img


def run(*cmd, stdin=None, stdout=None):
    subprocess.run(cmd, check=True, stdin=stdin, stdout=stdout, stderr=subprocess.DEVNULL)


def make_fixtures(d):
    src = source_rgba()
    rgb, grey = src.convert("RGB"), src.convert("L")
    pal16 = rgb.quantize(colors=16)
    pal256 = rgb.quantize(colors=200)
    mono = grey.point(lambda v: 255 if v > 100 else 0).convert("1")
    rgb.save(os.path.join(d, "src.ppm"))
    grey.save(os.path.join(d, "src.pgm"))
    src.save(os.path.join(d, "src.png"))
    pal16.convert("RGB").save(os.path.join(d, "pal16.ppm"))
    pal256.convert("RGB").save(os.path.join(d, "pal256.ppm"))
    files = []

    def pil(name, img, **kw):
        img.save(os.path.join(d, name), **kw)
        files.append(name)

    def tool(name, *cmd, infile=None):
        path = os.path.join(d, name)
        with open(path, "wb") as out:
            if infile:
                with open(os.path.join(d, infile), "rb") as inp:
                    run(*cmd, stdin=inp, stdout=out)
            else:
                run(*cmd, stdout=out)
        files.append(name)

    # SGI: verbatim and run-length, 1, 3 and 4 channels.
    tool("netpbm-rle.rgb", "pnmtosgi", "-rle", infile="src.ppm")
    tool("netpbm-verbatim.rgb", "pnmtosgi", "-verbatim", infile="src.ppm")
    tool("netpbm-grey-rle.bw", "pnmtosgi", "-rle", infile="src.pgm")
    tool("netpbm-grey-verbatim.bw", "pnmtosgi", "-verbatim", infile="src.pgm")
    for name, args in [("im-rgba-rle.rgb", ["-compress", "RLE"]), ("im-rgba-verbatim.rgb", ["-compress", "None"])]:
        run("convert", os.path.join(d, "src.png"), *args, "sgi:" + os.path.join(d, name))
        files.append(name)
    run("convert", os.path.join(d, "src.ppm"), "-compress", "RLE", "sgi:" + os.path.join(d, "im-rgb-rle.rgb"))
    files.append("im-rgb-rle.rgb")
    pil("pil-rgb.rgb", rgb, format="SGI")
    pil("pil-rgba.rgb", src, format="SGI")
    pil("pil-grey.bw", grey, format="SGI")

    # TGA: true colour, grey and colour-mapped, raw and run-length, both row orders.
    for mode, img in [("rgb", rgb), ("rgba", src), ("grey", grey), ("pal", pal256)]:
        pil("pil-%s.tga" % mode, img)
        pil("pil-%s-rle.tga" % mode, img, compression="tga_rle")
    tool("netpbm-rgb.tga", "pamtotga", "-rgb", infile="src.ppm")
    tool("netpbm-rgb-norle.tga", "pamtotga", "-rgb", "-norle", infile="src.ppm")
    tool("netpbm-cmap.tga", "pamtotga", "-cmap", infile="pal256.ppm")
    tool("netpbm-mono.tga", "pamtotga", "-mono", infile="src.pgm")
    for name, args in [("im-rgba-rle.tga", ["-compress", "RLE"]), ("im-rgba.tga", ["-compress", "None"])]:
        run("convert", os.path.join(d, "src.png"), *args, os.path.join(d, name))
        files.append(name)
    run("convert", os.path.join(d, "src.png"), "-flip", "-orient", "TopLeft", os.path.join(d, "im-topleft.tga"))
    files.append("im-topleft.tga")

    # PCX: 24-bit planes, 256-colour palette, 16 colours in four planes, mono.
    pil("pil-rgb.pcx", rgb)
    pil("pil-pal.pcx", pal256)
    pil("pil-grey.pcx", grey)
    pil("pil-mono.pcx", mono)
    tool("netpbm-24.pcx", "ppmtopcx", "-24bit", infile="src.ppm")
    tool("netpbm-8.pcx", "ppmtopcx", "-8bit", infile="pal256.ppm")
    tool("netpbm-16.pcx", "ppmtopcx", infile="pal16.ppm")
    tool("netpbm-16-packed.pcx", "ppmtopcx", "-packed", infile="pal16.ppm")
    run("convert", os.path.join(d, "src.ppm"), os.path.join(d, "im-rgb.pcx"))
    run("convert", os.path.join(d, "pal256.ppm"), "-type", "Palette", os.path.join(d, "im-pal.pcx"))
    files += ["im-rgb.pcx", "im-pal.pcx"]

    # The formats handed to libjpeg and Qt.
    pil("pil-pal.gif", pal256)
    pil("pil-rgb.bmp", rgb)
    pil("pil-rgba.png", src)
    pil("pil-rgb.jpg", rgb, quality=90)
    pil("pil-grey.jpeg", grey, quality=90)
    run("convert", os.path.join(d, "src.ppm"), "-quality", "85", "-interlace", "JPEG", os.path.join(d, "im-progressive.jpg"))
    files.append("im-progressive.jpg")
    return files


# Pictures PIL cannot read: netpbm's own reader is the reference.
NETPBM_READER = {"netpbm-16-packed.pcx": "pcxtoppm"}


def reference(d, name):
    path = os.path.join(d, name)
    if name in NETPBM_READER:
        ppm = path + ".ref.ppm"
        with open(path, "rb") as inp, open(ppm, "wb") as out:
            run(NETPBM_READER[name], stdin=inp, stdout=out)
        return Image.open(ppm).convert("RGBA"), False, "netpbm"
    img = Image.open(path)
    has_alpha = img.mode in ("RGBA", "LA", "PA") or (img.mode == "P" and "transparency" in img.info)
    return img.convert("RGBA"), has_alpha, img.mode


def main():
    dump = sys.argv[1]
    failures = 0
    with tempfile.TemporaryDirectory() as d:
        for name in make_fixtures(d):
            path = os.path.join(d, name)
            want, has_alpha, mode = reference(d, name)
            out = os.path.join(d, name + ".dump")
            r = subprocess.run([dump, path, out], capture_output=True, text=True)
            if r.returncode != 0:
                print("%s: FAILED to load: %s" % (name, r.stderr.strip()))
                failures += 1
                continue
            with open(out, "rb") as f:
                w, h = (int(v) for v in f.readline().split())
                data = f.read()
            if (w, h) != want.size:
                print("%s: size %dx%d, PIL %dx%d" % (name, w, h, *want.size))
                failures += 1
                continue
            bad = []
            for y in range(h):
                for x in range(w):
                    got = tuple(data[(y * w + x) * 4:(y * w + x) * 4 + 4])
                    exp = want.getpixel((x, y))
                    if not has_alpha:
                        got, exp = got[:3], exp[:3]
                    if got != exp:
                        bad.append((x, y, got, exp))
            print("%s: %s (%s, %dx%d)%s" % (name, "ok" if not bad else "MISMATCH", mode, w, h,
                                           "" if not bad else " first at %s: ours %s, PIL %s; %d pixels" % (
                                               bad[0][:2], bad[0][2], bad[0][3], len(bad))))
            failures += bool(bad)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
