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
#include "chain/chain.h"
#include "console/console.h"
#include "frontend/run_options.h"
#include "script/script.h"

namespace tallsay {

// The longest key name a chain binds (see is_key_name), with its NUL.
inline constexpr std::size_t kKeyNameBytes = 16;

// What the window remembers between runs.
struct WindowSettings {
  char script_path[kMaxPathBytes];  // UTF-8; empty while no script is chosen
  std::int32_t max_line_len;        // as --line-len=; 0 or below never warns
  bool hide_name;                   // as --no-name
  bool utf8;                        // as --utf8: letters beyond ASCII are drawn
  bool team;                        // as --team: the rows are said to the team only
  char last_folder[kMaxPathBytes];  // the folder of the last file saved; empty for none
  bool convert_chain;               // a text is converted into a chain, not one script
  char chain_key[kKeyNameBytes];    // the key of a chain: one is_key_name takes
};

// One setting, for keeping what another window wrote when saving one's own.
// kConvert is the way of converting with the chain's key.
enum class SettingKey { kScript, kLimit, kHideName, kLetters, kTeam, kLastFolder, kConvert };

// Sets the setting `key` of `settings` to what `from` holds.
void take_setting(WindowSettings& settings, const WindowSettings& from, SettingKey key);

// Whether two records hold the same settings.
bool same_settings(const WindowSettings& a, const WindowSettings& b);

// The settings of a first run: no script, no limit, the name shown, letters
// beyond ASCII drawn, said to all, and a text converted into a chain on F5.
WindowSettings default_settings();

// The options of the blocks the window writes with `settings`.
BlockOptions block_options(const WindowSettings& settings);

// Fills `settings` from the text of a settings file: lines of key=value
// (out-file, line-len, no-name, utf8, team, folder, convert, chain-key)
// ending in LF or CR LF; a UTF-8 byte-order mark, empty lines, [section]
// lines, lines starting with ; or #, unknown keys and a path too long for the
// record are passed over, leaving what `settings` held. line-len reads as
// --line-len= does; no-name, utf8 and team are on for yes, 1, true or on, and
// off for any other value; convert is chain or script; chain-key is taken
// when is_key_name takes it.
void read_settings(std::string_view text, WindowSettings& settings);

// Writes the text of the settings file for `settings` (CR LF line ends) into
// `buffer` and returns its length. REQUIRES: size >= kSettingsTextBytes.
inline constexpr std::size_t kSettingsTextBytes = 2 * kMaxPathBytes + 256;
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

// Where the settings are read and written: where they were last written.
// When files are in both places, the one written last (`app_data_newer`
// tells which); when one is, that one; when none is, beside the program if
// its folder can be written, else in the user's folder. Returns true for
// beside the program.
bool settings_go_beside(bool beside_exists, bool app_data_exists, bool folder_writable,
                        bool app_data_newer);

// What the window says when the settings could not be written at `failed`
// (`reason` the system's words) and went to `moved_to` instead, or, when
// `moved_to` is empty, could not be written at all.
std::size_t describe_settings_write(const char* failed, const char* reason, const char* moved_to,
                                    char* buffer, std::size_t size);

enum class ArgumentOutcome {
  kRun,              // the arguments are taken
  kInvalidArgument,  // one fits no option of the window (`bad` names it)
  kPathTooLong,      // the path of --out-file= is too long (`bad` names it)
};

// Lays the tool's own options (--out-file=, --line-len=, --no-name, --utf8,
// --team) over `settings` for this run, as the tool reads them (the last of
// each counts; the last three only turn their setting on).
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
  kFolder,       // the script's path names a folder: nothing written
  kOpenFailed,   // open_script failed; errno says why
  kWriteFailed,  // writing or closing failed; errno says why
};

// Room for writing a script or a chain: the layout of a line, the script's
// buffer, the reader of a text file being converted, and the lines a chain
// reads ahead.
using ScriptWork = ChainWork;

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
  kEmptyText,        // the text holds nothing: nothing converted, the script untouched
  kFirstLineEmpty,   // the text's first line is empty: likewise
  kNotText,          // the text holds NUL bytes, so it is no text: likewise
  kFolder,           // the script's path names a folder: likewise
};

// What a script written by the tool holds, read back from its file.
struct ScriptCount {
  std::int64_t banners;     // blocks
  std::int64_t over_limit;  // blocks with a line-length warning
  ScriptMeasure measure;    // what it asks of the console
};

// Reads back the script at `path` and counts it. Returns false, with errno
// set, when it cannot be read.
bool count_script(const char* path, ScriptCount& count);

