// The built-in test document printed through the printer driver with page
// images, converted into a movie and played: every page's frame in the
// player shows the page image the graphics layer rendered.
import { describe, it, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFile } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import zlib from 'node:zlib';
import {
  scratchDir,
  parseSwfStrict,
  renderSwf,
  closeBrowser,
  savePng,
  binDir,
  sourceDir,
  topLevelTags,
} from './lib/index.mjs';

const PAGES = 3;
// 72 dpi: a Letter page is 612 x 792 device pixels, and one device pixel is
// one twip, so the player at 20 times the stage shows one page pixel per
// screen pixel.
const DPI = 72;

function run(file, args, env) {
  return new Promise((resolve) => {
    execFile(file, args, { env: { ...process.env, ...env }, timeout: 120_000 }, (err, stdout, stderr) =>
      resolve({ code: err ? err.code ?? -1 : 0, stdout, stderr }),
    );
  });
}

// A value of the value store (one file a value, type line then text).
function writeValue(root, name, type, text) {
  fs.mkdirSync(root, { recursive: true });
  fs.writeFileSync(path.join(root, name.toLowerCase()), `${type}\n${text}`);
}

// A bag file's pixels as { width, height, data (RGBA) }: the signature and
// version, then records of (type, length, width, rows, zlib rows of RGB
// padded to 4 bytes).
function readBag(file) {
  const bytes = fs.readFileSync(file);
  assert.equal(bytes.toString('latin1', 1, 4).toLowerCase(), 'bag', `${file} signature`);
  let p = 8;
  let width = 0;
  const bands = [];
  while (p < bytes.length) {
    const length = bytes.readUInt32BE(p + 4);
    width = bytes.readUInt32BE(p + 8);
    const rows = bytes.readUInt32BE(p + 12);
    bands.push({ rows, data: zlib.inflateSync(bytes.subarray(p + 16, p + 8 + length)) });
    p += 8 + length;
  }
  const stride = (width * 3 + 3) & ~3;
  const height = bands.reduce((n, b) => n + b.rows, 0);
  const data = new Uint8Array(width * height * 4);
  let y = 0;
  for (const band of bands) {
    for (let r = 0; r < band.rows; r++, y++) {
      for (let x = 0; x < width; x++) {
        const s = r * stride + x * 3;
        const d = (y * width + x) * 4;
        data[d] = band.data[s];
        data[d + 1] = band.data[s + 1];
        data[d + 2] = band.data[s + 2];
        data[d + 3] = 255;
      }
    }
  }
  return { width, height, data };
}

// The movie stopped on frame n (0-based): GotoFrame(n) and Stop before the
// first ShowFrame of the main timeline.
function onFrame(bytes, n) {
  const first = topLevelTags(bytes).find((t) => t.code === 1);
  if (!first) throw new Error('no ShowFrame');
  const action = Buffer.from([0x07, 0x03, 0x81, 0x02, 0x00, n & 0xff, n >> 8, 0x07, 0x00]);
  const out = Buffer.concat([bytes.subarray(0, first.start), action, bytes.subarray(first.start)]);
  out.writeUInt32LE(out.length, 4);
  return out;
}

// The top-left width x height pixels of an image.
function crop(image, width, height) {
  const data = new Uint8Array(width * height * 4);
  for (let y = 0; y < height; y++) {
    data.set(image.data.subarray(y * image.width * 4, (y * image.width + width) * 4), y * width * 4);
  }
  return { width, height, data };
}

const luma = (d, i) => 0.299 * d[i] + 0.587 * d[i + 1] + 0.114 * d[i + 2];

// Mean SSIM of the luminance over 8 x 8 windows (step 4).
function ssim(a, b) {
  const c1 = (0.01 * 255) ** 2;
  const c2 = (0.03 * 255) ** 2;
  let total = 0;
  let windows = 0;
  for (let y = 0; y + 8 <= a.height; y += 4) {
    for (let x = 0; x + 8 <= a.width; x += 4) {
      let sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
      for (let j = 0; j < 8; j++) {
        for (let i = 0; i < 8; i++) {
          const k = ((y + j) * a.width + x + i) * 4;
          const va = luma(a.data, k);
          const vb = luma(b.data, k);
          sa += va; sb += vb; saa += va * va; sbb += vb * vb; sab += va * vb;
        }
      }
      const ma = sa / 64, mb = sb / 64;
      const va = saa / 64 - ma * ma, vb = sbb / 64 - mb * mb, cov = sab / 64 - ma * mb;
      total += ((2 * ma * mb + c1) * (2 * cov + c2)) / ((ma * ma + mb * mb + c1) * (va + vb + c2));
      windows++;
    }
  }
  return total / windows;
}

