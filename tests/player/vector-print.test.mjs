// Pages printed through the graphics layer into the driver as vector
// content at 150 dpi, converted and played: every page looks like the
// raster the layer rendered of it, printing in bands gives the same pages,
// and only what cannot be expressed as vector content became a captured
// image.
import { describe, it, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {
  scratchDir,
  parseSwfStrict,
  renderSwf,
  closeBrowser,
  savePng,
  binDir,
  sourceDir,
  ssim,
  runProgram,
  writeTestPrinterStore,
  readBag,
  bagSize,
  unscrambleJobFile,
  stoppedOnFrame,
  cropImage,
} from './lib/index.mjs';

const SCRIPT = path.join(sourceDir, 'tests', 'player', 'print-pages', 'fidelity.script');
const DPI = 150;
const PAGES = 6;
// A surface of at most 2 MB: a 150 dpi Letter page (about 6.3 MB at 24
// bits) is drawn in four bands.
const BAND_LIMIT = 2 << 20;
const MIN_SSIM = 0.97;
const MIN_BANDED_SSIM = 0.99;
const ARTIFACTS = path.join(binDir, '..', 'player-artifacts');
// The player without anti-aliasing: the layer's raster has none either, and
// a whole page at 150 dpi renders in well under half the time.
const PLAYER = { preferredRenderer: 'webgl', quality: 'low' };

// The pictures the script draws are the generated 256 x 192 picture; a
// monochrome mask drawn with 0x88 or 0xB8 is a transparent image (it has an
// alpha colour); every other image in the markup is a capture of the
// rendered page.
const PICTURE = [256, 192];
// Per page: the Image elements of the script's pictures, of masks and of
// captures.
// Only brushes that are not solid (patterns, hatches), raster operations and
// mixes that combine with what is below, alpha and transparent blends and
// gradients may be captured, one image for each such call.
const EXPECTED = [
  { pictures: 0, masks: 0, captures: 0 }, // strokes and dashes
  // Fills with holes in both modes; the winding fills the driver declines
  // come back to it as plain fills of their region.
  { pictures: 0, masks: 0, captures: 0 },
  // The hatched rectangle and the gradient over it in the clip region; the
  // picture under the clip path.
  { pictures: 1, masks: 0, captures: 2 },
  // Every pixel format, stretched, mirrored and turned, each in its own
  // format; the driver reads no 16-bit rows, so that picture is captured.
  { pictures: 14, masks: 0, captures: 1 },
  // The 1-bit masks through 0x88 and 0xB8 (transparent monochrome images,
  // stretched to their place first), dstinvert, patinvert, srcpaint, the not
  // and xor mixes (each rectangle's fill and outline), srcand and
  // notsrccopy.
  { pictures: 0, masks: 2, captures: 9 },
  // Three pattern brushes, six hatch brushes, two gradient rectangles, the
  // triangles, two blends, the transparent blit and the turned gradient.
  { pictures: 0, masks: 0, captures: 16 },
];

// The Image elements of each page's Frame: [{ src, attributes }].
function imagesPerPage(markup) {
  const frames = markup.split(/<Frame\b/).slice(1);
  return frames.map((frame) =>
    [...frame.matchAll(/<Image\b([^>]*)\/>/g)].map((m) => ({
      src: /src="([^"]*)"/.exec(m[1])?.[1],
      attributes: m[1],
    })),
  );
}

