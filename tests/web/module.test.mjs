// The module against the command-line tool, on the texts of web.cases where
// the glue around the shared code could differ: convert() gives the script
// and the console text of a batch run, lines() gives line by line the
// blocks of that script, preview() and the blocks' pixel columns show what
// tallsay-preview shows, and advice() names, in a player's words, the
// console's limits that tallsay-preview notes for the same script.
import assert from 'node:assert/strict';
import test from 'node:test';

import createTallsay from '../../build/web/tallsay.mjs';
import {readCases, runPreview, runTool, toolOptions, toolScript} from './support.mjs';

const tallsay = await createTallsay();
const bytes = (text) => new Uint8Array(Buffer.from(text, 'latin1'));
const latin1 = (bytes) => Buffer.from(bytes).toString('latin1');
const concat = (parts) => Uint8Array.from(parts.flatMap((part) => [...part]));
// The script's first two lines, as the README gives them.
const header = bytes('// TALLSAY 4 line text version 1.0\r\n\r\n');
const optionSets = [{lineLen: 0}, {lineLen: 5, noName: true}, {lineLen: 40, utf8: true},
                    {lineLen: 3, noName: true, utf8: true, team: true}];

// The pixel columns of a block drawn as tallsay-preview draws its rows.
const draw = (columns) => [0, 1, 2, 3].map((r) => [...columns].map((column) =>
  ' ▀▄█'[((column >> (2 * r)) & 1) + 2 * ((column >> (2 * r + 1)) & 1)]).join('') + '\n').join('') + '\n';

// What tallsay-preview shows of `script`: all of it, its drawings without
// the notes, and the advice that those notes call for, as web.cases words
// each limit, once each and in order.
const adviceOfNotes = readCases('advice').map(([pattern, advice]) => [new RegExp(pattern), advice]);
function preview(script) {
  const shown = runPreview(script);
  const notes = (shown.match(/^note: .*\n/gm) ?? []).map((note) => note.trimEnd());
  const advice = notes.map((note) => {
    const found = adviceOfNotes.find(([pattern]) => pattern.test(note));
    assert.ok(found, `a note of no known limit: ${note}`);
    return found[1].replace('$1', note.match(found[0])[1]);
  });
  return {shown, drawings: shown.replace(/^note: .*\n/gm, ''), advice: [...new Set(advice)].join('; ')};
}

for (const [name, text, pieces, said, comments] of readCases('input')) {
  test(name, () => {
    for (const options of optionSets) {
      const about = JSON.stringify(options);
      const cli = runTool(['--in-file={IN}', '--out-file={OUT}', ...toolOptions(options)], bytes(text));
      const web = tallsay.convert(bytes(text), options);
      assert.deepEqual([cli.status, web.script, web.warnings], [0, cli.script, cli.stderr], `convert, ${about}`);
      if (comments && !options.utf8) {
        assert.deepEqual([...latin1(web.script).matchAll(/\/\/ (.*)\r\nsay "/g)].map((c) => c[1]), comments.split('|'));
      }
      const tool = preview(cli.script);
      assert.deepEqual([tallsay.preview(cli.script), tallsay.advice(cli.script)], [tool.shown, tool.advice], about);
      if (text.startsWith('\xff\xfe')) continue;  // UTF-16: read as the tool reads it, not line by line
      // Line by line, each read alone, up to the line in which the run ends;
      // then all lines at once.
      const blocks = [];
      for (const [i, line] of (text.match(/[^\n]*\n|[^\n]+$/g) ?? []).entries()) {
        const [read] = tallsay.lines(bytes(line), {...options, startsText: i === 0, drawn: Infinity});
        blocks.push(...read.blocks);
        if (read.ended) break;
      }
      const all = tallsay.lines(bytes(text), options);
      const end = all.findIndex((line) => line.ended);
      const shape = (block) => [block.width, block.warning, latin1(block.text)];
      assert.deepEqual(all.slice(0, end === -1 ? all.length : end + 1).flatMap((line) => line.blocks).map(shape),
                       blocks.map(shape));
      for (const block of blocks) assert.deepEqual(block.script.subarray(0, header.length), header);
      if (said) assert.deepEqual(blocks.map((block) => latin1(block.text)), said.split('|'));
      if (pieces) {
        assert.deepEqual(blocks.map(({piece}) => (piece ? `${piece.number}/${piece.of}` : '-')), pieces.split(' '));
      }
      assert.deepEqual(concat([header, ...blocks.map((block) => block.script.subarray(header.length))]),
                       cli.script, `lines, ${about}`);
      assert.equal(blocks.map((block) => block.warning && `${block.warning}\n`).join(''), cli.stderr, about);
      assert.equal(blocks.map((block) => draw(block.columns)).join(''), tool.drawings);
      // Each block's script, as the interactive run leaves it; alike ones once.
      for (const script of new Set(blocks.map((block) => latin1(block.script)))) {
        assert.equal(tallsay.advice(bytes(script)), preview(bytes(script)).advice, `a block, ${about}`);
      }
    }
  });
}

// A chain is one script per line, each the tool's interactive script for
// that line and the bind of the key to the next script, the last to the
// first; a name or key the console cannot take makes none.
test('a chain is the tool\'s script of each line and the bind of the next', () => {
  for (const lines of [['gg'], ['gg', 'wp'], Array.from({length: 12}, (_, i) => `line ${i};\t\xe9`)]) {
    for (const options of optionSets) {
      const text = bytes(`${lines.join('\n')}\n\nnot converted\n`);
      const chain = tallsay.chain(text, {first: 'chat', key: 'F6', ...options});
      assert.equal(chain.status, 'made');
      assert.deepEqual(chain.scripts.map((script) => [script.name, latin1(script.bytes), script.advice]),
                       lines.map((line, i) => [i === 0 ? 'chat.cfg' : `chat-${i + 1}.cfg`,
                                               latin1(toolScript(bytes(`${line}\n`), options, false)) +
                                               `bind F6 "exec chat${i + 1 < lines.length ? `-${i + 2}` : ''}.cfg"\r\n`,
                                               '']));
    }
  }
  assert.deepEqual(tallsay.chain(bytes(`gg\n${'W'.repeat(15)}\n`)).scripts.map((s) => s.advice),
                   ['', 'rows over 69 columns wrap on a 640-pixel screen']);
  assert.deepEqual(tallsay.chain(bytes('\ngg\n')), {status: 'made', scripts: []});
  for (const [first, key, status] of readCases('refused')) {
    assert.deepEqual(tallsay.chain(bytes('a\n'.repeat(10)), {first, key}), {status, scripts: []}, status);
  }
  assert.deepEqual(['mouse4', 'F13', 'F5\0";quit'].map(tallsay.isKeyName), [true, false, false]);
});

// The zip's own bytes are tested by zip_test.cpp and read back by unzip in
// the page's test; here, the date the glue hands over, in the local time
// of the zip's first file record, and a zip of no file.
test('a zip carries the date it is given, and a zip of no file is its end record', () => {
  const date = new Date(2026, 11, 7, 18, 30, 58);
  const zip = new DataView(tallsay.zip([{name: 'chat.cfg', bytes: bytes('gg')}], date).buffer);
  assert.deepEqual([zip.getUint16(10, true), zip.getUint16(12, true)],
                   [18 << 11 | 30 << 5 | 58 >> 1, (2026 - 1980) << 9 | 12 << 5 | 7]);
  assert.equal(tallsay.zip([]).length, 22);
});
