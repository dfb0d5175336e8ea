; The default viewer's script, run once on the first frame.
;
; What the converter and the finishing step give the movie, as variables of
; the main timeline: totalPages, docWidth, docHeight (pixels) and, for pages
; of another size, page<n>Width / page<n>Height; the interface parameters
; toolbarColor, backgroundColor, showFirstLast, showPageField, showZoom,
; showFit, initialZoom and initialPage. Every one of them may be missing (the
; movie must still work on its own).
;
; State, kept on the main timeline: cur (the page asked for), shown (the page
; attached), total, docW/docH, pw/ph (the page's size), zoom, mode ("page",
; "width", "actual", or "free" after zooming), px/py (the page's top left on
; the stage), barH, areaX/areaW/areaH (the page area below the toolbar,
; right of the thumbnails), the drag state, the zoom buttons' extent for the
; mouse wheel and the thumbnail strip's state.

push "Stage"
getVariable
push "scaleMode", "noScale"
setMember
push "Stage"
getVariable
push "align", "TL"
setMember
stop

; --- helpers ------------------------------------------------------------------

; num(v, d): v as a finite number, else d.
defineFunction2 num (v:r1, d:r2)
  push r1
  toNumber
  storeRegister r3
  pop
  push r3, 1, "isFinite"
  callFunction
  if finite
  push r2
  return
finite:
  push r3
  return
end

; colorOf(s, d): "#RRGGBB" as a number, else d.
defineFunction2 colorOf (s:r1, d:r2)
  push r1
  typeOf
  push "string"
  strictEquals
  not
  if fallback
  push 0, 1, r1, "charAt"
  callMethod
  push "#"
  strictEquals
  not
  if fallback
  push 16, 1, 1, r1, "substr"
  callMethod
  push 2, "parseInt"
  callFunction
  storeRegister r3
  pop
  push r3, 1, "isFinite"
  callFunction
  not
  if fallback
  push r3
  return
fallback:
  push r2
  return
end

; clamp(v, lo, hi)
defineFunction2 clamp (v:r1, lo:r2, hi:r3)
  push r1, r2
  less2
  not
  if notLow
  push r2
  return
notLow:
  push r3, r1
  less2
  not
  if notHigh
  push r3
  return
notHigh:
  push r1
  return
end

; A flag parameter: shown unless it is 0 (or "0").
defineFunction2 flagOn (v:r1)
  push 1, r1, 1, "num"
  callFunction
  push 0
  equals2
  not
  return
end

; --- the page -------------------------------------------------------------------

; Page n's size along axis ("Width" or "Height"): its own when it has one,
; else the document's (doc), else the size measured on its clip; at least 1.
defineFunction2 dimOf (n:r1, axis:r2, doc:r3, measured:r4) registers=6
  push r3, "page", r1
  add2
  push r2
  add2
  getVariable
  push 2, "num"
  callFunction
  storeRegister r5
  pop
  push 0, r5
  less2
  if sized
  push 0, r4, 2, "num"
  callFunction
  storeRegister r5
  pop
sized:
  push 1, r5, 2, "Math"
  getVariable
  push "max"
  callMethod
  return
end

; pw/ph: the size of page n, attached in the view.
defineFunction2 pageSize (n:r1)
  push "pw", "view"
  getVariable
  push "pg"
  getMember
  push "_width"
  getMember
  push "docW"
  getVariable
  push "Width", r1, 4, "dimOf"
  callFunction
  setVariable
  push "ph", "view"
  getVariable
  push "pg"
  getMember
  push "_height"
  getMember
  push "docH"
  getVariable
  push "Height", r1, 4, "dimOf"
  callFunction
  setVariable
end

; The zoom of the current mode; "free" keeps the zoom it has.
defineFunction2 fitZoom ()
  push "mode"
  getVariable
  push "page"
  strictEquals
  not
  if notPage
  ; The whole page with a margin of 8 pixels on each side.
  push "zoom"
  push "areaH"
  getVariable
  push 16
  subtract
  push "ph"
  getVariable
  divide
  push "areaW"
  getVariable
  push 16
  subtract
  push "pw"
  getVariable
  divide
  push 2, "Math"
  getVariable
  push "min"
  callMethod
  setVariable
  jump bounds
