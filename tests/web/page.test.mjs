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

import {root, runTool} from './support.mjs';

const pageDir = path.join(root, 'build/web');
const fileUrl = 'file://' + path.join(pageDir, 'index.html');
const encode = (text) => new TextEncoder().encode(text);
const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
         '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
test.after(() => browser.close());

// A ready page with `text` typed and the options set. Its file picker gives
// a file that keeps what is written to it in window.written.
async function open(url, text, {lineLen = 0, noName = false} = {}) {
  const page = await (await browser.newContext({acceptDownloads: true})).newPage();
  await page.addInitScript(() => {
    window.written = [];
    window.showSaveFilePicker = async () => ({name: 'chat.cfg', createWritable: async () => ({
      write: async (blob) => window.written.push([...new Uint8Array(await blob.arrayBuffer())]),
      close: async () => {},
    })});
  });
  await page.goto(url);
  await page.waitForSelector('body[data-ready="true"]');
  await page.fill('#line-len', String(lineLen));
  await page.setChecked('#no-name', noName);
  await page.fill('#text', text);
  return page;
}

test('the worked examples and a line over the limit', async () => {
  const text = 'Hi\nA b\nHi there';
  const page = await open(fileUrl, text, {lineLen: 10});
  const blocks = await page.$$eval('.block', (all) => all.map((block) => [
    block.querySelector('pre').textContent, block.querySelector('.caption').textContent,
    block.querySelector('.warning')?.textContent ?? '']));
  assert.deepEqual(blocks.slice(0, 2), [
    ['█   █  ▀ \n█▄▄▄█ ▀█ \n█   █  █ \n▀   ▀ ▀▀▀', '"Hi": 9 columns', ''],
    ['▄▀▀▀▄    █    \n█   █    █▄▀▀▄\n█▀▀▀█    █   █\n▀   ▀    ▀▀▀▀ ', '"A b": 14 columns',
     'Warning: Line longer as specified: 14 > 10'],
  ]);
  const cli = runTool(['--in-file={IN}', '--out-file={OUT}', '--line-len=10'], encode(text));
  assert.equal(blocks.map((b) => b[2]).filter(Boolean).join('\n') + '\n', cli.stderr);
});

test('the download is the batch run\'s script', async () => {
  const text = 'Hello, world!\ngg wp\tx \u00e9\u263a\n\nnot converted';
  const page = await open(fileUrl, text, {lineLen: 20, noName: true});
  await page.fill('#name', 'hello.cfg');
  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#download')]);
  assert.equal(download.suggestedFilename(), 'hello.cfg');
  const cli = runTool(['--in-file={IN}', '--out-file={OUT}', '--line-len=20', '--no-name'],
                      encode(text));
  assert.deepEqual(new Uint8Array(fs.readFileSync(await download.path())), cli.script);
});

test('the live file holds the interactive run\'s script of the last line', async () => {
  const page = await open(fileUrl, '');
  await page.click('#live-file');
  for (const [n, line] of ['Hi', 'A b'].entries()) {
    await page.fill('#live-line', line);
    await page.press('#live-line', 'Enter');
    await page.waitForFunction((count) => window.written.length === count, n + 1);
  }
  const cli = runTool(['--out-file={OUT}'], encode('Hi\nA b\n'));
  assert.deepEqual(Uint8Array.from(await page.evaluate(() => window.written[1])), cli.script);
});

test('served over http, one typed line converted and shown within a millisecond', async () => {
  const server = http.createServer((request, response) => {
    const file = path.join(pageDir, request.url === '/' ? 'index.html' : path.normalize(request.url));
    const type = {'.html': 'text/html', '.css': 'text/css'}[path.extname(file)] ?? 'text/javascript';
    const found = fs.existsSync(file);
    response.writeHead(found ? 200 : 404, {'Content-Type': type});
    response.end(found ? fs.readFileSync(file) : '');
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const page = await open(`http://127.0.0.1:${server.address().port}/`,
                          'Well played, see you next round!');
  const [convert, shown] = await page.evaluate(() => {
    const line = new TextEncoder().encode('Well played, see you next round!');
    const time = (run) => {
      const start = performance.now();
      for (let i = 0; i < 200; ++i) run();
      return (performance.now() - start) / 200;
    };
    return [time(() => tallsay.convert(line, {})), time(update)];
  });
  console.log(`one typed line: converted in ${(convert * 1000).toFixed(0)} us, ` +
              `converted, drawn and shown in ${(shown * 1000).toFixed(0)} us`);
  assert.ok(shown < 1, `${shown} ms`);
  // The ES module loads in the browser too.
  const row = await page.evaluate(async () => {
    const module = await (await import('./tallsay.mjs')).default();
    return module.preview(module.convert(new TextEncoder().encode('Hi\n')).script).split('\n')[0];
  });
  assert.equal(row, '█   █  ▀ ');
  await page.setViewportSize({width: 1000, height: 800});
  await page.fill('#line-len', '40');
  await page.fill('#text', 'Hello, world!\ngg wp');
  await page.screenshot({path: process.env.SCREENSHOT || path.join(root, 'build/page.png')});
  server.close();
});
