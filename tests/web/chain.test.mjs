// One banner per key press on the page, in headless Chromium: the chain's
// scripts written into a fake folder and downloaded as a zip read back by
// unzip, each byte for byte the module's; a key a link brings, a name too
// long, a write that fails on the fifth of twelve, a folder refused, a
// picker closed and files of the player's asked about, with what the status
// and the game steps say; and the page on a phone, which has no picker.
// The keys a player may type are rows of page in web.cases.
import assert from 'node:assert/strict';
import {spawnSync} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import test from 'node:test';
import {pathToFileURL} from 'node:url';

import {axeFindings, copied, download, expectShown, fakePage, fileUrl, follow, open, pageDir, pageWidth, set,
        settingsOf, settled} from './browser.mjs';
import {encode, readCases} from './support.mjs';

const tallsay = await (await import(pathToFileURL(path.join(pageDir, 'tallsay.mjs')))).default();
// The module's scripts of the chain of `lines`, by name, with the page's
// first settings and `options`.
const chainOf = (lines, options = {}) => Object.fromEntries(tallsay.chain(encode(lines.join('\n')),
  {utf8: true, ...options}).scripts.map((script) => [script.name, script.bytes]));
const twelve = Array.from({length: 12}, (_, i) => `round ${i + 1}, well played`);
// What the fake folder holds, by name, and what was picked, opened and aborted in it.
const folder = (page) => page.evaluate(() => window.fake);

// Presses Write the scripts (unless `press` is false) and waits for the
// page to ask about files of the player's or to say what came of it.
async function writeChain(page, press = true) {
  if (press) await page.click('#chain-write');
  await page.waitForFunction(() => {
    const status = document.getElementById('chain-status');
    return !document.getElementById('chain-ask').hidden || (!status.hidden && !/^Writing/.test(status.textContent));
  });
}

test('chains written into the folder picked are the module\'s, and the status says what to bind', async () => {
  for (const [text, settings, first, key, ...status] of readCases('written', true)) {
    const options = settingsOf(settings);
    const page = await open(fileUrl, text, {...options, chain: true});
    await writeChain(page);
    const scripts = chainOf([text], {...options, first, key});
    const shown = await folder(page);
    assert.deepEqual([shown.options, shown.opened, shown.files],
                     [{id: 'tallsay-chain', mode: 'readwrite'}, Object.keys(scripts), scripts]);
    // The one bind line is the last script's own, in the status and the steps, and copied from both.
    const bind = `bind ${key} "exec ${first}"`;
    assert.equal(Buffer.from(Object.values(scripts).at(-1)).toString('latin1').split('\r\n').at(-2), bind);
    await expectShown(page, {'#chain-status p': status, '#bind-line': bind, '#exec-line': []}, key);
    for (const button of ['#chain-status button.copy', 'button[data-copy="bind-line"]']) {
      assert.equal(await copied(page, button), bind, button);
    }
    // A change to the text makes the status about an older text: it goes.
    await page.fill('#text', `${text}\nmore`);
    await settled(page);
    await expectShown(page, {'#chain-status': []}, key);
  }
});

test('a link\'s key is checked as a typed one, though the module would read a NUL as its end', async () => {
  const page = await fakePage();
  await follow(page, `${fileUrl}#${new URLSearchParams({text: 'gg', make: 'chain', key: 'F5\0";quit'})}`);
  await expectShown(page, {'#key[aria-invalid="true"]': '', '#bind-line': 'bind F5 "exec chat.cfg"',
                           '#chain-write:disabled': /^Write/});
  assert.deepEqual(await axeFindings(page), []);
});

