// window_probe: reads and pokes the tallsay window for the test that drives
// it. Without arguments it prints what the window shows, one item a line in
// UTF-8 after its name and a tab: the script's path, the width label, the
// line box, the width box, the status line and how many lines it shows,
// the check boxes Hide my name, Letters beyond ASCII and Team only (1 for
// checked), the control with the focus, the list's first line shown and the
// line chosen, and the lines sent; then the words of an open message box
// titled "tallsay: ..." (question), and what an open choice between one
// script and a chain shows: its question, the way chosen, the key, whether
// the key box can be typed in, and why a key was refused. With an argument:
//   type TEXT   types TEXT into the line box as the keyboard would
//   minimum     sizes the window to its minimum and prints each control that
//               is outside the window, empty or over another ("layout<tab>ok"
//               when none is)
//   redraw      makes the window and every control draw themselves again
//   documents   prints the user's documents folder
//   clip TEXT   puts TEXT on the clipboard
//   hold PATH   keeps the file PATH open until its standard input ends,
//               letting others read it but not write it
//   forge       sends the window drops that no program would make: numbers
//               that are no list, and lists in its memory that run past
//               their block or name no file
// Exits with status 1 when no tallsay window is open.
#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>

#include "window/window.h"

namespace {

using namespace tallsay;

// Prints `name`, a tab and `text` in UTF-8 on a line of its own.
void print(const char* name, const wchar_t* text) {
  static char bytes[4 * kStatusBytes];
  if (WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof bytes, nullptr, nullptr) == 0) {
    bytes[0] = '\0';
  }
  std::printf("%s\t%s\n", name, bytes);
}

// Prints `name` and the text of the control `id` of `window`.
void print_control(HWND window, const char* name, int id) {
  static wchar_t text[kStatusBytes];
  GetDlgItemTextW(window, id, text, kStatusBytes);
  print(name, text);
}

// What the control `id` of `window` answers to the message.
long ask(HWND window, int id, UINT message, WPARAM w = 0, LPARAM l = 0) {
  return static_cast<long>(SendMessageW(GetDlgItem(window, id), message, w, l));
}

// Prints what the main window shows, as the usage above lists it.
void print_window(HWND window) {
  const std::pair<const char*, int> controls[] = {{"path", kIdPath},
                                                  {"width", kIdWidth},
                                                  {"line", kIdLine},
                                                  {"limit", kIdLimit},
                                                  {"status", kIdStatus}};
  for (const auto& [name, id] : controls) print_control(window, name, id);
  // The status's lines all show when they fit its height or it scrolls.
  const long lines = ask(window, kIdStatus, EM_GETLINECOUNT);
  const long second = ask(window, kIdStatus, EM_POSFROMCHAR,
                          static_cast<WPARAM>(ask(window, kIdStatus, EM_LINEINDEX, 1)));
  // A line scrolled above the box is at a negative height.
  const long height = static_cast<short>(HIWORD(second)) -
                      static_cast<short>(HIWORD(ask(window, kIdStatus, EM_POSFROMCHAR, 0)));
  RECT client;
  GetClientRect(GetDlgItem(window, kIdStatus), &client);
  const bool scrolls = (GetWindowLongW(GetDlgItem(window, kIdStatus), GWL_STYLE) & WS_VSCROLL) != 0;
  const bool all = lines == 1 || scrolls || (height > 0 && lines * height <= client.bottom);
  GUITHREADINFO thread = {};
  thread.cbSize = sizeof thread;
  GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &thread);
  std::printf("status_lines\t%ld %s\nchecked\t%u%u%u\nfocus\t%d\ntop\t%ld\nchosen\t%ld\n", lines,
              all ? "readable" : "cut", IsDlgButtonChecked(window, kIdHideName),
              IsDlgButtonChecked(window, kIdLetters), IsDlgButtonChecked(window, kIdTeam),
              thread.hwndFocus != nullptr ? GetDlgCtrlID(thread.hwndFocus) : 0,
              ask(window, kIdSent, LB_GETTOPINDEX), ask(window, kIdSent, LB_GETCURSEL));
  for (long i = 0; i < ask(window, kIdSent, LB_GETCOUNT); ++i) {
    static wchar_t text[kStatusBytes];  // a line sent holds at most kMaxTextBytes bytes
    ask(window, kIdSent, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    print("sent", text);
  }
}

// The visible window whose title starts with `title`.
HWND window_titled(const wchar_t* title) {
  wchar_t text[64];
  for (HWND at = nullptr; (at = FindWindowExW(nullptr, at, nullptr, nullptr)) != nullptr;) {
    GetWindowTextW(at, text, 64);
    if (IsWindowVisible(at) && std::wcsncmp(text, title, std::wcslen(title)) == 0) return at;
  }
  return nullptr;
}

