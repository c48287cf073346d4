#!/usr/bin/python3
"""Compares two runs of the conformance probe, ours against Wine's.

Every observation must be equal or listed in the table of expected differences (with its
reason); a listed observation that no longer differs is an error too, so that the table stays
true. The shapes back buffer must match pixel for pixel; the text back buffer's differing
pixels are counted and reported (glyph rasterisation is not expected to agree bit for bit).

    compare.py --expected TABLE OURS_DIR WINE_DIR [--diff-png FILE]
"""
import argparse
import sys
from pathlib import Path


def read_observations(path):
    """{key: (kind, value)} from a probe.txt; the file must end with 'end'."""
    lines = Path(path).read_text(encoding="ascii").splitlines()
    if not lines or lines[-1] != "end":
        raise SystemExit(f"{path}: the probe did not finish (no 'end' line)")
    observations = {}
    for number, line in enumerate(lines[:-1], 1):
        kind, _, rest = line.partition(" ")
        key, _, value = rest.partition(" ")
        if kind not in ("I", "F") or not key:
            raise SystemExit(f"{path}:{number}: malformed line {line!r}")
        if key in observations:
            raise SystemExit(f"{path}:{number}: {key} observed twice")
        observations[key] = (kind, value)
    return observations


def read_expected(path):
    """{key: reason} from the table: 'key | reason' lines, '#' comments."""
    expected = {}
    for number, line in enumerate(Path(path).read_text(encoding="utf-8").splitlines(), 1):
        line = line.strip()
        if not line or line.startswith("#"):
            continue
        key, bar, reason = line.partition("|")
        key, reason = key.strip(), reason.strip()
        if not bar or not key or not reason:
            raise SystemExit(f"{path}:{number}: an expected difference needs 'key | reason'")
        if key in expected:
            raise SystemExit(f"{path}:{number}: {key} listed twice")
        expected[key] = reason
    return expected


def read_ppm(path):
    data = Path(path).read_bytes()
    parts = data.split(maxsplit=4)
    if parts[0] != b"P6" or parts[3] != b"255":
        raise SystemExit(f"{path}: not an 8-bit P6 picture")
    width, height = int(parts[1]), int(parts[2])
    pixels = parts[4]
    if len(pixels) != width * height * 3:
        raise SystemExit(f"{path}: {len(pixels)} bytes of pixels for {width}x{height}")
    return width, height, pixels


def differing_pixels(ours, wine):
    (w1, h1, p1), (w2, h2, p2) = ours, wine
    if (w1, h1) != (w2, h2):
        raise SystemExit(f"pictures of different sizes: {w1}x{h1} and {w2}x{h2}")
    return [(i % w1, i // w1) for i in range(w1 * h1) if p1[3 * i:3 * i + 3] != p2[3 * i:3 * i + 3]]


def write_diff_png(ours, wine, diff, path):
    """Ours | Wine | the differing pixels in red over a faded copy of ours, side by side."""
    try:
        from PIL import Image
    except ImportError:
        return
    width, height, _ = ours
    sheet = Image.new("RGB", (width * 3 + 8, height), (128, 128, 128))
    a = Image.frombytes("RGB", (width, height), ours[2])
    b = Image.frombytes("RGB", (width, height), wine[2])
    marks = a.point(lambda v: 160 + v * 95 // 255)
    for x, y in diff:
        marks.putpixel((x, y), (255, 0, 0))
    sheet.paste(a, (0, 0))
    sheet.paste(b, (width + 4, 0))
    sheet.paste(marks, (2 * width + 8, 0))
    sheet.save(path)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--expected", required=True)
    parser.add_argument("ours")
    parser.add_argument("wine")
    args = parser.parse_args()
    ours = read_observations(Path(args.ours) / "probe.txt")
    wine = read_observations(Path(args.wine) / "probe.txt")
    expected = read_expected(args.expected)

    failures = []
    counts = {"I": [0, 0, 0], "F": [0, 0, 0]}  # equal, expected difference, unexpected difference
    for key in sorted(set(ours) | set(wine)):
        if key not in ours or key not in wine:
            failures.append(f"{key}: observed only {'ours' if key in ours else 'by Wine'}")
            continue
        kind, ours_value = ours[key]
        _, wine_value = wine[key]
        if ours_value == wine_value:
            counts[kind][0] += 1
            if key in expected:
                failures.append(f"{key}: listed as an expected difference but equal ({ours_value})")
        elif key in expected:
            counts[kind][1] += 1
            print(f"expected  {key}\n    ours: {ours_value}\n    wine: {wine_value}\n    why:  {expected[key]}")
        else:
            counts[kind][2] += 1
            failures.append(f"{key}\n    ours: {ours_value}\n    wine: {wine_value}")
    for key in sorted(set(expected) - set(ours) - set(wine)):
        failures.append(f"{key}: listed as an expected difference but never observed")

    pictures = {}
    for name in ("shapes", "text"):
        a = read_ppm(Path(args.ours) / f"{name}.ppm")
        b = read_ppm(Path(args.wine) / f"{name}.ppm")
        diff = differing_pixels(a, b)
        pictures[name] = (len(diff), a[0] * a[1])
        write_diff_png(a, b, diff, Path(args.ours).parent / f"{name}-diff.png")
        if name == "shapes" and diff:
            xs, ys = [p[0] for p in diff], [p[1] for p in diff]
            failures.append(f"shapes.ppm: {len(diff)} pixels differ, within {min(xs)},{min(ys)}-{max(xs)},{max(ys)}")

    for failure in failures:
        print(f"DIFFERS   {failure}")
    for kind, label in (("I", "font-independent"), ("F", "font-dependent")):
        equal, listed, unexpected = counts[kind]
        print(f"{label}: {equal + listed + unexpected} observations, {equal} equal, {listed} expected differences, "
              f"{unexpected} unexpected differences")
    for name, (diff, total) in pictures.items():
        print(f"{name} back buffer: {diff} of {total} pixels differ")
    print(f"conformance: {'PASSED' if not failures else 'FAILED'}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
