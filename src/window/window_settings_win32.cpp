// The window's settings file: found beside the program or in the user's
// folder, wherever it was last written, and written one setting at a time so
// that two windows keep each other's changes.
#include "window/window_win32.h"  // first: windows.h, which the headers below build on

#include <shlobj.h>

#include <cerrno>
#include <cstring>

#include "platform/platform.h"

namespace tallsay {
namespace {

// When the file at `path` was last written; false when there is none.
bool written_at(const char* path, FILETIME& time) {
  wchar_t wide[kMaxPathBytes];
  widen(path, wide, kMaxPathBytes);
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (path[0] == '\0' || GetFileAttributesExW(wide, GetFileExInfoStandard, &data) == 0) {
    return false;
  }
  time = data.ftLastWriteTime;
  return true;
}

// Whether a file can be made at `path`: makes it and lets it go at once.
bool can_create(const char* path) {
  wchar_t wide[kMaxPathBytes];
  widen(path, wide, kMaxPathBytes);
  const HANDLE file = CreateFileW(wide, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

// Reads the settings file at `path` over `settings`. Returns false when it
// cannot be opened.
bool read_settings_file(const char* path, WindowSettings& settings) {
  std::FILE* file = path[0] != '\0' ? open_file(path, "rb") : nullptr;
  if (file == nullptr) return false;
  char text[2 * kSettingsTextBytes];
  const std::size_t read = std::fread(text, 1, sizeof text, file);
  std::fclose(file);
  read_settings(std::string_view(text, read), settings);
  return true;
}

// Writes `text` as the settings file at `path`. Returns false, with the
// system's reason in `reason`, when it cannot.
bool write_settings_file(const char* path, const char* text, std::size_t length, char* reason,
                         int reason_size) {
  SetLastError(0);
  errno = 0;
  std::FILE* file = open_file(path, "wb");
  if (file != nullptr) {
    const bool written = std::fwrite(text, 1, length, file) == length;
    if (std::fclose(file) == 0 && written) return true;
  }
  system_reason(reason, reason_size);
  return false;
}

// Makes the folder of the settings file in the user's folder.
void make_folder_of(const char* path) {
  wchar_t folder[kMaxPathBytes];
  widen(path, folder, kMaxPathBytes);
  if (wchar_t* separator = std::wcsrchr(folder, L'\\')) *separator = L'\0';
  CreateDirectoryW(folder, nullptr);
}

}  // namespace

void load_settings(Window& w) {
  wchar_t wide[kMaxPathBytes];
  char path[kMaxPathBytes];
  const DWORD length = GetModuleFileNameW(nullptr, wide, kMaxPathBytes);
  narrow(length < kMaxPathBytes ? wide : L"", path, kMaxPathBytes);
  char beside[kMaxPathBytes];
  if (!settings_beside(path, beside)) beside[0] = '\0';
  wide[0] = L'\0';
  SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, wide);
  narrow(wide, path, kMaxPathBytes);
  if (!settings_in_app_data(path, w.app_data_path)) w.app_data_path[0] = '\0';
  FILETIME beside_time = {};
  FILETIME app_data_time = {};
  const bool beside_exists = written_at(beside, beside_time);
  const bool in_app_data = written_at(w.app_data_path, app_data_time);
  const bool app_data_newer = CompareFileTime(&app_data_time, &beside_time) > 0;
  const bool beside_usable =
      beside[0] != '\0' &&
      settings_go_beside(beside_exists, in_app_data,
                         !beside_exists && !in_app_data && can_create(beside), app_data_newer);
  std::memcpy(w.settings_path, beside_usable ? beside : w.app_data_path, kMaxPathBytes);
  w.saved = default_settings();
  read_settings_file(w.settings_path, w.saved);
}

void save_setting(Window& w, SettingKey key) {
  // What the file holds now: another window may have written it since.
  WindowSettings file = default_settings();
  const bool read = read_settings_file(w.settings_path, file);
  WindowSettings merged = read ? file : w.saved;
  take_setting(merged, w.saved, key);
  const bool changed_elsewhere = read && !same_settings(merged, w.saved);
  char text[kSettingsTextBytes];
  const std::size_t length = write_settings(merged, text, sizeof text);
  char reason[512];
  if (write_settings_file(w.settings_path, text, length, reason, sizeof reason)) {
    w.saved = merged;
    if (changed_elsewhere) {
      std::snprintf(w.status, sizeof w.status,
                    "Another tallsay window changed the settings in %s since this one read "
                    "them: its changes are kept there, and this one's added.",
                    w.settings_path);
      show_status(w, false);
    }
    return;
  }
  // The program's folder refuses it: the user's folder from now on.
  char failed[kMaxPathBytes];
  std::memcpy(failed, w.settings_path, sizeof failed);
  const bool can_move =
      w.app_data_path[0] != '\0' && std::strcmp(w.settings_path, w.app_data_path) != 0;
  char moved_reason[512];
  if (can_move) {
    std::memcpy(w.settings_path, w.app_data_path, sizeof w.settings_path);
    make_folder_of(w.settings_path);
  }
  if (can_move &&
      write_settings_file(w.settings_path, text, length, moved_reason, sizeof moved_reason)) {
    w.saved = merged;
    describe_settings_write(failed, reason, w.settings_path, w.status, sizeof w.status);
    show_status(w, false);
    return;
  }
  describe_settings_write(w.settings_path, can_move ? moved_reason : reason, "", w.status,
                          sizeof w.status);
  show_status(w, true);
}

}  // namespace tallsay
