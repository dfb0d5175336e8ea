// A movie built by tessaly-swfbuild passes the strict parser and runs its
// assembled actions in Ruffle: clicking its button sets a text field, the
// right arrow key (a key event of the same button) hides a clip, and the
// clip's own events and init action have run.
import { describe, it, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs/promises';
import path from 'node:path';
import {
  scratchDir,
  buildMovie,
  parseSwfStrict,
  allTags,
  TagType,
  renderSwf,
  closeBrowser,
  playerPage,
  shootStage,
  assertBoxColor,
  colorAt,
  colorDistance,
} from './lib/index.mjs';

const SOURCE = `<?xml version="1.0"?>
<movie width="200" height="100" frameRate="24" background="#FFFFFF">
  <shape id="face"><rect x="0" y="0" width="60" height="30" radius="6" fill="#2060C0"/></shape>
  <shape id="square"><rect x="0" y="0" width="20" height="20" fill="#20A040"/></shape>
  <sprite id="marker">
    <frame><place use="square" depth="1"/></frame>
  </sprite>
  <text id="field" width="120" height="24" var="_root.msg" size="14" color="#000000"/>
  <font id="digits" family="DejaVu Sans" chars="0123456789"/>
  <text id="count" width="60" height="24" font="digits" text="2024" size="16" color="#000000"/>
  <button id="go">
    <layer use="face" states="up over down hit"/>
    <on events="release">
      push "_root.msg", "clicked"
      setVariable
    </on>
    <on events="keyPress:Right">
      push "_root.marker"
      getVariable
      push "_visible", false
      setMember
    </on>
  </button>
  <frame>
    <place use="field" depth="1" name="field" x="10" y="10"/>
    <place use="go" depth="2" name="go" x="10" y="60"/>
    <place use="count" depth="4" x="110" y="62" rotation="5"/>
    <place use="marker" depth="3" name="marker" x="170" y="10">
      <on events="load"><![CDATA[
        ; moved down by its own load event: x stays, y becomes 40
        push "_y", 40
        setVariable
      ]]></on>
    </place>
    <initAction use="marker">
      push "initRan", true
      setVariable
    </initAction>
    <action>
      defineFunction2 shift (dx:r1) preloadRoot
        ; _root is r1 here, so dx moved to r2 ... a mistake the assembler refuses
      end
    </action>
  </frame>
</movie>
`;

describe('a movie built from source', () => {
  let scratch;
  let swf;

  before(async () => {
    scratch = await scratchDir();
  });
  after(async () => {
    await closeBrowser();
    await scratch?.cleanup();
  });

  it('refuses a register that a preloaded value holds, naming the line', async () => {
    const bad = path.join(scratch.dir, 'bad.xml');
    await fs.writeFile(bad, SOURCE);
    const line = SOURCE.split('\n').findIndex((l) => l.includes('defineFunction2')) + 1;
    await assert.rejects(
      buildMovie(bad, path.join(scratch.dir, 'bad.swf')),
      new RegExp(`bad\\.xml:${line}: parameter 'dx': register r1 holds a preloaded value`),
    );
  });

  it('parses strictly and runs its button, key and clip actions', async () => {
    const good = path.join(scratch.dir, 'good.xml');
    await fs.writeFile(good, SOURCE.replace('(dx:r1) preloadRoot', '(dx:r2) preloadRoot'));
    swf = path.join(scratch.dir, 'good.swf');
    await buildMovie(good, swf);
    const movie = parseSwfStrict(swf);
    const types = allTags(movie).map((t) => t.type);
    for (const t of [TagType.DefineButton, TagType.DefineDynamicText, TagType.DoInitAction, TagType.DoAction]) {
      assert.ok(types.includes(t), `no tag of type ${TagType[t]}`);
    }

    let image = await renderSwf(swf, { width: 200, height: 100 });
    // The marker's load event moved it to y = 40.
    assertBoxColor(image, [172, 42, 188, 58], 0x20a040, { tolerance: 8, what: 'marker after its load event' });
    assertBoxColor(image, [172, 12, 188, 28], 0xffffff, { what: 'where the marker was placed' });
    const inkIn = (img) => {
      let n = 0;
      for (let y = 10; y < 34; y++) for (let x = 10; x < 130; x++) if (colorDistance(colorAt(img, x, y), 0xffffff) > 80) n++;
      return n;
    };
    assert.equal(inkIn(image), 0, 'the field shows text before the click');
    // Text in an embedded font, turned (which device fonts cannot be).
    let digits = 0;
    for (let y = 60; y < 96; y++) for (let x = 108; x < 180; x++) if (colorDistance(colorAt(image, x, y), 0xffffff) > 80) digits++;
    assert.ok(digits > 40, 'the embedded font draws nothing');

    const page = await playerPage();
    await page.mouse.click(40, 75);
    image = await shootStage();
    assert.ok(inkIn(image) > 50, 'the click did not set the field');

    await page.keyboard.press('ArrowRight');
    image = await shootStage();
    assertBoxColor(image, [172, 42, 188, 58], 0xffffff, { what: 'marker after the right arrow key' });
  });
});
