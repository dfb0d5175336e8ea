// Vector pages through the converter and the player: cubic curves against a
// cairo rendering of the same outline, masks, movie clips placed twice, alpha,
// and frames with removals. Every position below is worked out by hand from
// the markup in pages/*.mml (twips / 20 = pixels).
import { describe, it, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs/promises';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import {
  convertPage,
  converterPath,
  scratchDir,
  parseSwfStrict,
  allTags,
  TagType,
  renderSwf,
  closeBrowser,
  savePng,
  assertBoxColor,
  assertColorAt,
  hex,
  binDir,
} from './lib/index.mjs';
import { drawReference as drawReferenceWith } from './lib/reference.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const pages = path.join(here, 'pages');
const artifacts = path.join(binDir, '..', 'player-artifacts');
// Debian's python3, the one python3-cairo is installed for.
const OUTLINE_SCRIPT = path.join(here, 'reference', 'outline.py');

const BG = 0xeeeeee;
const RED = 0xcc0000;
const GREEN = 0x00aa00;
const BLUE = 0x0000cc;

// ---------------------------------------------------------------------------
// Reference outlines drawn by cairo.

/** The cairo reference for `job`. */
const drawReference = (job) => drawReferenceWith(OUTLINE_SCRIPT, job);

const numbers = (text) => text.split(/[;,]/).filter((s) => s.trim() !== '').map(Number);

/**
 * The outline of the single Shape of a page, as cairo path commands in
 * pixels: its MoveTo, then one curve per (control, control, anchor) triple of
 * its bezier3 CurvexTo. Taken from the page text itself, so the reference is
 * the very outline the converter was given.
 */
function outlineOf(mml) {
  const move = /<MoveTo\s+pos="([^"]*)"/i.exec(mml);
  const curve = /<CurvexTo\s+type="bezier3"\s+path="([^"]*)"/i.exec(mml);
  assert.ok(move && curve, 'page has no MoveTo and bezier3 CurvexTo');
  const p = numbers(curve[1]).map((v) => v / 20);
  assert.equal(p.length % 6, 0, 'CurvexTo path is not whole triples');
  const commands = [['M', ...numbers(move[1]).map((v) => v / 20)]];
  for (let i = 0; i < p.length; i += 6) commands.push(['C', ...p.slice(i, i + 6)]);
  return commands;
}

/** 1 where the pixel is nearer to `ink` than to the background, else 0. */
function inkMask(image, ink) {
  const mask = new Uint8Array(image.width * image.height);
  const channels = (c) => [(c >>> 16) & 0xff, (c >>> 8) & 0xff, c & 0xff];
  const [ir, ig, ib] = channels(ink);
  const [br, bg, bb] = channels(BG);
  for (let i = 0; i < mask.length; i++) {
    const r = image.data[i * 4];
    const g = image.data[i * 4 + 1];
    const b = image.data[i * 4 + 2];
    const toInk = Math.abs(r - ir) + Math.abs(g - ig) + Math.abs(b - ib);
    const toBg = Math.abs(r - br) + Math.abs(g - bg) + Math.abs(b - bb);
    mask[i] = toInk < toBg ? 1 : 0;
  }
  return mask;
}

/**
 * Compares the ink of a rendered movie with the ink of the reference. The
 * measure: a pixel whose class (ink or background) differs between the two
 * must lie within `edge` pixels (Euclidean) of a reference pixel of the other
 * class, i.e. of the true outline's edge; and the two ink areas must agree
 * within `areaPercent` per cent of the reference's ink area.
 */
