// Text ink compared between two renderings of the same page.
import assert from 'node:assert/strict';

/** 1 where the pixel of `box` is nearer to `ink` than to `background`, else 0. */
function inkMask(image, ink, background, [x1, y1, x2, y2]) {
  const w = x2 - x1;
  const mask = new Uint8Array(w * (y2 - y1));
  const ch = (c, s) => (c >>> s) & 0xff;
  for (let y = y1; y < y2; y++) {
    for (let x = x1; x < x2; x++) {
      const i = (y * image.width + x) * 4;
      let toInk = 0;
      let toBg = 0;
      for (const [k, s] of [[0, 16], [1, 8], [2, 0]]) {
        toInk += Math.abs(image.data[i + k] - ch(ink, s));
        toBg += Math.abs(image.data[i + k] - ch(background, s));
      }
      mask[(y - y1) * w + (x - x1)] = toInk < toBg ? 1 : 0;
    }
  }
  return { mask, w, h: y2 - y1 };
}

/**
 * The overlap measure: the fraction of one image's ink pixels that have ink
 * of the other image within one pixel (the 3 × 3 neighbourhood), taken both
 * ways, in the box [x1, y1, x2, y2) of pixels. Two renderers of the same
 * unhinted outlines differ by which side of the half-coverage line an edge
 * pixel falls and by glyph origins rounded to whole twips (a twentieth of a
 * pixel per glyph, well under a pixel over a line): one pixel of slack
 * absorbs both. A threshold of 0.97 leaves room for the odd thin serif or
 * hairline that one rasteriser shows at just under half coverage and the
 * other at just over, while a wrong font, a wrong size (a few per cent
 * changes every advance) or a line moved by two pixels drops the measure far
 * below it.
 * Returns { rendered, reference }, each { ink, fraction }.
 */
export function inkOverlap(rendered, reference, box, { ink = 0, background = 0xffffff } = {}) {
  const a = inkMask(rendered, ink, background, box);
  const r = inkMask(reference, ink, background, box);
  const near = (m, x, y) => {
    for (let dy = -1; dy <= 1; dy++) {
      for (let dx = -1; dx <= 1; dx++) {
        const nx = x + dx;
        const ny = y + dy;
        if (nx >= 0 && ny >= 0 && nx < m.w && ny < m.h && m.mask[ny * m.w + nx]) return true;
      }
    }
    return false;
  };
  const covered = (from, to) => {
    let count = 0;
    let hit = 0;
    for (let y = 0; y < from.h; y++) {
      for (let x = 0; x < from.w; x++) {
        if (!from.mask[y * from.w + x]) continue;
        count++;
        if (near(to, x, y)) hit++;
      }
    }
    return { ink: count, fraction: count ? hit / count : 0 };
  };
  return { rendered: covered(a, r), reference: covered(r, a) };
}

export const OVERLAP_THRESHOLD = 0.97;

/** The measure as a line of figures: "99.1% of 1234 / 98.7% of 1250". */
export const describeOverlap = ({ rendered, reference }) =>
  `${(100 * rendered.fraction).toFixed(1)}% of ${rendered.ink} / ${(100 * reference.fraction).toFixed(1)}% of ${reference.ink}`;

/** Fails unless both ways reach the threshold and the reference has ink. */
export function assertOverlap(result, what) {
  const { rendered, reference } = result;
  assert.ok(reference.ink > 50, `${what}: the reference has almost no ink (${reference.ink} px)`);
  assert.ok(
    rendered.fraction >= OVERLAP_THRESHOLD && reference.fraction >= OVERLAP_THRESHOLD,
    `${what}: ${(100 * rendered.fraction).toFixed(1)}% of the movie's ${rendered.ink} ink pixels lie within 1 px of the reference's ink, ` +
      `${(100 * reference.fraction).toFixed(1)}% of the reference's ${reference.ink} within 1 px of the movie's (need ${100 * OVERLAP_THRESHOLD}% both ways)`,
  );
}
