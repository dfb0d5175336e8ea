#include "script/print_script.h"

namespace tessaly::script {

namespace {

// Three Letter pages in points (612 x 792).
constexpr std::string_view kTestDocument = R"(# The built-in test document.
units pt
paper Letter

page
# Title and a rule.
font "Liberation Serif" 28 bold
textcolor #1F3A68
text 54 58 "Tessaly test document"
font "DejaVu Sans" 12
textcolor #000000
text 54 97 "Page 1: shapes, pens and fill modes"
pen #1F3A68 2
move 54 116
line 558 116
stroke

# Filled shapes with outlines.
pen #000000 1.5
brush #E04040
rect 54 140 150 100
brush #40A040
ellipse 230 140 150 100
brush #4060E0
roundrect 406 140 150 100 30 30
brush hatch #804000 diagcross
polygon 129 270 204 390 54 390
brush #F0C020
fillmode alternate
polygon 305 260 335 390 250 310 360 310 275 390
fillmode winding
polygon 481 260 511 390 426 310 536 310 451 390
fillmode alternate

# Pens: widths, dashes, caps and joins.
brush none
pen #000000 0
polyline 54 430 558 430
pen #C00000 0 dash
polyline 54 445 558 445
pen #00A000 0 dot
polyline 54 460 558 460
pen #0000C0 0 dashdot
polyline 54 475 558 475
pen #000000 6 cap flat
polyline 54 500 250 500
pen #000000 6 cap round
polyline 54 520 250 520
pen #000000 6 cap square
polyline 54 540 250 540
pen #800080 8 join miter
polyline 290 560 340 500 390 560 440 500
pen #008080 8 join bevel
polyline 290 590 340 530 390 590 440 530
pen #404040 3 dashes 12 4 3 4
polyline 460 500 558 590

# A path with curves, filled and stroked.
pen #202020 2
brush #9FC5E8
move 54 620
curve 120 560 200 700 260 620
line 260 740
curve 180 700 120 780 54 740
close
fillstroke
font "Liberation Mono" 10
text 300 700 "Mono: 0123456789 {}[]<>&"
endpage

page
font "DejaVu Sans" 12
textcolor #000000
text 54 60 "Page 2: a picture, a gradient and clipping"
gradient 54 80 504 80 #FF0000 #0000FF horizontal
gradient 54 170 120 200 #FFFF00 #008000 vertical
image 200 170 300 225 builtin

# Clip to a rectangle: only the middle of the striped square shows.
save
clip rect 100 430 160 160
pen none
brush #FF8000
ellipse 60 400 240 240
brush #303030
rect 60 400 240 30
rect 60 460 240 30
rect 60 520 240 30
rect 60 580 240 30
restore

# Clip to an elliptical path: a gradient seen through it.
save
move 330 420
ellipse 330 420 220 200
clip path
gradient 330 420 220 200 #00C0C0 #C000C0 vertical
restore
pen #000000 1
brush none
ellipse 330 420 220 200

font "Liberation Serif" 14 italic
text 54 680 "Serif italic: the quick brown fox jumps over the lazy dog."
font "DejaVu Sans" 14 bold
text 54 705 "Sans bold: Grüße, ½ ¾, naïve café."
endpage

page
font "DejaVu Sans" 12
text 54 60 "Page 3: transforms and text in three fonts"
pen #000000 1
brush #C0D8F0
save
translate 306 300
rotate 30
rect -120 -60 240 120
font "Liberation Serif" 20
text -100 8 "Rotated by 30 degrees"
restore
save
translate 306 500
scale 2 1
brush #F0D0A0
ellipse -60 -40 120 80
restore
font "Liberation Serif" 16
text 54 640 "Liberation Serif 16"
font "DejaVu Sans" 16
text 54 665 "DejaVu Sans 16"
font "Liberation Mono" 16
text 54 690 "Liberation Mono 16"
pen #FF0000 4 dashes 20 10
brush none
rect 36 36 540 720
endpage
)";

}  // namespace

std::string_view testDocumentScript() { return kTestDocument; }

}  // namespace tessaly::script
