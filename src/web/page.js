// The page: converts the text as it is typed with the tool's own code
// (tallsay.js), draws the lines around the caret as the game will show
// them, with what the game's console will do with them, and downloads the
// script. keep.js keeps the text and reads links, live.js rewrites a live
// file, chain.js hands over one script per line; this file holds what they
// share and starts the page.
'use strict';

const encoder = new TextEncoder();
const decoder = new TextDecoder();
const element = (id) => document.getElementById(id);
const kShownBlocks = 20;    // blocks drawn, or a few more, around the caret
const kSliceMs = 12;        // conversion work done before the browser gets its turn
const kBatchChars = 4096;   // text handed to the converter at once
const kBigText = 1000000;   // a text this long (in UTF-16 units) may take a while: say so

let tallsay = null;

// The box's text as lines (split at line feeds) and what converting each
// gave, {ended, blocks, warned}, or null until it is converted. The first
// `checked` lines are converted and the run ends in none of them; `blocks`
// counts the blocks of the converted text once render has run.
const text = {value: '', lines: [''], results: [null], checked: 0, lineLen: 0, utf8: true, blocks: 0};
let sliceTimer = 0;

// The width limit and the script name last taken from their boxes: a value
// the tool would read otherwise, or a name the game's console cannot run,
// is refused and leaves these as they were.
const taken = {lineLen: 0, name: kDefaultName, nameRefused: false};

// The options as set on the page.
function options() {
  return {lineLen: taken.lineLen, noName: element('no-name').checked, utf8: element('utf8').checked,
          team: element('team').checked};
}

// The script's name: the name box's, checked, or its last good name.
function scriptName() {
  return taken.name;
}

// `value` as the page shows typed text: each control character (below
// U+0020, and U+007F) as its visible picture, a tab as →.
function visible(value) {
  return value.replace(/[\x00-\x1f\x7f]/g, (c) => {
    if (c === '\t') return '\u2192';
    return String.fromCharCode(c === '\x7f' ? 0x2421 : 0x2400 + c.charCodeAt(0));
  });
}

let pendingNews = [];

