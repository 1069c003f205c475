// The window of tallsay-window: the script's path and the two settings at
// the top, a drawing of the line being typed as the game shows it, the lines
// sent, the line box, and a status line that says what each step did.
// Everything it decides without a window is in settings.cpp and line.cpp.
#include <windows.h>  // first: the headers below build on it

#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cerrno>
#include <cstring>

#include "platform/platform.h"
#include "window/window.h"

namespace tallsay {
namespace {

constexpr UINT kFirstRunMessage = WM_APP + 1;
constexpr int kLineBoxUnits = 2048;  // UTF-16 units the line box takes
constexpr int kLineBytes = 3 * kLineBoxUnits + 1;
constexpr int kDialogPathUnits = kMaxPathBytes / 3;  // so that its UTF-8 fits kMaxPathBytes
constexpr int kSentLinesKept = 200;

// The labels, each created just before the control it names (its mnemonic
// moves the focus there).
enum Label : int {
  kLabelScript = kIdLabelFirst,
  kLabelLimit,
  kLabelColumns,
  kLabelSent,
  kLabelLine,
};

// The window's state, reached through GWLP_USERDATA.
struct Window {
  HWND window;
  HFONT font;
  UINT dpi;
  HWND focus;               // the control to give the focus back to
  RECT drawing;             // where the line being typed is drawn
  WindowSettings settings;  // in force: the saved ones with the command line laid over
  WindowSettings saved;     // as the settings file holds them
  char settings_path[kMaxPathBytes];
  char app_data_path[kMaxPathBytes];  // the fallback when the first cannot be written
  std::FILE* warnings;  // where write_block's console warning goes; the status says it
  bool status_is_error;
  int recall;                        // see recall_step
  wchar_t draft[kLineBoxUnits + 1];  // the line being typed while earlier ones are shown
  Banner preview;                    // the line being typed, laid out
  ScriptWork work;
  char status[kStatusBytes];
};

// UTF-8 to UTF-16 and back; an empty result when it does not fit.
void widen(const char* text, wchar_t* wide, int size) {
  if (MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, size) == 0) wide[0] = L'\0';
}

void narrow(const wchar_t* wide, char* text, int size) {
  if (WideCharToMultiByte(CP_UTF8, 0, wide, -1, text, size, nullptr, nullptr) == 0) {
    text[0] = '\0';
  }
}

HWND item(const Window& w, int id) {
  return GetDlgItem(w.window, id);
}

void set_text(HWND control, const char* text) {
  wchar_t wide[kStatusBytes];
  widen(text, wide, kStatusBytes);
  SetWindowTextW(control, wide);
}

int scaled(const Window& w, int pixels) {
  return MulDiv(pixels, static_cast<int>(w.dpi), USER_DEFAULT_SCREEN_DPI);
}

// The window's DPI: per monitor where the system tells it, else the
// system's.
UINT dpi_of(HWND window) {
  using DpiForWindow = UINT(WINAPI*)(HWND);
  const FARPROC found = GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow");
  if (found != nullptr) {
    DpiForWindow dpi_for_window;
    std::memcpy(&dpi_for_window, &found, sizeof dpi_for_window);
    const UINT dpi = dpi_for_window(window);
    if (dpi != 0) return dpi;
  }
  const HDC screen = GetDC(window);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(window, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

// The system's reason for the failure that has just happened: the Windows
// error's words when a Windows call failed, else errno's. Read it before any
// other call.
void system_reason(char* reason, int size) {
  const DWORD error = GetLastError();
  const int saved_errno = errno;
  wchar_t wide[512];
  if (error != 0 && FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, 0, wide, 512, nullptr) != 0) {
    narrow(wide, reason, size);
    return;
  }
  std::snprintf(reason, static_cast<std::size_t>(size), "%s", std::strerror(saved_errno));
}

void show_status(Window& w, bool error) {
  w.status_is_error = error;
  set_text(item(w, kIdStatus), w.status);
  if (error) MessageBeep(MB_ICONWARNING);
}

// The script's path in full, or what to do while there is none.
void show_path(Window& w) {
  set_text(item(w, kIdPath), w.settings.script_path[0] != '\0'
                                 ? w.settings.script_path
                                 : "(none yet: choose it in the game's script folder)");
}

void show_width(Window& w) {
  char label[128];
  describe_width(w.preview.width, w.settings.max_line_len, label, sizeof label);
  set_text(item(w, kIdWidth), label);
  InvalidateRect(w.window, &w.drawing, FALSE);
}

// Lays out the line being typed for the drawing; a line over a text line's
// limit is drawn as far as it goes.
void update_drawing(Window& w) {
  wchar_t wide[kLineBoxUnits + 1];
  char line[kLineBytes];
  GetWindowTextW(item(w, kIdLine), wide, kLineBoxUnits + 1);
  narrow(wide, line, kLineBytes);
  const std::size_t length = std::strlen(line);
  lay_out_banner(std::string_view(line, length < kMaxTextBytes ? length : kMaxTextBytes),
                 w.preview);
  show_width(w);
}

// Writes the settings file; when the program's folder refuses it, moves to
// the user's folder. Says so when neither can be written.
void save_settings(Window& w) {
  char text[kSettingsTextBytes];
  const std::size_t length = write_settings(w.saved, text, sizeof text);
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (attempt == 1) {
      if (std::strcmp(w.settings_path, w.app_data_path) == 0 || w.app_data_path[0] == '\0') break;
      std::memcpy(w.settings_path, w.app_data_path, sizeof w.settings_path);
      wchar_t folder[kMaxPathBytes];
      widen(w.settings_path, folder, kMaxPathBytes);
      if (wchar_t* separator = std::wcsrchr(folder, L'\\')) *separator = L'\0';
      CreateDirectoryW(folder, nullptr);
    }
    SetLastError(0);
    errno = 0;
    std::FILE* file = open_file(w.settings_path, "wb");
    if (file != nullptr) {
      const bool written = std::fwrite(text, 1, length, file) == length;
      if (std::fclose(file) == 0 && written) return;
    }
  }
  char reason[512];
  system_reason(reason, sizeof reason);
  std::snprintf(w.status, sizeof w.status, "Could not save the settings in %s: %s", w.settings_path,
                reason);
  show_status(w, true);
}

bool file_exists(const char* path) {
  wchar_t wide[kMaxPathBytes];
  widen(path, wide, kMaxPathBytes);
  return path[0] != '\0' && GetFileAttributesW(wide) != INVALID_FILE_ATTRIBUTES;
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

// Finds the settings file (beside the program, or in the user's folder) and
// reads it into w.saved.
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
  const bool beside_exists = file_exists(beside);
  const bool in_app_data = file_exists(w.app_data_path);
  const bool beside_usable =
      beside[0] != '\0' && settings_go_beside(beside_exists, in_app_data,
                                              !beside_exists && !in_app_data && can_create(beside));
  std::memcpy(w.settings_path, beside_usable ? beside : w.app_data_path, kMaxPathBytes);
  w.saved = default_settings();
  std::FILE* file = w.settings_path[0] != '\0' ? open_file(w.settings_path, "rb") : nullptr;
  if (file == nullptr) return;
  char text[2 * kSettingsTextBytes];
  const std::size_t read = std::fread(text, 1, sizeof text, file);
  std::fclose(file);
  read_settings(std::string_view(text, read), w.saved);
}

// The folder of a path, in `folder`, unless it does not exist.
void existing_folder(const char* path, wchar_t* folder, int size) {
  widen(path, folder, size);
  wchar_t* separator = std::wcsrchr(folder, L'\\');
  if (separator == nullptr) separator = folder;
  *separator = L'\0';
  const DWORD attributes = GetFileAttributesW(folder);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    folder[0] = L'\0';
  }
}

