// The window: tallsay-window, the Windows player's way to the script without
// a console. This header holds what it decides without a window (its settings
// file, its command line, what a line or a text file does to the script, and
// the words it shows); window_win32.cpp is the window itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "banner/banner.h"
#include "frontend/run_options.h"
#include "script/script.h"

namespace tallsay {

// What the window remembers between runs.
struct WindowSettings {
  char script_path[kMaxPathBytes];  // UTF-8; empty while no script is chosen
  std::int32_t max_line_len;        // as --line-len=; 0 or below never warns
  bool hide_name;                   // as --no-name
};

// The settings of a first run: no script, no limit, the name shown.
WindowSettings default_settings();

// Fills `settings` from the text of a settings file: lines of key=value
// (out-file, line-len, no-name) ending in LF or CR LF; a UTF-8 byte-order
// mark, empty lines, [section] lines, lines starting with ; or #, unknown
// keys and a path too long for the record are passed over, leaving what
// `settings` held. line-len reads as --line-len= does; no-name is on for
// yes, 1, true or on.
void read_settings(std::string_view text, WindowSettings& settings);

// Writes the text of the settings file for `settings` (CR LF line ends) into
// `buffer` and returns its length. REQUIRES: size >= kSettingsTextBytes.
inline constexpr std::size_t kSettingsTextBytes = kMaxPathBytes + 256;
std::size_t write_settings(const WindowSettings& settings, char* buffer, std::size_t size);

// The settings file's name, beside the program or in the user's folder.
inline constexpr std::string_view kSettingsFileName = "tallsay-window.ini";

// Writes into `path` the settings file beside the program `exe_path` (in the
// same folder). Returns false when the result does not fit.
bool settings_beside(const char* exe_path, char (&path)[kMaxPathBytes]);

// Writes into `path` the settings file in the folder tallsay under the
// user's application-data folder `app_data`. Returns false when it does not
// fit or `app_data` is empty.
bool settings_in_app_data(const char* app_data, char (&path)[kMaxPathBytes]);

// Where the settings live: beside the program when a file is there already,
// or else when no file is in the user's folder and the program's folder can
// be written; in the user's folder otherwise.
bool settings_go_beside(bool beside_exists, bool app_data_exists, bool folder_writable);

enum class ArgumentOutcome {
  kRun,              // the arguments are taken
  kInvalidArgument,  // one fits no option of the window (`bad` names it)
  kPathTooLong,      // the path of --out-file= is too long (`bad` names it)
};

// Lays the tool's own options (--out-file=, --line-len=, --no-name) over
// `settings` for this run, as the tool reads them (the last of each counts).
// --in-file= is not an option of the window. On any other outcome than kRun,
// `settings` is left as it was.
ArgumentOutcome apply_arguments(int argc, const char* const* argv, WindowSettings& settings,
                                const char*& bad);

// What pressing Enter on a line did.
enum class LineOutcome {
  kWritten,      // the script holds the header and the line's block
  kEmpty,        // nothing typed: nothing written
  kTooLong,      // over kMaxTextBytes bytes: nothing written
  kLineBreak,    // holds a byte that ends a line when read (LF, CR, 0x1A)
  kNoScript,     // no script chosen yet
  kOpenFailed,   // open_script failed; errno says why
  kWriteFailed,  // writing or closing failed; errno says why
};

// Room for writing a script: the layout of a line, the script's buffer, and
// the reader of a text file being converted.
struct ScriptWork {
  Banner banner;
  ScriptFile script;
  TextReader reader;
};

// Writes the script at settings.script_path as the interactive run does for
// the typed line `text` (its bytes without a line end): the header and the
// line's block, replacing what the file held; a line-length warning also
// goes to `warnings`. Writes nothing unless the outcome is kWritten or
// kWriteFailed. Fills `width` with the line's width in columns.
LineOutcome send_line(std::string_view text, const WindowSettings& settings, ScriptWork& work,
                      std::FILE* warnings, std::int32_t& width);

// What converting a text file did.
enum class ConvertOutcome {
  kConverted,        // the script holds a block for every line up to the first empty one
  kInputOpenFailed,  // the text cannot be opened; errno says why
  kSameFile,         // the text and the script are one file; nothing touched
  kOpenFailed,       // open_script failed; errno says why
  kWriteFailed,      // writing or closing failed; errno says why
  kReadFailed,       // reading the text failed; the script holds the lines before
};

// Converts the text file `text_path` into the script `script_path` as the
// tool's batch run does, with the width limit and name hiding of `settings`;
// line-length warnings go to `warnings`.
ConvertOutcome convert_text_file(const char* text_path, const char* script_path,
                                 const WindowSettings& settings, ScriptWork& work,
                                 std::FILE* warnings);

// Writes into `name` the script's name for the text file `text_path`: its
// file name with the extension (from its last dot, unless that is its
// first byte) replaced by .cfg. Returns false when it does not fit.
bool script_name_for_text(const char* text_path, char (&name)[kMaxPathBytes]);

// The status messages. `reason` is the system's reason for a failure, as it
// words it ("Access is denied.\r\n"); trailing blanks, line ends and a final
// dot are dropped and one dot ends the sentence. Each writes a NUL-terminated
// message into `buffer` and returns its length, cutting it to fit.
inline constexpr std::size_t kStatusBytes = 2 * kMaxPathBytes + 2 * kMaxTextBytes + 512;
std::size_t describe_line(LineOutcome outcome, std::string_view text, std::int32_t width,
                          const WindowSettings& settings, const char* reason, char* buffer,
                          std::size_t size);
std::size_t describe_conversion(ConvertOutcome outcome, const char* text_path,
                                const char* script_path, const char* reason, char* buffer,
                                std::size_t size);
std::size_t describe_arguments(ArgumentOutcome outcome, const char* bad, char* buffer,
                               std::size_t size);

// What the window says when it starts: how to use it with the script chosen,
// or that one has to be chosen.
std::size_t describe_start(const WindowSettings& settings, char* buffer, std::size_t size);

// The label under the drawing: the width of the line being typed in columns
// and the limit, if any.
std::size_t describe_width(std::int32_t width, std::int32_t max_line_len, char* buffer,
                           std::size_t size);

// Up and Down in the line box walk the `count` lines sent. `cursor` is the
// index of the line shown, `count` itself for the line being typed; returns
// the cursor after moving it by `step` (-1 for Up, +1 for Down), which stays
// within 0 and `count`.
int recall_step(int cursor, int count, int step);

// The window's controls, so that a test can find them. The window's class.
inline constexpr const wchar_t* kWindowClass = L"tallsay-window";
enum ControlId : int {
  kIdPath = 100,  // the script's path
  kIdChoose,      // button: choose the script
  kIdLimit,       // the width limit
  kIdHideName,    // check box: --no-name
  kIdConvert,     // button: convert a text file
  kIdWidth,       // the width of the line being typed
  kIdSent,        // the list of lines sent
  kIdLine,        // the line box
  kIdSay,         // button: send the line
  kIdStatus,      // the status line
  kIdLabelFirst,  // the labels, from here on
};

// The window, started with the program's arguments in UTF-8; returns the
// exit status when it is closed. Windows only (window_win32.cpp).
int run_window(int argc, const char* const* argv);

}  // namespace tallsay
