// One banner per key press on the page, in headless Chromium: the chain's
// scripts written into a fake folder and downloaded as a zip read back by
// unzip, each byte for byte the module's; a first name with a number, keys
// refused, a name too long for the chain, a write that fails on the fifth
// of twelve, and what the status and the game steps say.
import assert from 'node:assert/strict';
import {spawnSync} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import test from 'node:test';
import {pathToFileURL} from 'node:url';

import {axeFindings, browser, encode, fakePage, fileUrl, news, open, pageDir, settled, texts} from './browser.mjs';

const tallsay = await (await import(pathToFileURL(path.join(pageDir, 'tallsay.mjs')))).default();
const latin1 = (bytes) => Buffer.from(bytes).toString('latin1');
const twelve = Array.from({length: 12}, (_, i) => `round ${i + 1}, well played`);

// A ready page with `lines` in the box, the `options` of open() and one
// banner per key press chosen, the script name `name` and the key `key`;
// `noFolder` takes the folder picker away, as in browsers that have none.
async function chainPage(lines, {name = 'chat.cfg', key = 'F5', noFolder = false, context, viewport,
                                ...options} = {}) {
  const page = await open(fileUrl, lines.join('\n'), {...options, init: noFolder && (() => {
    delete window.showDirectoryPicker;
  }), context: context ?? await browser.newContext({acceptDownloads: true, viewport})});
  await page.check('#make-chain');
  await page.fill('#name', name);
  await page.fill('#key', key);
  await settled(page);
  return page;
}

// What the fake folder holds, by name, and what was opened and aborted in it.
const folder = (page) => page.evaluate(() => window.fake.folder).then((shown) => ({
  ...shown,
  files: Object.fromEntries(Object.entries(shown.files).map(([name, bytes]) => [name, Uint8Array.from(bytes)])),
}));

// The status's paragraphs as shown.
const status = (page) => texts(page, '#chain-status p');

// Writes the chain into the fake folder and waits for the page to say
// what came of it.
async function writeChain(page) {
  const before = (await news(page)).length;
  await page.click('#chain-write');
  await page.waitForFunction((from) => window.fake.news.slice(from)
    .some((message) => /^(Wrote|Nothing was written|No folder)/.test(message)), before);
}

// The last line of a script, without its CR LF.
const lastLine = (bytes) => latin1(bytes).split('\r\n').at(-2);

test('chains of 1, 2 and 12 lines are written into the folder picked, byte for byte the module\'s', async () => {
  const cases = [
    {lines: ['gg wp é'], key: 'F5', options: {utf8: false}, done: 'Wrote 1 script into cfg: chat.cfg.',
     press: 'Each press of F5 then says the line, at most once every 4 seconds.'},
    {lines: ['gg wp', 'Привет, ça va'], key: 'mouse4', options: {lineLen: 20, noName: true, team: true},
     done: 'Wrote 2 scripts into cfg: chat.cfg and chat-2.cfg.',
     press: 'Each press of mouse4 then says the next line, and after chat-2.cfg the first again; at ' +
            'most one every 4 seconds, or the game mutes you.'},
    // Each of these lines is wider than a chat line: five are named, the rest counted.
    {lines: twelve, key: 'KP_5', done: 'Wrote 12 scripts into cfg: chat.cfg to chat-12.cfg.',
     press: 'Each press of KP_5 then says the next line, and after chat-12.cfg the first again; at ' +
            'most one every 4 seconds, or the game mutes you.',
     over: [...[1, 2, 3, 4, 5].map((n) => `Line ${n}, “round ${n}, well played” (chat${n === 1 ? '' : `-${n}`}` +
                                  '.cfg), passes a limit of the game\'s console on its own: rows over 69 ' +
                                  'columns wrap on a 640-pixel screen.'),
            '7 more lines of the chain pass one too.']},
  ];
  for (const {lines, key, options = {}, done, press, over = []} of cases) {
    const context = await browser.newContext();
    await context.grantPermissions(['clipboard-read', 'clipboard-write']);
    const page = await chainPage(lines, {key, context, ...options});
    await writeChain(page);
    const chain = tallsay.chain(encode(lines.join('\n')), {first: 'chat.cfg', key, utf8: true, ...options});
    const shown = await folder(page);
    assert.deepEqual(shown.options, {id: 'tallsay-chain', mode: 'readwrite'});
    assert.deepEqual(Object.keys(shown.files), chain.scripts.map((script) => script.name), key);
    for (const script of chain.scripts) assert.deepEqual(shown.files[script.name], script.bytes, script.name);
    const bind = `bind ${key} "exec chat.cfg"`;
    assert.deepEqual(await status(page), [done, `In the game's console, type this once:${bind}Copy${press}`,
                                          ...over]);
    // The one bind line is the last script's own, shown in the steps and copied.
    assert.equal(lastLine(chain.scripts.at(-1).bytes), bind);
    assert.equal(await page.textContent('#bind-line'), bind);
    for (const button of ['#chain-status button.copy', 'button[data-copy="bind-line"]']) {
      await page.evaluate(() => navigator.clipboard.writeText(''));
      await page.click(button);
      assert.equal(await page.evaluate(() => navigator.clipboard.readText()), bind, button);
    }
    assert.ok(await page.isHidden('#exec-line'));
    // A change to the text makes the status about an older text: it goes.
    await page.fill('#text', `${lines.join('\n')}\nmore`);
    await settled(page);
    assert.ok(await page.isHidden('#chain-status'), key);
  }
});