// Converts the text file `text_path` into the script `script_path` as the
// tool's batch run does, with the options of `settings` (block_options);
// line-length warnings go to `warnings`. A text that would give no block (an
// empty one, one whose first line is empty, or one that holds NUL bytes and
// no UTF-16 mark) leaves the script alone. Once the script is written,
// `count` holds what it holds (all zero otherwise).
ConvertOutcome convert_text_file(const char* text_path, const char* script_path,
                                 const WindowSettings& settings, ScriptWork& work,
                                 std::FILE* warnings, ScriptCount& count);

// The file name at the end of `path`: after its last \, / or :.
const char* file_name_of(const char* path);

// Writes into `name` the script's name for the text file `text_path`: its
// file name with the extension (from its last dot, unless that is its
// first byte) replaced by .cfg. Returns false when it does not fit.
bool script_name_for_text(const char* text_path, char (&name)[kMaxPathBytes]);

// The words for a script refused for a reason that the system's words would
// not tell the player: it is reached through another user's link, held open
// by another program, or its name names a stream of a file. Null when
// `replacement` was refused for none of them.
const char* refusal_words(const Replacement& replacement);

// The status messages. `reason` is the system's reason for a failure, as it
// words it ("Access is denied.\r\n"); trailing blanks, line ends and a final
// dot are dropped and one dot ends the sentence. Each writes a NUL-terminated
// message into `buffer` and returns its length, cutting it to fit.
inline constexpr std::size_t kStatusBytes = 2 * kMaxPathBytes + 2 * kMaxTextBytes + 2048;
std::size_t describe_line(LineOutcome outcome, std::string_view text, std::int32_t width,
                          const WindowSettings& settings, const char* reason, char* buffer,
                          std::size_t size);
// `count` is what the script holds after kConverted and kReadFailed, and
// `max_line_len` the width limit it was written with.
std::size_t describe_conversion(ConvertOutcome outcome, const char* text_path,
                                const char* script_path, const ScriptCount& count,
                                std::int32_t max_line_len, const char* reason, char* buffer,
                                std::size_t size);
std::size_t describe_arguments(ArgumentOutcome outcome, const char* bad, char* buffer,
                               std::size_t size);

// What the window says when it starts: how to use it with the script chosen
// (the bind line naming the script's file, or, when the console could not
// run a script of that name, what a name may hold), or that one has to be
// chosen.
std::size_t describe_start(const WindowSettings& settings, char* buffer, std::size_t size);

// The question, and a space after it, when the folder of `path` holds no
// other .cfg file, which the game's script folder would.
std::size_t describe_folder_question(const char* path, char* buffer, std::size_t size);

// What the window says once a script is chosen: describe_start's words,
// after a question when `other_scripts` is false (its folder holds no
// other .cfg file, which the game's script folder would).
std::size_t describe_chosen(const WindowSettings& settings, bool other_scripts, char* buffer,
                            std::size_t size);

// The label under the drawing: the width of the line being typed in columns
// and the limit, if any.
std::size_t describe_width(std::int32_t width, std::int32_t max_line_len, char* buffer,
                           std::size_t size);

// The label under the drawing for the line `text` being typed: as
// describe_width, then what the game does with the script Enter would write
// (the console's advice for the limits it passes), or that the line is too
// long to send. Lays out the line in work.banner and makes its script in
// work.script's buffer.
std::size_t describe_typed(std::string_view text, const WindowSettings& settings, ScriptWork& work,
                           char* buffer, std::size_t size);

// Whether the file name at the end of `path` is a script name the console's
// exec takes as it is (see check_script_name): one word of letters, digits,
// '_', '-' and '.', starting with a letter or digit, ending in .cfg, of at
// most kMaxScriptNameBytes bytes.
bool is_script_name(const char* path);

// Writes into `fixed` the path `path` with its file name made such a name:
// each character outside the ones allowed becomes '_', an extension .cfg in
// other letters becomes .cfg, .cfg is added when missing, what stands before
// the first letter or digit is dropped, a name without a stem becomes
// chat.cfg, and the stem is cut so that the name fits. Returns
// false when the path does not fit.
bool fix_script_name(const char* path, char (&fixed)[kMaxPathBytes]);

// The question when the chosen script's name is not one the console takes,
// offering `fixed` instead.
std::size_t describe_name_fix(const char* path, const char* fixed, char* buffer, std::size_t size);

