// The page: converts the text as it is typed with the tool's own code
// (tallsay.js), draws the lines around the caret as the game will show
// them, downloads the script, rewrites a live file line by line, and keeps
// the text and options in the browser.
'use strict';

const encoder = new TextEncoder();
const decoder = new TextDecoder();
const element = (id) => document.getElementById(id);
const kShownBlocks = 20;    // blocks drawn, or a few more, around the caret
const kSliceMs = 12;        // conversion work done before the browser gets its turn
const kBatchChars = 16384;  // text handed to the converter at once
const kLinkChars = 8192;    // longest text a link carries
const kStoreKey = 'tallsay';

let tallsay = null;

// The box's text as lines (split at line feeds) and what converting each
// gave, {ended, blocks, warned}, or null until it is converted. The first
// `checked` lines are converted and the run ends in none of them.
const text = {value: '', lines: [''], results: [null], checked: 0, lineLen: 0};
let sliceTimer = 0;

// The options as set on the page.
function options() {
  return {lineLen: Number(element('line-len').value) | 0, noName: element('no-name').checked};
}

// The script's name as set on the page, chat.cfg when none is.
function scriptName() {
  return element('name').value.trim() || 'chat.cfg';
}

// `value` as the page shows typed text: each control character (below
// U+0020, and U+007F) as its visible picture, a tab as →.
function visible(value) {
  return value.replace(/[\x00-\x1f\x7f]/g, (c) => {
    if (c === '\t') return '\u2192';
    return String.fromCharCode(c === '\x7f' ? 0x2421 : 0x2400 + c.charCodeAt(0));
  });
}

// Says `message` in the page's one polite live region.
function say(message) {
  const news = element('news');
  news.textContent = '';
  setTimeout(() => { news.textContent = message; }, 50);
}

// A figure of `block` ({width, text, warning, columns}): its drawing, hidden
// from screen readers, under a caption that holds the text as typed, its
// width and the characters that have no glyph; then the tool's warning.
function figureOf(block) {
  const figure = document.createElement('figure');
  figure.className = 'block';
  if (block.width > 0) {
    const canvas = document.createElement('canvas');
    Object.assign(canvas, {width: block.width, height: 8});
    canvas.style.width = `${block.width * 4}px`;
    canvas.setAttribute('aria-hidden', 'true');
    const context = canvas.getContext('2d');
    const image = context.createImageData(block.width, 8);
    block.columns.forEach((column, x) => {
      for (let y = 0; y < 8; ++y) {
        const at = 4 * (y * block.width + x);
        if ((column >> y) & 1) image.data.fill(255, at, at + 4);
      }
    });
    context.putImageData(image, 0, 0);
    figure.append(canvas);
  }
  const said = decoder.decode(block.text);
  const missing = [...new Set(said.match(/[^\x00-\x7e]/gu) ?? [])];
  const caption = document.createElement('figcaption');
  const words = document.createElement('span');
  words.className = 'said';
  words.textContent = visible(said);
  caption.append(words, ` · ${block.width} columns`);
  if (missing.length > 0) caption.append(` · no glyph, left blank: ${visible(missing.join(' '))}`);
  figure.append(caption);
  if (block.warning) {
    const warning = document.createElement('p');
    warning.className = 'warning';
    warning.textContent = block.warning;
    figure.append(warning);
  }
  return figure;
}

// Converts lines `from` to `to` (not included) of the box; returns, per
// line, what tallsay.lines gives, the first `drawn` blocks with their
// drawings and scripts.
function convertLines(from, to, drawn = 0) {
  const last = text.lines.length - 1;
  const joined = text.lines.slice(from, to).join('\n') + (to <= last ? '\n' : '');
  const results = tallsay.lines(encoder.encode(joined), {...options(), startsText: from === 0, drawn});
  while (results.length < to - from) results.push({ended: false, blocks: []});  // the empty last line
  return results;
}