// Shows the Save window for a script, starting at `name` in the folder of
// `beside`; fills `chosen` (UTF-8). Returns false when the player cancels or
// the window fails, which it says in the status line.
bool ask_for_script(Window& w, const wchar_t* title, const char* name, const char* beside,
                    char (&chosen)[kMaxPathBytes]) {
  wchar_t file[kDialogPathUnits];
  wchar_t folder[kDialogPathUnits];
  widen(name, file, kDialogPathUnits);
  existing_folder(beside, folder, kDialogPathUnits);
  OPENFILENAMEW dialog = {};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = w.window;
  dialog.lpstrFilter = L"Game scripts (*.cfg)\0*.cfg\0All files (*.*)\0*.*\0";
  dialog.lpstrFile = file;
  dialog.nMaxFile = kDialogPathUnits;
  dialog.lpstrInitialDir = folder[0] != L'\0' ? folder : nullptr;
  dialog.lpstrTitle = title;
  dialog.lpstrDefExt = L"cfg";
  dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_EXPLORER |
                 OFN_HIDEREADONLY | OFN_ENABLESIZING;
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

// Lets the player choose the script that lines are written to, and keeps it.
bool choose_script(Window& w, bool first_run) {
  const char* name = w.settings.script_path;
  for (const char* at = name; *at != '\0'; ++at) {
    if (*at == '\\' || *at == '/') name = at + 1;
  }
  char chosen[kMaxPathBytes];
  if (!ask_for_script(w,
                      first_run ? L"Where does the script go? In the game's script folder, "
                                  L"often named cfg"
                                : L"Choose the script (in the game's script folder)",
                      name[0] != '\0' ? name : "chat.cfg", w.settings.script_path, chosen)) {
    return false;
  }
  std::memcpy(w.settings.script_path, chosen, kMaxPathBytes);
  std::memcpy(w.saved.script_path, chosen, kMaxPathBytes);
  show_path(w);
  describe_start(w.settings, w.status, sizeof w.status);
  show_status(w, false);
  save_settings(w);
  // The next thing to do is to type a line.
  w.focus = item(w, kIdLine);
  SetFocus(w.focus);
  return true;
}

// Adds a sent line to the end of the list, forgetting the oldest beyond
// the number kept.
void remember_line(Window& w, const wchar_t* line) {
  const HWND list = item(w, kIdSent);
  if (SendMessageW(list, LB_GETCOUNT, 0, 0) >= kSentLinesKept) {
    SendMessageW(list, LB_DELETESTRING, 0, 0);
  }
  const LRESULT at = SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
  SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(at), 0);
  w.recall = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
}

