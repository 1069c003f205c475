// The window's settings: the settings file, where it lives, and the command
// line laid over it.
#include <algorithm>
#include <cstring>

#include "window/window.h"

namespace tallsay {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Copies `text` and a NUL into `path`. Returns false, leaving `path` as it
// was, when it does not fit.
bool copy_path(std::string_view text, char (&path)[kMaxPathBytes]) {
  if (text.size() >= kMaxPathBytes) return false;
  std::memcpy(path, text.data(), text.size());
  path[text.size()] = '\0';
  return true;
}

// Writes `folder`, a separator unless it ends in one, and `name` into `path`.
bool join_path(std::string_view folder, std::string_view name, char (&path)[kMaxPathBytes]) {
  const bool separated = !folder.empty() && (folder.back() == '\\' || folder.back() == '/');
  const std::size_t length = folder.size() + (separated ? 0 : 1) + name.size();
  if (length >= kMaxPathBytes) return false;
  std::memcpy(path, folder.data(), folder.size());
  std::size_t used = folder.size();
  if (!separated) path[used++] = '\\';
  std::memcpy(path + used, name.data(), name.size());
  path[length] = '\0';
  return true;
}

bool is_on(std::string_view value) {
  return value == "yes" || value == "1" || value == "true" || value == "on";
}

void read_setting(std::string_view key, std::string_view value, WindowSettings& settings) {
  if (key == "out-file") {
    copy_path(value, settings.script_path);
  } else if (key == "line-len") {
    char number[kMaxPathBytes];
    const std::size_t length = std::min(value.size(), sizeof number - 1);
    std::memcpy(number, value.data(), length);
    number[length] = '\0';
    settings.max_line_len = parse_line_len(number);
  } else if (key == "no-name") {
    settings.hide_name = is_on(value);
  } else if (key == "utf8") {
    settings.utf8 = is_on(value);
  } else if (key == "team") {
    settings.team = is_on(value);
  } else if (key == "folder") {
    copy_path(value, settings.last_folder);
  } else if (key == "convert" && (value == "chain" || value == "script")) {
    settings.convert_chain = value == "chain";
  } else if (key == "chain-key" && value.size() < kKeyNameBytes && is_key_name(value)) {
    std::memcpy(settings.chain_key, value.data(), value.size());
    settings.chain_key[value.size()] = '\0';
  }
}

}  // namespace

WindowSettings default_settings() {
  WindowSettings settings;
  settings.script_path[0] = '\0';
  settings.max_line_len = 0;
  settings.hide_name = false;
  settings.utf8 = true;
  settings.team = false;
  settings.last_folder[0] = '\0';
  settings.convert_chain = true;
  std::memcpy(settings.chain_key, "F5", 3);
  return settings;
}

void take_setting(WindowSettings& settings, const WindowSettings& from, SettingKey key) {
  switch (key) {
    case SettingKey::kScript:
      std::memcpy(settings.script_path, from.script_path, sizeof settings.script_path);
      break;
    case SettingKey::kLimit:
      settings.max_line_len = from.max_line_len;
      break;
    case SettingKey::kHideName:
      settings.hide_name = from.hide_name;
      break;
    case SettingKey::kLetters:
      settings.utf8 = from.utf8;
      break;
    case SettingKey::kTeam:
      settings.team = from.team;
      break;
    case SettingKey::kLastFolder:
      std::memcpy(settings.last_folder, from.last_folder, sizeof settings.last_folder);
      break;
    case SettingKey::kConvert:
      settings.convert_chain = from.convert_chain;
      std::memcpy(settings.chain_key, from.chain_key, sizeof settings.chain_key);
      break;
  }
}

bool same_settings(const WindowSettings& a, const WindowSettings& b) {
  return std::strcmp(a.script_path, b.script_path) == 0 && a.max_line_len == b.max_line_len &&
         a.hide_name == b.hide_name && a.utf8 == b.utf8 && a.team == b.team &&
         std::strcmp(a.last_folder, b.last_folder) == 0 && a.convert_chain == b.convert_chain &&
         std::strcmp(a.chain_key, b.chain_key) == 0;
}

void read_settings(std::string_view text, WindowSettings& settings) {
  if (text.size() >= kByteOrderMark.size() &&
      std::string_view(text.data(), kByteOrderMark.size()) == kByteOrderMark) {
    text.remove_prefix(kByteOrderMark.size());
  }
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    std::string_view line(text.data(), end);
    text.remove_prefix(std::min(end + 1, text.size()));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::size_t equals = line.find('=');
    if (line.empty() || line[0] == ';' || line[0] == '#' || line[0] == '[' ||
        equals == std::string_view::npos) {
      continue;
    }
    read_setting(std::string_view(line.data(), equals),
                 std::string_view(line.data() + equals + 1, line.size() - equals - 1), settings);
  }
}

