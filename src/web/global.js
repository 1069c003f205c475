// Where the script is not a page's classic script (an ES module imports it,
// or node runs it), its factory is still found by this name.
globalThis.createTallsay = createTallsay;
