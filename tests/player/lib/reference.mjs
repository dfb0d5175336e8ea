// Reference images drawn by cairo (Debian's python3-cairo), for comparing
// what the player shows with an independent rendering of the same input.
import { execFile } from 'node:child_process';
import fs from 'node:fs/promises';
import { PNG } from 'pngjs';

// Debian's python3, the one python3-cairo is installed for.
export const PYTHON = process.env.TESSALY_PYTHON ?? '/usr/bin/python3';

/**
 * Runs a reference script with `job` as JSON on its standard input; the
 * script writes a PNG to job.out, which comes back decoded.
 */
export function drawReference(script, job) {
  return new Promise((resolve, reject) => {
    const child = execFile(PYTHON, [script], { timeout: 30_000 }, async (err, _stdout, stderr) => {
      if (err) {
        reject(new Error(`cairo reference failed (${PYTHON} with python3-cairo; scripts/run-tests.sh installs it): ${stderr.trim() || err.message}`));
        return;
      }
      try {
        const png = PNG.sync.read(await fs.readFile(job.out));
        resolve({ width: png.width, height: png.height, data: new Uint8Array(png.data) });
      } catch (readErr) {
        reject(readErr);
      }
    });
    child.stdin.end(JSON.stringify(job));
  });
}
