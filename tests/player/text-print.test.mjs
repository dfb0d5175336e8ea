// Text printed through the graphics layer into the driver as vector content
// at 150 dpi, converted and played: every line's ink lies where the layer's
// own raster of the page has it, the movie's texts hold the printed
// characters in the fonts the script chose, each font defined once, and a
// font registered from memory under a name of its own reaches the movie with
// its own outlines.
import { describe, it, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import {
  scratchDir,
  parseSwfStrict,
  TagType,
  renderSwf,
  closeBrowser,
  savePng,
  binDir,
  sourceDir,
  runProgram,
  writeTestPrinterStore,
  readBag,
  unscrambleJobFile,
  stoppedOnFrame,
  cropImage,
  inkOverlap,
  assertOverlap,
  describeOverlap,
} from './lib/index.mjs';

const SCRIPT = path.join(sourceDir, 'tests', 'player', 'print-pages', 'text.script');
const DPI = 150;
const ARTIFACTS = path.join(binDir, '..', 'player-artifacts');
// The player without anti-aliasing, as the layer's raster has none.
const PLAYER = { preferredRenderer: 'webgl', quality: 'low' };
const PAGE_WIDTH = 612; // Letter, in points

// The regions compared, in points. A line's band runs from an em above its
// baseline to 0.3 em below it across the page (or the x range given); ink is
// black on white unless given.
const band = (page, what, y, size, more = {}) => {
  const [x1, x2] = more.x ?? [0, PAGE_WIDTH];
  return { page, what, box: [x1, y - size, x2, y + 0.3 * size], ...more };
};
const REGIONS = [
  band(1, 'Liberation Sans 12', 50, 12),
  band(1, 'Liberation Serif 12', 74, 12),
  band(1, 'Liberation Mono 10', 96, 10),
  band(1, 'DejaVu Sans 11', 118, 11),
  band(1, 'DejaVu Serif 11', 140, 11),
  band(1, 'Nimbus Roman 12 (CFF)', 163, 12),
  band(1, 'URW Gothic 12 (CFF)', 186, 12),
  band(1, 'DejaVu Serif 6', 204, 6),
  band(1, 'Liberation Sans 8', 220, 8),
  band(1, 'DejaVu Serif 10', 238, 10),
  band(1, 'Liberation Sans 14', 262, 14),
  band(1, 'Liberation Serif 18', 292, 18),
  band(1, 'DejaVu Sans 24', 330, 24),
  band(1, 'Liberation Serif 36', 382, 36),
  band(1, 'Liberation Sans 48', 446, 48),
  band(1, 'DejaVu Serif 72', 540, 72),
  band(1, 'trimmed blanks', 590, 14),
  band(2, 'bold', 50, 14),
  band(2, 'italic', 76, 14),
  band(2, 'bold italic', 102, 14),
  band(2, 'simulated bold', 130, 16),
  band(2, 'spacing 14', 160, 12, { x: [0, 290] }),
  band(2, 'spacing 22', 160, 12, { x: [290, PAGE_WIDTH] }),
  band(2, 'red', 196, 16, { x: [0, 320], ink: 0xc00000 }),
  band(2, 'blue', 196, 16, { x: [320, PAGE_WIDTH], ink: 0x0050c0 }),
  band(2, 'green bold, underlined and struck out', 224, 14, { ink: 0x008000 }),
  band(2, 'black on yellow', 262, 16, { x: [0, 290], background: 0xfff080 }),
  // Inside the navy box only: white ink would take in the page around it.
  { page: 2, what: 'white on navy', box: [301, 248, 398, 265], ink: 0xffffff, background: 0x102060 },
  { page: 2, what: 'yellow box', box: [0, 240, 290, 272], ink: 0xfff080 },
  { page: 2, what: 'navy box', box: [290, 240, PAGE_WIDTH, 272], ink: 0x102060 },
  { page: 2, what: 'rotated 90', box: [58, 460, 92, 646] },
  { page: 2, what: 'rotated 30', box: [162, 490, 410, 652] },
  band(3, 'accented Latin', 60, 16),
  band(3, 'Greek', 96, 16),
  band(3, 'Cyrillic', 132, 16),
  band(3, 'Cyrillic and Greek, serif', 168, 16),
  band(3, 'CJK 20', 210, 20),
  band(3, 'CJK 12', 240, 12),
  band(3, 'glyph indices', 280, 16),
];
const PAGES = 3;
// What the glyphs command's indices are in DejaVu Sans.
const GLYPHS_TEXT = 'Glyphs AABA';

// The script's texts per page, with the font each was printed in.
function scriptTexts(script) {
  const pages = [];
  let font = '';
  const unquote = (s) => s.replace(/\\(["\\])/g, '$1');
  for (const line of script.split('\n')) {
    let m;
    if (/^page\b/.test(line)) pages.push([]);
    else if ((m = /^font\s+"((?:[^"\\]|\\.)*)"\s+\S+(.*)$/.exec(line))) {
      const styles = ['bold', 'italic'].filter((s) => new RegExp(`\\b${s}\\b`).test(m[2]));
      font = [unquote(m[1]), ...styles].join(' ');
    } else if ((m = /^text\s+\S+\s+\S+\s+"((?:[^"\\]|\\.)*)"/.exec(line))) {
      pages.at(-1).push(`${font}: ${unquote(m[1]).replace(/^ +| +$/g, '')}`);
    } else if (/^glyphs\b/.test(line)) pages.at(-1).push(`${font}: ${GLYPHS_TEXT}`);
  }
  return pages;
}

