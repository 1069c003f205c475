// Keeping the text: the browser's storage, which says once when it fails;
// links to the text, read once and taken only as far as they reach, after
// asking where they would replace the player's own text or settings; and
// the earlier text and settings that a link replaced, brought back with one
// button.
'use strict';

const kStoreKey = 'tallsay';
const kEarlierKey = 'tallsay-earlier';
const kLinkChars = 8192;  // longest text a link carries
const kKeptIds = ['text', 'line-len', 'no-name', 'utf8', 'team', 'name', 'make', 'key'];
const kFlagIds = ['no-name', 'utf8', 'team'];  // the checkboxes, kept as 1 or 0

// The settings of a first run, as the boxes hold them.
const kFirstRun = {'line-len': '0', 'no-name': '0', 'utf8': '1', 'team': '0', 'name': kDefaultName,
                   'make': 'one', 'key': kDefaultKey};

// Each setting in a player's words: its name and its value `v` as a link or
// storage holds it.
const kSettingWords = {
  'line-len': ['the width limit', (v) => visible(v.trim() || '0')],
  'no-name': ['the player name', (v) => (flagOn(v) ? 'hidden' : 'shown')],
  'utf8': ['letters beyond ASCII', (v) => (flagOn(v) ? 'drawn' : 'left blank')],
  'team': ['team only', (v) => (flagOn(v) ? 'on' : 'off')],
  'name': ['the script name', (v) => visible(v.trim() || kDefaultName)],
  'make': ['what to make', (v) => (v.trim() === 'chain' ? 'one banner per key press' : 'one script with every line')],
  'key': ['the key', (v) => visible(v.trim() || kDefaultKey)],
};

// What keeping knows: the troubles said (by kind) and those that hold now,
// the link waiting for an answer, the link whose note is still to be shown,
// the earlier text and settings, and the page's example.
const keeping = {told: new Set(), troubles: new Map(), offer: null, linked: null, earlier: null,
                 example: ''};

// The text and options as they stand, by the ids of their controls; `make`
// is 'chain' for one banner per key press, else 'one'.
function settings() {
  const values = {'text': element('text').value, 'line-len': element('line-len').value,
                  'name': element('name').value, 'make': element('make-chain').checked ? 'chain' : 'one',
                  'key': element('key').value};
  for (const id of kFlagIds) values[id] = element(id).checked ? '1' : '0';
  return values;
}