// Writes the script for one line, as the interactive run does, and says
// what it did. Returns true when the script was written.
bool send(Window& w, const wchar_t* wide) {
  // Without a script the Save window comes first; cancelled, the line stays.
  if (w.settings.script_path[0] == '\0' && wide[0] != L'\0') choose_script(w, true);
  char line[kLineBytes];
  narrow(wide, line, kLineBytes);
  const std::string_view text(line, std::strlen(line));
  std::int32_t width = 0;
  SetLastError(0);
  errno = 0;
  const LineOutcome outcome = send_line(text, w.settings, w.work, w.warnings, width);
  char reason[512];
  system_reason(reason, sizeof reason);
  describe_line(outcome, text, width, w.settings, reason, w.status, sizeof w.status);
  show_status(w, outcome != LineOutcome::kWritten);
  if (outcome != LineOutcome::kWritten) return false;
  remember_line(w, wide);
  return true;
}

void send_line_box(Window& w) {
  wchar_t wide[kLineBoxUnits + 1];
  GetWindowTextW(item(w, kIdLine), wide, kLineBoxUnits + 1);
  if (send(w, wide)) SetWindowTextW(item(w, kIdLine), L"");
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
  send(w, wide);
}

// Up and Down in the line box: shows an earlier line, or the one being
// typed again.
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

// Converts the text file `text_path` into a script the player chooses.
void convert(Window& w, const wchar_t* text_path) {
  char text[kMaxPathBytes];
  narrow(text_path, text, kMaxPathBytes);
  char name[kMaxPathBytes];
  char script[kMaxPathBytes];
  if (!script_name_for_text(text, name) ||
      !ask_for_script(w, L"Save the converted script as", name,
                      w.settings.script_path[0] != '\0' ? w.settings.script_path : text, script)) {
    return;
  }
  SetLastError(0);
  errno = 0;
  const ConvertOutcome outcome = convert_text_file(text, script, w.settings, w.work, w.warnings);
  char reason[512];
  system_reason(reason, sizeof reason);
  describe_conversion(outcome, text, script, reason, w.status, sizeof w.status);
  show_status(w, outcome != ConvertOutcome::kConverted);
}

