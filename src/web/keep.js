// Keeping the text: the browser's storage, which says once when it fails;
// links to the text, read once and taken only as far as they reach, after
// asking where they would replace the player's own text; and the earlier
// text that a link replaced, brought back with one button.
'use strict';

const kStoreKey = 'tallsay';
const kEarlierKey = 'tallsay-earlier';
const kLinkChars = 8192;  // longest text a link carries
const kKeptIds = ['text', 'line-len', 'no-name', 'name', 'make', 'key'];

// What keeping knows: the troubles said (by kind) and those that hold now,
// the link waiting for an answer, the earlier text, and the page's example.
const keeping = {told: new Set(), troubles: new Map(), offer: null, earlier: null, example: ''};

// The text and options as they stand, by the ids of their controls; `make`
// is 'chain' for one banner per key press, else 'one'.
function settings() {
  return {'text': element('text').value, 'line-len': element('line-len').value,
          'no-name': element('no-name').checked ? '1' : '0', 'name': element('name').value,
          'make': element('make-chain').checked ? 'chain' : 'one', 'key': element('key').value};
}

// Sets the text and options from `values`, as settings() gives them;
// leaves a control whose value is missing as it is.
function applySettings(values) {
  for (const id of ['text', 'line-len', 'name', 'key']) {
    if (typeof values[id] === 'string') element(id).value = values[id];
  }
  if (typeof values['no-name'] === 'string') element('no-name').checked = flagOn(values['no-name']);
  if (typeof values.make === 'string') {
    element(values.make.trim() === 'chain' ? 'make-chain' : 'make-one').checked = true;
  }
}

// Shows the trouble of `kind` with `message` beside the link, and says it
// the first time; a message of '' means the trouble is over.
function trouble(kind, message) {
  if (message === '') {
    keeping.troubles.delete(kind);
  } else {
    keeping.troubles.set(kind, message);
    if (!keeping.told.has(kind)) say(message);
    keeping.told.add(kind);
  }
  showNote('keep-note', [...keeping.troubles.values()].join(' '));
}

// Says why the browser's storage failed with `error`.
function storageFailed(error) {
  if (error.name === 'QuotaExceededError') {
    trouble('full', 'The browser\'s storage for this page is full, or this text is too large for ' +
      'it, so the text is not kept: after a reload the page shows the text it kept before. ' +
      'Download the script to keep it.');
  } else {
    trouble('blocked', 'This browser keeps nothing for this page (it does not let the page use ' +
      'its storage), so the text and options are gone once the page is closed. Download the ' +
      'script, or copy a link to this text, to keep it.');
  }
}

// The value kept under `key`; null when none is, or storage fails (said).
function readKept(key) {
  try {
    return JSON.parse(localStorage.getItem(key));
  } catch (error) {
    if (error.name !== 'SyntaxError') storageFailed(error);
    return null;
  }
}

// Keeps `value` under `key`; returns whether the browser kept it.
function writeKept(key, value) {
  try {
    localStorage.setItem(key, JSON.stringify(value));
    trouble('full', '');
    return true;
  } catch (error) {
    storageFailed(error);
    return false;
  }
}

// `values`' text in a few words: its lines and the start of its first.
function describeText(values) {
  const lines = values.text.split('\n');
  const first = lines[0].length > 40 ? `${lines[0].slice(0, 40)}…` : lines[0];
  return `${counted(lines.length, 'line')}, the first “${visible(first)}”`;
}

// What `carried` sets besides the text, in a player's words.
function describeOptions(carried) {
  const parts = [];
  if ('line-len' in carried) parts.push(`the width limit to ${carried['line-len'] || 0}`);
  if ('no-name' in carried) parts.push(flagOn(carried['no-name']) ? 'the name hidden' : 'the name shown');
  if ('name' in carried) parts.push(`the script name to ${carried.name}`);
  if ('make' in carried) {
    parts.push(carried.make.trim() === 'chain' ? 'one banner per key press' : 'one script with every line');
  }
  if ('key' in carried) parts.push(`the key to ${carried.key}`);
  return parts;
}

