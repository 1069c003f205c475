// The page in headless Chromium: each test of tests/data/page.cases, its
// steps played in turn.
import test from 'node:test';

import {play} from './browser.mjs';
import {readCases} from './support.mjs';

for (const [kind, title] of readCases('scenario', true, 'page')) {
  test(title, () => play(readCases(kind, true, 'page')));
}
