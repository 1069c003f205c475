// What the window decides without a window: what Enter and a converted text
// file do to the script (window_lines.cases, window_conversions.cases) and
// the chains a text becomes (window_chains.cases), against the tool's own
// runs; its settings, command line, words and smaller steps, against known
// answers (settings.cases, window_arguments.cases, window_words.cases).
#include <gtest/gtest.h>

#include <new>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "console_model.h"
#include "frontend/run_options.h"
#include "support.h"
#include "window/window.h"

namespace tallsay {
namespace {

using test::expand;
using test::read_file;
using test::ScratchDir;
using test::split;
using Fields = std::vector<std::string>;

// The check boxes ticked in `settings`: n Hide my name, u Letters beyond
// ASCII, t Team only.
std::string ticked(const WindowSettings& s) {
  return std::string(s.hide_name ? "n" : "") + (s.utf8 ? "u" : "") + (s.team ? "t" : "");
}

// Settings as settings.cases writes them: path|line-len|boxes|folder|way|key.
std::string shown(const WindowSettings& s) {
  return std::string(s.script_path) + '|' + std::to_string(s.max_line_len) + '|' + ticked(s) + '|' +
         s.last_folder + '|' + (s.convert_chain ? "chain" : "script") + '|' + s.chain_key;
}

// The settings that the fields of `in` from `at` on give, as shown writes
// them; those left out are empty, 0, unticked, a chain and F5.
WindowSettings settings_of(const Fields& in, std::size_t at = 0) {
  const auto field = [&](std::size_t i) { return at + i < in.size() ? in[at + i] : ""; };
  WindowSettings s = default_settings();
  std::snprintf(s.script_path, sizeof s.script_path, "%s", field(0).c_str());
  s.max_line_len = std::atoi(field(1).c_str());
  s.hide_name = field(2).find('n') != std::string::npos;
  s.utf8 = field(2).find('u') != std::string::npos;
  s.team = field(2).find('t') != std::string::npos;
  std::snprintf(s.last_folder, sizeof s.last_folder, "%s", field(3).c_str());
  s.convert_chain = field(4) != "script";
  if (!field(5).empty()) std::snprintf(s.chain_key, sizeof s.chain_key, "%s", field(5).c_str());
  return s;
}

// The script and the warnings of tallsay's run with the options of
// `settings`: the interactive run of `line`, or, given a text's path, the
// batch run over that text.
std::pair<std::string, std::string> tool_run(const WindowSettings& settings,
                                             const std::string& line,
                                             const std::string& text_path = "") {
  ScratchDir dir;
  std::vector<std::string> args = {"--line-len=" + std::to_string(settings.max_line_len),
                                   "--out-file=" + dir.file("tool.cfg")};
  for (const char* option : {"--no-name", "--utf8", "--team"}) {
    if (ticked(settings).find(option[2]) != std::string::npos) args.push_back(option);
  }
  if (!text_path.empty()) args.push_back("--in-file=" + text_path);
  test::write_file(dir.path / "stdin", text_path.empty() ? line + "\n" : "");
  const auto result =
      test::run_in_process(test::run_tool, dir, args, open_file(dir.file("stdin").c_str(), "rb"));
  EXPECT_EQ(0, result.status);
  return {read_file(dir.path / "tool.cfg"), result.err};
}

// Makes what a row puts in the folder before: NAME/ a folder, NAME=BYTES a
// file.
void make_before(const ScratchDir& dir, const Fields& items) {
  for (const std::string& item : items) {
    const std::size_t equals = item.find('=');
    if (equals == std::string::npos) {
      std::filesystem::create_directory(dir.path / item.substr(0, item.size() - 1));
    } else {
      test::write_file(dir.path / item.substr(0, equals), item.substr(equals + 1));
    }
  }
}

// The files and folders in `dir` with their bytes, a folder's as "/".
std::map<std::string, std::string> held(const ScratchDir& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path)) {
    files[entry.path().filename().u8string()] =
        entry.is_directory() ? "/" : read_file(entry.path());
  }
  return files;
}

static ScriptWork work;  // too large for the stack of a test

// The names the tables give the outcomes, in the order of their enums.
const char* const kLines[] = {"written",   "empty",  "too_long",    "line_break",
                              "no_script", "folder", "open_failed", "write_failed"};
