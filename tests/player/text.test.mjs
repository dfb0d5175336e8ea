// Text through the converter and the player: lines in two installed fonts and
// in an embedded font file made by tessaly-fontfile, compared with cairo's
// rendering of the same strings at the same baselines and sizes; explicit
// character positions; coloured and translucent text.
//
// Sizes in markup are twips: size="600" is a 30 px em, and pos is the
// baseline origin of the text.
import { describe, it, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFile } from 'node:child_process';
import fs from 'node:fs/promises';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import {
  runConverter,
  converterPath,
  scratchDir,
  parseSwfStrict,
  allTags,
  TagType,
  renderSwf,
  closeBrowser,
  savePng,
  assertBoxColor,
  hex,
  binDir,
  inkOverlap,
  assertOverlap,
} from './lib/index.mjs';
import { drawReference as drawReferenceWith } from './lib/reference.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const artifacts = path.join(binDir, '..', 'player-artifacts');
const fontfilePath = path.join(binDir, 'tessaly-fontfile');
// Debian's python3, the one python3-cairo is installed for.
const TEXT_SCRIPT = path.join(here, 'reference', 'text.py');

const WIDTH = 640;
const HEIGHT = 360;
const BG = 0xeeeeee;
const BLUE = 0x0000ff;

// The embedded font: DejaVu Serif captured under a name no installed font
// has. Were the converter to ignore the embedded font and capture a system
// font of that name instead, fontconfig would hand it DejaVu Sans, whose
// outlines do not match the serif reference.
const EMBEDDED_NAME = 'EmbeddedSerif';

// Each line: the markup attributes, the family cairo draws it with, and the
// box (pixels) its ink is compared in. x and y are the baseline origin in twips.
const LINES = [
  {
    name: 'Arial regular',
    attrs: { font: 'Arial', size: 600 },
    family: 'Liberation Sans',
    x: 400,
    y: 1000,
    text: 'Wavy Jackdaws: AVATAR, To 1984!',
    box: [0, 18, WIDTH, 62],
  },
  {
    name: 'Liberation Serif bold italic',
    attrs: { font: 'Liberation Serif', size: 600, style: 'bold,italic' },
    family: 'Liberation Serif',
    bold: true,
    italic: true,
    x: 400,
    y: 2000,
    text: 'Quick fjords vex WAVE 2045',
    box: [0, 68, WIDTH, 112],
  },
  {
    name: 'embedded DejaVu Serif',
    attrs: { font: EMBEDDED_NAME, size: 600, charset: 0 },
    family: 'DejaVu Serif',
    x: 400,
    y: 3000,
    text: 'Embedded glyphs: Type AVo!',
    box: [0, 118, WIDTH, 162],
  },
  {
    // Positions 100 px apart, far from the glyphs' own advances (about 20 px),
    // two of them off the baseline.
    name: 'explicit positions',
    attrs: { font: 'Arial', size: 600 },
    family: 'Liberation Sans',
    x: 400,
    y: 4200,
    text: 'ABCD',
    charpos: [[0, 0], [2000, 0], [4000, -200], [6000, 200]],
    box: [0, 168, 380, 232],
  },
  {
    name: 'blue bold',
    attrs: { font: 'Arial', size: 600, style: 'bold', color: '#0000CC' },
    family: 'Liberation Sans',
    bold: true,
    color: 0x0000cc,
    x: 8000,
    y: 4200,
    text: 'Blue ink',
    box: [390, 168, WIDTH, 232],
  },
];

// A black square (U+25A0, DejaVu Sans: x 93…875, y −658…126 of the 1024 em)
// at an 80 px em, drawn at alpha 0x80 in #CC0000 across the edge of a blue
// rectangle: its ink spans x 27.3…88.4 px, y 268.6…329.8 px.
const SQUARE = { x: 400, y: 6400, size: 1600, color: '#80CC0000' };
const BLUE_RECT = { pos: [0, 5000], size: [1100, 2000] }; // (0, 250)-(55, 350) px

