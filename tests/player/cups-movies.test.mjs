// The movies the private print server's test made from jobs printed with lp
// (a PDF, and a text file CUPS turned into PDF), played: the first frame shows
// the first page of the PDF that CUPS's own filters made of the document, as
// poppler draws it. The server's test leaves each movie beside that PDF in
// build/cups-artifacts (with NAME.turn when the movie turned the pages back
// upright: the reference is turned the same way); without them (that test needs root and was skipped)
// there is nothing to check.
import { describe, it, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import zlib from 'node:zlib';
import { PNG } from 'pngjs';
import {
  scratchDir,
  parseSwfStrict,
  renderSwf,
  closeBrowser,
  savePng,
  binDir,
  ssim,
  runProgram,
  stoppedOnFrame,
  cropImage,
} from './lib/index.mjs';

const ARTIFACTS = path.join(binDir, '..', 'cups-artifacts');
const THRESHOLD = 0.93;
// The longer side of the page on screen.
const SHOWN = 900;

const movies = fs.existsSync(ARTIFACTS)
  ? fs.readdirSync(ARTIFACTS).filter((f) => f.endsWith('.swf')).sort()
  : [];

// The movie uncompressed, so that a stop can be put before its first frame.
function uncompressed(bytes) {
  if (bytes.subarray(0, 3).toString('latin1') !== 'CWS') return bytes;
  return Buffer.concat([Buffer.from('FWS'), bytes.subarray(3, 8), zlib.inflateSync(bytes.subarray(8))]);
}

// An image turned clockwise by 0, 90, 180 or 270 degrees.
function turned(image, degrees) {
  let out = image;
  for (let quarter = 0; quarter < degrees / 90; quarter++) {
    const { width, height, data } = out;
    const next = new Uint8Array(data.length);
    // The pixel at (x, y) goes to (height - 1 - y, x) of a height-wide image.
    for (let y = 0; y < height; y++) {
      for (let x = 0; x < width; x++) {
        const from = (y * width + x) * 4, to = (x * height + (height - 1 - y)) * 4;
        next.set(data.subarray(from, from + 4), to);
      }
    }
    out = { width: height, height: width, data: next };
  }
  return out;
}

describe('movies of jobs printed through the print server', { skip: movies.length === 0 && 'no printed movies (the print server test needs root)' }, () => {
  after(closeBrowser);

  for (const name of movies) {
    it(`${name} shows the first page CUPS made of the document`, async () => {
      const scratch = await scratchDir();
      try {
        const movie = path.join(ARTIFACTS, name);
        const printed = movie.replace(/\.swf$/, '.pdf');
        assert.ok(fs.existsSync(printed), `${printed} is missing`);
        const bytes = uncompressed(fs.readFileSync(movie));
        const stage = parseSwfStrict(bytes).header.frameSize;
        const scale = SHOWN / Math.max(stage.xMax, stage.yMax);
        const width = Math.round(stage.xMax * scale), height = Math.round(stage.yMax * scale);
        const stopped = path.join(scratch.dir, 'first.swf');
        fs.writeFileSync(stopped, stoppedOnFrame(bytes, 0));
        const shown = await renderSwf(stopped, { width, height, config: { quality: 'high' } });

        const turnFile = movie.replace(/\.swf$/, '.turn');
        const turn = fs.existsSync(turnFile) ? Number(fs.readFileSync(turnFile, 'utf8')) : 0;
        const base = path.join(scratch.dir, 'page');
        // The longer side scaled to the movie's (pdftoppm takes -scale-to-x
        // and -y before a page's own rotation).
        const drawn = await runProgram('pdftoppm', ['-f', '1', '-l', '1', '-singlefile', '-png',
          '-scale-to', String(Math.max(width, height)), printed, base]);
        assert.equal(drawn.code, 0, drawn.stderr);
        const png = PNG.sync.read(fs.readFileSync(`${base}.png`));
        const upright = turned({ width: png.width, height: png.height, data: new Uint8Array(png.data) }, turn);
        // The two may differ by a rounded pixel.
        assert.ok(Math.abs(upright.width - width) <= 2 && Math.abs(upright.height - height) <= 2,
          `${name}: the page is ${upright.width}x${upright.height}, the movie ${width}x${height}`);
        const w = Math.min(width, upright.width), h = Math.min(height, upright.height);
        const reference = cropImage(upright, w, h);
        const movieImage = cropImage(shown, w, h);
        const score = ssim(movieImage, reference);
        console.log(`${name}: SSIM ${score.toFixed(4)} at ${width}x${height}`);
        if (score < THRESHOLD) await savePng(shown, movie.replace(/\.swf$/, '-shown.png'));
        assert.ok(score >= THRESHOLD, `${name}: SSIM ${score.toFixed(4)} < ${THRESHOLD}`);
      } finally {
        await scratch.cleanup();
      }
    });
  }
});
