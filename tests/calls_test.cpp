// The tool's plain functions called with known answers from
// tests/data/calls.cases: the --line-len= number, key and script names, bind
// lines, the model of the consoles, the notes and advice on the console's
// limits, and the zip's CRC-32.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "chain/chain.h"
#include "console/console.h"
#include "console_model.h"
#include "support.h"
#include "web/zip.h"

namespace tallsay {
namespace {

// What `function` gives for the arguments `in`, shown as calls.cases shows it.
std::string call(const std::string& function, const std::vector<std::string>& in) {
  char text[2048];
  char name[kMaxScriptNameBytes + 1] = "left over";
  if (function == "parse_line_len") return std::to_string(parse_line_len(in[0].c_str()));
  if (function == "is_key_name") return is_key_name(in[0]) ? "yes" : "no";
  if (function == "names_nothing") return test::names_nothing(in[0]) ? "yes" : "no";
  if (function == "check_script_name") {
    return check_script_name(in[0], name) ? name : std::string(name) + "FAIL";
  }
  if (function == "chain_script_name") {
    return chain_script_name(in[0], std::stoi(in[1]), name) ? name : "FAIL";
  }
  if (function == "bind_line") {
    const std::size_t length = bind_line(in[0], in[1], text, std::stoul(in[2]));
    return std::string(text) + (length == std::string(text).size() ? "" : " (length wrong)");
  }
  if (function == "console") {
    const auto kind = in[0] == "target" ? test::ConsoleKind::kTarget
                      : in[0] == "cr"   ? test::ConsoleKind::kCarriageReturn
                                        : test::ConsoleKind::kLineByLine;
    std::string shown;
    for (const auto& command : test::run_console(in[1], kind)) {
      shown +=
          (shown.empty() ? "" : " ") + std::string(command.name) + "|" + std::string(command.said);
    }
    return shown;
  }
  if (function == "notes" || function == "advice") {
    const ScriptMeasure measure = measure_script(in[0]);
    const std::size_t room = in.size() > 1 ? std::stoul(in[1]) : sizeof text;
    const std::size_t length = function == "notes" ? describe_notes(measure, text, room)
                                                   : describe_advice(measure, text, room);
    return std::string(text) + (length == std::string(text).size() ? "" : " (length wrong)");
  }
  if (function == "crc32") {
    std::snprintf(text, sizeof text, "%08lx", static_cast<unsigned long>(crc32_of(in[0])));
    return text;
  }
  return "no such function";
}

TEST(CallsTest, KnownAnswers) {
  for (const auto& c : test::read_cases({"calls.cases"}, 3, 5)) {
    const std::vector<std::string> in(c.begin() + 1, c.end() - 1);
    EXPECT_EQ(c.back(), call(c[0], in)) << c[0] << ": " << (in.empty() ? "" : in[0].substr(0, 60));
  }
}

}  // namespace
}  // namespace tallsay
