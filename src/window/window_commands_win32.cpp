// What the window's buttons, keys and pastes do: choosing the script,
// sending lines, recalling them, and the settings.
#include "window/window_win32.h"  // first: windows.h, which the headers below build on

#include <commdlg.h>
#include <shlobj.h>

#include <cerrno>
#include <cstring>

#include "platform/platform.h"

namespace tallsay {
namespace {

// The folder of `path` in `folder`, when it is one that exists.
bool existing_folder(const char* path, wchar_t* folder, int size) {
  widen(path, folder, size);
  wchar_t* separator = std::wcsrchr(folder, L'\\');
  if (separator == nullptr) return false;
  if (separator[1] != L'\0') *separator = L'\0';
  const DWORD attributes = GetFileAttributesW(folder);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Where a Save window opens: the folder of the last file saved, else the
// script's folder, else the user's documents.
void start_folder(const Window& w, wchar_t* folder, int size) {
  char last[kMaxPathBytes];
  std::snprintf(last, sizeof last, "%s\\", w.saved.last_folder);
  if (w.saved.last_folder[0] != '\0' && existing_folder(last, folder, size)) return;
  if (existing_folder(w.settings.script_path, folder, size)) return;
  if (SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, folder) != S_OK) {
    folder[0] = L'\0';
  }
}

// Adds a sent line to the end of the list, forgetting the oldest beyond
// the number kept. A line sent again from the list leaves the list where
// it stands under the mouse.
void remember_line(Window& w, const wchar_t* line, bool from_list) {
  const HWND list = item(w, kIdSent);
  const int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
  const int top = static_cast<int>(SendMessageW(list, LB_GETTOPINDEX, 0, 0));
  const int chosen = static_cast<int>(SendMessageW(list, LB_GETCURSEL, 0, 0));
  const ListView view = list_after_send(count, kSentLinesKept, top, chosen, from_list);
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  if (count >= kSentLinesKept) SendMessageW(list, LB_DELETESTRING, 0, 0);
  SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
  SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(view.selected), 0);
  if (view.top >= 0) SendMessageW(list, LB_SETTOPINDEX, static_cast<WPARAM>(view.top), 0);
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
  w.recall = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
}

// The setting that the check box `id` shows in `settings`.
bool& check_box_setting(WindowSettings& settings, int id) {
  return id == kIdLetters ? settings.utf8 : id == kIdTeam ? settings.team : settings.hide_name;
}

// The script's path in full, or what to do while there is none.
void show_path(Window& w) {
  set_text(item(w, kIdPath), w.settings.script_path[0] != '\0'
                                 ? w.settings.script_path
                                 : "(none yet: choose it in the game's script folder)");
}

// Writes the script for one line, as the interactive run does, and says
// what it did. Returns true when the script was written.
bool send(Window& w, const wchar_t* wide, bool from_list) {
  // Without a script the Save window comes first; cancelled, the line stays.
  if (w.settings.script_path[0] == '\0' && wide[0] != L'\0') choose_script(w, true);
  // A script named on the command line or in the settings is asked about
  // too before a file of other kinds is replaced.
  const ExistingFile file = check_existing(w.settings.script_path);
  if (wide[0] != L'\0' && file.kind == Existing::kOther && file.size >= 0) {
    char question[kStatusBytes];
    describe_not_a_script(w.settings.script_path, file, Settle::kChoose, question, sizeof question);
    if (!ask(w, L"tallsay: not a tallsay script", question, true)) {
      std::snprintf(w.status, sizeof w.status,
                    "%s was left as it is: press Choose to name another script.",
                    w.settings.script_path);
      show_status(w, false);
      return false;
    }
  }
  char line[kLineBytes];
  narrow(wide, line, kLineBytes);
  const std::string_view text(line, std::strlen(line));
  std::int32_t width = 0;
  SetLastError(0);
  errno = 0;
  const LineOutcome outcome = send_line(text, w.settings, w.work, w.warnings, width);
  char reason[512];
  script_reason(w, reason, sizeof reason);
  describe_line(outcome, text, width, w.settings, reason, w.status, sizeof w.status);
  show_status(w, outcome != LineOutcome::kWritten);
  if (outcome != LineOutcome::kWritten) return false;
  remember_line(w, wide, from_list);
  return true;
}

}  // namespace

bool other_scripts_beside(const char* path) {
  wchar_t pattern[kMaxPathBytes];
  if (!existing_folder(path, pattern, kMaxPathBytes - 8)) return false;
  std::wcscat(pattern, L"\\*.cfg");
  wchar_t own[kMaxPathBytes];
  widen(file_name_of(path), own, kMaxPathBytes);
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  bool other = false;
  do {
    other = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
            lstrcmpiW(found.cFileName, own) != 0;
  } while (!other && FindNextFileW(search, &found) != 0);
  FindClose(search);
  return other;
}