notPage:
  push "mode"
  getVariable
  push "width"
  strictEquals
  not
  if notWidth
  push "zoom", "areaW"
  getVariable
  push "pw"
  getVariable
  divide
  setVariable
  jump bounds
notWidth:
  push "mode"
  getVariable
  push "actual"
  strictEquals
  not
  if bounds
  push "zoom", 1
  setVariable
bounds:
  push "zoom", 32, 0.02, "zoom"
  getVariable
  push 3, "clamp"
  callFunction
  setVariable
end

; Puts the page where px/py say, kept in reach: a page smaller than the
; area is centred, a larger one cannot leave a gap at its edges.
defineFunction2 place () registers=4
  push "pw"
  getVariable
  push "zoom"
  getVariable
  multiply
  storeRegister r1
  pop
  push "ph"
  getVariable
  push "zoom"
  getVariable
  multiply
  storeRegister r2
  pop
  push "areaW"
  getVariable
  push r1
  less2
  if wideX
  push "px", "areaX"
  getVariable
  push "areaW"
  getVariable
  push r1
  subtract
  push 2
  divide
  add2
  setVariable
  jump doneX
wideX:
  push "px", "areaX"
  getVariable
  push "areaX"
  getVariable
  push "areaW"
  getVariable
  add2
  push r1
  subtract
  push "px"
  getVariable
  push 3, "clamp"
  callFunction
  setVariable
doneX:
  push "areaH"
  getVariable
  push r2
  less2
  if tallY
  push "py", "barH"
  getVariable
  push "areaH"
  getVariable
  push r2
  subtract
  push 2
  divide
  add2
  setVariable
  jump doneY
tallY:
  push "py", "barH"
  getVariable
  push "barH"
  getVariable
  push "areaH"
  getVariable
  add2
  push r2
  subtract
  push "py"
  getVariable
  push 3, "clamp"
  callFunction
  setVariable
doneY:
  push "view"
  getVariable
  push "_x", "px"
  getVariable
  push 1, "Math"
  getVariable
  push "round"
  callMethod
  setMember
  push "view"
  getVariable
  push "_y", "py"
  getVariable
  push 1, "Math"
  getVariable
  push "round"
  callMethod
  setMember
  push "view"
  getVariable
  push "_xscale", "zoom"
  getVariable
  push 100
  multiply
  setMember
  push "view"
  getVariable
  push "_yscale", "zoom"
  getVariable
  push 100
  multiply
  setMember
end

; A new zoom from the mode, the page at the top of the area.
defineFunction2 refit ()
  push 0, "fitZoom"
  callFunction
  pop
  push "px", 0
  setVariable
  push "py", "barH"
  getVariable
  setVariable
  push 0, "place"
  callFunction
  pop
end

; Attaches the page asked for once its frame has loaded; until then the
; page shown before stays.
defineFunction2 show () registers=2
  push "shown"
  getVariable
  push "cur"
  getVariable
  strictEquals
  if done
  push 1, "pg", "page", "cur"
  getVariable
  add2
  push 3, "view"
  getVariable
  push "attachMovie"
  callMethod
  push undefined
  equals2
  if done
  push "shown", "cur"
  getVariable
  setVariable
  ; A page with a preview: the previews make a strip of thumbnails on the
  ; left; in the page view the page itself shows.
  push "view"
  getVariable
  push "pg"
  getMember
  push "preview"
  getMember
  storeRegister r1
  pop
  push r1, undefined
  equals2
  if sizes
  push r1, "_visible", false
  setMember
  push "stripOn"
  getVariable
  if sizes
  push 0, "openStrip"
  callFunction
  pop