const attr = (v) => String(v).replace(/&/g, '&amp;').replace(/"/g, '&quot;').replace(/</g, '&lt;');
const content = (s) => s.replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;');

function pageMarkup() {
  const lines = LINES.map((l) => {
    const attrs = Object.entries(l.attrs).map(([k, v]) => ` ${k}="${attr(v)}"`).join('');
    const charpos = l.charpos ? ` charpos="${l.charpos.map(([x, y]) => `${x},${y}`).join(';')}"` : '';
    return `<Text${attrs}${charpos} pos="${l.x},${l.y}">${content(l.text)}</Text>`;
  });
  return `<Media width="${WIDTH * 20}" height="${HEIGHT * 20}"><Frame>
<Font src="f1.mml"/>
<Shape><FillColor side="right" color="#0000FF"/><Rect pos="${BLUE_RECT.pos}" size="${BLUE_RECT.size}"/></Shape>
${lines.join('\n')}
<Text font="DejaVu Sans" size="${SQUARE.size}" color="${SQUARE.color}" pos="${SQUARE.x},${SQUARE.y}">&#x25a0;</Text>
</Frame></Media>
`;
}

function run(file, args) {
  return new Promise((resolve, reject) => {
    execFile(file, args, { timeout: 60_000 }, (err, stdout, stderr) =>
      err ? reject(new Error(`${path.basename(file)} failed: ${stderr.trim() || err.message}`)) : resolve(stdout),
    );
  });
}

/** The cairo reference for `job`. */
const drawReference = (job) => drawReferenceWith(TEXT_SCRIPT, job);

const cssColor = (c) => `#${(c >>> 0).toString(16).padStart(6, '0')}`;

describe('text through the converter and the player', () => {
  let scratch;
  let moviePath;
  let dump;
  let image;
  let reference;

  before(async () => {
    await fs.access(converterPath).catch(() => assert.fail(`${converterPath} is not built`));
    await fs.access(fontfilePath).catch(() => assert.fail(`${fontfilePath} is not built`));
    // The references are only meaningful with the very faces fontconfig
    // resolves for the converter.
    for (const family of new Set(LINES.map((l) => l.family))) {
      const found = (await run('fc-match', ['-f', '%{family}', family])).split(',');
      assert.ok(found.includes(family), `fontconfig has no ${family} (it gives ${found}): install its font package`);
    }
    scratch = await scratchDir();
    const embedded = LINES.find((l) => l.attrs.font === EMBEDDED_NAME);
    await run(fontfilePath, [
      'DejaVu Serif', '--charset', '0', '--name', EMBEDDED_NAME,
      '--chars', embedded.text, '-o', path.join(scratch.dir, 'f1.mml'),
    ]);
    const page = path.join(scratch.dir, 'text.mml');
    await fs.writeFile(page, pageMarkup());
    moviePath = path.join(scratch.dir, 'text.swf');
    const result = await runConverter(['--raw', page, '-o', moviePath, '--dump']);
    assert.equal(result.code, 0, `tessaly-convert failed: ${result.stderr}`);
    dump = result.stdout;

    image = await renderSwf(moviePath, { width: WIDTH, height: HEIGHT });
    await savePng(image, path.join(artifacts, 'text.png')).catch(() => {});
    reference = await drawReference({
      width: WIDTH,
      height: HEIGHT,
      background: cssColor(BG),
      out: path.join(scratch.dir, 'text-reference.png'),
      rects: [{
        box: [BLUE_RECT.pos[0] / 20, BLUE_RECT.pos[1] / 20,
          (BLUE_RECT.pos[0] + BLUE_RECT.size[0]) / 20, (BLUE_RECT.pos[1] + BLUE_RECT.size[1]) / 20],
        color: cssColor(BLUE),
      }],
      runs: LINES.map((l) => ({
        family: l.family,
        bold: !!l.bold,
        italic: !!l.italic,
        size: l.attrs.size / 20,
        x: l.x / 20,
        y: l.y / 20,
        text: l.text,
        color: cssColor(l.color ?? 0),
        ...(l.charpos ? { positions: l.charpos.map(([x, y]) => [x / 20, y / 20]) } : {}),
      })),
    });
    await savePng(reference, path.join(artifacts, 'text-reference.png')).catch(() => {});
  });

  after(async () => {
    await closeBrowser();
    await scratch?.cleanup();
  });

  for (const line of LINES) {
    it(`draws the ${line.name} line where and as cairo draws it`, () => {
      assertOverlap(inkOverlap(image, reference, line.box, { ink: line.color ?? 0, background: BG }), line.name);
    });
  }

  it('draws the embedded font, not a system font of that name', () => {
    // The dump lists one font of that name, the one the file defined: a
    // system capture would add a second entry.
    const entries = dump.match(new RegExp(`^id=\\d+ Font name="${EMBEDDED_NAME}"`, 'gm')) ?? [];
    assert.equal(entries.length, 1, `font entries named ${EMBEDDED_NAME}:\n${dump}`);
    const fonts = allTags(parseSwfStrict(moviePath)).filter((t) => t.type === TagType.DefineFont);
    const embedded = fonts.filter((f) => f.fontName === EMBEDDED_NAME);
    assert.equal(embedded.length, 1, `DefineFont2 tags: ${fonts.map((f) => f.fontName).join(', ')}`);
    // Exactly the glyphs the line uses, plus the space every font keeps.
    const line = LINES.find((l) => l.attrs.font === EMBEDDED_NAME);
    const wanted = new Set([...line.text, ' ']);
    assert.equal(embedded[0].glyphs.length, wanted.size);
  });

  it('colours text with its colour', () => {
    // Pixels fully inside the blue strokes: the stems of "B", "l", "i", "k"
    // are about 4 px wide in bold at 30 px, so the reference's pixels of
    // exactly the ink colour are the inside of the strokes.
    const [x1, y1, x2, y2] = LINES.find((l) => l.name === 'blue bold').box;
    let solid = 0;
    let off = 0;
    let first = null;
    for (let y = y1; y < y2; y++) {
      for (let x = x1; x < x2; x++) {
        const i = (y * WIDTH + x) * 4;
        const ref = (reference.data[i] << 16) | (reference.data[i + 1] << 8) | reference.data[i + 2];
        if (ref !== 0x0000cc) continue;
        solid++;
        const got = (image.data[i] << 16) | (image.data[i + 1] << 8) | image.data[i + 2];
        const far = Math.max(Math.abs((got >> 16) - 0), Math.abs(((got >> 8) & 0xff) - 0), Math.abs((got & 0xff) - 0xcc));
        if (far > 6) {
          off++;
          first ??= [x, y, got];
        }
      }
    }
    assert.ok(solid > 100, `only ${solid} solid reference pixels`);
    // Edges of strokes may fall half a pixel apart; the inside must be blue.
    assert.ok(off <= solid * 0.1, `${off} of ${solid} solid ink pixels are not #0000CC` +
      (first ? `; first at (${first[0]}, ${first[1]}): ${hex(first[2])}` : ''));
  });

  it('blends translucent text half-way with what lies under it', () => {
    // #80CC0000: alpha 128/255 over the background and over the blue rectangle.
    const a = 128 / 255;
    const blend = (top, under) => {
      const ch = (s) => Math.round(((under >>> s) & 0xff) + (((top >>> s) & 0xff) - ((under >>> s) & 0xff)) * a);
      return (ch(16) << 16) | (ch(8) << 8) | ch(0);
    };
    assertBoxColor(image, [30, 272, 53, 327], blend(0xcc0000, BLUE), { tolerance: 3, what: 'over the blue rectangle' });
    assertBoxColor(image, [57, 272, 86, 327], blend(0xcc0000, BG), { tolerance: 3, what: 'over the background' });
    assertBoxColor(image, [2, 262, 24, 340], BLUE, { what: 'blue rectangle left of the square' });
    assertBoxColor(image, [92, 262, 120, 340], BG, { what: 'background right of the square' });
  });

  it('writes a movie that parses strictly, with DefineText2 only for the translucent text', () => {
    const tags = allTags(parseSwfStrict(moviePath));
    const texts = tags.filter((t) => t.type === TagType.DefineText);
    // Adjacent lines share a text character; the translucent text has its own.
    assert.ok(texts.length >= 2 && texts.length < LINES.length + 1, `${texts.length} texts`);
    // swf-parser reads both DefineText forms into one tag type; a colour
    // with an alpha below 255 can only come from DefineText2.
    const alphas = texts.flatMap((t) => t.records.filter((r) => r.color).map((r) => r.color.a));
    assert.deepEqual(alphas.filter((x) => x !== 255), [0x80]);
  });
});
