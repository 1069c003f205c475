// Script output: the script file of console commands, a header and then one
// block of a comment and four `say` lines per text line, every line ending in
// CR LF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "banner/banner.h"
#include "platform/platform.h"

namespace tallsay {

// The shape of the script, shared by everything that writes or reads it.
inline constexpr std::string_view kScriptHeader = "// TALLSAY 4 line text version 1.0";
inline constexpr std::string_view kLineEnd = "\r\n";
inline constexpr std::string_view kCommentPrefix = "// ";
inline constexpr char kCommentSemicolon = ':';  // stands for ';' in the comment line
inline constexpr char kCommentStandIn = '?';    // stands for any other byte outside 0x20 to 0x7E
inline constexpr std::string_view kSayPrefix = "say \"";
inline constexpr std::string_view kSayTeamPrefix = "say_team \"";  // under `team`
inline constexpr std::string_view kSayEnd = "\"";
inline constexpr char kHideNameByte = '\r';  // leads each row under --no-name
inline constexpr std::string_view kWarningWords = "Warning: Line longer as specified: ";

// The length of the say or say_team prefix, quote included, that `line`
// starts with; 0 when it starts with neither.
inline std::size_t say_prefix_length(std::string_view line) {
  for (const std::string_view prefix : {kSayPrefix, kSayTeamPrefix}) {
    if (line.substr(0, prefix.size()) == prefix) return prefix.size();
  }
  return 0;
}

// The largest block one text line can give: warning line, comment line, four
// say lines and the empty line.
inline constexpr std::size_t kMaxBlockBytes =
    kCommentPrefix.size() + kWarningWords.size() + 2 * 11 + 3 + kLineEnd.size() +
    kCommentPrefix.size() + kMaxTextBytes + kLineEnd.size() +
    kRowCount * (kSayTeamPrefix.size() + 1 + (kRowBytes - 1) + kSayEnd.size() + kLineEnd.size()) +
    kLineEnd.size();

// The script is written in chunks of this size, so that every write but the
// last starts and ends on a page boundary of the file, which file systems
// take much faster than ragged writes.
inline constexpr std::size_t kWriteChunkBytes = 128 * 1024;

// The options that shape each block of a script.
struct BlockOptions {
  std::int32_t max_line_len = 0;  // warn above this width; 0 or below never warns
  bool hide_name = false;         // lead each row with a CR, which hides the name
  bool utf8 = false;              // the text is UTF-8: one '?' a character beyond ASCII
  bool team = false;              // say to the team only: say_team for say
};

// An open script. Its bytes gather in `buffer`, which holds a chunk and the
// block that overfills it; the stream is unbuffered. After the first failed
// write nothing more is written.
struct ScriptFile {
  std::FILE* stream;
  std::size_t used;         // bytes of `buffer` not yet written; below a chunk between blocks
  bool failed;              // a write, flush or close has failed
  Replacement replacement;  // how the file at the script's path is replaced
  char buffer[kWriteChunkBytes + kMaxBlockBytes];
};

// Opens the script at `path` and starts it (see start_script). What the path
// names is replaced whole when the script is closed (see begin_replacement):
// until then it stays as it was, and a script that fails is never put in
// its place. Returns false, with nothing opened or changed, when the file
// cannot be created or opened for writing.
bool open_script(ScriptFile& script, const char* path);

// Starts a script on `stream`, already open for binary writing, and puts the
// header (the header line and an empty line) into its buffer. The script is
// written into the stream as it stands, not replaced.
void start_script(ScriptFile& script, std::FILE* stream);

// Adds the block of one text line: when options.max_line_len is above 0 and
// the banner is wider, the warning goes to `console` and as a comment line
// into the script; then the comment line repeating `text` in printable ASCII
// (each ';' written as ':' and every other byte outside 0x20 to 0x7E as '?',
// or under options.utf8 each character beyond ASCII and each ill-formed part
// as one '?', so that no console takes any part of it as a command), the four
// rows as say lines (say_team under options.team; each row led by a CR under
// options.hide_name), and an empty line. `text` is the line as read and
// `banner` its layout. Returns false once any write of the script has failed.
bool write_block(ScriptFile& script, std::string_view text, const Banner& banner,
                 const BlockOptions& options, std::FILE* console);

// Adds the caller's line `line` and a line end to the script, such as the
// bind line of a chain. Returns false once any write of the script has
// failed. REQUIRES: `line` holds no line end and is shorter than
// kMaxBlockBytes.
bool write_line(ScriptFile& script, std::string_view line);

// Makes in `script`'s buffer, with no stream, the script that an
// interactive run leaves for the one text line `text`: the header and the
// block that write_block adds, its warning written into it alone. Returns
// the script's bytes, which live in `script` until it is used again; the
// script is not to be closed.
std::string_view script_of_line(ScriptFile& script, std::string_view text, const Banner& banner,
                                const BlockOptions& options);

// Writes out what the buffer holds, closes the stream and puts the new file
// in place; the file is then complete. Returns false when this or any earlier
// write, the close or the putting in place has failed; the file at the path
// then stays as it was, unless it is written in place. The stream is closed
// either way.
bool close_script(ScriptFile& script);

}  // namespace tallsay