sizes:
  push 0, "markThumb"
  callFunction
  pop
  push "cur"
  getVariable
  push 1, "pageSize"
  callFunction
  pop
  push 0, "refit"
  callFunction
  pop
done:
end

; --- navigation ------------------------------------------------------------------

defineFunction2 goPage (n:r1)
  push "cur", "total"
  getVariable
  push 1, 1, r1, 2, "num"
  callFunction
  push 1, "Math"
  getVariable
  push "round"
  callMethod
  push 3, "clamp"
  callFunction
  setVariable
  push "pageText", "cur"
  getVariable
  toString
  setVariable
  push 0, "show"
  callFunction
  pop
end

defineFunction2 goFirst ()
  push 1, 1, "goPage"
  callFunction
  pop
end

defineFunction2 goLast ()
  push "total"
  getVariable
  push 1, "goPage"
  callFunction
  pop
end

defineFunction2 goPrev ()
  push "cur"
  getVariable
  push 1
  subtract
  push 1, "goPage"
  callFunction
  pop
end

defineFunction2 goNext ()
  push "cur"
  getVariable
  push 1
  add2
  push 1, "goPage"
  callFunction
  pop
end

; --- zoom and scrolling ---------------------------------------------------------

; Zooms by a factor around the middle of the page area.
defineFunction2 zoomBy (f:r1) registers=6
  push "areaX"
  getVariable
  push "areaW"
  getVariable
  push 2
  divide
  add2
  storeRegister r2
  pop
  push "barH"
  getVariable
  push "areaH"
  getVariable
  push 2
  divide
  add2
  storeRegister r3
  pop
  ; The page point under the middle, in page pixels.
  push r2, "px"
  getVariable
  subtract
  push "zoom"
  getVariable
  divide
  storeRegister r4
  pop
  push r3, "py"
  getVariable
  subtract
  push "zoom"
  getVariable
  divide
  storeRegister r5
  pop
  push "mode", "free"
  setVariable
  push "zoom", 32, 0.02, "zoom"
  getVariable
  push r1
  multiply
  push 3, "clamp"
  callFunction
  setVariable
  push "px", r2, r4, "zoom"
  getVariable
  multiply
  subtract
  setVariable
  push "py", r3, r5, "zoom"
  getVariable
  multiply
  subtract
  setVariable
  push 0, "place"
  callFunction
  pop
end

defineFunction2 setMode (m:r1)
  push "mode", r1
  setVariable
  push 0, "refit"
  callFunction
  pop
end

; Scrolls the page by dy pixels; a page that fits the area turns instead.
defineFunction2 scroll (dy:r1)
  push "areaH"
  getVariable
  push "ph"
  getVariable
  push "zoom"
  getVariable
  multiply
  less2
  if tall
  push 0, r1
  less2
  if down
  push 0, "goPrev"
  callFunction
  pop
  jump done
down:
  push 0, "goNext"
  callFunction
  pop
  jump done
tall:
  push "py", "py"
  getVariable
  push r1
  subtract
  setVariable
  push 0, "place"
  callFunction
  pop
done:
end

; --- layout ---------------------------------------------------------------------

; Lays the shown toolbar items out from x; returns the x after the last.
; With apply false it only measures.
defineFunction2 arrange (x:r1, apply:r2) registers=6
  push "items"
  getVariable
  storeRegister r3
  pop
  push 0
  storeRegister r4
  pop
loop:
  push r4, r3, "length"
  getMember
  less2
  not
  if finished
  push r3, r4
  getMember
  storeRegister r5
  pop
  push r5, "|"
  strictEquals
  not
  if item
  push r1, 12
  add2
  storeRegister r1
  pop
  jump step
item:
  push r5
  getVariable
  storeRegister r5
  pop
  push r5, "_visible"
  getMember
  not
  if step
  push r2
  not
  if measured
  push r5, "_x", r1
  setMember
measured:
  push r1, r5, "_width"
  getMember
  add2
  push 4
  add2
  storeRegister r1
  pop
step:
  push r4
  increment
  storeRegister r4
  pop
  jump loop