void convert_chosen_file(Window& w) {
  wchar_t file[kDialogPathUnits] = L"";
  OPENFILENAMEW dialog = {};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = w.window;
  dialog.lpstrFilter = L"Text files (*.txt)\0*.txt\0All files (*.*)\0*.*\0";
  dialog.lpstrFile = file;
  dialog.nMaxFile = kDialogPathUnits;
  dialog.lpstrTitle = L"Convert a text file";
  dialog.Flags =
      OFN_FILEMUSTEXIST | OFN_NOCHANGEDIR | OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING;
  if (GetOpenFileNameW(&dialog) != 0) convert(w, file);
}

void read_limit(Window& w) {
  wchar_t wide[32];
  char text[96];
  GetWindowTextW(item(w, kIdLimit), wide, 32);
  narrow(wide, text, sizeof text);
  const std::int32_t limit = parse_line_len(text);
  // The box shows 0 for any limit that never warns, such as --line-len=-5.
  if (limit == w.settings.max_line_len || (limit <= 0 && w.settings.max_line_len <= 0)) return;
  w.settings.max_line_len = limit;
  w.saved.max_line_len = limit;
  save_settings(w);
  show_width(w);
}

void read_hide_name(Window& w) {
  const bool hide = SendMessageW(item(w, kIdHideName), BM_GETCHECK, 0, 0) == BST_CHECKED;
  w.settings.hide_name = hide;
  w.saved.hide_name = hide;
  save_settings(w);
}

HWND add_control(Window& w, DWORD extended, const wchar_t* kind, const wchar_t* text, DWORD style,
                 int id) {
  return CreateWindowExW(extended, kind, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, w.window,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         GetModuleHandleW(nullptr), nullptr);
}

void add_controls(Window& w) {
  const DWORD label = SS_LEFT | SS_CENTERIMAGE;
  add_control(w, 0, L"STATIC", L"Script:", label, kLabelScript);
  add_control(w, 0, L"STATIC", L"", SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL, kIdPath);
  add_control(w, 0, L"BUTTON", L"&Choose\x2026", WS_TABSTOP | BS_PUSHBUTTON, kIdChoose);
  add_control(w, 0, L"STATIC", L"&Warn when wider than", label, kLabelLimit);
  add_control(w, WS_EX_CLIENTEDGE, L"EDIT", L"", WS_TABSTOP | ES_NUMBER | ES_AUTOHSCROLL, kIdLimit);
  add_control(w, 0, L"STATIC", L"columns (0: never)", label, kLabelColumns);
  add_control(w, 0, L"BUTTON", L"&Hide my name", WS_TABSTOP | BS_AUTOCHECKBOX, kIdHideName);
  add_control(w, 0, L"BUTTON", L"Con&vert a text file\x2026", WS_TABSTOP | BS_PUSHBUTTON,
              kIdConvert);
  add_control(w, 0, L"STATIC", L"", SS_LEFT | SS_NOPREFIX, kIdWidth);
  add_control(w, 0, L"STATIC", L"Lines sen&t (Enter or a double-click sends one again):", label,
              kLabelSent);
  add_control(w, WS_EX_CLIENTEDGE, L"LISTBOX", L"",
              WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, kIdSent);
  add_control(w, 0, L"STATIC", L"&Line:", label, kLabelLine);
  const HWND line =
      add_control(w, WS_EX_CLIENTEDGE, L"EDIT", L"", WS_TABSTOP | ES_AUTOHSCROLL, kIdLine);
  SendMessageW(line, EM_SETLIMITTEXT, kLineBoxUnits, 0);
  add_control(w, 0, L"BUTTON", L"&Say", WS_TABSTOP | BS_PUSHBUTTON, kIdSay);
  add_control(w, 0, L"STATIC", L"", SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL, kIdStatus);
  w.focus = line;
}

BOOL CALLBACK set_font(HWND control, LPARAM font) {
  SendMessageW(control, WM_SETFONT, static_cast<WPARAM>(font), TRUE);
  return TRUE;
}