// Reads the link that opened the page, if any, once: removes it from the
// address bar, so that a reload takes the text as edited since; then takes
// what it carries, or asks first where its text would replace the player's
// own, different text.
function takeLink() {
  if (location.hash.length <= 1) return;
  const carried = {};
  for (const [key, value] of new URLSearchParams(location.hash.slice(1))) {
    if (kKeptIds.includes(key)) carried[key] = value;
  }
  history.replaceState(null, '', location.pathname + location.search);
  const own = element('text').value;
  if (typeof carried.text === 'string' && carried.text !== own && own.trim() !== '' &&
      own !== keeping.example) {
    keeping.offer = carried;
    const options = describeOptions(carried);
    showNote('offer-text', `This link carries another text: ${describeText(carried)}` +
      `${options.length > 0 ? `; it also sets ${options.join(', ')}` : ''}. Your own text stays ` +
      'as it is unless you take the link\'s; taken, yours is kept as the earlier text.');
    element('offer').hidden = false;
    say(element('offer-text').textContent);
    return;
  }
  takeCarried(carried);
}

// Sets what the link's `carried` values hold, and nothing else, and says so.
function takeCarried(carried) {
  applySettings(carried);
  const parts = describeOptions(carried);
  if (typeof carried.text === 'string') parts.unshift(`the text (${describeText(carried)})`);
  const note = parts.length === 0 ? '' : `The link set ${parts.join(', ')}.`;
  showNote('link-note', note);
  if (note !== '') say(note);
  if (tallsay) takeAll();
}

// Answers the link's question: `take` replaces the text and options with
// the link's, keeping the player's as the earlier text; else keeps them.
function answerOffer(take) {
  const carried = keeping.offer;
  keeping.offer = null;
  element('offer').hidden = true;
  if (!take) {
    say('Your text is kept; the link\'s was not taken.');
    return;
  }
  keepEarlier(settings());
  takeCarried(carried);
}

// Keeps `values` as the earlier text, in storage where it can, and offers
// to bring it back.
function keepEarlier(values) {
  keeping.earlier = values;
  writeKept(kEarlierKey, values);
  showEarlier();
}

// Offers the earlier text, when there is one.
function showEarlier() {
  const earlier = keeping.earlier;
  element('earlier-row').hidden = !(earlier && typeof earlier.text === 'string');
  if (!element('earlier-row').hidden) {
    element('earlier-note').textContent = `The earlier text: ${describeText(earlier)}.`;
  }
}

// Swaps the text and options with the earlier ones.
function bringBackEarlier() {
  const earlier = keeping.earlier;
  keepEarlier(settings());
  applySettings(earlier);
  if (tallsay) takeAll();
  say('The earlier text is back; the one it replaced is now the earlier text.');
}

let rememberTimer = 0;

// Soon stores the text and options in the browser and points the link at
// them; says once when either cannot take the text.
function remember() {
  clearTimeout(rememberTimer);
  rememberTimer = setTimeout(() => {
    const values = settings();
    writeKept(kStoreKey, values);
    const link = element('link');
    link.hidden = values.text.length > kLinkChars;
    trouble('link', !link.hidden ? '' : `A link carries at most ${kLinkChars.toLocaleString('en-US')} ` +
      `characters of text; this one has ${values.text.length.toLocaleString('en-US')}. Download the ` +
      'script to keep it.');
    if (link.hidden) return;
    const carried = {...values, 'line-len': String(taken.lineLen)};
    if (taken.nameRefused) delete carried.name;
    if (chaining.keyRefused) delete carried.key;
    link.href = '#' + new URLSearchParams(carried);
  }, 300);
}

// Copies the link to the text to the clipboard rather than following it,
// so that the address bar never holds a link that a reload would take
// again; where the page may not copy, shows the link to copy by hand.
async function copyLink(event) {
  event.preventDefault();
  const url = element('link').href;
  try {
    await navigator.clipboard.writeText(url);
    element('link-copy').hidden = true;
    say('Copied a link to this text: whoever opens it gets this text and these options.');
  } catch {
    element('link-copy').hidden = false;
    element('link-url').value = url;
    element('link-url').select();
    say('The page may not copy here: the link is selected below the Download button; copy it ' +
        'with Ctrl+C.');
  }
}

// Takes the text and options kept in the browser, then the link that
// opened the page; keeps reading links that change the address later.
function restore() {
  element('offer-take').addEventListener('click', () => answerOffer(true));
  element('offer-keep').addEventListener('click', () => answerOffer(false));
  element('earlier').addEventListener('click', bringBackEarlier);
  element('link').addEventListener('click', copyLink);
  keeping.example = element('text').value;
  const kept = readKept(kStoreKey);
  if (kept && typeof kept === 'object') applySettings(kept);
  const earlier = readKept(kEarlierKey);
  keeping.earlier = earlier && typeof earlier === 'object' ? earlier : null;
  showEarlier();
  takeLink();
  addEventListener('hashchange', takeLink);
}