finished:
  push r1
  return
end

defineFunction2 layout () registers=4
  push "Stage"
  getVariable
  push "width"
  getMember
  storeRegister r1
  pop
  push "Stage"
  getVariable
  push "height"
  getMember
  storeRegister r2
  pop
  push "areaW", 1, r1, "areaX"
  getVariable
  subtract
  push 2, "Math"
  getVariable
  push "max"
  callMethod
  setVariable
  push "areaH", 1, r2, "barH"
  getVariable
  subtract
  push 2, "Math"
  getVariable
  push "max"
  callMethod
  setVariable
  push "bar"
  getVariable
  push "_width", r1
  setMember
  ; The background below the toolbar.
  push 0, "backdrop"
  getVariable
  push "clear"
  callMethod
  pop
  push 100, "bgColor"
  getVariable
  push 2, "backdrop"
  getVariable
  push "beginFill"
  callMethod
  pop
  push "barH"
  getVariable
  push 0, 2, "backdrop"
  getVariable
  push "moveTo"
  callMethod
  pop
  push "barH"
  getVariable
  push r1, 2, "backdrop"
  getVariable
  push "lineTo"
  callMethod
  pop
  push r2, r1, 2, "backdrop"
  getVariable
  push "lineTo"
  callMethod
  pop
  push r2, 0, 2, "backdrop"
  getVariable
  push "lineTo"
  callMethod
  pop
  push 0, "backdrop"
  getVariable
  push "endFill"
  callMethod
  pop
  push "stripOn"
  getVariable
  not
  if noStrip
  push r2, "areaX"
  getVariable
  push "barH"
  getVariable
  push 3, "panelRect"
  callFunction
  pop
  push 0, 1, "scrollStrip"
  callFunction
  pop
noStrip:
  ; The toolbar: centred when it fits, else from the left.
  push false, 0, 2, "arrange"
  callFunction
  storeRegister r3
  pop
  push true, 8, r1, r3
  subtract
  push 2
  divide
  push 1, "Math"
  getVariable
  push "floor"
  callMethod
  push 2, "Math"
  getVariable
  push "max"
  callMethod
  push 2, "arrange"
  callFunction
  pop
  push "zoomLeft", "btnZoomOut"
  getVariable
  push "_x"
  getMember
  setVariable
  push "zoomRight", "btnZoomIn"
  getVariable
  push "_x"
  getMember
  push 28
  add2
  setVariable
  ; A fitted page follows the window; a zoomed one keeps its place.
  push "mode"
  getVariable
  push "free"
  strictEquals
  if keep
  push 0, "fitZoom"
  callFunction
  pop
keep:
  push 0, "place"
  callFunction
  pop
end

; Every frame: the page asked for, and the loading bar while frames arrive.
defineFunction2 tick () registers=3
  push 0, "show"
  callFunction
  pop
  push 0, "fillStrip"
  callFunction
  pop
  push "_root"
  getVariable
  push "_framesloaded"
  getMember
  storeRegister r1
  pop
  push "_root"
  getVariable
  push "_totalframes"
  getMember
  storeRegister r2
  pop
  push "loading"
  getVariable
  push "_visible", r1, r2
  less2
  setMember
  push r1, r2
  less2
  not
  if done
  push "loading"
  getVariable
  push "_width", "areaW"
  getVariable
  push r1
  multiply
  push r2
  divide
  push 1
  add2
  setMember
done:
end

; --- thumbnails -----------------------------------------------------------------
; With previews, a strip on the left holds a thumbnail of every page loaded
; (its holder with the page hidden, so the preview shows); a click on one
; goes to its page, the current one stands on a coloured plate.

