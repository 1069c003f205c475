// Helpers of the page's tests: headless Chromium, the built page opened from
// file:// or a local web server, and ways to wait for it and read it back.
import fs from 'node:fs';
import http from 'node:http';
import {createRequire} from 'node:module';
import path from 'node:path';
import test from 'node:test';
import {chromium} from 'playwright-core';

import {root} from './support.mjs';

// The built page; TALLSAY_PAGE names another build of it.
export const pageDir = path.resolve(process.env.TALLSAY_PAGE || path.join(root, 'build/web'));
export const fileUrl = 'file://' + path.join(pageDir, 'index.html');
export const encode = (text) => new TextEncoder().encode(text);

export const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
         '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
test.after(() => browser.close());

// Serves the page's folder on a local port, without the files named in
// `missing`; resolves to the server, whose `url` is its address.
export async function serve(missing = []) {
  const server = http.createServer((request, response) => {
    const file = path.join(pageDir, request.url === '/' ? 'index.html' : path.normalize(request.url));
    const type = {'.html': 'text/html', '.css': 'text/css'}[path.extname(file)] ?? 'text/javascript';
    const found = fs.existsSync(file) && !missing.includes(path.basename(file));
    response.writeHead(found ? 200 : 404, {'Content-Type': type});
    response.end(found ? fs.readFileSync(file) : '');
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  server.url = `http://127.0.0.1:${server.address().port}/`;
  return server;
}

// Resolves once the live region has said `message` (a string, or a
// pattern that it matches).
export const said = (page, message) => page.waitForFunction(([text, pattern]) => {
  const news = document.getElementById('news').textContent;
  return pattern === null ? news === text : new RegExp(pattern).test(news);
}, message instanceof RegExp ? [null, message.source] : [message, null]);

// Everything the live region has said since the page opened, in order.
export const news = (page) => page.evaluate(() => window.fake.news);

// Resolves once the page has converted and shown what it was given.
export const settled = (page) => page.waitForFunction(
  () => document.body.dataset.ready === 'true' && !document.body.dataset.busy);

// A page in `context` (a new one by default) whose file picker gives a fake
// file, steered through window.fake: `name` is the file's name (chat.cfg),
// `cancel` makes the picker fail as when it is closed, `refuse` (an error
// name) makes opening the file for writing fail, `delay` slows each write
// (ms), and `written` gets the bytes of each completed write. Its folder
// picker gives a fake folder, steered through window.fake.folder: `name`
// (cfg), `cancel` as above, `failAt` the number (from 1) of the writable it
// opens whose write fails with the error named `error`; it counts the
// pickers opened in `picked` and keeps what was asked in `options`, the
// names of the writables opened and aborted in `opened` and `aborted`, and
// in `files` the bytes of each file by name: a file is made empty when it
// is asked for and missing, and gets its new bytes only when its writable
// is closed, as a browser puts a written file in place. `news` gets each
// message of the live region. Not yet opened.
export async function fakePage({viewport, context} = {}) {
  const page = await (context ?? await browser.newContext({acceptDownloads: true, viewport})).newPage();
  await page.addInitScript(() => {
    const fake = window.fake = {written: [], delay: 0, refuse: '', cancel: false, name: 'chat.cfg',
                                news: []};
    window.showSaveFilePicker = async () => {
      if (fake.cancel) throw new DOMException('The user aborted a request.', 'AbortError');
      return {name: fake.name, createWritable: async () => {
        if (fake.refuse) throw new DOMException('Refused', fake.refuse);
        let bytes = [];
        return {
          write: async (data) => {
            await new Promise((resolve) => setTimeout(resolve, fake.delay));
            bytes = [...new Uint8Array(await new Blob([data]).arrayBuffer())];
          },
          close: async () => { fake.written.push(bytes); },
          abort: async () => {},
        };
      }};
    };
    const folder = fake.folder = {name: 'cfg', cancel: false, failAt: 0, error: 'QuotaExceededError',
                                  picked: 0, options: null, opened: [], aborted: [], files: {}};
    const file = (name) => ({kind: 'file', name, getFile: async () => new File([Uint8Array.from(folder.files[name])], name),
                             createWritable: async () => {
      folder.opened.push(name);
      const number = folder.opened.length;
      let bytes = [];
      return {
        write: async (data) => {
          if (number === folder.failAt) throw new DOMException('No room left on the device', folder.error);
          bytes = [...new Uint8Array(await new Blob([data]).arrayBuffer())];
        },
        close: async () => { folder.files[name] = bytes; },
        abort: async () => { folder.aborted.push(name); },
      };
    }});
    window.showDirectoryPicker = async (options) => {
      ++folder.picked;
      folder.options = options;
      if (folder.cancel) throw new DOMException('The user aborted a request.', 'AbortError');
      return {kind: 'directory', name: folder.name, getFileHandle: async (name, {create = false} = {}) => {
        if (!(name in folder.files)) {
          if (!create) throw new DOMException('A requested file could not be found.', 'NotFoundError');
          folder.files[name] = [];
        }
        return file(name);
      }};
    };
    addEventListener('DOMContentLoaded', () => {
      const region = document.getElementById('news');
      // On a busy machine the page's first message can come before this.
      if (region.textContent !== '') fake.news.push(region.textContent);
      new MutationObserver(() => {
        if (region.textContent !== '') fake.news.push(region.textContent);
      }).observe(region, {childList: true, characterData: true, subtree: true});
    });
  });
  return page;
}

// A ready page (see fakePage) at `url` with `text` typed and the options set;
// `init`, where given, runs in the page before its own scripts.
export async function open(url, text, {lineLen = 0, noName = false, utf8 = true, team = false, viewport, context,
                                       init} = {}) {
  const page = await fakePage({viewport, context});
  if (init) await page.addInitScript(init);
  await page.goto(url);
  await settled(page);
  await page.fill('#line-len', String(lineLen));
  for (const [id, on] of [['#no-name', noName], ['#utf8', utf8], ['#team', team]]) await page.setChecked(id, on);
  await page.fill('#text', text);
  await settled(page);
  return page;
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

// The values of the boxes of the ids `ids`, a checkbox's whether it is checked.
export const boxes = (page, ids) => page.evaluate((all) => all.map((id) => document.getElementById(id))
  .map((box) => (box.type === 'checkbox' ? box.checked : box.value)), ids);

// The text of every element that `selector` finds.
export const texts = (page, selector) => page.$$eval(selector, (all) => all.map((e) => e.textContent));

// What axe-core finds on `page` as it stands: the ids of its serious and
// critical findings.
export async function axeFindings(page) {
  await page.addScriptTag({path: createRequire(import.meta.url).resolve('axe-core/axe.min.js')});
  return page.evaluate(async () => (await window.axe.run()).violations
    .filter((v) => v.impact === 'serious' || v.impact === 'critical').map((v) => v.id));
}
