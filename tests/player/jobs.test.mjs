// Whole print jobs, as the driver leaves them in the spool directory (the
// sample jobs in examples/jobs/), converted by tessaly-convert and played.
import { describe, it, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {
  runConverter,
  scratchDir,
  parseSwfStrict,
  renderSwf,
  closeBrowser,
  savePng,
  assertBoxColor,
  colorAt,
  binDir,
  sourceDir,
  stopOnFirstFrame,
} from './lib/index.mjs';

const JOBS = path.join(sourceDir, 'examples', 'jobs');

// Spread of the red channel in a box: a picture varies, a flat fill does not.
function spread(image, [x1, y1, x2, y2]) {
  let lo = 255;
  let hi = 0;
  for (let y = y1; y < y2; y++) {
    for (let x = x1; x < x2; x++) {
      const r = image.data[(y * image.width + x) * 4];
      lo = Math.min(lo, r);
      hi = Math.max(hi, r);
    }
  }
  return hi - lo;
}

function inkPixels(image, [x1, y1, x2, y2], limit = 110) {
  let n = 0;
  for (let y = y1; y < y2; y++) {
    for (let x = x1; x < x2; x++) {
      const i = (y * image.width + x) * 4;
      if (image.data[i] < limit && image.data[i + 1] < limit && image.data[i + 2] < limit) n++;
    }
  }
  return n;
}

describe('sample print jobs through the converter and the player', () => {
  let scratch;
  const movies = {};

  before(async () => {
    scratch = await scratchDir();
    for (const name of fs.readdirSync(JOBS)) {
      const out = path.join(scratch.dir, `${name}.swf`);
      const result = await runConverter([path.join(JOBS, name), '-o', out]);
      assert.equal(result.code, 0, `${name}: ${result.stderr}`);
      movies[name] = out;
    }
  });

  after(async () => {
    await closeBrowser();
    await scratch?.cleanup();
  });

  it('converts every sample job into a movie that parses strictly', () => {
    assert.deepEqual(Object.keys(movies).sort(), ['interface', 'letter', 'mixed']);
    for (const file of Object.values(movies)) parseSwfStrict(file);
  });

  it('shows the first page of a job with its layout, shapes, text and picture', async () => {
    const stopped = path.join(scratch.dir, 'letter-first.swf');
    fs.writeFileSync(stopped, stopOnFirstFrame(fs.readFileSync(movies.letter)));
    const image = await renderSwf(stopped, { width: 612, height: 792 });
    await savePng(image, path.join(binDir, '..', 'player-artifacts', 'job-letter.png')).catch(() => {});
    // The heading band (0,0)-(612,90) right of the title text.
    assertBoxColor(image, [420, 5, 600, 85], 0x1f4e79, { tolerance: 3, what: 'heading band' });
    // The medium border of the page layout along the left edge.
    const edge = colorAt(image, 0, 400);
    assert.ok((edge >> 16) < 80 && ((edge >> 8) & 0xff) < 80 && (edge & 0xff) < 80, `border pixel is ${edge.toString(16)}`);
    // Bars of the chart: 7000,6400 600x1000 and 7900,5600 600x1800 twips.
    assertBoxColor(image, [353, 323, 377, 367], 0x4f81bd, { tolerance: 3, what: 'first bar' });
    assertBoxColor(image, [398, 283, 422, 367], 0xc0504d, { tolerance: 3, what: 'second bar' });
    // The picture at 1200,4000, 4800x3600 twips: (60,200)-(300,380).
    assert.ok(spread(image, [64, 204, 296, 376]) > 80, 'the picture shows');
    // Two lines of 14-pixel text at baselines 140 and 160 carry ink; the gap above them does not.
    assert.ok(inkPixels(image, [60, 128, 560, 164]) > 400, 'body text shows');
    assert.equal(inkPixels(image, [60, 100, 560, 118]), 0, 'nothing between heading band and text');
  });

  it('shows a job on its viewer interface: the interface and the page', async () => {
    const image = await renderSwf(movies.interface, { width: 800, height: 600 });
    await savePng(image, path.join(binDir, '..', 'player-artifacts', 'job-interface.png')).catch(() => {});
    // The interface: title bar (0..40) and its orange frame line at x = 20.
    assertBoxColor(image, [300, 5, 700, 35], 0x2b4c7e, { tolerance: 3, what: 'interface title bar' });
    assertBoxColor(image, [19, 200, 22, 400], 0xe07a1f, { tolerance: 3, what: 'interface frame line' });
    // The page: its orange rectangle at 1200,3200 4000x3000 twips, its picture beside it.
    assertBoxColor(image, [80, 180, 240, 290], 0xe07a1f, { tolerance: 3, what: 'page rectangle' });
    assert.ok(spread(image, [304, 164, 496, 306]) > 80, 'the page picture shows');
  });

  it('keeps every page of a job with mixed page sizes', async () => {
    const stopped = path.join(scratch.dir, 'mixed-first.swf');
    fs.writeFileSync(stopped, stopOnFirstFrame(fs.readFileSync(movies.mixed)));
    const image = await renderSwf(stopped, { width: 792, height: 792 });
    // The portrait page's frame: 1200,2000 9840x12640 twips, 2-pixel line.
    assert.ok(inkPixels(image, [59, 150, 62, 700], 90) > 500, 'frame of the portrait page');
  });
});