std::size_t write_settings(const WindowSettings& settings, char* buffer, std::size_t size) {
  const int length = std::snprintf(buffer, size,
                                   "; The settings of tallsay-window, which writes this file.\r\n"
                                   "[tallsay-window]\r\n"
                                   "out-file=%s\r\n"
                                   "line-len=%ld\r\n"
                                   "no-name=%s\r\n"
                                   "utf8=%s\r\n"
                                   "team=%s\r\n"
                                   "folder=%s\r\n"
                                   "convert=%s\r\n"
                                   "chain-key=%s\r\n",
                                   settings.script_path, static_cast<long>(settings.max_line_len),
                                   settings.hide_name ? "yes" : "no", settings.utf8 ? "yes" : "no",
                                   settings.team ? "yes" : "no", settings.last_folder,
                                   settings.convert_chain ? "chain" : "script", settings.chain_key);
  return length < 0 ? 0 : static_cast<std::size_t>(length);
}

bool settings_beside(const char* exe_path, char (&path)[kMaxPathBytes]) {
  const std::string_view exe(exe_path);
  const std::size_t separator = exe.find_last_of("\\/");
  const std::string_view folder = separator == std::string_view::npos
                                      ? std::string_view()
                                      : std::string_view(exe_path, separator + 1);
  if (folder.empty()) return copy_path(kSettingsFileName, path);
  return join_path(folder, kSettingsFileName, path);
}

bool settings_in_app_data(const char* app_data, char (&path)[kMaxPathBytes]) {
  char folder[kMaxPathBytes];
  return app_data[0] != '\0' && join_path(app_data, "tallsay", folder) &&
         join_path(folder, kSettingsFileName, path);
}

bool settings_go_beside(bool beside_exists, bool app_data_exists, bool folder_writable,
                        bool app_data_newer) {
  if (beside_exists && app_data_exists) return !app_data_newer;
  return beside_exists || (!app_data_exists && folder_writable);
}

std::size_t describe_settings_write(const char* failed, const char* reason, const char* moved_to,
                                    char* buffer, std::size_t size) {
  std::size_t length = std::strlen(reason);
  while (length > 0 && std::strchr(" \t\r\n.", reason[length - 1]) != nullptr) --length;
  const int shown = static_cast<int>(length);
  const int written =
      moved_to[0] != '\0'
          ? std::snprintf(buffer, size,
                          "The settings cannot be written in %s (%.*s): they are kept in %s "
                          "from now on.",
                          failed, shown, reason, moved_to)
          : std::snprintf(buffer, size,
                          "The settings cannot be written in %s (%.*s): they hold for this run "
                          "only.",
                          failed, shown, reason);
  if (written < 0) {
    buffer[0] = '\0';
    return 0;
  }
  return std::min(static_cast<std::size_t>(written), size - 1);
}

BlockOptions block_options(const WindowSettings& settings) {
  BlockOptions options;
  options.max_line_len = settings.max_line_len;
  options.hide_name = settings.hide_name;
  options.utf8 = settings.utf8;
  options.team = settings.team;
  return options;
}

ArgumentOutcome apply_arguments(int argc, const char* const* argv, WindowSettings& settings,
                                const char*& bad) {
  RunOptions options;
  static_cast<BlockOptions&>(options) = block_options(settings);
  options.out_path = settings.script_path;
  if (parse_options(argc, argv, options, bad) == ParseOutcome::kInvalidArgument) {
    return ArgumentOutcome::kInvalidArgument;
  }
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--in-file=", 10) == 0) {
      bad = argv[i];
      return ArgumentOutcome::kInvalidArgument;
    }
  }
  constexpr std::size_t kOutFilePrefix = 11;  // "--out-file=", which the path follows
  const bool out_given = options.out_path != settings.script_path;
  if (out_given && std::strlen(options.out_path) >= kMaxPathBytes) {
    bad = options.out_path - kOutFilePrefix;
    return ArgumentOutcome::kPathTooLong;
  }
  if (out_given) copy_path(options.out_path, settings.script_path);
  settings.max_line_len = options.max_line_len;
  settings.hide_name = options.hide_name;
  settings.utf8 = options.utf8;
  settings.team = options.team;
  return ArgumentOutcome::kRun;
}

}  // namespace tallsay
