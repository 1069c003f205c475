// What the page keeps and hands over, in headless Chromium: the text and
// every option over a reload and in a link, and the one checked script name
// in the download, the game steps and the clipboard; a link, read once,
// that asks before it replaces what the player set, changes only what it
// carries and keeps what it replaced as the earlier values; and storage
// that fails aloud. The names and keys a player may type are rows of page
// in web.cases.
import assert from 'node:assert/strict';
import test from 'node:test';

import {axeFindings, boxes, copied, download, expectShown, fakePage, fileUrl, follow, newContext, news, open,
        settled} from './browser.mjs';

test('the text and options are kept over a reload and carried by a link; a name a link brings is checked', async () => {
  const text = 'keep\u00a0me\nand me';
  const context = await newContext();
  const page = await open(fileUrl, text, {lineLen: 12, noName: true, utf8: false, team: true, name: 'kept.cfg',
                                          chain: true, key: 'F8', context});
  await page.waitForFunction(() => document.getElementById('link').href.includes('key=F8'));
  const link = await page.$eval('#link', (a) => a.href);
  // The page's own link is copied, not followed: a reload takes the text as edited since.
  await page.click('#link');
  await page.fill('#text', `${text}, edited`);
  await page.waitForTimeout(400);
  await page.reload();
  await settled(page);
  const elsewhere = await fakePage();
  await follow(elsewhere, link);
  for (const [shown, kept] of [[page, `${text}, edited`], [elsewhere, text]]) {
    assert.deepEqual(await boxes(shown, ['text', 'line-len', 'name', 'no-name', 'utf8', 'team', 'make-chain', 'key']),
                     [kept, '12', 'kept.cfg', true, false, true, true, 'F8']);
    await expectShown(shown, {'#bind-line': 'bind F8 "exec kept.cfg"', '#exec-line': []});
  }
  await expectShown(elsewhere, {'#link-note': /one banner per key press, the key to F8\.$/});
  // One script with every line is as it was, and it downloads and copies the name.
  await page.check('#make-one');
  await settled(page);
  assert.equal((await download(page)).name, 'kept.cfg');
  await expectShown(page, {'#key, #chain-zip': [], '#bind-line': 'bind "F5" "exec kept.cfg"',
                           '#exec-line': 'exec kept.cfg', '#download-note': /“One banner per key press” above makes/});
  assert.equal(await copied(page, 'button[data-copy="bind-line"]'), 'bind "F5" "exec kept.cfg"');
  // A link's name that would add commands, taken: refused, the last good
  // name kept, and after a reload, once the page has kept it (300 ms after
  // a change), the first run's name.
  await page.waitForTimeout(400);
  const attack = await fakePage({context});
  await follow(attack, `${fileUrl}#name=${encodeURIComponent('chat.cfg" ; unbindall ; bind "w" "quit')}`);
  await attack.click('#offer-take');
  await settled(attack);
  await attack.waitForTimeout(400);
  for (const kept of ['kept.cfg', 'chat.cfg']) {
    if (kept === 'chat.cfg') await attack.reload().then(() => settled(attack));
    await expectShown(attack, {'#bind-line': `bind "F5" "exec ${kept}"`, '#name[aria-invalid="true"]': ''});
    assert.equal(await copied(attack, 'button[data-copy="bind-line"]'), `bind "F5" "exec ${kept}"`);
  }
});

