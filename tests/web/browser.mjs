// The page's tests in headless Chromium: the steps of tests/data/page.cases
// played on the built page, opened from file:// or over http with fake
// pickers, and what it shows, writes and downloads checked against the tool
// and the module.
import assert from 'node:assert/strict';
import {spawnSync} from 'node:child_process';
import fs from 'node:fs';
import {createRequire} from 'node:module';
import os from 'node:os';
import path from 'node:path';
import test from 'node:test';
import {pathToFileURL} from 'node:url';
import {chromium} from 'playwright-core';

import {encode, root, runPreview, runTool, toolOptions, toolScript} from './support.mjs';

// The built page; TALLSAY_PAGE names another build of it.
const pageDir = path.resolve(process.env.TALLSAY_PAGE || path.join(root, 'build/web'));
const fileUrl = 'file://' + path.join(pageDir, 'index.html');
const pageHttp = 'http://tallsay.test/';
const tallsay = await (await import(pathToFileURL(path.join(pageDir, 'tallsay.mjs')))).default();
const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
         '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
test.after(() => browser.close());

// Runs in each page before its own scripts: both pickers behind one fake
// folder, steered through window.fake. The folder picker gives the folder
// `name`, the file picker its file `file`; with `cancel` either fails as
// when it is closed. A file asked for and missing is made empty; a file
// gets its new bytes (in `files`, and in the list `written`) only when its
// writable is closed, as a browser puts a written file in place; each
// write waits `delay` ms, and that of the writable numbered `failAt` (from
// 1, in the order opened) fails with the error named `error`. It counts
// the folder pickers opened in `picked`, keeps what was asked in `options`,
// the names of the writables opened and aborted in `opened` and `aborted`,
// and each message of the live region in `news`.
function fakePickers() {
  const fake = window.fake = {name: 'cfg', file: 'chat.cfg', cancel: 0, delay: 0, failAt: 0,
                              error: 'QuotaExceededError', picked: 0, options: null, opened: [], aborted: [],
                              files: {}, written: [], news: []};
  const closed = () => new DOMException('The user aborted a request.', 'AbortError');
  const file = (name) => ({kind: 'file', name, getFile: async () => new File([fake.files[name]], name),
                           createWritable: async () => {
    const number = fake.opened.push(name);
    let bytes = new Uint8Array();
    return {write: async (data) => {
      await new Promise((resolve) => setTimeout(resolve, fake.delay));
      if (number === fake.failAt) throw new DOMException('It could not be written', fake.error);
      bytes = new Uint8Array(await new Blob([data]).arrayBuffer());
    }, close: async () => { fake.written.push(fake.files[name] = bytes); }, abort: async () => fake.aborted.push(name)};
  }});
  window.showSaveFilePicker = async () => {
    if (fake.cancel) throw closed();
    return file(fake.file);
  };
  window.showDirectoryPicker = async (options) => {
    Object.assign(fake, {picked: fake.picked + 1, options});
    if (fake.cancel) throw closed();
    return {kind: 'directory', name: fake.name, getFileHandle: async (name, {create = false} = {}) => {
      if (!(name in fake.files) && !create) throw new DOMException('No such file.', 'NotFoundError');
      fake.files[name] ??= new Uint8Array();
      return file(name);
    }};
  };
  addEventListener('DOMContentLoaded', () => {
    const region = document.getElementById('news');
    // On a busy machine the page's first message can come before this.
    const heard = () => region.textContent !== '' && fake.news.push(region.textContent);
    heard();
    new MutationObserver(heard).observe(region, {childList: true, characterData: true, subtree: true});
  });
}

// What `init=` of an open step runs in the page after fakePickers.
const inits = {
  nopickers: () => { delete window.showDirectoryPicker; delete window.showSaveFilePicker; },
  nowasm: () => { delete window.WebAssembly; },
  blocked: () => Object.defineProperty(window, 'localStorage',
                                       {get() { throw new DOMException('no', 'SecurityError'); }}),
  full: () => { Storage.prototype.setItem = () => { throw new DOMException('full', 'QuotaExceededError'); }; },
};

