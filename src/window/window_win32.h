// The parts of the window that its Win32 files share: its state, the
// helpers they all use, and what each file gives the others. The window's
// procedure and message loop are in window_win32.cpp, the controls and
// their layout in window_layout_win32.cpp, the settings file in
// window_settings_win32.cpp, what the buttons and keys do in
// window_commands_win32.cpp, and converting a text file in
// window_convert_win32.cpp.
#pragma once

#include <windows.h>  // first: the headers below build on it

#include <commdlg.h>

#include "window/window.h"

namespace tallsay {

inline constexpr int kLineBoxUnits = 2048;  // UTF-16 units the line box takes
inline constexpr int kLineBytes = 3 * kLineBoxUnits + 1;
inline constexpr int kDialogPathUnits = kMaxPathBytes / 3;  // so that its UTF-8 fits kMaxPathBytes
inline constexpr int kSentLinesKept = 200;

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
  WNDPROC line_box_procedure;        // the line box's own, under the one that takes pastes
  Banner preview;                    // the line being typed, laid out
  ScriptWork work;
  char typed[kStatusBytes];  // the label under the drawing
  char status[kStatusBytes];
};

// UTF-8 to UTF-16 and back; an empty result when it does not fit.
void widen(const char* text, wchar_t* wide, int size);
void narrow(const wchar_t* wide, char* text, int size);

HWND item(const Window& w, int id);
void set_text(HWND control, const char* text);
int scaled(const Window& w, int pixels);

// The system's reason for the failure that has just happened: the Windows
// error's words when a Windows call failed, else errno's. Read it before any
// other call.
void system_reason(char* reason, int size);

// Why the script that has just been written could not be: the words of its
// refusal (see refusal_words), which are then forgotten, else the system's
// reason. Read it before any other call.
void script_reason(Window& w, char* reason, int size);

// Shows w.status in the status line, in red with a beep for an error.
void show_status(Window& w, bool error);

// An Open or Save window owned by the window, titled `title`, offering the
// files of `filter` and filling `file` (kDialogPathUnits units, with what
// it starts from) with the path chosen; the caller adds the flags and the
// rest.
OPENFILENAMEW file_dialog(const Window& w, const wchar_t* filter, wchar_t* file,
                          const wchar_t* title);

// Asks `question` in a message box titled `title` with Yes and No; No is
// the default when `no_first`. Returns true for Yes.
bool ask(const Window& w, const wchar_t* title, const char* question, bool no_first);

// window_layout_win32.cpp: makes the controls, gives them the system's
// message font at the window's DPI, places them, tells the smallest size at
// which every control shows, and draws the line being typed.
void add_controls(Window& w);
void use_font(Window& w);
void lay_out(Window& w);
POINT minimum_size(const Window& w);
void paint_drawing(const Window& w, HDC target);

// window_settings_win32.cpp: finds and reads the settings file into
// w.saved, and writes the setting `key` of w.saved into it, keeping what
// another window wrote there.
void load_settings(Window& w);
void save_setting(Window& w, SettingKey key);

// window_commands_win32.cpp: what the controls, keys and pastes do.
void show_settings(Window& w);
void update_drawing(Window& w);
bool choose_script(Window& w, bool first_run);
void send_line_box(Window& w);
void send_chosen_line(Window& w);
void recall(Window& w, int step);
void read_limit(Window& w);
// Takes the check box `id` (Hide my name, Letters beyond ASCII or Team
// only) into the settings in force and the saved ones.
void read_check_box(Window& w, int id);
void paste_into_line_box(Window& w);

// Whether the folder of `path` holds a .cfg file other than its own.
bool other_scripts_beside(const char* path);

// Keeps the folder of the file just saved, for the next Save window.
void remember_folder(Window& w, const char* path);

// Shows the Save window titled `title` for a script, starting at `name`;
// fills `chosen` (UTF-8). Returns false when the player cancels or the
// window fails, which it says in the status line.
bool ask_for_script(Window& w, const wchar_t* title, const char* name,
                    char (&chosen)[kMaxPathBytes]);

// Checks the path chosen for a script: a name the console can run (or the
// player takes the one offered), and no file of other kinds replaced unless
// the player says so; a script of the tool is replaced by a conversion only
// when the player says so. Returns false, saying why, when it is not taken.
bool settle_script(Window& w, char (&chosen)[kMaxPathBytes], Settle settle);

// window_convert_win32.cpp: converting a text file, chosen or dropped: the
// choice of one script or a chain on a key, then the one or the other.
void convert(Window& w, const wchar_t* text_path);
void convert_chosen_file(Window& w);

}  // namespace tallsay
