// Helpers of the web tests and the page's figures: the built command-line
// tool run on a scratch file, and the built preview.
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

// What tallsay-preview, built beside the tool, shows of `script`.
export function runPreview(script) {
  const preview = toolPath.replace(/tallsay$/, 'tallsay-preview');
  return spawnSync(preview, [], {input: script, maxBuffer: 1 << 26}).stdout.toString();
}
