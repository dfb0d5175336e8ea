// The installed HTML templates: a small document printed with
// tessaly-print --html into a page of each template, opened in Chromium over
// the test server. Ruffle's public address is answered from the npm copy
// (the machine may be offline); a ruffle/ folder beside a page is taken
// first. The first page must show where the template puts the movie, with
// the movie's background colour around it.
import { describe, it, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { chromium } from 'playwright-core';
import { PNG } from 'pngjs';
import {
  scratchDir,
  parseSwfStrict,
  binDir,
  sourceDir,
  runProgram as run,
  writeTestPrinterStore,
  writeStoreValue,
  serve,
  savePng,
  assertColorAt,
} from './lib/index.mjs';
import { CHROMIUM, checkChromium } from './lib/browser.mjs';
import { CHROMIUM_ARGS, RUFFLE_DIR, playerDir } from './lib/player.mjs';

const RUFFLE_VERSION = JSON.parse(fs.readFileSync(path.join(playerDir, '..', 'package.json'), 'utf8'))
  .dependencies['@ruffle-rs/ruffle'];
const RUFFLE_PUBLIC = `https://unpkg.com/@ruffle-rs/ruffle@${RUFFLE_VERSION}/`;
const TYPES = { '.js': 'text/javascript', '.wasm': 'application/wasm', '.map': 'application/json' };
const TEMPLATES = path.join(sourceDir, 'data', 'HTML Template');

// A portrait page, 106 x 141 mm, with a black box on white; at 720 dpi the
// movie is 150 x 199 pixels.
const SCRIPT = `units mm
paper 106x141mm
page
pen none
brush #000000
rect 20 20 40 30
endpage
`;
const INK = [40 / 106, 35 / 141]; // the box's middle, as shares of the page
const PAPER = [80 / 106, 120 / 141]; // blank paper

const CASES = [
  {
    // Fills the window; a portrait page in a wide window is centred across.
    name: 'full', template: 'Full Window.htm', viewport: [640, 480],
    box: (w, h, [vw, vh]) => fitted(w, h, vw, vh, 'top'),
    outside: [[40, 240], [600, 240]], menu: true,
  },
  {
    // In a tall window the movie sits at the bottom when the preference says
    // so; the popup preference is off.
    name: 'bottom', template: 'Full Window.htm', viewport: [400, 800], align: 2, popup: 0,
    box: (w, h, [vw, vh]) => fitted(w, h, vw, vh, 'bottom'),
    outside: [[200, 40], [20, 200]], menu: false,
  },
  {
    name: 'fixed', template: 'Fixed Size.htm', viewport: [640, 480],
    box: (w, h) => ({ x: 0, y: 0, w, h }),
    outside: [[400, 240], [100, 400]],
  },
  {
    // Centred at its own size; Ruffle comes from the folder beside the page.
    name: 'centred', template: 'Centered.htm', viewport: [640, 480], localRuffle: true,
    box: (w, h, [vw, vh]) => ({ x: (vw - w) / 2, y: (vh - h) / 2, w, h }),
    outside: [[100, 240], [540, 240], [320, 40], [320, 440]],
  },
];

// Where a movie of w x h shows in a player of vw x vh when scaled to fit
// and aligned at the top or the bottom (always centred across).
function fitted(w, h, vw, vh, align) {
  const scale = Math.min(vw / w, vh / h);
  const sw = w * scale;
  const sh = h * scale;
  return { x: (vw - sw) / 2, y: align === 'bottom' ? vh - sh : 0, w: sw, h: sh };
}

const at = (box, [fx, fy]) => [Math.round(box.x + fx * box.w), Math.round(box.y + fy * box.h)];

describe('HTML pages of the installed templates play the printed movie', () => {
  let scratch;
  let server;
  let browser;
  let registry;
  const publicRequests = [];

  before(async () => {
    checkChromium();
    scratch = await scratchDir();
    registry = path.join(scratch.dir, 'registry');
    writeTestPrinterStore(registry, sourceDir, 2);
    fs.writeFileSync(path.join(scratch.dir, 'document.script'), SCRIPT);
    fs.mkdirSync(path.join(scratch.dir, 'site'));
    server = await serve({
      dirs: { '/site/centred/ruffle/': RUFFLE_DIR, '/site/': path.join(scratch.dir, 'site') },
      pages: { '/favicon.ico': '' },
    });
    browser = await chromium.launch({ executablePath: CHROMIUM, headless: true, args: CHROMIUM_ARGS, timeout: 60_000 });
  });

  after(async () => {
    await browser?.close().catch(() => {});
    await server?.close();
    await scratch?.cleanup();
  });

  it('pins Ruffle to the version the tests play with', () => {
    for (const name of ['Full Window.htm', 'Fixed Size.htm', 'Centered.htm']) {
      const text = fs.readFileSync(path.join(TEMPLATES, name), 'utf8');
      assert.ok(text.includes(`${RUFFLE_PUBLIC}ruffle.js`), `${name} loads ${RUFFLE_PUBLIC}ruffle.js`);
    }
  });

  for (const c of CASES) {
    it(`${c.template} (${c.name}) shows the first page where it belongs`, async () => {
      const folder = path.join(scratch.dir, 'site', c.name);
      fs.mkdirSync(folder, { recursive: true });
      writeStoreValue(registry, 'PrinterFlashAlign', 'dword', String(c.align ?? 1));
      writeStoreValue(registry, 'PrinterShowFlashPopup', 'dword', String(c.popup ?? 1));
      const result = await run(
        path.join(binDir, 'tessaly-print'),
        ['--script', path.join(scratch.dir, 'document.script'), '--dpi', '720', '--interface', 'none',
          '--spool', path.join(scratch.dir, 'spool'), '--html', path.join(folder, 'index'), '--template', c.template],
        { TESSALY_REGISTRY_ROOT: registry },
      );
      assert.equal(result.code, 0, result.stderr);
      assert.ok(result.stdout.trim().endsWith(path.join(folder, 'index.htm')), result.stdout);
      const { header } = parseSwfStrict(path.join(folder, 'index.swf'));
      const width = Math.floor((header.frameSize.xMax - header.frameSize.xMin) / 20);
      const height = Math.floor((header.frameSize.yMax - header.frameSize.yMin) / 20);
      assert.deepEqual([width, height], [150, 199]);
      const background = parseInt(/data-background="#([0-9a-f]{6})"/.exec(
        fs.readFileSync(path.join(folder, 'index.htm'), 'utf8'))[1], 16);

      const context = await browser.newContext({ viewport: { width: c.viewport[0], height: c.viewport[1] }, deviceScaleFactor: 1 });
      const page = await context.newPage();
      const log = [];
      page.on('pageerror', (err) => log.push(`pageerror: ${err.message}`));
      // (A page without a ruffle/ folder beside it fails to load that first.)
      page.on('console', (msg) => {
        if (msg.type() === 'error' && !msg.text().startsWith('Failed to load resource')) log.push(`console: ${msg.text()}`);
      });
      // Ruffle's public address from the npm copy; nothing else leaves the machine.
      await page.route('**/*', (route) => {
        const url = route.request().url();
        if (url.startsWith(RUFFLE_PUBLIC)) {
          publicRequests.push(`${c.name}: ${url}`);
          const file = url.slice(RUFFLE_PUBLIC.length).split('?')[0];
          return route.fulfill({
            path: path.join(RUFFLE_DIR, file),
            headers: { 'content-type': TYPES[path.extname(file)] ?? 'application/octet-stream', 'access-control-allow-origin': '*' },
          });
        }
        return url.startsWith(server.origin) ? route.continue() : route.abort();
      });
      try {
        await page.goto(`${server.origin}/site/${c.name}/index.htm`, { waitUntil: 'load' });
        await page.waitForFunction(() => {
          const player = document.getElementById('player');
          return Boolean(player && player.ruffle && player.ruffle().metadata);
        }, null, { timeout: 30_000 }).catch((err) => {
          throw new Error(`Ruffle did not load the movie: ${err.message}\n${log.join('\n')}`);
        });
        // The first frame is on screen once two shots a moment apart agree.
        let shot = await page.screenshot();
        for (let tries = 0; ; tries++) {
          await page.waitForTimeout(150);
          const next = await page.screenshot();
          if (next.equals(shot) || tries > 40) break;
          shot = next;
        }
        const png = PNG.sync.read(shot);
        const image = { width: png.width, height: png.height, data: png.data };
        const box = c.box(width, height, c.viewport);
        try {
          assertColorAt(image, ...at(box, INK), 0x000000, { tolerance: 40, what: 'the black box' });
          assertColorAt(image, ...at(box, PAPER), 0xffffff, { tolerance: 8, what: 'the paper' });
          for (const [x, y] of c.outside) assertColorAt(image, x, y, background, { tolerance: 8, what: 'around the movie' });
        } catch (err) {
          const saved = path.join(process.env.TESSALY_PLAYER_FAILURES ?? scratch.dir, `html-${c.name}.png`);
          await savePng(image, saved).catch(() => {});
          throw new Error(`${err.message} (box ${JSON.stringify(box)}; screenshot ${saved})`);
        }
        if (c.menu !== undefined) {
          // The player's own menu opens on a right click (the browser's
          // contextmenu event) only when the popup preference asks for it.
          const [mx, my] = at(box, PAPER);
          const shown = await page.evaluate(([x, y]) => {
            const player = document.getElementById('player');
            player.dispatchEvent(new MouseEvent('contextmenu', { bubbles: true, cancelable: true, clientX: x, clientY: y }));
            const overlay = player.shadowRoot.querySelector('#context-menu-overlay');
            return Boolean(overlay && !overlay.classList.contains('hidden'));
          }, [mx, my]);
          assert.equal(shown, c.menu, 'context menu');
        }
        assert.deepEqual(log, []);
      } finally {
        await context.close();
      }
      const fromPublic = publicRequests.some((r) => r.startsWith(`${c.name}:`));
      assert.equal(fromPublic, !c.localRuffle, `Ruffle from ${c.localRuffle ? 'the folder beside the page' : 'its public address'}`);
    });
  }

  it('gives a movie in a viewer interface the interface\'s size, not the document\'s', async () => {
    const folder = path.join(scratch.dir, 'site', 'viewer');
    fs.mkdirSync(folder, { recursive: true });
    const result = await run(
      path.join(binDir, 'tessaly-print'),
      ['--script', path.join(scratch.dir, 'document.script'), '--interface', 'Viewer', '--spool',
        path.join(scratch.dir, 'spool'), '--html', path.join(folder, 'index'), '--template', 'Fixed Size.htm'],
      { TESSALY_REGISTRY_ROOT: registry },
    );
    assert.equal(result.code, 0, result.stderr);
    const page = await browser.newPage({ viewport: { width: 1024, height: 768 } });
    try {
      await page.route(`${RUFFLE_PUBLIC}**`, (route) => {
        const file = route.request().url().slice(RUFFLE_PUBLIC.length).split('?')[0];
        return route.fulfill({ path: path.join(RUFFLE_DIR, file), headers: { 'content-type': TYPES[path.extname(file)] ?? 'application/octet-stream' } });
      });
      await page.goto(`${server.origin}/site/viewer/index.htm`, { waitUntil: 'load' });
      const size = await page.waitForFunction(() => {
        const box = document.getElementById('movie').getBoundingClientRect();
        return box.width === 800 && box.height === 600 && [box.width, box.height];
      }, null, { timeout: 30_000 }).then((h) => h.jsonValue()).catch(() => page.evaluate(() => {
        const box = document.getElementById('movie').getBoundingClientRect();
        return [box.width, box.height];
      }));
      assert.deepEqual(size, [800, 600]);
    } finally {
      await page.close();
    }
  });
});
