// Preview: shows what the say rows of a script will look like in the game,
// drawing each cell byte as the block character the game's font shows.
#pragma once

#include <cstdio>
#include <string_view>

namespace tallsay {

enum class PreviewResult {
  kShown,       // every block was written out
  kNotAScript,  // the first line is not the script header; nothing was written
};

// Writes to `out` the on-screen form of the bytes between the quotes of one
// say line, followed by LF: a blank for 0x20, U+2580 for 0x96 (upper pixel),
// U+2584 for 0x8B (lower pixel), U+2588 for 0x25 (both), in UTF-8. Control
// bytes, the CR of --no-name among them, take no column and are left out;
// any other byte, which the tool never writes there, shows as '?'.
void render_row(std::string_view row, std::FILE* out);

// Reads the script on `in`, with CR LF or LF line ends, and writes the rows
// of every block to `out` (see render_row), with one empty line after each
// block. Header, comment and warning lines are not shown.
PreviewResult preview_script(std::FILE* in, std::FILE* out);

}  // namespace tallsay