test('a link asks before it replaces what the player set, sets only what it carries, keeps the earlier', async () => {
  const context = await newContext();
  await (await open(fileUrl, 'my own words\nsecond', {lineLen: 20, name: 'mine.cfg', context})).waitForTimeout(400);
  const page = await fakePage({context});
  const values = () => boxes(page, ['text', 'line-len', 'no-name', 'utf8', 'team', 'name', 'key']);
  const own = ['my own words\nsecond', '20', false, true, false, 'mine.cfg', 'F5'];
  await follow(page, `${fileUrl}#text=their+text&line-len=40&no-name=1`);
  assert.deepEqual(await values(), own);
  await expectShown(page, {'#offer-text': /^This link carries another text: 1 line, the first “their text”\. This/});
  // The question, a refused name and a refused width, for axe-core.
  await page.fill('#name', 'my chat.cfg');
  await page.fill('#line-len', '4294967297');
  assert.deepEqual(await axeFindings(page), []);
  await page.fill('#name', 'mine.cfg');
  await page.fill('#line-len', '20');
  await page.click('#offer-take');
  await settled(page);
  assert.deepEqual(await values(), ['their text', '40', true, true, false, 'mine.cfg', 'F5']);
  // The player's own text stays reachable, over a reload too.
  await page.waitForTimeout(400);
  await page.reload();
  await settled(page);
  // Each step: a link followed (its fragment), a button then pressed, what
  // the page shows and what its boxes hold.
  const mine = Object.assign([...own], {3: false, 6: 'F7'});
  for (const [fragment, button, expected, after] of [
    [null, '#earlier', {'#offer': []}, own],
    // Settings the player left as they were are set, and said; no-name=0 is off.
    ['no-name=0&key=F7&utf8=0', null, {'#offer': [], '#link-note': 'The link set the player name shown, letters ' +
                                                                    'beyond ASCII left blank, the key to F7.'}, mine],
    // Those the player set are asked about; a second link drops the first's question.
    ['name=config.cfg&key=w', null,
     {'#offer-text': /the script name from mine\.cfg to config\.cfg, the key from F7 to w\./}, mine],
    ['line-len=12&no-name=1&utf8=1&team=1', null, {'#offer-text': new RegExp('the width limit from 20 to 12, letters ' +
      'beyond ASCII from left blank to drawn\\. It also sets the player name hidden, team only on\\.')}, mine],
    [null, '#offer-take', {'#offer': []}, [own[0], '12', true, true, true, 'mine.cfg', 'F7']],
    [null, '#earlier', {}, mine],
    ['text=other&line-len=3', '#offer-keep', {'#offer': []}, mine]]) {
    if (fragment) await follow(page, `${fileUrl}#${fragment}`);
    if (button) await page.click(button);
    await expectShown(page, expected, fragment ?? button);
    assert.deepEqual(await values(), after, fragment ?? button);
  }
  // The note says what the page then holds: the box breaks lines at each
  // CR, and a width it refuses is not set. A first run draws letters beyond
  // ASCII, to everyone, with the name.
  const fresh = await fakePage();
  for (const [fragment, note] of [
    ['text=gg%0D%0Aquit%0Dx%0D%0D%0Ay', 'The link set the text (5 lines, the first “gg”).'],
    ['line-len=99999999999', 'The link carried the width limit 99999999999, which is not taken: the page keeps 0.']]) {
    await follow(fresh, `${fileUrl}#${fragment}`);
    await expectShown(fresh, {'#link-note': note});
  }
  assert.deepEqual(await boxes(fresh, ['no-name', 'utf8', 'team']), [false, true, false]);
});

test('storage that is blocked or full, and a text too long for a link, are said once each', async () => {
  await Promise.all([
    [() => Object.defineProperty(window, 'localStorage', {get() { throw new DOMException('no', 'SecurityError'); }}),
     'a', /This browser keeps nothing for this page/],
    [() => { Storage.prototype.setItem = () => { throw new DOMException('full', 'QuotaExceededError'); }; },
     'a', /The browser's storage for this page is full/],
    [undefined, 'x'.repeat(9000), /A link carries at most 8,192 characters of text; this one has 9,00\d\./],
  ].map(async ([init, text, message]) => {
    const page = await fakePage({init});
    await follow(page, fileUrl);
    for (const more of ['b', 'c']) {
      await page.fill('#text', text + more);
      await page.waitForTimeout(400);
    }
    const told = (await news(page)).filter((line) => message.test(line));
    assert.equal(told.length, 1, `${message}: ${JSON.stringify(await news(page))}`);
    await expectShown(page, {'#keep-note': message});
  }));
});