// Takes the box's text `value`: lines that have not changed keep what
// converting them gave, the others are to be converted.
function takeText(value) {
  const lines = value.split('\n');
  const old = text.lines;
  const most = Math.min(lines.length, old.length);
  let head = 0;
  while (head < most && lines[head] === old[head]) ++head;
  // The old last line had no line feed after it; now it has one.
  if (head === old.length && lines.length > old.length) --head;
  let tail = 0;
  while (tail < most - head && lines[lines.length - 1 - tail] === old[old.length - 1 - tail]) ++tail;
  const results = text.results.slice(0, head).concat(new Array(lines.length - head - tail).fill(null),
                                                     text.results.slice(old.length - tail));
  if (head === 0) results[0] = null;  // the first line is read as the start of the text
  Object.assign(text, {value, lines, results, checked: Math.min(text.checked, head)});
}

// Converts the lines not yet converted, from the first, until the run ends
// in one or none is left; `done` is called after. Works in slices of about
// kSliceMs, between which the page stays busy (body[data-busy]).
function convertPending(done) {
  clearTimeout(sliceTimer);
  const start = performance.now();
  const {lines, results} = text;
  while (text.checked < lines.length) {
    if (results[text.checked] === null) {
      let to = text.checked, chars = 0;
      while (to < lines.length && results[to] === null && chars < kBatchChars) {
        chars += lines[to++].length + 1;
      }
      convertLines(text.checked, to).forEach((line, i) => {
        results[text.checked + i] = {ended: line.ended, blocks: line.blocks.length,
                                     warned: line.blocks.filter((block) => block.warning).length};
      });
    }
    if (results[text.checked].ended) break;
    ++text.checked;
    if (performance.now() - start > kSliceMs) {
      document.body.dataset.busy = 'true';
      sliceTimer = setTimeout(convertPending, 0, done);
      return;
    }
  }
  delete document.body.dataset.busy;
  done();
}

// The index of the line that holds the caret of the box.
function caretLine() {
  const caret = element('text').selectionStart;
  let line = 0;
  for (let at = text.value.indexOf('\n'); at !== -1 && at < caret; at = text.value.indexOf('\n', at + 1)) {
    ++line;
  }
  return line;
}

let shownFigures = new Map();  // the figures drawn, by line, first-line flag and options
let lastNews = '';

// Draws the blocks of the converted lines around the caret, kShownBlocks or
// a few more, reusing the figures already drawn; says how many blocks are
// above and below them. `converted` is the number of converted lines and
// `blocks` the number of their blocks.
function drawAroundCaret(converted, blocks) {
  const {lines, results} = text;
  const first = Math.max(0, Math.min(caretLine() - 2, converted - kShownBlocks));
  let last = first;
  for (let count = 0; last < converted && count < kShownBlocks;) count += results[last++].blocks;
  const drawnWith = JSON.stringify(options());
  const key = (i) => `${i === 0}${drawnWith}\n${lines[i]}`;
  const made = new Map();
  for (let i = first; i < last; ++i) {
    if (shownFigures.has(key(i))) continue;
    let to = i + 1;
    while (to < last && !shownFigures.has(key(to))) ++to;
    convertLines(i, to, kShownBlocks).forEach((line, j) => {
      made.set(i + j, line.blocks.filter((block) => block.columns).map(figureOf));
    });
    i = to - 1;
  }
  const figures = new Map();
  const drawn = [];
  for (let i = first; i < last; ++i) {
    const shown = shownFigures.get(key(i)) ?? made.get(i);
    figures.set(key(i), shown);
    drawn.push(...shown);
  }
  shownFigures = figures;
  let above = 0;
  for (let i = 0; i < first; ++i) above += results[i].blocks;
  const below = blocks - above - drawn.length;
  if (drawn.length === 0) {
    const none = document.createElement('p');
    none.className = 'note';
    none.textContent = 'Nothing to show yet: type a line.';
    drawn.push(none);
  }
  showChildren(element('blocks'), drawn);
  const s = (n) => (n === 1 ? '' : 's');
  showNote('above', above === 0 ? '' : `${above} line${s(above)} above ${above === 1 ? 'is' : 'are'} ` +
                                       'not drawn; move the caret to see them.');
  showNote('below', below === 0 ? '' : `and ${below} more line${s(below)} below.`);
}