// The fields `fields`, each name=value, as [name, value] pairs.
const pairs = (fields) => fields.map((field) => [field.slice(0, field.indexOf('=')),
                                                 field.slice(field.indexOf('=') + 1)]);

// Retries the assertions of `check` until they hold, for up to 5 s.
async function eventually(check) {
  for (const end = Date.now() + 5000; ; await new Promise((resolve) => setTimeout(resolve, 50))) {
    try {
      return await check();
    } catch (error) {
      if (Date.now() > end) throw error;
    }
  }
}

// Resolves once `page` has converted what it was given (or failed to load),
// and a link it opened with is off the address bar.
const settled = (page) => page.waitForFunction(
  () => location.hash === '' && document.body.dataset.ready && !document.body.dataset.busy);

// The text of every element of `page` that `selector` finds and that shows.
const texts = (page, selector) => page.$$eval(selector, (all) =>
  all.filter((e) => e.checkVisibility()).map((e) => e.textContent));

// The values of the boxes `ids` of `page`, a checkbox's or choice's 1 or 0.
const values = (page, ids) => page.evaluate((all) => all.map((id) => document.getElementById(id))
  .map((box) => (box.type === 'checkbox' || box.type === 'radio' ? (box.checked ? '1' : '0') : box.value)), ids);

// The text, the options, the script name and the key that `page` holds.
async function state(page) {
  const [text, lineLen, noName, utf8, team, first, key] =
    await values(page, ['text', 'line-len', 'no-name', 'utf8', 'team', 'name', 'key']);
  return {text, lineLen: Number(lineLen) | 0, noName: noName === '1', utf8: utf8 === '1', team: team === '1',
          first: first.trim() || 'chat.cfg', key: key.trim() || 'F5'};
}

// The module's chain of what `page` holds, as [name, bytes] pairs.
const chainOf = async (page) => {
  const now = await state(page);
  return tallsay.chain(encode(now.text), now).scripts.map((script) => [script.name, script.bytes]);
};

// The files that `parts` names, by name: parts apart by |, each `before`
// (the folder as the last fake step found it), `chain` or `chain:N` (the
// first N scripts of `chain`) or NAME:CONTENT.
const filesOf = (parts, before, chain) => Object.assign({}, ...parts.split('|').filter(Boolean).map((part) => {
  const [name, count] = part.split(':');
  if (part === 'before') return before;
  if (name === 'chain') return Object.fromEntries(chain.slice(0, count && Number(count)));
  return {[name]: encode(part.slice(name.length + 1))};
}));

// The drawings in `selector` of `page`, read back from their canvases as
// tallsay-preview draws rows: blanks, upper, lower and full half cells.
const drawings = (page, selector) => page.$$eval(`${selector} canvas`, (canvases) => canvases.map((canvas) => {
  const {data, width} = canvas.getContext('2d').getImageData(0, 0, canvas.width, 8);
  const lit = (x, y) => (data[4 * (y * width + x) + 3] > 0 ? 1 : 0);
  return [0, 1, 2, 3].map((r) => Array.from({length: width}, (_, x) =>
    ' \u2580\u2584\u2588'[lit(x, 2 * r) + 2 * lit(x, 2 * r + 1)]).join('') + '\n').join('') + '\n';
})).then((all) => all.join(''));

// The drawings tallsay-preview shows of `script`, without its notes.
const previewOf = (script) => runPreview(script).replace(/^note: .*\n/gm, '');

