#include "support.h"

#include "frontend/run_options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#ifndef _WIN32
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

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
    std::size_t digits = i + 1;
    while (digits < field.size() && std::isdigit(static_cast<unsigned char>(field[digits]))) {
      ++digits;
    }
    if (field[i] == '{' && digits > i + 1 && field[digits] == '*') {
      std::size_t close = digits;
      for (int depth = 1; depth > 0 && ++close < field.size();) {
        depth += field[close] == '{' ? 1 : field[close] == '}' ? -1 : 0;
      }
      const std::string unit = unescape(field.substr(digits + 1, close - digits - 1));
      for (unsigned long n = std::stoul(field.substr(i + 1, digits - i - 1)); n > 0; --n) {
        bytes += unit;
      }
      i = close;
    } else if (field[i] != '\\' || i + 1 == field.size()) {
      bytes += field[i];
    } else if (field[++i] == 'x') {
      bytes += static_cast<char>(std::stoi(field.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      const char c = field[i];
      bytes += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
    }
  }
  return bytes;
}

}  // namespace

std::vector<std::vector<std::string>> read_cases(const std::vector<const char*>& names,
                                                 std::size_t min_fields, std::size_t max_fields) {
  std::map<std::string, std::string> macros;
  std::vector<std::vector<std::string>> cases;
  for (const char* name : names) {
    std::ifstream in(std::filesystem::path(TALLSAY_TEST_DATA) / name);
    if (!in) ADD_FAILURE() << "cannot open the case table " << name;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
      ++number;
      if (line.empty() || line[0] == '#') continue;
      for (const auto& [macro, text] : macros) {
        for (std::size_t at; (at = line.find(macro)) != std::string::npos;) {
          line.replace(at, macro.size(), text);
        }
      }
      const std::size_t tab = line.find('\t');
      if (line[0] == '=') {
        macros['{' + line.substr(1, tab - 1) + '}'] = line.substr(tab + 1);
        continue;
      }
      std::vector<std::string> fields;
      std::istringstream split(line);
      for (std::string field; std::getline(split, field, '\t');) fields.push_back(unescape(field));
      if (fields.size() < min_fields || fields.size() > max_fields) {
        ADD_FAILURE() << name << ':' << number << ": " << fields.size() << " fields, expected "
                      << min_fields << " to " << max_fields;
        continue;
      }
      cases.push_back(fields);
    }
  }
  if (cases.empty()) ADD_FAILURE() << "no case in the tables " << names.back();
  return cases;
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void write_file(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

ScratchDir::ScratchDir(const std::filesystem::path& parent) {
  std::mt19937_64 random(
      std::random_device{}() ^
      static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count()));
  path = parent / std::filesystem::u8path("tallsay-test-Иван-日本語-" + std::to_string(random()));
  std::filesystem::create_directories(path);
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

ProgramResult run_in_process(RunFunction run, const ScratchDir& dir,
                             const std::vector<std::string>& args, std::FILE* input) {
  std::string out_path = dir.file("stdout");
  std::vector<const char*> argv = {"program"};
  for (const auto& arg : args) {
    if (arg[0] == '>') out_path = arg.substr(1);
    if (arg[0] != '>') argv.push_back(arg.c_str());
  }
  std::FILE* out = open_file(out_path.c_str(), "wb");
  std::FILE* err = open_file(dir.file("stderr").c_str(), "wb");
  const int status = run(static_cast<int>(argv.size()), argv.data(), input, {out, err});
  std::fclose(input);
  std::fclose(err);
  return {status, read_file(dir.path / "stdout"), read_file(dir.path / "stderr")};
}

int run_tool(int argc, const char* const* argv, std::FILE* input, const Console& console) {
  const int status = run_tallsay(argc, argv, input, console);
  std::fclose(console.out);
  return status;
}

ProgramResult convert(const ScratchDir& dir, bool batch, const std::string& text, const char* name,
                      std::vector<std::string> more) {
  write_file(dir.path / "in.txt", text);
  write_file(dir.path / "stdin", text);
  more.insert(more.begin(), "--out-file=" + dir.file(name));
  if (batch) more.push_back("--in-file=" + dir.file("in.txt"));
  return run_in_process(run_tool, dir, more, open_file(dir.file("stdin").c_str(), "rb"));
}

std::string numbered_lines(int count) {
  std::string lines;
  for (int i = 0; i < count; ++i) lines += "line " + std::to_string(i) + "\n";
  return lines;
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  for (std::size_t start = 0; !text.empty() && start <= text.size();) {
    const std::size_t end = std::min(text.find(separator, start), text.size());
    parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::string expand(std::string text, const ScratchDir& dir) {
  const std::pair<const char*, std::string> names[] = {
      {"{IN}", dir.file("in.txt")},   {"{OUT}", dir.file("out.cfg")},
      {"{DIR}", dir.path.u8string()}, {"{N}", std::strerror(ENOENT)},
      {"{D}", std::strerror(EISDIR)}, {"{F}", std::strerror(ENOSPC)}};
  for (const auto& [name, value] : names) {
    for (std::size_t at = 0; (at = text.find(name, at)) != std::string::npos; at += value.size()) {
      text.replace(at, std::strlen(name), value);
    }
  }
  return text;
}

std::set<std::string> names_in(const ScratchDir& dir) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path)) {
    names.insert(entry.path().filename().u8string());
  }
  return names;
}

std::size_t open_descriptors() {
#ifdef __linux__
  return static_cast<std::size_t>(
      std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
#else
  return 0;
#endif
}

#ifdef __linux__

std::FILE* open_failing_stream(const std::string& text) {
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  // The pages stay mapped until the tests end; a stream reads them at any time.
  auto* pages = static_cast<char*>(
      mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  EXPECT_NE(MAP_FAILED, static_cast<void*>(pages));
  munmap(pages + page, page);
  char* at = pages + page - text.size();
  std::memcpy(at, text.data(), text.size());
  std::FILE* memory = std::fopen("/proc/self/mem", "rb");
  EXPECT_NE(nullptr, memory);
  lseek(fileno(memory), static_cast<off_t>(reinterpret_cast<std::uintptr_t>(at)), SEEK_SET);
  return memory;
}
#endif

std::FILE* start_program(const char* exe, const ScratchDir& dir,
                         const std::vector<std::string>& args) {
  // Every word is quoted; the tests' words hold no quote, $ or `.
  std::string command = '"' + std::string(exe) + '"';
  for (const auto& arg : args) command += " \"" + arg + '"';
  command += " >\"" + dir.file("stdout") + "\" 2>\"" + dir.file("stderr") + '"';
#ifdef _WIN32
  // cmd.exe strips one outer pair of quotes from the command, which goes in
  // UTF-16, so that any name reaches the program.
  return _wpopen(std::filesystem::u8path('"' + command + '"').c_str(), L"wb");
#else
  std::signal(SIGPIPE, SIG_IGN);  // the program may end before it has read all
  return popen(command.c_str(), "w");
#endif
}

ProgramResult finish_program(const ScratchDir& dir, std::FILE* input) {
#ifdef _WIN32
  const int status = _pclose(input);
#else
  const int raw = pclose(input);
  const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
#endif
  return {status, read_file(dir.path / "stdout"), read_file(dir.path / "stderr")};
}

}  // namespace tallsay::test