; A filled rectangle on the strip's panel: x 0, y, width, bottom.
defineFunction2 panelRect (y:r1, w:r2, bottom:r3)
  push 0, "panel"
  getVariable
  push "clear"
  callMethod
  pop
  push 100, "stripColor"
  getVariable
  push 2, "panel"
  getVariable
  push "beginFill"
  callMethod
  pop
  push r1, 0, 2, "panel"
  getVariable
  push "moveTo"
  callMethod
  pop
  push r1, r2, 2, "panel"
  getVariable
  push "lineTo"
  callMethod
  pop
  push r3, r2, 2, "panel"
  getVariable
  push "lineTo"
  callMethod
  pop
  push r3, 0, 2, "panel"
  getVariable
  push "lineTo"
  callMethod
  pop
  push 0, "panel"
  getVariable
  push "endFill"
  callMethod
  pop
end

defineFunction2 openStrip ()
  push "stripOn", true
  setVariable
  push "areaX", 132
  setVariable
  push "panel", 1, "panel", 2, "strip"
  getVariable
  push "createEmptyMovieClip"
  callMethod
  setVariable
  push "list", 2, "list", 2, "strip"
  getVariable
  push "createEmptyMovieClip"
  callMethod
  setVariable
  ; The plate: a square of 100, stretched over the current thumbnail.
  push "plate", 0, "plate", 2, "list"
  getVariable
  push "createEmptyMovieClip"
  callMethod
  setVariable
  push 100, 0xF0B030, 2, "plate"
  getVariable
  push "beginFill"
  callMethod
  pop
  push 0, 0, 2, "plate"
  getVariable
  push "moveTo"
  callMethod
  pop
  push 0, 100, 2, "plate"
  getVariable
  push "lineTo"
  callMethod
  pop
  push 100, 100, 2, "plate"
  getVariable
  push "lineTo"
  callMethod
  pop
  push 100, 0, 2, "plate"
  getVariable
  push "lineTo"
  callMethod
  pop
  push 0, "plate"
  getVariable
  push "endFill"
  callMethod
  pop
  push "plate"
  getVariable
  push "_visible", false
  setMember
  push 0, "layout"
  callFunction
  pop
end

; Attaches the thumbnails of the pages loaded since the last call.
defineFunction2 fillStrip () registers=5
  push "stripOn"
  getVariable
  not
  if done
  push false
  storeRegister r4
  pop
more:
  push "thumbs"
  getVariable
  push "total"
  getVariable
  less2
  not
  if done
  push "thumbs"
  getVariable
  push 1
  add2
  storeRegister r1
  pop
  push r1, "t", r1
  add2
  push "page", r1
  add2
  push 3, "list"
  getVariable
  push "attachMovie"
  callMethod
  storeRegister r2
  pop
  push r2, undefined
  equals2
  if done
  push "thumbs", r1
  setVariable
  push true
  storeRegister r4
  pop
  push r2, "page"
  getMember
  push "_visible", false
  setMember
  ; 100 pixels wide, one under the other.
  push r2, "_width"
  getMember
  push "docW"
  getVariable
  push "Width", r1, 4, "dimOf"
  callFunction
  storeRegister r3
  pop
  push r2, "_xscale", 10000, r3
  divide
  setMember
  push r2, "_yscale", 10000, r3
  divide
  setMember
  push r2, "_x", 16
  setMember
  push r2, "_y", "thumbY"
  getVariable
  setMember
  push "thumbY", "thumbY"
  getVariable
  push r2, "_height"
  getMember
  add2
  push 12
  add2
  setVariable
  push r2, "num", r1
  setMember
  push r2, "onRelease", "thumbClick"
  getVariable
  setMember
  jump more
done:
  push r4
  not
  if quiet
  push 0, "markThumb"
  callFunction
  pop
quiet:
end

defineFunction2 thumbClick ()
  push "this"
  getVariable
  push "num"
  getMember
  push 1, "goPage"
  callFunction
  pop
end

