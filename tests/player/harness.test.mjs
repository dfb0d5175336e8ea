// Checks the harness itself on movies written by hand (lib/minimal-swf.mjs):
// the strict parser must refuse malformed files, and a rendered movie pixel
// (x, y) must be stage pixel (x, y) with no scaling or offset.
import { describe, it, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs/promises';
import path from 'node:path';
import zlib from 'node:zlib';
import {
  makeSwf,
  parseSwfStrict,
  SwfFormatError,
  TagType,
  renderSwf,
  closeBrowser,
  savePng,
  assertBoxColor,
  assertColorAt,
  meanAbsDiff,
  scratchDir,
  binDir,
} from './lib/index.mjs';
import { parseChromiumVersion, chromiumVersionProblem, chromiumVersionWarning, CHROMIUM_MAJOR_RANGE } from './lib/browser.mjs';

const BG = 0xeeeeee;
const RED = 0xff0000;
const BLUE = 0x0000ff;
const GREEN = 0x00aa00;
const t = (pixels) => pixels * 20;

// Splits an uncompressed movie into its header (signature, RECT, rate, count)
// and tags; joinMovie puts them back with a correct file length.
function splitMovie(buf) {
  const nbits = buf[8] >>> 3;
  let pos = 8 + Math.ceil((5 + 4 * nbits) / 8) + 4;
  const head = buf.subarray(0, pos);
  const tags = [];
  while (pos < buf.length) {
    const cl = buf.readUInt16LE(pos);
    let len = cl & 0x3f;
    let start = pos + 2;
    if (len === 0x3f) {
      len = buf.readUInt32LE(start);
      start += 4;
    }
    tags.push({ code: cl >>> 6, body: buf.subarray(start, start + len) });
    pos = start + len;
  }
  return { head, tags };
}

function joinMovie({ head, tags }) {
  const parts = [Buffer.from(head)];
  for (const { code, body } of tags) {
    const h = Buffer.alloc(6);
    h.writeUInt16LE((code << 6) | 0x3f, 0);
    h.writeUInt32LE(body.length, 2);
    parts.push(h, Buffer.from(body));
  }
  const out = Buffer.concat(parts);
  out.writeUInt32LE(out.length, 4);
  return out;
}

function edit(buf, change) {
  const movie = splitMovie(buf);
  change(movie);
  return joinMovie(movie);
}

const sample = () =>
  makeSwf({
    width: 200,
    height: 100,
    background: BG,
    rects: [
      { rect: [t(20), t(10), t(60), t(50)], fill: RED },
      { rect: [t(100), t(20), t(180), t(80)], fill: BLUE, line: { width: t(10), color: GREEN } },
    ],
  });

describe('parseSwfStrict', () => {
  it('accepts a well-formed movie, plain or compressed', () => {
    const plain = sample();
    const parsed = parseSwfStrict(plain);
    assert.equal(parsed.header.swfVersion, 5);
    assert.deepEqual(parsed.header.frameSize, { xMin: 0, xMax: 4000, yMin: 0, yMax: 2000 });
    assert.equal(parsed.header.frameCount, 1);
    assert.deepEqual(
      parsed.tags.map((tag) => tag.type),
      [TagType.SetBackgroundColor, TagType.DefineShape, TagType.PlaceObject, TagType.DefineShape, TagType.PlaceObject, TagType.ShowFrame],
    );
    const compressed = Buffer.concat([Buffer.from('CWS'), plain.subarray(3, 8), zlib.deflateSync(plain.subarray(8))]);
    assert.deepEqual(parseSwfStrict(compressed).tags, parsed.tags);
  });

  const malformed = {
    'a wrong signature': (b) => Buffer.concat([Buffer.from('XWS'), b.subarray(3)]),
    'a file length that is not the real one': (b) => {
      const c = Buffer.from(b);
      c.writeUInt32LE(b.length + 1, 4);
      return c;
    },
    'a cut last tag': (b) => {
      const c = Buffer.from(b.subarray(0, b.length - 3));
      c.writeUInt32LE(c.length, 4);
      return c;
    },
    'an unknown tag code': (b) => edit(b, (m) => m.tags.splice(1, 0, { code: 1000, body: Buffer.alloc(2) })),
    'a shape body with a stray byte': (b) =>
      edit(b, (m) => {
        const shape = m.tags.find((x) => x.code === 2);
        shape.body = Buffer.concat([shape.body, Buffer.from([0])]);
      }),
    'a place tag cut inside its matrix': (b) =>
      edit(b, (m) => {
        const place = m.tags.find((x) => x.code === 4);
        place.body = Buffer.from([1, 0, 1, 0, 0xff]);
      }),
    'no End tag': (b) => edit(b, (m) => m.tags.pop()),
    'bytes after the End tag': (b) => {
      const c = Buffer.concat([b, Buffer.from([0, 0])]);
      c.writeUInt32LE(c.length, 4);
      return c;
    },
    'a frame count that is not the number of frames': (b) =>
      edit(b, (m) => m.tags.splice(m.tags.length - 1, 0, { code: 1, body: Buffer.alloc(0) })),
    'a compressed body that does not inflate': (b) => Buffer.concat([Buffer.from('CWS'), b.subarray(3, 8), Buffer.from('nonsense')]),
  };
  for (const [name, make] of Object.entries(malformed)) {
    it(`refuses ${name}`, () => {
      assert.throws(() => parseSwfStrict(make(sample())), SwfFormatError);
    });
  }
});

describe('the Chromium version check', () => {
  it('reads the version from what Debian, Google and the test builds print', () => {
    const debian = 'Chromium 156.0.8078.129 built on Debian GNU/Linux 12 (bookworm)\n';
    assert.deepEqual(parseChromiumVersion(debian), { major: 156, minor: 0, build: 8078, patch: 129, text: '156.0.8078.129' });
    assert.equal(parseChromiumVersion('Google Chrome for Testing 149.0.7827.55 \n').major, 149);
    assert.equal(parseChromiumVersion('Google Chrome 157.0.8100.1 beta').major, 157);
    for (const junk of ['', 'Chromium', 'Chromium 156.0', 'chromium: not found', 'Firefox 150.0.1.2']) {
      assert.equal(parseChromiumVersion(junk), null, junk);
    }
  });

  it('refuses an older Chromium and warns about a newer one, naming the pinned range', () => {
    const at = (major) => ({ major, minor: 0, build: 0, patch: 0, text: `${major}.0.0.0` });
    const { min, max } = CHROMIUM_MAJOR_RANGE;
    for (const major of [min, max]) {
      assert.equal(chromiumVersionProblem(at(major)), null);
      assert.equal(chromiumVersionWarning(at(major)), null);
    }
    assert.match(chromiumVersionProblem(at(min - 1)), new RegExp(`Chromium ${min - 1}\\.0\\.0\\.0 is older.*${min} to ${max}`));
    assert.equal(chromiumVersionProblem(at(max + 1)), null);
    assert.match(chromiumVersionWarning(at(max + 1)), new RegExp(`Chromium ${max + 1}\\.0\\.0\\.0 is newer.*${min} to ${max}`));
    assert.match(chromiumVersionProblem(null), /could not be read/);
  });
});

describe('renderSwf', () => {
  after(closeBrowser);
  const artifacts = path.join(binDir, '..', 'player-artifacts');

  async function render(name, swf, size) {
    const { dir, cleanup } = await scratchDir();
    try {
      const file = path.join(dir, `${name}.swf`);
      await fs.writeFile(file, swf);
      const image = await renderSwf(file, size);
      await savePng(image, path.join(artifacts, `harness-${name}.png`)).catch(() => {});
      return image;
    } finally {
      await cleanup();
    }
  }

  it('shows movie pixel (x, y) at stage pixel (x, y)', async () => {
    // Odd positions and a rectangle in the bottom-right corner: any offset or
    // scaling moves at least one edge off its pixel.
    const image = await render(
      'mapping',
      makeSwf({
        width: 240,
        height: 130,
        background: BG,
        rects: [
          { rect: [t(13), t(7), t(61), t(33)], fill: RED },
          { rect: [t(200), t(100), t(240), t(130)], fill: BLUE },
          { rect: [t(0), t(60), t(1), t(61)], fill: GREEN },
        ],
      }),
      { width: 240, height: 130 },
    );
    assert.deepEqual([image.width, image.height], [240, 130]);
    assert.equal(image.metadata.width, 240);
    assert.equal(image.metadata.height, 130);
    assertBoxColor(image, [13, 7, 61, 33], RED, { tolerance: 0, what: 'red rectangle' });
    assertBoxColor(image, [12, 6, 62, 7], BG, { tolerance: 0, what: 'row above red' });
    assertBoxColor(image, [12, 33, 62, 34], BG, { tolerance: 0, what: 'row below red' });
    assertBoxColor(image, [12, 7, 13, 33], BG, { tolerance: 0, what: 'column left of red' });
    assertBoxColor(image, [61, 7, 62, 33], BG, { tolerance: 0, what: 'column right of red' });
    assertBoxColor(image, [200, 100, 240, 130], BLUE, { tolerance: 0, what: 'corner rectangle' });
    assertBoxColor(image, [199, 99, 240, 100], BG, { tolerance: 0, what: 'row above corner' });
    assertColorAt(image, 0, 60, GREEN, { tolerance: 0, what: 'single pixel' });
    assertColorAt(image, 1, 60, BG, { tolerance: 0 });
    assertColorAt(image, 0, 59, BG, { tolerance: 0 });
    assertColorAt(image, 0, 0, BG, { tolerance: 0, what: 'top-left corner' });
  });

  it('draws a thick outline centred on the path', async () => {
    const image = await render('outline', sample(), { width: 200, height: 100 });
    assert.equal(image.metadata.backgroundColor, '#EEEEEE');
    assert.equal(image.metadata.swfVersion, 5);
    assert.equal(image.metadata.frameRate, 12);
    // 10-pixel line on the edges x = 100, x = 180, y = 20, y = 80.
    assertBoxColor(image, [95, 30, 105, 70], GREEN, { what: 'left edge' });
    assertBoxColor(image, [175, 30, 185, 70], GREEN, { what: 'right edge' });
    assertBoxColor(image, [110, 15, 170, 25], GREEN, { what: 'top edge' });
    assertBoxColor(image, [106, 26, 174, 74], BLUE, { what: 'fill inside the line' });
    assertBoxColor(image, [20, 10, 60, 50], RED, { what: 'plain fill' });
    assertBoxColor(image, [70, 0, 90, 100], BG, { what: 'gap between the shapes' });
  });

  it('renders the same movie identically and tells different ones apart', async () => {
    const a = await render('same-1', sample(), { width: 200, height: 100 });
    const b = await render('same-2', sample(), { width: 200, height: 100 });
    assert.equal(meanAbsDiff(a, b), 0);
    const moved = makeSwf({
      width: 200,
      height: 100,
      background: BG,
      rects: [{ rect: [t(21), t(10), t(61), t(50)], fill: RED }],
    });
    const c = await render('moved', moved, { width: 200, height: 100 });
    assert.ok(meanAbsDiff(a, c) > 1, `difference ${meanAbsDiff(a, c)}`);
  });

  it('fails clearly on a file the player cannot read', async () => {
    await assert.rejects(render('garbage', Buffer.from('this is no movie'), { width: 50, height: 50 }), /player failed/);
    await assert.rejects(renderSwf('/nonexistent/movie.swf', { width: 50, height: 50 }), /ENOENT/);
  });
});
