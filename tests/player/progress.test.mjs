// The progress movies data/Working.swf and data/Searching.swf in Ruffle: the
// variables Text, PageNum and PageTotal reach them through FlashVars and
// through the SetVariable callback they register, the bar shows the share of
// pages done, and the panel stays in the middle of the window.
import { describe, it, after } from 'node:test';
import assert from 'node:assert/strict';
import path from 'node:path';
import {
  sourceDir,
  parseSwfStrict,
  allTags,
  TagType,
  renderSwf,
  closeBrowser,
  callPlayer,
  playerPage,
  shootStage,
  assertColorAt,
  colorAt,
  colorDistance,
} from './lib/index.mjs';

const WORKING = path.join(sourceDir, 'data', 'Working.swf');
const SEARCHING = path.join(sourceDir, 'data', 'Searching.swf');
const BAR = 0x3a78c8;
const TRACK = 0xdde3ea;
const WHITE = 0xffffff;
// The player host's external calls need script access and networking.
const HOST = { allowScriptAccess: true, allowNetworking: 'all' };

// The panel's parts relative to the centre of the window.
const trackRow = (cy) => cy + 17;
const textBand = (cx, cy) => [cx - 200, cy - 22, cx + 200, cy + 2];
const pagesBand = (cx, cy) => [cx - 70, cy + 28, cx + 70, cy + 48];

function band(image, [x1, y1, x2, y2]) {
  const out = [];
  for (let y = y1; y < y2; y++) for (let x = x1; x < x2; x++) out.push(colorAt(image, x, y));
  return out;
}
const inked = (pixels) => pixels.filter((c) => colorDistance(c, WHITE) > 60).length;
const sameBand = (a, b) => a.length === b.length && a.every((c, i) => colorDistance(c, b[i]) <= 8);

describe('progress movies', () => {
  after(closeBrowser);

  it('parse strictly, bind their fields to the three variables and act in version 8', () => {
    for (const file of [WORKING, SEARCHING]) {
      const movie = parseSwfStrict(file);
      assert.equal(movie.header.swfVersion, 8, file);
      const vars = allTags(movie)
        .filter((t) => t.type === TagType.DefineDynamicText)
        .map((t) => t.variableName)
        .filter(Boolean);
      for (const v of ['_root.Text', '_root.PageNum', '_root.PageTotal']) assert.ok(vars.includes(v), `${file}: ${v}`);
      assert.ok(allTags(movie).some((t) => t.type === TagType.DoAction), `${file}: no actions`);
    }
  });

  it('Working.swf shows FlashVars and callback values, a bar of the pages done, and recentres', async () => {
    const W = 640;
    const H = 240;
    let image = await renderSwf(WORKING, {
      width: W,
      height: H,
      config: { ...HOST, parameters: { Text: 'Working Page 1 of 4...', PageNum: '1', PageTotal: '4' } },
    });
    assert.deepEqual(image.log.filter((l) => !l.includes('GL Driver')), []);
    const cx = W / 2;
    const cy = H / 2;
    const row = trackRow(cy);
    // The track runs from cx - 150 to cx + 150; a quarter of it is filled.
    assertColorAt(image, cx - 140, row, BAR, { tolerance: 12, what: 'bar at 1 of 4' });
    assertColorAt(image, cx - 90, row, BAR, { tolerance: 12, what: 'bar at 1 of 4' });
    assertColorAt(image, cx - 60, row, TRACK, { tolerance: 12, what: 'track beyond 1 of 4' });
    assertColorAt(image, cx + 140, row, TRACK, { tolerance: 12, what: 'track end' });
    const first = band(image, textBand(cx, cy));
    assert.ok(inked(first) > 100, 'the FlashVars text is not shown');
    assert.ok(inked(band(image, pagesBand(cx, cy))) > 20, 'the page counter is not shown');

    // The host's SetVariable callback: a new text, then the FlashVars text again.
    await callPlayer('SetVariable', 'Text', 'Something else entirely');
    await callPlayer('SetVariable', 'PageNum', '3');
    image = await shootStage();
    assert.ok(!sameBand(band(image, textBand(cx, cy)), first), 'the callback did not change the text');
    assertColorAt(image, cx + 60, row, BAR, { tolerance: 12, what: 'bar at 3 of 4' });
    assertColorAt(image, cx + 90, row, TRACK, { tolerance: 12, what: 'track beyond 3 of 4' });
    await callPlayer('SetVariable', 'Text', 'Working Page 1 of 4...');
    image = await shootStage();
    assert.ok(sameBand(band(image, textBand(cx, cy)), first), 'the same text through the callback looks different');

    // A smaller window: the panel keeps its size and moves to the new middle.
    const page = await playerPage();
    await page.evaluate(() => {
      const p = document.getElementById('stage');
      p.style.width = '500px';
      p.style.height = '200px';
    });
    image = await shootStage();
    assert.equal(image.width, 500);
    assertColorAt(image, 250 - 140, trackRow(100), BAR, { tolerance: 12, what: 'bar after resizing' });
    assertColorAt(image, 250 + 140, trackRow(100), TRACK, { tolerance: 12, what: 'track after resizing' });
  });

  it('Searching.swf waits for a job with a runner on the track and no page counter', async () => {
    const W = 400;
    const H = 300;
    const image = await renderSwf(SEARCHING, { width: W, height: H, settle: false, config: HOST });
    const cx = W / 2;
    const cy = H / 2;
    assert.ok(inked(band(image, textBand(cx, cy))) > 100, 'no waiting text');
    assert.equal(inked(band(image, pagesBand(cx, cy))), 0, 'a page counter without pages');
    const row = band(image, [cx - 150, trackRow(cy), cx + 150, trackRow(cy) + 1]);
    const bar = row.filter((c) => colorDistance(c, BAR) <= 16).length;
    assert.ok(bar >= 50 && bar <= 64, `the runner covers ${bar} pixels, expected about 60`);
    assert.ok(row.filter((c) => colorDistance(c, TRACK) <= 16).length >= 200, 'no track beside the runner');
    // The host names the job's state through the callback.
    await callPlayer('SetVariable', 'Text', 'Receiving Page 2...');
    const later = await shootStage({ settle: false });
    assert.ok(!sameBand(band(later, textBand(cx, cy)), band(image, textBand(cx, cy))), 'the text did not change');
  });
});