test('a first script name with a number already: chat-2.cfg, chat-2-2.cfg, chat-2-3.cfg', async () => {
  const lines = ['gg wp', 'nice shot', 'thanks'];
  const page = await chainPage(lines, {name: 'chat-2', key: 'F6'});
  assert.equal(await page.textContent('#bind-line'), 'bind F6 "exec chat-2.cfg"');
  await writeChain(page);
  const {files} = await folder(page);
  assert.deepEqual(Object.keys(files), ['chat-2.cfg', 'chat-2-2.cfg', 'chat-2-3.cfg']);
  assert.deepEqual(Object.values(files).map(lastLine), ['bind F6 "exec chat-2-2.cfg"', 'bind F6 "exec chat-2-3.cfg"',
                                                        'bind F6 "exec chat-2.cfg"']);
  const chain = tallsay.chain(encode(lines.join('\n')), {first: 'chat-2.cfg', key: 'F6'});
  assert.deepEqual(Object.values(files), chain.scripts.map((script) => script.bytes));
});

test('a key the console cannot bind is refused, said, and nothing is written', async () => {
  const page = await chainPage(['gg wp', 'nice shot'], {key: 'F7'});
  const rule = 'A key name is one letter or digit, F1 to F12, or one of the console\'s other key names ' +
    '(SPACE, TAB, MOUSE4, KP_5, ...), without blanks, quotes or ;. The key typed is not taken. Until ' +
    'it is mended, no script is written and the steps below name F7.';
  for (const key of ['F 5', 'F5";quit', 'F13', 'F5;', '"F5"', 'ü', 'kp_6']) {
    await page.fill('#key', key);
    await settled(page);
    assert.equal(await page.textContent('#key-note'), rule, key);
    assert.equal(await page.getAttribute('#key', 'aria-invalid'), 'true', key);
    assert.ok(await page.isDisabled('#chain-write') && await page.isDisabled('#chain-zip'), key);
    assert.equal(await page.textContent('#bind-line'), 'bind F7 "exec chat.cfg"', key);
  }
  assert.deepEqual(await axeFindings(page), []);
  for (const [key, bound] of [['', 'F5'], [' space ', 'space'], ['1', '1']]) {
    await page.fill('#key', key);
    await settled(page);
    assert.ok(await page.isHidden('#key-note'), key);
    assert.equal(await page.textContent('#bind-line'), `bind ${bound} "exec chat.cfg"`, key);
  }
  assert.equal((await folder(page)).picked, 0);
  // A link's key is checked as a typed one; the module would read a NUL as its end.
  const linked = await fakePage();
  await linked.goto(`${fileUrl}#${new URLSearchParams({text: 'gg', make: 'chain', key: 'F5\0";quit'})}`);
  await settled(linked);
  assert.equal(await linked.getAttribute('#key', 'aria-invalid'), 'true');
  assert.equal(await linked.textContent('#bind-line'), 'bind F5 "exec chat.cfg"');
  assert.ok(await linked.isDisabled('#chain-write'));
});

