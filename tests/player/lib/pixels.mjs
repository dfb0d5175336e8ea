// Pixel checks on decoded RGBA images ({ width, height, data }). Coordinates
// are movie pixels: (0, 0) is the top-left pixel of the stage.
import assert from 'node:assert/strict';

export function hex(c) {
  return `0x${(c >>> 0).toString(16).padStart(6, '0').toUpperCase()}`;
}

/** The colour at (x, y) as 0xRRGGBB (alpha ignored). */
export function colorAt(image, x, y) {
  if (!Number.isInteger(x) || !Number.isInteger(y) || x < 0 || y < 0 || x >= image.width || y >= image.height) {
    throw new RangeError(`pixel (${x}, ${y}) is outside the ${image.width}x${image.height} image`);
  }
  const i = (y * image.width + x) * 4;
  const d = image.data;
  return (d[i] << 16) | (d[i + 1] << 8) | d[i + 2];
}

/** Largest per-channel difference between two 0xRRGGBB colours. */
export function colorDistance(a, b) {
  return Math.max(
    Math.abs(((a >>> 16) & 0xff) - ((b >>> 16) & 0xff)),
    Math.abs(((a >>> 8) & 0xff) - ((b >>> 8) & 0xff)),
    Math.abs((a & 0xff) - (b & 0xff)),
  );
}

export function colorMatches(image, x, y, expected, tolerance = 2) {
  return colorDistance(colorAt(image, x, y), expected) <= tolerance;
}

/** Asserts that (x, y) has `expected` within `tolerance` per channel. */
export function assertColorAt(image, x, y, expected, { tolerance = 2, what = '' } = {}) {
  const got = colorAt(image, x, y);
  assert.ok(
    colorDistance(got, expected) <= tolerance,
    `${what ? `${what}: ` : ''}pixel (${x}, ${y}) is ${hex(got)}, expected ${hex(expected)} ±${tolerance}`,
  );
}

/**
 * Pixels of the box [x1, x2) × [y1, y2) whose colour is off `expected` by more
 * than `tolerance`: { count, first: [x, y, colour] | null }.
 */
export function boxMismatches(image, [x1, y1, x2, y2], expected, tolerance = 2) {
  let count = 0;
  let first = null;
  for (let y = y1; y < y2; y++) {
    for (let x = x1; x < x2; x++) {
      const c = colorAt(image, x, y);
      if (colorDistance(c, expected) > tolerance) {
        count++;
        first ??= [x, y, c];
      }
    }
  }
  return { count, first };
}

/** Asserts that every pixel of the box [x1, x2) × [y1, y2) has `expected`. */
export function assertBoxColor(image, box, expected, { tolerance = 2, what = '' } = {}) {
  const [x1, y1, x2, y2] = box;
  assert.ok(x2 > x1 && y2 > y1, `empty box ${JSON.stringify(box)}`);
  const { count, first } = boxMismatches(image, box, expected, tolerance);
  assert.equal(
    count,
    0,
    `${what ? `${what}: ` : ''}${count} pixels of box (${x1},${y1})-(${x2},${y2}) differ from ${hex(expected)} ±${tolerance}` +
      (first ? `; first at (${first[0]}, ${first[1]}): ${hex(first[2])}` : ''),
  );
}

/** Mean absolute difference of two same-sized images over R, G and B (0–255). */
export function meanAbsDiff(a, b) {
  if (a.width !== b.width || a.height !== b.height) {
    throw new RangeError(`images differ in size: ${a.width}x${a.height} and ${b.width}x${b.height}`);
  }
  let sum = 0;
  for (let i = 0; i < a.data.length; i += 4) {
    sum += Math.abs(a.data[i] - b.data[i]) + Math.abs(a.data[i + 1] - b.data[i + 1]) + Math.abs(a.data[i + 2] - b.data[i + 2]);
  }
  return sum / ((a.data.length / 4) * 3);
}

/** Movie pixels from twips (20 twips to the pixel). */
export const px = (twips) => twips / 20;