// The movie's lines per frame, their glyphs read back through the fonts'
// code tables, and its font definitions. Adjacent printed lines share text
// characters: a line ends where a record changes the font or the baseline.
function movieTexts(movie) {
  const fonts = new Map();
  const pages = [[]];
  for (const tag of parseSwfStrict(movie).tags) {
    if (tag.type === TagType.DefineFont) fonts.set(tag.id, tag);
    else if (tag.type === TagType.ShowFrame) pages.push([]);
    else if (tag.type === TagType.DefineText) {
      let font, y;
      let text = '';
      const end = () => {
        const name = [font.fontName, font.isBold && 'bold', font.isItalic && 'italic'].filter(Boolean).join(' ');
        if (text) pages.at(-1).push(`${name}: ${text}`);
        text = '';
      };
      for (const record of tag.records) {
        const moved = (record.offsetY !== 0 || record.offsetX !== 0) && record.offsetY !== y;
        if (font && (record.fontId !== undefined || moved)) end();
        if (record.fontId !== undefined) font = fonts.get(record.fontId);
        if (moved) y = record.offsetY;
        assert.ok(font?.codeUnits, `text ${tag.id}: a record without a font that has a code table`);
        for (const { index } of record.entries) text += String.fromCharCode(font.codeUnits[index]);
      }
      end();
    }
  }
  return { pages: pages.slice(0, -1), fonts: [...fonts.values()] };
}

const pixels = (points) => (points * DPI) / 72;

// A font registered from memory: DejaVu Serif's file under a name no
// installed font has. Fontconfig would give that name a sans-serif
// substitute, so the movie's glyphs must be DejaVu Serif's, not the
// substitute's.
const PRIVATE = 'PrivateSerif';
const PRIVATE_LINE = 'Private serif: Handgloves AVOW 1984';
const privateScript = (substitute) => `units pt
paper Letter
fontfile "private.ttf" "${PRIVATE}"
page
${[PRIVATE, 'DejaVu Serif', substitute].map((f, i) => `font "${f}" 24\ntext 36 ${60 + 50 * i} "${PRIVATE_LINE}"`).join('\n')}
endpage
`;

