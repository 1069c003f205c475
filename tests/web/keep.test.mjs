// What the page keeps and hands over, in headless Chromium: the script name
// that reaches the download, the game steps and the clipboard; a link, read
// once, that asks before it replaces the player's own text and changes only
// what it carries; and storage that fails aloud.
import assert from 'node:assert/strict';
import test from 'node:test';

import {axeFindings, browser, fakePage, fileUrl, news, open, settled} from './browser.mjs';

// The game steps and the name box's state, as shown.
const steps = (page) => page.evaluate(() => {
  const note = document.getElementById('name-note');
  return {
    bind: document.getElementById('bind-line').textContent,
    exec: document.getElementById('exec-line').textContent,
    refused: document.getElementById('name').getAttribute('aria-invalid') === 'true',
    note: note && !note.hidden ? note.textContent : '',
  };
});

test('a script name is checked, and the one checked name is downloaded, bound and copied', async () => {
  const context = await browser.newContext({acceptDownloads: true});
  await context.grantPermissions(['clipboard-read', 'clipboard-write']);
  const page = await open(fileUrl, 'gg', {context});
  const refused = ['chat.cfg" ; unbindall ; bind "w" "quit', 'my chat.cfg', 'a"b.cfg', '../x.cfg',
                   '.cfg', 'chat;quit.cfg', `${'a'.repeat(61)}.cfg`];
  for (const name of refused) {
    await page.fill('#name', name);
    const shown = await steps(page);
    assert.deepEqual([shown.bind, shown.exec, shown.refused], ['bind "F5" "exec chat.cfg"', 'exec chat.cfg',
                                                              true], name);
    assert.match(shown.note, /^A script name holds only letters, digits, _, - and \. \(at most 64\)/, name);
    assert.ok(await page.isDisabled('#download'), name);
  }
  for (const [name, checked] of [['hello', 'hello.cfg'], [`${'a'.repeat(60)}.cfg`, `${'a'.repeat(60)}.cfg`],
                                 ['Round_2-b.CFG', 'Round_2-b.CFG']]) {
    await page.fill('#name', name);
    assert.deepEqual(await steps(page), {bind: `bind "F5" "exec ${checked}"`, exec: `exec ${checked}`,
                                         refused: false, note: ''});
  }
  await page.fill('#name', 'hello');
  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#download')]);
  assert.equal(download.suggestedFilename(), 'hello.cfg');
  await page.click('button[data-copy="bind-line"]');
  assert.equal(await page.evaluate(() => navigator.clipboard.readText()), 'bind "F5" "exec hello.cfg"');
  // A link with a name that would add commands: refused, and so after a
  // reload, once the page has kept it (it keeps the text 300 ms after a change).
  await page.waitForTimeout(400);
  const attack = await fakePage({context});
  await attack.goto(`${fileUrl}#name=${encodeURIComponent('chat.cfg" ; unbindall ; bind "w" "quit')}`);
  await settled(attack);
  await attack.waitForTimeout(400);
  for (const reload of [false, true]) {
    if (reload) await attack.reload().then(() => settled(attack));
    assert.deepEqual((({bind, refused}) => [bind, refused])(await steps(attack)),
                     ['bind "F5" "exec chat.cfg"', true], `reload: ${reload}`);
    await attack.click('button[data-copy="bind-line"]');
    assert.equal(await attack.evaluate(() => navigator.clipboard.readText()), 'bind "F5" "exec chat.cfg"');
  }
});

// Follows `url` in `page`, a link to the page that may only change the
// fragment of the address the page has; resolves once the page took it.
async function follow(page, url) {
  await page.goto(url);
  await page.waitForFunction(() => location.hash === '');
  await settled(page);
}

