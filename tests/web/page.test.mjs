// The page in headless Chromium, opened from file:// and from a local web
// server: the drawings, captions and warnings of the worked examples, the
// download against the tool's script, letters beyond ASCII and team chat
// among its options, long texts, the live file with slow and refusing
// writes, a converter that cannot load, the text kept over a reload and in a
// link, and what a phone and a screen reader get.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import test from 'node:test';

import {axeFindings, boxes, browser, drawings, encode, fileUrl, open, said, serve, settled, texts} from './browser.mjs';
import {runPreview, runTool, toolOptions} from './support.mjs';

test('the worked examples: drawings, captions as typed and the tool\'s warning, letters drawn or not', async () => {
  // жж is 7 columns wide as four bytes with no glyph, 11 as two letters.
  const text = 'Hi\nA b\ngg\twp é☺中\x7f\nжж';
  const page = await open(fileUrl, text, {lineLen: 10, utf8: false});
  for (const [utf8, missing, wider] of [[false, 'no glyph, left blank: é ☺ 中 ␡', 2],
                                        [true, 'no glyph, left blank: ␡ · not in the font, drawn as \ufffd: 中', 3]]) {
    await page.setChecked('#utf8', utf8);
    await settled(page);
    assert.deepEqual((await drawings(page)).slice(0, 2), [
      '█   █  ▀ \n█▄▄▄█ ▀█ \n█   █  █ \n▀   ▀ ▀▀▀',
      '▄▀▀▀▄    █    \n█   █    █▄▀▀▄\n█▀▀▀█    █   █\n▀   ▀    ▀▀▀▀ ']);
    const captions = await texts(page, '#blocks figcaption');
    assert.deepEqual(captions.slice(0, 2), ['Hi · 9 columns', 'A b · 14 columns']);
    assert.equal(captions[2].replace(/\d+ columns/, 'N columns'), `gg→wp é☺中␡ · N columns · ${missing}`);
    const cli = runTool(['--in-file={IN}', '--out-file={OUT}', ...toolOptions({lineLen: 10, utf8})], encode(text));
    assert.equal((await texts(page, '#blocks .warning')).join('\n') + '\n', cli.stderr);
    assert.equal(await page.textContent('#warn-note'), `${wider} lines wider than the limit of 10 columns.`);
  }
  // The chat lines, the name and the drawing, are for the eye; the captions say them.
  assert.deepEqual(await page.$$eval('#blocks canvas', (all) => all.map((c) => c.closest('.chat').ariaHidden)),
                   ['true', 'true', 'true', 'true']);
});

test('the download is the batch run\'s script, with letters or without, to the team or all', async () => {
  const text = 'Hello, world!\ngg wp\tx Café Привет ☺中\n\nnot converted\nnor this\n';
  let page;
  for (const options of [{lineLen: 20, noName: true, utf8: false}, {lineLen: 20, team: true}]) {
    page = await open(fileUrl, text, options);
    await page.fill('#name', 'hello.cfg');
    const [download] = await Promise.all([page.waitForEvent('download'), page.click('#download')]);
    assert.equal(download.suggestedFilename(), 'hello.cfg');
    const cli = runTool(['--in-file={IN}', '--out-file={OUT}', ...toolOptions({utf8: true, ...options})], encode(text));
    assert.deepEqual(new Uint8Array(fs.readFileSync(await download.path())), cli.script, JSON.stringify(options));
  }
  assert.equal(await page.textContent('#stop-note'),
               'the first empty line ends the text: 2 lines below it are not converted');
  assert.equal(await page.textContent('#bind-line'), 'bind "F5" "exec hello.cfg"');
  // A line that gets a line end after it is read anew: an end mark then
  // ends the text there.
  await page.fill('#text', 'A b\x1a');
  await page.press('#text', 'End');
  await page.keyboard.type('\nmore');
  await settled(page);
  assert.equal(await page.textContent('#stop-note'),
               'line 1 (an end mark, 0x1A) ends the text: 1 line below it is not converted');
  for (const empty of ['', '\nHi']) {
    await page.fill('#text', empty);
    await settled(page);
    assert.ok(await page.isDisabled('#download'), JSON.stringify(empty));
    assert.ok(await page.isVisible('#download-note'));
  }
});

test('a long text: 20 lines drawn around the caret, the others counted', async () => {
  const text = Array.from({length: 1000}, (_, i) => `line ${i + 1}`).join('\n');
  const page = await open(fileUrl, text);
  await page.$eval('#text', (box) => box.setSelectionRange(box.value.indexOf('line 500'), box.value.indexOf('line 500')));
  await page.press('#text', 'ArrowRight');
  await settled(page);
  const captions = await texts(page, '#blocks figcaption');
  assert.equal(captions.length, 20);
  assert.match(captions[0], /^line 498 /);
  assert.equal(await page.textContent('#above'), '497 lines above are not drawn; move the caret to see them.');
  assert.equal(await page.textContent('#below'), 'and 483 more lines below.');
});

