#!/usr/bin/python3
# Writes figures.pdf: vector drawings, pictures and text in OpenType (CFF)
# fonts on pages of different sizes, and a page of transparency, gradients
# and a tiled pattern, drawn with cairo. Run with Debian's
# python3-cairo and fonts-urw-base35 installed:  python3 figures.py OUT.pdf
import math
import sys

import cairo

out = sys.argv[1] if len(sys.argv) > 1 else 'figures.pdf'
# A5 landscape, then a small square page, A6 portrait, and A6 landscape.
sizes = [(595.28, 419.53), (300, 300), (297.64, 419.53), (419.53, 297.64)]
surface = cairo.PDFSurface(out, *sizes[0])
surface.set_metadata(cairo.PDFMetadata.TITLE, 'Tessaly fidelity figures')
surface.set_metadata(cairo.PDFMetadata.CREATOR, 'figures.py (cairo)')
surface.set_metadata(cairo.PDFMetadata.CREATE_DATE, '2026-12-08T00:00:00Z')
cr = cairo.Context(surface)

SANS = 'Nimbus Sans'   # NimbusSans-*.otf: CFF outlines
SERIF = 'C059'         # C059-*.otf: CFF outlines


def text(x, y, s, family, size, bold=False, italic=False, rgb=(0, 0, 0), alpha=1):
    cr.select_font_face(family, cairo.FONT_SLANT_ITALIC if italic else cairo.FONT_SLANT_NORMAL,
                        cairo.FONT_WEIGHT_BOLD if bold else cairo.FONT_WEIGHT_NORMAL)
    cr.set_font_size(size)
    cr.set_source_rgba(*rgb, alpha)
    cr.move_to(x, y)
    cr.show_text(s)


def star(cx, cy, r, points=5):
    for i in range(points):
        a = -math.pi / 2 + i * 4 * math.pi / points
        (cr.move_to if i == 0 else cr.line_to)(cx + r * math.cos(a), cy + r * math.sin(a))
    cr.close_path()


# Page 1: drawings and text.
text(36, 48, 'Figures for the printer', SANS, 22, bold=True, rgb=(0.1, 0.2, 0.5))
text(36, 72, 'Paths, fill rules, strokes, dashes, caps and joins, in OpenType fonts.', SERIF, 11)
text(36, 88, 'Nonzero and even-odd stars; a curve; three joins; a dashed frame.', SERIF, 11, italic=True)
cr.set_source_rgb(0.95, 0.7, 0.1)
star(100, 180, 60)
cr.set_fill_rule(cairo.FILL_RULE_WINDING)
cr.fill_preserve()
cr.set_source_rgb(0, 0, 0)
cr.set_line_width(1.5)
cr.stroke()
cr.set_source_rgb(0.2, 0.6, 0.3)
star(240, 180, 60)
cr.set_fill_rule(cairo.FILL_RULE_EVEN_ODD)
cr.fill()
cr.set_fill_rule(cairo.FILL_RULE_WINDING)
cr.set_source_rgb(0.7, 0.1, 0.1)
cr.set_line_width(6)
cr.move_to(320, 240)
cr.curve_to(360, 110, 440, 260, 480, 130)
cr.stroke()
for i, join in enumerate([cairo.LINE_JOIN_MITER, cairo.LINE_JOIN_ROUND, cairo.LINE_JOIN_BEVEL]):
    cr.set_line_join(join)
    cr.set_line_cap([cairo.LINE_CAP_BUTT, cairo.LINE_CAP_ROUND, cairo.LINE_CAP_SQUARE][i])
    cr.set_line_width(10)
    cr.set_source_rgb(0.2, 0.3, 0.7)
    x = 60 + 150 * i
    cr.move_to(x, 350)
    cr.line_to(x + 40, 290)
    cr.line_to(x + 80, 350)
    cr.stroke()
cr.set_line_join(cairo.LINE_JOIN_MITER)
cr.set_line_cap(cairo.LINE_CAP_BUTT)
cr.set_line_width(2)
cr.set_dash([8, 4, 2, 4])
cr.set_source_rgb(0.3, 0.3, 0.3)
cr.rectangle(24, 24, 595.28 - 48, 419.53 - 48)
cr.stroke()
cr.set_dash([])
text(500, 380, 'Page 1', SANS, 9, italic=True)
cr.show_page()

# Page 2: pictures, one at 150 pixels an inch and one scaled up.
surface.set_size(*sizes[1])
w, h = 120, 90
rgb = cairo.ImageSurface(cairo.FORMAT_RGB24, w, h)
data = rgb.get_data()
stride = rgb.get_stride()
for y in range(h):
    for x in range(w):
        r = int(127.5 + 127.5 * math.sin(x / 23.0))
        g = int(127.5 + 127.5 * math.sin((x + y) / 31.0))
        b = int(255 * y / (h - 1))
        o = y * stride + 4 * x
        data[o:o + 4] = bytes((b, g, r, 0))
rgb.mark_dirty()
grey = cairo.ImageSurface(cairo.FORMAT_A8, 40, 30)
gdata = grey.get_data()
for y in range(30):
    for x in range(40):
        gdata[y * grey.get_stride() + x] = int(255 * (0.5 + 0.5 * math.cos(math.hypot(x - 20, y - 15) / 3.0)))
