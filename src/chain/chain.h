// Chain: one banner per key press. A text of N lines becomes N scripts; each
// says its line and then binds the key to the next script, the last to the
// first, so that every press of the one key says the next line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "banner/banner.h"
#include "frontend/run_options.h"
#include "platform/platform.h"
#include "script/script.h"

namespace tallsay {

// The longest script name that a chain or a bind line takes, in bytes.
inline constexpr std::size_t kMaxScriptNameBytes = 64;
inline constexpr std::string_view kScriptExtension = ".cfg";

// Writes into `name` the script name the console can `exec` for the typed
// `typed`: letters, digits, '_', '-' and '.', starting with a letter or
// digit, ending in ".cfg" in any case (added when it is missing), at most
// kMaxScriptNameBytes bytes with it. Returns false, with `name` empty, for
// anything else. (The page's rules.js holds the same rule.)
bool check_script_name(std::string_view typed, char (&name)[kMaxScriptNameBytes + 1]);

// Whether `key` names a key the console binds: one letter or digit, F1 to
// F12, or one of the console's other key names (SPACE, TAB, KP_5,
// MOUSE4, ...), in any case.
bool is_key_name(std::string_view key);

// Writes into `name` the name of script `index` (0 the first) of the chain
// whose first script is named `first` (a name check_script_name gives): the
// first itself, then its stem with "-2", "-3", ... and its extension. Returns
// false when the name would be longer than kMaxScriptNameBytes.
bool chain_script_name(std::string_view first, int index, char (&name)[kMaxScriptNameBytes + 1]);

// Writes into `buffer` the bind line `bind <key> "exec <script>"`, without a
// line end, and returns its length; the text is cut to fit.
inline constexpr std::size_t kBindLineBytes = 32 + kMaxScriptNameBytes;
std::size_t bind_line(std::string_view key, std::string_view script, char* buffer,
                      std::size_t size);

// Makes in `script`'s buffer, with no stream, one script of a chain: the
// script an interactive run leaves for the text line `text` (laid out in
// `banner`), then the bind line that binds `key` to the script `next`.
// Returns its bytes, which live in `script` until it is used again.
std::string_view chain_script(ScriptFile& script, std::string_view text, const Banner& banner,
                              const RunOptions& options, std::string_view key,
                              std::string_view next);

// What writing a chain did.
enum class ChainOutcome {
  kWritten,          // every script is written
  kInputOpenFailed,  // the text cannot be opened; nothing written
  kSameFile,         // the text is one of the scripts; the ones before it stay
  kNameTooLong,      // a script's name would be too long; the ones before it stay
  kWriteFailed,      // a script could not be written; the ones before it stay
  kReadFailed,       // reading the text failed; the scripts of the lines before stay
};

// A text line over kMaxTextBytes bytes is read in pieces, each a script of
// its own; the lines are counted as the text's reader counts them, a line
// cut into pieces once.
struct ChainResult {
  ChainOutcome outcome;
  int written;        // scripts written whole, the first ones of the chain
  int error;          // errno of a failure
  int lines;          // text lines whose scripts were all written
  int cut_lines;      // of them, lines cut into pieces
  int over_count;     // text lines with a script written that passes a limit of the console on
                      // its own
  int over_lines[8];  // the numbers (from 1) of the first of them
  bool over_cut[8];   // whether each of those is a line cut into pieces
};

// Room for writing a chain.
struct ChainWork {
  TextReader reader;
  Banner banner;
  ScriptFile script;
  char lines[2][kLineBufferSize];  // the line being written and the next
};

// Writes the chain of the text file `text_path` (read as the batch run reads
// it, up to the first empty line) into the folder `folder` (empty for the
// working folder, else ending in a path separator), its first script named
// `first` and the others after it (see chain_script_name), each replaced
// whole; `key` is the key the chain binds; line-length warnings go to
// `warnings`. Stops at the first script that
// cannot be written; the scripts before it stay as written. A text of no
// line writes nothing.
// REQUIRES: check_script_name(first) and is_key_name(key) hold.
ChainResult write_chain(const char* text_path, std::string_view folder, std::string_view first,
                        std::string_view key, const RunOptions& options, ChainWork& work,
                        std::FILE* warnings);

}  // namespace tallsay
