// What the window decides without a window: its settings file and command
// line (settings.cases, window_arguments.cases), what Enter and a converted
// text file do to the script, against the tool's own runs
// (window_lines.cases, window_conversions.cases), and its smaller words and
// steps (window_words.cases).
#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "console_model.h"
#include "frontend/run_options.h"
#include "support.h"
#include "window/window.h"

namespace tallsay {
namespace {

using test::read_file;
using test::ScratchDir;

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  for (std::size_t start = 0; !text.empty() && start <= text.size();) {
    const std::size_t end = std::min(text.find(separator, start), text.size());
    parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

void replace_all(std::string& text, const std::string& name, const std::string& value) {
  for (std::size_t at = 0; (at = text.find(name, at)) != std::string::npos; at += value.size()) {
    text.replace(at, name.size(), value);
  }
}

// The names a table uses for the scratch folder and the system's words.
std::string expand(std::string text, const ScratchDir& dir) {
  replace_all(text, "{IN}", dir.file("in.txt"));
  replace_all(text, "{OUT}", dir.file("out.cfg"));
  replace_all(text, "{DIR}", dir.path.u8string());
  replace_all(text, "{N}", std::strerror(ENOENT));
  replace_all(text, "{D}", std::strerror(EISDIR));
  replace_all(text, "{F}", std::strerror(ENOSPC));
  return text;
}

WindowSettings settings_with(const std::string& path, std::int32_t line_len, bool hide_name,
                             const std::string& folder = "") {
  WindowSettings settings = default_settings();
  std::snprintf(settings.script_path, sizeof settings.script_path, "%s", path.c_str());
  settings.max_line_len = line_len;
  settings.hide_name = hide_name;
  std::snprintf(settings.last_folder, sizeof settings.last_folder, "%s", folder.c_str());
  return settings;
}

// Runs tallsay in this process with `args`, standard input from `input`;
// returns its standard error.
std::string run_tool(const ScratchDir& dir, const std::vector<std::string>& args,
                     const std::string& input) {
  test::write_file(dir.path / "stdin", input);
  const auto result =
      test::run_in_process(test::run_tool, dir, args, open_file(dir.file("stdin").c_str(), "rb"));
  EXPECT_EQ(0, result.status);
  return result.err;
}

std::vector<std::string> tool_options(const WindowSettings& settings) {
  std::vector<std::string> options = {"--line-len=" + std::to_string(settings.max_line_len)};
  if (settings.hide_name) options.push_back("--no-name");
  return options;
}

// The system's words for the failure that has just happened, as the window
// takes them where no Windows call failed.
std::string reason() {
  return std::strerror(errno);
}

static ScriptWork work;  // too large for the stack of a test

// The script before each case, {OLD} of blocks.cases.
const char* const kOldScript = "old script\r\n";

TEST(WindowTest, SettingsFile) {
  for (const auto& c : test::read_cases({"settings.cases"}, 6, 6)) {
    WindowSettings settings = settings_with("before.cfg", 7, false, "C:\\before");
    read_settings(c[1], settings);
    EXPECT_EQ(c[2], settings.script_path) << c[0];
    EXPECT_EQ(std::stoi(c[3]), settings.max_line_len) << c[0];
    EXPECT_EQ(c[4] == "1", settings.hide_name) << c[0];
    EXPECT_EQ(c[5], settings.last_folder) << c[0];
  }
}

TEST(WindowTest, SettingsReadBackAsWritten) {
  for (const auto& written : {settings_with("C:\\Program Files (x86)\\Иван\\日本語 & (x).cfg", -12,
                                            true, "C:\\Program Files (x86)\\Иван"),
                              settings_with(std::string(kMaxPathBytes - 1, 'p'), 2147483647, false,
                                            std::string(kMaxPathBytes - 1, 'f')),
                              settings_with("", 0, true)}) {
    char text[kSettingsTextBytes];
    const std::size_t length = write_settings(written, text, sizeof text);
    const std::string_view bytes(text, length);
    EXPECT_EQ(std::string(bytes).find('\n'), std::string(bytes).find("\r\n") + 1);
    WindowSettings read = settings_with("other.cfg", 5, !written.hide_name);
    read_settings(bytes, read);
    EXPECT_STREQ(written.script_path, read.script_path);
    EXPECT_EQ(written.max_line_len, read.max_line_len);
    EXPECT_EQ(written.hide_name, read.hide_name);
    EXPECT_STREQ(written.last_folder, read.last_folder);
    EXPECT_TRUE(same_settings(written, read));
  }
}

// Two windows on one settings file: each writes the setting it changed
// into what the file holds, so neither loses the other's.
TEST(WindowTest, SettingsOfTwoWindowsAreKept) {
  const WindowSettings read_by_both = settings_with("a.cfg", 0, false, "C:\\cfg");
  WindowSettings first = read_by_both;
  first.max_line_len = 40;
  WindowSettings file = read_by_both;
  take_setting(file, first, SettingKey::kLimit);
  WindowSettings second = read_by_both;
  second.hide_name = true;
  EXPECT_FALSE(same_settings(file, second));  // the second window learns of the change
  take_setting(file, second, SettingKey::kHideName);
  EXPECT_TRUE(same_settings(settings_with("a.cfg", 40, true, "C:\\cfg"), file));
  WindowSettings chosen = settings_with("b.cfg", 0, false, "D:\\game");
  take_setting(file, chosen, SettingKey::kScript);
  take_setting(file, chosen, SettingKey::kLastFolder);
  EXPECT_TRUE(same_settings(settings_with("b.cfg", 40, true, "D:\\game"), file));
}

TEST(WindowTest, CommandLine) {
  for (const auto& c : test::read_cases({"window_arguments.cases"}, 8, 8)) {
    const auto args = split(c[1], '|');
    std::vector<const char*> argv = {"tallsay-window"};
    for (const auto& arg : args) argv.push_back(arg.c_str());
    WindowSettings settings = settings_with("saved.cfg", 40, false);
    const char* bad = nullptr;
    const ArgumentOutcome outcome =
        apply_arguments(static_cast<int>(argv.size()), argv.data(), settings, bad);
    const char* outcomes[] = {"run", "invalid", "too_long"};
    EXPECT_EQ(c[2], outcomes[static_cast<int>(outcome)]) << c[0];
    EXPECT_EQ(c[3], bad != nullptr ? bad : "") << c[0];
    EXPECT_EQ(c[4], settings.script_path) << c[0];
    EXPECT_EQ(std::stoi(c[5]), settings.max_line_len) << c[0];
    EXPECT_EQ(c[6] == "1", settings.hide_name) << c[0];
    char status[kStatusBytes];
    describe_arguments(outcome, bad, status, sizeof status);
    EXPECT_EQ(c[7], status) << c[0];
  }
}

TEST(WindowTest, EnterWritesWhatTheInteractiveRunWrites) {
  const char* outcomes[] = {"written",   "empty",  "too_long",    "line_break",
                            "no_script", "folder", "open_failed", "write_failed"};
  for (const auto& c : test::read_cases({"blocks.cases", "window_lines.cases"}, 9, 9)) {
#ifndef __linux__
    if (c[1] == "linux") continue;
#endif
    ScratchDir dir;
    const auto out = dir.path / "out.cfg";
    test::write_file(out, kOldScript);
    const WindowSettings settings =
        settings_with(c[5] == "" ? "" : expand(c[5], dir), std::stoi(c[3]), c[4] == "1");
    std::FILE* warnings = open_file(dir.file("warnings").c_str(), "wb");
    std::int32_t width = -1;
    errno = 0;
    const LineOutcome outcome = send_line(c[2], settings, work, warnings, width);
    const std::string why = reason();
    std::fclose(warnings);
    EXPECT_EQ(c[6], outcomes[static_cast<int>(outcome)]) << c[0];
    char status[kStatusBytes];
    describe_line(outcome, c[2], width, settings, why.c_str(), status, sizeof status);
    EXPECT_EQ(expand(c[7], dir), status) << c[0];
    if (c[8] != "run") {
      EXPECT_EQ(c[8], read_file(out)) << c[0];
      EXPECT_EQ("", read_file(dir.path / "warnings")) << c[0];
      continue;
    }
    auto args = tool_options(settings);
    args.push_back("--out-file=" + dir.file("tool.cfg"));
    EXPECT_EQ(run_tool(dir, args, c[2] + "\n"), read_file(dir.path / "warnings")) << c[0];
    EXPECT_EQ(read_file(dir.path / "tool.cfg"), read_file(out)) << c[0];
    EXPECT_EQ("", test::check_tool_script(read_file(out))) << c[0];
  }
}

TEST(WindowTest, ConvertingWritesWhatTheBatchRunWrites) {
  const char* outcomes[] = {
      "converted",   "input_open_failed", "same_file",        "open_failed", "write_failed",
      "read_failed", "empty_text",        "first_line_empty", "not_text",    "folder"};
  for (const auto& c : test::read_cases({"blocks.cases", "window_conversions.cases"}, 8, 8)) {
#ifndef __linux__
    if (c[1] == "linux") continue;
#endif
    ScratchDir dir;
    const auto out = dir.path / "out.cfg";
    test::write_file(out, kOldScript);
    test::write_file(dir.path / "in.txt", c[2]);
    const WindowSettings settings = settings_with("chat.cfg", 5, true);
    const std::string text_path = expand(c[3], dir);
    const std::string script_path = expand(c[4], dir);
    std::FILE* warnings = open_file(dir.file("warnings").c_str(), "wb");
    errno = 0;
    ScriptCount count;
    const ConvertOutcome outcome =
        convert_text_file(text_path.c_str(), script_path.c_str(), settings, work, warnings, count);
    const std::string why = reason();
    std::fclose(warnings);
    EXPECT_EQ(c[5], outcomes[static_cast<int>(outcome)]) << c[0];
    char status[kStatusBytes];
    describe_conversion(outcome, text_path.c_str(), script_path.c_str(), count,
                        settings.max_line_len, why.c_str(), status, sizeof status);
    EXPECT_EQ(expand(c[6], dir), status) << c[0];
    if (c[7] != "run") {
      EXPECT_EQ(c[7], read_file(out)) << c[0];
      continue;
    }
    auto args = tool_options(settings);
    args.push_back("--in-file=" + dir.file("in.txt"));
    args.push_back("--out-file=" + dir.file("tool.cfg"));
    EXPECT_EQ(run_tool(dir, args, ""), read_file(dir.path / "warnings")) << c[0];
    EXPECT_EQ(read_file(dir.path / "tool.cfg"), read_file(out)) << c[0];
    EXPECT_EQ("", test::check_tool_script(read_file(out))) << c[0];
  }
}

// What one row of window_words.cases gives.
std::string word(const std::string& function, const std::vector<std::string>& in) {
  char path[kMaxPathBytes];
  char text[kStatusBytes];
  if (function == "settings_beside") return settings_beside(in[0].c_str(), path) ? path : "FAIL";
  if (function == "settings_in_app_data") {
    return settings_in_app_data(in.empty() ? "" : in[0].c_str(), path) ? path : "FAIL";
  }
  if (function == "settings_go_beside") {
    return settings_go_beside(in[0] == "1", in[1] == "1", in[2] == "1", in[3] == "1") ? "beside"
                                                                                      : "app_data";
  }
  if (function == "describe_settings_write") {
    describe_settings_write(in[0].c_str(), in[1].c_str(), in.size() > 2 ? in[2].c_str() : "", text,
                            sizeof text);
    return text;
  }
  if (function == "is_script_name") return is_script_name(in[0].c_str()) ? "yes" : "no";
  if (function == "fix_script_name") return fix_script_name(in[0].c_str(), path) ? path : "FAIL";
  if (function == "describe_name_fix") {
    describe_name_fix(in[0].c_str(), in[1].c_str(), text, sizeof text);
    return text;
  }
  if (function == "describe_not_a_script") {
    describe_not_a_script(in[0].c_str(), ExistingFile{Existing::kOther, std::stoll(in[1])}, text,
                          sizeof text);
    return text;
  }
  if (function == "describe_chosen") {
    describe_chosen(settings_with(in[0], 0, false), in[1] == "1", text, sizeof text);
    return text;
  }
  if (function == "describe_typed") {
    const WindowSettings settings = settings_with("chat.cfg", std::stoi(in[1]), in[2] == "1");
    describe_typed(in[0], settings, work, text, sizeof text);
    return text;
  }
  if (function == "read_limit_entry") {
    std::int32_t limit = 7;
    const LimitEntry entry = read_limit_entry(in.empty() ? "" : in[0].c_str(), limit);
    describe_limit_entry(entry, in.empty() ? "" : in[0].c_str(), limit, text, sizeof text);
    return std::to_string(limit) + (text[0] != '\0' ? std::string(" ") + text : "");
  }
  if (function == "split_paste") {
    const Paste paste = split_paste(std::string_view(in.empty() ? "" : in[0]));
    describe_paste(paste, text, sizeof text);
    return std::to_string(paste.first_length) + " " + std::to_string(paste.other_lines) +
           (text[0] != '\0' ? std::string(" ") + text : "");
  }
  if (function == "list_after_send") {
    const ListView view = list_after_send(std::stoi(in[0]), std::stoi(in[1]), std::stoi(in[2]),
                                          std::stoi(in[3]), in[4] == "1");
    return std::to_string(view.top) + " " + std::to_string(view.selected);
  }
  if (function == "mnemonic_control") {
    const char* names[] = {"path",  "choose", "limit", "hide_name", "convert",
                           "width", "sent",   "line",  "say",       "status"};
    const int id = mnemonic_control(in[0][0]);
    return id >= kIdPath && id <= kIdStatus ? names[id - kIdPath] : std::to_string(id);
  }
  if (function == "script_name_for_text") {
    return script_name_for_text(in[0].c_str(), path) ? path : "FAIL";
  }
  if (function == "describe_width") {
    describe_width(std::stoi(in[0]), std::stoi(in[1]), text, sizeof text);
    return text;
  }
  if (function == "describe_start") {
    describe_start(settings_with(in.empty() ? "" : in[0], 0, false), text, sizeof text);
    return text;
  }
  if (function == "recall_step") {
    return std::to_string(recall_step(std::stoi(in[0]), std::stoi(in[1]), std::stoi(in[2])));
  }
  if (function == "drawing") {
    Banner banner;
    lay_out_banner(in[0], banner);
    std::string rows[8];
    for (int row = 0; row < kRowCount; ++row) {
      for (int at = 0; at < banner.row_length; ++at) {
        const int pixels = cell_pixels(banner.rows[row][at]);
        if (pixels < 0) continue;
        rows[2 * row] += (pixels & 1) != 0 ? '#' : '.';
        rows[2 * row + 1] += (pixels & 2) != 0 ? '#' : '.';
      }
    }
    std::string drawing = rows[0];
    for (int row = 1; row < 8; ++row) drawing += '|' + rows[row];
    return drawing;
  }
  ADD_FAILURE() << "no function " << function;
  return "";
}

// Every control's mnemonic leads to one control only.
TEST(WindowTest, MnemonicsAreUnique) {
  for (const ControlText& control : kControlTexts) {
    const char* mark = std::strchr(control.text, '&');
    if (mark == nullptr) continue;
    int controls = 0;
    for (const ControlText& other : kControlTexts) {
      const char* other_mark = std::strchr(other.text, '&');
      controls += other_mark != nullptr && std::tolower(other_mark[1]) == std::tolower(mark[1]);
    }
    EXPECT_EQ(1, controls) << control.text;
  }
}

// What the path chosen as a script names, before the window replaces it.
TEST(WindowTest, ExistingFiles) {
  ScratchDir dir;
  test::write_file(dir.path / "script.cfg", "// TALLSAY 4 line text version 1.0\r\n\r\n");
  test::write_file(dir.path / "config.cfg", "bind w +forward\r\nname Player\r\n");
  test::write_file(dir.path / "empty.cfg", "");
  test::write_file(dir.path / "header_cut.cfg", "// TALLSAY 4 line text version");
  const struct {
    const char* name;
    Existing kind;
    std::int64_t size;
  } cases[] = {{"script.cfg", Existing::kScript, 38},   {"config.cfg", Existing::kOther, 30},
               {"empty.cfg", Existing::kOther, 0},      {"header_cut.cfg", Existing::kOther, 30},
               {"missing.cfg", Existing::kNothing, -1}, {"", Existing::kFolder, -1}};
  for (const auto& c : cases) {
    const ExistingFile file = check_existing(dir.file(c.name).c_str());
    EXPECT_EQ(c.kind, file.kind) << c.name;
    EXPECT_EQ(c.size, file.size) << c.name;
  }
}

TEST(WindowTest, Words) {
  for (const auto& c : test::read_cases({"window_words.cases"}, 3, 3)) {
    EXPECT_EQ(c[2], word(c[0], split(c[1], '|'))) << c[0] << ' ' << c[1];
  }
}

}  // namespace
}  // namespace tallsay