// Says `message` in the page's one polite live region; messages said within
// the same moment are said together, in order.
function say(message) {
  const news = element('news');
  if (pendingNews.length === 0) {
    news.textContent = '';
    setTimeout(() => {
      news.textContent = pendingNews.join(' ');
      pendingNews = [];
    }, 50);
  }
  pendingNews.push(message);
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

// The chat line of `block` as the game shows it: the player's name unless
// `noName`, in parentheses for the `team`, then the drawing, hidden from
// screen readers.
function chatOf(block, {noName, team}) {
  const chat = document.createElement('div');
  chat.className = 'chat';
  chat.setAttribute('aria-hidden', 'true');
  if (!noName) {
    const name = document.createElement('span');
    name.className = 'name';
    name.textContent = team ? `(${tallsay.playerName()}): ` : `${tallsay.playerName()}: `;
    chat.append(name);
  }
  if (block.width > 0) {
    const canvas = document.createElement('canvas');
    Object.assign(canvas, {width: block.width, height: 8});
    canvas.style.width = `${block.width * 4}px`;
    const context = canvas.getContext('2d');
    const image = context.createImageData(block.width, 8);
    block.columns.forEach((column, x) => {
      for (let y = 0; y < 8; ++y) {
        const at = 4 * (y * block.width + x);
        if ((column >> y) & 1) image.data.fill(255, at, at + 4);
      }
    });
    context.putImageData(image, 0, 0);
    chat.append(canvas);
  }
  return chat;
}

// A figure of `block` ({width, text, warning, piece, columns, script}) drawn
// with the options `drawn`: its chat line, under it a caption that holds the
// text as typed, its width, the characters that have no glyph, left blank or
// drawn as the font's U+FFFD, and which piece of a long line it is; then the
// tool's warning and what the game's console does with the block's script,
// when it passes one of its limits.
function figureOf(block, drawn) {
  const figure = document.createElement('figure');
  figure.className = 'block';
  if (block.width > 0 || !drawn.noName) figure.append(chatOf(block, drawn));
  const said = decoder.decode(block.text);
  const missing = {blank: [], replaced: []};
  for (const c of new Set(said.match(/[^\x00-\x7e]/gu))) {
    missing[tallsay.drawnAs(c.codePointAt(0), drawn.utf8)]?.push(c);
  }
  const caption = document.createElement('figcaption');
  const words = document.createElement('span');
  words.className = 'said';
  words.textContent = visible(said);
  caption.append(words, ` · ${counted(block.width, 'column')}`);
  for (const [kind, shown] of [['blank', 'no glyph, left blank'], ['replaced', 'not in the font, drawn as \ufffd']]) {
    if (missing[kind].length > 0) caption.append(` · ${shown}: ${visible(missing[kind].join(' '))}`);
  }
  if (block.piece) {
    caption.append(` · piece ${block.piece.number} of ${block.piece.of}: a line over ` +
                   `${counted(tallsay.textBytes(), 'byte')} is cut into pieces, a banner each`);
  }
  figure.append(caption);
  const notes = [[block.warning, 'warning'],
                 [block.script && tallsay.advice(block.script), 'advice']];
  for (const [message, className] of notes) {
    if (!message) continue;
    const note = document.createElement('p');
    note.className = className;
    note.textContent = className === 'advice' ? `In the game: ${message}.` : message;
    figure.append(note);
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

// Says, once a conversion takes more than one slice, that a text of over a
// million characters is being converted; hides that once it is done.
function showBusy(busy) {
  if (!busy || text.value.length <= kBigText) {
    showNote('busy-note', '');
  } else if (element('busy-note').hidden) {
    const note = `Converting a text of ${(text.value.length / 1e6).toFixed(1)} million characters…`;
    showNote('busy-note', note);
    say(note);
  }
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
      showBusy(true);
      sliceTimer = setTimeout(convertPending, 0, done);
      return;
    }
  }
  showBusy(false);
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

// The figures drawn, by line, first-line flag and options: a list for each
// line drawn so, as lines alike each need figures of their own.
let shownFigures = new Map();
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
  const figures = new Map();  // by line: figures drawn before, or else made now
  for (let i = first; i < last; ++i) figures.set(i, shownFigures.get(key(i))?.shift());
  for (let i = first; i < last; ++i) {
    if (figures.get(i)) continue;
    let to = i + 1;
    while (to < last && !figures.get(to)) ++to;
    convertLines(i, to, kShownBlocks).forEach((line, j) => {
      figures.set(i + j, line.blocks.filter((block) => block.columns)
        .map((block) => figureOf(block, options())));
    });
    i = to - 1;
  }
  shownFigures = new Map();
  const drawn = [];
  for (let i = first; i < last; ++i) {
    shownFigures.set(key(i), [...shownFigures.get(key(i)) ?? [], figures.get(i)]);
    drawn.push(...figures.get(i));
  }
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
  showNote('above', above === 0 ? '' : `${counted(above, 'line')} above ${above === 1 ? 'is' : 'are'} ` +
                                       'not drawn; move the caret to see them.');
  showNote('below', below === 0 ? '' : `and ${counted(below, 'more line')} below.`);
}

// What ends the run in line `end`, in a player's words.
function endOf(end) {
  const line = text.lines[end].replace(/\r/g, '');
  return line === '' ? 'the first empty line' : `line ${end + 1} (an end mark, 0x1A)`;
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
  text.blocks = blocks;
  drawAroundCaret(converted, blocks);
  const below = end === -1 ? 0 : linesWithText(lines, end);
  const stop = below === 0 ? ''
    : `${endOf(end)} ends the text: ${counted(below, 'line')} below it ${below === 1 ? 'is' : 'are'} ` +
      'not converted';
  showNote('stop-note', stop);
  const warning = warned === 0 ? ''
    : `${counted(warned, 'line')} wider than the limit of ${counted(options().lineLen, 'column')}.`;
  showNote('warn-note', warning);
  showDownload();
  const news = [warning, stop].filter(Boolean).join(' ');
  if (news !== lastNews) say(news || 'The text has no warning now.');
  lastNews = news;
  document.body.dataset.ready = 'true';
}

let changes = 0;      // the changes made to the boxes so far
let downloaded = -1;  // the changes the note after the last Download is about

// Offers the download, and the chain's, when there is a block and the
// script name is taken; the note of the last Download stays while the text
// and options are those downloaded.
function showDownload() {
  element('download').disabled = text.blocks === 0 || taken.nameRefused;
  if (text.blocks === 0) {
    showNote('download-note', `Nothing to ${chainChosen() ? 'write' : 'download'} yet: the text gives ` +
                              'no line to say.');
  } else if (downloaded !== changes) {
    showNote('download-note', '');
  }
  showChainButtons();
}

let refreshQueued = false;

// Converts and shows the box's text in a task of its own, soon; calls before
// it runs do the work once. Not in an animation frame: the frame after a
// paste lays out the box's text, which takes the browser as long as in a
// bare text box, and the page's work has no business in that task.
function refresh() {
  if (refreshQueued) return;
  refreshQueued = true;
  document.body.dataset.busy = 'true';
  setTimeout(() => {
    refreshQueued = false;
    // The widths, and so the warnings, change with the limit and the letters drawn.
    const {lineLen, utf8} = options();
    if (lineLen !== text.lineLen || utf8 !== text.utf8) {
      Object.assign(text, {lineLen, utf8, checked: 0});
      text.results.fill(null);
    }
    const value = element('text').value;
    if (value !== text.value) takeText(value);
    convertPending(render);
  });
}

// Takes the width limit from its box, or refuses it and says so.
function takeWidthLimit() {
  const {lineLen, error} = parseWidthLimit(element('line-len').value);
  if (error === undefined) taken.lineLen = lineLen;
  element('line-len').setAttribute('aria-invalid', String(error !== undefined));
  showNote('line-len-note', error === undefined ? '' : `${error} The limit stays ${taken.lineLen}.`);
  showWidthHint();
}

// Hints, beside the width box, the columns a chat line of the game shows.
function showWidthHint() {
  const limits = tallsay.limits();
  const {noName, team} = options();
  const columns = noName ? `${limits.columnsNoName} columns with the name hidden`
    : team ? `${limits.columnsTeam} columns after the name in parentheses`
    : `${limits.columnsWithName} columns after the name`;
  showNote('line-len-help', `columns; 0 never warns. The game's chat line shows ${columns}.`);
}

// Takes the script name from its box, or refuses it and says so; names the
// script in the game steps.
function takeScriptName() {
  const {name, error} = checkScriptName(element('name').value);
  if (error === undefined) taken.name = name;
  taken.nameRefused = error !== undefined;
  element('name').setAttribute('aria-invalid', String(taken.nameRefused));
  showNote('name-note', error === undefined ? ''
    : `${error} Until it is mended, Download waits and the steps below name ${taken.name}.`);
  showSteps();
  showDownload();
}

// Names the script in the game steps: the live file once one is picked,
// else the script name; for a chain, its first script and its key.
function showSteps() {
  const name = liveName() ?? scriptName();
  const bind = chainChosen() ? chainBindLine() : `bind "F5" "exec ${name}"`;
  const lines = [['#bind-line', bind], ['#exec-line', `exec ${name}`], ['.first-name', scriptName()],
                 ['.key-name', chaining.key]];
  for (const [selector, line] of lines) {
    for (const shown of document.querySelectorAll(selector)) {
      if (shown.textContent !== line) shown.textContent = line;
    }
  }
}

// Downloads the script of the whole text, the batch run's bytes, and says
// what the game's console will do with it.
function download() {
  const {script} = tallsay.convert(encoder.encode(element('text').value), options());
  const link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob([script], {type: 'application/octet-stream'}));
  link.download = scriptName();
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 10000);
  const advice = tallsay.advice(script);
  const note = `Downloaded ${scriptName()}: ${counted(text.blocks, 'banner')}. ` +
    (advice ? `In the game: ${advice}.` : 'It fits the game\'s limits.') +
    (text.blocks > 1 ? ' “One banner per key press” above makes a script of each line instead, ' +
                       'which one key says in turn.' : '');
  downloaded = changes;
  showNote('download-note', note);
  say(note);
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

// Takes the boxes as they now stand, and shows and keeps what they hold;
// says what a link just taken set of them.
function takeAll() {
  ++changes;
  showChoice();
  takeWidthLimit();
  takeKey();
  takeScriptName();
  refresh();
  remember();
  noteLink();
}

// Starts the page on the loaded converter `module`.
function start(module) {
  tallsay = module;
  for (const id of ['text', 'line-len', 'no-name', 'utf8', 'team', 'name', 'make-one', 'make-chain', 'key']) {
    element(id).addEventListener('input', takeAll);
  }
  for (const event of ['keyup', 'mouseup']) element('text').addEventListener(event, refresh);
  element('download').addEventListener('click', download);
  for (const button of document.querySelectorAll('.copy')) button.addEventListener('click', copyLine);
  setUpLiveFile();
  setUpChain();
  takeAll();
}

restore();
showChoice();
if (typeof WebAssembly !== 'object') {
  fail('this browser does not run WebAssembly');
} else if (typeof createTallsay !== 'function') {
  fail('tallsay.js did not load beside this page');
} else {
  createTallsay().then(start, (error) => fail(String(error.message ?? error)));
}