// The message font of the system at the window's DPI, for every control.
void use_font(Window& w) {
  NONCLIENTMETRICSW metrics = {};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  metrics.lfMessageFont.lfHeight = -MulDiv(9, static_cast<int>(w.dpi), 72);
  const HFONT old = w.font;
  w.font = CreateFontIndirectW(&metrics.lfMessageFont);
  EnumChildWindows(w.window, set_font, reinterpret_cast<LPARAM>(w.font));
  if (old != nullptr) DeleteObject(old);
}

int text_width(const Window& w, int id) {
  wchar_t text[128];
  const int length = GetWindowTextW(item(w, id), text, 128);
  const HDC dc = GetDC(w.window);
  const HGDIOBJ old = SelectObject(dc, w.font);
  SIZE size = {};
  GetTextExtentPoint32W(dc, text, length, &size);
  SelectObject(dc, old);
  ReleaseDC(w.window, dc);
  return size.cx;
}

void place(const Window& w, int id, int x, int y, int width, int height) {
  MoveWindow(item(w, id), x, y, width > 0 ? width : 0, height > 0 ? height : 0, TRUE);
}

// Places the controls in the client area, top to bottom; the drawing and
// the list share what is left.
void lay_out(Window& w) {
  RECT client;
  GetClientRect(w.window, &client);
  const int margin = scaled(w, 10);
  const int gap = scaled(w, 6);
  const int row = scaled(w, 24);
  const int button = scaled(w, 100);
  const int width = client.right - 2 * margin;
  int y = margin;
  const int script_label = text_width(w, kLabelScript) + gap;
  place(w, kLabelScript, margin, y, script_label, row);
  place(w, kIdPath, margin + script_label, y + scaled(w, 4), width - script_label - button - gap,
        2 * row);
  place(w, kIdChoose, client.right - margin - button, y, button, row);
  y += 2 * row + gap;
  int x = margin;
  for (const int id : {int{kLabelLimit}, int{kIdLimit}, int{kLabelColumns}, int{kIdHideName}}) {
    // A check box's text follows its box.
    const int wide = id == kIdLimit      ? scaled(w, 56)
                     : id == kIdHideName ? text_width(w, id) + scaled(w, 24)
                                         : text_width(w, id) + scaled(w, 4);
    place(w, id, x, y, wide, row);
    x += wide + gap;
  }
  const int convert = text_width(w, kIdConvert) + scaled(w, 24);
  place(w, kIdConvert, client.right - margin - convert, y, convert, row);
  y += row + gap;
  const int fixed = y + row + row + gap + row + gap + 2 * row + margin;
  const int free = client.bottom - fixed;
  const int drawing = free * 2 / 5 > row ? free * 2 / 5 : row;
  w.drawing = {margin, y, margin + width, y + drawing};
  InvalidateRect(w.window, &w.drawing, FALSE);
  y += drawing;
  place(w, kIdWidth, margin, y, width, row);
  y += row;
  place(w, kLabelSent, margin, y, width, row);
  y += row;
  const int list = free - drawing > row ? free - drawing : row;
  place(w, kIdSent, margin, y, width, list);
  y += list + gap;
  const int line_label = text_width(w, kLabelLine) + gap;
  const int say = scaled(w, 70);
  place(w, kLabelLine, margin, y, line_label, row);
  place(w, kIdLine, margin + line_label, y, width - line_label - say - gap, row);
  place(w, kIdSay, client.right - margin - say, y, say, row);
  y += row + gap;
  place(w, kIdStatus, margin, y, width, 2 * row);
}

