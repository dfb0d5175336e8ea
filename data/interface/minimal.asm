; The minimal viewer's script: one page at a time, fitted into the window.

push "Stage"
getVariable
push "scaleMode", "noScale"
setMember
push "Stage"
getVariable
push "align", "TL"
setMember

; dim(n, "Width" | "Height"): the page's size in pixels; the document's when
; the page has none of its own (the converter sets only those that differ).
defineFunction2 dim (n:r1, what:r2)
  push "page", r1
  add2
  push r2
  add2
  getVariable
  toNumber
  storeRegister r3
  pop
  push 0, r3
  less2
  if done
  push "doc", r2
  add2
  getVariable
  toNumber
  storeRegister r3
  pop
  push 0, r3
  less2
  if done
  push 100
  storeRegister r3
  pop
done:
  push r3
  return
end

; The page as large as the window allows beside the arrows, centred.
defineFunction2 layout ()
  push "Width", "shown"
  getVariable
  push 2, "dim"
  callFunction
  storeRegister r1
  pop
  push "Height", "shown"
  getVariable
  push 2, "dim"
  callFunction
  storeRegister r2
  pop
  push "Stage"
  getVariable
  push "width"
  getMember
  storeRegister r3
  pop
  push "Stage"
  getVariable
  push "height"
  getMember
  storeRegister r4
  pop
  ; scale r5 = min((width - 112) / w, (height - 16) / h), at least 0.05
  push r3, 112
  subtract
  push r1
  divide
  storeRegister r5
  pop
  push r4, 16
  subtract
  push r2
  divide
  storeRegister r6
  pop
  push r6, r5
  less2
  not
  if keep
  push r6
  storeRegister r5
  pop
keep:
  push 0.05, r5
  less2
  if big
  push 0.05
  storeRegister r5
  pop
big:
  push "view"
  getVariable
  push "_xscale", r5, 100
  multiply
  setMember
  push "view"
  getVariable
  push "_yscale", r5, 100
  multiply
  setMember
  push "view"
  getVariable
  push "_x", r3, r1, r5
  multiply
  subtract
  push 2
  divide
  push 1, "Math"
  getVariable
  push "round"
  callMethod
  setMember
  push "view"
  getVariable
  push "_y", r4, r2, r5
  multiply
  subtract
  push 2
  divide
  push 1, "Math"
  getVariable
  push "round"
  callMethod
  setMember
  ; the arrows at the sides, each only where there is a page to go to
  push "prevButton"
  getVariable
  push "_x", 28
  setMember
  push "prevButton"
  getVariable
  push "_y", r4, 2
  divide
  setMember
  push "nextButton"
  getVariable
  push "_x", r3, 28
  subtract
  setMember
  push "nextButton"
  getVariable
  push "_y", r4, 2
  divide
  setMember
  push "prevButton"
  getVariable
  push "_visible", 1, "shown"
  getVariable
  less2
  setMember
  push "nextButton"
  getVariable
  push "_visible", "shown"
  getVariable
  push "totalPages"
  getVariable
  less2
  setMember
end

; show(n): page n (kept within the document) in the view.
defineFunction2 show (n:r1)
  push "totalPages"
  getVariable
  push r1
  less2
  not
  if notAbove
  push "totalPages"
  getVariable
  storeRegister r1
  pop
notAbove:
  push r1, 1
  less2
  not
  if notBelow
  push 1
  storeRegister r1
  pop
notBelow:
  push 1, "current", "page", r1
  add2
  push 3, "view"
  getVariable
  push "attachMovie"
  callMethod
  pop
  push "shown", r1
  setVariable
  push 0, "layout"
  callFunction
  pop
end

defineFunction2 turn (d:r1)
  push "shown"
  getVariable
  push r1
  add2
  push 1, "show"
  callFunction
  pop
end

; Keys: Right and Page Down forward, Left and Page Up back, Home and End.
push "onKeyDown"
defineFunction2 ()
  push 0, "Key"
  getVariable
  push "getCode"
  callMethod
  storeRegister r1
  pop
  push r1, 39
  equals2
  push r1, 34
  equals2
  or
  not
  if notForward
  push 1, 1, "turn"
  callFunction
  pop
notForward:
  push r1, 37
  equals2
  push r1, 33
  equals2
  or
  not
  if notBack
  push -1, 1, "turn"
  callFunction
  pop
notBack:
  push r1, 36
  equals2
  not
  if notHome
  push 1, 1, "show"
  callFunction
  pop
notHome:
  push r1, 35
  equals2
  not
  if notEnd
  push "totalPages"
  getVariable
  push 1, "show"
  callFunction
  pop
notEnd:
end
push 1
initObject
push 1, "Key"
getVariable
push "addListener"
callMethod
pop

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

; A page whose frame has not arrived yet is attached when it has.
push "onEnterFrame"
defineFunction2 ()
  push "view"
  getVariable
  push "current"
  getMember
  if present
  push "shown"
  getVariable
  push 1, "show"
  callFunction
  pop
present:
end
setVariable

push 1, 1, "show"
callFunction
pop
stop
