// Converting a text file, chosen in the Open window or dropped on the
// window: what the text holds first, then the player's choice between one
// script with every line and one banner per key press (a chain on a key),
// in a small dialog of its own, then the Save window and the scripts.
#include "window/window_win32.h"  // first: windows.h, which the headers below build on

#include <commdlg.h>

#include <cerrno>
#include <cstring>

namespace tallsay {
namespace {

// The choice of the way a text is converted.
struct Choice {
  char question[kStatusBytes];  // what the text holds, and the question
  bool chain;                   // one banner per key press
  char key[kKeyNameBytes];      // the key of the chain
};

// A dialog's template, made in memory: its header, then each control's,
// every one on a 4-byte boundary, each with its class and words after it.
struct DialogTemplate {
  alignas(4) WORD words[4096];
  std::size_t used;  // in words
};

void add_words(DialogTemplate& t, const void* data, std::size_t bytes) {
  std::memcpy(t.words + t.used, data, bytes);
  t.used += (bytes + 1) / 2;
}

void align(DialogTemplate& t) {
  if (t.used % 2 != 0) t.words[t.used++] = 0;
}

void add_text(DialogTemplate& t, const char* text) {
  const int units =
      MultiByteToWideChar(CP_UTF8, 0, text, -1, reinterpret_cast<wchar_t*>(t.words + t.used),
                          static_cast<int>(sizeof t.words / 2 - t.used));
  if (units == 0) t.words[t.used++] = 0;
  t.used += static_cast<std::size_t>(units);
}

// The controls of the choice, in dialog units, in the order Tab walks them.
struct DialogItem {
  int id;
  WORD kind;  // the system's class: 0x80 button, 0x81 edit, 0x82 static
  DWORD style;
  short x, y, width, height;
};
constexpr WORD kButton = 0x80;
constexpr WORD kEdit = 0x81;
constexpr WORD kStatic = 0x82;
constexpr short kDialogWidth = 290;
constexpr short kDialogHeight = 172;
constexpr DialogItem kChoiceItems[] = {
    {kIdChainQuestion, kStatic, SS_LEFT | SS_NOPREFIX, 7, 7, 276, 26},
    {kIdOneScript, kButton, BS_AUTORADIOBUTTON | BS_MULTILINE | BS_TOP | WS_GROUP | WS_TABSTOP, 7,
     38, 276, 18},
    {kIdChainWay, kButton, BS_AUTORADIOBUTTON | BS_MULTILINE | BS_TOP, 7, 60, 276, 18},
    {kIdChainKeyLabel, kStatic, SS_LEFT | WS_GROUP, 19, 84, 20, 8},
    {kIdChainKey, kEdit, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 41, 82, 66, 12},
    {kIdChainHint, kStatic, SS_LEFT | SS_NOPREFIX, 113, 84, 170, 8},
    {kIdChainNote, kStatic, SS_LEFT | SS_NOPREFIX, 19, 100, 264, 18},
    {kIdChainRefusal, kStatic, SS_LEFT | SS_NOPREFIX, 19, 121, 264, 26},
    {kIdDialogOk, kButton, BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP, 179, 151, 50, 14},
    {kIdDialogCancel, kButton, BS_PUSHBUTTON | WS_TABSTOP, 233, 151, 50, 14},
};

// Makes the template of the choice titled `title`.
void make_choice_template(DialogTemplate& t, const char* title) {
  t.used = 0;
  DLGTEMPLATE header = {};
  header.style = DS_SHELLFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU;
  header.cdit = static_cast<WORD>(sizeof kChoiceItems / sizeof kChoiceItems[0]);
  header.cx = kDialogWidth;
  header.cy = kDialogHeight;
  add_words(t, &header, sizeof header);
  const WORD no_menu_no_class[] = {0, 0};
  add_words(t, no_menu_no_class, sizeof no_menu_no_class);
  add_text(t, title);
  const WORD points = 9;
  add_words(t, &points, sizeof points);
  add_text(t, "MS Shell Dlg");
  for (const DialogItem& item : kChoiceItems) {
    align(t);
    DLGITEMTEMPLATE control = {};
    control.style = WS_CHILD | WS_VISIBLE | item.style;
    control.x = item.x;
    control.y = item.y;
    control.cx = item.width;
    control.cy = item.height;
    control.id = static_cast<WORD>(item.id);
    add_words(t, &control, sizeof control);
    const WORD kind[] = {0xFFFF, item.kind};
    add_words(t, kind, sizeof kind);
    add_text(t, control_text(item.id));
    const WORD no_data = 0;
    add_words(t, &no_data, sizeof no_data);
  }
}

void set_item_text(HWND dialog, int id, const char* text) {
  set_text(GetDlgItem(dialog, id), text);
}

// The key's controls count only for a chain.
void show_way(HWND dialog) {
  const bool chain = IsDlgButtonChecked(dialog, kIdChainWay) == BST_CHECKED;
  for (const int id : {kIdChainKeyLabel, kIdChainKey, kIdChainHint, kIdChainNote}) {
    EnableWindow(GetDlgItem(dialog, id), chain);
  }
}

// Takes the choice when the key is one the console binds; else says why
// in the dialog, which stays. Returns true when it is taken.
bool take_choice(HWND dialog, Choice& choice) {
  const bool chain = IsDlgButtonChecked(dialog, kIdChainWay) == BST_CHECKED;
  wchar_t wide[kKeyNameBytes];
  char key[3 * kKeyNameBytes];
  GetDlgItemTextW(dialog, kIdChainKey, wide, kKeyNameBytes);
  narrow(wide, key, sizeof key);
  char refusal[512];
  if (chain && describe_key_entry(key, refusal, sizeof refusal) > 0) {
    set_item_text(dialog, kIdChainRefusal, refusal);
    MessageBeep(MB_ICONWARNING);
    const HWND box = GetDlgItem(dialog, kIdChainKey);
    SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(box), TRUE);
    return false;
  }
  choice.chain = chain;
  if (chain) std::memcpy(choice.key, key, std::strlen(key) + 1);
  return true;
}

INT_PTR CALLBACK choice_procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* choice = reinterpret_cast<Choice*>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      choice = reinterpret_cast<Choice*>(lparam);
      SetWindowLongPtrW(dialog, DWLP_USER, lparam);
      set_item_text(dialog, kIdChainQuestion, choice->question);
      set_item_text(dialog, kIdChainKey, choice->key);
      SendDlgItemMessageW(dialog, kIdChainKey, EM_SETLIMITTEXT, kKeyNameBytes - 1, 0);
      const int chosen = choice->chain ? kIdChainWay : kIdOneScript;
      CheckRadioButton(dialog, kIdOneScript, kIdChainWay, chosen);
      show_way(dialog);
      SetFocus(GetDlgItem(dialog, chosen));
      return FALSE;
    }
    case WM_CTLCOLORSTATIC:
      if (reinterpret_cast<HWND>(lparam) != GetDlgItem(dialog, kIdChainRefusal)) return FALSE;
      SetTextColor(reinterpret_cast<HDC>(wparam), RGB(176, 0, 0));
      SetBkColor(reinterpret_cast<HDC>(wparam), GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case kIdOneScript:
        case kIdChainWay:
          show_way(dialog);
          return TRUE;
        case kIdDialogOk:
          if (take_choice(dialog, *choice)) EndDialog(dialog, IDOK);
          return TRUE;
        case kIdDialogCancel:
          EndDialog(dialog, IDCANCEL);
          return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}