grey.mark_dirty()
text(20, 30, 'Pictures', SANS, 16, bold=True)
cr.save()
cr.translate(20, 44)
cr.scale(72 / 150, 72 / 150)
cr.set_source_surface(rgb, 0, 0)
cr.paint()
cr.restore()
cr.save()
cr.translate(140, 150)
cr.scale(3.6, 3.6)
cr.set_source_rgb(0.1, 0.3, 0.6)
cr.mask_surface(grey, 0, 0)
cr.restore()
cr.set_source_rgb(0, 0, 0)
cr.set_line_width(1)
cr.rectangle(20, 44, 57.6, 43.2)
cr.stroke()
text(20, 280, 'A picture at 150 dpi and a stencil mask, scaled.', SERIF, 9)
cr.show_page()

# Page 3: a portrait page with a table of rules and text.
surface.set_size(*sizes[2])
text(24, 40, 'A6 portrait', SANS, 16, bold=True)
rows = [('Type', 'Glyphs'), ('CFF', 'Nimbus Sans'), ('CFF', 'C059'), ('Paths', 'cairo')]
cr.set_line_width(0.75)
for i, (a, b) in enumerate(rows):
    y = 70 + 22 * i
    cr.set_source_rgb(0.9, 0.9, 0.95) if i % 2 else cr.set_source_rgb(0.8, 0.85, 0.95)
    cr.rectangle(24, y, 250, 22)
    cr.fill()
    text(30, y + 15, a, SANS, 10, bold=(i == 0))
    text(130, y + 15, b, SERIF, 10, bold=(i == 0))
cr.set_source_rgb(0, 0, 0)
cr.rectangle(24, 70, 250, 22 * len(rows))
cr.stroke()
cr.move_to(124, 70)
cr.line_to(124, 70 + 22 * len(rows))
cr.stroke()
text(24, 220, 'The quick brown fox jumps over', SERIF, 12)
text(24, 236, 'the lazy dog: 0123456789.', SERIF, 12, italic=True)
cr.show_page()

# Page 4: transparency, gradients and a tiled pattern.
surface.set_size(*sizes[3])
text(24, 32, 'Transparency and gradients', SANS, 16, bold=True)
# A linear gradient of three stops, and a radial one with its outer colour
# extended over the square.
linear = cairo.LinearGradient(24, 0, 204, 0)
linear.add_color_stop_rgb(0, 0.1, 0.2, 0.7)
linear.add_color_stop_rgb(0.5, 0.95, 0.95, 0.3)
linear.add_color_stop_rgb(1, 0.8, 0.1, 0.1)
cr.set_source(linear)
cr.rectangle(24, 48, 180, 60)
cr.fill()
radial = cairo.RadialGradient(300, 90, 4, 300, 90, 50)
radial.add_color_stop_rgb(0, 1, 1, 1)
radial.add_color_stop_rgb(1, 0.2, 0.5, 0.3)
radial.set_extend(cairo.EXTEND_PAD)
cr.set_source(radial)
cr.rectangle(240, 40, 120, 100)
cr.fill()
# Overlapping discs of constant opacity over a black bar.
cr.set_source_rgb(0, 0, 0)
cr.rectangle(24, 170, 180, 14)
cr.fill()
for i, rgb in enumerate([(0.9, 0.1, 0.1), (0.1, 0.7, 0.2), (0.1, 0.3, 0.9)]):
    cr.set_source_rgba(*rgb, 0.5)
    cr.arc(70 + 45 * i, 176, 36, 0, 2 * math.pi)
    cr.fill()
# A fill through a soft mask: a gradient of alpha.
fade = cairo.LinearGradient(240, 0, 390, 0)
fade.add_color_stop_rgba(0, 0, 0, 0, 1)
fade.add_color_stop_rgba(1, 0, 0, 0, 0)
cr.save()
cr.rectangle(240, 150, 150, 60)
cr.clip()
cr.set_source_rgb(0.5, 0.1, 0.5)
cr.mask(fade)
cr.restore()
# A tiled pattern of small cells.
cell = cairo.RecordingSurface(cairo.CONTENT_COLOR_ALPHA, cairo.Rectangle(0, 0, 10, 10))
cc = cairo.Context(cell)
cc.set_source_rgb(0.85, 0.85, 0.9)
cc.rectangle(0, 0, 10, 10)
cc.fill()
cc.set_source_rgb(0.3, 0.3, 0.6)
cc.arc(5, 5, 3, 0, 2 * math.pi)
cc.fill()
tiles = cairo.SurfacePattern(cell)
tiles.set_extend(cairo.EXTEND_REPEAT)
cr.set_source(tiles)
cr.rectangle(24, 220, 180, 50)
cr.fill()
text(240, 250, 'Text at 60% opacity', SERIF, 12, rgb=(0.1, 0.1, 0.1), alpha=0.6)
text(240, 280, 'Page 4', SANS, 9, italic=True)
cr.show_page()
surface.finish()
