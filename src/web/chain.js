// One banner per key press: the module makes the chain of the box's text, a
// script for each line, each binding the key to the next; this file offers
// it, writes its scripts into a folder the player picks where the browser
// lets a page do that, or downloads them as one zip, and says what was
// written and the one bind to type in the game.
'use strict';

const kOverShown = 5;  // scripts over a limit of the console named; the rest are counted

// The key last taken from the Key box (a key the console cannot bind is
// refused and leaves it as it was), whether scripts are being written, and
// the changes to the boxes that the chain's status is about.
const chaining = {key: kDefaultKey, keyRefused: false, writing: false, shownAt: -1};

// Whether the player chose one banner per key press.
function chainChosen() {
  return element('make-chain').checked;
}

// Shows what belongs to the way of making scripts that is chosen, and hides
// the other's.
function showChoice() {
  document.body.dataset.make = chainChosen() ? 'chain' : 'one';
}

// The line that binds the chain's key to its first script, as the chain's
// own scripts bind it: the key without quotes.
function chainBindLine() {
  return `bind ${chaining.key} "exec ${scriptName()}"`;
}

// Takes the key from its box, or refuses it and says so.
function takeKey() {
  const {key, error} = checkKey(element('key').value, tallsay.isKeyName);
  if (error === undefined) chaining.key = key;
  chaining.keyRefused = error !== undefined;
  element('key').setAttribute('aria-invalid', String(chaining.keyRefused));
  showNote('key-note', error === undefined ? ''
    : `${error} Until it is mended, no script is written and the steps below name ${chaining.key}.`);
}

// The line `line` to type in the game, with its Copy button, for the
// chain's status.
function commandOf(line) {
  const command = document.createElement('span');
  command.className = 'command';
  const code = document.createElement('code');
  Object.assign(code, {id: 'chain-bind', textContent: line});
  const copy = document.createElement('button');
  Object.assign(copy, {type: 'button', className: 'copy', textContent: 'Copy'});
  copy.dataset.copy = code.id;
  copy.setAttribute('aria-label', 'Copy the bind line');
  copy.addEventListener('click', copyLine);
  command.append(code, copy);
  return command;
}

// Shows `paragraphs` as the chain's status, each a list of strings and of
// {command}, a line to type in the game; as a warning when `bad`; says them
// unless `quiet`. No paragraph hides the status.
function showChainStatus(paragraphs, {bad = false, quiet = false} = {}) {
  const status = element('chain-status');
  if (paragraphs.length === 0 && status.hidden) return;
  status.replaceChildren(...paragraphs.map((parts) => {
    const paragraph = document.createElement('p');
    paragraph.append(...parts.map((part) => (typeof part === 'string' ? part : commandOf(part.command))));
    return paragraph;
  }));
  status.className = `${bad ? 'warning' : 'note'} chain-only`;
  status.hidden = paragraphs.length === 0;
  if (quiet || paragraphs.length === 0) return;
  say(paragraphs.map((parts) => parts.map((part) => part.command ?? part).join(' ')).join(' '));
}

// Offers the chain's buttons when the text has a line to say and the name
// and key are taken, and no scripts are being written; hides the status
// once the boxes have changed since it was shown.
function showChainButtons() {
  const off = text.blocks === 0 || taken.nameRefused || chaining.keyRefused || chaining.writing;
  element('chain-write').disabled = off;
  element('chain-zip').disabled = off;
  if (!chaining.writing && chaining.shownAt !== changes) showChainStatus([]);
}

// Script `index` of a chain of `count` scripts made of the box's text
// `value`, as the player knows it: the number of its text line, its piece
// of a long line, and the line's first words; only its number in the chain
// when the text the page has converted is not that text.
function lineOfScript(index, count, value) {
  if (value !== text.value || text.blocks !== count) return `Line ${index + 1} of the chain`;
  let line = 0, before = 0;
  while (before + text.results[line].blocks <= index) before += text.results[line++].blocks;
  const words = text.lines[line].replace(/\r$/, '');
  const shown = words.length > 30 ? `${words.slice(0, 30)}…` : words;
  const {blocks} = text.results[line];
  const piece = blocks > 1 ? `, piece ${index - before + 1} of ${blocks}` : '';
  return `Line ${line + 1}${piece}, “${visible(shown)}”`;
}

