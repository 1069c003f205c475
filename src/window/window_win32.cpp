// The window of tallsay-window: the script's path and the settings at the
// top, a drawing of the line being typed as the game shows it, the lines
// sent, the line box, and a status line that says what each step did. This
// file holds the window's procedure and message loop; see window_win32.h for
// the others. Everything it decides without a window is in the plain files
// (settings.cpp, line.cpp, script_name.cpp, words.cpp).
#include "window/window_win32.h"

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/platform.h"

namespace tallsay {
namespace {

constexpr UINT kFirstRunMessage = WM_APP + 1;

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

// Whether `drop` is a list of files as the system makes one: a block of
// this process that holds the list's header and, within the block, wide
// names ending in an empty one. Another program can send any number as a
// drop; nothing is read outside the block.
bool is_drop_list(HDROP drop) {
  const SIZE_T size = GlobalSize(drop);
  if (size < sizeof(DROPFILES)) return false;
  const auto* files = static_cast<const DROPFILES*>(GlobalLock(drop));
  if (files == nullptr) return false;
  bool ended = false;
  if (files->fWide && files->pFiles >= sizeof(DROPFILES) && files->pFiles < size) {
    const auto* names =
        reinterpret_cast<const wchar_t*>(reinterpret_cast<const char*>(files) + files->pFiles);
    const SIZE_T units = (size - files->pFiles) / sizeof(wchar_t);
    for (SIZE_T at = 1; at < units && !ended; ++at) {
      ended = names[at] == L'\0' && names[at - 1] == L'\0';
    }
  }
  GlobalUnlock(drop);
  return ended;
}

// A file dropped on the window: its first file is converted, when it is a
// whole list naming a file.
void take_drop(Window& w, HDROP drop) {
  wchar_t path[kDialogPathUnits];
  bool named = false;
  if (is_drop_list(drop)) {
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    const UINT length = count > 0 ? DragQueryFileW(drop, 0, nullptr, 0) : 0;
    named = length > 0 && length < static_cast<UINT>(kDialogPathUnits) &&
            DragQueryFileW(drop, 0, path, kDialogPathUnits) == length;
    DragFinish(drop);
  }
  const DWORD attributes = named ? GetFileAttributesW(path) : INVALID_FILE_ATTRIBUTES;
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    std::snprintf(w.status, sizeof w.status,
                  "What was dropped on the window is not a file: drop a text file to convert "
                  "it.");
    show_status(w, true);
    return;
  }
  convert(w, path);
}

// The line box under the window's own procedure for it: a paste is taken
// by the window, which says what it did with lines after the first.
LRESULT CALLBACK line_box_procedure(HWND box, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* w = reinterpret_cast<Window*>(GetWindowLongPtrW(GetParent(box), GWLP_USERDATA));
  if (message == WM_PASTE) {
    paste_into_line_box(*w);
    return 0;
  }
  return CallWindowProcW(w->line_box_procedure, box, message, wparam, lparam);
}

// Alt and a control's underlined letter: a button is pressed, a label's
// control takes the focus (the width box with its number chosen, so that
// digits typed replace it).
void press(Window& w, int id) {
  const HWND control = item(w, id);
  switch (id) {
    case kIdChoose:
    case kIdConvert:
    case kIdSay:
      SendMessageW(control, BM_CLICK, 0, 0);
      return;
    case kIdHideName:
    case kIdLetters:
    case kIdTeam:
      SetFocus(control);
      SendMessageW(control, BM_CLICK, 0, 0);
      return;
    case kIdLimit:
      SetFocus(control);
      SendMessageW(control, EM_SETSEL, 0, -1);
      return;
    default:
      SetFocus(control);
  }
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
    case kIdLetters:
    case kIdTeam:
      if (code == BN_CLICKED) read_check_box(w, id);
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

void on_create(Window& w) {
  w.dpi = dpi_of(w.window);
  add_controls(w);
  use_font(w);
  const HWND line = item(w, kIdLine);
  w.line_box_procedure = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(line, GWLP_WNDPROC));
  SetWindowLongPtrW(line, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(line_box_procedure));
  DragAcceptFiles(w.window, TRUE);
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
      on_create(*w);
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
      if (w->font != nullptr) {
        reinterpret_cast<MINMAXINFO*>(lparam)->ptMinTrackSize = minimum_size(*w);
      }
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      const HDC dc = BeginPaint(window, &paint);
      paint_drawing(*w, dc);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_CTLCOLORSTATIC:
      if (reinterpret_cast<HWND>(lparam) == item(*w, kIdStatus)) {
        const HDC dc = reinterpret_cast<HDC>(wparam);
        SetTextColor(dc, w->status_is_error ? RGB(176, 0, 0) : GetSysColor(COLOR_BTNTEXT));
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
    case WM_DROPFILES:
      take_drop(*w, reinterpret_cast<HDROP>(wparam));
      return 0;
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

// Handles the keys that the window takes before its controls: Up and Down
// in the line box, and Alt with a control's underlined letter. Returns true
// when the message is done with.
bool take_key(Window& w, const MSG& message) {
  if (message.message == WM_KEYDOWN && message.hwnd == item(w, kIdLine) &&
      (message.wParam == VK_UP || message.wParam == VK_DOWN)) {
    recall(w, message.wParam == VK_UP ? -1 : 1);
    return true;
  }
  // The character, not the key: the key itself goes its way, or else the
  // system takes Alt as pressed alone and opens the window's menu on its
  // release.
  if (message.message != WM_SYSCHAR || message.wParam > 0x7F ||
      GetAncestor(message.hwnd, GA_ROOT) != w.window) {
    return false;
  }
  const int id = mnemonic_control(static_cast<char>(message.wParam));
  if (id == 0) return false;
  press(w, id);
  return true;
}

}  // namespace

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

void script_reason(Window& w, char* reason, int size) {
  Replacement& replacement = w.work.script.replacement;
  const char* words = refusal_words(replacement);
  if (words == nullptr) {
    system_reason(reason, size);
    return;
  }
  std::snprintf(reason, static_cast<std::size_t>(size), "%s", words);
  replacement.foreign = replacement.held = replacement.named_stream = false;
}

void show_status(Window& w, bool error) {
  w.status_is_error = error;
  const HWND status = item(w, kIdStatus);
  set_text(status, w.status);
  // The scroll bar only while the message has more lines than show.
  RECT client;
  GetClientRect(status, &client);
  const LRESULT lines = SendMessageW(status, EM_GETLINECOUNT, 0, 0);
  const LRESULT second = SendMessageW(
      status, EM_POSFROMCHAR, static_cast<WPARAM>(SendMessageW(status, EM_LINEINDEX, 1, 0)), 0);
  const int line_height = lines > 1 ? static_cast<short>(HIWORD(second)) : client.bottom;
  ShowScrollBar(status, SB_VERT, line_height > 0 && lines * line_height > client.bottom);
  if (error) MessageBeep(MB_ICONWARNING);
}

OPENFILENAMEW file_dialog(const Window& w, const wchar_t* filter, wchar_t* file,
                          const wchar_t* title) {
  OPENFILENAMEW dialog = {};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = w.window;
  dialog.lpstrFilter = filter;
  dialog.lpstrFile = file;
  dialog.nMaxFile = kDialogPathUnits;
  dialog.lpstrTitle = title;
  return dialog;
}

bool ask(const Window& w, const wchar_t* title, const char* question, bool no_first) {
  wchar_t wide[kStatusBytes];
  widen(question, wide, kStatusBytes);
  const UINT style = MB_YESNO | (no_first ? MB_ICONWARNING | MB_DEFBUTTON2 : MB_ICONQUESTION);
  return MessageBoxW(w.window, wide, title, style) == IDYES;
}

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
  kind.style = CS_HREDRAW | CS_VREDRAW;
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
  const POINT least = minimum_size(w);
  SetWindowPos(window, nullptr, 0, 0, std::max<int>(scaled(w, 680), least.x),
               std::max<int>(scaled(w, 560), least.y), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  show_settings(w);
  show_status(w, w.status_is_error);
  ShowWindow(window, SW_SHOWDEFAULT);
  SetFocus(item(w, kIdLine));
  if (w.settings.script_path[0] == '\0' && !w.status_is_error) {
    PostMessageW(window, kFirstRunMessage, 0, 0);
  }
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (take_key(w, message) || IsDialogMessageW(window, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  if (w.warnings != stderr) std::fclose(w.warnings);
  if (w.font != nullptr) DeleteObject(w.font);
  return static_cast<int>(message.wParam);
}

}  // namespace tallsay