// Shows the converted text: the drawings around the caret, where the run
// ends, the warnings; and offers the download when there is a block.
// REQUIRES: convertPending has finished.
function render() {
  const {lines, results} = text;
  const end = text.checked < lines.length ? text.checked : -1;  // the line in which the run ends
  const converted = end === -1 ? lines.length : end + 1;
  let blocks = 0, warned = 0;
  for (let i = 0; i < converted; ++i) {
    blocks += results[i].blocks;
    warned += results[i].warned;
  }
  drawAroundCaret(converted, blocks);
  const below = end === -1 ? 0 : lines.length - 1 - end - (lines[lines.length - 1] === '' ? 1 : 0);
  let stop = '';
  if (below > 0) {
    const what = lines[end].replace(/\r/g, '') === '' ? 'the first empty line'
                                                      : `line ${end + 1} (an end mark, 0x1A)`;
    stop = below === 1 ? `${what} ends the text: 1 line below it is not converted`
                       : `${what} ends the text: ${below} lines below it are not converted`;
  }
  showNote('stop-note', stop);
  const lineLen = options().lineLen;
  const warning = warned === 0 ? ''
    : `${warned} line${warned === 1 ? '' : 's'} wider than the limit of ${lineLen} columns.`;
  showNote('warn-note', warning);
  element('download').disabled = blocks === 0;
  showNote('download-note',
           blocks === 0 ? 'Nothing to download yet: the text gives no line to say.' : '');
  const news = [warning, stop].filter(Boolean).join(' ');
  if (news !== lastNews) say(news || 'The text has no warning now.');
  lastNews = news;
  document.body.dataset.ready = 'true';
}

// Shows `message` in the element `id`, or hides the element when it is ''.
// An element that already shows it is left alone, so the page is not
// laid out anew.
function showNote(id, message) {
  if (element(id).textContent === message) return;
  element(id).textContent = message;
  element(id).hidden = message === '';
}

// Makes `nodes` the children of `parent`, moving only those not yet in
// their place.
function showChildren(parent, nodes) {
  nodes.forEach((node, i) => {
    if (parent.children[i] !== node) parent.insertBefore(node, parent.children[i] ?? null);
  });
  while (parent.children.length > nodes.length) parent.lastElementChild.remove();
}

let refreshQueued = false;

// Converts and shows the box's text once the browser is next ready to draw;
// calls within one frame do the work once.
function refresh() {
  if (refreshQueued) return;
  refreshQueued = true;
  document.body.dataset.busy = 'true';
  requestAnimationFrame(() => {
    refreshQueued = false;
    if (options().lineLen !== text.lineLen) {
      text.lineLen = options().lineLen;
      text.results.fill(null);
      text.checked = 0;
    }
    const value = element('text').value;
    if (value !== text.value) takeText(value);
    convertPending(render);
  });
}

// Downloads the script of the whole text: the batch run's bytes.
function download() {
  const {script} = tallsay.convert(encoder.encode(element('text').value), options());
  const link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob([script], {type: 'application/octet-stream'}));
  link.download = scriptName();
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 10000);
}

// The live file: each line entered is converted at once and queued; the
// queue is written one line at a time, in order, each write replacing the
// file with the header and the line's last block, as the interactive run
// does. A failed write stops the queue, keeping its lines, until Retry or a
// new file.
const live = {file: null, queue: [], writing: false, failed: false, sent: 0};

// Shows `message` as the live file's state and says it.
function liveStatus(message) {
  element('live-status').textContent = message;
  say(message);
}