const char* const kConversions[] = {
    "converted",   "input_open_failed", "same_file",        "open_failed", "write_failed",
    "read_failed", "empty_text",        "first_line_empty", "not_text",    "folder"};
const char* const kChainOutcomes[] = {"written",       "input_open_failed", "same_file",
                                      "name_too_long", "write_failed",      "read_failed"};

// The place of `name` among `names`, as the enum that they name counts.
template <std::size_t N>
int index_of(const char* const (&names)[N], const std::string& name) {
  return static_cast<int>(std::find(names, names + N, name) - names);
}

// The script before each case, {OLD} of blocks.cases.
const char* const kOldScript = "old script\r\n";

// What a row does: Enter on the line `text` (without a text's path), or
// converting the text at `text_path` into one script (without a key) or
// into a chain; returns the outcome and the status.
std::string act(const std::string& text, const std::string& text_path, const std::string& key,
                const WindowSettings& settings, std::FILE* warnings, TextLook& look,
                ChainResult& chain) {
  char status[kStatusBytes];
  const auto why = [] { return std::string(std::strerror(errno)); };
  const auto said = [&status](const char* outcome) {
    return outcome + (": " + std::string(status));
  };
  errno = 0;
  if (text_path.empty()) {
    std::int32_t width = -1;
    const LineOutcome line = send_line(text, settings, work, warnings, width);
    describe_line(line, text, width, settings, why().c_str(), status, sizeof status);
    return said(kLines[static_cast<int>(line)]);
  }
  if (key.empty()) {
    ScriptCount count;
    const ConvertOutcome converted =
        convert_text_file(text_path.c_str(), settings.script_path, settings, work, warnings, count);
    describe_conversion(converted, text_path.c_str(), settings.script_path, count,
                        settings.max_line_len, why().c_str(), status, sizeof status);
    return said(kConversions[static_cast<int>(converted)]);
  }
  // A key after '!' writes the chain without a look at the text first, as
  // when the text changed since the window looked.
  const bool looks = key[0] != '!';
  if (looks) look = look_at_text_file(text_path.c_str(), work);
  if (looks && look.outcome != ConvertOutcome::kConverted) {
    describe_look(look, text_path.c_str(), why().c_str(), status, sizeof status);
    return said(kConversions[static_cast<int>(look.outcome)]);
  }
  errno = 0;
  const std::string pressed = key.substr(looks ? 0 : 1);
  chain =
      write_text_chain(text_path.c_str(), settings.script_path, settings, pressed, work, warnings);
  describe_chain(chain, text_path.c_str(), settings.script_path, pressed, look.banners,
                 why().c_str(), status, sizeof status);
  return said(kChainOutcomes[static_cast<int>(chain.outcome)]);
}

// Checks the chain of `written` scripts from its first at `first_path`, of
// a text of `banners` blocks at `text_path`: each the tool's header, the
// next block of the tool's batch run over the text, and the bind of the
// next script, the last binding the first. Returns their names.
Fields expect_chain(const std::string& text_path, const std::string& first_path,
                    const WindowSettings& settings, const std::string& key, std::int64_t banners,
                    int written) {
  if (written == 0) return {};
  const std::string header = std::string(kScriptHeader) + "\r\n\r\n";
  const std::string first = file_name_of(first_path.c_str());
  std::string blocks = header;
  Fields names;
  for (int i = 0; i < written; ++i) {
    char name[kMaxScriptNameBytes + 1];
    char next[kMaxScriptNameBytes + 1];
    EXPECT_TRUE(chain_script_name(first, i, name) &&
                chain_script_name(first, static_cast<int>((i + 1) % banners), next));
    const std::string bind = "bind " + key + " \"exec " + next + "\"";
    const std::string script = read_file(std::filesystem::u8path(first_path).parent_path() / name);
    const std::string block = script.substr(
        header.size(), script.size() - std::min(script.size(), header.size() + bind.size() + 2));
    EXPECT_EQ(header + block + bind + "\r\n", script) << i;
    EXPECT_EQ("", test::check_harmless(script, test::say_rows(script), {bind})) << i;
    blocks += block;
    names.push_back(name);
  }
  const std::string batch = tool_run(settings, "", text_path).first;
  EXPECT_EQ(written == banners ? batch : batch.substr(0, blocks.size()), blocks);
  return names;
}

