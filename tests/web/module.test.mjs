// The module against the command-line tool: for the inputs of the reader's
// and the layout's tables and three sets of options, convert() gives the
// script and the console text of a batch run over a file of those bytes,
// and preview() what tallsay-preview shows of that script.
import assert from 'node:assert/strict';
import {spawnSync} from 'node:child_process';
import test from 'node:test';

import createTallsay from '../../build/web/tallsay.mjs';
import {readCases, runTool, toolPath} from './support.mjs';

const tallsay = await createTallsay();
const inputs = [
  ...readCases('reader.cases').map((c) => c[1]),
  ...readCases('layout.cases').map((c) => Uint8Array.from([...c[1], 10])),
];
const optionSets = [{lineLen: 0, noName: false}, {lineLen: 5, noName: true},
                    {lineLen: -3, noName: false}];

test('convert gives the bytes of a batch run', () => {
  for (const [i, input] of inputs.entries()) {
    for (const options of optionSets) {
      const args = ['--in-file={IN}', '--out-file={OUT}', `--line-len=${options.lineLen}`];
      const cli = runTool(options.noName ? [...args, '--no-name'] : args, input);
      const web = tallsay.convert(input, options);
      assert.equal(cli.status, 0);
      assert.deepEqual(web.script, cli.script, `input ${i}, ${JSON.stringify(options)}`);
      assert.equal(web.warnings, cli.stderr, `input ${i}, ${JSON.stringify(options)}`);
    }
  }
});

test('preview shows what tallsay-preview shows', () => {
  const preview = toolPath.replace(/tallsay$/, 'tallsay-preview');
  for (const input of inputs) {
    const {script} = tallsay.convert(input, {lineLen: 5, noName: true});
    const cli = spawnSync(preview, [], {input: script, maxBuffer: 1 << 26});
    assert.equal(tallsay.preview(script), cli.stdout.toString());
  }
});