// The status after the chain `scripts`, made of the box's text `value`,
// were all handed over, as `done` says: what the player types once in the
// game, what each press then does, and the scripts that pass a limit of the
// game's console on their own, by their lines.
function chainDoneStatus(done, scripts, value) {
  const key = chaining.key;
  const press = scripts.length === 1
    ? `Each press of ${key} then says the line, at most once every 4 seconds.`
    : `Each press of ${key} then says the next line, and after ${scripts.at(-1).name} the first ` +
      'again; at most one every 4 seconds, or the game mutes you.';
  const paragraphs = [[done], ['In the game\'s console, type this once:', {command: chainBindLine()}, press]];
  const over = scripts.flatMap((script, index) => (script.advice ? [{script, index}] : []));
  for (const {script, index} of over.slice(0, kOverShown)) {
    paragraphs.push([`${lineOfScript(index, scripts.length, value)} (${script.name}), passes a limit ` +
                     `of the game's console on its own: ${script.advice}.`]);
  }
  if (over.length > kOverShown) {
    paragraphs.push([`${counted(over.length - kOverShown, 'more line')} of the chain pass one too.`]);
  }
  return paragraphs;
}

// The chain of the box's text `value` with the page's options, name and
// key; null, after saying why, when the module makes none or it has no
// script.
function makeChain(value) {
  const chain = tallsay.chain(encoder.encode(value), {...options(), first: scriptName(), key: chaining.key});
  const why = {
    name: `The game's console cannot run a script named ${scriptName()}. ${kNameRule}`,
    key: `${chaining.key} names no key. ${kKeyRule}`,
    long: `A script of this chain would have a name over ${kNameMostBytes} bytes, as the scripts ` +
          `after ${scriptName()} add -2, -3, and so on to its name, up to the number of its lines. ` +
          'Choose a shorter script name.',
  }[chain.status] ?? (chain.scripts.length === 0 ? 'The text gives no line to say.' : '');
  if (why === '') return chain;
  chaining.shownAt = changes;
  showChainStatus([[`${why} Nothing was written.`]], {bad: true});
  return null;
}

// What went wrong with `error` while writing into the folder `folder`, and
// what to do then, in a player's words.
function folderFailure(error, folder) {
  if (error.name === 'NotAllowedError' || error.name === 'SecurityError') {
    return [`the browser did not let this page write into ${folder}`,
            'Press Write the scripts again and allow it, or download the zip. A folder under ' +
            '"Program Files" on Windows cannot be written from a page at all: unpack the zip ' +
            'there yourself.'];
  }
  if (error.name === 'QuotaExceededError') {
    return ['the disk is full', 'Make room on the disk, then press Write the scripts again.'];
  }
  return [`${error.name}: ${error.message}`,
          'Check that the folder is still there and that no other program holds the file, then ' +
          'press Write the scripts again.'];
}

// The status after the first `written` scripts of the chain `scripts` were
// written into the folder `folder` and the next failed with `error`.
function chainFailedStatus(scripts, written, error, folder) {
  const names = scripts.map((script) => script.name);
  const failed = names[written];
  const after = scripts.length - written - 1;
  const [reason, next] = folderFailure(error, folder);
  const kept = written === 0 ? `Nothing was written into ${folder}.`
    : `Wrote ${written} of ${counted(scripts.length, 'script')} into ${folder}: ` +
      `${namesOf(names.slice(0, written))} ${written === 1 ? 'is' : 'are'} written whole.`;
  const lost = `${failed} could not be written (${reason})` +
    (after > 0 ? `; the ${counted(after, 'script')} after it ${after === 1 ? 'was' : 'were'} not written.` : '.');
  const stops = written === 0 ? ''
    : ` Until they are, a press of ${chaining.key} after ${names[written - 1]} runs ${failed} as the ` +
      'folder holds it now: empty, or an older script of that name.';
  return [[kept], [`${lost}${stops} ${next}`]];
}

// Writes `scripts` into the folder `folder`, in order, each whole: written
// to its file's writable and closed, which puts it in place at once; the
// writable of a script that fails is aborted, which keeps what the file
// held (nothing, for a file asked for anew), and the writing stops there.
// Resolves to the number written and the error, or null.
async function writeScripts(folder, scripts) {
  for (const [written, script] of scripts.entries()) {
    showChainStatus([[`Writing the scripts into ${folder.name}: ${written + 1} of ${scripts.length}…`]],
                    {quiet: true});
    let writable = null;
    try {
      const file = await folder.getFileHandle(script.name, {create: true});
      writable = await file.createWritable();
      await writable.write(script.bytes);
      await writable.close();
    } catch (error) {
      if (writable) await writable.abort().catch(() => {});
      return {written, error};
    }
  }
  return {written: scripts.length, error: null};
}