test('a name too long, a full disk, a folder refused, a picker closed and files of the player\'s', async () => {
  const page = await open(fileUrl, '', {chain: true});
  const long = `${'x'.repeat(58)}.cfg`;
  const [old, now] = [twelve.map((line) => `old ${line}`), twelve].map((lines) => chainOf(lines));
  const own = {'chat.cfg': encode('bind w "+forward"\r\n'), 'chat-2.cfg': Uint8Array.of(97)};
  // Each step: the lines, the script name, the folder as the step starts,
  // the answer to a question, what the page then shows and the folder holds.
  for (const [lines, name, start, answer, shown, after] of [
    // A name too long for the last script: no folder is asked for.
    [twelve.slice(0, 10), long, {}, null, {'#chain-status p': `A script of this chain would have a name over 64 ` +
      `bytes, as the scripts after ${long} add -2, -3, and so on to its name, up to the number of its lines. ` +
      'Choose a shorter script name. Nothing was written.'}, {picked: 0, files: {}}],
    // Nine lines fit: the ninth is named x...x-9.cfg, 64 bytes.
    [twelve.slice(0, 9), long, {}, null, {}, {files: chainOf(twelve.slice(0, 9), {first: long})}],
    // A full disk at the fifth of twelve, over an older chain: the four
    // before are whole, the rest untouched.
    [twelve, 'chat.cfg', {files: old, failAt: 5}, null, {'#chain-status.warning p': [
      'Wrote 4 of 12 scripts into cfg: chat.cfg to chat-4.cfg are written whole.',
      'chat-5.cfg could not be written (the disk is full); the 7 scripts after it were not written. Until they are, ' +
      'a press of F5 after chat-4.cfg runs chat-5.cfg as the folder holds it now: empty, or an older script of ' +
      'that name. Make room on the disk, then press Write the scripts again.']},
     {opened: Object.keys(now).slice(0, 5), aborted: ['chat-5.cfg'],
      files: {...old, ...Object.fromEntries(Object.entries(now).slice(0, 4))}}],
    // Once the reason is gone, the whole chain is written.
    [twelve, 'chat.cfg', {files: old}, null, {'#chain-status p:first-child': 'Wrote 12 scripts into cfg: chat.cfg ' +
      'to chat-12.cfg.'}, {files: now}],
    [['gg', 'wp'], 'chat.cfg', {failAt: 1, error: 'NotAllowedError'}, null, {'#chain-status p': [
      'Nothing was written into cfg.', 'chat.cfg could not be written (the browser did not let this page write into ' +
      'cfg); the 1 script after it was not written. Press Write the scripts again and allow it, or download the ' +
      'zip. A folder under "Program Files" on Windows cannot be written from a page at all: unpack the zip there ' +
      'yourself.']},
     {aborted: ['chat.cfg'], files: {'chat.cfg': new Uint8Array()}}],
    [['gg', 'wp'], 'chat.cfg', {cancel: true}, null, {'#chain-status p': /^No folder was picked, so nothing/},
     {files: {}}],
    // Files that are not tallsay scripts are named with their sizes, No
    // first; No writes nothing, Yes the whole chain.
    [['gg', 'wp'], 'chat.cfg', {files: own}, 'Enter', {'#chain-status p': /^Nothing was written into cfg: /},
     {opened: [], files: own}],
    [['gg', 'wp'], 'chat.cfg', {files: own}, '#chain-ask-yes', {'#chain-status p:first-child': /^Wrote 2 scripts/},
     {files: chainOf(['gg', 'wp'])}],
  ]) {
    await set(page, lines.join('\n'), {chain: true, name});
    await page.evaluate((folder) => Object.assign(window.fake, {picked: 0, opened: [], aborted: [], files: {},
                                                                failAt: 0, cancel: false}, folder), start);
    await writeChain(page);
    if (answer) {
      await expectShown(page, {'#chain-ask-no:focus': 'No, write nothing', '#chain-ask-text': 'cfg holds 2 files ' +
        'of the chain\'s names that are not tallsay scripts, perhaps settings of the game: chat.cfg (19 bytes) and ' +
        'chat-2.cfg (1 byte). The chain replaces all of them. Write the chain all the same?'});
      assert.deepEqual(await axeFindings(page), []);
      await (answer === 'Enter' ? page.keyboard.press(answer) : page.click(answer));
      await writeChain(page, false);
    }
    await expectShown(page, shown, name);
    const held = await folder(page);
    assert.deepEqual(Object.fromEntries(Object.keys(after).map((key) => [key, held[key]])), after, name);
    if (start.failAt === 5) assert.deepEqual(await axeFindings(page), []);
  }
});

test('on a phone with no picker: one column, no Live file, and the chain as a zip of the module\'s', async (t) => {
  if (spawnSync('sh', ['-c', 'command -v unzip']).status !== 0) return t.skip('no unzip here');
  const lines = ['gg wp', 'W'.repeat(15), 'thanks'];
  const page = await open(fileUrl, lines.join('\n'), {name: 'Round.CFG', viewport: {width: 320, height: 640},
    init: () => { delete window.showDirectoryPicker; delete window.showSaveFilePicker; }});
  await expectShown(page, {'#live-file': [], '#no-live': /^This browser does not let a page rewrite a file/});
  // The width box's hint stays beside it.
  const [box, hint] = await Promise.all(['#line-len', '#line-len-help'].map((id) =>
    page.$eval(id, (e) => e.getBoundingClientRect().toJSON())));
  assert.ok(hint.left >= box.right && hint.top < box.bottom, JSON.stringify({box, hint}));
  assert.equal(await pageWidth(page), 320);
  await page.check('#make-chain');
  await settled(page);
  await expectShown(page, {'#chain-write': []});
  const zip = await download(page, '#chain-zip');
  assert.equal(zip.name, 'Round.zip');
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tallsay-chain-'));
  fs.writeFileSync(path.join(dir, zip.name), zip.bytes);
  const scripts = chainOf(lines, {first: 'Round.CFG'});
  const unzip = (...args) => spawnSync('unzip', [...args], {cwd: dir});
  assert.equal(unzip('-Z1', zip.name).stdout.toString(), `${Object.keys(scripts).join('\n')}\n`);
  assert.equal(unzip('-q', zip.name, '-d', 'out').status, 0);
  for (const [name, bytes] of Object.entries(scripts)) {
    assert.deepEqual(new Uint8Array(fs.readFileSync(path.join(dir, 'out', name))), bytes, name);
  }
  fs.rmSync(dir, {recursive: true});
  // The line over the width of a chat line is named, by its place in the text.
  await expectShown(page, {'#chain-status p': [
    'Downloaded Round.zip with 3 scripts: Round.CFG, Round-2.CFG and Round-3.CFG. Unpack them into the game\'s ' +
    'script folder.', 'In the game\'s console, type this once:bind F5 "exec Round.CFG"CopyEach press of F5 then ' +
    'says the next line, and after Round-3.CFG the first again; at most one every 4 seconds, or the game mutes you.',
    'Line 2, “WWWWWWWWWWWWWWW” (Round-2.CFG), passes a limit of the game\'s console on its own: rows over 69 ' +
    'columns wrap on a 640-pixel screen.']});
  assert.equal(await pageWidth(page), 320);
  assert.deepEqual(await axeFindings(page), []);
  assert.equal(await page.getAttribute('#news', 'aria-live'), 'polite');
});