test('a link is read once, asks before it replaces the player\'s own text, and sets only what it carries', async () => {
  const context = await browser.newContext();
  const mine = await open(fileUrl, 'my own words\nsecond', {lineLen: 20, context});
  await mine.fill('#name', 'mine.cfg');
  // Someone else's link, made in a browser of its own.
  const theirs = await open(fileUrl, 'their text', {lineLen: 40, noName: true});
  await theirs.waitForFunction(() => document.getElementById('link').href.includes('their'));
  const link = await theirs.$eval('#link', (a) => a.href);
  // Following the link on the page keeps it in the address bar no longer.
  await theirs.click('#link');
  await settled(theirs);
  assert.equal(await theirs.evaluate(() => location.hash), '');
  await theirs.fill('#text', 'their text, edited');
  await theirs.waitForTimeout(400);
  await theirs.reload();
  await settled(theirs);
  assert.equal(await theirs.inputValue('#text'), 'their text, edited');

  const values = (page) => page.evaluate(() => [document.getElementById('text').value,
    document.getElementById('line-len').value, document.getElementById('no-name').checked,
    document.getElementById('name').value]);
  await mine.waitForTimeout(400);
  const opened = await fakePage({context});
  await follow(opened, link);
  assert.deepEqual(await values(opened), ['my own words\nsecond', '20', false, 'mine.cfg']);
  assert.match(await opened.textContent('#offer'), /their text/);
  // The question, a refused name and a refused width, for axe-core.
  await opened.fill('#name', 'my chat.cfg');
  await opened.fill('#line-len', '4294967297');
  assert.deepEqual(await axeFindings(opened), []);
  await opened.fill('#name', 'mine.cfg');
  await opened.fill('#line-len', '20');
  await opened.click('#offer-take');
  await settled(opened);
  assert.deepEqual(await values(opened), ['their text', '40', true, 'chat.cfg']);
  assert.ok(await opened.isHidden('#offer'));
  // The player's own text stays reachable, over a reload too.
  await opened.waitForTimeout(400);
  await opened.reload();
  await settled(opened);
  await opened.click('#earlier');
  await settled(opened);
  assert.deepEqual(await values(opened), ['my own words\nsecond', '20', false, 'mine.cfg']);

  // A link of options only changes those and says so; no-name=0 is off.
  for (const [fragment, expected] of [['line-len=12&no-name=0', ['my own words\nsecond', '12', false]],
                                      ['no-name=1', ['my own words\nsecond', '12', true]]]) {
    await follow(opened, `${fileUrl}#${fragment}`);
    assert.deepEqual((await values(opened)).slice(0, 3), expected, fragment);
    assert.match(await opened.textContent('#link-note'), /^The link set/, fragment);
  }
  // Declining keeps everything as it was.
  await follow(opened, `${fileUrl}#text=other&line-len=3`);
  await opened.click('#offer-keep');
  assert.deepEqual((await values(opened)).slice(0, 3), ['my own words\nsecond', '12', true]);
});

test('storage that is blocked or full, and a text too long for a link, are said once each', async () => {
  const blocked = await fakePage();
  await blocked.addInitScript(() => {
    Object.defineProperty(window, 'localStorage', {get() { throw new DOMException('no', 'SecurityError'); }});
  });
  const full = await fakePage();
  await full.addInitScript(() => {
    Storage.prototype.setItem = () => { throw new DOMException('full', 'QuotaExceededError'); };
  });
  const long = await fakePage();
  for (const [page, text, message] of [
    [blocked, 'a', /This browser keeps nothing for this page/],
    [full, 'a', /The browser's storage for this page is full/],
    [long, 'x'.repeat(9000), /A link carries at most 8,192 characters of text; this one has 9,00\d\./]]) {
    await page.goto(fileUrl);
    await settled(page);
    for (const more of ['b', 'c', 'd']) {
      await page.fill('#text', text + more);
      await page.waitForTimeout(400);
    }
    const told = (await news(page)).filter((line) => message.test(line));
    assert.equal(told.length, 1, `${message}: ${JSON.stringify(await news(page))}`);
    assert.match(await page.textContent('#keep-note'), message);
  }
});
