// Helpers of the web tests and the page's figures: the built command-line
// tool run on a scratch file, the built preview, and the case table.
import {spawnSync} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

export const root = path.resolve(import.meta.dirname, '../..');
// The command-line tool to compare with; the test preset builds it.
export const toolPath = process.env.TALLSAY || path.join(root, 'build/test/tallsay');

// Runs the tool with `args` ({IN} and {OUT} stand for scratch files, the
// first holding `input`); returns its status, standard error and script.
export function runTool(args, input = new Uint8Array()) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tallsay-web-'));
  const files = {IN: path.join(dir, 'in.txt'), OUT: path.join(dir, 'out.cfg')};
  fs.writeFileSync(files.IN, input);
  const run = spawnSync(toolPath, args.map((a) => a.replace(/\{(IN|OUT)\}/g, (_, f) => files[f])),
                        {input: args.some((a) => a.includes('{IN}')) ? '' : input, maxBuffer: 1 << 26});
  const script = fs.existsSync(files.OUT) ? new Uint8Array(fs.readFileSync(files.OUT)) : null;
  fs.rmSync(dir, {recursive: true});
  return {status: run.status, stderr: run.stderr.toString(), script};
}

// The tool's options for the page's `options` ({lineLen, noName, utf8, team}).
export const toolOptions = ({lineLen = 0, noName, utf8, team}) => [`--line-len=${lineLen}`,
  ...[[noName, '--no-name'], [utf8, '--utf8'], [team, '--team']].filter(([on]) => on).map(([, o]) => o)];

// The script of the tool's batch run (interactive with `batch` false) over
// `text`, bytes or a string taken as UTF-8, with the page's `options`.
export const toolScript = (text, options, batch = true) => runTool(
  [...(batch ? ['--in-file={IN}'] : []), '--out-file={OUT}', ...toolOptions(options)],
  typeof text === 'string' ? encode(text) : text).script;

export const encode = (text) => new TextEncoder().encode(text);

// What tallsay-preview, built beside the tool, shows of `script`.
export function runPreview(script) {
  const preview = toolPath.replace(/tallsay$/, 'tallsay-preview');
  return spawnSync(preview, [], {input: script, maxBuffer: 1 << 26}).stdout.toString();
}

// The cases of `kind` in tests/data/TABLE.cases, each an array of its fields,
// read as the tests' support.cpp reads a table: a case a line, its fields
// apart by tabs, the first its kind; a line "=NAME<tab>text" defines {NAME}
// for the lines after it. In a field, \n \r \t \\ and \xHH stand for their
// bytes, {N*text} for N times the text and a lone - for nothing. A field is
// a string of bytes, one character each, or with `utf8` the text they hold.
export function readCases(kind, utf8 = false, table = 'web') {
  const unescape = (field) => (field === '-' ? '' : field.replace(/\{(\d+)\*([^}]*)\}|\\(x..|.)/g,
    (_, count, unit, c) => (count ? unescape(unit).repeat(count) : c.length === 3
      ? String.fromCharCode(parseInt(c.slice(1), 16)) : {n: '\n', r: '\r', t: '\t'}[c] ?? c)));
  const macros = [];
  const cases = [];
  for (let line of fs.readFileSync(path.join(root, `tests/data/${table}.cases`), 'latin1').split('\n')) {
    for (const [name, text] of macros) line = line.replaceAll(name, text);
    const [first, ...fields] = line.split('\t');
    if (first[0] === '=') macros.push([`{${first.slice(1)}}`, line.slice(first.length + 1)]);
    if (first !== kind) continue;
    cases.push(fields.map(unescape).map((f) => (utf8 ? Buffer.from(f, 'latin1').toString() : f)));
  }
  if (cases.length === 0) throw new Error(`no case of ${kind} in ${table}.cases`);
  return cases;
}
