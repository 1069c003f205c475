// A model of how the consoles of this kind run a script, written from the
// rules the project keeps of them: how a script is split into commands, and
// what a say command says. The tests and the fuzz target run every script
// they make through it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tallsay::test {

enum class ConsoleKind {
  kTarget,          // ends a command at LF and at ';' outside quotes
  kCarriageReturn,  // also at every CR, even inside quotes and comments
  kLineByLine,      // as kCarriageReturn; a script of over 16381 bytes is read
                    // line by line, which also ends a command at every other
                    // byte below 0x20 and every byte 0x80 or above
};

// One command as the console runs it; its parts point into the script.
struct ModelCommand {
  std::string_view name;       // its first word; empty for a command of blanks
  std::string_view arguments;  // the rest after the blanks that follow the name
  std::string_view said;       // for a say: the text said, its quotes taken off
};

// The commands that `kind` of console runs for `script`: comments and blank
// commands are left out. The trailing CR of a CR LF line is dropped. The
// commands point into `script`.
std::vector<ModelCommand> run_console(std::string_view script, ConsoleKind kind);

// Whether `name` can name nothing the console runs: it holds no letter,
// digit, '_', '+' or '-', which every command, setting and alias name holds.
bool names_nothing(std::string_view name);

// The rows of the say lines of a script written by the tool, in order: the
// bytes between `say "` and the closing quote of each such line.
std::vector<std::string> say_rows(std::string_view script);

// Checks what every script of the tool must give in every console: the
// target console runs exactly one say per row of `rows`, saying the row
// whole, and the commands named in `allowed` (such as a bind line) in
// order after them; stricter consoles run nothing but says and commands
// that name nothing. Returns an empty string, or what went wrong.
std::string check_harmless(std::string_view script, const std::vector<std::string>& rows,
                           const std::vector<std::string>& allowed = {});

// check_harmless for a script of the tool that holds only its header and
// blocks (or nothing, when no script was made): four say rows per block,
// the blocks counted by the empty lines that end them. Returns an empty string, or
// what went wrong.
std::string check_tool_script(std::string_view script);

}  // namespace tallsay::test
