// What the page decides before it shows anything: the script name the
// game's console can run, the width limit the tool can take, a flag carried
// by a link, and counted words. Plain functions of their arguments, loaded
// before the page's other scripts; the page's tests call them in the page.
'use strict';

const kNameMostBytes = 64;
const kDefaultName = 'chat.cfg';
const kNameRule = 'A script name holds only letters, digits, _, - and . (at most ' +
  `${kNameMostBytes}), starts with a letter or digit and ends in .cfg, as chat.cfg does.`;
const kWidthMost = 2 ** 31 - 1;  // the tool keeps its width limit in 32 bits
const kWidthLeast = -(2 ** 31);

// The script name `typed` as the console's `exec` takes it: {name}, with
// .cfg added when it lacks it (chat.cfg for nothing), or {error}, a sentence
// that says what a name may hold. `exec` takes one word and ends a command
// at ; and quotes, and the page's Download keeps only plain file names.
function checkScriptName(typed) {
  const trimmed = typed.trim();
  if (trimmed === '') return {name: kDefaultName};
  const name = /\.cfg$/i.test(trimmed) ? trimmed : `${trimmed}.cfg`;
  if (!/^[A-Za-z0-9][A-Za-z0-9_.-]*\.cfg$/i.test(name) || name.length > kNameMostBytes) {
    return {error: `${kNameRule} The name typed is not taken.`};
  }
  return {name};
}

// The width limit `typed` as the tool takes it: {lineLen}, 0 for nothing, or
// {error} for anything but a whole number that fits the tool's 32 bits,
// where the tool would take another number than the one typed.
function parseWidthLimit(typed) {
  const trimmed = typed.trim();
  if (trimmed === '') return {lineLen: 0};
  const value = Number(trimmed);
  if (!/^[+-]?\d+$/.test(trimmed) || value > kWidthMost || value < kWidthLeast) {
    return {error: `The width limit takes a whole number of columns up to ${kWidthMost} ` +
                   `(0 or less never warns); ${trimmed} is not taken.`};
  }
  return {lineLen: value};
}

// Whether the flag `value` of a link or of storage is on: 1, true, on and
// yes are; anything else, 0 and nothing among them, is off.
function flagOn(value) {
  return ['1', 'true', 'on', 'yes'].includes(String(value).trim().toLowerCase());
}

// `count` and `word`, the word in the plural unless the count is 1:
// "1 column", "1,024 columns".
function counted(count, word) {
  return `${count.toLocaleString('en-US')} ${word}${count === 1 ? '' : 's'}`;
}

// How many of `lines` (the box's lines) after line `end` hold anything, CRs
// aside: the lines a run that ends in line `end` leaves unconverted.
function linesWithText(lines, end) {
  let count = 0;
  for (let i = end + 1; i < lines.length; ++i) count += /[^\r]/.test(lines[i]) ? 1 : 0;
  return count;
}