// Enter in the line box (a row without a text's path), a text file
// converted into one script, and into a chain (a row with a key): the
// outcome, the status and the scripts, which are the tool's interactive or
// batch run's with the same options, warnings and all. No other file is
// made or changed.
TEST(WindowTest, LinesTextsAndChainsWriteWhatTheToolWrites) {
  for (const auto& c : test::read_cases({"blocks.cases", "window_lines.cases",
                                         "window_conversions.cases", "window_chains.cases"},
                                        9, 10)) {
#ifndef __linux__
    if (c[1] == "linux") continue;
#endif
    SCOPED_TRACE(c[0]);
    ScratchDir dir;
    const auto out = dir.path / "out.cfg";
    test::write_file(out, kOldScript);
    test::write_file(dir.path / "in.txt", c[2]);
    make_before(dir, split(c.size() > 9 ? c[9] : "", '|'));
    auto before = held(dir);
    const Fields options = split(c[3], '|');
    const std::string key = options.size() > 2 ? options[2] : "";
    const WindowSettings settings = settings_of({expand(c[5], dir), options[0], options.at(1)});
    const std::string text_path = expand(c[4], dir);
    std::FILE* warnings = open_file(dir.file("warnings").c_str(), "wb");
    const std::size_t open = test::open_descriptors();
    TextLook look{};
    ChainResult chain{};
    EXPECT_EQ(c[6] + ": " + expand(c[7], dir),
              act(c[2], text_path, key, settings, warnings, look, chain));
    EXPECT_EQ(open, test::open_descriptors()) << "a file is left open";
    std::fclose(warnings);
    auto after = held(dir);
    after.erase("warnings");
    const Fields written = key.empty() ? Fields{"out.cfg"}
                                       : expect_chain(text_path, settings.script_path, settings,
                                                      key, look.banners, chain.written);
    for (const auto& name : written) {
      before.erase(name);
      after.erase(name);
    }
    EXPECT_EQ(before, after);
    if (!key.empty()) {
      EXPECT_EQ(c[8], std::to_string(chain.written) + ' ' + std::to_string(look.lines) + ' ' +
                          std::to_string(look.banners) + ' ' + std::to_string(look.cut_lines));
    } else if (c[8] != "run") {
      EXPECT_EQ(c[8], read_file(out));
      if (text_path.empty()) {
        EXPECT_EQ("", read_file(dir.path / "warnings"));
      }
    } else {
      EXPECT_EQ(tool_run(settings, c[2], text_path),
                std::make_pair(read_file(out), read_file(dir.path / "warnings")));
      EXPECT_EQ("", test::check_tool_script(read_file(out)));
    }
  }
}

