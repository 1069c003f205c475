#include "support.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include "banner/banner.h"
#include "script/script.h"

namespace tallsay::test {

std::string from_hex(const std::string& hex) {
  std::string bytes;
  std::istringstream in(hex);
  for (unsigned value; in >> std::hex >> value;) bytes += static_cast<char>(value);
  return bytes;
}

namespace {

std::string unescape(const std::string& field) {
  std::string bytes;
  if (field == "-") return bytes;
  for (std::size_t i = 0; i < field.size(); ++i) {
    const char c = field[i];
    if (c == '{' && field.find('*', i) != std::string::npos) {
      const std::size_t star = field.find('*', i);
      bytes.append(std::stoul(field.substr(i + 1, star - i - 1)), field[star + 1]);
      i = star + 2;  // the closing brace
    } else if (c != '\\' || i + 1 == field.size()) {
      bytes += c;
    } else if (field[++i] == 'x') {
      bytes += static_cast<char>(std::stoi(field.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      const char escaped = field[i];
      bytes += escaped == 'n' ? '\n' : escaped == 'r' ? '\r' : escaped == 't' ? '\t' : escaped;
    }
  }
  return bytes;
}

}  // namespace

std::vector<std::vector<std::string>> read_cases(const char* name) {
  std::ifstream in(std::filesystem::path(TALLSAY_TEST_DATA) / name);
  std::vector<std::vector<std::string>> cases;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> fields;
    std::istringstream split(line);
    for (std::string field; std::getline(split, field, '\t');) fields.push_back(unescape(field));
    cases.push_back(fields);
  }
  return cases;
}

WrittenScript write_script(const std::vector<std::string>& texts, std::int32_t max_line_len,
                           bool hide_name) {
  static ScriptFile script;
  static Banner banner;
  std::FILE* out = std::tmpfile();
  std::FILE* console = std::tmpfile();
  start_script(script, out);
  for (const auto& text : texts) {
    lay_out_banner(text, banner);
    write_block(script, text, banner, max_line_len, hide_name, console);
  }
  flush_script(script);
  WrittenScript written{read_back(out), read_back(console)};
  std::fclose(out);
  std::fclose(console);
  return written;
}

std::string read_back(std::FILE* stream) {
  std::fflush(stream);
  std::rewind(stream);
  std::string bytes;
  char block[4096];
  for (std::size_t n; (n = std::fread(block, 1, sizeof block, stream)) > 0;) bytes.append(block, n);
  return bytes;
}

std::FILE* stream_holding(const std::string& bytes) {
  std::FILE* stream = std::tmpfile();
  std::fwrite(bytes.data(), 1, bytes.size(), stream);
  std::fflush(stream);
  std::rewind(stream);
  return stream;
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void write_file(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

ScratchDir::ScratchDir() {
  std::mt19937_64 random(
      std::random_device{}() ^
      static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count()));
  path = std::filesystem::temp_directory_path() / ("tallsay-test-" + std::to_string(random()));
  std::filesystem::create_directories(path);
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

std::string console(std::string text) {
#ifdef _WIN32
  for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 2) {
    text.insert(at, 1, '\r');
  }
#endif
  return text;
}

std::string shell_quote(const std::string& word) {
#ifdef _WIN32
  // Backslashes are doubled where they come before a quote, so that the
  // program's argument parser gives them back as they were.
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (char c : word) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  return quoted.append(2 * backslashes, '\\') + '"';
#else
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
#endif
}

std::string program_command(const std::string& exe, const std::vector<std::string>& args) {
  std::string command = shell_quote(exe);
  for (const auto& arg : args) command += ' ' + shell_quote(arg);
  return command;
}

std::string tool_command(const std::vector<std::string>& args) {
  return program_command(TALLSAY_EXE, args);
}

namespace {

std::FILE* start_program(const std::string& exe, const ScratchDir& dir,
                         const std::vector<std::string>& args, const std::string& redirect) {
  const std::string command = program_command(exe, args) + " >" +
                              shell_quote(dir.file("stdout.txt")) + " 2>" +
                              shell_quote(dir.file("stderr.txt")) + redirect;
#ifdef _WIN32
  // cmd.exe strips one outer pair of quotes from the command.
  return _popen(('"' + command + '"').c_str(), "wb");
#else
  std::signal(SIGPIPE, SIG_IGN);  // the tool may end before it has read all
  return popen(command.c_str(), "w");
#endif
}

ToolResult run_program(const std::string& exe, const ScratchDir& dir,
                       const std::vector<std::string>& args, const std::string& input,
                       const std::string& redirect) {
  std::FILE* pipe = start_program(exe, dir, args, redirect);
  std::fwrite(input.data(), 1, input.size(), pipe);
  return finish_tool(dir, pipe);
}

}  // namespace

std::FILE* start_tool(const ScratchDir& dir, const std::vector<std::string>& args,
                      const std::string& redirect) {
  return start_program(TALLSAY_EXE, dir, args, redirect);
}

ToolResult finish_tool(const ScratchDir& dir, std::FILE* input) {
#ifdef _WIN32
  const int status = _pclose(input);
#else
  const int raw = pclose(input);
  const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
#endif
  return {status, read_file(dir.path / "stdout.txt"), read_file(dir.path / "stderr.txt")};
}

ToolResult run_tool(const ScratchDir& dir, const std::vector<std::string>& args,
                    const std::string& input, const std::string& redirect) {
  return run_program(TALLSAY_EXE, dir, args, input, redirect);
}

ToolResult run_preview(const ScratchDir& dir, const std::vector<std::string>& args,
                       const std::string& input) {
  return run_program(TALLSAY_PREVIEW_EXE, dir, args, input, "");
}

}  // namespace tallsay::test
