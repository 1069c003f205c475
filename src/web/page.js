// The page: converts the text as it is typed with the tool's own code
// (tallsay.js), shows every line as the game will draw it, downloads the
// script, and rewrites a live file line by line.
'use strict';

const encoder = new TextEncoder();
const decoder = new TextDecoder();
const element = (id) => document.getElementById(id);
let tallsay = null;

function options() {
  return {lineLen: Number(element('line-len').value) | 0, noName: element('no-name').checked};
}

// The lines of a script, every one ending in CR LF: where each starts, and
// its bytes without the line end.
function linesOf(script) {
  const lines = [];
  for (let start = 0, at = 0; at + 1 < script.length; ++at) {
    if (script[at] === 13 && script[at + 1] === 10) {
      lines.push({start, bytes: script.subarray(start, at)});
      start = at + 2;
      ++at;
    }
  }
  return lines;
}

// The blocks of a script: for each, where it starts, its text and the words
// of its warning comment ('' without one). After the header and its empty
// line, a block is a warning comment or none, the comment, four say lines
// and an empty line.
function blocksOf(script) {
  const lines = linesOf(script);
  const blocks = [];
  for (let first = 2, i = 2; i < lines.length; ++i) {
    if (lines[i].bytes.length > 0) continue;
    const warned = i - first === 6;
    blocks.push({
      start: lines[first].start,
      text: decoder.decode(lines[warned ? first + 1 : first].bytes.subarray(3)),
      warning: warned ? decoder.decode(lines[first].bytes.subarray(3)) : '',
    });
    first = i + 1;
  }
  return blocks;
}

function show(blocks, shown) {
  const rows = shown.split('\n');
  const container = element('blocks');
  container.replaceChildren();
  blocks.forEach((block, i) => {
    const drawing = rows.slice(5 * i, 5 * i + 4);
    const width = [...drawing[0]].length;
    const figure = document.createElement('div');
    figure.className = 'block';
    const pre = document.createElement('pre');
    pre.textContent = drawing.join('\n');
    const caption = document.createElement('div');
    caption.className = 'caption';
    caption.textContent = `${JSON.stringify(block.text)}: ${width} columns`;
    figure.append(pre, caption);
    if (block.warning) {
      const warning = document.createElement('div');
      warning.className = 'warning';
      warning.textContent = block.warning;
      figure.append(warning);
    }
    container.append(figure);
  });
  if (blocks.length === 0) container.innerHTML = '<p class="note">Nothing to show yet.</p>';
}

// Converts the whole text and shows its blocks; returns the script.
function update() {
  const {script} = tallsay.convert(encoder.encode(element('text').value), options());
  show(blocksOf(script), tallsay.preview(script));
  return script;
}

function download() {
  const link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob([update()], {type: 'application/octet-stream'}));
  link.download = element('name').value || 'chat.cfg';
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 1000);
}

// The live file: each line entered rewrites it with the header and that
// line's block, as an interactive run does (of a line longer than 1024
// bytes, the last piece remains).
function setUpLiveFile() {
  if (!('showSaveFilePicker' in window)) {
    element('live').hidden = true;
    element('live-status').hidden = true;
    element('no-live').hidden = false;
    return;
  }
  let file = null;
  element('live-file').addEventListener('click', async () => {
    file = await window.showSaveFilePicker({suggestedName: element('name').value || 'chat.cfg'});
    element('live-line').disabled = false;
    element('live-line').focus();
    element('live-status').textContent = `Every line you enter now rewrites ${file.name}.`;
  });
  element('live-line').addEventListener('keydown', async (event) => {
    if (event.key !== 'Enter') return;
    const line = event.target.value;
    const {script} = tallsay.convert(encoder.encode(line), options());
    const blocks = blocksOf(script);
    if (blocks.length === 0) return;
    const header = script.subarray(0, blocks[0].start);
    const last = script.subarray(blocks[blocks.length - 1].start);
    const writable = await file.createWritable();
    await writable.write(new Blob([header, last]));
    await writable.close();
    event.target.value = '';
    element('live-status').textContent = `${file.name} now says ${JSON.stringify(line)}.`;
  });
}

createTallsay().then((module) => {
  tallsay = module;
  for (const id of ['text', 'line-len', 'no-name']) element(id).addEventListener('input', update);
  element('download').addEventListener('click', download);
  setUpLiveFile();
  update();
  document.body.dataset.ready = 'true';
});
