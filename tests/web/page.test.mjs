// The page in headless Chromium: what it says of a text (drawings,
// captions, warnings, pieces, where the text ends, width limits, the name
// in front and the console's limits), Download against the tool's script
// under every option, the live file, the page without JavaScript,
// WebAssembly or its converter and over http, and a paste of 1 MB.
import assert from 'node:assert/strict';
import test from 'node:test';

import {axeFindings, browser, download, drawings, expectShown, fakePage, fileUrl, follow, news, open, pageHttp, said,
        serve, set, settingsOf, settled, shownOf, texts} from './browser.mjs';
import {readCases, runPreview, runTool, toolOptions, toolScript} from './support.mjs';

// The lines of the tool's warnings on `text` under the page's `options`.
const warnings = (text, options) => runTool(['--in-file={IN}', '--out-file={OUT}', ...toolOptions(options)],
                                            new TextEncoder().encode(text)).stderr.split('\n').slice(0, -1);

test('what the page shows of each text of web.cases, drawn as the game draws it', async () => {
  const page = await open(fileUrl, 'Hi\nA b');
  assert.deepEqual(await drawings(page), ['█   █  ▀ \n█▄▄▄█ ▀█ \n█   █  █ \n▀   ▀ ▀▀▀',
                                          '▄▀▀▀▄    █    \n█   █    █▄▀▀▄\n█▀▀▀█    █   █\n▀   ▀    ▀▀▀▀ ']);
  // The chat lines, the name and the drawing, are for the eye; the captions say them.
  assert.deepEqual(await page.$$eval('#blocks .chat', (all) => all.map((c) => c.ariaHidden)), ['true', 'true']);
  for (const [text, settings, ...shown] of readCases('page', true)) {
    const options = settingsOf(settings);
    await set(page, text, options);
    await expectShown(page, shownOf(shown, warnings(text, options)), JSON.stringify([text.slice(0, 20), settings]));
  }
  // A line that gets a line end after it is read anew: its end mark then ends the text.
  await set(page, 'A b\x1a', {type: '\nmore'});
  await expectShown(page, {'#stop-note': 'line 1 (an end mark, 0x1A) ends the text: 1 line below it is not converted'});
});

test('Download is the batch run\'s script under every option, and says what the game will do with it', async () => {
  const page = await open(fileUrl, '');
  for (const [text, settings, file, note] of readCases('download', true)) {
    const options = settingsOf(settings);
    await set(page, text, options);
    const {name, bytes} = await download(page);
    assert.deepEqual([name, bytes], [file, toolScript(text, options)], settings);
    await expectShown(page, shownOf(['#download-note', note]), settings);
  }
});

test('the live file: lines written whole and in order, refusals said, lines waiting counted and kept', async () => {
  const page = await open(fileUrl, '', {team: true});
  await page.evaluate(() => { window.fake.cancel = true; });
  await page.click('#live-file');
  await said(page, /^No file was picked/);
  await expectShown(page, {'#live-line:disabled': ''});
  await page.evaluate(() => Object.assign(window.fake, {cancel: false, file: 'game.cfg', failAt: 1, error: 'NotAllowedError'}));
  await page.click('#live-file');
  // A line over the block's 1,024 bytes is refused, as the window does, and stays in the box.
  await page.fill('#live-line', 'x'.repeat(1025));
  await page.press('#live-line', 'Enter');
  await said(page, /1,025 bytes long; a line holds at most 1,024\. Nothing was written/);
  assert.equal(await page.inputValue('#live-line'), 'x'.repeat(1025));
  const lines = ['gg', 'wp', 'nice'];
  for (const line of lines) {
    await page.fill('#live-line', line);
    await page.press('#live-line', 'Enter');
  }
  await page.waitForFunction(() => /^3 lines wait/.test(document.getElementById('live-waiting').textContent));
  await expectShown(page, {'#bind-line': 'bind "F5" "exec game.cfg"', '#exec-line': 'exec game.cfg', '#retry': 'Retry',
                           '#live-waiting': /^3 lines wait to be written to game\.cfg: gg, wp, nice/,
                           '#live-block figure.waiting figcaption': /not yet in game\.cfg/});
  // Said together with what picking the file says, when the two come at once.
  assert.ok((await news(page)).some((message) => new RegExp('Not written: gg\\. The browser did not let this page ' +
    'write game\\.cfg\\. .*Program Files.* The line is kept').test(message)));
  assert.deepEqual(await axeFindings(page), []);
  // Closing the tab asks first while lines wait.
  const asked = page.waitForEvent('dialog', {timeout: 5000});
  await page.close({runBeforeUnload: true});
  const dialog = await asked;
  assert.equal(dialog.type(), 'beforeunload');
  await dialog.dismiss();
  // Once writes are allowed, slow ones too, every line is written, one after the other.
  await page.evaluate(() => Object.assign(window.fake, {delay: 300}));
  await page.click('#retry');
  await page.waitForFunction(() => window.fake.written.length === 3);
  await expectShown(page, {'#live-waiting': [], '#live-block figure.waiting': [], '#retry': []});
  await page.fill('#live-line', 'nice shot');
  await page.press('#live-line', 'Enter');
  assert.equal(await page.inputValue('#live-line'), '');
  await page.fill('#live-line', 'Café Привет');
  // Enter while an input method composes is part of the composing.
  await page.$eval('#live-line', (box) => box.dispatchEvent(
    new KeyboardEvent('keydown', {key: 'Enter', isComposing: true, bubbles: true})));
  assert.equal(await page.inputValue('#live-line'), 'Café Привет');
  await page.press('#live-line', 'Enter');
  await said(page, /^game\.cfg now says: Café Привет$/);
  const written = await page.evaluate(() => window.fake.written);
  assert.deepEqual(written, [...lines, 'nice shot', 'Café Привет'].map((line) =>
    toolScript(`${line}\n`, {utf8: true, team: true}, false)));
  // The live line's own drawing is the tool's preview of what was written.
  assert.deepEqual((await drawings(page, '#live-block')).map((rows) => `${rows}\n\n`), [runPreview(written[4])]);
});

