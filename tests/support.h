// Helpers shared by the tests: byte strings in hex, scratch folders and
// files, and running the built tool.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace tallsay::test {

// "25 8B" -> the two bytes 0x25 0x8B; blanks between bytes are skipped.
std::string from_hex(const std::string& hex);

// Reads the case table `name` of tests/data: one case a line, its fields
// apart by tabs; lines that are empty or start with '#' are skipped. In a
// field, \n \r \t \\ and \xHH stand for their bytes and {N*c} for N bytes
// c; a field of a lone - is empty.
std::vector<std::vector<std::string>> read_cases(const char* name);

struct WrittenScript {
  std::string script;   // the file's bytes
  std::string console;  // what went to the console stream
};

// Writes a script of one block per text through the script writer, with
// the two options of write_block.
WrittenScript write_script(const std::vector<std::string>& texts, std::int32_t max_line_len = 0,
                           bool hide_name = false);

// Returns what `stream` holds from its start.
std::string read_back(std::FILE* stream);

// A temporary stream holding `bytes`, positioned at its start.
std::FILE* stream_holding(const std::string& bytes);

std::string read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const std::string& bytes);

// A fresh empty folder, removed when the object goes.
struct ScratchDir {
  ScratchDir();
  ~ScratchDir();
  std::filesystem::path path;
  std::string file(const char* name) const { return (path / name).string(); }
};

// `text` with each "\n" turned into the platform's console line end.
std::string console(std::string text);

struct ToolResult {
  int status;
  std::string out;
  std::string err;
};

// `word` quoted for the platform's shell.
std::string shell_quote(const std::string& word);

// The shell command that runs the program `exe` with `args`.
std::string program_command(const std::string& exe, const std::vector<std::string>& args);

// The shell command that runs the built tool with `args`.
std::string tool_command(const std::vector<std::string>& args);

// Starts the built tool in `dir` with `args`; returns the pipe to its
// standard input. Its standard output and error go to files in `dir`;
// `redirect` is added to the shell command as it stands.
std::FILE* start_tool(const ScratchDir& dir, const std::vector<std::string>& args,
                      const std::string& redirect = "");

// Closes the pipe of start_tool, waits for the tool to end, and collects its
// exit status and output streams.
ToolResult finish_tool(const ScratchDir& dir, std::FILE* input);

// Runs the built tool in `dir` with `args`, feeding `input` down the pipe
// to its standard input.
ToolResult run_tool(const ScratchDir& dir, const std::vector<std::string>& args,
                    const std::string& input = "", const std::string& redirect = "");

// Runs the built preview program in `dir` as run_tool runs the tool.
ToolResult run_preview(const ScratchDir& dir, const std::vector<std::string>& args,
                       const std::string& input = "");

}  // namespace tallsay::test