test('a first name too long for the chain\'s last script: said, no folder asked, nothing written', async () => {
  const page = await chainPage(twelve.slice(0, 10), {name: `${'x'.repeat(58)}.cfg`});
  await page.click('#chain-write');
  assert.deepEqual(await status(page), [
    `A script of this chain would have a name over 64 bytes, as the scripts after ${'x'.repeat(58)}.cfg ` +
    'add -2, -3, and so on to its name, up to the number of its lines. Choose a shorter script name. ' +
    'Nothing was written.']);
  assert.equal((await folder(page)).picked, 0);
  // Nine lines fit: the ninth is named x...x-9.cfg, 64 bytes.
  await page.fill('#text', twelve.slice(0, 9).join('\n'));
  await settled(page);
  await writeChain(page);
  assert.ok(Object.keys((await folder(page)).files).includes(`${'x'.repeat(58)}-9.cfg`));
});

test('a write that fails on the fifth of twelve: the four before stay whole, and the status says so', async () => {
  const page = await chainPage(twelve);
  // The folder holds an older chain of the same names.
  const old = Object.fromEntries(tallsay.chain(encode(twelve.map((line) => `old ${line}`).join('\n')))
    .scripts.map((script) => [script.name, [...script.bytes]]));
  await page.evaluate((files) => Object.assign(window.fake.folder, {files, failAt: 5}), old);
  await writeChain(page);
  const chain = tallsay.chain(encode(twelve.join('\n')));
  const shown = await folder(page);
  assert.deepEqual(shown.opened, chain.scripts.slice(0, 5).map((script) => script.name));
  assert.deepEqual(shown.aborted, ['chat-5.cfg']);
  chain.scripts.forEach((script, i) => {
    assert.deepEqual(shown.files[script.name], i < 4 ? script.bytes : Uint8Array.from(old[script.name]), script.name);
  });
  assert.deepEqual(await status(page), [
    'Wrote 4 of 12 scripts into cfg: chat.cfg to chat-4.cfg are written whole.',
    'chat-5.cfg could not be written (the disk is full); the 7 scripts after it were not written. Until ' +
    'they are, a press of F5 after chat-4.cfg runs chat-5.cfg as the folder holds it now: empty, or an ' +
    'older script of that name. Make room on the disk, then press Write the scripts again.']);
  assert.equal(await page.getAttribute('#chain-status', 'class'), 'warning chain-only');
  assert.deepEqual(await axeFindings(page), []);
  // Once the reason is gone, the whole chain is written.
  await page.evaluate(() => { window.fake.folder.failAt = 0; });
  await writeChain(page);
  assert.deepEqual(Object.values((await folder(page)).files), chain.scripts.map((script) => script.bytes));
  assert.equal((await status(page))[0], 'Wrote 12 scripts into cfg: chat.cfg to chat-12.cfg.');
});

test('a folder refused at the first script, a picker closed, and No to replacing files write nothing', async () => {
  const page = await chainPage(['gg', 'wp']);
  await page.evaluate(() => Object.assign(window.fake.folder, {failAt: 1, error: 'NotAllowedError'}));
  await writeChain(page);
  assert.deepEqual(await status(page), [
    'Nothing was written into cfg.',
    'chat.cfg could not be written (the browser did not let this page write into cfg); the 1 script ' +
    'after it was not written. Press Write the scripts again and allow it, or download the zip. A ' +
    'folder under "Program Files" on Windows cannot be written from a page at all: unpack the zip there ' +
    'yourself.']);
  await page.evaluate(() => Object.assign(window.fake.folder, {failAt: 0, cancel: true, files: {}}));
  await writeChain(page);
  assert.match((await status(page))[0], /^No folder was picked, so nothing was written\./);
  assert.deepEqual((await folder(page)).files, {});
  // Files that are not tallsay scripts are named with their sizes, No first;
  // No writes nothing, Yes the whole chain.
  const own = {'chat.cfg': [...encode('bind w "+forward"\r\n')], 'chat-2.cfg': [97]};
  await page.evaluate((files) => Object.assign(window.fake.folder, {cancel: false, opened: [], files}), own);
  await page.click('#chain-write');
  await page.waitForSelector('#chain-ask-no:focus');
  assert.equal(await page.textContent('#chain-ask-text'), 'cfg holds 2 files of the chain\'s names that are not ' +
    'tallsay scripts, perhaps settings of the game: chat.cfg (19 bytes) and chat-2.cfg (1 byte). The chain ' +
    'replaces all of them. Write the chain all the same?');
  assert.deepEqual(await axeFindings(page), []);
  await page.keyboard.press('Enter');
  await page.waitForFunction(() => /^Nothing was written into/.test(document.getElementById('chain-status').textContent));
  assert.deepEqual(await page.evaluate(() => [window.fake.folder.opened, window.fake.folder.files]), [[], own]);
  await page.click('#chain-write');
  await page.click('#chain-ask-yes');
  await page.waitForFunction(() => /^Wrote/.test(document.getElementById('chain-status').textContent));
  assert.deepEqual(Object.values((await folder(page)).files), tallsay.chain(encode('gg\nwp')).scripts.map((s) => s.bytes));
});