// The files of the chain `scripts`' names that the folder `folder` holds
// and that are not scripts of the tool, as {name, size}: those that do not
// start with the first line of the chain's own scripts, an empty one aside,
// which holds nothing to lose; a file that cannot be read has a size of -1.
async function othersReplaced(folder, scripts) {
  const header = scripts[0].bytes.subarray(0, scripts[0].bytes.indexOf(13));
  const others = [];
  for (const {name} of scripts) {
    try {
      const file = await (await folder.getFileHandle(name)).getFile();
      const start = new Uint8Array(await file.slice(0, header.length).arrayBuffer());
      const script = start.length === header.length && start.every((byte, i) => byte === header[i]);
      if (file.size > 0 && !script) others.push({name, size: file.size});
    } catch (error) {
      if (error.name !== 'NotFoundError' && error.name !== 'TypeMismatchError') others.push({name, size: -1});
    }
  }
  return others;
}

// Asks whether the chain may replace `others` (from othersReplaced) in the
// folder `folder`, naming each with its size, No first; resolves to whether
// the player says Yes.
function askToReplace(others, folder) {
  const one = others.length === 1;
  const files = others.map(({name, size}) => `${name} (${size < 0 ? 'it cannot be read' : counted(size, 'byte')})`);
  const question = `${folder} holds ${one ? 'a file' : `${others.length} files`} of the chain's names ` +
    `that ${one ? 'is not a tallsay script' : 'are not tallsay scripts'}, perhaps settings of the game: ` +
    `${namesOf(files, true)}. The chain replaces all of ${one ? 'it' : 'them'}. Write the chain all the same?`;
  showNote('chain-ask-text', question);
  element('chain-ask').hidden = false;
  element('chain-ask-no').focus();
  say(question);
  return new Promise((resolve) => {
    for (const [id, yes] of [['chain-ask-no', false], ['chain-ask-yes', true]]) {
      element(id).onclick = () => {
        element('chain-ask').hidden = true;
        resolve(yes);
      };
    }
  });
}

// Makes the chain, asks for the folder to write it into and writes every
// script there, once the player says so for files of other kinds among its
// names; says what was written, or which were when one fails.
async function writeChainToFolder() {
  const value = element('text').value;
  const chain = makeChain(value);
  if (!chain) return;
  let folder;
  try {
    folder = await window.showDirectoryPicker({id: 'tallsay-chain', mode: 'readwrite'});
  } catch (error) {
    chaining.shownAt = changes;
    showChainStatus([[error.name === 'AbortError'
      ? 'No folder was picked, so nothing was written. Chrome and Edge refuse folders under ' +
        '"Program Files" on Windows: there, download the zip and unpack it yourself.'
      : `The browser did not open a folder (${error.name}), so nothing was written. Download the ` +
        'zip instead.']], {bad: true});
    return;
  }
  chaining.writing = true;
  showChainButtons();
  const others = await othersReplaced(folder, chain.scripts);
  const take = others.length === 0 || await askToReplace(others, folder.name);
  const {written, error} = take ? await writeScripts(folder, chain.scripts) : {written: 0, error: null};
  chaining.writing = false;
  chaining.shownAt = changes;
  const names = chain.scripts.map((script) => script.name);
  if (!take) {
    showChainStatus([[`Nothing was written into ${folder.name}: choose another script name, or another ` +
                      'folder.']]);
  } else if (error) {
    showChainStatus(chainFailedStatus(chain.scripts, written, error, folder.name), {bad: true});
  } else {
    showChainStatus(chainDoneStatus(`Wrote ${counted(written, 'script')} into ${folder.name}: ` +
                                    `${namesOf(names)}.`, chain.scripts, value));
  }
  showChainButtons();
}

// Makes the chain and downloads its scripts as one zip, named after the
// first; says what it holds.
function downloadChainZip() {
  const value = element('text').value;
  const chain = makeChain(value);
  if (!chain) return;
  const zip = tallsay.zip(chain.scripts);
  chaining.shownAt = changes;
  if (!zip) {
    showChainStatus([[`${counted(chain.scripts.length, 'script')} do not fit one zip (at most 65,535 ` +
                      'files), so nothing was downloaded. Write them into a folder, or split the text.']],
                    {bad: true});
    return;
  }
  const link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob([zip], {type: 'application/zip'}));
  link.download = zipName(scriptName());
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 10000);
  const names = chain.scripts.map((script) => script.name);
  showChainStatus(chainDoneStatus(`Downloaded ${link.download} with ${counted(names.length, 'script')}: ` +
                                  `${namesOf(names)}. Unpack them into the game's script folder.`,
                                  chain.scripts, value));
}

// Offers Write the scripts where the browser lets a page write into a
// folder the player picks; the zip is offered everywhere.
function setUpChain() {
  element('chain-write').hidden = !('showDirectoryPicker' in window);
  element('chain-write').addEventListener('click', writeChainToFolder);
  element('chain-zip').addEventListener('click', downloadChainZip);
}
