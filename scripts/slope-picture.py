#!/usr/bin/env python3
"""A picture of slope data: one pixel a grid point (3 arc-seconds), its hue
the direction the ground faces (aspect), its depth of colour how steep it
is (slope); flat ground white. An SVG with the map, a grid of degrees and a
legend.

  scripts/slope-picture.py SLOPE-FILE OUT.svg
  scripts/slope-picture.py "SLOPE-DATA-FOLDER" OUT.svg --area NORTH SOUTH WEST EAST

SLOPE-FILE is a scan's slope data file (skv-slope.dat: its header gives the
area); a folder holds slope tiles (.slo, a quarter degree each), and the
area (degrees, west negative) says what of them to draw. Points without a
tile are drawn grey.
"""
import argparse
import base64
import colorsys
import math
import os
import re
import struct
import sys
import zlib

STEP = 1 / 1200.0
NAMES = "N NNE NE ENE E ESE SE SSE S SSW SW WSW W WNW NW NNW".split()


def read_slope_file(path):
    text = open(path, "rb").read().decode("latin-1")
    values = re.findall(r":\s*(-?[\d.]+)", text)
    if len(values) < 6:
        sys.exit(f"{path}: not a slope data file (no header of six values)")
    north, south, west, east = (float(v) for v in values[:4])
    rows, columns = int(values[4]), int(values[5])
    data = re.sub(r"\s", "", text[text.rindex(":"):].split("\n", 1)[-1])
    if len(data) < 2 * rows * columns:
        sys.exit(f"{path}: {len(data) // 2} samples, the header asks for {rows * columns}")
    samples = [[data[2 * (r * columns + c):2 * (r * columns + c) + 2] for c in range(columns)] for r in range(rows)]
    return north, south, west, east, samples


def tile_name(s, w):
    def part(v, width):
        whole = int(v)
        return f"{abs(whole):0{width}d}.{int(abs(v - whole) * 100 + 1e-9):02d}"
    return f"{'N' if s >= 0 else 'S'}{part(s, 2)}{'E' if w >= 0 else 'W'}{part(w, 3)}.slo"


def read_tiles(folder, north, south, west, east):
    rows = round((north - south) * 1200) + 1
    columns = round((east - west) * 1200) + 1
    tiles = {}
    samples = []
    for r in range(rows):
        lat = south + r * STEP
        line = []
        for c in range(columns):
            lon = west + c * STEP
            s, w = math.floor(lat * 4 + 1e-9) / 4, math.floor(lon * 4 + 1e-9) / 4
            if (s, w) not in tiles:
                path = os.path.join(folder, tile_name(s, w))
                tiles[(s, w)] = open(path, "rb").read().decode("latin-1") if os.path.exists(path) else None
            tile = tiles[(s, w)]
            tr, tc = round((lat - s) * 1200), round((lon - w) * 1200)
            line.append(tile[tr * 600 + tc * 2:tr * 600 + tc * 2 + 2] if tile and tr < 300 and tc < 300 else None)
        samples.append(line)
    if not any(t for t in tiles.values()):
        sys.exit(f"{folder}: no slope tile covers the area")
    return samples


def colour(sample):
    if sample is None:
        return (170, 170, 170)
    try:
        aspect, slope = int(sample[0], 16), int(sample[1], 16)
    except ValueError:
        return (170, 170, 170)
    if slope == 0:
        return (255, 255, 255)
    depth = min(1.0, 0.15 + slope / 6.0)  # 30 degrees and steeper: full colour
    r, g, b = colorsys.hsv_to_rgb(aspect / 16.0, depth, 1.0 - 0.35 * depth)
    return (int(r * 255), int(g * 255), int(b * 255))


def png(pixels):  # rows from the top, each a list of (r, g, b)
    height, width = len(pixels), len(pixels[0])
    raw = b"".join(b"\0" + bytes(v for p in row for v in p) for row in pixels)
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def grid_step(span, pixels):  # lines at least 70 pixels apart
    for step in (0.01, 0.02, 0.05, 0.1, 0.2, 0.25, 0.5, 1.0):
        if pixels * step / span >= 70:
            return step
    return 2.0