; The plate under the current page's thumbnail, scrolled into view.
defineFunction2 markThumb () registers=3
  push "stripOn"
  getVariable
  not
  if done
  push "list"
  getVariable
  push "t", "cur"
  getVariable
  add2
  getMember
  storeRegister r1
  pop
  push "plate"
  getVariable
  push "_visible", r1, undefined
  equals2
  not
  setMember
  push r1, undefined
  equals2
  if done
  push "plate"
  getVariable
  push "_x", r1, "_x"
  getMember
  push 4
  subtract
  setMember
  push "plate"
  getVariable
  push "_y", r1, "_y"
  getMember
  push 4
  subtract
  setMember
  push "plate"
  getVariable
  push "_width", r1, "_width"
  getMember
  push 8
  add2
  setMember
  push "plate"
  getVariable
  push "_height", r1, "_height"
  getMember
  push 8
  add2
  setMember
  ; Above the visible part: scroll up to it; below: scroll down to it.
  push r1, "_y"
  getMember
  push "stripScroll"
  getVariable
  add2
  push 0
  less2
  not
  if notAbove
  push "stripScroll", 0, r1, "_y"
  getMember
  subtract
  setVariable
notAbove:
  push "areaH"
  getVariable
  push 24
  subtract
  push r1, "_y"
  getMember
  push r1, "_height"
  getMember
  add2
  push "stripScroll"
  getVariable
  add2
  less2
  not
  if scrolled
  push "stripScroll", "areaH"
  getVariable
  push 24
  subtract
  push r1, "_y"
  getMember
  push r1, "_height"
  getMember
  add2
  subtract
  setVariable
scrolled:
  push 0, 1, "scrollStrip"
  callFunction
  pop
done:
end

; Scrolls the strip by dy pixels, kept within its thumbnails.
defineFunction2 scrollStrip (dy:r1)
  push "stripOn"
  getVariable
  not
  if done
  push "stripScroll", 0, 0, "areaH"
  getVariable
  push 12
  subtract
  push "thumbY"
  getVariable
  subtract
  push 2, "Math"
  getVariable
  push "min"
  callMethod
  push "stripScroll"
  getVariable
  push r1
  subtract
  push 3, "clamp"
  callFunction
  setVariable
  push "list"
  getVariable
  push "_y", "barH"
  getVariable
  push 12
  add2
  push "stripScroll"
  getVariable
  add2
  setMember
done:
end

; --- input ----------------------------------------------------------------------

; Typing into the page field: Enter goes to the page typed; other keys are
; the field's.
defineFunction2 onKey () registers=4
  push 0, "Key"
  getVariable
  push "getCode"
  callMethod
  storeRegister r1
  pop
  push 0, "Key"
  getVariable
  push "getAscii"
  callMethod
  storeRegister r2
  pop
  push 0, "Selection"
  getVariable
  push "getFocus"
  callMethod
  storeRegister r3
  pop
  push r3, null
  equals2
  if free
  push r3
  getVariable
  push "pageField"
  getVariable
  equals2
  not
  if free
  push r1, 13
  equals2
  not
  if done
  push "pageText"
  getVariable
  push 1, "goPage"
  callFunction
  pop
  push null, 1, "Selection"
  getVariable
  push "setFocus"
  callMethod
  pop
  jump done
free:
  push r1, 37
  equals2
  push r1, 33
  equals2
  or
  not
  if notPrev
  push 0, "goPrev"
  callFunction
  pop
  jump done
notPrev:
  push r1, 39
  equals2
  push r1, 34
  equals2
  or
  not
  if notNext
  push 0, "goNext"
  callFunction
  pop
  jump done
notNext:
  push r1, 38
  equals2
  not
  if notUp
  push -40, 1, "scroll"
  callFunction
  pop
  jump done
notUp:
  push r1, 40
  equals2
  not
  if notDown
  push 40, 1, "scroll"
  callFunction
  pop
  jump done
notDown:
  push r1, 36
  equals2
  not
  if notHome
  push 0, "goFirst"
  callFunction
  pop
  jump done
notHome:
  push r1, 35
  equals2
  not
  if notEnd
  push 0, "goLast"
  callFunction
  pop
  jump done