// The words of an open message box, and what an open choice shows.
void print_dialogs() {
  if (const HWND box = window_titled(L"tallsay: ")) print_control(box, "question", 0xFFFF);
  const HWND dialog = window_titled(L"tallsay: convert ");
  if (dialog == nullptr) return;
  print_control(dialog, "choice_question", kIdChainQuestion);
  print_control(dialog, "choice_key", kIdChainKey);
  print_control(dialog, "choice_refusal", kIdChainRefusal);
  const bool chain = IsDlgButtonChecked(dialog, kIdChainWay) == BST_CHECKED;
  const bool script = IsDlgButtonChecked(dialog, kIdOneScript) == BST_CHECKED;
  std::printf("choice_way\t%s\nchoice_key_enabled\t%d\n",
              chain == script ? "none"
              : chain         ? "chain"
                              : "script",
              IsWindowEnabled(GetDlgItem(dialog, kIdChainKey)) != 0 ? 1 : 0);
}

// Where the control `id` is in the client area of `window`.
RECT child_rect(HWND window, int id) {
  RECT rect;
  GetWindowRect(GetDlgItem(window, id), &rect);
  MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// Every control the window makes, at the window's minimum size.
void check_minimum(HWND window) {
  MINMAXINFO limits = {};
  SendMessageW(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
  const POINT least = limits.ptMinTrackSize;
  SetWindowPos(window, nullptr, 0, 0, least.x, least.y, SWP_NOMOVE | SWP_NOZORDER);
  RECT client;
  GetClientRect(window, &client);
  int bad = 0;
  for (int id = kIdPath; id <= kIdLabelLine; ++id) {
    const RECT rect = child_rect(window, id);
    if (rect.right <= rect.left || rect.bottom <= rect.top || rect.left < 0 || rect.top < 0 ||
        rect.right > client.right || rect.bottom > client.bottom) {
      bad += std::printf("layout\tcontrol %d at %ld,%ld-%ld,%ld is outside %ldx%ld\n", id,
                         rect.left, rect.top, rect.right, rect.bottom, client.right, client.bottom);
    }
    for (int other = id + 1; other <= kIdLabelLine; ++other) {
      RECT both;
      const RECT other_rect = child_rect(window, other);
      if (IntersectRect(&both, &rect, &other_rect) != 0) {
        bad += std::printf("layout\tcontrols %d and %d overlap\n", id, other);
      }
    }
  }
  if (bad == 0) std::printf("layout\tok\n");
}

// Puts `text` on the clipboard; 0 when it is there, else 1.
int put_on_clipboard(const wchar_t* text) {
  const std::size_t bytes = (std::wcslen(text) + 1) * sizeof(wchar_t);
  const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
  std::memcpy(GlobalLock(block), text, bytes);
  GlobalUnlock(block);
  if (OpenClipboard(nullptr) == 0) return 1;
  EmptyClipboard();
  SetClipboardData(CF_UNICODETEXT, block);
  CloseClipboard();
  return 0;
}

// A drop list put into the window's own memory, outside any block the
// system made: a header whose names start `offset` bytes on, and a name of
// no file.
WPARAM list_in_window(HANDLE process, DWORD offset) {
  static const wchar_t missing[] = L"Z:\\nowhere\\forged.txt\0";
  const LPVOID at =
      VirtualAllocEx(process, nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  DROPFILES header = {};
  header.pFiles = offset;
  header.fWide = TRUE;
  WriteProcessMemory(process, at, &header, sizeof header, nullptr);
  WriteProcessMemory(process, static_cast<char*>(at) + sizeof header, missing, sizeof missing,
                     nullptr);
  return reinterpret_cast<WPARAM>(at);
}

// Sends `window` the forged drops and prints whether it took them all.
void forge_drops(HWND window) {
  DWORD id = 0;
  GetWindowThreadProcessId(window, &id);
  const HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, id);
  for (const WPARAM drop : {WPARAM{0}, WPARAM{0x12345678}, list_in_window(process, 0x7FFFFFF0),
                            list_in_window(process, sizeof(DROPFILES))}) {
    DWORD_PTR result = 0;
    if (SendMessageTimeoutW(window, WM_DROPFILES, drop, 0, SMTO_ABORTIFHUNG, 5000, &result) == 0) {
      std::printf("forge\tthe window did not take the drop %p\n", reinterpret_cast<void*>(drop));
      return;
    }
  }
  std::printf("forge\ttaken\n");
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  const std::wstring_view command = argc > 1 ? argv[1] : L"";
  const wchar_t* text = argc > 2 ? argv[2] : L"";
  if (command == L"documents") {
    wchar_t folder[MAX_PATH] = L"";
    SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, folder);
    print("documents", folder);
    return 0;
  }
  if (command == L"clip") return put_on_clipboard(text);
  if (command == L"hold") {
    const HANDLE file =
        CreateFileW(text, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    std::printf("held\n");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return 0;
  }
  const HWND window = FindWindowW(kWindowClass, L"tallsay");
  if (window == nullptr) return 1;
  if (command == L"type") {
    // As the keyboard types it: a WM_CHAR for each UTF-16 unit.
    for (const wchar_t* unit = text; *unit != L'\0'; ++unit) {
      PostMessageW(GetDlgItem(window, kIdLine), WM_CHAR, *unit, 1);
    }
  } else if (command == L"minimum") {
    check_minimum(window);
  } else if (command == L"forge") {
    forge_drops(window);
  } else if (command == L"redraw") {
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  } else {
    print_window(window);
    print_dialogs();
  }
  return 0;
}