void remember_folder(Window& w, const char* path) {
  const int length = static_cast<int>(file_name_of(path) - path);
  std::snprintf(w.saved.last_folder, sizeof w.saved.last_folder, "%.*s",
                length > 0 ? length - 1 : 0, path);
  std::memcpy(w.settings.last_folder, w.saved.last_folder, sizeof w.settings.last_folder);
  save_setting(w, SettingKey::kLastFolder);
}

bool ask_for_script(Window& w, const wchar_t* title, const char* name,
                    char (&chosen)[kMaxPathBytes]) {
  wchar_t file[kDialogPathUnits];
  wchar_t folder[kDialogPathUnits];
  widen(name, file, kDialogPathUnits);
  start_folder(w, folder, kDialogPathUnits);
  OPENFILENAMEW dialog =
      file_dialog(w, L"Game scripts (*.cfg)\0*.cfg\0All files (*.*)\0*.*\0", file, title);
  dialog.lpstrInitialDir = folder[0] != L'\0' ? folder : nullptr;
  dialog.lpstrDefExt = L"cfg";
  // A file that is there is asked about below, knowing what it holds.
  dialog.Flags =
      OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING;
  if (GetSaveFileNameW(&dialog) == 0) {
    const DWORD error = CommDlgExtendedError();
    if (error != 0) {
      std::snprintf(w.status, sizeof w.status, "The Save window failed (error 0x%lX).",
                    static_cast<unsigned long>(error));
      show_status(w, true);
    }
    return false;
  }
  narrow(file, chosen, kMaxPathBytes);
  return chosen[0] != '\0';
}

bool settle_script(Window& w, char (&chosen)[kMaxPathBytes], Settle settle) {
  char question[kStatusBytes];
  if (!is_script_name(chosen)) {
    char fixed[kMaxPathBytes];
    if (!fix_script_name(chosen, fixed)) return false;
    describe_name_fix(chosen, fixed, question, sizeof question);
    if (!ask(w, L"tallsay: the script's name", question, false)) {
      std::snprintf(w.status, sizeof w.status,
                    "Nothing was chosen: the game could not run a script of that name.");
      show_status(w, false);
      return false;
    }
    std::memcpy(chosen, fixed, sizeof chosen);
  }
  const ExistingFile file = check_existing(chosen);
  if (file.kind == Existing::kFolder) {
    std::snprintf(w.status, sizeof w.status,
                  "%s is a folder: name a file in it as the script, such as chat.cfg.", chosen);
    show_status(w, true);
    return false;
  }
  if (file.kind == Existing::kOther) {
    describe_not_a_script(chosen, file, settle, question, sizeof question);
    if (!ask(w, L"tallsay: not a tallsay script", question, true)) {
      std::snprintf(w.status, sizeof w.status, "%s was left as it is: choose another name.",
                    chosen);
      show_status(w, false);
      return false;
    }
  }
  if (file.kind == Existing::kScript && settle != Settle::kChoose) {
    describe_replace(chosen, settle == Settle::kChain, question, sizeof question);
    return ask(w, L"tallsay: replace the script", question, false);
  }
  return true;
}

void update_drawing(Window& w) {
  wchar_t wide[kLineBoxUnits + 1];
  char line[kLineBytes];
  GetWindowTextW(item(w, kIdLine), wide, kLineBoxUnits + 1);
  narrow(wide, line, kLineBytes);
  describe_typed(std::string_view(line, std::strlen(line)), w.settings, w.work, w.typed,
                 sizeof w.typed);
  // A line over a text line's limit is drawn as far as it goes.
  const std::size_t length = std::strlen(line);
  lay_out_banner(std::string_view(line, length < kMaxTextBytes ? length : kMaxTextBytes), w.preview,
                 w.settings.utf8);
  set_text(item(w, kIdWidth), w.typed);
  InvalidateRect(w.window, &w.drawing, FALSE);
}

void show_settings(Window& w) {
  show_path(w);
  char limit[16];
  std::snprintf(limit, sizeof limit, "%ld",
                static_cast<long>(w.settings.max_line_len > 0 ? w.settings.max_line_len : 0));
  set_text(item(w, kIdLimit), limit);
  for (const int id : {kIdHideName, kIdLetters, kIdTeam}) {
    SendMessageW(item(w, id), BM_SETCHECK, check_box_setting(w.settings, id) ? BST_CHECKED : 0, 0);
  }
  update_drawing(w);
}

