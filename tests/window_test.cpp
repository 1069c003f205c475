// What the window decides without a window: its settings file and command
// line (settings.cases, window_arguments.cases), what Enter and a converted
// text file do to the script, against the tool's own runs
// (window_lines.cases, window_conversions.cases), and its smaller words and
// steps (window_words.cases).
#include <gtest/gtest.h>

#include <new>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
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

// The settings of a table's row: `boxes` names the check boxes ticked (n
// Hide my name, u Letters beyond ASCII, t Team only), the others are not.
WindowSettings settings_with(const std::string& path, std::int32_t line_len,
                             const std::string& boxes, const std::string& folder = "") {
  WindowSettings settings = default_settings();
  std::snprintf(settings.script_path, sizeof settings.script_path, "%s", path.c_str());
  settings.max_line_len = line_len;
  settings.hide_name = boxes.find('n') != std::string::npos;
  settings.utf8 = boxes.find('u') != std::string::npos;
  settings.team = boxes.find('t') != std::string::npos;
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

// The check boxes ticked in `settings`, as settings_with names them.
std::string ticked(const WindowSettings& s) {
  return std::string(s.hide_name ? "n" : "") + (s.utf8 ? "u" : "") + (s.team ? "t" : "");
}

std::vector<std::string> tool_options(const WindowSettings& settings) {
  std::vector<std::string> options = {"--line-len=" + std::to_string(settings.max_line_len)};
  for (const char* option : {"--no-name", "--utf8", "--team"}) {
    if (ticked(settings).find(option[2]) != std::string::npos) options.push_back(option);
  }
  return options;
}

// The system's words for the failure that has just happened, as the window
// takes them where no Windows call failed.
std::string reason() {
  return std::strerror(errno);
}

static ScriptWork work;  // too large for the stack of a test

// The names the tables give a conversion's and a chain's outcomes, in the
// order of their enums.
const char* const kConversions[] = {
    "converted",   "input_open_failed", "same_file",        "open_failed", "write_failed",
    "read_failed", "empty_text",        "first_line_empty", "not_text",    "folder"};
const std::string kChainOutcomes[] = {"written",       "input_open_failed", "same_file",
                                      "name_too_long", "write_failed",      "read_failed"};

// The script before each case, {OLD} of blocks.cases.
const char* const kOldScript = "old script\r\n";

TEST(WindowTest, SettingsFile) {
  for (const auto& c : test::read_cases({"settings.cases"}, 6, 6)) {
    WindowSettings settings = settings_with("before.cfg", 7, "u", "C:\\before");
    read_settings(c[1], settings);
    EXPECT_EQ(c[2], settings.script_path) << c[0];
    EXPECT_EQ(std::stoi(c[3]), settings.max_line_len) << c[0];
    EXPECT_EQ(c[4] == "1", settings.hide_name) << c[0];
    EXPECT_EQ(c[5], settings.last_folder) << c[0];
  }
}

TEST(WindowTest, SettingsReadBackAsWritten) {
  for (auto written : {settings_with("C:\\Program Files (x86)\\Иван\\日本語 & (x).cfg", -12, "nt",
                                     "C:\\Program Files (x86)\\Иван"),
                       settings_with(std::string(kMaxPathBytes - 1, 'p'), 2147483647, "u",
                                     std::string(kMaxPathBytes - 1, 'f')),
                       settings_with("", 0, "n")}) {
    char text[kSettingsTextBytes];
    // The way of converting and the key, each way.
    written.convert_chain = written.hide_name;
    std::snprintf(written.chain_key, sizeof written.chain_key, "%s",
                  written.hide_name ? "KP_RIGHTARROW" : "f12");
    const std::size_t length = write_settings(written, text, sizeof text);
    const std::string_view bytes(text, length);
    EXPECT_EQ(std::string(bytes).find('\n'), std::string(bytes).find("\r\n") + 1);
    WindowSettings read = settings_with("other.cfg", 5, written.hide_name ? "u" : "nt");
    read_settings(bytes, read);
    EXPECT_STREQ(written.script_path, read.script_path);
    EXPECT_EQ(written.max_line_len, read.max_line_len);
    EXPECT_EQ(written.hide_name, read.hide_name);
    EXPECT_STREQ(written.last_folder, read.last_folder);
    EXPECT_EQ(written.convert_chain, read.convert_chain);
    EXPECT_STREQ(written.chain_key, read.chain_key);
    EXPECT_TRUE(same_settings(written, read));
  }
}

// Two windows on one settings file: each writes the setting it changed
// into what the file holds, so neither loses the other's.
TEST(WindowTest, SettingsOfTwoWindowsAreKept) {
  WindowSettings file = settings_with("a.cfg", 0, "u", "C:\\cfg");  // as both read it
  take_setting(file, settings_with("a.cfg", 40, "u", "C:\\cfg"), SettingKey::kLimit);
  // The second window ticks its three check boxes; each is a setting alone,
  // and the second window learns of the first's change.
  const WindowSettings second = settings_with("a.cfg", 0, "nt", "C:\\cfg");
  const WindowSettings both = settings_with("a.cfg", 40, "nt", "C:\\cfg");
  for (const SettingKey key : {SettingKey::kHideName, SettingKey::kTeam, SettingKey::kLetters}) {
    EXPECT_FALSE(same_settings(both, file));
    take_setting(file, second, key);
  }
  EXPECT_TRUE(same_settings(both, file));
  WindowSettings chosen = settings_with("b.cfg", 0, "", "D:\\game");
  take_setting(file, chosen, SettingKey::kScript);
  take_setting(file, chosen, SettingKey::kLastFolder);
  EXPECT_TRUE(same_settings(settings_with("b.cfg", 40, "nt", "D:\\game"), file));
  // The way of converting goes with its key.
  WindowSettings converting = file;
  converting.convert_chain = false;
  std::snprintf(converting.chain_key, sizeof converting.chain_key, "F6");
  EXPECT_FALSE(same_settings(file, converting));
  take_setting(file, converting, SettingKey::kConvert);
  EXPECT_TRUE(same_settings(converting, file));
}

TEST(WindowTest, CommandLine) {
  for (const auto& c : test::read_cases({"window_arguments.cases"}, 8, 8)) {
    const auto args = split(c[1], '|');
    std::vector<const char*> argv = {"tallsay-window"};
    for (const auto& arg : args) argv.push_back(arg.c_str());
    WindowSettings settings = settings_with("saved.cfg", 40, "");
    const char* bad = nullptr;
    const ArgumentOutcome outcome =
        apply_arguments(static_cast<int>(argv.size()), argv.data(), settings, bad);
    const char* outcomes[] = {"run", "invalid", "too_long"};
    EXPECT_EQ(c[2], outcomes[static_cast<int>(outcome)]) << c[0];
    EXPECT_EQ(c[3], bad != nullptr ? bad : "") << c[0];
    EXPECT_EQ(c[4], settings.script_path) << c[0];
    EXPECT_EQ(std::stoi(c[5]), settings.max_line_len) << c[0];
    EXPECT_EQ(c[6], ticked(settings)) << c[0];
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
        settings_with(c[5] == "" ? "" : expand(c[5], dir), std::stoi(c[3]), c[4]);
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
  for (const auto& c : test::read_cases({"blocks.cases", "window_conversions.cases"}, 9, 9)) {
#ifndef __linux__
    if (c[1] == "linux") continue;
#endif
    ScratchDir dir;
    const auto out = dir.path / "out.cfg";
    test::write_file(out, kOldScript);
    test::write_file(dir.path / "in.txt", c[2]);
    const WindowSettings settings = settings_with("chat.cfg", 5, c[3]);
    const std::string text_path = expand(c[4], dir);
    const std::string script_path = expand(c[5], dir);
    std::FILE* warnings = open_file(dir.file("warnings").c_str(), "wb");
#ifdef __linux__
    const std::size_t descriptors = test::open_descriptors();
#endif
    errno = 0;
    ScriptCount count;
    const ConvertOutcome outcome =
        convert_text_file(text_path.c_str(), script_path.c_str(), settings, work, warnings, count);
    const std::string why = reason();
#ifdef __linux__
    EXPECT_EQ(descriptors, test::open_descriptors()) << c[0] << ": a file is left open";
#endif
    std::fclose(warnings);
    EXPECT_EQ(c[6], kConversions[static_cast<int>(outcome)]) << c[0];
    char status[kStatusBytes];
    describe_conversion(outcome, text_path.c_str(), script_path.c_str(), count,
                        settings.max_line_len, why.c_str(), status, sizeof status);
    EXPECT_EQ(expand(c[7], dir), status) << c[0];
    if (c[8] != "run") {
      EXPECT_EQ(c[8], read_file(out)) << c[0];
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

// The blocks a conversion makes of `text`: its lines up to the first empty
// one, without their line ends or a UTF-8 mark, each cut into pieces of at
// most kMaxTextBytes bytes; `lines` counts the lines.
std::vector<std::string> text_blocks(std::string text, std::int64_t& lines) {
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
  std::vector<std::string> blocks;
  lines = 0;
  for (std::string line : split(text, '\n')) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) break;
    ++lines;
    for (std::size_t at = 0; at < line.size(); at += kMaxTextBytes) {
      blocks.push_back(line.substr(at, kMaxTextBytes));
    }
  }
  return blocks;
}

// The script the interactive run of tallsay leaves for `line` with the
// options of `settings`.
std::string interactive_script(const std::string& line, const WindowSettings& settings) {
  ScratchDir dir;
  auto args = tool_options(settings);
  args.push_back("--out-file=" + dir.file("tool.cfg"));
  run_tool(dir, args, line + "\n");
  return read_file(dir.path / "tool.cfg");
}

// Makes what a row of window_chains.cases puts in the folder before: NAME/
// a folder, NAME=BYTES a file. Returns the files made, with their bytes.
std::vector<std::pair<std::string, std::string>> make_before(const ScratchDir& dir,
                                                             const std::string& before) {
  std::vector<std::pair<std::string, std::string>> files;
  for (const std::string& item : split(before, '|')) {
    const std::size_t equals = item.find('=');
    if (equals == std::string::npos) {
      std::filesystem::create_directory(dir.path / item.substr(0, item.size() - 1));
    } else {
      files.emplace_back(item.substr(0, equals), item.substr(equals + 1));
      test::write_file(dir.path / files.back().first, files.back().second);
    }
  }
  return files;
}

TEST(WindowTest, ChainsWriteTheToolsScriptsEachBindingTheNext) {
  for (const auto& c : test::read_cases({"window_chains.cases"}, 11, 11)) {
#ifndef __linux__
    if (c[1] == "linux") continue;
#endif
    ScratchDir dir;
    test::write_file(dir.path / "in.txt", c[4]);
    const auto before = make_before(dir, c[7]);
    std::set<std::string> names = test::names_in(dir);
    const auto options = split(c[2], '|');
    const WindowSettings settings = settings_with("chat.cfg", std::stoi(options[0]), options[1]);
    const std::string text_path = expand(c[5], dir);
    const std::string first_path = expand(c[6], dir);
#ifdef __linux__
    const std::size_t descriptors = test::open_descriptors();
#endif
    errno = 0;
    const TextLook look = look_at_text_file(text_path.c_str(), work);
    std::string why = reason();
#ifdef __linux__
    EXPECT_EQ(descriptors, test::open_descriptors()) << c[0] << ": a file is left open";
#endif
    char status[kStatusBytes];
    std::string outcome = kConversions[static_cast<int>(look.outcome)];
    ChainResult result{};
    if (look.outcome != ConvertOutcome::kConverted) {
      describe_look(look, text_path.c_str(), why.c_str(), status, sizeof status);
    } else {
      std::FILE* warnings = open_file(dir.file("warnings").c_str(), "wb");
      names.insert("warnings");
      errno = 0;
      result =
          write_text_chain(text_path.c_str(), first_path.c_str(), settings, c[3], work, warnings);
      why = reason();
      std::fclose(warnings);
      outcome = kChainOutcomes[static_cast<int>(result.outcome)];
      describe_chain(result, text_path.c_str(), first_path.c_str(), c[3], look.banners, why.c_str(),
                     status, sizeof status);
    }
    EXPECT_EQ(c[8], outcome) << c[0];
    EXPECT_EQ(std::stoi(c[9]), result.written) << c[0];
    EXPECT_EQ(expand(c[10], dir), status) << c[0];
    // Each script written: the tool's script for its line and the bind of
    // the next, the last binding the first.
    std::int64_t line_count = 0;
    const std::vector<std::string> lines =
        text_blocks(read_file(std::filesystem::u8path(text_path)), line_count);
    if (look.outcome == ConvertOutcome::kConverted) {
      EXPECT_EQ(line_count, look.lines) << c[0];
      EXPECT_EQ(static_cast<std::int64_t>(lines.size()), look.banners) << c[0];
    }
    const std::string first = file_name_of(first_path.c_str());
    const std::filesystem::path folder = std::filesystem::u8path(first_path).parent_path();
    std::vector<std::string> written;
    ASSERT_LE(result.written, static_cast<int>(lines.size())) << c[0];
    for (int i = 0; i < result.written; ++i) {
      char name[kMaxScriptNameBytes + 1];
      char next[kMaxScriptNameBytes + 1];
      ASSERT_TRUE(chain_script_name(first, i, name)) << c[0];
      const bool last = i + 1 == static_cast<int>(lines.size());
      ASSERT_TRUE(chain_script_name(first, last ? 0 : i + 1, next)) << c[0];
      const std::string bind = std::string("bind ") + c[3] + " \"exec " + next + "\"";
      const std::string script = read_file(folder / name);
      EXPECT_EQ(interactive_script(lines[i], settings) + bind + "\r\n", script) << c[0] << ' ' << i;
      EXPECT_EQ("", test::check_harmless(script, test::say_rows(script), {bind}))
          << c[0] << ' ' << i;
      written.push_back(name);
    }
    // Nothing else: the files there before and not written are as they
    // were, and no other file is made.
    for (const auto& [name, bytes] : before) {
      if (std::find(written.begin(), written.end(), name) == written.end()) {
        EXPECT_EQ(bytes, read_file(dir.path / name)) << c[0] << ' ' << name;
      }
    }
    if (folder == dir.path) names.insert(written.begin(), written.end());
    EXPECT_EQ(names, test::names_in(dir)) << c[0];
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
    const Settle settle = in.size() < 3      ? Settle::kChoose
                          : in[2] == "chain" ? Settle::kChain
                                             : Settle::kConvert;
    describe_not_a_script(in[0].c_str(), ExistingFile{Existing::kOther, std::stoll(in[1])}, settle,
                          text, sizeof text);
    return text;
  }
  if (function == "describe_chosen") {
    describe_chosen(settings_with(in[0], 0, ""), in[1] == "1", text, sizeof text);
    return text;
  }
  if (function == "describe_typed") {
    const WindowSettings settings = settings_with("chat.cfg", std::stoi(in[1]), in[2]);
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
    const char* names[] = {"path", "choose", "limit", "hide_name", "convert", "width",
                           "sent", "line",   "say",   "status",    "letters", "team"};
    const int id = mnemonic_control(in[0][0]);
    return id >= kIdPath && id <= kIdTeam ? names[id - kIdPath] : std::to_string(id);
  }
  if (function == "script_name_for_text") {
    return script_name_for_text(in[0].c_str(), path) ? path : "FAIL";
  }
  if (function == "describe_width") {
    describe_width(std::stoi(in[0]), std::stoi(in[1]), text, sizeof text);
    return text;
  }
  if (function == "describe_start") {
    describe_start(settings_with(in.empty() ? "" : in[0], 0, ""), text, sizeof text);
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
  if (function == "read_settings") {
    WindowSettings settings = default_settings();
    read_settings(in.empty() ? "" : in[0], settings);
    return std::string(settings.convert_chain ? "chain " : "script ") + settings.chain_key + ' ' +
           ticked(settings);
  }
  if (function == "describe_key_entry") {
    describe_key_entry(in.empty() ? "" : in[0], text, sizeof text);
    return text;
  }
  if (function == "describe_chain_question") {
    const TextLook look{ConvertOutcome::kConverted, std::stoll(in[1]), std::stoll(in[2]),
                        std::stoll(in[3])};
    describe_chain_question(in[0].c_str(), look, text, sizeof text);
    return text;
  }
  if (function == "describe_replace") {
    describe_replace(in[0].c_str(), in[1] == "1", text, sizeof text);
    return text;
  }
  if (function == "describe_chain_clash") {
    ChainClash clash{std::stoll(in[2]), "", ExistingFile{Existing::kOther, std::stoll(in[1])}};
    std::snprintf(clash.first, sizeof clash.first, "%s", in[0].c_str());
    describe_chain_clash(clash, text, sizeof text);
    return text;
  }
  if (function == "describe_look") {
    const TextLook look{
        in[0] == "read_failed" ? ConvertOutcome::kReadFailed : ConvertOutcome::kInputOpenFailed, 0,
        0, 0};
    describe_look(look, in[1].c_str(), in[2].c_str(), text, sizeof text);
    return text;
  }
  if (function == "describe_chain") {
    // outcome, scripts written, lines over a limit (apart by commas, with
    // how many there are; a c after a line cut into two pieces), scripts of
    // the text, first script, key, reason.
    const auto outcome = std::find(std::begin(kChainOutcomes), std::end(kChainOutcomes), in[0]);
    if (outcome == std::end(kChainOutcomes)) return "no outcome " + in[0];
    ChainResult result{};
    result.outcome = static_cast<ChainOutcome>(outcome - std::begin(kChainOutcomes));
    result.written = std::stoi(in[1]);
    const auto over = split(in[2], ',');
    result.over_count = std::stoi(over[0]);
    for (std::size_t i = 1; i < over.size(); ++i) {
      result.over_lines[i - 1] = std::stoi(over[i]);
      result.over_cut[i - 1] = over[i].back() == 'c';
      result.cut_lines += result.over_cut[i - 1] ? 1 : 0;
    }
    result.lines = result.written - result.cut_lines;
    describe_chain(result, "C:\\texts\\lines.txt", in[4].c_str(), in[5], std::stoll(in[3]),
                   in[6].c_str(), text, sizeof text);
    return text;
  }
  ADD_FAILURE() << "no function " << function;
  return "";
}

// Every control's mnemonic leads to one control only, in the window and in
// the choice of the way a text is converted.
template <std::size_t N>
void expect_unique_mnemonics(const ControlText (&texts)[N]) {
  for (const ControlText& control : texts) {
    const char* mark = std::strchr(control.text, '&');
    if (mark == nullptr) continue;
    int controls = 0;
    for (const ControlText& other : texts) {
      const char* other_mark = std::strchr(other.text, '&');
      controls += other_mark != nullptr && std::tolower(other_mark[1]) == std::tolower(mark[1]);
    }
    EXPECT_EQ(1, controls) << control.text;
  }
}

TEST(WindowTest, MnemonicsAreUnique) {
  expect_unique_mnemonics(kControlTexts);
  expect_unique_mnemonics(kChainDialogTexts);
  EXPECT_STREQ("Con&vert a text file\xE2\x80\xA6", control_text(kIdConvert));
  EXPECT_STREQ("&Key:", control_text(kIdChainKeyLabel));
  EXPECT_STREQ("", control_text(kIdStatus));
}

// The settings of a first run, made where any bytes stood before.
TEST(WindowTest, DefaultSettingsWhateverTheMemoryHeld) {
  alignas(WindowSettings) static unsigned char memory[sizeof(WindowSettings)];
  std::memset(memory, 0xA5, sizeof memory);
  const auto* settings = new (memory) WindowSettings(default_settings());
  EXPECT_TRUE(same_settings(settings_with("", 0, "u"), *settings));
  EXPECT_STREQ("F5", settings->chain_key);
}

// A status longer than its buffer is cut, and says so by its length.
TEST(WindowTest, WordsAreCutToFit) {
  Paste paste{};
  paste.other_lines = 3;
  char full[512];
  const std::size_t length = describe_paste(paste, full, sizeof full);
  char cut[16];
  EXPECT_EQ(15u, describe_paste(paste, cut, sizeof cut));
  EXPECT_EQ(std::string(full, 15), cut);
  EXPECT_LT(15u, length);
}

// A script read back in pieces is counted as the whole of it: sizes around
// the read's own piece, with and without a last line end, and a line longer
// than what is kept of it.
TEST(WindowTest, AScriptReadBackIsCountedWhole) {
  for (const std::size_t size : {1u, 4095u, 4096u, 4097u, 8191u, 8193u, 12289u}) {
    for (const bool ended : {true, false}) {
      // The last line takes 40 bytes, or 5000 past the first piece.
      const std::size_t last_bytes = std::min<std::size_t>(size, size > 4096 ? 5000 : 40);
      std::string script;
      while (script.size() + 11 <= size - last_bytes) {
        script += "say \"ab\"\r\n";
      }
      if (script.size() < size) {
        std::string last = "// " + std::string(size - script.size(), 'x');
        last.resize(size - script.size());
        if (ended) last.back() = '\n';
        script += last;
      }
      ScratchDir dir;
      test::write_file(dir.path / "script.cfg", script);
      ScriptCount count;
      ASSERT_TRUE(count_script(dir.file("script.cfg").c_str(), count));
      const ScriptMeasure whole = measure_script(script);
      EXPECT_EQ(whole.bytes, count.measure.bytes) << size << ended;
      EXPECT_EQ(static_cast<std::int64_t>(size), count.measure.bytes) << size << ended;
      EXPECT_EQ(whole.lines, count.measure.lines) << size << ended;
      EXPECT_EQ(whole.longest_line, count.measure.longest_line) << size << ended;
      EXPECT_EQ(whole.say_lines, count.measure.say_lines) << size << ended;
      EXPECT_EQ(whole.frame_bytes, count.measure.frame_bytes) << size << ended;
      EXPECT_EQ(whole.say_lines / 4, count.banners) << size << ended;
    }
  }
  ScriptCount count;
  EXPECT_FALSE(count_script("", count));
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

// Before a chain replaces the scripts after its first: the files of other
// kinds among them are found, tallsay's own scripts, folders and files that
// are not there are not.
TEST(WindowTest, FilesAChainWouldReplace) {
  ScratchDir dir;
  test::write_file(dir.path / "chat-2.cfg", "// TALLSAY 4 line text version 1.0\r\n\r\n");
  test::write_file(dir.path / "chat-3.cfg", "bind w +forward\r\nname Player\r\n");
  std::filesystem::create_directory(dir.path / "chat-4.cfg");
  test::write_file(dir.path / "chat-6.cfg", "");
  test::write_file(dir.path / "chat.cfg", "not a script, the first's own question\r\n");
  const std::string first = dir.file("chat.cfg");
  const struct {
    std::int64_t lines;
    std::int64_t count;
    const char* file;
    std::int64_t size;
  } cases[] = {{1, 0, "", -1},           {2, 0, "", -1},           {3, 1, "chat-3.cfg", 30},
               {5, 1, "chat-3.cfg", 30}, {6, 2, "chat-3.cfg", 30}, {100, 2, "chat-3.cfg", 30}};
  for (const auto& c : cases) {
    const ChainClash clash = find_chain_clash(first.c_str(), c.lines);
    EXPECT_EQ(c.count, clash.count) << c.lines;
    EXPECT_EQ(c.count > 0 ? dir.file(c.file) : "", clash.first) << c.lines;
    EXPECT_EQ(c.size, clash.file.size) << c.lines;
  }
}

TEST(WindowTest, Words) {
  for (const auto& c : test::read_cases({"window_words.cases"}, 3, 3)) {
    EXPECT_EQ(c[2], word(c[0], split(c[1], '|'))) << c[0] << ' ' << c[1];
  }
}

}  // namespace
}  // namespace tallsay
