// The console model: splitting, words, and the check of a script.
#include "console_model.h"

#include <algorithm>

namespace tallsay::test {
namespace {

// A stricter console reads a script of more bytes than this line by line.
constexpr std::size_t kLineByLineAbove = 16381;

bool is_blank(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte != 0 && byte <= 0x20;
}

// The command of `text`; false for a blank command or a comment.
bool parse_command(std::string_view text, ModelCommand& command) {
  std::size_t at = 0;
  while (at < text.size() && is_blank(text[at])) ++at;
  if (at == text.size() || text.substr(at, 2) == "//") return false;
  std::size_t end = at;
  if (text[at] == '"') {
    end = text.find('"', at + 1);
    command.name = text.substr(at + 1, end == text.npos ? text.npos : end - at - 1);
    end = end == text.npos ? text.size() : end + 1;
  } else {
    while (end < text.size() && !is_blank(text[end])) ++end;
    command.name = text.substr(at, end - at);
  }
  while (end < text.size() && is_blank(text[end])) ++end;
  const std::string_view arguments = text.substr(end);
  command.arguments = arguments;
  const bool in_quotes =
      arguments.size() >= 2 && arguments.front() == '"' && arguments.back() == '"';
  command.said = in_quotes ? arguments.substr(1, arguments.size() - 2) : arguments;
  return true;
}

// Calls `visit` with each command that `kind` of console runs for `script`,
// in order, until it returns false.
template <typename Visit>
void for_each_command(std::string_view script, ConsoleKind kind, Visit visit) {
  const bool by_line = kind == ConsoleKind::kLineByLine && script.size() > kLineByLineAbove;
  const auto take = [&](std::string_view text) {
    ModelCommand command;
    return !parse_command(text, command) || visit(command);
  };
  std::size_t start = 0;
  bool quoted = false;
  for (std::size_t at = 0; at < script.size(); ++at) {
    const char c = script[at];
    const auto byte = static_cast<unsigned char>(c);
    bool ends = c == '\n' || (c == ';' && !quoted);
    if (kind != ConsoleKind::kTarget && c == '\r') ends = true;
    if (by_line && (byte < 0x20 || byte >= 0x80)) ends = true;
    if (!ends) {
      if (c == '"') quoted = !quoted;
      continue;
    }
    std::string_view text = script.substr(start, at - start);
    // The CR of a CR LF line end is not part of the command.
    if (c == '\n' && !text.empty() && text.back() == '\r') text.remove_suffix(1);
    if (!take(text)) return;
    start = at + 1;
    quoted = false;
  }
  if (start < script.size()) take(script.substr(start));
}

std::string whole(const ModelCommand& command) {
  return std::string(command.name) + " " + std::string(command.arguments);
}

// Whether the command says a chat line, to all or to the team.
bool is_say(const ModelCommand& command) {
  return command.name == "say" || command.name == "say_team";
}

std::string check_stricter(std::string_view script, ConsoleKind kind, const char* which,
                           const std::vector<std::string>& allowed) {
  std::string fault;
  for_each_command(script, kind, [&](const ModelCommand& command) {
    if (is_say(command) || names_nothing(command.name)) return true;
    if (std::find(allowed.begin(), allowed.end(), whole(command)) != allowed.end()) return true;
    fault = std::string(which) + " console runs " + whole(command);
    return false;
  });
  return fault;
}

}  // namespace

std::vector<ModelCommand> run_console(std::string_view script, ConsoleKind kind) {
  std::vector<ModelCommand> commands;
  for_each_command(script, kind, [&](const ModelCommand& command) {
    commands.push_back(command);
    return true;
  });
  return commands;
}

bool names_nothing(std::string_view name) {
  return std::none_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '+' || c == '-';
  });
}

std::vector<std::string> say_rows(std::string_view script) {
  std::vector<std::string> rows;
  constexpr std::string_view kEnd = "\"\r";
  for (std::size_t start = 0; start < script.size();) {
    std::size_t end = script.find('\n', start);
    if (end == script.npos) end = script.size();
    const std::string_view line = script.substr(start, end - start);
    for (const std::string_view say : {"say \"", "say_team \""}) {
      if (line.size() >= say.size() + kEnd.size() && line.substr(0, say.size()) == say &&
          line.substr(line.size() - kEnd.size()) == kEnd) {
        rows.emplace_back(line.substr(say.size(), line.size() - say.size() - kEnd.size()));
      }
    }
    start = end + 1;
  }
  return rows;
}

std::string check_harmless(std::string_view script, const std::vector<std::string>& rows,
                           const std::vector<std::string>& allowed) {
  std::size_t count = 0;
  std::string fault;
  for_each_command(script, ConsoleKind::kTarget, [&](const ModelCommand& command) {
    const std::size_t i = count++;
    if (i < rows.size() && (!is_say(command) || command.said != rows[i])) {
      fault = "the target console's command " + std::to_string(i + 1) + " is " + whole(command) +
              ", not the say of row " + std::to_string(i + 1);
    } else if (i >= rows.size() && i < rows.size() + allowed.size() &&
               whole(command) != allowed[i - rows.size()]) {
      fault = "the target console runs " + whole(command) + ", not " + allowed[i - rows.size()];
    }
    return fault.empty();
  });
  if (fault.empty() && count != rows.size() + allowed.size()) {
    fault = "the target console runs " + std::to_string(count) + " commands, not " +
            std::to_string(rows.size() + allowed.size());
  }
  if (fault.empty()) fault = check_stricter(script, ConsoleKind::kCarriageReturn, "a CR", allowed);
  // A small script is read line by line as the CR console reads it.
  if (fault.empty() && script.size() > kLineByLineAbove) {
    fault = check_stricter(script, ConsoleKind::kLineByLine, "a line-by-line", allowed);
  }
  return fault;
}

std::string check_tool_script(std::string_view script) {
  // Each block ends with its last say line and an empty line; no comment,
  // warning or header line ends in a quote before an empty line.
  std::size_t blocks = 0;
  for (std::size_t at = 0; (at = script.find("\"\r\n\r\n", at)) != script.npos; ++at) ++blocks;
  const std::vector<std::string> rows = say_rows(script);
  if (rows.size() != 4 * blocks) {
    return std::to_string(rows.size()) + " say rows for " + std::to_string(blocks) + " blocks";
  }
  return check_harmless(script, rows);
}

}  // namespace tallsay::test
