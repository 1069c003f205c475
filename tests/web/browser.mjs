// Helpers of the page's tests: headless Chromium, the built page opened from
// file:// or a local web server with fake pickers, and ways to set it, wait
// for it and read it back.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import {createRequire} from 'node:module';
import path from 'node:path';
import test from 'node:test';
import {chromium} from 'playwright-core';

import {root} from './support.mjs';

// The built page; TALLSAY_PAGE names another build of it.
export const pageDir = path.resolve(process.env.TALLSAY_PAGE || path.join(root, 'build/web'));
export const fileUrl = 'file://' + path.join(pageDir, 'index.html');

export const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
         '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
test.after(() => browser.close());

// Serves the page's folder to `page` at `pageHttp`, without the files
// named in `missing`.
export const pageHttp = 'http://tallsay.test/';
export const serve = (page, missing = []) => page.route(`${pageHttp}**`, (route) => {
  const name = new URL(route.request().url()).pathname.slice(1) || 'index.html';
  return missing.includes(name) ? route.fulfill({status: 404}) : route.fulfill({path: path.join(pageDir, name)});
});

// A browser context that takes downloads and lets pages use the clipboard.
export async function newContext(options = {}) {
  const context = await browser.newContext({acceptDownloads: true, ...options});
  await context.grantPermissions(['clipboard-read', 'clipboard-write']);
  return context;
}