function compareInk(rendered, reference, ink, { edge = 2 } = {}) {
  const { width, height } = reference;
  assert.deepEqual([rendered.width, rendered.height], [width, height], 'image sizes differ');
  const a = inkMask(rendered, ink);
  const r = inkMask(reference, ink);
  const reach = Math.ceil(edge);
  const nearEdge = (x, y) => {
    const own = r[y * width + x];
    for (let dy = -reach; dy <= reach; dy++) {
      for (let dx = -reach; dx <= reach; dx++) {
        if (dx * dx + dy * dy > edge * edge) continue;
        const nx = x + dx;
        const ny = y + dy;
        if (nx < 0 || ny < 0 || nx >= width || ny >= height) continue;
        if (r[ny * width + nx] !== own) return true;
      }
    }
    return false;
  };
  let differing = 0;
  let far = 0;
  let firstFar = null;
  let inkRendered = 0;
  let inkReference = 0;
  for (let y = 0; y < height; y++) {
    for (let x = 0; x < width; x++) {
      const i = y * width + x;
      inkRendered += a[i];
      inkReference += r[i];
      if (a[i] === r[i]) continue;
      differing++;
      if (!nearEdge(x, y)) {
        far++;
        firstFar ??= [x, y, a[i] ? 'ink' : 'background'];
      }
    }
  }
  assert.ok(inkReference > 0, 'the reference has no ink');
  const areaDiff = (100 * Math.abs(inkRendered - inkReference)) / inkReference;
  return { differing, far, firstFar, inkRendered, inkReference, areaDiff };
}

function assertOutlineMatches(result, { areaPercent = 2, what }) {
  const { differing, far, firstFar, inkRendered, inkReference, areaDiff } = result;
  assert.equal(
    far,
    0,
    `${what}: ${far} of ${differing} differing pixels lie more than 2 pixels from the reference edge` +
      (firstFar ? `; first at (${firstFar[0]}, ${firstFar[1]}), rendered as ${firstFar[2]}` : ''),
  );
  assert.ok(
    areaDiff <= areaPercent,
    `${what}: ink area ${inkRendered} px against ${inkReference} px in the reference (${areaDiff.toFixed(2)}% > ${areaPercent}%)`,
  );
}

// ---------------------------------------------------------------------------

/** The frames page with a stop action in frame `k` (1-based) only. */
function stopAtFrame(template, k) {
  let n = 0;
  const out = template.replace(/<Frame>/g, (tag) => (++n === k ? `${tag}\n<Meta type="flash:stop"/>` : tag));
  assert.ok(k >= 1 && k <= n, `the frames page has no frame ${k}`);
  return out;
}

