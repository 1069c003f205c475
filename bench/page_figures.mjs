// The page's figures, measured in headless Chromium, and the README's
// screenshot. Prints: the size of the page; the longest main-thread task
// while typing with 1,000 lines in the box and after pasting 1 MB, in a
// trace; the longest task after the same paste that a PerformanceObserver
// for long tasks sees in the page, in a 1280x800 window; the time of a
// Download of that 1 MB and whether it equals the tool's script; the page's
// width in a 320 px window; and what axe-core finds. For scale, it also
// prints the same figures of a bare text box, whose longest task in the
// trace is the browser's own work of laying out 1 MB of text, and for each
// the longest task that was not mostly layout. The observer seldom counts
// a task in which no script of the page runs, so it is also asked of a
// bare box with an input listener that does nothing.
//
// Usage (after `npm ci` in tests/web and the test and web presets):
//   node bench/page_figures.mjs [--page DIR] [--runs N] [--screenshot FILE]
//                               [--walk DIR] [--limit SECONDS]
// --walk takes the pictures that walk a new player through the page into
// DIR: page-link.png (a link that asks before it replaces the text),
// page-download.png (the notes at Download), page-live.png (the live
// file with lines waiting), and page-chain.png and page-chain-steps.png (a
// chain of three lines written into a folder, and the game steps for it).
// DIR is the built page (build/web by default). Each timing is taken in N
// fresh browsers (3 by default) and printed as its median, then all N
// values; a step that takes longer than the limit (60 s by default) is
// reported as not finished.
import fs from 'node:fs';
import {createRequire} from 'node:module';
import path from 'node:path';
import {parseArgs} from 'node:util';

import {root, runTool} from '../tests/web/support.mjs';

const require = createRequire(path.join(root, 'tests/web/package.json'));
const {chromium} = require('playwright-core');
const axePath = require.resolve('axe-core/axe.min.js');

const {values: flags} = parseArgs({options: {
  page: {type: 'string', default: path.join(root, 'build/web')},
  screenshot: {type: 'string'},
  walk: {type: 'string'},
  limit: {type: 'string', default: '60'},
  runs: {type: 'string', default: '3'},
}});
const pageDir = path.resolve(flags.page);
const limit = Number(flags.limit) * 1000;
const url = 'file://' + path.join(pageDir, 'index.html');

// A deterministic text of at least `bytes` bytes: words and punctuation in
// lines of 20 to 120 bytes, none empty.
function makeText(bytes) {
  const words = ['the', 'game', 'is', 'on', 'well', 'played', 'good', 'luck', 'have', 'fun',
                 'see', 'you', 'next', 'round', 'nice', 'shot', 'Hello', 'World', 'GG', 'Go',
                 'Ready?', '42', '(ok)'];
  const marks = ['', '', '', ',', '.', '!', '?', ':'];
  let state = 20261206;
  const next = () => (state = (state * 1103515245 + 12345) % 2147483648);
  const lines = [];
  for (let total = 0; total < bytes;) {
    const target = 20 + (next() % 101);
    let line = '';
    while (line.length < target) {
      line += (line ? ' ' : '') + words[next() % words.length] + marks[next() % marks.length];
    }
    lines.push(line.slice(0, 120));
    total += lines.at(-1).length + 1;
  }
  return lines.join('\n') + '\n';
}

// Rejects after the limit, so that a page that never finishes is reported.
function withinLimit(promise) {
  let timer;
  return Promise.race([promise, new Promise((_, reject) => {
    timer = setTimeout(() => reject(new Error('limit')), limit);
  })]).finally(() => clearTimeout(timer));
}

// Resolves once the page is ready and has no conversion pending.
async function settled(page) {
  await page.waitForFunction(
    () => document.body.dataset.ready === 'true' && !document.body.dataset.busy, null, {timeout: limit});
  await page.evaluate(() => new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve))));
}

