// tallsay as an ES module, for pages served over http and for node: the
// default export is the async factory of tallsay.js, whose instance has
// convert(bytes, {lineLen, noName}) and preview(bytes).
import './tallsay.js';

export default globalThis.createTallsay;