// Asks how the text `text`, which holds what `look` says, is converted,
// starting from the way and key of the settings. Returns false when the
// player cancels.
bool choose_way(Window& w, const char* text, const TextLook& look, Choice& choice) {
  describe_chain_question(text, look, choice.question, sizeof choice.question);
  choice.chain = w.settings.convert_chain;
  std::memcpy(choice.key, w.settings.chain_key, sizeof choice.key);
  char title[128];
  std::snprintf(title, sizeof title, "tallsay: convert %.100s", file_name_of(text));
  DialogTemplate dialog;
  make_choice_template(dialog, title);
  const INT_PTR answer = DialogBoxIndirectParamW(
      GetModuleHandleW(nullptr), reinterpret_cast<const DLGTEMPLATE*>(dialog.words), w.window,
      choice_procedure, reinterpret_cast<LPARAM>(&choice));
  if (answer != IDOK) return false;
  w.settings.convert_chain = choice.chain;
  w.saved.convert_chain = choice.chain;
  if (choice.chain) {
    std::memcpy(w.settings.chain_key, choice.key, sizeof choice.key);
    std::memcpy(w.saved.chain_key, choice.key, sizeof choice.key);
  }
  save_setting(w, SettingKey::kConvert);
  return true;
}

// Converts the text into the one script `script`, as the batch run does.
void convert_into_script(Window& w, const char* text, const char* script) {
  SetLastError(0);
  errno = 0;
  ScriptCount count;
  const ConvertOutcome outcome =
      convert_text_file(text, script, w.settings, w.work, w.warnings, count);
  char reason[512];
  script_reason(w, reason, sizeof reason);
  const bool converted = outcome == ConvertOutcome::kConverted;
  if (converted) remember_folder(w, script);
  std::size_t length = 0;
  if (converted && !other_scripts_beside(script)) {
    length = describe_folder_question(script, w.status, sizeof w.status);
  }
  describe_conversion(outcome, text, script, count, w.settings.max_line_len, reason,
                      w.status + length, sizeof w.status - length);
  show_status(w, !converted);
}

