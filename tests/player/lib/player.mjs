// Renders SWF movies with Ruffle (the self-hosted web build) inside headless
// Chromium driven by playwright-core, and returns the decoded pixels of the
// player's area. One browser, one page and one server are shared by all the
// renders of a test process; closeBrowser() ends them.
import fs from 'node:fs/promises';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { createRequire } from 'node:module';
import { chromium } from 'playwright-core';
import { PNG } from 'pngjs';
import { serve } from './serve.mjs';
import { CHROMIUM, checkChromium } from './browser.mjs';

const require = createRequire(import.meta.url);
export const RUFFLE_DIR = path.dirname(require.resolve('@ruffle-rs/ruffle/package.json'));

export const CHROMIUM_ARGS = [
  '--headless',
  '--no-sandbox',
  '--disable-gpu',
  '--disable-background-networking',
  '--disable-component-update',
  '--disable-sync',
  '--no-first-run',
  '--disable-quic',
  // Lets the player start its audio context without a click, so it never
  // hides its stage while waiting for one.
  '--autoplay-policy=no-user-gesture-required',
];

// Ruffle's settings for a bare, deterministic stage: no splash screen, no
// overlays, no letterboxing, no context menu, playing at once.
const PLAYER_CONFIG = {
  publicPath: '/ruffle/',
  polyfills: false,
  autoplay: 'on',
  unmuteOverlay: 'hidden',
  splashScreen: false,
  letterbox: 'off',
  contextMenu: 'off',
  warnOnUnsupportedContent: false,
  showSwfDownload: false,
  allowScriptAccess: false,
  openUrlMode: 'deny',
  allowNetworking: 'none',
  upgradeToHttps: false,
  logLevel: 'warn',
  scale: 'showAll',
  quality: 'high',
};

const PAGE = `<!doctype html>
<html><head><meta charset="utf-8"><title>player</title>
<style>html,body{margin:0;padding:0;overflow:hidden;background:#ff00ff}</style>
<script>window.RufflePlayer = { config: ${JSON.stringify(PLAYER_CONFIG)} };</script>
<script src="/ruffle/ruffle.js"></script>
<script>
  const frames = (n) => new Promise((done) => {
    const step = () => (n-- <= 0 ? done() : requestAnimationFrame(step));
    requestAnimationFrame(step);
  });
  window.frames_ = frames;
  window.renderMovie = async (url, width, height, extra, timeoutMs) => {
    document.getElementById('stage')?.remove();
    const player = window.RufflePlayer.newest().createPlayer();
    player.id = 'stage';
    player.style.cssText = 'display:block;position:absolute;left:0;top:0;width:' + width + 'px;height:' + height + 'px';
    document.body.appendChild(player);
    // Loaded, or failed: Ruffle shows a panic screen (for a file it cannot
    // read, say) and never reports loading then.
    const loaded = new Promise((done, fail) => {
      let poll = 0;
      const finish = (f, v) => { clearInterval(poll); clearTimeout(timer); f(v); };
      player.addEventListener('loadeddata', () => finish(done), { once: true });
      poll = setInterval(() => {
        const panic = player.shadowRoot && player.shadowRoot.querySelector('#panic');
        if (panic) finish(fail, new Error('the player failed: ' + panic.innerText.replace(/\\s+/g, ' ').trim()));
      }, 50);
      const timer = setTimeout(() => finish(fail, new Error('the player did not load the movie within ' + timeoutMs + ' ms')), timeoutMs);
    });
    await player.ruffle().load({ url, ...extra });
    await loaded;
    // With a software renderer the player offers advice on hardware
    // acceleration in a dialog over the stage at the first mouse-over;
    // clicks and screenshots must reach the movie instead.
    const quiet = document.createElement('style');
    quiet.textContent = '#hardware-acceleration-modal { display: none !important; }';
    player.shadowRoot?.appendChild(quiet);
    const api = player.ruffle();
    const m = api.metadata;
    return {
      width: m.width, height: m.height, frameRate: m.frameRate, numFrames: m.numFrames,
      swfVersion: m.swfVersion, backgroundColor: m.backgroundColor, isPlaying: api.isPlaying,
    };
  };
</script>
</head><body></body></html>`;

let session = null;

async function openSession() {
  checkChromium();
  const userDataDir = await fs.mkdtemp(path.join(os.tmpdir(), 'tessaly-chromium-'));
  const server = await serve({ dirs: { '/ruffle/': RUFFLE_DIR }, pages: { '/index.html': PAGE, '/favicon.ico': '' } });
  let context;
  try {
    context = await chromium.launchPersistentContext(userDataDir, {
      executablePath: CHROMIUM,
      headless: true,
      args: CHROMIUM_ARGS,
      viewport: { width: 1024, height: 768 },
      deviceScaleFactor: 1,
      timeout: 60_000,
    });
  } catch (err) {
    await server.close();
    await fs.rm(userDataDir, { recursive: true, force: true });
    throw err;
  }
  const page = context.pages()[0] ?? (await context.newPage());
  const log = [];
  page.on('console', (msg) => {
    if (msg.type() !== 'error' && msg.type() !== 'warning') return;
    // Chromium's own notices when the player's sound is set up after the
    // page closed its audio context (a movie replaced while it starts): they
    // say nothing about the movie.
    if (msg.type() === 'warning' && /is not useful when context is closed|after the context has been closed/.test(msg.text())) return;
    log.push(`${msg.type()}: ${msg.text()}`);
  });
  page.on('pageerror', (err) => log.push(`pageerror: ${err.message}`));
  page.on('response', (res) => {
    if (res.status() >= 400) log.push(`http ${res.status()}: ${res.url()}`);
  });
  await page.goto(`${server.origin}/index.html`, { waitUntil: 'load' });
  return { context, page, server, userDataDir, log, movies: 0 };
}

