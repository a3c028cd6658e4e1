#!/usr/bin/env python3
"""Reads the 3DS files of Debian's assimp-testmodels with our reader (qx_dump3ds) and with lib3ds's
3dsdump, and compares the chunk trees, the materials and the meshes' vertex and face counts."""
import glob
import re
import subprocess
import sys

MODELS = "/usr/share/assimp/models/3DS"
CHUNK = re.compile(r"^( *)\S+ \(0x([0-9A-Fa-f]+)\) size=(\d+)$")
MESH = re.compile(r"^  (.*) vertices=(\d+) faces=(\d+)$")
POINT = re.compile(r"^    (-?[\d.]+(?:e[-+]?\d+)?) (-?[\d.]+(?:e[-+]?\d+)?) (-?[\d.]+(?:e[-+]?\d+)?)$")
FACE = re.compile(r"^ +(\d+) +(\d+) +(\d+)  smoothing:([0-9A-Fa-f]+)  flags:([0-9A-Fa-f]+)  material:\"(.*)\"$")


def lib3ds(path):
    out = subprocess.run(["3dsdump", "-s", "-m", "-t", path], check=True, capture_output=True, text=True).stdout
    tree, materials, meshes = [], [], []
    geometry = {}  # mesh name: (points, faces)
    section, submap, part = None, None, None
    for line in out.splitlines():
        if line.startswith("Dumping materials"):
            section = "m"
            continue
        if line.startswith("Dumping meshes"):
            section = "t"
            continue
        if section is None:
            m = CHUNK.match(line)
            if m:
                tree.append((len(m.group(1)) // 2, int(m.group(2), 16), int(m.group(3))))
        elif section == "m":
            if line.startswith("  name:"):
                materials.append({"name": line.split(":", 1)[1].strip(), "texture": "", "diffuse": None})
                submap = None
            elif line.startswith("  diffuse:"):
                materials[-1]["diffuse"] = tuple(float(v) for v in re.findall(r"-?[\d.]+", line.split(":", 1)[1]))
            elif re.match(r"^  \w+:$", line):
                submap = line.strip()[:-1]
            elif line.startswith("    name:") and submap == "texture1_map":
                materials[-1]["texture"] = line.split(":", 1)[1].strip()
        elif section == "t":
            m = MESH.match(line)
            if m:
                meshes.append((m.group(1), int(m.group(2)), int(m.group(3))))
                geometry[m.group(1)] = ([], [])
                part = None
            elif line.strip() in ("point list:", "facelist:"):
                part = line.strip()
            elif part == "point list:" and POINT.match(line):
                geometry[meshes[-1][0]][0].append(tuple(float(v) for v in POINT.match(line).groups()))
            elif part == "facelist:" and FACE.match(line):
                g = FACE.match(line).groups()
                geometry[meshes[-1][0]][1].append((int(g[0]), int(g[1]), int(g[2]), int(g[3], 16), int(g[4], 16), g[5]))
    return tree, materials, meshes, geometry


NODE = re.compile(r"^(  +)(\S+)(?: \[(.*)\])? \((\w+)\)$")


def lib3ds_parents(path):
    """(node, parent) pairs of the node hierarchy 3dsdump prints; the parent named with its instance."""
    out = subprocess.run(["3dsdump", "-n", path], check=True, capture_output=True, text=True).stdout
    stack, pairs = [], []
    for line in out.splitlines():
        m = NODE.match(line)
        if not m:
            continue
        depth = len(m.group(1)) // 2
        name = m.group(2) + ("." + m.group(3) if m.group(3) else "")
        del stack[depth - 1:]
        if stack:
            pairs.append((m.group(2), stack[-1]))
        stack.append(name)
    return sorted(pairs)


def ours(dump, path):
    out = subprocess.run([dump, path], check=True, capture_output=True, text=True).stdout
    tree, materials, meshes = [], [], []
    parents, geometry = [], {}
    for line in out.splitlines():
        kind, rest = line[0], line[2:]
        if kind == "P":
            parents.append(tuple(rest.split("|")))
        if kind == "S":
            depth, tag, size = rest.split()
            if int(depth) > 0:  # 3dsdump does not print the root
                tree.append((int(depth), int(tag, 16), int(size)))
        elif kind == "M":
            name, texture, diffuse = rest.split("|")
            materials.append({"name": name, "texture": texture, "diffuse": tuple(float(v) for v in diffuse.split())})
        elif kind == "T":
            m = MESH.match("  " + rest)
            meshes.append((m.group(1), int(m.group(2)), int(m.group(3))))
            geometry[m.group(1)] = ([], [])
        elif kind == "V":
            geometry[meshes[-1][0]][0].append(tuple(float(v) for v in rest.split()))
        elif kind == "F":
            parts = rest.split(" ", 5)
            geometry[meshes[-1][0]][1].append((int(parts[0]), int(parts[1]), int(parts[2]), int(parts[3], 16),
                                               int(parts[4], 16), parts[5] if len(parts) > 5 else ""))
    return tree, materials, meshes, sorted(parents), geometry


def main():
    dump = sys.argv[1]
    files = sorted(glob.glob(MODELS + "/*.3ds") + glob.glob(MODELS + "/*.3DS"))
    if len(files) != 9:
        print("expected the nine 3DS files of assimp-testmodels, found %d" % len(files))
        return 1
    failures = 0
    for path in files:
        want_tree, want_mats, want_meshes, want_geometry = lib3ds(path)
        got_tree, got_mats, got_meshes, got_parents, got_geometry = ours(dump, path)
        want_parents = lib3ds_parents(path)
        # lib3ds keeps its materials sorted by name; ours are in file order.
        got_mats.sort(key=lambda m: m["name"])
        want_mats.sort(key=lambda m: m["name"])
        problems = []
        if got_tree != want_tree:
            for i, (a, b) in enumerate(zip(got_tree + [None] * len(want_tree), want_tree + [None] * len(got_tree))):
                if a != b:
                    problems.append("chunk %d: ours %s, lib3ds %s" % (i, a, b))
                    break
        if [m["name"] for m in got_mats] != [m["name"] for m in want_mats]:
            problems.append("materials: ours %s, lib3ds %s" % ([m["name"] for m in got_mats], [m["name"] for m in want_mats]))
        else:
            for g, w in zip(got_mats, want_mats):
                if g["texture"] != w["texture"]:
                    problems.append("material %s texture: ours %r, lib3ds %r" % (g["name"], g["texture"], w["texture"]))
                if w["diffuse"] and any(abs(a - b) > 1e-3 for a, b in zip(g["diffuse"], w["diffuse"])):
                    problems.append("material %s diffuse: ours %s, lib3ds %s" % (g["name"], g["diffuse"], w["diffuse"]))
        if got_parents != want_parents:
            problems.append("parents: ours %s, lib3ds %s" % (got_parents, want_parents))
        if got_meshes != want_meshes:
            problems.append("meshes: ours %s, lib3ds %s" % (got_meshes, want_meshes))
        else:
            for name, (points, faces) in want_geometry.items():
                got_points, got_faces = got_geometry[name]
                close = len(points) == len(got_points) and all(
                    abs(a - b) <= 1e-5 * max(1.0, abs(b)) for p, q in zip(got_points, points) for a, b in zip(p, q))
                if not close:
                    problems.append("mesh %s: vertices differ" % name)
                if got_faces != faces:
                    first = next((i for i, (a, b) in enumerate(zip(got_faces, faces)) if a != b), min(len(faces), len(got_faces)))
                    problems.append("mesh %s: face %d ours %s, lib3ds %s" % (
                        name, first, got_faces[first:first + 1], faces[first:first + 1]))
        compared = sum(len(p) for p, _ in want_geometry.values()), sum(len(f) for _, f in want_geometry.values())
        print("%s: %d chunks, %d materials, %d meshes (%d vertices, %d faces), %d parent links%s" % (
            path.split("/")[-1], len(got_tree), len(got_mats), len(got_meshes), *compared, len(got_parents),
            "" if not problems else " MISMATCH"))
        for p in problems:
            print("   ", p)
        failures += bool(problems)
    # assimp's deliberately broken file: refused with the reader's error, not a crash.
    broken = subprocess.run([dump, "/usr/share/assimp/models/invalid/empty.3ds"], capture_output=True, text=True)
    print("invalid/empty.3ds:", broken.returncode, broken.stderr.strip().splitlines()[:1])
    if broken.returncode != 1 or "invalid Chunk structure" not in broken.stderr:
        failures += 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
