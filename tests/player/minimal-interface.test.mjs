// The built-in test document (three Letter pages) printed with the minimal
// interface: page 1 fills the window's height beside the arrows, the right
// arrow key and the arrow buttons turn pages, Home and End go to the ends,
// and each arrow shows only where there is a page to go to. A PDF of mixed
// page sizes shows each page fitted at its own proportions.
import { describe, it, before, after } from 'node:test';
import assert from 'node:assert/strict';
import path from 'node:path';
import {
  scratchDir,
  parseSwfStrict,
  renderSwf,
  closeBrowser,
  playerPage,
  shootStage,
  binDir,
  sourceDir,
  runProgram as run,
  writeTestPrinterStore,
  assertColorAt,
  assertBoxColor,
  colorAt,
  colorDistance,
} from './lib/index.mjs';

const W = 640;
const H = 480;
const BACKGROUND = 0xe4e7eb;
// A Letter page (612 x 792 pixels: at 1440 dpi a device pixel is a twip) scaled to the height less 16
// pixels: 464 / 792 of its size, centred.
const SCALE = (H - 16) / 792;
const PAGE = { x: Math.round((W - 612 * SCALE) / 2), y: 8, w: Math.round(612 * SCALE), h: 464 };
// On each arrow's disc, beside its white triangle.
const PREV = [28, H / 2 - 13];
const NEXT = [W - 28, H / 2 - 13];

// The page's pixels, to tell pages apart.
function pagePixels(image) {
  const out = [];
  for (let y = PAGE.y + 4; y < PAGE.y + PAGE.h - 4; y += 2) {
    for (let x = PAGE.x + 4; x < PAGE.x + PAGE.w - 4; x += 2) out.push(colorAt(image, x, y));
  }
  return out;
}
const differing = (a, b) => a.filter((c, i) => colorDistance(c, b[i]) > 24).length;

describe('the minimal interface', () => {
  let scratch;
  let movie;

  before(async () => {
    scratch = await scratchDir();
    const registry = path.join(scratch.dir, 'registry');
    writeTestPrinterStore(registry, sourceDir, 2);
    movie = path.join(scratch.dir, 'document.swf');
    const result = await run(
      path.join(binDir, 'tessaly-print'),
      ['--test-document', '--vector', '--dpi', '1440', '--interface', 'minimal', '--spool', path.join(scratch.dir, 'spool'), '-o', movie],
      { TESSALY_REGISTRY_ROOT: registry },
    );
    assert.equal(result.code, 0, result.stderr);
  });

  after(async () => {
    await closeBrowser();
    await scratch?.cleanup();
  });

  // The box of the page (what is not background) along a row above the
  // arrows and the middle column.
  function pageBox(image) {
    const off = (x, y) => colorDistance(colorAt(image, x, y), BACKGROUND) > 4;
    const xs = [];
    const ys = [];
    for (let x = 0; x < W; x++) if (off(x, H / 2 - 40)) xs.push(x);
    for (let y = 0; y < H; y++) if (off(W / 2, y)) ys.push(y);
    return { x0: xs[0], x1: xs.at(-1), y0: ys[0], y1: ys.at(-1) };
  }

  it('fits each page of mixed sizes at its own proportions', async () => {
    const registry = path.join(scratch.dir, 'registry');
    const figures = path.join(scratch.dir, 'figures.swf');
    const result = await run(
      path.join(binDir, 'tessaly-print'),
      [path.join(sourceDir, 'examples', 'pdf', 'figures.pdf'), '--vector', '--dpi', '300', '--interface', 'minimal', '-o', figures],
      { TESSALY_REGISTRY_ROOT: registry },
    );
    assert.equal(result.code, 0, result.stderr);
    await renderSwf(figures, { width: W, height: H });
    const page = await playerPage();
    await page.mouse.click(W / 2, H / 2);
    await page.keyboard.press('End');
    const landscape = pageBox(await shootStage());
    await page.keyboard.press('ArrowLeft');
    const portrait = pageBox(await shootStage());
    // Page 3 is A6 (297.64 x 419.53 pt), fitted to the height; page 4 the same turned, fitted to the width.
    const near = (got, want, what) => assert.ok(Math.abs(got - want) <= 3, `${what}: ${got}, expected ${want}`);
    const s3 = (H - 16) / 419.53;
    near(portrait.y0, 8, 'A6 portrait top');
    near(portrait.x1 - portrait.x0 + 1, 297.64 * s3, 'A6 portrait width');
    const s4 = (W - 112) / 419.53;
    near(landscape.x0, 56, 'A6 landscape left');
    near(landscape.y1 - landscape.y0 + 1, 297.64 * s4, 'A6 landscape height');
  });

  it('shows page 1 and turns pages with keys and arrows', async () => {
    parseSwfStrict(movie);
    const first = await renderSwf(movie, { width: W, height: H });
    assert.deepEqual(first.log.filter((l) => !l.includes('GL Driver')), []);
    // The page's white margin inside its place, the background outside it.
    assertBoxColor(first, [PAGE.x + 2, PAGE.y + 2, PAGE.x + 20, PAGE.y + 10], 0xffffff, { what: 'page 1 top left' });
    assertBoxColor(first, [PAGE.x + PAGE.w - 20, PAGE.y + PAGE.h - 8, PAGE.x + PAGE.w - 2, PAGE.y + PAGE.h - 2], 0xffffff, {
      what: 'page 1 bottom right',
    });
    assertColorAt(first, PAGE.x - 3, H / 2, BACKGROUND, { what: 'left of the page' });
    assertColorAt(first, PAGE.x + PAGE.w + 3, H / 2, BACKGROUND, { what: 'right of the page' });
    assertColorAt(first, ...PREV, BACKGROUND, { what: 'no previous arrow on page 1' });
    assert.ok(colorDistance(colorAt(first, ...NEXT), BACKGROUND) > 40, 'no next arrow on page 1');
    const page1 = pagePixels(first);

    const page = await playerPage();
    await page.mouse.click(PAGE.x + PAGE.w / 2, PAGE.y + PAGE.h / 2);
    await page.keyboard.press('ArrowRight');
    const second = await shootStage();
    const page2 = pagePixels(second);
    assert.ok(differing(page1, page2) > 500, 'the right arrow key did not turn the page');
    assert.ok(colorDistance(colorAt(second, ...PREV), BACKGROUND) > 40, 'no previous arrow on page 2');

    await page.mouse.click(...NEXT);
    const third = await shootStage();
    const page3 = pagePixels(third);
    assert.ok(differing(page2, page3) > 500 && differing(page1, page3) > 500, 'the next arrow did not show page 3');
    assertColorAt(third, ...NEXT, BACKGROUND, { what: 'no next arrow on the last page' });

    await page.keyboard.press('Home');
    assert.equal(differing(pagePixels(await shootStage()), page1), 0, 'Home does not show page 1');
    await page.keyboard.press('End');
    assert.equal(differing(pagePixels(await shootStage()), page3), 0, 'End does not show page 3');
    await page.mouse.click(...PREV);
    assert.equal(differing(pagePixels(await shootStage()), page2), 0, 'the previous arrow does not show page 2');
  });
});
