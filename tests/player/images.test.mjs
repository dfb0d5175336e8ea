// Pages with pictures: the same photo as JPEG and as lossless, a logo whose
// white is made transparent over a coloured background, and the JPEG tables
// shared per quality. The pictures come from PIL (fixtures/make_images.py),
// an encoder that is not ours; the rendered pixels are compared with PIL's
// pixels as pngjs decodes them.
import { describe, it, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFile } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { PNG } from 'pngjs';
import {
  convertPage,
  scratchDir,
  parseSwfStrict,
  renderSwf,
  closeBrowser,
  savePng,
  assertBoxColor,
  binDir,
  tagCodes,
} from './lib/index.mjs';
import { PYTHON } from './lib/reference.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));

// Each picture is shown 1:1 (160 x 120 pixels = 3200 x 2400 twips).
const PAGE = `<Media width="12000" height="8000"><Frame>
<Shape><FillColor side="right" color="#2050A0"/><Rect pos="7000,0" size="5000,8000"/></Shape>
<Image src="photo.png" size="3200,2400" pos="200,200" encoding="jpeg" encodingQuality="90"/>
<Image src="photo.png" size="3200,2400" pos="200,3000" encoding="zlib"/>
<Image src="logo.bmp" fx="alphacolor(#FFFFFF)" size="1600,1600" pos="8000,400" encoding="zlib"/>
<Image src="photo.png" fx="gray" size="1600,1200" pos="3600,200" encoding="jpeg" encodingQuality="90"/>
<Image src="photo.png" fx="blackwhite" size="1600,1200" pos="3600,3000" encoding="jpeg" encodingQuality="60"/>
</Frame></Media>`;

// Mean absolute difference between the rendered box at (x, y) and the source picture.
function differenceFromSource(image, x0, y0, source) {
  let sum = 0;
  for (let y = 0; y < source.height; y++) {
    for (let x = 0; x < source.width; x++) {
      const r = ((y0 + y) * image.width + (x0 + x)) * 4;
      const s = (y * source.width + x) * 4;
      for (let c = 0; c < 3; c++) sum += Math.abs(image.data[r + c] - source.data[s + c]);
    }
  }
  return sum / (source.width * source.height * 3);
}

describe('pictures through the converter and the player', () => {
  let scratch;
  let swfPath;
  let image;
  let photo;

  before(async () => {
    scratch = await scratchDir();
    await new Promise((resolve, reject) =>
      execFile(PYTHON, [path.join(here, 'fixtures', 'make_images.py'), scratch.dir], (err, _o, stderr) =>
        err ? reject(new Error(`PIL fixtures failed (${PYTHON} with python3-pil): ${stderr || err.message}`)) : resolve(),
      ),
    );
    photo = PNG.sync.read(fs.readFileSync(path.join(scratch.dir, 'photo.png')));
    const page = path.join(scratch.dir, 'page.mml');
    fs.writeFileSync(page, PAGE);
    swfPath = path.join(scratch.dir, 'page.swf');
    await convertPage(page, swfPath);
  });

  after(async () => {
    await closeBrowser();
    await scratch?.cleanup();
  });

  it('parses strictly and shares one JPEGTables tag per quality', () => {
    parseSwfStrict(swfPath);
    const codes = tagCodes(fs.readFileSync(swfPath));
    // Quality 90 (photo, gray photo) shares one JPEGTables (8) and uses DefineBits (6);
    // quality 60 gets DefineBitsJPEG2 (21); the lossless ones DefineBitsLossless(2) (20, 36).
    assert.equal(codes.filter((c) => c === 8).length, 1);
    assert.equal(codes.filter((c) => c === 6).length, 2);
    assert.equal(codes.filter((c) => c === 21).length, 1);
    assert.equal(codes.filter((c) => c === 20).length, 1);
    assert.equal(codes.filter((c) => c === 36).length, 1);
    assert.ok(codes.indexOf(8) < codes.indexOf(6), 'tables before the first image that uses them');
  });

  it('renders the page', async () => {
    image = await renderSwf(swfPath, { width: 600, height: 400 });
    await savePng(image, path.join(binDir, '..', 'player-artifacts', 'images-page.png')).catch(() => {});
  });

  // Thresholds: JPEG at quality 90 keeps the mean absolute difference of a
  // smooth picture well under 4 levels (of 255); lossless stays under 1.5
  // (the player's own filtering of the edges).
  it('shows the JPEG photo close to its source', (t) => {
    if (!image) return t.skip('not rendered');
    const mad = differenceFromSource(image, 10, 10, photo);
    assert.ok(mad < 4, `JPEG photo differs by ${mad.toFixed(2)} on average`);
  });

  it('shows the lossless photo almost exactly', (t) => {
    if (!image) return t.skip('not rendered');
    const mad = differenceFromSource(image, 10, 150, photo);
    assert.ok(mad < 1.5, `lossless photo differs by ${mad.toFixed(2)} on average`);
  });

  it('lets the background show through the transparent colour', (t) => {
    if (!image) return t.skip('not rendered');
    // Logo at (400, 20), 80 x 80: white border 20 pixels wide, red square inside.
    assertBoxColor(image, [403, 23, 417, 97], 0x2050a0, { tolerance: 3, what: 'transparent white, left' });
    assertBoxColor(image, [403, 23, 477, 37], 0x2050a0, { tolerance: 3, what: 'transparent white, top' });
    assertBoxColor(image, [423, 43, 457, 77], 0xc81e1e, { tolerance: 3, what: 'opaque red' });
  });

  it('applies gray and black-and-white effects', (t) => {
    if (!image) return t.skip('not rendered');
    // Gray photo at (180, 10), 80 x 60: channels equal up to JPEG noise.
    let spread = 0;
    for (let y = 12; y < 68; y += 5) {
      for (let x = 182; x < 258; x += 5) {
        const i = (y * image.width + x) * 4;
        const d = image.data;
        spread = Math.max(spread, Math.abs(d[i] - d[i + 1]), Math.abs(d[i + 1] - d[i + 2]));
      }
    }
    assert.ok(spread <= 12, `gray photo has colour (channels differ by up to ${spread})`);
    // Black and white at (180, 150): every sampled pixel near black or white.
    for (let y = 153; y < 207; y += 7) {
      for (let x = 183; x < 257; x += 7) {
        const v = image.data[(y * image.width + x) * 4];
        assert.ok(v < 60 || v > 195, `black-and-white pixel (${x}, ${y}) is ${v}`);
      }
    }
  });
});