// What the path chosen as a script names now.
enum class Existing {
  kNothing,  // no file: the script will be made
  kScript,   // a script of the tool: it starts with the header
  kOther,    // any other file, to be replaced only if the player says so
  kFolder,   // a folder, which cannot be the script
};
struct ExistingFile {
  Existing kind;
  std::int64_t size;  // its bytes, for kScript and kOther; -1 when unknown
};

// Looks at what `path` names. A file that cannot be read is kOther.
ExistingFile check_existing(const char* path);

// What a text file holds before it is converted: whether it has lines to
// convert, and how many.
struct TextLook {
  ConvertOutcome outcome;  // kConverted when it has a first line; else why nothing would be
                           // converted: kInputOpenFailed, kEmptyText, kFirstLineEmpty,
                           // kNotText or kReadFailed (errno says why for the first and last)
  std::int64_t lines;      // its lines up to the first empty one, as a reader of the text counts
  std::int64_t banners;    // the blocks the batch run makes of them: a line over kMaxTextBytes
                           // bytes is cut into pieces, a block each
  std::int64_t cut_lines;  // the lines cut so
};

// Reads the text file `text_path` as a conversion would, to its first empty
// line, writing nothing.
TextLook look_at_text_file(const char* text_path, ScriptWork& work);

// Writes the chain of the text file `text_path` (see write_chain) with the
// options of `settings` (block_options): its first script at
// `first_path`, the others beside it, each binding `key` to the next;
// line-length warnings go to `warnings`.
// REQUIRES: is_script_name(first_path) and is_key_name(key) hold.
ChainResult write_text_chain(const char* text_path, const char* first_path,
                             const WindowSettings& settings, std::string_view key, ScriptWork& work,
                             std::FILE* warnings);

// The files among the scripts of a chain of `lines` scripts after its first
// at `first_path` that the chain would replace and that are not scripts of
// the tool (files of other kinds that can be read).
struct ChainClash {
  std::int64_t count;
  char first[kMaxPathBytes];  // the path of the first of them; empty for none
  ExistingFile file;          // what it holds
};
ChainClash find_chain_clash(const char* first_path, std::int64_t lines);

// What a path chosen for a script is for: the script the window writes,
// one converted text, or a chain's first script.
enum class Settle { kChoose, kConvert, kChain };

// The question before a file that is not a script of the tool is taken as
// the script for `settle` (`file` from check_existing).
std::size_t describe_not_a_script(const char* path, const ExistingFile& file, Settle settle,
                                  char* buffer, std::size_t size);

// The question before the tallsay script at `path` is replaced by a
// converted text, or by the first script of a chain (`chain`).
std::size_t describe_replace(const char* path, bool chain, char* buffer, std::size_t size);

// The question before a chain replaces files that are not scripts of the
// tool (`clash` from find_chain_clash, with a file).
std::size_t describe_chain_clash(const ChainClash& clash, char* buffer, std::size_t size);

// What the window says when the text `text_path` gives nothing to convert
// (`look` from look_at_text_file, not kConverted), before anything is asked.
std::size_t describe_look(const TextLook& look, const char* text_path, const char* reason,
                          char* buffer, std::size_t size);

// The question of the choice between one script and a chain, for the text
// `text_path` that holds what `look` says.
std::size_t describe_chain_question(const char* text_path, const TextLook& look, char* buffer,
                                    std::size_t size);

// What the key box's `key` gives: nothing when is_key_name takes it; else
// that it is refused, and what a key name may be.
std::size_t describe_key_entry(std::string_view key, char* buffer, std::size_t size);

// The status after writing the chain of the text `text_path` (of `banners`
// scripts, as look_at_text_file counted them) whose first script is
// `first_path`, binding `key`: the scripts written, the bind to type once,
// what a press does and the lines that pass a limit of the console on
// their own; or which scripts were written and why the next was not.
std::size_t describe_chain(const ChainResult& result, const char* text_path, const char* first_path,
                           std::string_view key, std::int64_t banners, const char* reason,
                           char* buffer, std::size_t size);

// What the width box holds.
enum class LimitEntry {
  kTaken,      // a number of columns, or nothing (0)
  kTooLarge,   // a number over the largest limit, which would wrap
  kNotDigits,  // anything but digits
};

// Reads the width box's text `text` into `limit`, which is left as it was
// unless the outcome is kTaken.
LimitEntry read_limit_entry(const char* text, std::int32_t& limit);

// What the window says when the width box's text is refused; `kept` is the
// limit in force.
std::size_t describe_limit_entry(LimitEntry entry, const char* text, std::int32_t kept,
                                 char* buffer, std::size_t size);