// Share of pixels whose channels all lie within `tolerance`.
function matchingShare(a, b, tolerance) {
  let same = 0;
  for (let i = 0; i < a.data.length; i += 4) {
    if (Math.abs(a.data[i] - b.data[i]) <= tolerance && Math.abs(a.data[i + 1] - b.data[i + 1]) <= tolerance &&
        Math.abs(a.data[i + 2] - b.data[i + 2]) <= tolerance) same++;
  }
  return same / (a.data.length / 4);
}

describe('the test document printed through the driver and played', () => {
  let scratch;
  let job;
  let movie;

  before(async () => {
    scratch = await scratchDir();
    // A printer of the test's own: page images kept losslessly, no border,
    // no interface, each page on a frame.
    const registry = path.join(scratch.dir, 'registry');
    writeValue(registry, 'BasePath', 'sz', `${sourceDir}/data/`);
    writeValue(registry, 'MSEncodeFlags', 'dword', '1');
    writeValue(registry, 'MSImageEncodeJPEGQuality', 'dword', '0');
    writeValue(registry, 'MSLayoutName', 'sz', 'No border');
    movie = path.join(scratch.dir, 'document.swf');
    const result = await run(
      path.join(binDir, 'tessaly-print'),
      ['--test-document', '--image', '--dpi', String(DPI), '--spool', path.join(scratch.dir, 'spool'), '-o', movie],
      { TESSALY_REGISTRY_ROOT: registry },
    );
    assert.equal(result.code, 0, result.stderr);
    job = result.stdout.trim();
  });

  after(async () => {
    await closeBrowser();
    await scratch?.cleanup();
  });

  it('writes a job of three page images and a movie that parses strictly', () => {
    assert.equal(fs.readFileSync(path.join(job, '_status'), 'latin1'), `end:${PAGES}`);
    for (let n = 0; n < PAGES; n++) assert.ok(fs.existsSync(path.join(job, `altpage${n}.bag`)), `page ${n}`);
    parseSwfStrict(movie);
  });

  for (let n = 0; n < PAGES; n++) {
    it(`shows page ${n + 1} as the layer rendered it`, async () => {
      const page = readBag(path.join(job, `altpage${n}.bag`));
      // Letter from the driver's paper table, 215899 x 279400 micrometres:
      // 8.5 x 11 inches.
      assert.deepEqual([page.width, page.height], [612, 792]);
      const stopped = path.join(scratch.dir, `page${n}.swf`);
      fs.writeFileSync(stopped, onFrame(fs.readFileSync(movie), n));
      // The player takes the stage as whole pixels (30 x 39 for 612 x 792
      // twips), so it is shown at that size times 20 and compared with the
      // part of the page image it covers.
      const shown = { width: Math.floor(page.width / 20) * 20, height: Math.floor(page.height / 20) * 20 };
      const image = await renderSwf(stopped, shown);
      const expected = crop(page, shown.width, shown.height);
      await savePng(image, path.join(binDir, '..', 'player-artifacts', `print-page${n + 1}.png`)).catch(() => {});
      await savePng(expected, path.join(binDir, '..', 'player-artifacts', `print-page${n + 1}-expected.png`)).catch(() => {});
      const score = ssim(image, expected);
      const share = matchingShare(image, expected, 8);
      console.log(`page ${n + 1}: SSIM ${score.toFixed(5)}, ${(share * 100).toFixed(2)}% of pixels within 8`);
      assert.ok(score > 0.99, `page ${n + 1}: SSIM ${score}`);
      assert.ok(share > 0.99, `page ${n + 1}: only ${(share * 100).toFixed(2)}% of pixels match`);
    });
  }
});