// The longest task that the renderer's main thread ran during `action`,
// the longest call of the page's script (event handlers, timers and
// animation frames) in it, and the longest task that was not mostly the
// layout of the page, in ms: {ms, script, other}.
async function longestTask(browser, page, action) {
  await browser.startTracing(page, {categories: ['toplevel', 'devtools.timeline']});
  await action();
  const trace = JSON.parse(await browser.stopTracing());
  const main = new Set(trace.traceEvents
    .filter((e) => e.ph === 'M' && e.name === 'thread_name' && e.args.name === 'CrRendererMain')
    .map((e) => `${e.pid}:${e.tid}`));
  const events = (name) => trace.traceEvents
    .filter((e) => e.ph === 'X' && main.has(`${e.pid}:${e.tid}`) && name.test(e.name));
  const longest = (name) => Math.max(0, ...events(name).map((e) => e.dur / 1000));
  const layouts = events(/^Layout$/);
  const laidOut = (task) => layouts.filter((e) => e.ts >= task.ts && e.ts + e.dur <= task.ts + task.dur)
    .reduce((sum, e) => sum + e.dur, 0);
  const other = Math.max(0, ...events(/^ThreadControllerImpl::RunTask$/)
    .filter((task) => laidOut(task) < task.dur / 2).map((task) => task.dur / 1000));
  return {ms: longest(/RunTask$/), script: longest(/^FunctionCall$/), other};
}

// A new page of its own context, settled: the page measured, or with
// `html` the page of that markup.
async function newPage(browser, viewport = {width: 1000, height: 800}, html = '') {
  const page = await (await browser.newContext({acceptDownloads: true, viewport})).newPage();
  await (html ? page.setContent(html) : page.goto(url));
  await settled(page);
  return page;
}

// A page that holds nothing but a text box like the page's.
const bareBox = '<body data-ready="true" style="margin: 0 auto; max-width: 60rem; padding: 1rem">' +
  '<textarea id="text" rows="6" spellcheck="false" autocomplete="off" style="display: block; width: 100%; box-sizing: border-box; ' +
  'font: 15px/1.3 ui-monospace, \'DejaVu Sans Mono\', monospace"></textarea>';

// The bare box with an input listener that does nothing.
const bareBoxListening = bareBox.replace('<textarea ', '<textarea oninput=";" ');

// Hands `text` to the page for the next paste, so that carrying it there
// is not measured with the paste.
function preparePaste(page, text) {
  return page.evaluate((value) => { window.pasted = value; }, text);
}

// Puts the text prepared (or `text`) into the box as a paste does: one input
// event for all of it, sent from a task of the page's own, as the browser
// sends it.
async function paste(page, text) {
  if (text !== undefined) await preparePaste(page, text);
  return page.evaluate(() => new Promise((resolve) => {
    const box = document.getElementById('text');
    box.focus();
    box.value = window.pasted;
    setTimeout(() => {
      box.dispatchEvent(new InputEvent('input', {bubbles: true, inputType: 'insertFromPaste'}));
      resolve();
    });
  }));
}

// Puts the text prepared into the box of `page` in one task: the box
// focused, set and sent one input event; resolves to the longest task that
// a PerformanceObserver for long tasks sees over the next 4 s, 0 for none
// (it sees none under 50 ms).
function observedPaste(page) {
  return page.evaluate(() => new Promise((resolve) => {
    let longest = 0;
    new PerformanceObserver((list) => list.getEntries().forEach((task) => {
      longest = Math.max(longest, task.duration);
    })).observe({type: 'longtask'});
    const box = document.getElementById('text');
    box.focus();
    box.value = window.pasted;
    box.dispatchEvent(new InputEvent('input', {bubbles: true, inputType: 'insertFromPaste'}));
    setTimeout(() => resolve(longest), 4000);
  }));
}

// A headless Chromium of Debian's, as the tests start it.
function launch() {
  return chromium.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
}

// Runs `measure` in a browser of its own, so that a page that hangs is
// closed with its browser; returns its result, or throws 'did not finish'.
async function once(measure) {
  const browser = await launch();
  try {
    return await withinLimit(measure(browser));
  } catch (error) {
    if (error.message === 'limit') throw new Error(`did not finish within ${limit / 1000} s`);
    throw error;
  } finally {
    await browser.close().catch(() => {});
  }
}

// The median and all of `times` (ms), as text.
function spread(times) {
  const sorted = times.sort((a, b) => a - b);
  const all = times.length > 1 ? ` (${sorted.map((t) => t.toFixed(0)).join(', ')})` : '';
  return `${sorted[sorted.length >> 1].toFixed(0)} ms${all}`;
}