describe('vector pages printed at 150 dpi look like the layer rendered them', () => {
  let scratch;
  const jobs = {};
  const rendered = { plain: [], banded: [] };
  let shown;

  async function print(name, extra) {
    const registry = path.join(scratch.dir, 'registry');
    const movie = path.join(scratch.dir, `${name}.swf`);
    const result = await runProgram(
      path.join(binDir, 'tessaly-print'),
      ['--script', SCRIPT, '--vector', '--page-rasters', '--dpi', String(DPI), '--spool',
        path.join(scratch.dir, `spool-${name}`), '-o', movie, ...extra],
      { TESSALY_REGISTRY_ROOT: registry },
    );
    assert.equal(result.code, 0, result.stderr);
    jobs[name] = { dir: result.stdout.trim(), movie };
  }

  // Now and then, on a busy machine, the player still shows an earlier
  // frame's page under the one it was sent to: a page that falls short of
  // the expected one is played once more, and the better showing counts.
  async function render(name, n, expected) {
    const stopped = path.join(scratch.dir, `${name}-page${n}.swf`);
    fs.writeFileSync(stopped, stoppedOnFrame(fs.readFileSync(jobs[name].movie), n));
    let image = await renderSwf(stopped, { ...shown, config: PLAYER });
    if (ssim(image, expected) < MIN_SSIM) {
      const again = await renderSwf(stopped, { ...shown, config: PLAYER });
      if (ssim(again, expected) > ssim(image, expected)) image = again;
    }
    await savePng(image, path.join(ARTIFACTS, `vector-print-${name}-page${n + 1}.png`)).catch(() => {});
    return image;
  }

  before(async () => {
    scratch = await scratchDir();
    // A printer of the test's own: pictures kept losslessly, no border, no
    // interface.
    const registry = path.join(scratch.dir, 'registry');
    writeTestPrinterStore(registry, sourceDir);
    await print('plain', []);
    await print('banded', ['--band-limit', String(BAND_LIMIT)]);
  });

  after(async () => {
    await closeBrowser();
    await scratch?.cleanup();
  });

  it('writes vector jobs with a raster of every page and movies that parse strictly', () => {
    for (const { dir, movie } of Object.values(jobs)) {
      assert.equal(fs.readFileSync(path.join(dir, '_status'), 'latin1'), `end:${PAGES}`);
      const markup = unscrambleJobFile(path.join(dir, 'media.mml'));
      assert.match(markup, /<Shape>/, 'vector content');
      for (let n = 0; n < PAGES; n++) assert.ok(fs.existsSync(path.join(dir, `altpage${n}.bag`)), `page ${n}`);
      parseSwfStrict(movie);
    }
  });

  it('captures images only for what cannot be drawn as vectors', () => {
    const checks = [];
    for (const [name, { dir }] of Object.entries(jobs)) {
      const pages = imagesPerPage(unscrambleJobFile(path.join(dir, 'media.mml')));
      assert.equal(pages.length, PAGES);
      const counted = pages.map((images) => {
        const sizes = new Map();
        let pictures = 0;
        let masks = 0;
        let captures = 0;
        for (const { src, attributes } of images) {
          if (!sizes.has(src)) sizes.set(src, bagSize(path.join(dir, src)));
          const [w, h] = sizes.get(src);
          if (/fx="alphaColor\(0,#FFFFFF\)"/.test(attributes)) masks++;
          else if (w === PICTURE[0] && h === PICTURE[1]) pictures++;
          else captures++;
        }
        return { pictures, masks, captures };
      });
      console.log(`${name}: ${counted.map((c, n) => `page ${n + 1} ${c.pictures} pictures, ${c.masks} masks, ${c.captures} captures`).join('; ')}`);
      checks.push(() => counted.forEach((c, n) => {
        if (name === 'plain') {
          assert.deepEqual(c, EXPECTED[n], `page ${n + 1}`);
        } else {
          // A call is written again for every band it reaches, so banded
          // pages have at least as many images, and captures only where the
          // whole page has them.
          assert.ok(c.pictures >= EXPECTED[n].pictures, `banded page ${n + 1}: ${c.pictures} pictures`);
          assert.ok(c.masks >= EXPECTED[n].masks, `banded page ${n + 1}: ${c.masks} masks`);
          if (EXPECTED[n].captures === 0) assert.equal(c.captures, 0, `banded page ${n + 1}: captures`);
          else assert.ok(c.captures >= EXPECTED[n].captures, `banded page ${n + 1}: ${c.captures} captures`);
        }
      }));
    }
    for (const check of checks) check();
  });

  for (let n = 0; n < PAGES; n++) {
    it(`shows page ${n + 1} as the layer rendered it, whole and in bands`, async () => {
      const reference = readBag(path.join(jobs.plain.dir, `altpage${n}.bag`));
      // Letter from the driver's paper table at 150 dpi.
      assert.deepEqual([reference.width, reference.height], [1275, 1650]);
      // The player takes the stage as whole pixels of 20 twips, one twip a
      // page pixel: shown at 20 times that, one page pixel a screen pixel, it
      // covers the page but for the last few columns and rows.
      shown = { width: Math.floor(reference.width / 20) * 20, height: Math.floor(reference.height / 20) * 20 };
      const expected = cropImage(reference, shown.width, shown.height);
      await savePng(expected, path.join(ARTIFACTS, `vector-print-page${n + 1}-expected.png`)).catch(() => {});
      const plain = await render('plain', n, expected);
      const banded = await render('banded', n, expected);
      const bandedReference = cropImage(readBag(path.join(jobs.banded.dir, `altpage${n}.bag`)), shown.width, shown.height);
      const score = ssim(plain, expected);
      const bandedScore = ssim(banded, expected);
      const bandsAlike = ssim(banded, plain);
      const rasterAlike = ssim(bandedReference, expected);
      console.log(`page ${n + 1}: SSIM ${score.toFixed(4)}; banded ${bandedScore.toFixed(4)}, ` +
        `banded against whole ${bandsAlike.toFixed(4)}, banded raster against whole ${rasterAlike.toFixed(4)}`);
      assert.ok(score >= MIN_SSIM, `page ${n + 1}: SSIM ${score}`);
      assert.ok(bandedScore >= MIN_SSIM, `page ${n + 1} in bands: SSIM ${bandedScore}`);
      assert.ok(bandsAlike >= MIN_BANDED_SSIM, `page ${n + 1}: banded against whole, SSIM ${bandsAlike}`);
      assert.ok(rasterAlike >= MIN_BANDED_SSIM, `page ${n + 1}: the layer's banded raster, SSIM ${rasterAlike}`);
    });
  }
});
