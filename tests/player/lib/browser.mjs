// The browser the player tests drive, and the versions it is known to work
// with. playwright-core speaks Chromium's DevTools protocol, which changes
// between Chromium releases, and the pixel checks depend on how that Chromium
// draws Ruffle's canvas, so the harness refuses a Chromium outside the range
// this pairing was checked with (see README.md here) instead of failing later
// in a confusing way. TESSALY_CHROMIUM names another executable;
// TESSALY_CHROMIUM_ANY_VERSION=1 skips the check when trying a new pairing.
import { execFileSync } from 'node:child_process';

export const CHROMIUM = process.env.TESSALY_CHROMIUM ?? '/usr/bin/chromium';

// playwright-core 1.61.1 and @ruffle-rs/ruffle 0.6.0 (package.json) were
// checked with Chromium 149 (playwright-core's own build) up to 156 (Debian
// 12's security update).
export const CHROMIUM_MAJOR_RANGE = Object.freeze({ min: 149, max: 156 });

/** The version in `chromium --version` output, or null if there is none. */
export function parseChromiumVersion(text) {
  const m = /\b(?:Chromium|Chrome(?: for Testing)?|HeadlessChrome)\s+(\d+)\.(\d+)\.(\d+)\.(\d+)\b/.exec(String(text));
  if (!m) return null;
  const [major, minor, build, patch] = m.slice(1).map(Number);
  return { major, minor, build, patch, text: `${major}.${minor}.${build}.${patch}` };
}

/** Why a Chromium of that version cannot be used, or null when it can. */
export function chromiumVersionProblem(version, range = CHROMIUM_MAJOR_RANGE) {
  if (!version) return 'its version could not be read';
  if (version.major < range.min || version.major > range.max) {
    return `Chromium ${version.text} is outside the versions the player tests are pinned to ` +
      `(${range.min} to ${range.max}, for playwright-core and Ruffle in tests/player/package.json)`;
  }
  return null;
}

let checked = null;

/**
 * Throws a clear error unless the browser at CHROMIUM is there and of a
 * version known to work; checked once per process.
 */
export function checkChromium() {
  if (checked) return checked;
  let output;
  try {
    output = execFileSync(CHROMIUM, ['--version'], { encoding: 'utf8', stdio: ['ignore', 'pipe', 'pipe'], timeout: 30_000 });
  } catch (err) {
    throw new Error(`cannot run ${CHROMIUM} --version (${err.code ?? err.message}): run scripts/run-tests.sh as root to install Chromium`);
  }
  const version = parseChromiumVersion(output);
  const problem = process.env.TESSALY_CHROMIUM_ANY_VERSION === '1' ? null : chromiumVersionProblem(version);
  if (problem) {
    throw new Error(`${CHROMIUM}: ${problem}. Install a Chromium in that range, or change the pairing ` +
      `after checking it (tests/player/README.md); TESSALY_CHROMIUM_ANY_VERSION=1 skips this check.`);
  }
  checked = version ?? { text: 'unknown' };
  return checked;
}
