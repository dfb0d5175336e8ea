#!/usr/bin/env python3
"""Draws reference outlines with cairo for the player tests.

Reads one JSON object on standard input and writes a PNG:
  {"width": W, "height": H, "background": "#RRGGBB", "out": "file.png",
   "paths": [{"commands": [["M", x, y], ["C", x1, y1, x2, y2, x3, y3], ["L", x, y]],
              "fill": "#RRGGBB" (optional),
              "stroke": {"width": w, "color": "#RRGGBB"} (optional)}]}
Coordinates are pixels. Strokes get round caps and joins, as Flash draws them;
fills use the non-zero winding rule.
"""
import json
import sys

import cairo


def rgb(text):
    value = int(text.lstrip("#"), 16)
    return ((value >> 16) & 0xFF) / 255.0, ((value >> 8) & 0xFF) / 255.0, (value & 0xFF) / 255.0


def trace(ctx, commands):
    ctx.new_path()
    for command in commands:
        op, args = command[0], command[1:]
        if op == "M":
            ctx.move_to(*args)
        elif op == "L":
            ctx.line_to(*args)
        elif op == "C":
            ctx.curve_to(*args)
        elif op == "Z":
            ctx.close_path()
        else:
            raise ValueError(f"unknown path command {op!r}")


def main():
    job = json.load(sys.stdin)
    surface = cairo.ImageSurface(cairo.FORMAT_RGB24, job["width"], job["height"])
    ctx = cairo.Context(surface)
    ctx.set_antialias(cairo.ANTIALIAS_GOOD)
    ctx.set_source_rgb(*rgb(job["background"]))
    ctx.paint()
    for path in job["paths"]:
        if "fill" in path:
            trace(ctx, path["commands"])
            ctx.set_fill_rule(cairo.FILL_RULE_WINDING)
            ctx.set_source_rgb(*rgb(path["fill"]))
            ctx.fill()
        if "stroke" in path:
            trace(ctx, path["commands"])
            ctx.set_line_width(path["stroke"]["width"])
            ctx.set_line_cap(cairo.LINE_CAP_ROUND)
            ctx.set_line_join(cairo.LINE_JOIN_ROUND)
            ctx.set_source_rgb(*rgb(path["stroke"]["color"]))
            ctx.stroke()
    surface.write_to_png(job["out"])


if __name__ == "__main__":
    main()