// Prints what `measure` gives, or why it gave nothing. A measure that
// resolves to {ms, script, note} is run `runs` times and printed as the
// median and all values of `ms` and of `script`, with the first run's note.
async function figure(label, measure, runs = 1) {
  try {
    const results = [];
    for (let i = 0; i < runs; ++i) results.push(await once(measure));
    if (typeof results[0] === 'string') return console.log(`${label}: ${results[0]}`);
    const script = 'script' in results[0]
      ? `; the page's script at most ${spread(results.map((result) => result.script))}` : '';
    const other = 'other' in results[0]
      ? `; tasks that were not mostly layout at most ${spread(results.map((result) => result.other))}` : '';
    console.log(`${label}: ${spread(results.map((result) => result.ms))}${script}${other}` +
                `${results[0].note ?? ''}`);
  } catch (error) {
    console.log(`${label}: ${error.message}`);
  }
}

const runs = Number(flags.runs);
const big = makeText(1000000);

const files = fs.readdirSync(pageDir)
  .map((name) => [name, fs.statSync(path.join(pageDir, name)).size]);
console.log(`page: ${pageDir}`);
console.log(`size: ${files.reduce((sum, [, size]) => sum + size, 0)} bytes in all ` +
            `(${files.map(([name, size]) => `${name} ${size}`).join(', ')})`);

for (const [label, html] of [['', ''], [', a bare text box', bareBox]]) {
  const typing = `longest task while typing 20 keys with 1,000 lines in the box${label}`;
  await figure(typing, async (browser) => {
    const page = await newPage(browser, undefined, html);
    await paste(page, big.split('\n').slice(0, 1000).join('\n') + '\n');
    await settled(page);
    await page.focus('#text');
    await page.evaluate(() => {
      const box = document.getElementById('text');
      box.setSelectionRange(box.value.length / 2, box.value.length / 2);
    });
    return longestTask(browser, page, async () => {
      await page.keyboard.type('well played ggwp! ', {delay: 60});
      await page.keyboard.press('Enter');
      await page.keyboard.type('x', {delay: 60});
      await settled(page);
    });
  }, runs);
}

for (const [label, html] of [['', ''], [', a bare text box', bareBox]]) {
  await figure(`longest task after pasting 1 MB${label}`, async (browser) => {
    const page = await newPage(browser, undefined, html);
    await preparePaste(page, big);
    return longestTask(browser, page, async () => {
      await paste(page);
      await settled(page);
    });
  }, runs);
}

for (const [label, html] of [['', ''], [', a bare text box', bareBox],
                             [', a bare text box with a listener that does nothing', bareBoxListening]]) {
  await figure(`longest task a PerformanceObserver sees after pasting 1 MB at 1280x800${label}`, async (browser) => {
    const page = await newPage(browser, {width: 1280, height: 800}, html);
    await preparePaste(page, big);
    return {ms: await observedPaste(page)};
  }, runs);
}

await figure('Download of 1 MB', async (browser) => {
  const page = await newPage(browser);
  await paste(page, big);
  await settled(page);
  const start = performance.now();
  const [download] = await Promise.all([page.waitForEvent('download', {timeout: limit}),
                                        page.click('#download')]);
  const took = performance.now() - start;
  const bytes = new Uint8Array(fs.readFileSync(await download.path()));
  const tool = runTool(['--in-file={IN}', '--out-file={OUT}', '--utf8'], new TextEncoder().encode(big));
  const same = Buffer.from(bytes).equals(Buffer.from(tool.script));
  return {ms: took, note: `; ${bytes.length} bytes, ${same ? 'equal to' : 'NOT equal to'} ` +
                          'the tool\'s script'};
}, runs);

await figure('page width in a 320 px window', async (browser) => {
  const page = await newPage(browser, {width: 320, height: 640});
  await page.fill('#text', 'Hello, world!\ngg wp\nWell played, see you next round!');
  await settled(page);
  return `${await page.evaluate(() => document.documentElement.scrollWidth)} px`;
});

await figure('axe-core', async (browser) => {
  const page = await newPage(browser);
  await page.addScriptTag({path: axePath});
  const violations = await page.evaluate(async () => (await window.axe.run()).violations
    .map((v) => `${v.impact} ${v.id} (${v.nodes.length})`));
  return violations.length ? violations.join('; ') : 'no violations';
});