test('without JavaScript, WebAssembly or tallsay.js the page says so; over http it works, its module too', async () => {
  const noScript = await (await browser.newContext({javaScriptEnabled: false})).newPage();
  await noScript.goto(fileUrl);
  assert.match(await noScript.innerText('main'), /needs JavaScript/);
  assert.ok(await noScript.isHidden('#loading'));
  for (const [init, missing, reason] of [[() => { delete window.WebAssembly; }, [], /does not run WebAssembly/],
                                         [undefined, ['tallsay.js'], /tallsay\.js did not load/]]) {
    const page = await fakePage({init});
    await serve(page, missing);
    await page.goto(pageHttp);
    await page.waitForSelector('body[data-ready="failed"]');
    await expectShown(page, {'#loading': reason, '#download:disabled': 'Download',
                             '#live-file:disabled': 'Live file…'});
  }
  const page = await fakePage();
  await serve(page);
  await follow(page, pageHttp);
  await set(page, 'Hi');
  const row = await page.evaluate(async () => {
    const module = await (await import('./tallsay.mjs')).default();
    return module.preview(module.convert(new TextEncoder().encode('Hi\n')).script).split('\n')[0];
  });
  assert.deepEqual([(await drawings(page))[0].split('\n')[0], row], Array(2).fill('█   █  ▀ '));
});

// Pastes `value` into the box of `page` in one task, the box focused, set
// and sent one input event; resolves to the longest task that a
// PerformanceObserver for long tasks sees over 4 s (0 for none). The text
// is handed to the page before, so that carrying it there is not measured.
async function paste(page, value) {
  await page.evaluate((text) => { window.pasted = text; }, value);
  return page.evaluate(() => new Promise((resolve) => {
    const tasks = [0];
    new PerformanceObserver((list) => tasks.push(...list.getEntries().map((t) => t.duration)))
      .observe({type: 'longtask'});
    const box = document.getElementById('text');
    box.focus();
    box.value = window.pasted;
    box.dispatchEvent(new InputEvent('input', {bubbles: true, inputType: 'insertFromPaste'}));
    setTimeout(() => resolve(Math.max(...tasks)), 4000);
  }));
}

test('a paste over 1 MB: within 100 ms of a bare box, said while converted, then drawn around the caret', async () => {
  const viewport = {width: 1280, height: 800};
  // The observer seldom sees a task in which no script of the page runs:
  // the bare box has a listener that does nothing, as the page's runs in the paste's task.
  const bare = await (await browser.newContext({viewport})).newPage();
  await bare.setContent('<textarea id="text" oninput=";" style="display: block; width: 100%; ' +
                        'font: 15px/1.3 monospace"></textarea>');
  const line = 'well played, see you next round!\n';
  const big = line.repeat(40000);
  const allowed = await paste(bare, big) + 100;
  // A busy machine can stretch one task of either; a page that lays out
  // what it draws in the paste's task is over the mark every time, so each
  // of up to three fresh pages gets its try. Nothing may wait for the page
  // meanwhile: a wait runs script in its frames.
  let page;
  let longest = Infinity;
  for (let tries = 0; tries < 3 && longest > allowed; ++tries) {
    page = await open(fileUrl, '', {viewport});
    longest = Math.min(longest, await paste(page, big));
  }
  assert.ok(longest <= allowed, `the longest task took ${longest} ms`);
  await settled(page);
  await expectShown(page, {'#busy-note': []});
  assert.ok((await news(page)).some((message) => /Converting a text of 1\.3 million characters/.test(message)));
  // 20 lines are drawn around the caret, from two lines above it; the others are counted.
  await page.$eval('#text', (box, at) => box.setSelectionRange(at, at), 499 * line.length);
  await page.press('#text', 'ArrowRight');
  await settled(page);
  assert.equal((await texts(page, '#blocks figcaption')).length, 20);
  await expectShown(page, {'#above': '497 lines above are not drawn; move the caret to see them.',
                           '#below': 'and 39,483 more lines below.'});
});