notEnd:
  ; + (and = beside it, and the keypad's) zooms in; - zooms out.
  push r2, 43
  equals2
  push r2, 61
  equals2
  or
  push r1, 107
  equals2
  or
  not
  if notPlus
  push 2, 1, "zoomBy"
  callFunction
  pop
  jump done
notPlus:
  push r2, 45
  equals2
  push r2, 95
  equals2
  or
  push r1, 109
  equals2
  or
  not
  if done
  push 0.5, 1, "zoomBy"
  callFunction
  pop
done:
end

; The wheel scrolls; with Ctrl held, or over the zoom buttons, it zooms.
defineFunction2 onWheel (delta:r1) registers=4
  push "_root"
  getVariable
  push "_xmouse"
  getMember
  storeRegister r2
  pop
  push "_root"
  getVariable
  push "_ymouse"
  getMember
  storeRegister r3
  pop
  push r2, "areaX"
  getVariable
  less2
  not
  if notStrip
  push r3, "barH"
  getVariable
  less2
  if notStrip
  push r1, -40
  multiply
  push 1, "scrollStrip"
  callFunction
  pop
  jump done
notStrip:
  push 17, 1, "Key"
  getVariable
  push "isDown"
  callMethod
  if zoom
  push r3, "barH"
  getVariable
  less2
  not
  if scrolling
  push "btnZoomIn"
  getVariable
  push "_visible"
  getMember
  not
  if scrolling
  push r2, "zoomLeft"
  getVariable
  less2
  if scrolling
  push "zoomRight"
  getVariable
  push r2
  less2
  if scrolling
zoom:
  push 0, r1
  less2
  if bigger
  push 0.8, 1, "zoomBy"
  callFunction
  pop
  jump done
bigger:
  push 1.25, 1, "zoomBy"
  callFunction
  pop
  jump done
scrolling:
  push r1, -40
  multiply
  push 1, "scroll"
  callFunction
  pop
done:
end

; Dragging the page: a press below the toolbar starts it.
defineFunction2 onDown ()
  push "_root"
  getVariable
  push "_ymouse"
  getMember
  push "barH"
  getVariable
  less2
  if done
  push "_root"
  getVariable
  push "_xmouse"
  getMember
  push "areaX"
  getVariable
  less2
  if done
  push null, 1, "Selection"
  getVariable
  push "setFocus"
  callMethod
  pop
  push "dragging", true
  setVariable
  push "dragX", "_root"
  getVariable
  push "_xmouse"
  getMember
  setVariable
  push "dragY", "_root"
  getVariable
  push "_ymouse"
  getMember
  setVariable
  push "startX", "px"
  getVariable
  setVariable
  push "startY", "py"
  getVariable
  setVariable
done:
end

defineFunction2 onMove ()
  push "dragging"
  getVariable
  not
  if done
  push "px", "startX"
  getVariable
  push "_root"
  getVariable
  push "_xmouse"
  getMember
  add2
  push "dragX"
  getVariable
  subtract
  setVariable
  push "py", "startY"
  getVariable
  push "_root"
  getVariable
  push "_ymouse"
  getMember
  add2
  push "dragY"
  getVariable
  subtract
  setVariable
  push 0, "place"
  callFunction
  pop
done:
end

defineFunction2 onUp ()
  push "dragging", false
  setVariable
end

; --- start ----------------------------------------------------------------------

push "barH", 36
setVariable
push "docW", 0, "docWidth"
getVariable
push 2, "num"
callFunction
setVariable
push "docH", 0, "docHeight"
getVariable
push 2, "num"
callFunction
setVariable
push "total", 1, 1, "totalPages"
getVariable
push 2, "num"
callFunction
push 1, "Math"
getVariable
push "floor"
callMethod
push 2, "Math"
getVariable
push "max"
callMethod
setVariable
push "tbColor", 0x3B4A5C, "toolbarColor"
getVariable
push 2, "colorOf"
callFunction
setVariable
push "bgColor", 0x7A808A, "backgroundColor"
getVariable
push 2, "colorOf"
callFunction
setVariable
; The strip of thumbnails: the background at half its brightness.
push "stripColor", "bgColor"
getVariable
push 1
bitRShift
push 0x7F7F7F
bitAnd
setVariable
push "shown", 0
setVariable
push "cur", 0
setVariable
push "zoom", 1
setVariable
push "px", 0
setVariable
push "py", 0
setVariable
push "pw", 1
setVariable
push "ph", 1
setVariable
push "areaW", 1
setVariable
push "areaH", 1
setVariable
push "zoomLeft", 0
setVariable
push "areaX", 0
setVariable
push "stripOn", false
setVariable
push "thumbs", 0
setVariable
push "thumbY", 0
setVariable
push "stripScroll", 0
setVariable
push "panel", null
setVariable
push "list", null
setVariable
push "plate", null
setVariable
push "zoomRight", 0
setVariable
push "dragging", false
setVariable
push "dragX", 0
setVariable
push "dragY", 0
setVariable
push "startX", 0
setVariable
push "startY", 0
setVariable
push "ofText", "of ", "total"
getVariable
add2
setVariable

; The initial zoom: fit page, fit width or actual size.
push "mode", "page"
setVariable
push "initialZoom"
getVariable
push "width"
strictEquals
push "initialZoom"
getVariable
push "actual"
strictEquals
or
not
if modeSet
push "mode", "initialZoom"
getVariable
setVariable
modeSet:

; Which buttons show.
push "btnFirst"
getVariable
push "_visible", "showFirstLast"
getVariable
push 1, "flagOn"
callFunction
setMember
push "btnLast"
getVariable
push "_visible", "showFirstLast"
getVariable
push 1, "flagOn"
callFunction
setMember
push "pageField"
getVariable
push "_visible", "showPageField"
getVariable
push 1, "flagOn"
callFunction
setMember
push "btnZoomOut"
getVariable
push "_visible", "showZoom"
getVariable
push 1, "flagOn"
callFunction
setMember
push "btnZoomIn"
getVariable
push "_visible", "showZoom"
getVariable
push 1, "flagOn"
callFunction
setMember
push "btnFitWidth"
getVariable
push "_visible", "showFit"
getVariable
push 1, "flagOn"
callFunction
setMember
push "btnFitPage"
getVariable
push "_visible", "showFit"
getVariable
push 1, "flagOn"
callFunction
setMember
push "btnActual"
getVariable
push "_visible", "showFit"
getVariable
push 1, "flagOn"
callFunction
setMember
push "items", "btnActual", "btnFitPage", "btnFitWidth", "|", "btnZoomIn", "btnZoomOut", "|", "btnLast", "btnNext", "ofField", "pageField", "btnPrev", "btnFirst", 13
initArray
setVariable

; The toolbar colour, the page area below it and the pages' clip.
push "tbColor"
getVariable
push 1, "bar"
getVariable
push 1, "Color"
newObject
push "setRGB"
callMethod
pop
push 1, "backdrop", 2, "_root"
getVariable
push "createEmptyMovieClip"
callMethod
pop
push 2, "view", 2, "_root"
getVariable
push "createEmptyMovieClip"
callMethod
pop
push 3, "strip", 2, "_root"
getVariable
push "createEmptyMovieClip"
callMethod
pop

; Listeners: the window, the keyboard and the mouse.
push "onResize", "layout"
getVariable
push 1
initObject
push 1, "Stage"
getVariable
push "addListener"
callMethod
pop
push "onKeyDown", "onKey"
getVariable
push 1
initObject
push 1, "Key"
getVariable
push "addListener"
callMethod
pop
push "onMouseWheel", "onWheel"
getVariable
push "onMouseDown", "onDown"
getVariable
push "onMouseMove", "onMove"
getVariable
push "onMouseUp", "onUp"
getVariable
push 4
initObject
push 1, "Mouse"
getVariable
push "addListener"
callMethod
pop

push "onEnterFrame", "tick"
getVariable
setVariable
push 0, "layout"
callFunction
pop
push "initialPage"
getVariable
push 1, "goPage"
callFunction
pop
