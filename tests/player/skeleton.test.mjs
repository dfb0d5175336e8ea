// Converts pages/rects.mml with tessaly-convert, checks the movie with a strict
// independent parser and renders it in Ruffle: every expectation below is
// worked out by hand from the markup (twips / 20 = pixels).
import { describe, it, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
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
  binDir,
} from './lib/index.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const PAGE = path.join(here, 'pages', 'rects.mml');
const WIDTH = 600; // Media width 12000 twips
const HEIGHT = 400; // Media height 8000 twips
const BACKGROUND = 0xeeeeee;

describe('rects.mml through the converter and the player', () => {
  let scratch;
  let swfPath;
  let image;

  before(async () => {
    assert.ok(fs.existsSync(converterPath), `${converterPath} is not built`);
    scratch = await scratchDir();
    swfPath = path.join(scratch.dir, 'rects.swf');
    await convertPage(PAGE, swfPath);
  });

  after(async () => {
    await closeBrowser();
    await scratch?.cleanup();
  });

  it('writes a movie that parses strictly, with the page as its frame', () => {
    const movie = parseSwfStrict(swfPath);
    assert.equal(movie.header.swfVersion, 5);
    assert.deepEqual(movie.header.frameSize, { xMin: 0, xMax: 12000, yMin: 0, yMax: 8000 });
    assert.equal(movie.header.frameRate.epsilons, 12 << 8);
    assert.equal(movie.header.frameCount, 1);
    const tags = allTags(movie);
    const background = tags.find((t) => t.type === TagType.SetBackgroundColor);
    assert.ok(background, 'no SetBackgroundColor tag');
    assert.deepEqual(background.color, { r: 0xee, g: 0xee, b: 0xee });
    const shapes = tags.filter((t) => t.type === TagType.DefineShape);
    assert.equal(shapes.length, 5, 'one shape per Shape element');
  });

  it('renders at the page size', async () => {
    image = await renderSwf(swfPath, { width: WIDTH, height: HEIGHT });
    await savePng(image, path.join(binDir, '..', 'player-artifacts', 'skeleton-rects.png')).catch(() => {});
    assert.equal(image.metadata.width, WIDTH);
    assert.equal(image.metadata.height, HEIGHT);
    assert.equal(image.metadata.backgroundColor, '#EEEEEE');
  });

  it('fills the rectangles with their colours', (t) => {
    if (!image) return t.skip('not rendered');
    // Boxes well inside each rectangle (a few pixels in from every edge).
    assertBoxColor(image, [55, 55, 195, 145], 0xcc0000, { what: 'red: pos 1000,1000 size 3000,2000' });
    assertBoxColor(image, [255, 55, 345, 145], 0x00aa00, { what: 'green: pos 5000,1000 size 2000,2000' });
    assertBoxColor(image, [405, 55, 545, 145], 0x0000cc, { what: 'blue: pos 8000,1000 size 3000,2000' });
    // The outlined rectangle's fill, inside its 10-pixel line.
    assertBoxColor(image, [60, 210, 240, 340], 0xffcc00, { what: 'outlined rectangle fill' });
  });

  it('draws the thick outline on the rectangle edges', (t) => {
    if (!image) return t.skip('not rendered');
    // Edges at x = 50, 250 and y = 200, 350; width 200 twips = 10 pixels.
    assertBoxColor(image, [47, 215, 53, 335], 0x000000, { what: 'left edge' });
    assertBoxColor(image, [247, 215, 253, 335], 0x000000, { what: 'right edge' });
    assertBoxColor(image, [65, 197, 235, 203], 0x000000, { what: 'top edge' });
    assertBoxColor(image, [65, 347, 235, 353], 0x000000, { what: 'bottom edge' });
  });

  it('draws the polyline with its thick line style and no fill', (t) => {
    if (!image) return t.skip('not rendered');
    // Points (300,350) (300,225) (425,225) (525,350), then on to (575,350);
    // width 160 twips = 8 pixels.
    const purple = 0x8800aa;
    assertBoxColor(image, [298, 240, 302, 335], purple, { what: 'vertical segment x=300' });
    assertBoxColor(image, [315, 223, 410, 227], purple, { what: 'horizontal segment y=225' });
    assertColorAt(image, 475, 287, purple, { what: 'diagonal segment midpoint' });
    assertBoxColor(image, [535, 348, 565, 352], purple, { what: 'segment added by LinexTo' });
    // The open path encloses nothing.
    assertBoxColor(image, [320, 250, 390, 340], BACKGROUND, { what: 'inside the polyline' });
  });

  it('leaves the rest of the page in the background colour', (t) => {
    if (!image) return t.skip('not rendered');
    assertBoxColor(image, [0, 0, WIDTH, 40], BACKGROUND, { what: 'top band' });
    assertBoxColor(image, [0, 370, WIDTH, HEIGHT], BACKGROUND, { what: 'bottom band' });
    assertBoxColor(image, [210, 50, 240, 150], BACKGROUND, { what: 'between red and green' });
    assertBoxColor(image, [360, 50, 390, 150], BACKGROUND, { what: 'between green and blue' });
    assertBoxColor(image, [560, 40, WIDTH, 330], BACKGROUND, { what: 'right margin' });
    assertBoxColor(image, [0, 40, 40, 370], BACKGROUND, { what: 'left margin' });
    assertColorAt(image, 44, 275, BACKGROUND, { what: 'just outside the outline' });
  });
});
