// The default viewer around printed documents, used as a reader would: the
// toolbar's buttons clicked, the page number typed, keys pressed. Pages are
// found on screen by their pixels: a white page on the viewer's background,
// with a block of the page's own colour in the middle.
import { describe, it, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {
  scratchDir,
  parseSwfStrict,
  renderSwf,
  shootStage,
  playerPage,
  closeBrowser,
  savePng,
  binDir,
  sourceDir,
  runProgram as run,
  writeTestPrinterStore,
  makePdf,
} from './lib/index.mjs';

// Screenshots for people: the README's picture of the viewer comes from here.
const ARTIFACTS = path.join(binDir, '..', 'player-artifacts');
const WIDTH = 800;
const HEIGHT = 600;
const BAR = 36; // the toolbar's height
// 720 dpi: a device pixel is a twip, so a point is half a movie pixel.
const DPI = 720;
const PAGE_COLORS = { 1: [255, 0, 0], 2: [0, 153, 0], 3: [0, 0, 255] };

// A page of w x h points with a block of colour [r, g, b] (0..1) inside.
const page = (width, height, [r, g, b]) => ({
  width,
  height,
  content: `${r} ${g} ${b} rg ${width / 4} ${height / 4} ${width / 2} ${height / 2} re f`,
});

// The toolbar's items from the left, as the viewer lays them out (centred
// in the window): their widths and the gaps between groups.
const ITEMS = [
  ['first', 28], ['prev', 28], ['field', 44], ['of', 64], ['next', 28], ['last', 28], 8,
  ['zoomOut', 28], ['zoomIn', 28], 8, ['fitWidth', 28], ['fitPage', 28], ['actual', 28],
];
function toolbar(width) {
  const total = ITEMS.reduce((x, item) => x + (typeof item === 'number' ? item + 4 : item[1] + 4), 0);
  let x = Math.max(8, Math.floor((width - total) / 2));
  const at = {};
  for (const item of ITEMS) {
    if (typeof item === 'number') {
      x += item + 4;
      continue;
    }
    at[item[0]] = { x: x + item[1] / 2, y: BAR / 2 };
    x += item[1] + 4;
  }
  return at;
}
const BUTTONS = toolbar(WIDTH);

const isWhite = (d, i) => d[i] > 245 && d[i + 1] > 245 && d[i + 2] > 245;

// The white page below the toolbar (right of x0): its box, and the colour
// of its middle.
function findPage(image, x0 = 0) {
  const { width, height, data } = image;
  let left = width, right = -1, top = height, bottom = -1;
  for (let y = BAR + 4; y < height; y++) {
    for (let x = x0; x < width; x++) {
      if (!isWhite(data, (y * width + x) * 4)) continue;
      left = Math.min(left, x);
      right = Math.max(right, x);
      top = Math.min(top, y);
      bottom = Math.max(bottom, y);
    }
  }
  if (right < 0) return null;
  const cx = Math.round((left + right) / 2), cy = Math.round((top + bottom) / 2);
  const i = (cy * width + cx) * 4;
  return { left, right, top, bottom, width: right - left + 1, height: bottom - top + 1, middle: [data[i], data[i + 1], data[i + 2]] };
}

function pageNumberOf(found) {
  for (const [n, color] of Object.entries(PAGE_COLORS)) {
    if (color.every((c, k) => Math.abs(c - found.middle[k]) < 40)) return Number(n);
  }
  return 0;
}

describe('the default viewer', () => {
  let scratch;
  let registry;
  let failures;

  // Prints pages through tessaly-print with the printer's own settings (no
  // interface named: the installation's default).
  async function print(name, pages, extra = []) {
    const pdf = path.join(scratch.dir, `${name}.pdf`);
    fs.writeFileSync(pdf, makePdf(pages));
    const movie = path.join(scratch.dir, `${name}.swf`);
    const result = await run(path.join(binDir, 'tessaly-print'), [pdf, '--dpi', String(DPI), ...extra, '-o', movie], {
      TESSALY_REGISTRY_ROOT: registry,
    });
    assert.equal(result.code, 0, result.stderr);
    return movie;
  }

  async function shot(what, x0) {
    const image = await shootStage();
    const found = findPage(image, x0);
    if (!found) {
      await savePng(image, path.join(failures, `${what}.png`));
      assert.fail(`${what}: no page on screen`);
    }
    return { image, found };
  }

  async function click(button) {
    const p = await playerPage();
    await p.mouse.click(BUTTONS[button].x, BUTTONS[button].y);
  }

  async function showsPage(n, what, x0 = 0) {
    const { image, found } = await shot(what, x0);
    if (pageNumberOf(found) !== n) await savePng(image, path.join(failures, `${what}.png`));
    assert.equal(pageNumberOf(found), n, `${what}: the middle of the page is ${found.middle}`);
    return found;
  }

  before(async () => {
    scratch = await scratchDir();
    failures = path.join(scratch.dir, 'failures');
    registry = path.join(scratch.dir, 'registry');
    // Vector pages without previews.
    writeTestPrinterStore(registry, sourceDir, 2, { interface: null });
  });

  after(async () => {
    await closeBrowser();
    await scratch?.cleanup();
  });

  it('turns, types and zooms through a three-page document', async () => {
    const movie = await print('three', [1, 2, 3].map((n) => page(200, 260, PAGE_COLORS[n].map((c) => c / 255))));
    const bytes = fs.readFileSync(movie);
    assert.equal(bytes.toString('latin1', 0, 3), 'CWS', 'the movie is compressed');
    assert.equal(bytes[3], 8, 'SWF version 8');
    parseSwfStrict(movie);

    const first = await renderSwf(movie, { width: WIDTH, height: HEIGHT });
    let found = findPage(first);
    assert.ok(found, 'a page is shown');
    assert.equal(pageNumberOf(found), 1);
    // Fit page: the whole page in the area below the toolbar.
    assert.ok(found.top > BAR && found.bottom < HEIGHT - 1, JSON.stringify(found));
    assert.ok(Math.abs(found.width / found.height - 200 / 260) < 0.02, JSON.stringify(found));

    await click('next');
    await showsPage(2, 'next');
    await click('last');
    await showsPage(3, 'last');
    await click('prev');
    await showsPage(2, 'previous');
    await click('first');
    await showsPage(1, 'first');

    // The page number typed into the field, then Enter.
    const p = await playerPage();
    await p.mouse.click(BUTTONS.field.x, BUTTONS.field.y);
    await p.keyboard.press('End');
    for (let i = 0; i < 4; i++) await p.keyboard.press('Backspace');
    await p.keyboard.type('2');
    await p.keyboard.press('Enter');
    await showsPage(2, 'typed 2');

    // The arrow keys turn pages once the page has the keyboard.
    await p.mouse.click(WIDTH / 2, HEIGHT / 2);
    await p.keyboard.press('ArrowRight');
    await showsPage(3, 'right arrow');
    await p.keyboard.press('ArrowLeft');
    await p.keyboard.press('ArrowLeft');
    await showsPage(1, 'left arrow');

    // Zoom out, then in: the page's size on screen doubles.
    await click('zoomOut');
    const small = await showsPage(1, 'zoomed out');
    await click('zoomIn');
    const large = await showsPage(1, 'zoomed in');
    assert.ok(Math.abs(large.width - 2 * small.width) <= 2, `${small.width} -> ${large.width}`);
    assert.ok(Math.abs(large.height - 2 * small.height) <= 2, `${small.height} -> ${large.height}`);

    // Fit width: the page as wide as the window.
    await click('fitWidth');
    const wide = await showsPage(1, 'fit width');
    assert.deepEqual([wide.left, wide.right], [0, WIDTH - 1]);

    // A smaller window: the page still fills its width, the toolbar is laid
    // out again (centred: its first button moves with the window's middle).
    await p.setViewportSize({ width: 500, height: 400 });
    await p.evaluate(() => Object.assign(document.getElementById('stage').style, { width: '500px', height: '400px' }));
    const { image: small500, found: narrow } = await shot('resized');
    assert.deepEqual([narrow.left, narrow.right], [0, 499]);
    const firstButton = Math.round(toolbar(500).first.x);
    const i = (BAR / 2 * 500 + firstButton) * 4;
    assert.ok(small500.data[i] > 200, 'the first button\'s icon is at its new place');

    const { log } = await shootStage();
    assert.deepEqual(log.filter((line) => /error/i.test(line)), [], 'no errors in the player log');
  });

  it('shows a portrait and a landscape page each at its own size', async () => {
    const movie = await print('mixed', [page(200, 260, [1, 0, 0]), page(260, 200, [0, 0.6, 0])]);
    await renderSwf(movie, { width: WIDTH, height: HEIGHT });
    // Actual size: a point is half a pixel at this resolution.
    await click('actual');
    const portrait = await showsPage(1, 'portrait');
    await click('next');
    const landscape = await showsPage(2, 'landscape');
    assert.ok(Math.abs(portrait.width - 100) <= 2 && Math.abs(portrait.height - 130) <= 2, JSON.stringify(portrait));
    assert.ok(Math.abs(landscape.width - 130) <= 2 && Math.abs(landscape.height - 100) <= 2, JSON.stringify(landscape));
  });

  it('takes its toolbar colour from the interface parameters', async () => {
    const job = path.join(scratch.dir, 'job');
    const movie = await print('plain', [page(200, 260, [1, 0, 0])], ['--keep-job', job]);
    const toolbarAt = async (file) => {
      const image = await renderSwf(file, { width: WIDTH, height: HEIGHT });
      const i = (10 * WIDTH + 4) * 4;
      return [image.data[i], image.data[i + 1], image.data[i + 2]];
    };
    const before = await toolbarAt(movie);
    assert.deepEqual(before, [0x3b, 0x4a, 0x5c], 'the default toolbar colour');
    // The finishing step writes the parameter the settings carry.
    const settings = path.join(job, 'media.settings');
    const text = fs.readFileSync(settings, 'latin1');
    assert.match(text, /varName="toolbarColor" value="Slate"/);
    fs.writeFileSync(settings, text.replace('varName="toolbarColor" value="Slate"', 'varName="toolbarColor" value="Wine"'));
    const wine = path.join(scratch.dir, 'wine.swf');
    const result = await run(path.join(binDir, 'tessaly-convert'), [job, '-o', wine]);
    assert.equal(result.code, 0, result.stderr);
    assert.deepEqual(await toolbarAt(wine), [0x6b, 0x27, 0x37]);
  });

  it('shows previews as thumbnails that turn pages', async () => {
    // Vector pages with previews (and the page rasters they are made from).
    registry = path.join(scratch.dir, 'registry-previews');
    writeTestPrinterStore(registry, sourceDir, 0x106, { interface: null });
    const movie = await print('previews', [1, 2, 3].map((n) => page(200, 260, PAGE_COLORS[n].map((c) => c / 255))), [
      '--interface', 'Viewer-thumbnails',
    ]);
    parseSwfStrict(movie);
    await renderSwf(movie, { width: WIDTH, height: HEIGHT });
    // The strip takes 132 pixels on the left; the page area is right of it.
    const STRIP = 132;
    await showsPage(1, 'beside the strip', STRIP);
    // Thumbnails 100 pixels wide from x 16, 12 apart: the second one's middle.
    const thumb = 100 * (260 / 200);
    const p = await playerPage();
    const second = { x: 16 + 50, y: BAR + 12 + thumb + 12 + thumb / 2 };
    const { image } = await shot('strip', STRIP);
    const i = (Math.round(second.y) * WIDTH + second.x) * 4;
    assert.ok(Math.abs(image.data[i + 1] - 153) < 40 && image.data[i] < 40, 'the second thumbnail shows page 2');
    await p.mouse.click(second.x, second.y);
    await showsPage(2, 'thumbnail clicked', STRIP);
  });

  it('shows a real printed PDF (the README\'s screenshot)', async () => {
    const store = path.join(scratch.dir, 'registry-readme');
    writeTestPrinterStore(store, sourceDir, 0x106, { interface: null });
    const movie = path.join(scratch.dir, 'manual.swf');
    const result = await run(
      path.join(binDir, 'tessaly-print'),
      [path.join(sourceDir, 'examples', 'pdf', 'libtasn1-manual.pdf'), '-o', movie],
      { TESSALY_REGISTRY_ROOT: store },
    );
    assert.equal(result.code, 0, result.stderr);
    const image = await renderSwf(movie, { width: WIDTH, height: HEIGHT });
    await savePng(image, path.join(ARTIFACTS, 'viewer.png'));
    const found = findPage(image, 132);
    assert.ok(found && found.height > HEIGHT / 2, 'the first page fills the window\'s height');
  });
});
