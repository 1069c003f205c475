// The module against the command-line tool, on the inputs where the glue
// around the shared code could differ: convert() gives the script and the
// console text of a batch run, lines() gives line by line the blocks of
// that script, preview() and the blocks' pixel columns show what
// tallsay-preview shows, and advice() names, in a player's words, the
// console's limits that tallsay-preview notes for the same script.
import assert from 'node:assert/strict';
import {spawnSync} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import test from 'node:test';

import createTallsay from '../../build/web/tallsay.mjs';
import {runPreview, runTool, toolOptions} from './support.mjs';

const tallsay = await createTallsay();
const bytes = (text) => new Uint8Array(Buffer.from(text, 'latin1'));
// The script's first two lines, as the README gives them.
const header = bytes('// TALLSAY 4 line text version 1.0\r\n\r\n');

// The reader takes its input in blocks of 32 KiB and lines in pieces of
// 1024 bytes; `utf16` marks a text that is not lines of UTF-8. `said`, where
// given, is what the blocks say: a byte-order mark at the start of a text
// is not part of its first line, and a UTF-16 text is read as UTF-8;
// `comments` what the script's comment lines repeat of them, every byte
// outside printable ASCII as '?'. `pieces`, where given, numbers each block
// among the pieces of its line ('' for a block that holds a whole line).
const inputs = [
  {name: 'empty input', text: ''},
  {name: 'a CR as the last byte of a read, its LF the first of the next',
   text: ('x'.repeat(99) + '\n').repeat(327) + 'y'.repeat(67) + '\r\nafter\n'},
  {name: 'a CR as the last byte of a 1024-byte piece', text: 'z'.repeat(1023) + '\rx tail\n'},
  {name: 'a line over 1024 bytes and one of exactly 1024',
   text: 'ab'.repeat(1000) + '\n' + 'c'.repeat(1024) + '\nafter\n', pieces: ['1/2', '2/2', '', '']},
  {name: 'a line of three pieces, the last of them full, and an end mark within a line',
   text: 'd'.repeat(3072) + '\nA\x1ab\n', pieces: ['1/3', '2/3', '3/3', '', '']},
  {name: 'lines over the limit, the last without a line end', text: 'Hello, world!\ngg wp'},
  {name: 'a UTF-8 byte-order mark at the start and one later',
   text: '\xef\xbb\xbfHi\n\xef\xbb\xbfthere\n', said: ['Hi', '\xef\xbb\xbfthere'],
   comments: ['Hi', '???there']},
  {name: 'a UTF-16 text with its byte-order mark', text: '\xff\xfeH\0i\0\n\0A\0\n\0', utf16: true,
   comments: ['Hi', 'A']},
  {name: 'an empty line (CR LF) ends the run', text: 'Hi\r\n\r\nnot converted\n'},
  {name: 'an end mark and then a line end end the run', text: 'A b\x1a\nnot converted\n'},
  {name: 'letters beyond ASCII, one the font lacks, and a character cut by a piece\'s edge',
   text: 'Caf\xc3\xa9 \xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82 \xe4\xb8\xad\n' +
     'x'.repeat(1023) + '\xc3\xa9\n'},
];
const optionSets = [{lineLen: 0}, {lineLen: 5, noName: true}, {lineLen: 40, utf8: true},
                    {lineLen: 3, noName: true, utf8: true, team: true}];

// The tool's batch run over `text` with `options`.
const batchRun = (text, options) =>
  runTool(['--in-file={IN}', '--out-file={OUT}', ...toolOptions(options)], bytes(text));

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

// The drawings of tallsay-preview's output and its notes, apart.
function previewParts(shown) {
  const notes = shown.match(/^note: .*\n/gm) ?? [];
  return {drawings: shown.slice(0, shown.length - notes.join('').length), notes};
}

// What the page tells a player of each limit that a note of tallsay-preview
// names: the pattern of the note, and the advice for the number in it.
const adviceOfNotes = [
  [/the console runs nothing of a script over (\d+) bytes$/,
   (n) => `the game runs nothing of a script over ${n} bytes`],
  [/the console's limit is (\d+) bytes a line$/,
   (n) => `a script line over ${n} bytes overflows the game's console`],
  [/the console takes (\d+) chat lines in 4 seconds/, () => 'bind one banner per key'],
  [/the server takes (\d+) commands of one packet/, () => 'bind one banner per key'],
  [/the console sends at most (\d+) bytes of commands at once/,
   (n) => `the game drops the connection when one key sends over ${n} bytes of chat`],
  [/the console cuts a chat line over (\d+) bytes/,
   (n) => `the game cuts a chat line over ${n} bytes with your name`],
  [/a team chat line on a 640-pixel screen holds (\d+) columns/,
   (n) => `team rows over ${n} columns wrap on a 640-pixel screen`],
  [/^note: .* a chat line on a 640-pixel screen holds (\d+) columns/,
   (n) => `rows over ${n} columns wrap on a 640-pixel screen`],
];

