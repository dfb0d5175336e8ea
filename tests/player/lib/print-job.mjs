// Printing through the driver from a test: running the printer tool with a
// value store of the test's own, and reading what the driver wrote into the
// job directory (page rasters, the scrambled markup).
import assert from 'node:assert/strict';
import { execFile } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import zlib from 'node:zlib';
import { topLevelTags } from './swf-tags.mjs';

/** Runs a program: { code, stdout, stderr }, never rejects. */
export function runProgram(file, args, env = {}, timeout = 120_000) {
  return new Promise((resolve) => {
    execFile(file, args, { env: { ...process.env, ...env }, timeout, maxBuffer: 16 << 20 }, (err, stdout, stderr) =>
      resolve({ code: err ? err.code ?? -1 : 0, stdout, stderr }),
    );
  });
}

/** A value of the value store (one file a value, type line then text). */
export function writeStoreValue(root, name, type, text) {
  fs.mkdirSync(root, { recursive: true });
  fs.writeFileSync(path.join(root, name.toLowerCase()), `${type}\n${text}`);
}

/**
 * The value store of a printer of a test's own: the data folder of the
 * source tree, pictures kept losslessly (no JPEG), no border, no interface
 * (or the one named; null leaves the value out, so the installation's
 * default viewer applies), and the encoding flags given (1: page images,
 * 2: vector pages).
 */
export function writeTestPrinterStore(root, sourceDir, encodeFlags = 1, { interface: name = '' } = {}) {
  writeStoreValue(root, 'BasePath', 'sz', `${sourceDir}/data/`);
  writeStoreValue(root, 'MSEncodeFlags', 'dword', String(encodeFlags));
  writeStoreValue(root, 'MSImageEncodeJPEGQuality', 'dword', '0');
  writeStoreValue(root, 'MSLayoutName', 'sz', 'No border');
  if (name !== null) writeStoreValue(root, 'MSInterfaceName', 'sz', name);
}

/**
 * A bag file's pixels as { width, height, data (RGBA) }: the signature and
 * version, then records of (type, length, width, rows, zlib rows of RGB
 * padded to 4 bytes).
 */
export function readBag(file) {
  const bytes = fs.readFileSync(file);
  assert.equal(bytes.toString('latin1', 1, 4).toLowerCase(), 'bag', `${file} signature`);
  let p = 8;
  let width = 0;
  const bands = [];
  while (p < bytes.length) {
    const length = bytes.readUInt32BE(p + 4);
    width = bytes.readUInt32BE(p + 8);
    const rows = bytes.readUInt32BE(p + 12);
    bands.push({ rows, data: zlib.inflateSync(bytes.subarray(p + 16, p + 8 + length)) });
    p += 8 + length;
  }
  const stride = (width * 3 + 3) & ~3;
  const height = bands.reduce((n, b) => n + b.rows, 0);
  const data = new Uint8Array(width * height * 4);
  let y = 0;
  for (const band of bands) {
    for (let r = 0; r < band.rows; r++, y++) {
      for (let x = 0; x < width; x++) {
        const s = r * stride + x * 3;
        const d = (y * width + x) * 4;
        data[d] = band.data[s];
        data[d + 1] = band.data[s + 1];
        data[d + 2] = band.data[s + 2];
        data[d + 3] = 255;
      }
    }
  }
  return { width, height, data };
}

/** A bag file's size without decoding it: [width, height]. */
export function bagSize(file) {
  const bytes = fs.readFileSync(file);
  let p = 8;
  let width = 0;
  let height = 0;
  while (p + 16 <= bytes.length) {
    width = bytes.readUInt32BE(p + 8);
    height += bytes.readUInt32BE(p + 12);
    p += 8 + bytes.readUInt32BE(p + 4);
  }
  return [width, height];
}

/**
 * A job file as the driver scrambled it, restored: the state starts at the
 * job key and runs on from byte to byte.
 */
export function unscrambleJobFile(file) {
  const bytes = fs.readFileSync(file);
  if (bytes[0] === 0x3c) return bytes.toString('latin1');
  let state = 0x9e17c35a;
  const out = Buffer.alloc(bytes.length);
  for (let i = 0; i < bytes.length; i++) {
    const c = bytes[i];
    out[i] = ((((c - (state >>> 24)) & 0xff) ^ ((state >>> 16) & 0xff)) - ((state >>> 8) & 0xff) & 0xff) ^ (state & 0xff);
    state = ((state << 1) | (c & 1)) >>> 0;
  }
  return out.toString('latin1');
}

/**
 * The movie stopped on frame n (0-based): GotoFrame(n) and Stop before the
 * first ShowFrame of the main timeline.
 */
export function stoppedOnFrame(bytes, n) {
  const first = topLevelTags(bytes).find((t) => t.code === 1);
  if (!first) throw new Error('no ShowFrame');
  const action = Buffer.from([0x07, 0x03, 0x81, 0x02, 0x00, n & 0xff, n >> 8, 0x07, 0x00]);
  const out = Buffer.concat([bytes.subarray(0, first.start), action, bytes.subarray(first.start)]);
  out.writeUInt32LE(out.length, 4);
  return out;
}

/** The top-left width x height pixels of an image. */
export function cropImage(image, width, height) {
  const data = new Uint8Array(width * height * 4);
  for (let y = 0; y < height; y++) {
    data.set(image.data.subarray(y * image.width * 4, (y * image.width + width) * 4), y * width * 4);
  }
  return { width, height, data };
}