if (flags.screenshot) {
  await figure('screenshot', async (browser) => {
    const page = await newPage(browser, {width: 1000, height: 900});
    await page.fill('#line-len', '40');
    await page.fill('#text', 'Hello, world!\nCafé Привет');
    await settled(page);
    await page.screenshot({path: flags.screenshot, fullPage: true});
    return flags.screenshot;
  });
}

// The part of `page` that holds `selector`, with a margin, as a picture in
// `file`.
async function picture(page, selector, file) {
  const box = await page.$eval(selector, (e) => {
    const {x, y, width, height} = e.getBoundingClientRect();  // the clip counts from the page's top
    return {x: x + scrollX, y: y + scrollY, width, height};
  });
  await page.screenshot({path: file, fullPage: true, clip: {x: Math.max(0, box.x - 12), y: Math.max(0, box.y - 8),
                                            width: box.width + 24, height: box.height + 16}});
  return file;
}

if (flags.walk) {
  const dir = path.resolve(flags.walk);
  const viewport = {width: 720, height: 900};
  await figure('a link that asks', async (browser) => {
    const context = await browser.newContext({viewport});
    const page = await context.newPage();
    await page.goto(url);
    await settled(page);
    await page.fill('#text', 'gg wp\nsee you next round');
    await page.waitForTimeout(400);
    await page.goto(`${url}#${new URLSearchParams({text: 'Happy birthday, Sam!', 'line-len': '60'})}`);
    await page.waitForSelector('#offer', {state: 'visible'});
    await page.evaluate(() => { document.getElementById('link-note').hidden = true; });
    const [top, bottom] = await Promise.all(['#offer', '#text'].map((id) =>
      page.$eval(id, (e) => e.getBoundingClientRect().toJSON())));
    const file = path.join(dir, 'page-link.png');
    await page.screenshot({path: file, clip: {x: 0, y: top.y - 8, width: viewport.width,
                                              height: bottom.bottom - top.y + 16}});
    return file;
  });
  await figure('the notes at Download', async (browser) => {
    const page = await (await browser.newContext({viewport, acceptDownloads: true})).newPage();
    await page.goto(url);
    await settled(page);
    await page.fill('#text', 'Hello, world!\ngg wp');
    await settled(page);
    await Promise.all([page.waitForEvent('download'), page.click('#download')]);
    return picture(page, 'main > section:first-of-type', path.join(dir, 'page-download.png'));
  });
  await figure('the live file with lines waiting', async (browser) => {
    const page = await (await browser.newContext({viewport})).newPage();
    await page.addInitScript(() => {
      window.showSaveFilePicker = async () => ({name: 'chat.cfg', createWritable: async () => {
        throw new DOMException('Refused', 'NotAllowedError');
      }});
    });
    await page.goto(url);
    await settled(page);
    for (const line of ['gg', 'nice shot', 'one more round?']) {
      if (line === 'gg') await page.click('#live-file');
      await page.fill('#live-line', line);
      await page.press('#live-line', 'Enter');
    }
    await page.waitForSelector('#live-waiting', {state: 'visible'});
    return picture(page, '#live', path.join(dir, 'page-live.png'));
  });
  await figure('a chain of three lines written into a folder', async (browser) => {
    const page = await (await browser.newContext({viewport})).newPage();
    // A folder named cfg that takes every script.
    await page.addInitScript(() => {
      const file = () => ({createWritable: async () => ({write: async () => {}, close: async () => {},
                                                        abort: async () => {}})});
      window.showDirectoryPicker = async () => ({name: 'cfg', getFileHandle: async (name, {create} = {}) => {
        if (!create) throw new DOMException('A requested file could not be found.', 'NotFoundError');
        return file();
      }});
    });
    await page.goto(url);
    await settled(page);
    await page.fill('#text', 'gg wp\nnice shot\nthanks');
    await page.check('#make-chain');
    await settled(page);
    await page.click('#chain-write');
    await page.waitForFunction(() => /^Wrote/.test(document.getElementById('chain-status').textContent));
    await page.evaluate(() => document.activeElement.blur());
    return [await picture(page, 'main > section:first-of-type', path.join(dir, 'page-chain.png')),
            await picture(page, 'section[aria-labelledby="game-title"]', path.join(dir, 'page-chain-steps.png'))]
      .join(', ');
  });
}