// The advice that matches the notes `notes`, each said once, in order.
function adviceFor(notes) {
  const advice = notes.map((note) => {
    const found = adviceOfNotes.find(([pattern]) => pattern.test(note.trimEnd()));
    assert.ok(found, `a note of no known limit: ${note}`);
    return found[1](note.trimEnd().match(found[0])[1]);
  });
  return [...new Set(advice)].join('; ');
}

// Checks that advice() on `script` names what tallsay-preview notes of it.
function checkAdvice(script, about) {
  const {notes} = previewParts(runPreview(script));
  assert.equal(tallsay.advice(script), adviceFor(notes), about);
}

for (const {name, text, utf16, said, comments, pieces} of inputs) {
  test(name, () => {
    for (const options of optionSets) {
      const cli = batchRun(text, options);
      const about = JSON.stringify(options);
      assert.equal(cli.status, 0);
      const web = tallsay.convert(bytes(text), options);
      assert.deepEqual(web.script, cli.script, `convert, ${about}`);
      assert.equal(web.warnings, cli.stderr, `convert, ${about}`);
      if (comments && !options.utf8) {
        const found = [...latin1(web.script).matchAll(/\/\/ (.*)\r\nsay "/g)];
        assert.deepEqual(found.map((comment) => comment[1]), comments);
      }
      checkAdvice(cli.script, `advice, ${about}`);
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
      if (pieces) {
        assert.deepEqual(blocks.map(({piece}) => (piece ? `${piece.number}/${piece.of}` : '')), pieces);
      }
      assert.deepEqual(concat([header, ...blocks.map((block) => block.script.subarray(header.length))]),
                       cli.script, `lines, ${about}`);
      assert.equal(blocks.map((block) => `${block.warning}\n`).filter((w) => w !== '\n').join(''),
                   cli.stderr, `lines, ${about}`);
      // Each block's script as the interactive run leaves it.
      for (const block of blocks) checkAdvice(block.script, `advice of a block, ${about}`);
      // The same, all lines at once.
      const all = tallsay.lines(bytes(text), options);
      const end = all.findIndex((line) => line.ended);
      assert.deepEqual(all.slice(0, end === -1 ? all.length : end + 1).flatMap((line) => line.blocks)
                         .map((block) => [block.width, block.warning, [...block.text]]),
                       blocks.map((block) => [block.width, block.warning, [...block.text]]));
      // The drawing of the pixel columns is the preview of the script.
      const preview = runPreview(cli.script);
      assert.equal(tallsay.preview(cli.script), preview);
      assert.equal(blocks.map((block) => draw(block.columns)).join(''), previewParts(preview).drawings);
    }
  });
}

// Known answers: the console's limits, the name its widths count with, and
// the advice on the scripts of a one-line, a two-line and a 30-line text, a
// row of 200 W, and a row just over the width with the name and without.
test('the console\'s limits and the advice on known scripts', () => {
  assert.deepEqual(tallsay.limits(), {scriptBytes: 8191, lineBytes: 1019, chatLines: 4, frameCommands: 7,
                                      frameBytes: 1384, chatBytes: 150, columnsWithName: 69,
                                      columnsNoName: 77, columnsTeam: 67});
  assert.equal(tallsay.playerName(), 'Player');
  assert.equal(tallsay.textBytes(), 1024);
  const cases = [
    ['Hello, world!', {}, ''],
    ['Hello, world!\ngg wp', {}, 'bind one banner per key'],
    [Array.from({length: 30}, (_, i) => `Round ${i + 1}: well played!`).join('\n'), {},
     'the game runs nothing of a script over 8191 bytes; bind one banner per key; the game drops the ' +
     'connection when one key sends over 1384 bytes of chat; rows over 69 columns wrap on a 640-pixel ' +
     'screen'],
    ['W'.repeat(200), {}, 'a script line over 1019 bytes overflows the game\'s console; the game drops ' +
     'the connection when one key sends over 1384 bytes of chat; the game cuts a chat line over 150 ' +
     'bytes with your name; rows over 69 columns wrap on a 640-pixel screen'],
    ['W'.repeat(12), {}, 'rows over 69 columns wrap on a 640-pixel screen'],  // 71 columns
    ['W'.repeat(12), {noName: true}, ''],
    ['W'.repeat(13), {noName: true}, ''],  // 77 columns
    ['W'.repeat(14), {noName: true}, 'rows over 77 columns wrap on a 640-pixel screen'],
  ];
  for (const [text, options, advice] of cases) {
    const {script} = tallsay.convert(bytes(text), options);
    assert.equal(tallsay.advice(script), advice, `${text.slice(0, 20)} ${JSON.stringify(options)}`);
    checkAdvice(script, text.slice(0, 20));
  }
  assert.equal(tallsay.advice(new Uint8Array()), '');
});

// A chain is one script per line, each the tool's interactive script for
// that line and the bind of the key to the next script, the last to the
// first; a name or key the console cannot take makes none.
test('a chain is the tool\'s script of each line and the bind of the next', () => {
  for (const text of ['gg\n', 'gg\nwp\n', Array.from({length: 12}, (_, i) => `line ${i};\t\xe9\n`).join('')]) {
    for (const options of optionSets) {
      const chain = tallsay.chain(bytes(text + '\nnot converted\n'), {first: 'chat', key: 'F6', ...options});
      const lines = text.split('\n').slice(0, -1);
      assert.equal(chain.status, 'made');
      assert.deepEqual(chain.scripts.map((s) => s.name),
                       lines.map((_, i) => (i === 0 ? 'chat.cfg' : `chat-${i + 1}.cfg`)));
      chain.scripts.forEach((script, i) => {
        const tool = runTool(['--out-file={OUT}', ...toolOptions(options)], bytes(`${lines[i]}\n`));
        const next = chain.scripts[(i + 1) % lines.length].name;
        assert.equal(latin1(script.bytes), `${latin1(tool.script)}bind F6 "exec ${next}"\r\n`);
        assert.equal(script.advice, '');
      });
    }
  }
  const wide = tallsay.chain(bytes(`gg\n${'W'.repeat(15)}\n`));
  assert.deepEqual(wide.scripts.map((s) => s.advice), ['', 'rows over 69 columns wrap on a 640-pixel screen']);
  assert.deepEqual(tallsay.chain(bytes('\ngg\n')), {status: 'made', scripts: []});
  for (const [options, status] of [[{key: 'F 5'}, 'key'], [{key: 'F5";quit'}, 'key'],
                                   [{first: 'my chat.cfg'}, 'name'], [{first: '../x.cfg'}, 'name'],
                                   [{first: `${'x'.repeat(58)}.cfg`}, 'long'],
                                   // The module reads both up to a NUL: the part after it is never checked.
                                   [{key: 'F5\0";quit'}, 'key'], [{first: 'chat.cfg\0 x'}, 'name']]) {
    assert.deepEqual(tallsay.chain(bytes('a\n'.repeat(10)), options), {status, scripts: []}, status);
  }
  assert.equal(tallsay.isKeyName('mouse4'), true);
  assert.equal(tallsay.isKeyName('F13'), false);
  assert.equal(tallsay.isKeyName('F5\0";quit'), false);
});

// The zip of a chain, as unzip reads it back.
test('the zip of a chain holds every script whole', (t) => {
  if (spawnSync('sh', ['-c', 'command -v unzip']).status !== 0) return t.skip('no unzip here');
  const chain = tallsay.chain(bytes('gg\nwp\nthanks\n'));
  const date = new Date(2026, 11, 7, 18, 30, 58);
  const zip = tallsay.zip(chain.scripts, date);
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tallsay-zip-'));
  fs.writeFileSync(path.join(dir, 'chain.zip'), zip);
  assert.equal(spawnSync('unzip', ['-tq', 'chain.zip'], {cwd: dir}).status, 0);
  assert.match(spawnSync('unzip', ['-Z', '-T', 'chain.zip'], {cwd: dir}).stdout.toString(),
               /20261207\.183058 chat-3\.cfg/);
  assert.equal(spawnSync('unzip', ['-q', 'chain.zip', '-d', 'out'], {cwd: dir}).status, 0);
  for (const script of chain.scripts) {
    assert.deepEqual(new Uint8Array(fs.readFileSync(path.join(dir, 'out', script.name))), script.bytes);
  }
  fs.rmSync(dir, {recursive: true});
  assert.equal(tallsay.zip([]).length, 22);
});