describe('printed text looks like the layer rendered it and keeps its characters', () => {
  let scratch;
  let job;
  let privateJob;
  let substitute;
  let shown;
  const images = [];

  async function print(script, name) {
    const registry = path.join(scratch.dir, 'registry');
    const movie = path.join(scratch.dir, `${name}.swf`);
    const result = await runProgram(
      path.join(binDir, 'tessaly-print'),
      ['--script', script, '--vector', '--page-rasters', '--dpi', String(DPI), '--spool',
        path.join(scratch.dir, `spool-${name}`), '-o', movie],
      { TESSALY_REGISTRY_ROOT: registry },
    );
    assert.equal(result.code, 0, result.stderr);
    return { dir: result.stdout.trim(), movie };
  }

  // The page as played and as the layer rendered it: { rendered, reference }.
  async function renderPage({ dir, movie }, name, n) {
    const reference = readBag(path.join(dir, `altpage${n}.bag`));
    // One page pixel a screen pixel (see the vector print test).
    shown = { width: Math.floor(reference.width / 20) * 20, height: Math.floor(reference.height / 20) * 20 };
    const stopped = path.join(scratch.dir, `${name}-page${n}.swf`);
    fs.writeFileSync(stopped, stoppedOnFrame(fs.readFileSync(movie), n));
    const rendered = await renderSwf(stopped, { ...shown, config: PLAYER });
    await savePng(rendered, path.join(ARTIFACTS, `${name}-page${n + 1}.png`)).catch(() => {});
    return { rendered, reference: cropImage(reference, shown.width, shown.height) };
  }

  function measure({ rendered, reference }, { box, ink, background }) {
    const [x1, y1, x2, y2] = box.map(pixels);
    const px = [Math.floor(x1), Math.floor(y1), Math.min(Math.ceil(x2), shown.width), Math.min(Math.ceil(y2), shown.height)];
    return inkOverlap(rendered, reference, px, { ink, background });
  }

  before(async () => {
    scratch = await scratchDir();
    writeTestPrinterStore(path.join(scratch.dir, 'registry'), sourceDir);
    job = await print(SCRIPT, 'text-print');
    for (let n = 0; n < PAGES; n++) images.push(await renderPage(job, 'text-print', n));

    const fontconfig = (args) => runProgram('fc-match', ['-f', ...args]).then((r) => r.stdout.split(',')[0]);
    substitute = await fontconfig(['%{family}', PRIVATE]);
    assert.notEqual(substitute, 'DejaVu Serif', 'fontconfig substitutes DejaVu Serif itself: the check cannot tell');
    fs.copyFileSync(await fontconfig(['%{file}', 'DejaVu Serif']), path.join(scratch.dir, 'private.ttf'));
    const script = path.join(scratch.dir, 'private.script');
    fs.writeFileSync(script, privateScript(substitute));
    privateJob = await print(script, 'private-font');
    images.push(await renderPage(privateJob, 'private-font', 0));
  });

  after(async () => {
    await closeBrowser();
    await scratch?.cleanup();
  });

  it('draws every line where the layer drew it (97% of ink within 1 px, both ways)', () => {
    const failed = [];
    for (const region of REGIONS) {
      const result = measure(images[region.page - 1], region);
      console.log(`page ${region.page}, ${region.what}: ${describeOverlap(result)}`);
      try {
        assertOverlap(result, `page ${region.page}, ${region.what}`);
      } catch (err) {
        failed.push(err.message);
      }
    }
    assert.deepEqual(failed, []);
  });

  it('holds the printed characters in the fonts chosen, each font defined once', () => {
    const expected = scriptTexts(fs.readFileSync(SCRIPT, 'utf8'));
    const { pages, fonts } = movieTexts(job.movie);
    assert.equal(pages.length, PAGES);
    for (let n = 0; n < PAGES; n++) assert.deepEqual([...pages[n]].sort(), [...expected[n]].sort(), `page ${n + 1}`);
    const names = fonts.map((f) => `${f.fontName}${f.isBold ? ' bold' : ''}${f.isItalic ? ' italic' : ''}`);
    assert.deepEqual(names.filter((name, i) => names.indexOf(name) !== i), [], `fonts: ${names.join(', ')}`);
    // The family has no bold face: the layer made it bolder and said so.
    assert.match(unscrambleJobFile(path.join(job.dir, 'media.mml')), /<Text [^>]*font="DejaVu Math TeX Gyre"[^>]*style="bold "/);
  });

  it('draws a font registered from memory with its own glyphs, not a substitute\'s', () => {
    const result = measure(images[PAGES], band(1, PRIVATE, 60, 24));
    console.log(`${PRIVATE}: ${describeOverlap(result)}`);
    assertOverlap(result, PRIVATE);
    const { pages, fonts } = movieTexts(privateJob.movie);
    assert.equal(pages.length, 1);
    assert.deepEqual([...pages[0]].sort(), [PRIVATE, 'DejaVu Serif', substitute].map((f) => `${f}: ${PRIVATE_LINE}`).sort());
    // The same outlines as the installed DejaVu Serif, character for character.
    const glyphsOf = (name) => {
      const font = fonts.find((f) => f.fontName === name);
      assert.ok(font, `no font ${name} in ${fonts.map((f) => f.fontName)}`);
      return new Map(font.codeUnits.map((code, i) => [code, JSON.stringify(font.glyphs[i])]));
    };
    const own = glyphsOf(PRIVATE);
    const serif = glyphsOf('DejaVu Serif');
    const sans = glyphsOf(substitute);
    const letters = [...new Set(PRIVATE_LINE.replace(/ /g, ''))].map((c) => c.charCodeAt(0));
    assert.deepEqual(letters.filter((c) => own.get(c) !== serif.get(c)).map((c) => String.fromCharCode(c)), []);
    const likeSans = letters.filter((c) => own.get(c) === sans.get(c));
    assert.ok(likeSans.length <= 2, `glyphs shaped as ${substitute}'s: ${String.fromCharCode(...likeSans)}`);
  });
});