// What to do after `error` when writing `name`, in a player's words.
function advice(error, name) {
  if (error.name === 'NotAllowedError' || error.name === 'SecurityError') {
    return `The browser did not let this page write ${name}. Press Retry and allow it, or pick the ` +
           'file again with Live file. A script under "Program Files" on Windows cannot be written ' +
           'from a page at all: use Download, or the window of the Windows kit (tallsay-window.exe).';
  }
  return `Writing ${name} failed (${error.name}: ${error.message}). Check that the file still ` +
         'exists and the disk has room, then press Retry, or pick the file again with Live file.';
}

// Writes the queued lines, the oldest first, each when the one before is
// written; stops at the first failure, which it says, keeping that line and
// those after it queued. Returns at once when a write is under way, the
// queue is stopped or no file is picked.
async function writeQueue() {
  if (live.writing || live.failed || !live.file) return;
  live.writing = true;
  while (live.queue.length > 0 && !live.failed) {
    const {line, script} = live.queue[0];
    let writable = null;
    try {
      writable = await live.file.createWritable();
      await writable.write(script);
      await writable.close();
      live.queue.shift();
      const waiting = live.queue.length > 0 ? ` (${live.queue.length} more waiting)` : '';
      liveStatus(`${live.file.name} now says: ${visible(line)}${waiting}`);
    } catch (error) {
      if (writable) await writable.abort().catch(() => {});
      live.failed = true;
      element('retry').hidden = false;
      const after = live.queue.length - 1;
      liveStatus(`Not written: ${visible(line)}. ${advice(error, live.file.name)} ` +
                 `The line is kept${after > 0 ? `, with ${after} after it` : ''}.`);
    }
  }
  live.writing = false;
}

// Lets the queue run again after a failure, and runs it.
function resumeQueue() {
  live.failed = false;
  element('retry').hidden = true;
  writeQueue();
}

// Asks for the file to rewrite; says so when none is picked. A file picked
// takes the lines still queued.
async function pickLiveFile() {
  try {
    live.file = await window.showSaveFilePicker({suggestedName: scriptName()});
  } catch (error) {
    liveStatus(error.name === 'AbortError'
      ? 'No file was picked. Press Live file and pick the game\'s script to write it as you type.'
      : `The browser did not open a file (${error.name}). Pick another file, or use Download.`);
    return;
  }
  element('live-line').disabled = false;
  element('live-line').focus();
  liveStatus(`Every line you enter now rewrites ${live.file.name}.`);
  resumeQueue();
}

// Asks the browser again for leave to write the file, where it can ask,
// and runs the queue again.
async function retry() {
  if (live.file.requestPermission &&
      await live.file.requestPermission({mode: 'readwrite'}).catch(() => 'denied') !== 'granted') {
    liveStatus(`Writing ${live.file.name} is still not allowed. Pick the file again with Live file, ` +
               'or use Download.');
    return;
  }
  resumeQueue();
}

// Draws the blocks of `line` under the live line's box; returns them, each
// with the script it leaves in the file.
function drawLive(line) {
  const [converted] = tallsay.lines(encoder.encode(line),
                                    {...options(), startsText: live.sent === 0, drawn: Infinity});
  element('live-block').replaceChildren(...(converted?.blocks ?? []).map(figureOf));
  return converted?.blocks ?? [];
}

// On Enter (not while an input method composes), takes the box's line at
// once: empties the box, draws the line and queues its script for writing.
function enterLiveLine(event) {
  if (event.key !== 'Enter' || event.isComposing || event.keyCode === 229) return;
  event.preventDefault();
  const box = event.target;
  const line = box.value;
  box.value = '';
  if (line === '') return;
  const blocks = drawLive(line);
  if (blocks.length === 0) {
    liveStatus(`Nothing to write: ${visible(line)} gives no block.`);
    return;
  }
  ++live.sent;
  live.queue.push({line, script: blocks[blocks.length - 1].script});
  writeQueue();
}