// Pastes `text` into the box of `page` in one task, the box focused, set
// and sent one input event; resolves to the longest task that a
// PerformanceObserver for long tasks sees over 4 s (0 for none). The text
// is handed to the page before, so that carrying it there is not measured.
async function longestTask(page, text) {
  await page.evaluate((value) => { window.pasted = value; }, text);
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

// What each action of a step does with its fields, on the scenario `s`:
// its browser contexts, its page and the link it took from one.
const actions = {
  // A page at URL (file, file#FRAGMENT, http or LINK), with options apart
  // by |: same (in the context of the page before), viewport=WxH, nojs,
  // init=NAME of inits, missing=FILE (not served over http).
  async open(s, [url, options = '']) {
    const o = Object.fromEntries(pairs(options.split('|').filter(Boolean).map((p) => (p.includes('=') ? p : `${p}=`))));
    if (!('same' in o)) {
      const [width, height] = (o.viewport ?? '1280x720').split('x').map(Number);
      s.contexts.push(await browser.newContext({acceptDownloads: true, javaScriptEnabled: !('nojs' in o),
                                                viewport: {width, height}}));
      await s.contexts.at(-1).grantPermissions(['clipboard-read', 'clipboard-write']);
    }
    s.page = await s.contexts.at(-1).newPage();
    await s.page.addInitScript(fakePickers);
    if (o.init) await s.page.addInitScript(inits[o.init]);
    await s.page.route(`${pageHttp}**`, (route) => {
      const name = new URL(route.request().url()).pathname.slice(1) || 'index.html';
      return name === o.missing ? route.fulfill({status: 404}) : route.fulfill({path: path.join(pageDir, name)});
    });
    await s.page.goto(url === 'LINK' ? s.link : url.replace(/^file/, fileUrl).replace(/^http$/, pageHttp));
    if (!('nojs' in o)) await settled(s.page);
  },
  // The same page at file#FRAGMENT.
  follow: async (s, [fragment]) => { await s.page.goto(`${fileUrl}#${fragment}`); await settled(s.page); },
  // The page reloaded, or left to itself for MS milliseconds.
  reload: async (s) => { await s.page.reload(); await settled(s.page); },
  wait: (s, [ms]) => s.page.waitForTimeout(Number(ms)),
  // The text and the settings as a player sets them: id=value of the
  // page's boxes apart by | (a checkbox 1 or 0, make=chain for one banner
  // per key press); the width 0, the checkboxes and the choice as at a
  // first run where they are not named, the name and key as they are;
  // then the fields of shown.
  async set(s, [text, settings, ...shown]) {
    const set = Object.fromEntries(pairs(settings.split('|').filter(Boolean)));
    await s.page.fill('#line-len', set['line-len'] ?? '0');
    for (const id of ['no-name', 'utf8', 'team']) {
      await s.page.setChecked(`#${id}`, (set[id] ?? (id === 'utf8' ? '1' : '0')) === '1');
    }
    await s.page.check(set.make === 'chain' ? '#make-chain' : '#make-one');
    for (const id of ['name', 'key']) if (id in set) await s.page.fill(`#${id}`, set[id]);
    await s.page.fill('#text', text);
    await settled(s.page);
    await actions.shown(s, shown);
  },
  // The box filled with the value, or the element clicked.
  fill: (s, [selector, value]) => s.page.fill(selector, value),
  click: (s, [selector]) => s.page.click(selector),
  // Typed at the end of what the box holds; a line feed is Enter.
  type: async (s, [selector, text]) => { await s.page.focus(selector); await s.page.keyboard.type(text); },
  // A key pressed in the box, or, with `composing`, an Enter that an input
  // method composes; in no box for -.
  press: (s, [selector, key, composing]) => (composing ? s.page.$eval(selector, (box) => box.dispatchEvent(
    new KeyboardEvent('keydown', {key: 'Enter', isComposing: true, bubbles: true})))
    : selector ? s.page.press(selector, key) : s.page.keyboard.press(key)),
  // The caret put at the character AT of the box.
  caret: (s, [selector, at]) => s.page.$eval(selector, (box, to) => box.setSelectionRange(to, to), Number(at)),
  // The fake folder and file set: what it counted starts anew, each
  // name=value given is set, a number as a number and `files` as filesOf
  // reads them, and the files it then holds are kept as `before`.
  fake: (s, fields) => s.page.evaluate((set) => {
    const fake = Object.assign(window.fake, {picked: 0, opened: [], aborted: [], written: [], failAt: 0, cancel: 0},
                               set);
    fake.before = {...fake.files};
  }, Object.fromEntries(pairs(fields).map(([key, value]) =>
    [key, key === 'files' ? filesOf(value) : /^\d+$/.test(value) ? Number(value) : value]))),
  // Checks what the page shows: for each selector (a field that starts
  // with # or .), the texts of the elements it finds that show, each equal
  // to a field after it, or matching its pattern after ~; TOOL stands for
  // the lines of the tool's warnings on the page's text and options.
  async shown(s, fields) {
    const now = fields.includes('TOOL') && await state(s.page);
    const warnings = now && runTool(['--in-file={IN}', '--out-file={OUT}', ...toolOptions(now)], encode(now.text))
      .stderr.split('\n').slice(0, -1);
    const expected = [];
    for (const field of fields) {
      if (/^[#.]/.test(field)) expected.push([field, []]);
      else expected.at(-1)[1].push(...(field === 'TOOL' ? warnings : [field]));
    }
    await eventually(async () => {
      for (const [selector, wants] of expected) {
        const shown = await texts(s.page, selector);
        const message = `${selector}: ${JSON.stringify(shown)}`;
        assert.equal(shown.length, wants.length, message);
        wants.forEach((w, i) => (w[0] === '~' ? assert.match(shown[i], new RegExp(w.slice(1)), message)
                                              : assert.equal(shown[i], w, message)));
      }
    });
  },
  // N of the elements that the selector finds show.
  count: (s, [selector, count]) => eventually(async () =>
    assert.equal((await texts(s.page, selector)).length, Number(count), selector)),
  // The live region has said what the pattern matches exactly once.
  heard: (s, [pattern]) => eventually(async () => assert.equal((await s.page.evaluate(() => window.fake.news))
    .flatMap((message) => message.match(new RegExp(pattern, 'g')) ?? []).length, 1, pattern)),
  // The boxes hold the values of the fields id=value (a checkbox 1 or 0).
  boxes: (s, fields) => eventually(async () => assert.deepEqual(
    await values(s.page, pairs(fields).map(([id]) => id)), pairs(fields).map(([, value]) => value))),
  // The fake folder holds what the fields name=value say: files as
  // filesOf reads them, the writables opened and aborted by the names
  // filesOf gives, and anything else as JSON.
  async folder(s, fields) {
    const chain = await chainOf(s.page);
    await eventually(async () => {
      const fake = await s.page.evaluate(() => window.fake);
      for (const [key, value] of pairs(fields)) {
        if (key === 'files') assert.deepEqual(fake.files, filesOf(value, fake.before, chain));
        else if (key === 'opened' || key === 'aborted') {
          assert.deepEqual(fake[key], Object.keys(filesOf(value, {}, chain)));
        }
        else assert.equal(JSON.stringify(fake[key]), value, key);
      }
    });
  },
  // The fake file was written with the tool's interactive script of each
  // line, with the page's options, one after the other.
  async written(s, lines) {
    const now = await state(s.page);
    const scripts = lines.map((line) => toolScript(`${line}\n`, now, false));
    await eventually(async () => assert.deepEqual(await s.page.evaluate(() => window.fake.written), scripts));
  },
  // The drawings in the selector are what tallsay-preview shows of the
  // tool's script of the page's text, or of the file last written.
  async drawn(s, [selector, of]) {
    const now = await state(s.page);
    const script = of === 'written' ? (await s.page.evaluate(() => window.fake.written)).at(-1)
                                    : toolScript(now.text, now);
    assert.equal(await drawings(s.page, selector), previewOf(script));
  },
  // The button downloads NAME: the tool's script of the page's text and
  // options, or a zip that unzip reads as the module's chain of it; then
  // the fields of shown.
  async download(s, [selector, name, ...shown]) {
    const [file] = await Promise.all([s.page.waitForEvent('download'), s.page.click(selector)]);
    const now = await state(s.page);
    let bytes = new Uint8Array(fs.readFileSync(await file.path()));
    if (name.endsWith('.zip')) {
      const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tallsay-zip-'));
      fs.writeFileSync(path.join(dir, name), bytes);
      const unzip = (...args) => spawnSync('unzip', args, {cwd: dir});
      assert.equal(unzip('-q', name, '-d', 'out').status, 0, 'unzip');
      bytes = unzip('-Z1', name).stdout.toString().split('\n').slice(0, -1)
        .map((entry) => [entry, new Uint8Array(fs.readFileSync(path.join(dir, 'out', entry)))]);
      fs.rmSync(dir, {recursive: true});
    }
    assert.deepEqual([file.suggestedFilename(), bytes],
                     [name, name.endsWith('.zip') ? await chainOf(s.page) : toolScript(now.text, now)]);
    await actions.shown(s, shown);
  },
  // The Copy button copies the text.
  async copied(s, [selector, text]) {
    await s.page.evaluate(() => navigator.clipboard.writeText(''));
    await s.page.click(selector);
    await eventually(async () => assert.equal(await s.page.evaluate(() => navigator.clipboard.readText()), text));
  },
  // The page's link, once it matches the pattern, for `open LINK`.
  link: (s, [pattern]) => eventually(async () => {
    s.link = await s.page.$eval('#link', (a) => a.href);
    assert.match(s.link, new RegExp(pattern));
  }),
  // Closing the page asks first, and is refused.
  async unload(s) {
    const asked = s.page.waitForEvent('dialog', {timeout: 5000});
    await s.page.close({runBeforeUnload: true});
    const dialog = await asked;
    assert.equal(dialog.type(), 'beforeunload');
    await dialog.dismiss();
  },
  // axe-core finds nothing serious or critical on the page as it stands.
  async axe(s) {
    await s.page.addScriptTag({path: createRequire(import.meta.url).resolve('axe-core/axe.min.js')});
    assert.deepEqual(await s.page.evaluate(async () => (await window.axe.run()).violations
      .filter((v) => v.impact === 'serious' || v.impact === 'critical').map((v) => v.id)), []);
  },
  // The page is laid out PX pixels wide.
  width: async (s, [width]) => assert.equal(await s.page.evaluate(() => document.documentElement.scrollWidth),
                                            Number(width)),
  // The first element stays beside the second, to its right.
  async beside(s, selectors) {
    const [first, second] = await Promise.all(selectors.map((selector) =>
      s.page.$eval(selector, (e) => e.getBoundingClientRect().toJSON())));
    assert.ok(first.left >= second.right && first.top < second.bottom, JSON.stringify({first, second}));
  },
  // The page's ES module, imported from where the page is, converts and
  // previews the page's text as the tool and tallsay-preview do.
  async esm(s) {
    const now = await state(s.page);
    assert.equal(await s.page.evaluate(async (options) => {
      const module = await (await import('./tallsay.mjs')).default();
      return module.preview(module.convert(new TextEncoder().encode(options.text), options).script);
    }, now), runPreview(toolScript(now.text, now)));
  },
  // A paste of the text, whose longest task is within 100 ms of a bare
  // box's, on the first of up to three fresh pages 1280 pixels wide: a
  // busy machine can stretch one task of either, while a page that lays
  // out what it draws in the paste's task is over the mark every time.
  // Nothing may wait for the page meanwhile: a wait runs script in its
  // frames. The bare box has a listener that does nothing, as the page's
  // runs in the paste's task: the observer seldom sees a task without one.
  async paste(s, [text]) {
    const bare = await (await browser.newContext({viewport: {width: 1280, height: 720}})).newPage();
    await bare.setContent('<textarea id="text" oninput=";" style="display: block; width: 100%; ' +
                          'font: 15px/1.3 monospace"></textarea>');
    const allowed = await longestTask(bare, text) + 100;
    await bare.context().close();
    let longest = Infinity;
    for (let tries = 0; tries < 3 && longest > allowed; ++tries) {
      await actions.open(s, ['file']);
      longest = Math.min(longest, await longestTask(s.page, text));
    }
    assert.ok(longest <= allowed, `the longest task took ${longest} ms, ${allowed} allowed`);
  },
};

// Plays the steps `steps` of page.cases in turn, each an action and its
// fields, then closes the contexts they opened.
export async function play(steps) {
  const s = {contexts: [], page: null, link: null};
  try {
    for (const [i, [action, ...fields]] of steps.entries()) {
      await actions[action](s, fields).catch((error) => {
        error.message = `step ${i + 1}, ${action} ${JSON.stringify(fields).slice(0, 80)}: ${error.message}`;
        throw error;
      });
    }
  } finally {
    await Promise.all(s.contexts.map((context) => context.close()));
  }
}
