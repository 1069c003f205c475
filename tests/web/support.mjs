// Helpers of the web tests: the case tables of tests/data, and the built
// command-line tool run on a scratch file.
import {spawnSync} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

export const root = path.resolve(import.meta.dirname, '../..');
// The command-line tool to compare with; the test preset builds it.
export const toolPath = process.env.TALLSAY || path.join(root, 'build/test/tallsay');

// A field of a case table as bytes: \n \r \t \\ \xHH, {N*text}, and - for
// none (as tests/support.h describes).
function unescape(field) {
  if (field === '-') return [];
  const bytes = [];
  for (let i = 0; i < field.length; ++i) {
    const repeat = /^\{(\d+)\*([^}]*)\}/.exec(field.slice(i));
    if (repeat) {
      const unit = unescape(repeat[2]);
      for (let n = 0; n < Number(repeat[1]); ++n) bytes.push(...unit);
      i += repeat[0].length - 1;
    } else if (field[i] === '\\' && field[i + 1] === 'x') {
      bytes.push(parseInt(field.slice(i + 2, i + 4), 16));
      i += 3;
    } else if (field[i] === '\\' && i + 1 < field.length) {
      const c = field[++i];
      bytes.push(({n: 10, r: 13, t: 9})[c] ?? c.charCodeAt(0));
    } else {
      bytes.push(...new TextEncoder().encode(field[i]));
    }
  }
  return bytes;
}

// The cases of tests/data/`name`, each an array of fields as Uint8Array.
export function readCases(name) {
  return fs.readFileSync(path.join(root, 'tests/data', name), 'utf8').split('\n')
      .filter((line) => line !== '' && !line.startsWith('#') && !line.startsWith('='))
      .map((line) => line.split('\t').map((field) => Uint8Array.from(unescape(field))));
}

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

// What tallsay-preview, built beside the tool, shows of `script`.
export function runPreview(script) {
  const preview = toolPath.replace(/tallsay$/, 'tallsay-preview');
  return spawnSync(preview, [], {input: script, maxBuffer: 1 << 26}).stdout.toString();
}
