// The live file: each line entered is converted at once and queued; the
// queue is written one line at a time, in order, each write replacing the
// file with the header and the line's last block, as the interactive run
// does. A failed write stops the queue, keeping its lines, until Retry or a
// new file. Lines waiting are counted and their drawing shown as waiting,
// and closing the page while any wait asks first.
'use strict';

const kWaitingShown = 5;  // waiting lines named; the rest are counted

// The file picked, the queue of {line, script} not yet written, whether a
// write is under way or has failed, the lines entered, and the entry whose
// drawing is shown under the live line's box (null for a line being typed).
const live = {file: null, queue: [], writing: false, failed: false, sent: 0, shown: null};

// The name of the live file, or null while none is picked.
function liveName() {
  return live.file ? live.file.name : null;
}

// Shows `message` as the live file's state, as a warning when `bad`, and
// says it.
function liveStatus(message, bad = false) {
  element('live-status').textContent = message;
  element('live-status').className = bad ? 'warning' : 'note';
  say(message);
}

// Counts and names the lines that wait to be written, and shows the drawing
// of the last line entered as waiting until it is written.
function showWaiting() {
  const {queue} = live;
  const name = liveName() ?? 'the file';
  const named = queue.slice(0, kWaitingShown).map(({line}) => visible(line)).join(', ');
  const more = queue.length > kWaitingShown ? ` and ${queue.length - kWaitingShown} more` : '';
  showNote('live-waiting', queue.length === 0 ? ''
    : `${counted(queue.length, 'line')} wait${queue.length === 1 ? 's' : ''} to be written to ` +
      `${name}: ${named}${more}`);
  const waiting = live.shown !== null && queue.includes(live.shown);
  for (const figure of element('live-block').querySelectorAll('figure')) {
    figure.classList.toggle('waiting', waiting);
    let state = figure.querySelector('figcaption .state');
    if (!state) {
      state = document.createElement('span');
      state.className = 'state';
      figure.querySelector('figcaption').append(state);
    }
    state.textContent = live.shown === null ? '' : waiting ? ` · waiting, not yet in ${name}` : ` · in ${name}`;
  }
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
                 `The line is kept${after > 0 ? `, with ${after} after it` : ''}.`, true);
    }
    showWaiting();
  }
  live.writing = false;
}

// Lets the queue run again after a failure, and runs it.
function resumeQueue() {
  live.failed = false;
  element('retry').hidden = true;
  writeQueue();
}

// Asks for the file to rewrite; says so when none is picked, or when the
// game's console could not run a script of the name picked. A file picked
// names the script on the page and takes the lines still queued.
async function pickLiveFile() {
  let file;
  try {
    file = await window.showSaveFilePicker({suggestedName: scriptName()});
  } catch (error) {
    liveStatus(error.name === 'AbortError'
      ? 'No file was picked. Press Live file and pick the game\'s script to write it as you type.'
      : `The browser did not open a file (${error.name}). Pick another file, or use Download.`, true);
    return;
  }
  const {name, error} = checkScriptName(file.name);
  if (error !== undefined || name !== file.name) {
    liveStatus(`The game's console cannot run a script named ${file.name}. ${kNameRule} Pick the ` +
               'file again under such a name.', true);
    return;
  }
  live.file = file;
  element('name').value = file.name;
  takeScriptName();
  remember();
  element('live-line').disabled = false;
  element('live-line').focus();
  liveStatus(`Every line you enter now rewrites ${live.file.name}.`);
  showWaiting();
  resumeQueue();
}

// Asks the browser again for leave to write the file, where it can ask,
// and runs the queue again.
async function retry() {
  if (live.file.requestPermission &&
      await live.file.requestPermission({mode: 'readwrite'}).catch(() => 'denied') !== 'granted') {
    liveStatus(`Writing ${live.file.name} is still not allowed. Pick the file again with Live file, ` +
               'or use Download.', true);
    return;
  }
  resumeQueue();
}

// Draws the blocks of `line` under the live line's box; returns them, each
// with the script it leaves in the file.
function drawLive(line) {
  const [converted] = tallsay.lines(encoder.encode(line),
                                    {...options(), startsText: live.sent === 0, drawn: Infinity});
  const blocks = converted?.blocks ?? [];
  element('live-block').replaceChildren(...blocks.map((block) => figureOf(block, options())));
  return blocks;
}

// On Enter (not while an input method composes), takes the box's line at
// once: empties the box, draws the line and queues its script for writing.
// A line longer than one block holds is refused and stays in the box.
function enterLiveLine(event) {
  if (event.key !== 'Enter' || event.isComposing || event.keyCode === 229) return;
  event.preventDefault();
  const box = event.target;
  const line = box.value;
  if (line === '') return;
  const bytes = encoder.encode(line).length;
  if (bytes > tallsay.textBytes()) {
    liveStatus(`This line is ${counted(bytes, 'byte')} long; a line holds at most ` +
               `${tallsay.textBytes().toLocaleString('en-US')}. Nothing was written.`, true);
    return;
  }
  box.value = '';
  const blocks = drawLive(line);
  if (blocks.length === 0) {
    liveStatus(`Nothing to write: ${visible(line)} gives no block.`);
    return;
  }
  ++live.sent;
  live.shown = {line, script: blocks[blocks.length - 1].script};
  live.queue.push(live.shown);
  showWaiting();
  writeQueue();
}

// Asks before the page closes while lines wait to be written.
function askBeforeLeaving(event) {
  if (live.queue.length === 0) return;
  event.preventDefault();
  event.returnValue = '';
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
  element('live-line').addEventListener('input', (event) => {
    live.shown = null;
    drawLive(event.target.value);
  });
  addEventListener('beforeunload', askBeforeLeaving);
}
