// Writes tiny SWF movies by hand, independently of the project's encoder, so
// that the harness itself can be checked against movies whose every byte is
// known: a background colour and rectangles or polylines (solid fill,
// optional line), each its own DefineShape placed with PlaceObject, in one
// frame.

class BitWriter {
  constructor() {
    this.bytes = [];
    this.bitPos = 0; // bits used in the last byte (0 = aligned)
  }
  bits(value, count) {
    for (let i = count - 1; i >= 0; i--) {
      if (this.bitPos === 0) this.bytes.push(0);
      const bit = (value >>> i) & 1; // two's complement for negative values
      this.bytes[this.bytes.length - 1] |= bit << (7 - this.bitPos);
      this.bitPos = (this.bitPos + 1) % 8;
    }
  }
  align() {
    this.bitPos = 0;
  }
  u8(v) {
    this.align();
    this.bytes.push(v & 0xff);
  }
  u16(v) {
    this.u8(v);
    this.u8(v >>> 8);
  }
  u32(v) {
    this.u16(v & 0xffff);
    this.u16(v >>> 16);
  }
  rgb(c) {
    this.u8(c >>> 16);
    this.u8(c >>> 8);
    this.u8(c);
  }
  buffer() {
    return Buffer.from(this.bytes);
  }
}

/** Bits needed to hold every given value as a signed number. */
function signedBits(...values) {
  let n = 1;
  for (const v of values) {
    const magnitude = v < 0 ? -v - 1 : v;
    let b = 1;
    while (magnitude >= 2 ** (b - 1)) b++;
    n = Math.max(n, b);
  }
  return n;
}

function rect(w, [xmin, ymin, xmax, ymax]) {
  const n = signedBits(xmin, ymin, xmax, ymax);
  w.bits(n, 5);
  for (const v of [xmin, xmax, ymin, ymax]) w.bits(v, n);
  w.align();
}

function edge(w, dx, dy) {
  const n = Math.max(2, signedBits(dx, dy));
  w.bits(1, 1); // edge record
  w.bits(1, 1); // straight
  w.bits(n - 2, 4);
  if (dx !== 0 && dy !== 0) {
    w.bits(1, 1); // general line
    w.bits(dx, n);
    w.bits(dy, n);
  } else {
    w.bits(0, 1);
    w.bits(dx === 0 ? 1 : 0, 1); // vertical?
    w.bits(dx === 0 ? dy : dx, n);
  }
}

function tag(out, code, body) {
  if (body.length < 0x3f) {
    out.u16((code << 6) | body.length);
  } else {
    out.u16((code << 6) | 0x3f);
    out.u32(body.length);
  }
  for (const b of body) out.u8(b);
}

/**
 * A DefineShape body for the path `points` ([[x, y], …] in twips, closed when
 * the last point is the first), filled with `fill` (0xRRGGBB, or null for
 * none) on its right-hand side and stroked with `line` ({ width, color }, or
 * null).
 */
function defineShape(id, points, fill, line) {
  const w = new BitWriter();
  w.u16(id);
  const pad = line ? Math.ceil(line.width / 2) : 0;
  const xs = points.map((p) => p[0]);
  const ys = points.map((p) => p[1]);
  rect(w, [Math.min(...xs) - pad, Math.min(...ys) - pad, Math.max(...xs) + pad, Math.max(...ys) + pad]);
  const fills = fill == null ? [] : [fill];
  w.u8(fills.length);
  for (const c of fills) {
    w.u8(0x00); // solid fill
    w.rgb(c);
  }
  const lines = line ? [line] : [];
  w.u8(lines.length);
  for (const l of lines) {
    w.u16(l.width);
    w.rgb(l.color);
  }
  const fillBits = fills.length ? 1 : 0;
  const lineBits = lines.length ? 1 : 0;
  w.align();
  w.bits(fillBits, 4);
  w.bits(lineBits, 4);
  // Style change: move to the first point and select the styles.
  w.bits(0, 1); // non-edge record
  w.bits(0, 1); // no new styles
  w.bits(lineBits ? 1 : 0, 1); // line style
  w.bits(fillBits ? 1 : 0, 1); // fill style 1
  w.bits(0, 1); // fill style 0
  w.bits(1, 1); // move to
  const [x0, y0] = points[0];
  const mb = signedBits(x0, y0);
  w.bits(mb, 5);
  w.bits(x0, mb);
  w.bits(y0, mb);
  if (fillBits) w.bits(1, fillBits);
  if (lineBits) w.bits(1, lineBits);
  for (let i = 1; i < points.length; i++) {
    edge(w, points[i][0] - points[i - 1][0], points[i][1] - points[i - 1][1]);
  }
  w.bits(0, 6); // end of shape
  w.align();
  return w.bytes;
}

/**
 * Returns the bytes of an uncompressed SWF movie of one frame.
 *   width, height: frame size in pixels; background: 0xRRGGBB;
 *   rects: shapes, each { rect: [x1, y1, x2, y2] } or { points: [[x, y], …] }
 *          (twips) with optional fill and line; version (5).
 */
export function makeSwf({ width, height, background = 0xffffff, rects = [], version = 5, frameRate = 12 }) {
  const body = new BitWriter();
  rect(body, [0, 0, width * 20, height * 20]);
  body.u16(frameRate << 8);
  body.u16(1); // frame count

  const bg = new BitWriter();
  bg.rgb(background);
  tag(body, 9, bg.bytes);

  rects.forEach((r, i) => {
    const id = i + 1;
    let points = r.points;
    if (r.rect) {
      // Clockwise on screen, so the fill (style 1) is inside.
      const [x1, y1, x2, y2] = r.rect;
      points = [[x1, y1], [x2, y1], [x2, y2], [x1, y2], [x1, y1]];
    }
    tag(body, 2, defineShape(id, points, r.fill ?? null, r.line ?? null));
    const place = new BitWriter();
    place.u16(id);
    place.u16(i + 1); // depth
    place.u8(0); // identity matrix
    tag(body, 4, place.bytes);
  });
  tag(body, 1, []); // ShowFrame
  tag(body, 0, []); // End

  const movie = body.buffer();
  const header = Buffer.alloc(8);
  header.write('FWS', 0, 'latin1');
  header[3] = version;
  header.writeUInt32LE(8 + movie.length, 4);
  return Buffer.concat([header, movie]);
}
