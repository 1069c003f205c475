// The page in headless Chromium, opened from file:// and from a local web
// server: the worked examples and a line over the limit in the preview, the
// download and the live file against the command-line tool's scripts, and
// the time one typed line takes.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import test from 'node:test';
import {chromium} from 'playwright-core';

import {readCases, root, runTool} from './support.mjs';

const pageDir = path.join(root, 'build/web');
const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
         '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
test.after(() => browser.close());

// A page of a fresh context, loaded and ready; `fake` replaces the file
// picker with one whose file keeps what is written to it in window.written.
async function open(url, {fake = false} = {}) {
  const context = await browser.newContext({acceptDownloads: true});
  const page = await context.newPage();
  if (fake) {
    await page.addInitScript(() => {
      window.written = [];
      window.showSaveFilePicker = async () => ({
        name: 'chat.cfg',
        createWritable: async () => ({
          write: async (blob) => window.written.push([...new Uint8Array(await blob.arrayBuffer())]),
          close: async () => {},
        }),
      });
    });
  }
  await page.goto(url);
  await page.waitForSelector('body[data-ready="true"]');
  return page;
}

async function type(page, text, {lineLen = 0, noName = false} = {}) {
  await page.fill('#line-len', String(lineLen));
  await page.setChecked('#no-name', noName);
  await page.fill('#text', text);
}

const fileUrl = 'file://' + path.join(pageDir, 'index.html');

test('the worked examples and a line over the limit', async () => {
  const page = await open(fileUrl);
  await type(page, 'Hi\nA b\nHi there', {lineLen: 10});
  const blocks = await page.$$eval('.block', (all) => all.map((block) => ({
    drawing: block.querySelector('pre').textContent,
    caption: block.querySelector('.caption').textContent,
    warning: block.querySelector('.warning')?.textContent ?? '',
  })));
  assert.equal(blocks.length, 3);
  assert.equal(blocks[0].drawing, '█   █  ▀ \n█▄▄▄█ ▀█ \n█   █  █ \n▀   ▀ ▀▀▀');
  assert.equal(blocks[0].caption, '"Hi": 9 columns');
  assert.equal(blocks[1].drawing, '▄▀▀▀▄    █    \n█   █    █▄▀▀▄\n█▀▀▀█    █   █\n▀   ▀    ▀▀▀▀ ');
  assert.equal(blocks[1].caption, '"A b": 14 columns');
  assert.deepEqual([blocks[0].warning, blocks[1].warning],
                   ['', 'Warning: Line longer as specified: 14 > 10']);
  const cli = runTool(['--in-file={IN}', '--out-file={OUT}', '--line-len=10'],
                      new TextEncoder().encode('Hi\nA b\nHi there'));
  assert.equal(blocks.map((b) => b.warning).filter(Boolean).join('\n') + '\n', cli.stderr);
});

test('the download is the batch run\'s script', async () => {
  const page = await open(fileUrl);
  const text = 'Hello, world!\ngg wp\tx \u00e9\u263a\n\nnot converted';
  await type(page, text, {lineLen: 20, noName: true});
  await page.fill('#name', 'hello.cfg');
  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#download')]);
  assert.equal(download.suggestedFilename(), 'hello.cfg');
  const bytes = new Uint8Array(fs.readFileSync(await download.path()));
  const cli = runTool(['--in-file={IN}', '--out-file={OUT}', '--line-len=20', '--no-name'],
                      new TextEncoder().encode(text));
  assert.deepEqual(bytes, cli.script);
});

test('the live file holds the interactive run\'s script of each line', async () => {
  const page = await open(fileUrl, {fake: true});
  assert.ok(await page.isVisible('#live-file'));
  await page.click('#live-file');
  for (const line of ['Hi', 'A b']) {
    await page.fill('#live-line', line);
    await page.press('#live-line', 'Enter');
    await page.waitForFunction((n) => window.written.length === n, line === 'Hi' ? 1 : 2);
  }
  const written = await page.evaluate(() => window.written);
  const cli = runTool(['--out-file={OUT}'], new TextEncoder().encode('Hi\nA b\n'));
  assert.deepEqual(Uint8Array.from(written[1]), cli.script);
});

test('served over http, with one typed line converted and shown within a millisecond', async () => {
  const server = http.createServer((request, response) => {
    const file = path.join(pageDir, path.normalize(request.url === '/' ? 'index.html' : request.url));
    const type = {'.html': 'text/html', '.js': 'text/javascript', '.mjs': 'text/javascript',
                  '.css': 'text/css'}[path.extname(file)];
    fs.readFile(file, (error, data) => {
      response.writeHead(error ? 404 : 200, {'Content-Type': type ?? 'text/plain'});
      response.end(error ? '' : data);
    });
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const page = await open(`http://127.0.0.1:${server.address().port}/`);
  await type(page, 'Well played, see you next round!');
  const [convert, perLine] = await page.evaluate(() => {
    const line = new TextEncoder().encode('Well played, see you next round!');
    const time = (run) => {
      const start = performance.now();
      for (let i = 0; i < 200; ++i) run();
      return (performance.now() - start) / 200;
    };
    return [time(() => tallsay.convert(line, {})), time(update)];
  });
  console.log(`one typed line: converted in ${(convert * 1000).toFixed(0)} us, ` +
              `converted, drawn and shown in ${(perLine * 1000).toFixed(0)} us`);
  assert.ok(convert < 1 && perLine < 1, `${convert} ms, ${perLine} ms`);
  // The module loads as an ES module in the browser too.
  const columns = await page.evaluate(async () => {
    const tallsay = await (await import('./tallsay.mjs')).default();
    return tallsay.preview(tallsay.convert(new TextEncoder().encode('Hi\n')).script);
  });
  assert.equal(columns.split('\n')[0], '█   █  ▀ ');
  await page.setViewportSize({width: 1000, height: 760});
  await type(page, 'Hello, world!\ngg wp', {lineLen: 40});
  await page.screenshot({path: process.env.SCREENSHOT || path.join(root, 'build/page.png')});
  server.close();
});
