// The script the player chooses: a name the console can run, and what the
// chosen path holds before the window replaces it.
#include <cerrno>
#include <cstring>

#include "platform/platform.h"
#include "window/window.h"

namespace tallsay {
namespace {

constexpr std::string_view kDefaultStem = "chat";

bool is_name_byte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-' || c == '.';
}

// Whether `name` ends in .cfg in any letters.
bool has_extension(std::string_view name) {
  if (name.size() < kScriptExtension.size()) return false;
  const std::string_view end = name.substr(name.size() - kScriptExtension.size());
  for (std::size_t i = 0; i < end.size(); ++i) {
    const char lower = end[i] >= 'A' && end[i] <= 'Z' ? static_cast<char>(end[i] + 32) : end[i];
    if (lower != kScriptExtension[i]) return false;
  }
  return true;
}

// Writes the stem of a fixed name into `stem` (at most `room` bytes): each
// character outside the allowed bytes becomes one '_' (a UTF-8 character's
// continuation bytes are taken with its lead byte), and what stands before
// its first letter or digit is left out. Returns its length.
std::size_t fixed_stem(std::string_view name, char* stem, std::size_t room) {
  std::size_t length = 0;
  for (std::size_t at = 0; at < name.size() && length < room; ++at) {
    const auto byte = static_cast<unsigned char>(name[at]);
    if ((byte & 0xC0) == 0x80) continue;
    const bool letter_or_digit = is_name_byte(name[at]) && std::strchr("_-.", name[at]) == nullptr;
    // The name starts with a letter or digit.
    if (length == 0 && !letter_or_digit) continue;
    stem[length++] = is_name_byte(name[at]) ? name[at] : '_';
  }
  return length;
}

}  // namespace

bool is_script_name(const char* path) {
  const std::string_view name = file_name_of(path);
  char checked[kMaxScriptNameBytes + 1];
  return check_script_name(name, checked) && name == checked;
}

bool fix_script_name(const char* path, char (&fixed)[kMaxPathBytes]) {
  const char* name_start = file_name_of(path);
  std::string_view name = name_start;
  if (has_extension(name)) name.remove_suffix(kScriptExtension.size());
  char stem[kMaxScriptNameBytes];
  std::size_t length = fixed_stem(name, stem, kMaxScriptNameBytes - kScriptExtension.size());
  if (length == 0) {
    std::memcpy(stem, kDefaultStem.data(), kDefaultStem.size());
    length = kDefaultStem.size();
  }
  const auto folder = static_cast<std::size_t>(name_start - path);
  if (folder + length + kScriptExtension.size() >= kMaxPathBytes) return false;
  std::memmove(fixed, path, folder);
  std::memcpy(fixed + folder, stem, length);
  std::memcpy(fixed + folder + length, kScriptExtension.data(), kScriptExtension.size());
  fixed[folder + length + kScriptExtension.size()] = '\0';
  return true;
}

ExistingFile check_existing(const char* path) {
  std::FILE* file = open_file(path, "rb");
  if (file == nullptr) {
    if (errno == ENOENT) return ExistingFile{Existing::kNothing, -1};
    return ExistingFile{errno == EISDIR ? Existing::kFolder : Existing::kOther, -1};
  }
  char start[kScriptHeader.size()];
  const std::size_t read = std::fread(start, 1, sizeof start, file);
  const bool script = std::string_view(start, read) == kScriptHeader;
  std::int64_t size = -1;
  if (std::fseek(file, 0, SEEK_END) == 0) size = std::ftell(file);
  std::fclose(file);
  return ExistingFile{script ? Existing::kScript : Existing::kOther, size};
}

}  // namespace tallsay
