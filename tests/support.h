// Helpers shared by the tests: the case tables of tests/data, scratch
// folders and files, and running a built program.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tallsay::test {

// "25 8B" -> the two bytes 0x25 0x8B; blanks between bytes are skipped.
std::string from_hex(const std::string& hex);

// The parts of `text` between the `separator`s; none of an empty text.
std::vector<std::string> split(const std::string& text, char separator);

// Reads the case tables `names` of tests/data, in order: one case a line,
// its fields apart by tabs; lines that are empty or start with '#' are
// skipped. A line "=NAME<tab>text" defines {NAME}: in every later line,
// {NAME} stands for the text. In a field, \n \r \t \\ and \xHH stand for
// their bytes, {N*text} for N times the text (up to its closing brace; the
// text may hold such braces too), and
// a lone - for an empty field. A table that cannot be opened, a case with
// fewer than `min_fields` or more than `max_fields` fields (left out), and
// tables that hold no case at all are test failures.
std::vector<std::vector<std::string>> read_cases(const std::vector<const char*>& names,
                                                 std::size_t min_fields, std::size_t max_fields);

std::string read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const std::string& bytes);

// A fresh empty folder in `parent`, removed when the object goes. Its name
// holds Cyrillic and Japanese letters, so that every test names files
// outside the ANSI code page of a Windows system.
struct ScratchDir {
  explicit ScratchDir(const std::filesystem::path& parent = std::filesystem::temp_directory_path());
  ~ScratchDir();
  std::filesystem::path path;
  // The UTF-8 path of the file `name` in the folder.
  std::string file(const char* name) const { return (path / name).u8string(); }
};

struct ProgramResult {
  int status;
  std::string out;
  std::string err;
};

// The whole run of a program: tallsay's run_tallsay, tallsay-preview's.
using RunFunction = int (*)(int, const char* const*, std::FILE*, const Console&);

// Runs `run` in this process with `args` after the program's name and
// standard input read from `input`, which it closes; output and errors go to
// the files stdout and stderr in `dir`, or an argument ">PATH" sends the
// output to PATH. `run` ends as the program's main does, closing the output.
ProgramResult run_in_process(RunFunction run, const ScratchDir& dir,
                             const std::vector<std::string>& args, std::FILE* input);

// tallsay's whole run as its main runs it, closing the output: a RunFunction.
int run_tool(int argc, const char* const* argv, std::FILE* input, const Console& console);

// `text` with the names the tables give the scratch folder `dir` and the
// system's words put in: {IN} its in.txt, {OUT} its out.cfg, {DIR} the
// folder, {N} the words for ENOENT, {D} for EISDIR and {F} for ENOSPC.
std::string expand(std::string text, const ScratchDir& dir);

// Runs tallsay in this process on `text` into the script `name` in `dir`
// (or a whole path in ASCII), with the arguments `more` after --out-file: a
// batch run over in.txt, or an interactive run with `text` typed.
ProgramResult convert(const ScratchDir& dir, bool batch, const std::string& text,
                      const char* name = "out.cfg", std::vector<std::string> more = {});

// Lines "line 0" to "line `count` - 1", one a line.
std::string numbered_lines(int count);

// The names of the files and folders in `dir`.
std::set<std::string> names_in(const ScratchDir& dir);

// How many descriptors this process holds open; 0 where they cannot be
// counted.
std::size_t open_descriptors();

#ifdef __linux__

// A stream that reads `text` and then fails with EIO: this process's memory
// read through /proc/self/mem, from `text` put at the end of a page that no
// page follows. REQUIRES: `text` fits in a page.
std::FILE* open_failing_stream(const std::string& text);
#endif

// Starts the built program `exe` in `dir` with `args` (UTF-8), its standard output
// and error going to files there, and returns the pipe to its standard input.
std::FILE* start_program(const char* exe, const ScratchDir& dir,
                         const std::vector<std::string>& args);

// Closes the pipe of start_program, waits for the program to end, and
// collects its exit status and output.
ProgramResult finish_program(const ScratchDir& dir, std::FILE* input);

}  // namespace tallsay::test
