// The module's functions for JavaScript, added to the instance that the
// factory makes. Byte strings cross as Uint8Array.

// Copies `bytes` into the module's memory; returns the address, to be freed.
function copyIn(bytes) {
  const address = Module._malloc(Math.max(bytes.length, 1));
  Module.HEAPU8.set(bytes, address);
  return address;
}

// Calls `run` with the addresses of `count` outputs ({bytes, size} in
// memory) and returns their bytes, freeing what the module allocated.
function withOutputs(count, run) {
  const outputs = Module._malloc(8 * count);
  run(...Array.from({length: count}, (_, i) => outputs + 8 * i));
  const results = [];
  for (let i = 0; i < count; ++i) {
    const bytes = Module.HEAPU32[(outputs >> 2) + 2 * i];
    const size = Module.HEAPU32[(outputs >> 2) + 2 * i + 1];
    results.push(Module.HEAPU8.slice(bytes, bytes + size));
    Module._free(bytes);
  }
  Module._free(outputs);
  return results;
}

// The script file and the console text of a batch run over a text file of
// `bytes`, with the options --line-len=<lineLen> and, if noName, --no-name.
Module.convert = function (bytes, {lineLen = 0, noName = false} = {}) {
  const text = copyIn(bytes);
  const [script, warnings] = withOutputs(2, (scriptOut, warningsOut) =>
    Module._tallsay_convert(text, bytes.length, lineLen | 0, noName ? 1 : 0, scriptOut, warningsOut));
  Module._free(text);
  return {script, warnings: new TextDecoder().decode(warnings)};
};

// What tallsay-preview shows of the script `bytes`, as a string.
Module.preview = function (bytes) {
  const script = copyIn(bytes);
  const [shown] = withOutputs(1, (out) => Module._tallsay_preview(script, bytes.length, out));
  Module._free(script);
  return new TextDecoder().decode(shown);
};
