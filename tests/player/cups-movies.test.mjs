// The movies the private print server's test made from jobs printed with lp
// (a PDF, and a text file CUPS turned into PDF), played: the first frame shows
// the first page of the PDF that CUPS's own filters made of the document, as
// poppler draws it. The server's test leaves each movie beside that PDF in
// build/cups-artifacts; without them (that test needs root and was skipped)
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

        const base = path.join(scratch.dir, 'page');
        const drawn = await runProgram('pdftoppm', ['-f', '1', '-l', '1', '-singlefile', '-png',
          '-scale-to-x', String(width), '-scale-to-y', String(height), printed, base]);
        assert.equal(drawn.code, 0, drawn.stderr);
        const png = PNG.sync.read(fs.readFileSync(`${base}.png`));
        const reference = { width: png.width, height: png.height, data: new Uint8Array(png.data) };
        const score = ssim(shown, reference);
        console.log(`${name}: SSIM ${score.toFixed(4)} at ${width}x${height}`);
        if (score < THRESHOLD) await savePng(shown, movie.replace(/\.swf$/, '-shown.png'));
        assert.ok(score >= THRESHOLD, `${name}: SSIM ${score.toFixed(4)} < ${THRESHOLD}`);
      } finally {
        await scratch.cleanup();
      }
    });
  }
});