// Draws the line being typed as the game shows it: every cell two square
// pixels, the scale as large as fits, the end of a long line in view, and a
// mark at the width limit.
void paint_drawing(const Window& w, HDC target) {
  const RECT& area = w.drawing;
  const int area_width = area.right - area.left;
  const int area_height = area.bottom - area.top;
  if (area_width <= 0 || area_height <= 0) return;
  const HDC dc = CreateCompatibleDC(target);
  const HBITMAP bitmap = CreateCompatibleBitmap(target, area_width, area_height);
  const HGDIOBJ old = SelectObject(dc, bitmap);
  const RECT all = {0, 0, area_width, area_height};
  const HBRUSH background = CreateSolidBrush(RGB(32, 34, 37));
  const HBRUSH lit = CreateSolidBrush(RGB(250, 250, 250));
  const HBRUSH mark = CreateSolidBrush(RGB(220, 60, 60));
  FillRect(dc, &all, background);
  const int limit = w.settings.max_line_len > 0 ? w.settings.max_line_len : 0;
  const int shown = w.preview.width > limit ? w.preview.width : limit;
  const int margin = scaled(w, 8);
  int pixel = (area_height - 2 * margin) / 8;
  if (shown > 0 && (area_width - 2 * margin) / shown < pixel) {
    pixel = (area_width - 2 * margin) / shown;
  }
  if (pixel < 1) pixel = 1;
  const int top = (area_height - 8 * pixel) / 2;
  int left = margin;
  if (margin + w.preview.width * pixel > area_width - margin) {
    left = area_width - margin - w.preview.width * pixel;
  }
  for (int row = 0; row < kRowCount; ++row) {
    int column = 0;
    for (int at = 0; at < w.preview.row_length; ++at) {
      const int pixels = cell_pixels(w.preview.rows[row][at]);
      if (pixels < 0) continue;
      for (int half = 0; half < 2; ++half) {
        if ((pixels & (1 << half)) == 0) continue;
        const int x = left + column * pixel;
        const int y = top + (2 * row + half) * pixel;
        const RECT cell = {x, y, x + pixel, y + pixel};
        FillRect(dc, &cell, lit);
      }
      ++column;
    }
  }
  if (limit > 0) {
    const int x = left + limit * pixel;
    const RECT line = {x, top - margin / 2, x + scaled(w, 2), top + 8 * pixel + margin / 2};
    FillRect(dc, &line, mark);
  }
  BitBlt(target, area.left, area.top, area_width, area_height, dc, 0, 0, SRCCOPY);
  SelectObject(dc, old);
  for (const HGDIOBJ object : {static_cast<HGDIOBJ>(bitmap), static_cast<HGDIOBJ>(background),
                               static_cast<HGDIOBJ>(lit), static_cast<HGDIOBJ>(mark)}) {
    DeleteObject(object);
  }
  DeleteDC(dc);
}

// Fills the controls from the settings in force once they exist.
void show_settings(Window& w) {
  show_path(w);
  char limit[16];
  std::snprintf(limit, sizeof limit, "%ld",
                static_cast<long>(w.settings.max_line_len > 0 ? w.settings.max_line_len : 0));
  set_text(item(w, kIdLimit), limit);
  SendMessageW(item(w, kIdHideName), BM_SETCHECK, w.settings.hide_name ? BST_CHECKED : 0, 0);
  update_drawing(w);
}

void on_command(Window& w, int id, int code) {
  switch (id) {
    case IDOK:
      if (GetFocus() == item(w, kIdSent)) {
        send_chosen_line(w);
      } else {
        send_line_box(w);
      }
      break;
    case IDCANCEL:
      SetWindowTextW(item(w, kIdLine), L"");
      w.recall = static_cast<int>(SendMessageW(item(w, kIdSent), LB_GETCOUNT, 0, 0));
      break;
    case kIdSay:
      send_line_box(w);
      SetFocus(item(w, kIdLine));
      break;
    case kIdChoose:
      choose_script(w, false);
      break;
    case kIdConvert:
      convert_chosen_file(w);
      break;
    case kIdHideName:
      if (code == BN_CLICKED) read_hide_name(w);
      break;
    case kIdLimit:
      if (code == EN_CHANGE) read_limit(w);
      break;
    case kIdLine:
      if (code == EN_CHANGE) update_drawing(w);
      break;
    case kIdSent:
      if (code == LBN_DBLCLK) send_chosen_line(w);
      break;
  }
}

LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* w = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    w->window = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(w));
  }
  auto* w = reinterpret_cast<Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (w == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  switch (message) {
    case WM_CREATE:
      w->dpi = dpi_of(window);
      add_controls(*w);
      use_font(*w);
      DragAcceptFiles(window, TRUE);
      return 0;
    case WM_SIZE:
      lay_out(*w);
      return 0;
    case WM_DPICHANGED: {
      w->dpi = HIWORD(wparam);
      use_font(*w);
      const RECT* suggested = reinterpret_cast<const RECT*>(lparam);
      SetWindowPos(window, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      lay_out(*w);
      return 0;
    }
    case WM_GETMINMAXINFO:
      reinterpret_cast<MINMAXINFO*>(lparam)->ptMinTrackSize = {scaled(*w, 520), scaled(*w, 460)};
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      const HDC dc = BeginPaint(window, &paint);
      paint_drawing(*w, dc);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_CTLCOLORSTATIC:
      if (reinterpret_cast<HWND>(lparam) == item(*w, kIdStatus) && w->status_is_error) {
        const HDC dc = reinterpret_cast<HDC>(wparam);
        SetTextColor(dc, RGB(176, 0, 0));
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
      }
      break;
    case WM_ACTIVATE:
      if (LOWORD(wparam) == WA_INACTIVE) {
        w->focus = GetFocus();
      } else if (w->focus != nullptr) {
        SetFocus(w->focus);
      }
      return 0;
    case WM_COMMAND:
      on_command(*w, LOWORD(wparam), HIWORD(wparam));
      return 0;
    case WM_DROPFILES: {
      const HDROP drop = reinterpret_cast<HDROP>(wparam);
      wchar_t path[kDialogPathUnits];
      const UINT length = DragQueryFileW(drop, 0, path, kDialogPathUnits);
      DragFinish(drop);
      if (length > 0 && length < static_cast<UINT>(kDialogPathUnits)) convert(*w, path);
      return 0;
    }
    case kFirstRunMessage:
      choose_script(*w, true);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

// Lays the command line over the saved settings; a path given there is
// made whole, so that it does not depend on the folder the window is in.
void take_arguments(Window& w, int argc, const char* const* argv) {
  w.settings = w.saved;
  const char* bad = nullptr;
  const ArgumentOutcome outcome = apply_arguments(argc, argv, w.settings, bad);
  if (outcome != ArgumentOutcome::kRun) {
    describe_arguments(outcome, bad, w.status, sizeof w.status);
    w.status_is_error = true;
    return;
  }
  wchar_t given[kMaxPathBytes];
  wchar_t whole[kDialogPathUnits];
  widen(w.settings.script_path, given, kMaxPathBytes);
  const DWORD length = GetFullPathNameW(given, kDialogPathUnits, whole, nullptr);
  if (given[0] != L'\0' && length > 0 && length < static_cast<DWORD>(kDialogPathUnits)) {
    narrow(whole, w.settings.script_path, kMaxPathBytes);
  }
  describe_start(w.settings, w.status, sizeof w.status);
}

}  // namespace

int run_window(int argc, const char* const* argv) {
  static_assert(sizeof(Window) < 512 * 1024, "the window's state fits on the stack");
  Window w = {};
  load_settings(w);
  take_arguments(w, argc, argv);
  w.warnings = open_file("NUL", "wb");
  if (w.warnings == nullptr) w.warnings = stderr;
  w.recall = 0;
  WNDCLASSEXW kind = {};
  kind.cbSize = sizeof kind;
  kind.lpfnWndProc = window_procedure;
  kind.hInstance = GetModuleHandleW(nullptr);
  kind.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  kind.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  kind.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  kind.lpszClassName = kWindowClass;
  RegisterClassExW(&kind);
  const HWND window =
      CreateWindowExW(0, kWindowClass, L"tallsay", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                      CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, nullptr, nullptr, kind.hInstance, &w);
  if (window == nullptr) return 1;
  SetWindowPos(window, nullptr, 0, 0, scaled(w, 680), scaled(w, 560),
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  show_settings(w);
  show_status(w, w.status_is_error);
  ShowWindow(window, SW_SHOWDEFAULT);
  SetFocus(item(w, kIdLine));
  if (w.settings.script_path[0] == '\0' && !w.status_is_error) {
    PostMessageW(window, kFirstRunMessage, 0, 0);
  }
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_KEYDOWN && message.hwnd == item(w, kIdLine) &&
        (message.wParam == VK_UP || message.wParam == VK_DOWN)) {
      recall(w, message.wParam == VK_UP ? -1 : 1);
      continue;
    }
    if (IsDialogMessageW(window, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  if (w.warnings != stderr) std::fclose(w.warnings);
  if (w.font != nullptr) DeleteObject(w.font);
  return static_cast<int>(message.wParam);
}

}  // namespace tallsay