test('the live file: every line entered is written whole, in order, while writes are slow', async () => {
  const page = await open(fileUrl, '', {team: true});
  await page.evaluate(() => { window.fake.delay = 300; });
  await page.click('#live-file');
  await page.type('#live-line', 'nice shot', {delay: 60});
  await page.press('#live-line', 'Enter');
  assert.equal(await page.inputValue('#live-line'), '');
  await page.type('#live-line', 'Café Привет', {delay: 60});
  // Enter while an input method composes is part of the composing.
  await page.$eval('#live-line', (box) => box.dispatchEvent(
    new KeyboardEvent('keydown', {key: 'Enter', isComposing: true, bubbles: true})));
  assert.equal(await page.inputValue('#live-line'), 'Café Привет');
  await page.press('#live-line', 'Enter');
  await page.waitForFunction(() => window.fake.written.length === 2);
  const written = await page.evaluate(() => window.fake.written);
  const interactive = (line) => runTool(['--out-file={OUT}', '--utf8', '--team'], encode(`${line}\n`)).script;
  assert.deepEqual(written.map((bytes) => Uint8Array.from(bytes)),
                   [interactive('nice shot'), interactive('Café Привет')]);
  await said(page, 'chat.cfg now says: Café Привет');
  // The live line's own drawing is the tool's preview of what was written.
  assert.deepEqual((await drawings(page, '#live-block')).map((rows) => `${rows}\n\n`),
                   [runPreview(Uint8Array.from(written[1]))]);
});

test('the live file: a cancelled picker and a refused write are said, and the line kept', async () => {
  const page = await open(fileUrl, '');
  await page.evaluate(() => { window.fake.cancel = true; });
  await page.click('#live-file');
  await said(page, /^No file was picked/);
  assert.ok(await page.isDisabled('#live-line'));
  await page.evaluate(() => Object.assign(window.fake, {cancel: false, refuse: 'NotAllowedError'}));
  await page.click('#live-file');
  await page.fill('#live-line', 'gg');
  await page.press('#live-line', 'Enter');
  // Said together with what picking the file says, when the two come at once.
  await said(page, new RegExp('Not written: gg\\. The browser did not let this page write ' +
                              'chat\\.cfg\\. .*Program Files.* The line is kept\\.$'));
  assert.ok(await page.isVisible('#retry'));
  await page.evaluate(() => { window.fake.refuse = ''; });
  await page.click('#retry');
  await page.waitForFunction(() => window.fake.written.length === 1);
  assert.deepEqual(Uint8Array.from(await page.evaluate(() => window.fake.written[0])),
                   runTool(['--out-file={OUT}'], encode('gg\n')).script);
  assert.ok(await page.isHidden('#retry'));
});

test('a converter that cannot load is said, and Download and Live file stay off', async () => {
  const server = await serve(['tallsay.js']);
  const noWasm = await (await browser.newContext()).newPage();
  await noWasm.addInitScript(() => { delete window.WebAssembly; });
  await noWasm.goto(fileUrl);
  const noScript = await (await browser.newContext()).newPage();
  await noScript.goto(server.url);
  for (const [page, reason] of [[noWasm, 'does not run WebAssembly'],
                                [noScript, 'tallsay.js did not load']]) {
    await page.waitForSelector('body[data-ready="failed"]');
    assert.ok((await page.textContent('#blocks')).includes(reason));
    assert.ok(await page.isDisabled('#download'));
    assert.ok(await page.isDisabled('#live-file'));
  }
  server.close();
});

test('the text and options are kept over a reload and carried by the link', async () => {
  const page = await open(fileUrl, 'keep\u00a0me\nand me', {lineLen: 12, noName: true, utf8: false, team: true});
  await page.fill('#name', 'kept.cfg');
  await page.waitForFunction(() => document.getElementById('link').href.includes('kept.cfg'));
  const link = await page.$eval('#link', (a) => a.href);
  await page.reload();
  await settled(page);
  const elsewhere = await (await browser.newContext()).newPage();
  await elsewhere.goto(link);
  await settled(elsewhere);
  for (const shown of [page, elsewhere]) {
    assert.deepEqual(await boxes(shown, ['text', 'line-len', 'name', 'no-name', 'utf8', 'team']),
                     ['keep\u00a0me\nand me', '12', 'kept.cfg', true, false, true]);
  }
});

test('a phone and a screen reader: no sideways scrolling, nothing serious for axe', async () => {
  const page = await open(fileUrl, 'Hello, world!\nWell played, see you next round!', {
    lineLen: 40, viewport: {width: 320, height: 640}});
  await page.click('#live-file');
  assert.equal(await page.evaluate(() => document.documentElement.scrollWidth), 320);
  assert.deepEqual(await axeFindings(page), []);
  assert.equal(await page.getAttribute('#news', 'aria-live'), 'polite');
});

test('served over http, the page works and the ES module loads', async () => {
  const server = await serve();
  const page = await open(server.url, 'Hi');
  assert.equal((await drawings(page))[0].split('\n')[0], '\u2588   \u2588  \u2580 ');
  const row = await page.evaluate(async () => {
    const module = await (await import('./tallsay.mjs')).default();
    return module.preview(module.convert(new TextEncoder().encode('Hi\n')).script).split('\n')[0];
  });
  assert.equal(row, '\u2588   \u2588  \u2580 ');
  server.close();
});
