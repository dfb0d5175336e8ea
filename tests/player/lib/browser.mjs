// The browser the player tests drive, and the versions it is known to work
// with. playwright-core speaks Chromium's DevTools protocol, which changes
// between Chromium releases, and the pixel checks depend on how that Chromium
// draws Ruffle's canvas, so the harness refuses a Chromium older than the
// range this pairing was checked with (see README.md here) instead of failing
// later in a confusing way. A newer one is run with a warning naming the
// checked range: Debian's security updates move Chromium forward every few
// weeks, and refusing those would stop the test command on every fresh Debian
// 12 machine until the range is raised. TESSALY_CHROMIUM names another
// executable; TESSALY_CHROMIUM_ANY_VERSION=1 skips the check.
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

const pinnedTo = (range) =>
  `(${range.min} to ${range.max}, for playwright-core and Ruffle in tests/player/package.json)`;

/** Why a Chromium of that version cannot be used, or null when it can. */
export function chromiumVersionProblem(version, range = CHROMIUM_MAJOR_RANGE) {
  if (!version) return 'its version could not be read';
  if (version.major < range.min) {
    return `Chromium ${version.text} is older than the versions the player tests are pinned to ${pinnedTo(range)}`;
  }
  return null;
}

/** A warning for a Chromium newer than the checked range, or null. */
export function chromiumVersionWarning(version, range = CHROMIUM_MAJOR_RANGE) {
  if (!version || version.major <= range.max) return null;
  return `Chromium ${version.text} is newer than the versions the player tests were checked with ` +
    `${pinnedTo(range)}; running them anyway. If they pass, raise the range in tests/player/lib/browser.mjs ` +
    `and tests/player/README.md.`;
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
  const anyVersion = process.env.TESSALY_CHROMIUM_ANY_VERSION === '1';
  const problem = anyVersion ? null : chromiumVersionProblem(version);
  const warning = anyVersion ? null : chromiumVersionWarning(version);
  if (warning) console.error(`warning: ${warning}`);
  if (problem) {
    throw new Error(`${CHROMIUM}: ${problem}. Install a Chromium in that range, or change the pairing ` +
      `after checking it (tests/player/README.md); TESSALY_CHROMIUM_ANY_VERSION=1 skips this check.`);
  }
  checked = version ?? { text: 'unknown' };
  return checked;
}
