// The built-in test document printed through the printer driver with page
// images, converted into a movie and played: every page's frame in the
// player shows the page image the graphics layer rendered.
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
  runProgram as run,
  writeTestPrinterStore,
  readBag,
  stoppedOnFrame as onFrame,
  cropImage as crop,
} from './lib/index.mjs';

const PAGES = 3;
// 72 dpi: a Letter page is 612 x 792 device pixels, and one device pixel is
// one twip, so the player at 20 times the stage shows one page pixel per
// screen pixel.
const DPI = 72;

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
    writeTestPrinterStore(registry, sourceDir);
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