async function getSession() {
  if (!session) session = openSession();
  try {
    return await session;
  } catch (err) {
    session = null;
    throw err;
  }
}

/** Ends the shared browser, page and server (call from an after() hook). */
export async function closeBrowser() {
  if (!session) return;
  const pending = session;
  session = null;
  let s;
  try {
    s = await pending;
  } catch {
    return;
  }
  await s.context.close().catch(() => {});
  await s.server.close();
  await fs.rm(s.userDataDir, { recursive: true, force: true });
}

function decodePng(buffer) {
  const png = PNG.sync.read(buffer);
  return { width: png.width, height: png.height, data: new Uint8Array(png.data.buffer, png.data.byteOffset, png.data.length) };
}

function sameBytes(a, b) {
  return a.length === b.length && Buffer.compare(a, b) === 0;
}

/**
 * Renders the movie at swfPath in a player of exactly width × height CSS
 * pixels (device scale 1, so one movie pixel per screen pixel when the movie's
 * frame has that size) and returns
 *   { width, height, data (RGBA bytes, row-major), png (Buffer), metadata }.
 * The stage is taken once two screenshots a few animation frames apart agree,
 * so the first frame is certainly on screen; with settle false (a movie that
 * never stands still) it is taken a few animation frames after loading.
 */
export async function renderSwf(swfPath, { width, height, timeoutMs = 30_000, config = {}, settle = true } = {}) {
  if (!Number.isInteger(width) || !Number.isInteger(height) || width <= 0 || height <= 0) {
    throw new Error(`renderSwf needs integer width and height, got ${width} x ${height}`);
  }
  await fs.access(swfPath);
  const s = await getSession();
  const url = `/movie/${++s.movies}/${path.basename(swfPath)}`;
  s.server.addFile(url, swfPath);
  const logStart = s.log.length;

  await s.page.setViewportSize({ width: Math.max(width, 64), height: Math.max(height, 64) });
  let metadata;
  try {
    metadata = await s.page.evaluate(
      ([u, w, h, extra, t]) => window.renderMovie(u, w, h, extra, t),
      [url, width, height, config, timeoutMs],
    );
  } catch (err) {
    const messages = s.log.slice(logStart).join('\n');
    throw new Error(`rendering ${swfPath} failed: ${err.message}${messages ? `\nbrowser log:\n${messages}` : ''}`);
  }

  const stage = s.page.locator('#stage');
  const box = await stage.boundingBox();
  if (!box || box.x !== 0 || box.y !== 0 || box.width !== width || box.height !== height) {
    throw new Error(`player element is at ${JSON.stringify(box)}, expected 0,0 ${width}x${height}`);
  }
  const image = settle ? await settledShot(s, swfPath, timeoutMs) : await quickShot(s);
  if (image.width !== width || image.height !== height) {
    throw new Error(`screenshot is ${image.width}x${image.height}, expected ${width}x${height}`);
  }
  return { ...image, metadata, log: s.log.slice(logStart) };
}

// Waits until the stage stops changing: at least a few animation frames, then
// until two consecutive shots are identical.
async function settledShot(s, what, timeoutMs) {
  const stage = s.page.locator('#stage');
  const deadline = Date.now() + timeoutMs;
  await s.page.evaluate(() => window.frames_(4));
  let previous = await stage.screenshot({ type: 'png' });
  for (;;) {
    await s.page.evaluate(() => window.frames_(3));
    const shot = await stage.screenshot({ type: 'png' });
    if (sameBytes(shot, previous)) break;
    previous = shot;
    if (Date.now() > deadline) throw new Error(`the stage of ${what} did not settle within ${timeoutMs} ms`);
  }
  return { ...decodePng(previous), png: previous };
}

// One shot a few animation frames from now, for movies that never stand still.
async function quickShot(s) {
  await s.page.evaluate(() => window.frames_(6));
  const png = await s.page.locator('#stage').screenshot({ type: 'png' });
  return { ...decodePng(png), png };
}

/**
 * Calls a method on the player element of the movie rendered last (an
 * ExternalInterface callback the movie registered, say) and returns its result.
 */
export async function callPlayer(method, ...args) {
  const s = await getSession();
  return s.page.evaluate(([m, a]) => {
    const player = document.getElementById('stage');
    if (!player || typeof player[m] !== 'function') throw new Error(`the player has no method ${m}`);
    return player[m](...a);
  }, [method, args]);
}

/**
 * The page of the shared browser (for clicks and keys on the movie rendered
 * last, at its place: the player element sits at 0,0).
 */
export async function playerPage() {
  return (await getSession()).page;
}

/** The stage of the movie rendered last, once it stops changing. */
export async function shootStage({ timeoutMs = 30_000, settle = true } = {}) {
  const s = await getSession();
  const image = settle ? await settledShot(s, 'the movie', timeoutMs) : await quickShot(s);
  return { ...image, log: s.log.slice() };
}

/** Writes a rendered image as PNG (for looking at a failure). */
export async function savePng(image, file) {
  await fs.mkdir(path.dirname(file), { recursive: true });
  const png = new PNG({ width: image.width, height: image.height });
  Buffer.from(image.data.buffer, image.data.byteOffset, image.data.length).copy(png.data);
  await fs.writeFile(file, PNG.sync.write(png));
}

export const playerDir = path.dirname(fileURLToPath(import.meta.url));
