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

// Grey levels (ITU-R BT.601 weights) of an RGBA image.
function greyLevels(image) {
  const out = new Float32Array(image.width * image.height);
  const d = image.data;
  for (let i = 0, k = 0; i < out.length; i++, k += 4) out[i] = 0.299 * d[k] + 0.587 * d[k + 1] + 0.114 * d[k + 2];
  return out;
}

// A separable Gaussian blur of a grey image (edges repeat their last pixel).
function gaussianBlur(grey, width, height, sigma) {
  const radius = Math.ceil(3 * sigma);
  const kernel = new Float32Array(2 * radius + 1);
  let sum = 0;
  for (let i = -radius; i <= radius; i++) sum += kernel[i + radius] = Math.exp(-(i * i) / (2 * sigma * sigma));
  for (let i = 0; i < kernel.length; i++) kernel[i] /= sum;
  const pass = (src, dst, along) => {
    const [len, count, stepAlong, stepAcross] = along ? [width, height, 1, width] : [height, width, width, 1];
    for (let c = 0; c < count; c++) {
      const base = c * stepAcross;
      for (let p = 0; p < len; p++) {
        let v = 0;
        for (let k = -radius; k <= radius; k++) {
          const q = Math.min(len - 1, Math.max(0, p + k));
          v += kernel[k + radius] * src[base + q * stepAlong];
        }
        dst[base + p * stepAlong] = v;
      }
    }
  };
  const tmp = new Float32Array(grey.length);
  const out = new Float32Array(grey.length);
  pass(grey, tmp, true);
  pass(tmp, out, false);
  return out;
}

/**
 * Mean structural similarity of two same-sized RGBA images on their grey
 * levels: both blurred with a Gaussian of `sigma` pixels first (0: none),
 * then 8 x 8 windows every `step` pixels. 1 means identical.
 */
export function ssim(a, b, { sigma = 1, step = 4 } = {}) {
  if (a.width !== b.width || a.height !== b.height) {
    throw new RangeError(`images differ in size: ${a.width}x${a.height} and ${b.width}x${b.height}`);
  }
  const { width, height } = a;
  let ga = greyLevels(a);
  let gb = greyLevels(b);
  if (sigma > 0) {
    ga = gaussianBlur(ga, width, height, sigma);
    gb = gaussianBlur(gb, width, height, sigma);
  }
  const c1 = (0.01 * 255) ** 2;
  const c2 = (0.03 * 255) ** 2;
  let total = 0;
  let windows = 0;
  for (let y = 0; y + 8 <= height; y += step) {
    for (let x = 0; x + 8 <= width; x += step) {
      let sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
      for (let j = 0; j < 8; j++) {
        let k = (y + j) * width + x;
        for (let i = 0; i < 8; i++, k++) {
          const va = ga[k];
          const vb = gb[k];
          sa += va; sb += vb; saa += va * va; sbb += vb * vb; sab += va * vb;
        }
      }
      const ma = sa / 64, mb = sb / 64;
      const va = saa / 64 - ma * ma, vb = sbb / 64 - mb * mb, cov = sab / 64 - ma * mb;
      total += ((2 * ma * mb + c1) * (2 * cov + c2)) / ((ma * ma + mb * mb + c1) * (va + vb + c2));
      windows++;
    }
  }
  return windows ? total / windows : 1;
}