bool choose_script(Window& w, bool first_run) {
  const char* name = file_name_of(w.settings.script_path);
  char chosen[kMaxPathBytes];
  if (!ask_for_script(w,
                      first_run ? L"Where does the script go? In the game's script folder, "
                                  L"often named cfg"
                                : L"Choose the script (in the game's script folder)",
                      name[0] != '\0' ? name : "chat.cfg", chosen) ||
      !settle_script(w, chosen, Settle::kChoose)) {
    return false;
  }
  std::memcpy(w.settings.script_path, chosen, kMaxPathBytes);
  std::memcpy(w.saved.script_path, chosen, kMaxPathBytes);
  show_path(w);
  save_setting(w, SettingKey::kScript);
  remember_folder(w, chosen);
  describe_chosen(w.settings, other_scripts_beside(chosen), w.status, sizeof w.status);
  show_status(w, false);
  // The next thing to do is to type a line.
  w.focus = item(w, kIdLine);
  SetFocus(w.focus);
  return true;
}

void send_line_box(Window& w) {
  wchar_t wide[kLineBoxUnits + 1];
  GetWindowTextW(item(w, kIdLine), wide, kLineBoxUnits + 1);
  if (send(w, wide, false)) SetWindowTextW(item(w, kIdLine), L"");
}

void send_chosen_line(Window& w) {
  const HWND list = item(w, kIdSent);
  const LRESULT chosen = SendMessageW(list, LB_GETCURSEL, 0, 0);
  wchar_t wide[kLineBoxUnits + 1];
  if (chosen == LB_ERR ||
      SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(chosen), 0) > kLineBoxUnits) {
    return;
  }
  SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(chosen), reinterpret_cast<LPARAM>(wide));
  send(w, wide, true);
}

void recall(Window& w, int step) {
  const HWND line = item(w, kIdLine);
  const HWND list = item(w, kIdSent);
  const int count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
  if (w.recall > count) w.recall = count;
  if (w.recall == count) GetWindowTextW(line, w.draft, kLineBoxUnits + 1);
  w.recall = recall_step(w.recall, count, step);
  wchar_t wide[kLineBoxUnits + 1];
  if (w.recall == count) {
    SetWindowTextW(line, w.draft);
  } else if (SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(w.recall), 0) <= kLineBoxUnits) {
    SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(w.recall), reinterpret_cast<LPARAM>(wide));
    SetWindowTextW(line, wide);
  }
  const int length = GetWindowTextLengthW(line);
  SendMessageW(line, EM_SETSEL, static_cast<WPARAM>(length), length);
}

void read_limit(Window& w) {
  wchar_t wide[32];
  char text[96];
  GetWindowTextW(item(w, kIdLimit), wide, 32);
  narrow(wide, text, sizeof text);
  std::int32_t limit = w.settings.max_line_len;
  const LimitEntry entry = read_limit_entry(text, limit);
  if (entry != LimitEntry::kTaken) {
    describe_limit_entry(entry, text, w.settings.max_line_len, w.status, sizeof w.status);
    show_status(w, true);
    return;
  }
  // The box shows 0 for any limit that never warns, such as --line-len=-5.
  if (limit == w.settings.max_line_len || (limit <= 0 && w.settings.max_line_len <= 0)) return;
  w.settings.max_line_len = limit;
  w.saved.max_line_len = limit;
  save_setting(w, SettingKey::kLimit);
  update_drawing(w);
}

void read_check_box(Window& w, int id) {
  const bool checked = SendMessageW(item(w, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
  check_box_setting(w.settings, id) = checked;
  check_box_setting(w.saved, id) = checked;
  save_setting(w, id == kIdLetters ? SettingKey::kLetters
                  : id == kIdTeam  ? SettingKey::kTeam
                                   : SettingKey::kHideName);
  update_drawing(w);
}

void paste_into_line_box(Window& w) {
  if (OpenClipboard(w.window) == 0) return;
  const HANDLE data = GetClipboardData(CF_UNICODETEXT);
  const auto* text = data != nullptr ? static_cast<const wchar_t*>(GlobalLock(data)) : nullptr;
  if (text == nullptr) {
    CloseClipboard();
    return;
  }
  // The clipboard's memory ends where its block does, whatever it holds.
  const std::size_t units = GlobalSize(data) / sizeof(wchar_t);
  std::size_t length = 0;
  while (length < units && text[length] != L'\0') ++length;
  const Paste paste = split_paste(std::wstring_view(text, length));
  wchar_t first[kLineBoxUnits + 1];
  const std::size_t kept = paste.first_length < kLineBoxUnits ? paste.first_length : kLineBoxUnits;
  std::memcpy(first, text, kept * sizeof(wchar_t));
  first[kept] = L'\0';
  GlobalUnlock(data);
  CloseClipboard();
  SendMessageW(item(w, kIdLine), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(first));
  if (paste.other_lines > 0) {
    describe_paste(paste, w.status, sizeof w.status);
    show_status(w, false);
  }
}

}  // namespace tallsay
