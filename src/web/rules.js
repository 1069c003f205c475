// What the page decides before it shows anything: the script name the
// game's console can run, the key a chain binds, the width limit the tool
// can take, a flag carried by a link, and counted words and names. Plain
// functions of their arguments, loaded before the page's other scripts; the
// page's tests call them in the page.
'use strict';

const kNameMostBytes = 64;
const kDefaultName = 'chat.cfg';
const kNameRule = 'A script name holds only letters, digits, _, - and . (at most ' +
  `${kNameMostBytes}), starts with a letter or digit and ends in .cfg, as chat.cfg does.`;
const kDefaultKey = 'F5';
const kKeyRule = 'A key name is one letter or digit, F1 to F12, or one of the console\'s other ' +
  'key names (SPACE, TAB, MOUSE4, KP_5, ...), without blanks, quotes or ;.';
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

// The key `typed` as a chain binds it: {key}, F5 for nothing, or {error}, a
// sentence that says what a key name may be. `isKeyName` is the module's
// check; a key with a blank or a byte outside printable ASCII never reaches
// it, as the module reads a key only up to a NUL.
function checkKey(typed, isKeyName) {
  const key = typed.trim();
  if (key === '') return {key: kDefaultKey};
  if (/^[\x21-\x7e]+$/.test(key) && isKeyName(key)) return {key};
  return {error: `${kKeyRule} The key typed is not taken.`};
}

// The name of the zip that holds the chain whose first script is `first`
// (a checked name): its name without .cfg, and .zip.
function zipName(first) {
  return `${first.replace(/\.cfg$/i, '')}.zip`;
}

// The script names `names` (one at least) in a few words: up to three, or
// `all` of them ("chat.cfg, chat-2.cfg and chat-3.cfg"); more, the first and
// the last ("chat.cfg to chat-12.cfg").
function namesOf(names, all = false) {
  if (names.length > 3 && !all) return `${names[0]} to ${names[names.length - 1]}`;
  if (names.length === 1) return names[0];
  return `${names.slice(0, -1).join(', ')} and ${names[names.length - 1]}`;
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