test('without a folder picker, on a phone, the scripts download as a zip that unzips to the module\'s', async (t) => {
  if (spawnSync('sh', ['-c', 'command -v unzip']).status !== 0) return t.skip('no unzip here');
  const lines = ['gg wp', 'W'.repeat(15), 'thanks'];
  const page = await chainPage(lines, {name: 'Round.CFG', noFolder: true, viewport: {width: 320, height: 640}});
  assert.ok(await page.isHidden('#chain-write'));
  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#chain-zip')]);
  assert.equal(download.suggestedFilename(), 'Round.zip');
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tallsay-chain-'));
  const zip = path.join(dir, 'Round.zip');
  await download.saveAs(zip);
  const chain = tallsay.chain(encode(lines.join('\n')), {first: 'Round.CFG', key: 'F5'});
  assert.equal(spawnSync('unzip', ['-tq', zip]).status, 0);
  assert.deepEqual(spawnSync('unzip', ['-Z1', zip]).stdout.toString().trim().split('\n'),
                   ['Round.CFG', 'Round-2.CFG', 'Round-3.CFG']);
  assert.equal(spawnSync('unzip', ['-q', zip, '-d', path.join(dir, 'out')]).status, 0);
  for (const script of chain.scripts) {
    assert.deepEqual(new Uint8Array(fs.readFileSync(path.join(dir, 'out', script.name))), script.bytes);
  }
  fs.rmSync(dir, {recursive: true});
  // The line over the width of a chat line is named, by its place in the text.
  assert.deepEqual(await status(page), [
    'Downloaded Round.zip with 3 scripts: Round.CFG, Round-2.CFG and Round-3.CFG. Unpack them into the ' +
    'game\'s script folder.',
    'In the game\'s console, type this once:bind F5 "exec Round.CFG"CopyEach press of F5 then says the ' +
    'next line, and after Round-3.CFG the first again; at most one every 4 seconds, or the game mutes you.',
    'Line 2, “WWWWWWWWWWWWWWW” (Round-2.CFG), passes a limit of the game\'s console on its own: rows over ' +
    '69 columns wrap on a 640-pixel screen.']);
  assert.equal(await page.evaluate(() => document.documentElement.scrollWidth), 320);
  assert.deepEqual(await axeFindings(page), []);
});

test('the choice and the key are kept and linked; one script with every line is as it was', async () => {
  const page = await chainPage(['gg wp', 'nice shot'], {key: 'F8'});
  assert.ok(await page.isHidden('#download'));
  await page.waitForFunction(() => document.getElementById('link').href.includes('key=F8'));
  const link = await page.$eval('#link', (a) => a.href);
  await page.reload();
  await settled(page);
  const elsewhere = await fakePage();
  await elsewhere.goto(link);
  await settled(elsewhere);
  for (const shown of [page, elsewhere]) {
    assert.ok(await shown.isChecked('#make-chain'));
    assert.equal(await shown.inputValue('#key'), 'F8');
    assert.equal(await shown.textContent('#bind-line'), 'bind F8 "exec chat.cfg"');
  }
  assert.match(await elsewhere.textContent('#link-note'), /one banner per key press, the key to F8\.$/);
  await page.check('#make-one');
  await settled(page);
  assert.ok(await page.isHidden('#key') && await page.isHidden('#chain-zip') && await page.isVisible('#download'));
  assert.deepEqual(await texts(page, '#bind-line, #exec-line'), ['bind "F5" "exec chat.cfg"', 'exec chat.cfg']);
  await Promise.all([page.waitForEvent('download'), page.click('#download')]);
  assert.match(await page.textContent('#download-note'),
               /“One banner per key press” above makes a script of each line/);
});
