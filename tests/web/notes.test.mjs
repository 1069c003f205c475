// What the page says, in headless Chromium: the live file's steps and the
// lines that wait for it, pieces of long lines, the lines left unconverted,
// width limits the tool cannot take, the name in front of each drawing and
// the width a chat line shows, the console's limits beside each drawing and
// at Download, a large paste, and a browser without JavaScript or Live file.
import assert from 'node:assert/strict';
import test from 'node:test';

import {axeFindings, browser, encode, fileUrl, news, open, said, settled, texts} from './browser.mjs';
import {runTool} from './support.mjs';

test('the live file: its steps name the picked file; lines waiting are counted, drawn and kept', async () => {
  const page = await open(fileUrl, '');
  await page.evaluate(() => Object.assign(window.fake, {name: 'game.cfg', refuse: 'NotAllowedError'}));
  await page.click('#live-file');
  assert.equal(await page.textContent('#bind-line'), 'bind "F5" "exec game.cfg"');
  assert.equal(await page.textContent('#exec-line'), 'exec game.cfg');
  // A line over the block's 1,024 bytes is refused, as the window does, and
  // stays in the box.
  const long = 'x'.repeat(1025);
  await page.fill('#live-line', long);
  await page.press('#live-line', 'Enter');
  await said(page, /1,025 bytes long; a line holds at most 1,024\. Nothing was written/);
  assert.equal(await page.inputValue('#live-line'), long);
  for (const line of ['gg', 'wp', 'nice']) {
    await page.fill('#live-line', line);
    await page.press('#live-line', 'Enter');
  }
  await page.waitForFunction(() => /^3 lines wait/.test(document.getElementById('live-waiting').textContent));
  assert.match(await page.textContent('#live-waiting'), /^3 lines wait to be written to game\.cfg: gg, wp, nice/);
  assert.match(await page.textContent('#live-block figure.waiting figcaption'), /not yet in game\.cfg/);
  assert.deepEqual(await axeFindings(page), []);
  // Closing the tab asks first while lines wait.
  const asked = new Promise((resolve) => page.once('dialog', (dialog) => {
    resolve(dialog.type());
    dialog.dismiss();
  }));
  await page.close({runBeforeUnload: true});
  assert.equal(await asked, 'beforeunload');
  await page.evaluate(() => { window.fake.refuse = ''; });
  await page.click('#retry');
  await page.waitForFunction(() => window.fake.written.length === 3);
  assert.ok(await page.isHidden('#live-waiting'));
  assert.equal(await page.$('#live-block figure.waiting'), null);
  assert.deepEqual(Uint8Array.from(await page.evaluate(() => window.fake.written[2])),
                   runTool(['--out-file={OUT}'], encode('nice\n')).script);
});

test('notes that are true: pieces of long lines, lines not converted, widths taken, one column', async () => {
  const page = await open(fileUrl, `${'W'.repeat(1500)}\nHi\n\n\n`);
  const captions = await texts(page, '#blocks figcaption');
  assert.equal(captions.length, 3);
  assert.match(captions[0], / · piece 1 of 2: a line over 1,024 bytes is cut into pieces, a banner each$/);
  assert.match(captions[1], / · piece 2 of 2: a line over 1,024 bytes is cut into pieces, a banner each$/);
  assert.equal(captions[2], 'Hi · 9 columns');
  assert.ok(await page.isHidden('#stop-note'), await page.textContent('#stop-note'));
  await page.fill('#text', 'Hi\n\n\nleft out\n\n');
  await settled(page);
  assert.equal(await page.textContent('#stop-note'),
               'the first empty line ends the text: 1 line below it is not converted');
  await page.fill('#text', '!\n|');
  await page.fill('#line-len', '1');
  await settled(page);
  assert.deepEqual(await texts(page, '#blocks figcaption'), ['! · 1 column', '| · 1 column']);
  await page.fill('#line-len', '0');
  await page.fill('#text', 'Hi');
  for (const [typed, taken] of [['4294967297', 0], ['2147483648', 0], ['-2147483649', 0], ['1.5', 0],
                                ['8', 8], ['2147483647', 2147483647], ['-3', -3]]) {
    await page.fill('#line-len', typed);
    await settled(page);
    const refused = await page.evaluate(() => !document.getElementById('line-len-note').hidden);
    assert.equal(refused, taken === 0, typed);
    if (refused) assert.match(await page.textContent('#line-len-note'), /up to 2147483647.*is not taken/);
    assert.equal(await page.isVisible('#blocks .warning'), taken > 0 && taken < 9, typed);
    if (taken === 8) {
      assert.equal(await page.textContent('#warn-note'), '1 line wider than the limit of 8 columns.');
    }
  }
});

