// The window's controls: made, given their font, placed top to bottom, and
// the drawing of the line being typed.
#include "window/window_win32.h"  // first: windows.h, which the headers below build on

#include <algorithm>

namespace tallsay {
namespace {

// The sizes of the layout at the window's DPI.
struct Metrics {
  int margin;
  int gap;
  int row;
  int choose;  // the Choose button
  int limit;   // the width box
  int say;     // the Say button
  int least;   // the least width of the path, the line box, the drawing and the list
};

Metrics metrics_of(const Window& w) {
  return Metrics{scaled(w, 10), scaled(w, 6),  scaled(w, 24), scaled(w, 100),
                 scaled(w, 56), scaled(w, 70), scaled(w, 120)};
}

HWND add_control(Window& w, DWORD extended, const wchar_t* kind, int id, DWORD style) {
  wchar_t text[128];
  widen(control_text(id), text, 128);
  return CreateWindowExW(extended, kind, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, w.window,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         GetModuleHandleW(nullptr), nullptr);
}

BOOL CALLBACK set_font(HWND control, LPARAM font) {
  SendMessageW(control, WM_SETFONT, static_cast<WPARAM>(font), TRUE);
  return TRUE;
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

// The widths of the controls of the second and third rows; a check box's
// text follows its box, and a button's text has room around it.
int control_width(const Window& w, int id) {
  if (id == kIdLimit) return metrics_of(w).limit;
  if (id == kIdLabelLimit || id == kIdLabelColumns) return text_width(w, id) + scaled(w, 4);
  return text_width(w, id) + scaled(w, 24);
}

// The second row, left to right; the Convert button stands at its right.
constexpr int kSecondRow[] = {kIdLabelLimit, kIdLimit, kIdLabelColumns};
// The third row: the check boxes that shape the script.
constexpr int kThirdRow[] = {kIdHideName, kIdLetters, kIdTeam};

// The width of the controls of `row` side by side, a gap after each.
template <std::size_t N>
int row_width(const Window& w, const int (&row)[N]) {
  int width = 0;
  for (const int id : row) width += control_width(w, id) + metrics_of(w).gap;
  return width;
}

// The height of the rows that do not grow: all but the drawing and the list.
int fixed_height(const Metrics& m) {
  return m.margin + 2 * m.row + m.gap + 2 * (m.row + m.gap) + 2 * m.row + m.row + m.gap + m.row +
         m.gap + 3 * m.row + m.margin;
}

void place(HDWP& positions, const Window& w, int id, int x, int y, int width, int height) {
  if (positions == nullptr) return;
  positions = DeferWindowPos(positions, item(w, id), nullptr, x, y, std::max(width, 0),
                             std::max(height, 0), SWP_NOZORDER | SWP_NOACTIVATE);
}

// Places the controls of `row` side by side from the left margin at `y`.
template <std::size_t N>
void place_row(HDWP& positions, const Window& w, const int (&row)[N], int y) {
  const Metrics m = metrics_of(w);
  int x = m.margin;
  for (const int id : row) {
    const int wide = control_width(w, id);
    place(positions, w, id, x, y, wide, m.row);
    x += wide + m.gap;
  }
}

}  // namespace

void add_controls(Window& w) {
  const DWORD label = SS_LEFT | SS_CENTERIMAGE;
  add_control(w, 0, L"STATIC", kIdLabelScript, label);
  add_control(w, 0, L"STATIC", kIdPath, SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL);
  add_control(w, 0, L"BUTTON", kIdChoose, WS_TABSTOP | BS_PUSHBUTTON);
  add_control(w, 0, L"STATIC", kIdLabelLimit, label);
  const HWND limit =
      add_control(w, WS_EX_CLIENTEDGE, L"EDIT", kIdLimit, WS_TABSTOP | ES_NUMBER | ES_AUTOHSCROLL);
  SendMessageW(limit, EM_SETLIMITTEXT, 12, 0);
  add_control(w, 0, L"STATIC", kIdLabelColumns, label);
  add_control(w, 0, L"BUTTON", kIdConvert, WS_TABSTOP | BS_PUSHBUTTON);
  for (const int id : kThirdRow) add_control(w, 0, L"BUTTON", id, WS_TABSTOP | BS_AUTOCHECKBOX);
  add_control(w, 0, L"STATIC", kIdWidth, SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL);
  add_control(w, 0, L"STATIC", kIdLabelSent, label);
  add_control(w, WS_EX_CLIENTEDGE, L"LISTBOX", kIdSent,
              WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT);
  add_control(w, 0, L"STATIC", kIdLabelLine, label);
  const HWND line = add_control(w, WS_EX_CLIENTEDGE, L"EDIT", kIdLine, WS_TABSTOP | ES_AUTOHSCROLL);
  SendMessageW(line, EM_SETLIMITTEXT, kLineBoxUnits, 0);
  add_control(w, 0, L"BUTTON", kIdSay, WS_TABSTOP | BS_PUSHBUTTON);
  // A read-only box of many lines: a long message wraps, even inside a
  // path, and can be scrolled and copied.
  add_control(w, 0, L"EDIT", kIdStatus, ES_MULTILINE | ES_READONLY | WS_VSCROLL);
  w.focus = line;
}

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

POINT minimum_size(const Window& w) {
  const Metrics m = metrics_of(w);
  const int second = row_width(w, kSecondRow) + control_width(w, kIdConvert);
  const int third = row_width(w, kThirdRow);
  const int first = text_width(w, kIdLabelScript) + m.gap + m.least + m.gap + m.choose;
  const int last = text_width(w, kIdLabelLine) + m.gap + m.least + m.gap + m.say;
  RECT frame = {0, 0, 2 * m.margin + std::max({first, second, third, last}),
                fixed_height(m) + 2 * m.row + 2 * m.row};
  AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, FALSE, 0);
  return POINT{frame.right - frame.left, frame.bottom - frame.top};
}

void lay_out(Window& w) {
  RECT client;
  GetClientRect(w.window, &client);
  const Metrics m = metrics_of(w);
  const int width = client.right - 2 * m.margin;
  HDWP positions = BeginDeferWindowPos(kIdLabelLine - kIdPath + 1);
  int y = m.margin;
  const int script_label = text_width(w, kIdLabelScript) + m.gap;
  place(positions, w, kIdLabelScript, m.margin, y, script_label, m.row);
  place(positions, w, kIdPath, m.margin + script_label, y + scaled(w, 4),
        width - script_label - m.choose - m.gap, 2 * m.row);
  place(positions, w, kIdChoose, client.right - m.margin - m.choose, y, m.choose, m.row);
  y += 2 * m.row + m.gap;
  place_row(positions, w, kSecondRow, y);
  const int convert = control_width(w, kIdConvert);
  place(positions, w, kIdConvert, client.right - m.margin - convert, y, convert, m.row);
  y += m.row + m.gap;
  place_row(positions, w, kThirdRow, y);
  y += m.row + m.gap;
  const int free = client.bottom - fixed_height(m);
  const int drawing = std::max(free * 2 / 5, 2 * m.row);
  w.drawing = {m.margin, y, m.margin + width, y + drawing};
  y += drawing;
  place(positions, w, kIdWidth, m.margin, y, width, 2 * m.row);
  y += 2 * m.row;
  place(positions, w, kIdLabelSent, m.margin, y, width, m.row);
  y += m.row;
  const int list = std::max(free - drawing, 2 * m.row);
  place(positions, w, kIdSent, m.margin, y, width, list);
  y += list + m.gap;
  const int line_label = text_width(w, kIdLabelLine) + m.gap;
  place(positions, w, kIdLabelLine, m.margin, y, line_label, m.row);
  place(positions, w, kIdLine, m.margin + line_label, y, width - line_label - m.say - m.gap, m.row);
  place(positions, w, kIdSay, client.right - m.margin - m.say, y, m.say, m.row);
  y += m.row + m.gap;
  place(positions, w, kIdStatus, m.margin, y, width, 3 * m.row);
  if (positions != nullptr) EndDeferWindowPos(positions);
  // Everything again, the window's own background and every control: parts
  // that moved leave nothing behind.
  RedrawWindow(w.window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

// Draws the line being typed as the game shows it: every cell two square
// pixels, the scale as large as fits, the end of a long line in view, and a
// mark at the width limit.
void paint_drawing(const Window& w, HDC target) {
  const RECT& area = w.drawing;
  const int area_width = area.right - area.left;
  const int area_height = area.bottom - area.top;
  if (area_width <= 0 || area_height <= 0) return;
  const Banner& banner = w.preview;
  const HDC dc = CreateCompatibleDC(target);
  const HBITMAP bitmap = CreateCompatibleBitmap(target, area_width, area_height);
  const HGDIOBJ old = SelectObject(dc, bitmap);
  const RECT all = {0, 0, area_width, area_height};
  const HBRUSH background = CreateSolidBrush(RGB(32, 34, 37));
  const HBRUSH lit = CreateSolidBrush(RGB(250, 250, 250));
  const HBRUSH mark = CreateSolidBrush(RGB(220, 60, 60));
  FillRect(dc, &all, background);
  const int limit = w.settings.max_line_len > 0 ? w.settings.max_line_len : 0;
  const int shown = std::max(banner.width, limit);
  const int margin = scaled(w, 8);
  int pixel = (area_height - 2 * margin) / 8;
  if (shown > 0 && (area_width - 2 * margin) / shown < pixel) {
    pixel = (area_width - 2 * margin) / shown;
  }
  if (pixel < 1) pixel = 1;
  const int top = (area_height - 8 * pixel) / 2;
  int left = margin;
  if (margin + banner.width * pixel > area_width - margin) {
    left = area_width - margin - banner.width * pixel;
  }
  for (int row = 0; row < kRowCount; ++row) {
    int column = 0;
    for (int at = 0; at < banner.row_length; ++at) {
      const int pixels = cell_pixels(banner.rows[row][at]);
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

}  // namespace tallsay
