; The progress movies' script. The player host sets Text, PageNum and
; PageTotal on _root: through FlashVars when it loads the movie, later
; through the SetVariable callback registered below (the stand-in for the
; player control's own SetVariable).

; The panel keeps its size and stays in the middle of the window.
push "Stage"
getVariable
push "scaleMode", "noScale"
setMember
push "Stage"
getVariable
push "align", "TL"
setMember

defineFunction2 layout ()
  push "panel"
  getVariable
  push "_x"
  push "Stage"
  getVariable
  push "width"
  getMember
  push 2
  divide
  push 1, "Math"
  getVariable
  push "round"
  callMethod
  setMember
  push "panel"
  getVariable
  push "_y"
  push "Stage"
  getVariable
  push "height"
  getMember
  push 2
  divide
  push 1, "Math"
  getVariable
  push "round"
  callMethod
  setMember
end

; Bar or runner, and the page counter, from the variables' current values.
defineFunction2 update () registers=5
  push "_root"
  getVariable
  push "PageTotal"
  getMember
  toNumber
  storeRegister r1
  pop
  push "_root"
  getVariable
  push "PageNum"
  getMember
  toNumber
  storeRegister r2
  pop
  push "panel"
  getVariable
  push "bar"
  getMember
  push "_visible", 0, r1
  less2
  not
  not
  setMember
  push "panel"
  getVariable
  push "runner"
  getMember
  push "_visible", 0, r1
  less2
  not
  setMember
  push 0, r1
  less2
  not
  if unknown

  ; A known total: the bar's share, kept within 0..100 (NaN counts as 0).
  push r2, r1
  divide
  push 100
  multiply
  storeRegister r3
  pop
  push 0, r3
  less2
  if positive
  push 0
  storeRegister r3
  pop
positive:
  push 100, r3
  less2
  not
  if within
  push 100
  storeRegister r3
  pop
within:
  push "panel"
  getVariable
  push "bar"
  getMember
  push "fill"
  getMember
  push "_xscale", r3
  setMember
  jump pages

  ; No total: the runner goes to and fro along the track.
unknown:
  getTime
  push 4
  divide
  push 480
  modulo
  storeRegister r4
  pop
  push r4, 240
  less2
  if forward
  push 480, r4
  subtract
  storeRegister r4
  pop
forward:
  push "panel"
  getVariable
  push "runner"
  getMember
  push "_x", r4
  setMember

pages:
  push "panel"
  getVariable
  push "pages"
  getMember
  push "_visible", 0, r2
  less2
  not
  not
  setMember
  push "panel"
  getVariable
  push "pages"
  getMember
  push "counted"
  getMember
  push "_visible", 0, r1
  less2
  not
  not
  setMember
  push "panel"
  getVariable
  push "pages"
  getMember
  push "alone"
  getMember
  push "_visible", 0, r1
  less2
  not
  setMember
end

; Stage.addListener({onResize: function () { layout(); }})
push "onResize"
defineFunction2 ()
  push 0, "layout"
  callFunction
  pop
end
push 1
initObject
push 1, "Stage"
getVariable
push "addListener"
callMethod
pop

; ExternalInterface.addCallback("SetVariable", null, function (name, value) {...})
defineFunction2 (name:r1, value:r2)
  push "_root"
  getVariable
  push r1, r2
  setMember
  push 0, "update"
  callFunction
  pop
end
push null, "SetVariable", 3, "flash"
getVariable
push "external"
getMember
push "ExternalInterface"
getMember
push "addCallback"
callMethod
pop

push "onEnterFrame", "update"
getVariable
setVariable
push 0, "layout"
callFunction
pop
push 0, "update"
callFunction
pop
stop