// Writes the chain of the text's `banners` scripts from the first script
// `first`, once the player says so for files of other kinds among its
// names.
void convert_into_chain(Window& w, const char* text, const char* first, std::int64_t banners) {
  const ChainClash clash = find_chain_clash(first, banners);
  if (clash.count > 0) {
    char question[kStatusBytes];
    describe_chain_clash(clash, question, sizeof question);
    if (!ask(w, L"tallsay: not tallsay scripts", question, true)) {
      std::snprintf(w.status, sizeof w.status,
                    "Nothing was written: choose another name for the chain's first script.");
      show_status(w, false);
      return;
    }
  }
  // Asked before the chain's own scripts are there.
  const bool other_scripts = other_scripts_beside(first);
  SetLastError(0);
  errno = 0;
  const ChainResult result =
      write_text_chain(text, first, w.settings, w.settings.chain_key, w.work, w.warnings);
  char reason[512];
  script_reason(w, reason, sizeof reason);
  const bool whole = result.outcome == ChainOutcome::kWritten && result.written > 0;
  if (result.written > 0) remember_folder(w, first);
  std::size_t length = 0;
  if (whole && !other_scripts) {
    length = describe_folder_question(first, w.status, sizeof w.status);
  }
  describe_chain(result, text, first, w.settings.chain_key, banners, reason, w.status + length,
                 sizeof w.status - length);
  show_status(w, !whole);
}

}  // namespace

void convert(Window& w, const wchar_t* text_path) {
  char text[kMaxPathBytes];
  narrow(text_path, text, kMaxPathBytes);
  SetLastError(0);
  errno = 0;
  const TextLook look = look_at_text_file(text, w.work);
  if (look.outcome != ConvertOutcome::kConverted) {
    char reason[512];
    system_reason(reason, sizeof reason);
    describe_look(look, text, reason, w.status, sizeof w.status);
    show_status(w, true);
    return;
  }
  Choice choice;
  char name[kMaxPathBytes];
  char script[kMaxPathBytes];
  if (!choose_way(w, text, look, choice) || !script_name_for_text(text, name) ||
      !ask_for_script(
          w, choice.chain ? L"Save the chain's first script as" : L"Save the converted script as",
          name, script) ||
      !settle_script(w, script, choice.chain ? Settle::kChain : Settle::kConvert)) {
    return;
  }
  if (choice.chain) {
    convert_into_chain(w, text, script, look.banners);
  } else {
    convert_into_script(w, text, script);
  }
}

void convert_chosen_file(Window& w) {
  wchar_t file[kDialogPathUnits] = L"";
  OPENFILENAMEW dialog = file_dialog(w, L"Text files (*.txt)\0*.txt\0All files (*.*)\0*.*\0", file,
                                     L"Convert a text file");
  dialog.Flags =
      OFN_FILEMUSTEXIST | OFN_NOCHANGEDIR | OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING;
  if (GetOpenFileNameW(&dialog) != 0) convert(w, file);
}

}  // namespace tallsay