// Offers Live file where the browser lets a page write a file it was
// given; elsewhere hides it and says to use Download.
function setUpLiveFile() {
  if (!('showSaveFilePicker' in window)) {
    for (const id of ['live-help', 'live-file', 'live-line', 'live-status']) element(id).hidden = true;
    document.querySelector('label[for="live-line"]').hidden = true;
    element('no-live').hidden = false;
    return;
  }
  element('live-file').disabled = false;
  element('live-file').addEventListener('click', pickLiveFile);
  element('retry').addEventListener('click', retry);
  element('live-line').addEventListener('keydown', enterLiveLine);
  element('live-line').addEventListener('input', (event) => drawLive(event.target.value));
}

// The text and options as they stand, by the ids of their controls.
function settings() {
  return {'text': element('text').value, 'line-len': element('line-len').value,
          'no-name': element('no-name').checked ? '1' : '', 'name': element('name').value};
}

// Sets the text and options from `values`, as settings() gives them;
// leaves a control whose value is missing as it is.
function applySettings(values) {
  for (const id of ['text', 'line-len', 'name']) {
    if (typeof values[id] === 'string') element(id).value = values[id];
  }
  if (typeof values['no-name'] === 'string') element('no-name').checked = values['no-name'] !== '';
}

// Takes the text and options from the link that opened the page, or else
// from the browser's storage.
function restore() {
  try {
    if (location.hash.length > 1) {
      applySettings(Object.fromEntries(new URLSearchParams(location.hash.slice(1))));
      // Taken: from now on the browser's storage keeps the text as it is edited.
      history.replaceState(null, '', location.pathname + location.search);
    } else {
      applySettings(JSON.parse(localStorage.getItem(kStoreKey)) ?? {});
    }
  } catch {
    // Nothing kept, or storage not allowed: the page starts as it is.
  }
}

let rememberTimer = 0;

// Soon stores the text and options in the browser, points the link at them
// and names the script in the game steps.
function remember() {
  clearTimeout(rememberTimer);
  rememberTimer = setTimeout(() => {
    const values = settings();
    try {
      localStorage.setItem(kStoreKey, JSON.stringify(values));
    } catch {
      // Storage full or not allowed: the text stays in the box only.
    }
    const link = element('link');
    link.hidden = values.text.length > kLinkChars;
    if (!link.hidden) link.href = '#' + new URLSearchParams(values);
  }, 300);
  element('bind-line').textContent = `bind "F5" "exec ${scriptName()}"`;
  element('exec-line').textContent = `exec ${scriptName()}`;
}

// Copies the game line that the button of `event` is for to the
// clipboard, or, where the page may not, selects it for the player to copy.
async function copyLine(event) {
  const code = element(event.target.dataset.copy);
  try {
    await navigator.clipboard.writeText(code.textContent);
    say(`Copied: ${code.textContent}`);
  } catch {
    getSelection().selectAllChildren(code);
    say('The line is selected: press Ctrl+C to copy it.');
  }
}

// Says that the converter could not load, and why, and leaves Download and
// Live file disabled.
function fail(reason) {
  const loading = element('loading');
  loading.className = 'warning';
  loading.textContent = `The converter could not be loaded (${reason}), so this page cannot ` +
    'convert anything. Try a current Chrome, Edge or Firefox with JavaScript allowed, or use the ' +
    'tallsay program of the players\' kit.';
  say(loading.textContent);
  document.body.dataset.ready = 'failed';
}

// Starts the page on the loaded converter `module`.
function start(module) {
  tallsay = module;
  for (const id of ['text', 'line-len', 'no-name', 'name']) {
    element(id).addEventListener('input', () => { refresh(); remember(); });
  }
  for (const event of ['keyup', 'mouseup']) element('text').addEventListener(event, refresh);
  element('download').addEventListener('click', download);
  for (const button of document.querySelectorAll('.copy')) button.addEventListener('click', copyLine);
  setUpLiveFile();
  refresh();
  remember();
}

restore();
if (typeof WebAssembly !== 'object') {
  fail('this browser does not run WebAssembly');
} else if (typeof createTallsay !== 'function') {
  fail('tallsay.js did not load beside this page');
} else {
  createTallsay().then(start, (error) => fail(String(error.message ?? error)));
}