// A paste into the line box: its first line goes into the box; the other
// lines that hold anything are counted, so that the window can say so.
struct Paste {
  std::size_t first_length;  // bytes of the first line
  std::int64_t other_lines;  // lines after it that are not empty
};

// Splits the pasted `text` (UTF-8, or UTF-16 as the clipboard holds it) at
// its line ends (CR LF, LF or CR).
template <typename Char>
Paste split_paste(std::basic_string_view<Char> text) {
  const auto is_end = [](Char c) { return c == Char('\r') || c == Char('\n'); };
  std::size_t at = 0;
  while (at < text.size() && !is_end(text[at])) ++at;
  Paste paste{at, 0};
  while (at < text.size()) {
    while (at < text.size() && is_end(text[at])) ++at;
    const std::size_t start = at;
    while (at < text.size() && !is_end(text[at])) ++at;
    if (at > start) ++paste.other_lines;
  }
  return paste;
}

// What the window says after a paste of `paste.other_lines` more lines.
std::size_t describe_paste(const Paste& paste, char* buffer, std::size_t size);

// The list of lines sent, as a line is added to its end.
struct ListView {
  int top;       // the first line shown; -1 to show the end
  int selected;  // the line chosen
};

// Where the list stands after a line is added to a list of `count` lines
// (the oldest is dropped when `count` is `kept`), shown from `top` with
// `selected` chosen. A line sent again from the list (`from_list`) leaves
// the lines under the mouse where they were; one from the line box shows
// the end, and chooses the new line.
ListView list_after_send(int count, int kept, int top, int selected, bool from_list);

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
  kIdLetters,     // check box: --utf8
  kIdTeam,        // check box: --team
  kIdLabelFirst,  // the labels, from here on
  kIdLabelScript = kIdLabelFirst,
  kIdLabelLimit,
  kIdLabelColumns,
  kIdLabelSent,
  kIdLabelLine,
  // The choice of the way a text is converted, in a dialog of its own.
  kIdChainQuestion = 200,  // what the text holds, and the question
  kIdOneScript,            // radio button: one script with every line
  kIdChainWay,             // radio button: one banner per key press
  kIdChainKeyLabel,
  kIdChainKey,      // the key of the chain
  kIdChainHint,     // what a key name may be
  kIdChainRefusal,  // why the key typed is refused
  kIdChainNote,     // the key's old binding is replaced
};
// The system's ids of a dialog's default and Cancel buttons.
inline constexpr int kIdDialogOk = 1;
inline constexpr int kIdDialogCancel = 2;

// The words of a control, its mnemonic after '&'.
struct ControlText {
  int id;
  const char* text;  // UTF-8
};
inline constexpr ControlText kControlTexts[] = {
    {kIdLabelScript, "Script:"},
    {kIdChoose, "&Choose\xE2\x80\xA6"},
    {kIdLabelLimit, "&Warn when wider than"},
    {kIdLabelColumns, "columns (0: never)"},
    {kIdHideName, "&Hide my name"},
    {kIdLetters, "Letters beyond &ASCII (\xC3\xA9, \xD0\xB6, \xC3\x9F\xE2\x80\xA6)"},
    {kIdTeam, "Team &only"},
    {kIdConvert, "Con&vert a text file\xE2\x80\xA6"},
    {kIdLabelSent, "Lines sen&t (Enter or a double-click sends one again):"},
    {kIdLabelLine, "&Line:"},
    {kIdSay, "&Say"},
};

// The words of the choice's controls; the question is made for each text.
inline constexpr ControlText kChainDialogTexts[] = {
    {kIdChainWay,
     "One &banner per key press: a script for each line, and each press of the key says the "
     "next line"},
    {kIdOneScript,
     "&One script with every line: the game says its first banner, and mutes you for 10 "
     "seconds at the next"},
    {kIdChainKeyLabel, "&Key:"},
    {kIdChainHint, "a letter, a digit, F1 to F12, SPACE, MOUSE4\xE2\x80\xA6"},
    {kIdChainNote,
     "Press the key at most once every 4 seconds. The chain replaces what the key did in the "
     "game."},
    {kIdDialogOk, "&Save as\xE2\x80\xA6"},
    {kIdDialogCancel, "Cancel"},
};

// The words of the control `id` of the window or the choice; empty for one
// without words of its own.
const char* control_text(int id);

// The control that Alt and the letter `key` (either case) lead to: the one a
// label names, or a button; 0 when no control has that mnemonic.
int mnemonic_control(char key);

// The window, started with the program's arguments in UTF-8; returns the
// exit status when it is closed. Windows only (window_win32.cpp).
int run_window(int argc, const char* const* argv);

}  // namespace tallsay