def svg(samples, north, south, west, east, title):
    rows, columns = len(samples), len(samples[0])
    scale = max(1.0, min(4.0, 800.0 / max(rows, columns)))
    # A degree of longitude is shorter than one of latitude by the cosine.
    width = columns * scale * math.cos(math.radians((north + south) / 2))
    height = rows * scale
    image = base64.b64encode(png([[colour(s) for s in samples[r]] for r in reversed(range(rows))])).decode()
    left, top = 60, 40
    out = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{width + left + 240:.0f}" '
           f'height="{max(height + 50, 420) + top:.0f}" '
           f'font-family="sans-serif" font-size="12">',
           f'<text x="{left}" y="22" font-size="15">{title}</text>',
           f'<image x="{left}" y="{top}" width="{width:.1f}" height="{height:.1f}" preserveAspectRatio="none" '
           f'style="image-rendering:pixelated" href="data:image/png;base64,{image}"/>',
           f'<rect x="{left}" y="{top}" width="{width:.1f}" height="{height:.1f}" fill="none" stroke="#444"/>']
    def x_of(lon):
        return left + (lon - west) / (east - west) * width if east > west else left
    def y_of(lat):
        return top + (north - lat) / (north - south) * height if north > south else top
    step = max(grid_step(north - south, height), grid_step(east - west, width))
    lat = math.ceil(south / step) * step
    while lat <= north + 1e-9:
        y = y_of(lat)
        out.append(f'<line x1="{left}" x2="{left + width:.1f}" y1="{y:.1f}" y2="{y:.1f}" stroke="#0003"/>')
        out.append(f'<text x="{left - 4}" y="{y + 4:.1f}" text-anchor="end">{abs(lat):.2f}{"N" if lat >= 0 else "S"}</text>')
        lat += step
    lon = math.ceil(west / step) * step
    while lon <= east + 1e-9:
        x = x_of(lon)
        out.append(f'<line y1="{top}" y2="{top + height:.1f}" x1="{x:.1f}" x2="{x:.1f}" stroke="#0003"/>')
        out.append(f'<text x="{x:.1f}" y="{top + height + 16:.1f}" text-anchor="middle">'
                   f'{abs(lon):.2f}{"E" if lon >= 0 else "W"}</text>')
        lon += step
    lx = left + width + 30
    out.append(f'<text x="{lx}" y="{top + 10}">the ground faces</text>')
    for k, name in enumerate(NAMES):
        r, g, b = colour(f"{k:x}8")
        y = top + 20 + 15 * k
        out.append(f'<rect x="{lx}" y="{y}" width="24" height="12" fill="rgb({r},{g},{b})"/>'
                   f'<text x="{lx + 30}" y="{y + 10}">{name}</text>')
    y = top + 20 + 15 * 16 + 20
    out.append(f'<text x="{lx}" y="{y}">steepness (aspect N)</text>')
    for k in range(6):
        r, g, b = colour(f"0{k:x}")
        yy = y + 10 + 15 * k
        out.append(f'<rect x="{lx}" y="{yy}" width="24" height="12" fill="rgb({r},{g},{b})" stroke="#ccc"/>'
                   f'<text x="{lx + 30}" y="{yy + 10}">{6 * k} degrees{" and steeper" if k == 5 else ""}</text>')
    out.append(f'<rect x="{lx}" y="{y + 110}" width="24" height="12" fill="rgb(170,170,170)"/>'
               f'<text x="{lx + 30}" y="{y + 120}">no slope data</text>')
    out.append("</svg>")
    return "\n".join(out) + "\n"


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("input", help="a slope data file, or a folder of slope tiles")
    p.add_argument("output", help="the picture (SVG)")
    p.add_argument("--area", nargs=4, type=float, metavar=("NORTH", "SOUTH", "WEST", "EAST"))
    p.add_argument("--title", default="")
    a = p.parse_args()
    if os.path.isdir(a.input):
        if not a.area:
            sys.exit("a folder of slope tiles needs --area NORTH SOUTH WEST EAST")
        north, south, west, east = a.area
        if north <= south or east <= west:
            sys.exit("--area: north must lie north of south and east east of west")
        samples = read_tiles(a.input, north, south, west, east)
    else:
        north, south, west, east, samples = read_slope_file(a.input)
    if not samples or not samples[0]:
        sys.exit(f"{a.input}: no slope samples")
    title = a.title or (f"Slope data, {abs(south):.3f}-{abs(north):.3f}{'N' if north >= 0 else 'S'}, "
                        f"{abs(west):.3f}-{abs(east):.3f}{'W' if west < 0 else 'E'}")
    with open(a.output, "w") as out:
        out.write(svg(samples, north, south, west, east, title))


if __name__ == "__main__":
    main()
