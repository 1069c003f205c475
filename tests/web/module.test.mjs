// The module against the command-line tool, on the inputs where the glue
// around the shared code could differ: convert() gives the script and the
// console text of a batch run, lines() gives line by line the blocks of
// that script, and preview() and the blocks' pixel columns show what
// tallsay-preview shows.
import assert from 'node:assert/strict';
import test from 'node:test';

import createTallsay from '../../build/web/tallsay.mjs';
import {runPreview, runTool} from './support.mjs';

const tallsay = await createTallsay();
const bytes = (text) => new Uint8Array(Buffer.from(text, 'latin1'));
// The script's first two lines, as the README gives them.
const header = bytes('// TALLSAY 4 line text version 1.0\r\n\r\n');

// The reader takes its input in blocks of 32 KiB and lines in pieces of
// 1024 bytes; `utf16` marks a text that is not lines of UTF-8. `said`, where
// given, is what the blocks say: a byte-order mark at the start of a text
// is not part of its first line, and a UTF-16 text is read as UTF-8.
const inputs = [
  {name: 'empty input', text: ''},
  {name: 'a CR as the last byte of a read, its LF the first of the next',
   text: ('x'.repeat(99) + '\n').repeat(327) + 'y'.repeat(67) + '\r\nafter\n'},
  {name: 'a CR as the last byte of a 1024-byte piece', text: 'z'.repeat(1023) + '\rx tail\n'},
  {name: 'a line over 1024 bytes and one of exactly 1024',
   text: 'ab'.repeat(1000) + '\n' + 'c'.repeat(1024) + '\nafter\n'},
  {name: 'lines over the limit, the last without a line end', text: 'Hello, world!\ngg wp'},
  {name: 'a UTF-8 byte-order mark at the start and one later',
   text: '\xef\xbb\xbfHi\n\xef\xbb\xbfthere\n', said: ['Hi', '\xef\xbb\xbfthere']},
  {name: 'a UTF-16 text with its byte-order mark', text: '\xff\xfeH\0i\0\n\0A\0\n\0', utf16: true,
   said: ['Hi', 'A']},
  {name: 'an empty line (CR LF) ends the run', text: 'Hi\r\n\r\nnot converted\n'},
  {name: 'an end mark and then a line end end the run', text: 'A b\x1a\nnot converted\n'},
];
const optionSets = [{lineLen: 0, noName: false}, {lineLen: 5, noName: true}];

// The tool's batch run over `text` with `options`.
function batchRun(text, {lineLen, noName}) {
  const args = ['--in-file={IN}', '--out-file={OUT}', `--line-len=${lineLen}`];
  return runTool(noName ? [...args, '--no-name'] : args, bytes(text));
}

// The text lines of `text` as the page hands them over: up to and including
// each line feed, and the rest.
const linesOf = (text) => text.match(/[^\n]*\n|[^\n]+$/g) ?? [];

const concat = (parts) => Uint8Array.from(parts.flatMap((part) => [...part]));
const latin1 = (bytes) => Buffer.from(bytes).toString('latin1');

// The pixel columns of a block drawn as tallsay-preview draws its rows.
function draw(columns) {
  const cell = (column, r) => ' ▀▄█'[((column >> (2 * r)) & 1) + 2 * ((column >> (2 * r + 1)) & 1)];
  return [0, 1, 2, 3].map((r) => [...columns].map((column) => cell(column, r)).join('') + '\n')
    .join('') + '\n';
}

for (const {name, text, utf16, said} of inputs) {
  test(name, () => {
    for (const options of optionSets) {
      const cli = batchRun(text, options);
      const about = JSON.stringify(options);
      assert.equal(cli.status, 0);
      const web = tallsay.convert(bytes(text), options);
      assert.deepEqual(web.script, cli.script, `convert, ${about}`);
      assert.equal(web.warnings, cli.stderr, `convert, ${about}`);
      if (said) {
        const comments = [...latin1(web.script).matchAll(/\/\/ (.*)\r\nsay "/g)];
        assert.deepEqual(comments.map((comment) => comment[1]), said);
      }
      if (utf16) continue;
      // Line by line, each read alone, up to the line in which the run ends.
      const blocks = [];
      for (const [i, line] of linesOf(text).entries()) {
        const [read] = tallsay.lines(bytes(line), {...options, startsText: i === 0, drawn: Infinity});
        blocks.push(...read.blocks);
        if (read.ended) break;
      }
      for (const block of blocks) assert.deepEqual(block.script.subarray(0, header.length), header);
      if (said) assert.deepEqual(blocks.map((block) => latin1(block.text)), said);
      assert.deepEqual(concat([header, ...blocks.map((block) => block.script.subarray(header.length))]),
                       cli.script, `lines, ${about}`);
      assert.equal(blocks.map((block) => `${block.warning}\n`).filter((w) => w !== '\n').join(''),
                   cli.stderr, `lines, ${about}`);
      // The same, all lines at once.
      const all = tallsay.lines(bytes(text), options);
      const end = all.findIndex((line) => line.ended);
      assert.deepEqual(all.slice(0, end === -1 ? all.length : end + 1).flatMap((line) => line.blocks)
                         .map((block) => [block.width, block.warning, [...block.text]]),
                       blocks.map((block) => [block.width, block.warning, [...block.text]]));
      // The drawing of the pixel columns is the preview of the script.
      const preview = runPreview(cli.script);
      assert.equal(tallsay.preview(cli.script), preview);
      assert.equal(blocks.map((block) => draw(block.columns)).join(''), preview);
    }
  });
}