// Sets the text and options from `values`, as settings() gives them;
// leaves a control whose value is missing as it is.
function applySettings(values) {
  for (const id of ['text', 'line-len', 'name', 'key']) {
    if (typeof values[id] === 'string') element(id).value = values[id];
  }
  for (const id of kFlagIds) {
    if (typeof values[id] === 'string') element(id).checked = flagOn(values[id]);
  }
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

// The setting `id` at `value`, in a player's words: "the width limit 40",
// or "the width limit to 40" when `set`.
function said(id, value, set = false) {
  const [name, shown] = kSettingWords[id];
  if (id === 'make') return shown(value);
  return `${name} ${set && !kFlagIds.includes(id) ? 'to ' : ''}${shown(value)}`;
}

// The text and settings among `values` whose ids are in `ids`, in a
// player's words, as said() gives them with `set`.
function describeValues(values, ids = kKeptIds, set = false) {
  return ids.filter((id) => typeof values[id] === 'string')
    .map((id) => (id === 'text' ? `the text (${describeText(values)})` : said(id, values[id], set)));
}

// The ids of what the link's `carried` values would change of what the
// player set: a text of their own (not empty, not the example), and
// settings other than a first run's.
function replacedBy(carried) {
  const now = settings();
  const word = (id, value) => kSettingWords[id][1](value);
  return kKeptIds.filter((id) => id in carried && (id === 'text'
    ? carried.text !== now.text && now.text.trim() !== '' && now.text !== keeping.example
    : word(id, carried[id]) !== word(id, now[id]) && word(id, now[id]) !== word(id, kFirstRun[id])));
}

// Asks before the link's `carried` values replace those of `replaced` (ids
// of replacedBy), saying what they are and what else the link sets.
function offer(carried, replaced) {
  const now = settings();
  const sentences = [];
  if (replaced.includes('text')) sentences.push(`This link carries another text: ${describeText(carried)}.`);
  const changes = replaced.filter((id) => id !== 'text').map((id) => {
    const [name, shown] = kSettingWords[id];
    return `${name} from ${shown(now[id])} to ${shown(carried[id])}`;
  });
  if (changes.length > 0) sentences.push(`This link would change what you set: ${changes.join(', ')}.`);
  const also = describeValues(carried, kKeptIds.filter((id) => !replaced.includes(id)), true);
  if (also.length > 0) sentences.push(`It also sets ${also.join(', ')}.`);
  sentences.push('Yours stay as they are unless you take the link\'s; taken, yours are kept as the earlier ' +
                 'text and settings.');
  keeping.offer = carried;
  showNote('offer-text', sentences.join(' '));
  element('offer').hidden = false;
  say(element('offer-text').textContent);
}

// Reads the link that opened the page, if any, once: removes it from the
// address bar, so that a reload takes the text as edited since; then takes
// what it carries, or asks first where it would replace what the player
// set. A question of a link before is dropped: this link is the one asked
// about. The box takes a CR, alone or before a line feed, as a line break.
function takeLink() {
  if (location.hash.length <= 1) return;
  const carried = {};
  for (const [key, value] of new URLSearchParams(location.hash.slice(1))) {
    if (kKeptIds.includes(key)) carried[key] = key === 'text' ? value.replace(/\r\n?/g, '\n') : value;
  }
  history.replaceState(null, '', location.pathname + location.search);
  keeping.offer = null;
  element('offer').hidden = true;
  const replaced = replacedBy(carried);
  if (replaced.length > 0) {
    offer(carried, replaced);
  } else {
    takeCarried(carried);
  }
}

// Sets what the link's `carried` values hold, and nothing else; says so
// once the boxes are taken.
function takeCarried(carried) {
  applySettings(carried);
  keeping.linked = carried;
  if (tallsay) takeAll();
}

// Says what the link taken last set, as the page now holds it: the text as
// the box holds it, and the settings it took; a setting refused is said to
// be kept as it was.
function noteLink() {
  const carried = keeping.linked;
  if (!carried) return;
  keeping.linked = null;
  const now = {...settings(), 'line-len': String(taken.lineLen), 'name': taken.name, 'key': chaining.key};
  const refused = {'line-len': parseWidthLimit(carried['line-len'] ?? '').error !== undefined,
                   'name': taken.nameRefused, 'key': chaining.keyRefused};
  const parts = describeValues(now, kKeptIds.filter((id) => id in carried && !refused[id]), true);
  const kept = kKeptIds.filter((id) => id in carried && refused[id]).map((id) =>
    `${said(id, carried[id])}, which is not taken: the page keeps ${kSettingWords[id][1](now[id])}`);
  const note = [parts.length > 0 ? `The link set ${parts.join(', ')}.` : '',
                kept.length > 0 ? `The link carried ${kept.join('; ')}.` : ''].filter(Boolean).join(' ');
  showNote('link-note', note);
  if (note !== '') say(note);
}

// Answers the link's question: `take` replaces the text and settings with
// the link's, keeping the player's as the earlier ones; else keeps them.
function answerOffer(take) {
  const carried = keeping.offer;
  keeping.offer = null;
  element('offer').hidden = true;
  if (!take) {
    say('Your text and settings are kept; the link\'s were not taken.');
    return;
  }
  keepEarlier(settings());
  takeCarried(carried);
}

// Keeps `values` as the earlier text and settings, in storage where it
// can, and offers to bring them back.
function keepEarlier(values) {
  keeping.earlier = values;
  writeKept(kEarlierKey, values);
  showEarlier();
}

// Offers the earlier text and settings, when there are some.
function showEarlier() {
  const earlier = keeping.earlier;
  element('earlier-row').hidden = !(earlier && typeof earlier.text === 'string');
  if (!element('earlier-row').hidden) {
    element('earlier-note').textContent = `Earlier: ${describeValues(earlier).join(', ')}.`;
  }
}

// Swaps the text and settings with the earlier ones.
function bringBackEarlier() {
  const earlier = keeping.earlier;
  keepEarlier(settings());
  applySettings(earlier);
  if (tallsay) takeAll();
  say('The earlier text and settings are back; those they replaced are now the earlier ones.');
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
