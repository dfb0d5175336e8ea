// Runs the markup-to-movie converter built by CMake.
import { execFile } from 'node:child_process';
import fs from 'node:fs/promises';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));

export const sourceDir = process.env.TESSALY_SOURCE_DIR ?? path.resolve(here, '../../..');
export const binDir = process.env.TESSALY_BIN_DIR ?? path.join(sourceDir, 'build', 'bin');
export const converterPath = path.join(binDir, 'tessaly-convert');

/** A fresh scratch directory, removed by the returned cleanup function. */
export async function scratchDir(prefix = 'tessaly-player-') {
  const dir = await fs.mkdtemp(path.join(os.tmpdir(), prefix));
  return { dir, cleanup: () => fs.rm(dir, { recursive: true, force: true }) };
}

/**
 * Converts one markup page: `tessaly-convert --raw PAGE -o OUT`. Resolves to
 * { code, stdout, stderr } and never rejects for a non-zero exit.
 */
export function runConverter(args, { timeoutMs = 60_000 } = {}) {
  return new Promise((resolve, reject) => {
    execFile(converterPath, args, { timeout: timeoutMs, maxBuffer: 16 << 20 }, (err, stdout, stderr) => {
      if (err && typeof err.code !== 'number') {
        reject(new Error(`cannot run ${converterPath}: ${err.message}`));
        return;
      }
      resolve({ code: err ? err.code : 0, stdout, stderr });
    });
  });
}

/** Converts `mmlPath` to `outPath`; throws with the converter's message on failure. */
export async function convertPage(mmlPath, outPath) {
  const result = await runConverter(['--raw', mmlPath, '-o', outPath]);
  if (result.code !== 0) {
    throw new Error(`tessaly-convert exited ${result.code}: ${result.stderr.trim()}`);
  }
  const stat = await fs.stat(outPath).catch(() => null);
  if (!stat || stat.size === 0) {
    throw new Error(`tessaly-convert exited 0 but wrote no movie to ${outPath}`);
  }
  return result;
}

export const swfbuildPath = path.join(binDir, 'tessaly-swfbuild');

/** Builds the movie source at `sourcePath` into `outPath` with tessaly-swfbuild. */
export function buildMovie(sourcePath, outPath, { timeoutMs = 60_000 } = {}) {
  return new Promise((resolve, reject) => {
    execFile(swfbuildPath, [sourcePath, '-o', outPath], { timeout: timeoutMs }, (err, stdout, stderr) => {
      if (err) reject(new Error(`tessaly-swfbuild failed: ${stderr.trim() || err.message}`));
      else resolve();
    });
  });
}