// What one row of the words' tables gives, `dir` a scratch folder of its own.
std::string word(std::string function, const Fields& in, const ScratchDir& dir) {
  // The words of a describe_ function go into `text`, or into its first N
  // bytes for a function named NAME/N; they are checked against the length
  // it gives, and follow `start` when there is one.
  char text[kStatusBytes];
  const std::size_t slash = std::min(function.find('/'), function.size());
  const std::size_t room =
      slash < function.size() ? std::stoul(function.substr(slash + 1)) : sizeof text;
  function.resize(slash);
  const auto said = [&text](std::size_t length, const std::string& start = "") {
    const std::string words = length == std::strlen(text)
                                  ? std::string(text)
                                  : "length " + std::to_string(length) + ": " + text;
    return start.empty() || words.empty() ? start + words : start + ' ' + words;
  };
  const auto is = [&function](const char* name) { return function == name; };
  const auto arg = [&in](std::size_t i) { return i < in.size() ? in[i].c_str() : ""; };
  const auto number = [&in](std::size_t i) { return std::stoi(in[i]); };
  const auto flag = [&in](std::size_t i) { return in.at(i) == "1"; };
  char path[kMaxPathBytes];
  if (is("settings_beside")) return settings_beside(arg(0), path) ? path : "FAIL";
  if (is("settings_in_app_data")) return settings_in_app_data(arg(0), path) ? path : "FAIL";
  if (is("fix_script_name")) return fix_script_name(arg(0), path) ? path : "FAIL";
  if (is("script_name_for_text")) return script_name_for_text(arg(0), path) ? path : "FAIL";
  if (is("settings_go_beside")) {
    return settings_go_beside(flag(0), flag(1), flag(2), flag(3)) ? "beside" : "app_data";
  }
  if (is("describe_settings_write")) {
    return said(describe_settings_write(arg(0), arg(1), arg(2), text, room));
  }
  if (is("read_settings")) {
    WindowSettings settings = settings_of({"before.cfg", "7", "u", "C:\\before"});
    read_settings(arg(0), settings);
    return shown(settings);
  }
  if (is("write_settings")) {
    char file[kSettingsTextBytes];
    return std::string(file, write_settings(settings_of(in, 0), file, sizeof file));
  }
  if (is("same_settings"))
    return same_settings(settings_of(in, 0), settings_of(in, 6)) ? "yes" : "no";
  if (is("take_setting")) {
    const char* const keys[] = {"script", "limit",       "hide_name", "letters",
                                "team",   "last_folder", "convert"};
    WindowSettings settings = settings_of(in, 0);
    take_setting(settings, settings_of(in, 6), static_cast<SettingKey>(index_of(keys, in[12])));
    return shown(settings);
  }
  if (is("default_settings")) {
    alignas(WindowSettings) static unsigned char memory[sizeof(WindowSettings)];
    std::memset(memory, 0xA5, sizeof memory);
    return shown(*new (memory) WindowSettings(default_settings()));
  }
  if (is("apply_arguments")) {
    std::vector<const char*> argv = {"tallsay-window"};
    for (const auto& argument : in) argv.push_back(argument.c_str());
    WindowSettings settings = settings_of({"saved.cfg", "40"});
    const char* bad = nullptr;
    const ArgumentOutcome outcome =
        apply_arguments(static_cast<int>(argv.size()), argv.data(), settings, bad);
    const char* outcomes[] = {"run", "invalid", "too_long"};
    return std::string(outcomes[static_cast<int>(outcome)]) + '|' + (bad != nullptr ? bad : "") +
           '|' + shown(settings) + '|' + said(describe_arguments(outcome, bad, text, room));
  }
  if (is("check_existing")) {
    make_before(dir, Fields(in.begin() + 1, in.end()));
    const ExistingFile file = check_existing(arg(0));
    const char* kinds[] = {"nothing", "script", "other", "folder"};
    return kinds[static_cast<int>(file.kind)] + (' ' + std::to_string(file.size));
  }
  if (is("find_chain_clash")) {
    make_before(dir, Fields(in.begin() + 2, in.end()));
    const ChainClash found = find_chain_clash(arg(0), number(1));
    return std::to_string(found.count) + ' ' + found.first + ' ' + std::to_string(found.file.size);
  }
  if (is("count_script")) {
    ScriptCount count;
    if (!in.empty()) test::write_file(dir.path / "script.cfg", in[0]);
    if (!count_script(in.empty() ? "" : dir.file("script.cfg").c_str(), count)) return "FAIL";
    const ScriptMeasure whole = measure_script(in[0]);
    const bool same = std::memcmp(&whole, &count.measure, sizeof whole) == 0;
    return (same ? "whole " : "in part ") + std::to_string(count.banners);
  }
  if (is("is_script_name")) return is_script_name(arg(0)) ? "yes" : "no";
  if (is("describe_name_fix")) return said(describe_name_fix(arg(0), arg(1), text, room));
  if (is("describe_not_a_script")) {
    const Settle settle = in.size() < 3      ? Settle::kChoose
                          : in[2] == "chain" ? Settle::kChain
                                             : Settle::kConvert;
    const ExistingFile file{Existing::kOther, number(1)};
    return said(describe_not_a_script(arg(0), file, settle, text, room));
  }
  if (is("describe_chosen")) {
    return said(describe_chosen(settings_of({in[0]}), flag(1), text, room));
  }
  if (is("describe_typed")) {
    const WindowSettings settings = settings_of({"chat.cfg", in[1], in[2]});
    return said(describe_typed(in[0], settings, work, text, room));
  }
  if (is("read_limit_entry")) {
    std::int32_t limit = 7;
    const LimitEntry entry = read_limit_entry(arg(0), limit);
    return said(describe_limit_entry(entry, arg(0), limit, text, room), std::to_string(limit));
  }
  if (is("split_paste")) {
    const Paste paste = split_paste(std::string_view(arg(0)));
    return said(describe_paste(paste, text, room),
                std::to_string(paste.first_length) + ' ' + std::to_string(paste.other_lines));
  }
  if (is("list_after_send")) {
    const ListView view = list_after_send(number(0), number(1), number(2), number(3), flag(4));
    return std::to_string(view.top) + " " + std::to_string(view.selected);
  }
  if (is("mnemonic_control")) {
    const char* names[] = {"path", "choose", "limit", "hide_name", "convert", "width",
                           "sent", "line",   "say",   "status",    "letters", "team"};
    const int id = mnemonic_control(in[0][0]);
    return id >= kIdPath && id <= kIdTeam ? names[id - kIdPath] : std::to_string(id);
  }
  if (is("describe_width")) return said(describe_width(number(0), number(1), text, room));
  if (is("describe_start")) return said(describe_start(settings_of({arg(0)}), text, room));
  if (is("recall_step")) return std::to_string(recall_step(number(0), number(1), number(2)));
  if (is("describe_key_entry")) return said(describe_key_entry(arg(0), text, room));
  if (is("describe_chain_question")) {
    const TextLook look{ConvertOutcome::kConverted, number(1), number(2), number(3)};
    return said(describe_chain_question(arg(0), look, text, room));
  }
  if (is("describe_replace")) return said(describe_replace(arg(0), flag(1), text, room));
  if (is("describe_chain_clash")) {
    ChainClash clash{number(2), "", ExistingFile{Existing::kOther, number(1)}};
    std::snprintf(clash.first, sizeof clash.first, "%s", arg(0));
    return said(describe_chain_clash(clash, text, room));
  }
  if (is("describe_look")) {
    const TextLook look{static_cast<ConvertOutcome>(index_of(kConversions, in[0])), 0, 0, 0};
    return said(describe_look(look, arg(1), arg(2), text, room));
  }
  if (is("describe_chain")) {
    // outcome, scripts written, lines over a limit (apart by commas, with
    // how many there are; a c after a line cut into two pieces), scripts of
    // the text, first script, key, reason.
    ChainResult chain{};
    chain.outcome = static_cast<ChainOutcome>(index_of(kChainOutcomes, in[0]));
    chain.written = number(1);
    const auto over = split(in[2], ',');
    chain.over_count = std::stoi(over[0]);
    for (std::size_t i = 1; i < over.size(); ++i) {
      chain.over_lines[i - 1] = std::stoi(over[i]);
      chain.over_cut[i - 1] = over[i].back() == 'c';
      chain.cut_lines += chain.over_cut[i - 1] ? 1 : 0;
    }
    chain.lines = chain.written - chain.cut_lines;
    return said(describe_chain(chain, "C:\\texts\\lines.txt", arg(4), in[5], number(3), arg(6),
                               text, room));
  }
  ADD_FAILURE() << "no function " << function;
  return "";
}

TEST(WindowTest, Words) {
  for (const auto& c :
       test::read_cases({"window_words.cases", "settings.cases", "window_arguments.cases"}, 3, 3)) {
    ScratchDir dir;
    EXPECT_EQ(expand(c[2], dir), word(c[0], split(expand(c[1], dir), '|'), dir))
        << c[0] << ' ' << c[1];
  }
}

// Each control's words are found by its id, and each mnemonic leads to one
// control only, in the window and in the choice of the way a text is
// converted.
TEST(WindowTest, ControlsWordsAndMnemonics) {
  const auto mnemonics = [](const auto& texts) {
    std::string letters;
    for (const ControlText& control : texts) {
      EXPECT_STREQ(control.text, control_text(control.id));
      const char* mark = std::strchr(control.text, '&');
      if (mark != nullptr) letters += static_cast<char>(std::tolower(mark[1]));
    }
    return letters;
  };
  for (const std::string& letters : {mnemonics(kControlTexts), mnemonics(kChainDialogTexts)}) {
    EXPECT_EQ(letters.size(), std::set<char>(letters.begin(), letters.end()).size()) << letters;
  }
  EXPECT_STREQ("", control_text(kIdStatus));
}

}  // namespace
}  // namespace tallsay