// A page in `context` (a new one by default) whose pickers are fakes,
// steered through window.fake; not yet opened. `init`, where given, runs
// in the page before its own scripts. The folder picker gives a folder
// named `name` (cfg), the file picker its file named `file` (chat.cfg);
// `cancel` makes either fail as when it is closed. A file is made empty
// when it is asked for and missing, and gets its new bytes (in `files`, by
// name, and in the list `written`) only when its writable is closed, as a
// browser puts a written file in place; each write waits `delay` ms, and
// that of the writable numbered `failAt` (from 1, in the order opened)
// fails with the error named `error`. It counts the folder pickers opened
// in `picked`, keeps what was asked in `options`, and the names of the
// writables opened and aborted in `opened` and `aborted`. `news` gets each
// message of the live region.
export async function fakePage({viewport, context, init} = {}) {
  const page = await (context ?? await newContext({viewport})).newPage();
  await page.addInitScript(() => {
    const fake = window.fake = {name: 'cfg', file: 'chat.cfg', cancel: false, delay: 0, failAt: 0,
                                error: 'QuotaExceededError', picked: 0, options: null, opened: [], aborted: [],
                                files: {}, written: [], news: []};
    const closed = () => new DOMException('The user aborted a request.', 'AbortError');
    const file = (name) => ({kind: 'file', name, getFile: async () => new File([fake.files[name]], name),
                             createWritable: async () => {
      const number = fake.opened.push(name);
      let bytes = new Uint8Array();
      return {
        write: async (data) => {
          await new Promise((resolve) => setTimeout(resolve, fake.delay));
          if (number === fake.failAt) throw new DOMException('It could not be written', fake.error);
          bytes = new Uint8Array(await new Blob([data]).arrayBuffer());
        },
        close: async () => { fake.written.push(fake.files[name] = bytes); },
        abort: async () => fake.aborted.push(name),
      };
    }});
    window.showSaveFilePicker = async () => {
      if (fake.cancel) throw closed();
      return file(fake.file);
    };
    window.showDirectoryPicker = async (options) => {
      ++fake.picked;
      fake.options = options;
      if (fake.cancel) throw closed();
      return {kind: 'directory', name: fake.name, getFileHandle: async (name, {create = false} = {}) => {
        if (!(name in fake.files)) {
          if (!create) throw new DOMException('A requested file could not be found.', 'NotFoundError');
          fake.files[name] = new Uint8Array();
        }
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
  });
  if (init) await page.addInitScript(init);
  return page;
}

// Resolves once the page has converted and shown what it was given.
export const settled = (page) => page.waitForFunction(
  () => document.body.dataset.ready === 'true' && !document.body.dataset.busy);

// Opens `url` in `page` and waits for the page to settle, and for a link in
// it to be taken off the address bar.
export async function follow(page, url) {
  await page.goto(url);
  await page.waitForFunction(() => location.hash === '');
  await settled(page);
}

// Sets the boxes of `page` as a player would: the `text`, then `type` typed
// at its end; the width limit (`lineLen`, a number or what is typed), the
// checkboxes, and, where given, the script `name`, the `key` and `chain`,
// one banner per key press. Resolves once the page has taken them.
export async function set(page, text, {lineLen = 0, noName = false, utf8 = true, team = false, name, key, chain,
                                      type} = {}) {
  await page.fill('#line-len', String(lineLen));
  for (const [id, on] of [['#no-name', noName], ['#utf8', utf8], ['#team', team]]) await page.setChecked(id, on);
  if (chain !== undefined) await page.check(chain ? '#make-chain' : '#make-one');
  for (const [id, value] of [['#name', name], ['#key', key], ['#text', text]]) {
    if (value !== undefined) await page.fill(id, value);
  }
  if (type) {
    await page.press('#text', 'End');
    await page.keyboard.type(type);
  }
  await settled(page);
}

// A page of fakePage at `url`, settled, then set with `text` and the options of set().
export async function open(url, text, options = {}) {
  const page = await fakePage(options);
  await follow(page, url);
  await set(page, text, options);
  return page;
}

// The options of set() that `settings` of web.cases names: id=value of the
// page's boxes apart by |. What it leaves out is as at a first run, the
// name and key aside, which stay as they are.
export function settingsOf(settings) {
  const s = Object.fromEntries(settings.split('|').filter(Boolean).map((p) => [p.slice(0, p.indexOf('=')),
                                                                                 p.slice(p.indexOf('=') + 1)]));
  return {lineLen: s['line-len'] ?? 0, noName: s['no-name'] === '1', utf8: s.utf8 !== '0', team: s.team === '1',
          name: s.name, key: s.key, chain: s.make === 'chain'};
}

// What `fields` of web.cases say the page shows, for expectShown: each
// selector (starting with # or .) and the texts after it, a pattern after
// ~, and for TOOL the lines of `tool`.
export function shownOf(fields, tool) {
  const expected = {};
  let selector;
  for (const field of fields) {
    if (/^[#.]/.test(field)) expected[selector = field] = [];
    else if (field === 'TOOL') expected[selector].push(...tool);
    else expected[selector].push(field[0] === '~' ? new RegExp(field.slice(1)) : field);
  }
  return expected;
}

// Resolves once the live region says what the pattern `message` matches.
export const said = (page, message) => page.waitForFunction(
  (source) => new RegExp(source).test(document.getElementById('news').textContent), message.source);

// Everything the live region has said since the page opened, in order.
export const news = (page) => page.evaluate(() => window.fake.news);

// The text of every element that `selector` finds and that shows.
export const texts = (page, selector) => page.$$eval(selector, (all) =>
  all.filter((e) => e.checkVisibility()).map((e) => e.textContent));

// Checks what `page` shows: for each selector of `expected`, the texts of
// the elements it finds that show, each equal to or matching its string or
// pattern of the list (or the one string or pattern) it gives; none for
// an empty list.
export async function expectShown(page, expected, about = '') {
  for (const [selector, want] of Object.entries(expected)) {
    const shown = await texts(page, selector);
    const wants = [want].flat();
    const message = `${selector} ${about}: ${JSON.stringify(shown)}`;
    assert.equal(shown.length, wants.length, message);
    wants.forEach((w, i) => (w instanceof RegExp ? assert.match(shown[i], w, message)
                                                 : assert.equal(shown[i], w, message)));
  }
}

// The values of the boxes of the ids `ids`, a checkbox's whether it is checked.
export const boxes = (page, ids) => page.evaluate((all) => all.map((id) => document.getElementById(id))
  .map((box) => (box.type === 'checkbox' || box.type === 'radio' ? box.checked : box.value)), ids);

// Clicks `selector` and resolves to the name and bytes of the download it starts.
export async function download(page, selector = '#download') {
  const [file] = await Promise.all([page.waitForEvent('download'), page.click(selector)]);
  return {name: file.suggestedFilename(), bytes: new Uint8Array(fs.readFileSync(await file.path())), file};
}

// Clicks the Copy button `selector` and resolves to what it copied.
export async function copied(page, selector) {
  await page.evaluate(() => navigator.clipboard.writeText(''));
  await page.click(selector);
  return page.evaluate(() => navigator.clipboard.readText());
}

// The drawings shown in `selector`, read back from their canvases as rows
// of blanks, upper, lower and full half cells.
export const drawings = (page, selector = '#blocks') => page.$$eval(`${selector} canvas`, (canvases) =>
  canvases.map((canvas) => {
    const {data, width} = canvas.getContext('2d').getImageData(0, 0, canvas.width, 8);
    const lit = (x, y) => (data[4 * (y * width + x) + 3] > 0 ? 1 : 0);
    return [0, 1, 2, 3].map((r) => Array.from({length: width}, (_, x) =>
      ' \u2580\u2584\u2588'[lit(x, 2 * r) + 2 * lit(x, 2 * r + 1)]).join('')).join('\n');
  }));

// How wide `page` is laid out, in CSS pixels.
export const pageWidth = (page) => page.evaluate(() => document.documentElement.scrollWidth);

// What axe-core finds on `page` as it stands: the ids of its serious and
// critical findings.
export async function axeFindings(page) {
  await page.addScriptTag({path: createRequire(import.meta.url).resolve('axe-core/axe.min.js')});
  return page.evaluate(async () => (await window.axe.run()).violations
    .filter((v) => v.impact === 'serious' || v.impact === 'critical').map((v) => v.id));
}
