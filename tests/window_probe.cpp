// window_probe: prints what the tallsay window shows, for the test that
// drives it: the script's path, the width label, the line box, the status
// line and the lines sent, one a line in UTF-8, each after its name and a
// tab. Exits with status 1 when no tallsay window is open.
#include <windows.h>

#include <cstdio>

#include "window/window.h"

namespace {

void print(const char* name, const wchar_t* text) {
  char bytes[4 * tallsay::kStatusBytes];
  if (WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof bytes, nullptr, nullptr) == 0) {
    bytes[0] = '\0';
  }
  std::printf("%s\t%s\n", name, bytes);
}

void print_control(HWND window, const char* name, int id) {
  wchar_t text[tallsay::kStatusBytes];
  GetDlgItemTextW(window, id, text, tallsay::kStatusBytes);
  print(name, text);
}

}  // namespace

int main() {
  const HWND window = FindWindowW(tallsay::kWindowClass, L"tallsay");
  if (window == nullptr) return 1;
  print_control(window, "path", tallsay::kIdPath);
  print_control(window, "width", tallsay::kIdWidth);
  print_control(window, "line", tallsay::kIdLine);
  print_control(window, "status", tallsay::kIdStatus);
  const HWND list = GetDlgItem(window, tallsay::kIdSent);
  const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    wchar_t text[tallsay::kStatusBytes];
    if (SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0) >=
        static_cast<LRESULT>(tallsay::kStatusBytes)) {
      continue;
    }
    SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    print("sent", text);
  }
  return 0;
}
