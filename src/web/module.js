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

// The flags word of the options noName (--no-name), utf8 (--utf8) and team
// (--team), as the module takes it.
function optionFlags({noName = false, utf8 = false, team = false}) {
  return (noName ? 1 : 0) | (utf8 ? 2 : 0) | (team ? 4 : 0);
}

// The script file and the console text of a batch run over a text file of
// `bytes`, with the options --line-len=<lineLen> and, if set, --no-name
// (noName), --utf8 (utf8) and --team (team).
Module.convert = function (bytes, {lineLen = 0, ...options} = {}) {
  const text = copyIn(bytes);
  const [script, warnings] = withOutputs(2, (scriptOut, warningsOut) =>
    Module._tallsay_convert(text, bytes.length, lineLen | 0, optionFlags(options), scriptOut,
      warningsOut));
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
Module.lines = function (bytes, {startsText = true, lineLen = 0, drawn = 0, ...options} = {}) {
  const text = copyIn(bytes);
  const most = Math.min(drawn, 0xffffffff) >>> 0;
  const [records] = withOutputs(1, (out) => Module._tallsay_lines(
    text, bytes.length, startsText ? 1 : 0, lineLen | 0, optionFlags(options), most, out));
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
    'columnsWithName', 'columnsNoName', 'columnsTeam',
  ].map((name, i) => [name, Module._tallsay_limit(i)]));
};

// The name the console's widths are counted with.
Module.playerName = function () {
  const start = Module._tallsay_player_name();
  let end = start;
  while (Module.HEAPU8[end] !== 0) ++end;
  return utf8.decode(Module.HEAPU8.slice(start, end));
};

// Reads the records the module writes: numbers of four bytes, least
// significant first, and byte strings led by their size.
function recordReader(records) {
  const view = new DataView(records.buffer, records.byteOffset, records.byteLength);
  let at = 0;
  return {
    number: () => (at += 4, view.getUint32(at - 4, true)),
    bytes() { const size = this.number(); return records.subarray((at += size) - size, at); },
  };
}

// The chain of the text `bytes` (read as the batch run reads a text, up to
// its first empty line): one script per line, the first named `first`, each
// binding `key` to the next and the last to the first. {status, scripts}:
// status is 'made', 'name' (first is no script name the console can run),
// 'key' (key names no key) or 'long' (a name would be too long); scripts is
// [{name, bytes, advice}], advice being what the console does with that
// script alone ('' when it passes no limit).
Module.chain = function (bytes, {first = 'chat.cfg', key = 'F5', lineLen = 0, ...options} = {}) {
  // The module reads a name and a key up to a NUL: one that holds a NUL is
  // not the one it would check.
  if (first.includes('\0')) return {status: 'name', scripts: []};
  if (key.includes('\0')) return {status: 'key', scripts: []};
  const text = copyIn(bytes);
  const encoder = new TextEncoder();
  const firstAt = copyIn(encoder.encode(`${first}\0`));
  const keyAt = copyIn(encoder.encode(`${key}\0`));
  const [records] = withOutputs(1, (out) => Module._tallsay_chain(
    text, bytes.length, firstAt, keyAt, lineLen | 0, optionFlags(options), out));
  [text, firstAt, keyAt].forEach((address) => Module._free(address));
  const read = recordReader(records);
  const status = ['made', 'name', 'key', 'long'][read.number()];
  const scripts = Array.from({length: read.number()}, () => ({
    name: utf8.decode(read.bytes()), bytes: read.bytes(), advice: utf8.decode(read.bytes()),
  }));
  return {status, scripts};
};

// Whether `key` names a key the console binds (F5, a letter, SPACE, ...);
// false for a key that holds a NUL, which the module would read only up to.
Module.isKeyName = function (key) {
  if (key.includes('\0')) return false;
  const address = copyIn(new TextEncoder().encode(`${key}\0`));
  const named = Module._tallsay_is_key_name(address) === 1;
  Module._free(address);
  return named;
};

// How the character of code point `code` is drawn, with --utf8 when `utf8`:
// 'glyph' with a glyph of its own (or as a space or control character is),
// 'blank' as blank columns, 'replaced' with the font's glyph of U+FFFD.
Module.drawnAs = function (code, utf8 = false) {
  return ['glyph', 'blank', 'replaced'][Module._tallsay_drawn_as(code, utf8 ? 1 : 0)];
};

// A zip archive (Uint8Array) of `files`, [{name, bytes}], stored, each
// dated `date` in local time; null when they do not fit a zip.
Module.zip = function (files, date = new Date()) {
  const encoder = new TextEncoder();
  const parts = files.flatMap(({name, bytes}) => [encoder.encode(name), bytes]);
  const records = new Uint8Array(4 + parts.reduce((sum, part) => sum + 4 + part.length, 0));
  const view = new DataView(records.buffer);
  view.setUint32(0, files.length, true);
  let at = 4;
  for (const part of parts) {
    view.setUint32(at, part.length, true);
    records.set(part, at + 4);
    at += 4 + part.length;
  }
  const input = copyIn(records);
  const [zip] = withOutputs(1, (out) => Module._tallsay_zip(
    input, records.length, date.getFullYear(), date.getMonth() + 1, date.getDate(),
    date.getHours(), date.getMinutes(), date.getSeconds(), out));
  Module._free(input);
  return zip.length > 0 ? zip : null;
};