describe('vector pages through the converter and the player', () => {
  let scratch;
  const movies = {}; // name → movie path; every movie these tests make

  before(async () => {
    await fs.access(converterPath).catch(() => assert.fail(`${converterPath} is not built`));
    scratch = await scratchDir();
    for (const name of ['circle', 'scurve', 'mask', 'clip', 'alpha']) {
      movies[name] = path.join(scratch.dir, `${name}.swf`);
      await convertPage(path.join(pages, `${name}.mml`), movies[name]);
    }
    const template = await fs.readFile(path.join(pages, 'frames.mml'), 'utf8');
    for (const k of [1, 2, 3]) {
      const page = path.join(scratch.dir, `frames-stop${k}.mml`);
      await fs.writeFile(page, stopAtFrame(template, k));
      movies[`frames-stop${k}`] = path.join(scratch.dir, `frames-stop${k}.swf`);
      await convertPage(page, movies[`frames-stop${k}`]);
    }
  });

  after(async () => {
    await closeBrowser();
    await scratch?.cleanup();
  });

  async function render(name, width, height, config) {
    const image = await renderSwf(movies[name], { width, height, config });
    await savePng(image, path.join(artifacts, `vector-${name}.png`)).catch(() => {});
    assert.deepEqual([image.metadata.width, image.metadata.height], [width, height], `${name}: stage size`);
    return image;
  }

  async function compareWithCairo(name, { width, height, paint, ink }) {
    const mml = await fs.readFile(path.join(pages, `${name}.mml`), 'utf8');
    const image = await render(name, width, height);
    const reference = await drawReference({
      width,
      height,
      background: hex(BG).replace('0x', '#'),
      out: path.join(scratch.dir, `${name}-reference.png`),
      paths: [{ commands: outlineOf(mml), ...paint }],
    });
    await savePng(reference, path.join(artifacts, `vector-${name}-reference.png`)).catch(() => {});
    return compareInk(image, reference, ink);
  }

  it('fills a circle of four cubic quarter arcs within two pixels of the true outline', async () => {
    // Centre (2000, 2000), radius 1600 twips = (100, 100) and 80 px; control
    // points 884 twips (0.5523 × 1600) along the tangents. Filled #0000CC.
    const result = await compareWithCairo('circle', {
      width: 200,
      height: 200,
      paint: { fill: '#0000CC' },
      ink: 0x0000cc,
    });
    assertOutlineMatches(result, { what: 'circle' });
  });

  it('strokes a thick S-curve within two pixels of the true outline', async () => {
    // From (800, 3200) with controls (4000, 3200) and (4000, 800) to
    // (7200, 800): horizontal tangents at both ends, 400 twips = 20 px wide,
    // round caps as every Flash line has.
    const result = await compareWithCairo('scurve', {
      width: 400,
      height: 200,
      paint: { stroke: { width: 20, color: '#202020' } },
      ink: 0x202020,
    });
    assertOutlineMatches(result, { what: 'S-curve' });
  });

  it('clips with a mask only what the mask holds', async () => {
    const image = await render('mask', 400, 300);
    // The mask window: pos 2000,2000 size 4000,2000 = (100, 100)-(300, 200).
    // The page-sized red rectangle inside the mask shows only there; the
    // blue square after the mask, (250, 150)-(380, 280), lies over it.
    assertBoxColor(image, [102, 102, 248, 198], RED, { what: 'masked rectangle, left of the blue square' });
    assertBoxColor(image, [252, 102, 298, 148], RED, { what: 'masked rectangle, above the blue square' });
    assertBoxColor(image, [0, 0, 400, 18], BG, { what: 'above everything: the red rectangle is clipped' });
    assertBoxColor(image, [82, 18, 400, 98], BG, { what: 'above the window' });
    assertBoxColor(image, [82, 98, 98, 300], BG, { what: 'left of the window' });
    assertBoxColor(image, [302, 98, 400, 148], BG, { what: 'right of the window, above the blue square' });
    assertBoxColor(image, [82, 202, 248, 300], BG, { what: 'below the window' });
    assertBoxColor(image, [382, 148, 400, 300], BG, { what: 'right of the blue square' });
    // Placed before the mask, pos 400,400 size 1200,5200 = (20, 20)-(80, 280):
    // all of it shows although it lies outside the window.
    assertBoxColor(image, [22, 22, 78, 278], GREEN, { what: 'green bar placed before the mask' });
    // Placed after the mask's end: whole, inside the window and outside it.
    assertBoxColor(image, [252, 152, 378, 278], BLUE, { what: 'blue square placed after the mask' });
  });

  it('shows a movie clip placed twice with different matrices twice', async () => {
    const image = await render('clip', 400, 300);
    // The clip: red (0, 0)-(20, 20), blue (20, 0)-(40, 20) in its own space.
    // First copy at pos 1000,2000 = (50, 100), unscaled.
    assertBoxColor(image, [51, 101, 69, 119], RED, { what: 'first copy, red half' });
    assertBoxColor(image, [71, 101, 89, 119], BLUE, { what: 'first copy, blue half' });
    assertBoxColor(image, [40, 90, 100, 99], BG, { what: 'above the first copy' });
    assertBoxColor(image, [91, 100, 100, 120], BG, { what: 'right of the first copy' });
    assertBoxColor(image, [40, 121, 100, 130], BG, { what: 'below the first copy' });
    // Second copy at pos 4000,1000 = (200, 50), scale 3 across and 5 down:
    // red (200, 50)-(260, 150), blue (260, 50)-(320, 150).
    assertBoxColor(image, [202, 52, 258, 148], RED, { what: 'second copy, red half' });
    assertBoxColor(image, [262, 52, 318, 148], BLUE, { what: 'second copy, blue half' });
    assertBoxColor(image, [190, 40, 330, 48], BG, { what: 'above the second copy' });
    assertBoxColor(image, [322, 50, 330, 150], BG, { what: 'right of the second copy' });
    assertBoxColor(image, [190, 152, 330, 160], BG, { what: 'below the second copy' });
    assertBoxColor(image, [190, 50, 198, 150], BG, { what: 'left of the second copy' });
  });

  it('blends a shape at alpha 50 half-way with what lies under it', async () => {
    const image = await render('alpha', 300, 250);
    // alpha="50" is the alpha multiplier 127/256 (50 × 2.55 in single
    // precision, rounded): out = under + (colour − under) × 127/256.
    const a = 127 / 256;
    const blend = (top, under) => {
      const ch = (s) => Math.round(((under >>> s) & 0xff) + (((top >>> s) & 0xff) - ((under >>> s) & 0xff)) * a);
      return (ch(16) << 16) | (ch(8) << 8) | ch(0);
    };
    const overBg = blend(0xff0000, BG); // 0xF67878
    const overBlue = blend(0xff0000, 0x0000ff); // 0x7E0081
    // Half red over the background: pos 1000,1000 size 2000,2000 = (50, 50)-(150, 150).
    assertBoxColor(image, [52, 52, 148, 148], overBg, { tolerance: 3, what: 'alpha 50 red over the background' });
    // The same red without alpha: (170, 50)-(270, 150).
    assertBoxColor(image, [172, 52, 268, 148], 0xff0000, { what: 'opaque red' });
    // Blue bar (20, 170)-(280, 230) under half red (100, 160)-(200, 240).
    assertBoxColor(image, [22, 172, 98, 228], 0x0000ff, { what: 'blue bar' });
    assertBoxColor(image, [102, 172, 198, 228], overBlue, { tolerance: 3, what: 'alpha 50 red over the blue bar' });
    assertBoxColor(image, [102, 162, 198, 168], overBg, { tolerance: 3, what: 'alpha 50 red above the blue bar' });
    assertBoxColor(image, [102, 232, 198, 238], overBg, { tolerance: 3, what: 'alpha 50 red below the blue bar' });
    assertColorAt(image, 160, 100, BG, { what: 'between the squares' });
  });

  // frames.mml, each frame's rectangles 60 px square at y 20-80:
  //   frame 1: red at x 20-80 (depth "a"), green at x 120-180 (depth "b");
  //   frame 2: Remove depth="a", blue at x 220-280 (green stays);
  //   frame 3: Remove (everything), orange at x 20-80.
  // One movie per frame, with a stop action in that frame only.
  const ORANGE = 0xff9900;
  const slots = [
    [22, 22, 78, 78],
    [122, 22, 178, 78],
    [222, 22, 278, 78],
  ];
  const expectedFrames = {
    1: [RED, GREEN, BG],
    2: [BG, GREEN, BLUE],
    3: [ORANGE, BG, BG],
  };
  for (const [k, colours] of Object.entries(expectedFrames)) {
    it(`shows frame ${k} of a page with removals as its markup says`, async () => {
      // The player runs the movie fast, so the stop frame is on the stage well
      // before the harness starts comparing screenshots; the content of each
      // frame is the converter's alone.
      const image = await render(`frames-stop${k}`, 300, 100, { frameRate: 120 });
      assert.equal(image.metadata.numFrames, 3);
      colours.forEach((colour, i) => {
        assertBoxColor(image, slots[i], colour, { what: `frame ${k}, slot ${i + 1}` });
      });
      assertBoxColor(image, [0, 0, 300, 18], BG, { what: `frame ${k}, above the slots` });
      assertBoxColor(image, [0, 82, 300, 100], BG, { what: `frame ${k}, below the slots` });
    });
  }

  it('writes movies that parse strictly', () => {
    const names = Object.keys(movies);
    assert.equal(names.length, 8);
    for (const name of names) {
      const movie = parseSwfStrict(movies[name]);
      const tags = allTags(movie);
      assert.ok(tags.some((t) => t.type === TagType.ShowFrame), `${name}: no frame`);
    }
    // The features the pages exercise reach the file: a clip layer, a sprite,
    // a colour transform and the stop action.
    const root = (name) => allTags(parseSwfStrict(movies[name]), { deep: false });
    assert.ok(root('mask').some((t) => t.type === TagType.PlaceObject && t.clipDepth !== undefined), 'mask: no clipping layer');
    assert.ok(root('clip').some((t) => t.type === TagType.DefineSprite), 'clip: no sprite');
    assert.ok(root('alpha').some((t) => t.type === TagType.PlaceObject && t.colorTransform), 'alpha: no colour transform');
    assert.ok(root('frames-stop2').some((t) => t.type === TagType.DoAction), 'frames: no stop action');
  });
});
