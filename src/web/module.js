// The module's functions for JavaScript, added to the instance that the
// factory makes. Byte strings cross as Uint8Array.

// One decoder for every string handed back: making one costs more than
// decoding a block's few bytes.
const utf8 = new TextDecoder();

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
  return {script, warnings: utf8.decode(warnings)};
};

// The text lines of `bytes` (each up to and including a line feed, and the
// bytes after the last one), each read as the batch run reads it within a
// text (the first as the text's start if startsText): an array with, per
// line, {ended, blocks}. `ended` is true when the run ends in that line (the
// lines after it are not converted); each block is {width, text (bytes),
// warning ('' when none), piece} and, for the first `drawn` blocks of all (a
// count; Infinity for all), also {script, columns}: the script an
// interactive run leaves after that block, and one byte of pixels per
// column (bit p for pixel row p, 0 the top). `piece` is null, or {number,
// of} for a block that is one of the pieces into which the reader cut a line
// over textBytes() bytes.
Module.lines = function (bytes, {startsText = true, lineLen = 0, noName = false, drawn = 0} = {}) {
  const text = copyIn(bytes);
  const most = Math.min(drawn, 0xffffffff) >>> 0;
  const [records] = withOutputs(1, (out) => Module._tallsay_lines(
    text, bytes.length, startsText ? 1 : 0, lineLen | 0, noName ? 1 : 0, most, out));
  Module._free(text);
  const view = new DataView(records.buffer);
  let at = 0;
  const number = () => (at += 4, view.getUint32(at - 4, true));
  const string = () => { const size = number(); return records.subarray((at += size) - size, at); };
  const lines = [];
  let left = most;
  while (at < records.length) {
    const ended = number() === 1;
    const blocks = Array.from({length: number()}, () => {
      const block = {width: number(), text: string(), warning: utf8.decode(string())};
      if (left > 0) {
        --left;
        Object.assign(block, {script: string(), columns: string()});
      }
      return block;
    });
    markPieces(blocks);
    lines.push({ended, blocks});
  }
  return lines;
};

// The most bytes of text one block holds: the reader cuts a longer line into
// pieces of this many bytes, each a block of its own.
Module.textBytes = function () {
  return Module._tallsay_text_bytes();
};

// Numbers the pieces among `blocks`, the blocks of one text line: a block
// that holds textBytes() bytes was cut there, and the block after it goes on
// with the same line. The others get piece null.
function markPieces(blocks) {
  const full = Module.textBytes();
  for (let first = 0; first < blocks.length;) {
    let end = first + 1;
    while (end < blocks.length && blocks[end - 1].text.length === full) ++end;
    for (let i = first; i < end; ++i) {
      blocks[i].piece = end - first > 1 ? {number: i - first + 1, of: end - first} : null;
    }
    first = end;
  }
}

// What tallsay-preview shows of the script `bytes`, as a string.
Module.preview = function (bytes) {
  const script = copyIn(bytes);
  const [shown] = withOutputs(1, (out) => Module._tallsay_preview(script, bytes.length, out));
  Module._free(script);
  return utf8.decode(shown);
};

// What a player should know of the console's limits that the script `bytes`
// passes, as one string of advice apart by '; '; '' when it passes none.
Module.advice = function (bytes) {
  const script = copyIn(bytes);
  const [advice] = withOutputs(1, (out) => Module._tallsay_advice(script, bytes.length, out));
  Module._free(script);
  return utf8.decode(advice);
};

// The console's limits by name, in the order the module numbers them.
Module.limits = function () {
  return Object.fromEntries([
    'scriptBytes', 'lineBytes', 'chatLines', 'frameCommands', 'frameBytes', 'chatBytes',
    'columnsWithName', 'columnsNoName',
  ].map((name, i) => [name, Module._tallsay_limit(i)]));
};

// The name the console's widths are counted with.
Module.playerName = function () {
  const start = Module._tallsay_player_name();
  let end = start;
  while (Module.HEAPU8[end] !== 0) ++end;
  return utf8.decode(Module.HEAPU8.slice(start, end));
};