test('the name in front of each drawing, the width a chat line shows, the console\'s limits', async () => {
  const page = await open(fileUrl, `Hi\n${'W'.repeat(12)}`);
  const limits = await page.evaluate(async () => (await createTallsay()).limits());
  const names = () => page.$$eval('#blocks figure', (all) => all.map((f) => f.querySelector('.name')?.textContent ?? ''));
  // 12 W take 71 columns: over the 69 after the name and the 67 after it in
  // parentheses, not over the 77 without it.
  for (const [noName, team, name, columns, advice] of [
    [false, true, '(Player): ', limits.columnsTeam, 'team rows over 67 columns'],
    [true, true, '', limits.columnsNoName, ''],
    [false, false, 'Player: ', limits.columnsWithName, 'rows over 69 columns']]) {
    for (const [id, on] of [['#no-name', noName], ['#team', team]]) await page.setChecked(id, on);
    await settled(page);
    assert.deepEqual(await names(), [name, name]);
    assert.match(await page.textContent('#line-len-help'), new RegExp(`\\b${columns} columns\\b`));
    assert.deepEqual(await texts(page, '#blocks .advice'),
                     advice ? [`In the game: ${advice} wrap on a 640-pixel screen.`] : []);
  }
  for (const [text, advice] of [
    ['Hi', 'fits the game\'s limits'],
    ['Hello, world!\ngg wp', 'In the game: bind one banner per key.'],
    [Array.from({length: 30}, (_, i) => `Round ${i + 1}: well played!`).join('\n'),
     'In the game: the game runs nothing of a script over 8191 bytes; bind one banner per key; the ' +
     'game drops the connection when one key sends over 1384 bytes of chat; rows over 69 columns ' +
     'wrap on a 640-pixel screen.']]) {
    await page.fill('#text', text);
    await settled(page);
    await Promise.all([page.waitForEvent('download'), page.click('#download')]);
    assert.ok((await page.textContent('#download-note')).includes(advice), text);
  }
});

// Pastes `value` into the box of `page` in one task, the box focused, set
// and sent one input event; resolves to the longest task that a
// PerformanceObserver for long tasks sees over 4 s (0 for none). The text
// is handed to the page before, so that carrying it there is not measured.
async function paste(page, value) {
  await page.evaluate((text) => { window.pasted = text; }, value);
  return page.evaluate(() => new Promise((resolve) => {
    const tasks = [0];
    new PerformanceObserver((list) => tasks.push(...list.getEntries().map((t) => t.duration))).observe({type: 'longtask'});
    const box = document.getElementById('text');
    box.focus();
    box.value = window.pasted;
    box.dispatchEvent(new InputEvent('input', {bubbles: true, inputType: 'insertFromPaste'}));
    setTimeout(() => resolve(Math.max(...tasks)), 4000);
  }));
}

test('a paste over 1 MB says the page is converting, until it is done, within 100 ms of a bare box', async () => {
  const viewport = {width: 1280, height: 800};
  // The observer seldom sees a task in which no script of the page runs:
  // the bare box has a listener that does nothing, as the page's runs in the paste's task.
  const bare = await (await browser.newContext({viewport})).newPage();
  await bare.setContent('<textarea id="text" oninput=";" style="display: block; width: 100%; font: 15px/1.3 monospace">' +
                        '</textarea>');
  const big = 'well played, see you next round!\n'.repeat(40000);
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
  assert.ok(await page.isHidden('#busy-note'));
  assert.ok((await news(page)).some((line) => /Converting a text of 1\.3 million characters/.test(line)));
});

test('without JavaScript, without Live file, and 360 pixels wide, the page says what holds', async () => {
  const noScript = await (await browser.newContext({javaScriptEnabled: false})).newPage();
  await noScript.goto(fileUrl);
  assert.match(await noScript.innerText('main'), /needs JavaScript/);
  assert.ok(await noScript.isHidden('#loading'));
  const phone = await open(fileUrl, 'gg wp', {viewport: {width: 360, height: 740},
                                              init: () => { delete window.showSaveFilePicker; }});
  assert.ok(await phone.isVisible('#no-live'));
  assert.doesNotMatch(await phone.textContent('#no-live'), /Chrome|Edge/);
  const [box, hint] = await Promise.all(['#line-len', '#line-len-help'].map((id) =>
    phone.$eval(id, (e) => e.getBoundingClientRect().toJSON())));
  assert.ok(hint.left >= box.right && hint.top < box.bottom, JSON.stringify({box, hint}));
  assert.equal(await phone.evaluate(() => document.documentElement.scrollWidth), 360);
});
