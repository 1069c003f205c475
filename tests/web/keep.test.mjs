// What the page keeps and hands over, in headless Chromium: the script name
// that reaches the download, the game steps and the clipboard; a link, read
// once, that asks before it replaces the player's own text and changes only
// what it carries; and storage that fails aloud.
import assert from 'node:assert/strict';
import test from 'node:test';

import {axeFindings, boxes, browser, fakePage, fileUrl, news, open, settled} from './browser.mjs';

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
  // A link with a name that would add commands, taken: refused, the last
  // good name kept, and so after a reload, once the page has kept it (it
  // keeps the text 300 ms after a change), with the first run's name.
  await page.waitForTimeout(400);
  const attack = await fakePage({context});
  await attack.goto(`${fileUrl}#name=${encodeURIComponent('chat.cfg" ; unbindall ; bind "w" "quit')}`);
  await attack.click('#offer-take');
  await settled(attack);
  await attack.waitForTimeout(400);
  for (const [reload, kept] of [[false, 'hello.cfg'], [true, 'chat.cfg']]) {
    if (reload) await attack.reload().then(() => settled(attack));
    assert.deepEqual((({bind, refused}) => [bind, refused])(await steps(attack)),
                     [`bind "F5" "exec ${kept}"`, true], `reload: ${reload}`);
    await attack.click('button[data-copy="bind-line"]');
    assert.equal(await attack.evaluate(() => navigator.clipboard.readText()), `bind "F5" "exec ${kept}"`);
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

  const values = (page) => boxes(page, ['text', 'line-len', 'no-name', 'utf8', 'team', 'name', 'key']);
  await mine.waitForTimeout(400);
  const opened = await fakePage({context});
  await follow(opened, link);
  const own = ['my own words\nsecond', '20', false, true, false, 'mine.cfg', 'F5'];
  assert.deepEqual(await values(opened), own);
  assert.match(await opened.textContent('#offer'), /their text/);
  // The question, a refused name and a refused width, for axe-core.
  await opened.fill('#name', 'my chat.cfg');
  await opened.fill('#line-len', '4294967297');
  assert.deepEqual(await axeFindings(opened), []);
  await opened.fill('#name', 'mine.cfg');
  await opened.fill('#line-len', '20');
  await opened.click('#offer-take');
  await settled(opened);
  assert.deepEqual(await values(opened), ['their text', '40', true, true, false, 'chat.cfg', 'F5']);
  assert.ok(await opened.isHidden('#offer'));
  // The player's own text stays reachable, over a reload too.
  await opened.waitForTimeout(400);
  await opened.reload();
  await settled(opened);
  await opened.click('#earlier');
  await settled(opened);
  assert.deepEqual(await values(opened), own);

  // A link of settings the player left as they were sets them and says so;
  // no-name=0 is off.
  await follow(opened, `${fileUrl}#no-name=0&key=F7&utf8=0`);
  assert.equal(await opened.textContent('#link-note'),
               'The link set the player name shown, letters beyond ASCII left blank, the key to F7.');
  Object.assign(own, {3: false, 6: 'F7'});
  // One that would change what the player set asks first; a second link
  // drops the first's question, and the earlier settings come back.
  await follow(opened, `${fileUrl}#name=config.cfg&key=w`);
  assert.match(await opened.textContent('#offer'), /the script name from mine\.cfg to config\.cfg, the key from F7 to w\./);
  await follow(opened, `${fileUrl}#line-len=12&no-name=1&utf8=1&team=1`);
  assert.match(await opened.textContent('#offer'), new RegExp('the width limit from 20 to 12, letters beyond ASCII ' +
    'from left blank to drawn\\. It also sets the player name hidden, team only on\\.'));
  assert.deepEqual(await values(opened), own);
  await opened.click('#offer-take');
  assert.deepEqual(await values(opened), [own[0], '12', true, true, true, 'mine.cfg', 'F7']);
  await opened.click('#earlier');
  assert.deepEqual(await values(opened), own);
  // Declining keeps everything as it was.
  await follow(opened, `${fileUrl}#text=other&line-len=3`);
  await opened.click('#offer-keep');
  assert.deepEqual(await values(opened), own);
  // A note says what the page now holds: the box breaks lines at each CR,
  // and a width it refuses is not set.
  const fresh = await fakePage();
  for (const [fragment, note] of [
    ['text=gg%0D%0Aquit%0Dx%0D%0D%0Ay', 'The link set the text (5 lines, the first “gg”).'],
    ['line-len=99999999999', 'The link carried the width limit 99999999999, which is not taken: the page keeps 0.']]) {
    await follow(fresh, `${fileUrl}#${fragment}`);
    assert.equal(await fresh.textContent('#link-note'), note);
  }
  // A first run draws letters beyond ASCII, to everyone, with the name.
  assert.deepEqual(await boxes(fresh, ['no-name', 'utf8', 'team']), [false, true, false]);
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
