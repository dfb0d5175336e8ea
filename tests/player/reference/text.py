#!/usr/bin/env python3
"""Draws reference text with cairo for the player tests.

Reads one JSON object on standard input and writes a PNG:
  {"width": W, "height": H, "background": "#RRGGBB", "out": "file.png",
   "rects": [{"box": [x1, y1, x2, y2], "color": "#RRGGBB"}] (optional),
   "runs": [{"family": "Liberation Sans", "bold": false, "italic": false,
             "size": 30, "x": 20, "y": 50, "text": "...",
             "color": "#RRGGBB", "alpha": 1.0 (optional),
             "positions": [[dx, dy], ...] (optional)}]}
Sizes and coordinates are pixels; (x, y) is the baseline origin of the run.
Without positions the glyphs follow each other by their advances plus the
pairs of the font file's 'kern' table, which this script reads itself; with
positions glyph i stands at (x + dx_i, y + dy_i). Outlines are drawn
unhinted, with unhinted metrics, so they are the font's true curves.
"""
import json
import struct
import subprocess
import sys

import cairo


def rgb(text):
    value = int(text.lstrip("#"), 16)
    return ((value >> 16) & 0xFF) / 255.0, ((value >> 8) & 0xFF) / 255.0, (value & 0xFF) / 255.0


def font_file(family, bold, italic):
    pattern = family + (":weight=bold" if bold else ":weight=regular") + (":slant=italic" if italic else ":slant=roman")
    return subprocess.run(["fc-match", "-f", "%{file}", pattern], check=True, capture_output=True, text=True).stdout


def read_tables(data):
    count = struct.unpack_from(">H", data, 4)[0]
    tables = {}
    for i in range(count):
        tag, _checksum, offset, length = struct.unpack_from(">4sIII", data, 12 + 16 * i)
        tables[tag.decode("latin-1")] = (offset, length)
    return tables


def kerning_pairs(path):
    """Units per em and {(left glyph, right glyph): value} from the horizontal
    format 0 subtables of a TrueType 'kern' table (Microsoft layout)."""
    with open(path, "rb") as f:
        data = f.read()
    tables = read_tables(data)
    units = struct.unpack_from(">H", data, tables["head"][0] + 18)[0]
    pairs = {}
    if "kern" not in tables:
        return units, pairs
    base = tables["kern"][0]
    version, count = struct.unpack_from(">HH", data, base)
    if version != 0:
        return units, pairs
    at = base + 4
    for _ in range(count):
        _sub_version, length, coverage = struct.unpack_from(">HHH", data, at)
        horizontal = coverage & 1
        minimum = coverage & 2
        cross = coverage & 4
        if (coverage >> 8) == 0 and horizontal and not minimum and not cross:
            n = struct.unpack_from(">H", data, at + 6)[0]
            for k in range(n):
                left, right, value = struct.unpack_from(">HHh", data, at + 14 + 6 * k)
                pairs.setdefault((left, right), value)
        at += length
    return units, pairs


def draw_run(ctx, run):
    slant = cairo.FONT_SLANT_ITALIC if run.get("italic") else cairo.FONT_SLANT_NORMAL
    weight = cairo.FONT_WEIGHT_BOLD if run.get("bold") else cairo.FONT_WEIGHT_NORMAL
    ctx.select_font_face(run["family"], slant, weight)
    ctx.set_font_size(run["size"])
    options = cairo.FontOptions()
    options.set_hint_style(cairo.HINT_STYLE_NONE)
    options.set_hint_metrics(cairo.HINT_METRICS_OFF)
    options.set_antialias(cairo.ANTIALIAS_GRAY)
    ctx.set_font_options(options)
    x, y = run["x"], run["y"]
    glyphs, _clusters, _flags = ctx.get_scaled_font().text_to_glyphs(x, y, run["text"], True)
    placed = []
    if "positions" in run:
        for glyph, (dx, dy) in zip(glyphs, run["positions"]):
            placed.append(cairo.Glyph(glyph.index, x + dx, y + dy))
    else:
        units, pairs = kerning_pairs(font_file(run["family"], run.get("bold"), run.get("italic")))
        shift = 0.0
        for i, glyph in enumerate(glyphs):
            if i > 0:
                shift += pairs.get((glyphs[i - 1].index, glyph.index), 0) * run["size"] / units
            placed.append(cairo.Glyph(glyph.index, glyph.x + shift, glyph.y))
    ctx.set_source_rgba(*rgb(run.get("color", "#000000")), run.get("alpha", 1.0))
    ctx.show_glyphs(placed)


def main():
    job = json.load(sys.stdin)
    surface = cairo.ImageSurface(cairo.FORMAT_RGB24, job["width"], job["height"])
    ctx = cairo.Context(surface)
    ctx.set_source_rgb(*rgb(job["background"]))
    ctx.paint()
    for r in job.get("rects", []):
        x1, y1, x2, y2 = r["box"]
        ctx.rectangle(x1, y1, x2 - x1, y2 - y1)
        ctx.set_source_rgb(*rgb(r["color"]))
        ctx.fill()
    for run in job["runs"]:
        draw_run(ctx, run)
    surface.write_to_png(job["out"])


if __name__ == "__main__":
    main()
