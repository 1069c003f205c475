#!/usr/bin/env bash
# Drives tallsay-window under wine on a virtual X display of its own, by the
# keyboard as a player would, and checks what it shows (window_probe reads
# it) and the scripts it writes, each byte for byte the interactive run's of
# tallsay. The parts, each starting the window anew:
#   typing     lines sent, the live width, Esc, Up and Down, letters beyond
#              ASCII typed, drawn and sent, a line sent again from the list,
#              a paste of many lines, forged drops, the layout at the
#              minimum size and after a resize, the labels' Alt keys, the
#              width box and the notes under the drawing
#   choosing   a script that cannot be written (the window says why, in a
#              status that wraps, and stays usable), one chosen in the Save
#              window, the check boxes in the script and all of it kept for
#              the next start; a file that is not a script, and a name the
#              console cannot run
#   converting a text into one script and into a chain (one banner per key
#              press), the choice between them, a key refused, a script of
#              the chain that cannot be written
#   settings   settings that cannot be written where they were, and a
#              folder as the script
#   documents  the first Save window in the user's documents, and two
#              windows on one settings file
# Usage: window_wine_test.sh WINDOW_EXE TOOL_EXE PROBE_EXE WINE_PREFIX EMULATOR...
# WINDOW_TEST_ONLY=PART runs only that part (a function below named part_...).
set -euo pipefail
window_exe=$1 tool_exe=$2 probe_exe=$3 prefix=$(realpath -m "$4")
shift 4
# The emulator's words, with a wine prefix of this test's own: the window
# needs a desktop on the display, which a prefix first started without one
# does not have.
emulator=("${@/#WINEPREFIX=*/WINEPREFIX=$prefix}")
export LC_ALL=C.UTF-8

work=$(mktemp -d /tmp/tallsay-window-test.XXXXXX)
server=
cleanup() {
  local status=$?
  if [ "$status" -ne 0 ] && [ -n "$server" ]; then
    import -window root "$work.png" 2>/dev/null && echo "the screen at the failure: $work.png"
  fi
  [ -z "${window_pid:-}" ] || kill "$window_pid" 2>/dev/null || true
  env "WINEPREFIX=$prefix" wineserver -k 2>/dev/null || true
  [ -z "$server" ] || kill "$server" 2>/dev/null || true
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
fail() { echo "window_wine_test: $*" >&2; exit 1; }

# A display of our own: Xvfb picks a free number and writes it to fd 3.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 3>"$work/display" &
server=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(head -n 1 "$work/display")"

run() { "${emulator[@]}" "$@"; }
windows_path() { local path=${1//\//\\}; echo "Z:$path"; }
# Windows drawn by wine itself, frame and system menu, as on Windows: Alt
# released after a mnemonic must not leave the keyboard in the menu.
run reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
cp "$window_exe" "$tool_exe" "$probe_exe" "$work/"
probe() { run "$work/$(basename "$probe_exe")" "$@" | tr -d '\r'; }
ini="$work/tallsay-window.ini"
scripts="$work/Иван-日本語"
chat="$scripts/chat.cfg"
# A folder for the paths typed into the Save window: xdotool types letters
# beyond ASCII through a keyboard map it changes on the fly, which the Save
# window does not always follow.
typed="$work/cfg"
mkdir "$scripts" "$typed"

# What the window shows as `1`, and whether it shows `2` or holds each text
# after `1`; waiting up to 30 seconds for it.
shown() { probe | sed -n "s/^$1\t//p"; }
poll() { for _ in $(seq 60); do "$@" && return 0; sleep 0.5; done; return 1; }
is() { [ "$(shown "$1")" = "$2" ]; }
holds() {
  local text part
  text=$(shown "$1")
  for part in "${@:2}"; do [[ "$text" == *"$part"* ]] || return 1; done
}
wait_is() { poll is "$@" || fail "$1 shows '$(shown "$1")', not '$2'"; }
wait_holds() { poll holds "$@" || fail "$1 shows '$(shown "$1")', not '${*:2}'"; }

start_window() {
  local before
  before=$(xdotool search --onlyvisible --name '^tallsay$' 2>/dev/null || true)
  (cd "$work" && exec "${emulator[@]}" "$work/tallsay-window.exe" "$@") >"$work/window.log" 2>&1 &
  window_pid=$!
  window_id=
  for _ in $(seq 360); do
    window_id=$(xdotool search --onlyvisible --name '^tallsay$' 2>/dev/null |
      grep -vxF -e "${before:-none}" | head -n 1) || true
    [ -n "$window_id" ] && break
    sleep 0.5
  done
  [ -n "$window_id" ] || fail "the window did not open"
  xdotool windowfocus --sync "$window_id"
}

# Closes the window with Alt+F4 and checks that it ends with status 0.
close_window() {
  xdotool windowfocus --sync "$window_id"
  xdotool key alt+F4
  local status=0
  wait "$window_pid" || status=$?
  window_pid=
  [ "$status" -eq 0 ] || fail "the window ended with status $status"
}

# Types `1` into the control with the focus, letters beyond ASCII into the
# line box through window_probe (see $typed); type_line waits until the
# line box holds `2`, or `1`.
type_text() {
  if LC_ALL=C grep -q '[^ -~]' <<<"$1"; then probe type "$1"; else xdotool type --delay 40 -- "$1"; fi
}
type_line() {
  type_text "$1"
  wait_is line "${2:-$1}"
}

# The script of the interactive run of tallsay for the line `1` with the
# options after it.
tool_script() {
  rm -f "$work/tool.cfg"
  printf '%s\n' "$1" | run "$work/$(basename "$tool_exe")" \
    "--out-file=$(windows_path "$work/tool.cfg")" "${@:2}" >/dev/null 2>&1
  cat "$work/tool.cfg"
}

# Presses Enter on the line `1` and checks the script `2` against the tool's
# with the options after it; send types the line first.
enter() {
  xdotool key Return
  wait_holds status "now says \"$1\""
  cmp <(tool_script "$1" "${@:3}") "$2" || fail "the script of '$1' is not the interactive run's"
}
send() {
  type_line "$1"
  enter "$@"
}

# Presses the keys `1` and waits until the line box holds `2`.
key_line() {
  xdotool key $1
  wait_is line "$2"
}

# The pixels lit in the drawing of the line being typed: those of its light
# colour, which nothing else in the window has.
lit() {
  sleep 1
  import -window "$window_id" png:- | convert - -fill black +opaque '#FAFAFA' -fill white \
    -opaque '#FAFAFA' -format '%[fx:round(mean*w*h)]' info:
}

# Whether no window titled like `1` shows; xdotool stops at an X error,
# such as a window that goes while it looks, so it looks twice.
gone() {
  ! xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 && sleep 0.25 &&
    ! xdotool search --onlyvisible --name "$1" >/dev/null 2>&1
}

# Focuses the window titled like `1` once it shows, and prints its id.
focus() {
  local id=
  for _ in $(seq 120); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1) && break
    sleep 0.5
  done
  [ -n "$id" ] || fail "the window '$1' did not open"
  xdotool windowfocus --sync "$id"
  echo "$id"
}

# Types a path into the open Save or Open window named like `1` and presses
# Enter until it closes: on a busy machine a key can be lost.
save_as() {
  local id
  id=$(focus "$1")
  xdotool key ctrl+a
  type_text "$2"
  sleep 0.3
  for _ in 1 2 3; do
    xdotool key Return
    for _ in $(seq 20); do
      gone "$1" && return 0
      sleep 0.25
    done
    xdotool windowfocus --sync "$id" 2>/dev/null || return 0
  done
  fail "the window '$1' stays open"
}

# Presses `1` in the open message box titled "tallsay: ...".
answer() {
  focus '^tallsay: ' >/dev/null
  xdotool key "$1"
}

# Opens the text `1` with Convert, and waits for the choice between one
# script and a chain.
convert_text() {
  xdotool windowfocus --sync "$window_id"
  xdotool key alt+v
  save_as '^Convert a text file' "$(windows_path "$1")"
  focus '^tallsay: convert ' >/dev/null
}

# No settings anywhere: neither beside the program nor in the user's folder
# of the prefix, which outlives a run.
fresh_settings() {
  rm -rf "$ini" "$prefix"/drive_c/users/*/AppData/Roaming/tallsay
}

# A file of the game's settings, and No to the question that holds each of
# the texts given, after which the file is as it was.
config() {
  printf 'bind w +forward\r\nname Player\r\n' >"$typed/config.cfg"
}
keep_config() {
  wait_holds question "$@"
  answer Return
  wait_holds status "config.cfg was left as it is"
  cmp <(printf 'bind w +forward\r\nname Player\r\n') "$typed/config.cfg" || fail "config.cfg changed"
}

# Checks the first `2` scripts of the chain `1`.cfg, `1`-2.cfg and
# `1`-3.cfg of three.txt: each the tool's script of its line and the bind of
# F6 to the next.
chain="$work/chain"
chain_whole() {
  local lines=("gg wp" "nice shot" "thanks") names=("$1.cfg" "$1-2.cfg" "$1-3.cfg") i
  for ((i = 0; i < $2; ++i)); do
    cmp <(tool_script "${lines[$i]}" --line-len=40 --no-name --utf8
      printf 'bind F6 "exec %s"\r\n' "${names[$(((i + 1) % 3))]}") "$chain/${names[$i]}" ||
      fail "${names[$i]} is not the tool's script of '${lines[$i]}' and the bind of the next"
  done
}

part_typing() {
  # Lines typed and sent, against the interactive run.
  fresh_settings
  local options=(--line-len=100 --utf8)
  start_window "--out-file=$(windows_path "$chat")" --line-len=100
  wait_is path "$(windows_path "$chat")"
  wait_holds status "Type a line and press Enter: chat.cfg then says it"
  type_line "Hi"
  wait_is width "9 of 100 columns"
  enter "Hi" "$chat" "${options[@]}"
  wait_holds status "$(windows_path "$chat") now says \"Hi\" (9 columns)."
  wait_is line ""
  send 'gg; 100% "quoted"' "$chat" "${options[@]}"
  send 'the quick brown fox' "$chat" "${options[@]}"
  wait_holds status "Warning: Line longer as specified: 101 > 100"
  # Esc clears the line box, Up and Down recall the lines sent.
  type_line "abc"
  key_line Escape ""
  send 'Hi!' "$chat" "${options[@]}"
  type_line "draft"
  key_line Up "Hi!"
  key_line Up "the quick brown fox"
  key_line "Down Down" "draft"
  key_line "Escape Up Up" "the quick brown fox"
  enter "the quick brown fox" "$chat" "${options[@]}"
  wait_is sent $'Hi\ngg; 100% "quoted"\nthe quick brown fox\nHi!\nthe quick brown fox'
  # Letters beyond ASCII typed, drawn and sent.
  type_line "é"
  [ "$(lit)" -gt 0 ] || fail "é typed in the line box is not drawn"
  xdotool key Escape
  send 'Café Привет' "$chat" "${options[@]}"
  # A line sent again from the list leaves the list where it stands.
  for i in $(seq 16); do send "line $i" "$chat" "${options[@]}"; done
  xdotool key shift+Tab Home Down Down Return
  wait_holds status 'now says "the quick brown fox"'
  wait_is top 0
  wait_is chosen 2
  # A paste of many lines.
  probe clip $'one\r\ntwo\r\nthree'
  xdotool key alt+l ctrl+v
  wait_holds status "the 2 lines after it were left out"
  wait_is line "one"
  xdotool key Escape
  # Forged drops.
  [ "$(probe forge)" = "forge	taken" ] || fail "the forged drops were not all taken"
  kill -0 "$window_pid" || fail "the window ended"
  wait_holds status "What was dropped on the window is not a file"
  gone '^Save the converted' || fail "a forged drop opened the Save window"
  # The minimum size and a repaint after a resize.
  [ "$(probe minimum)" = "layout	ok" ] || fail "at the minimum size: $(probe minimum)"
  xdotool windowsize "$window_id" 1000 700
  sleep 2
  xdotool key alt+t # the focus where no caret blinks
  sleep 1
  import -window "$window_id" "$work/resized.png"
  probe redraw
  sleep 1
  import -window "$window_id" "$work/repainted.png"
  local differ
  differ=$(compare -metric AE "$work/resized.png" "$work/repainted.png" null: 2>&1) || true
  [ "$differ" = "0" ] || fail "$differ pixels differ between the resized window and its repaint"
  # The labels' Alt keys, the width box and the notes under the drawing.
  [ ! -e "$ini" ] || fail "the command line's settings were saved"
  xdotool key alt+w
  type_text 60
  wait_is limit "60"
  wait_is line ""
  poll grep -q 'line-len=60' "$ini" || fail "the limit 60 was not saved"
  xdotool key alt+w
  type_text 5000000000
  wait_holds status "5000000000 is too large for a width limit"
  grep -q 'line-len=500000000' "$ini" || fail "the settings hold $(grep line-len "$ini")"
  xdotool key alt+w
  type_text 0
  xdotool key alt+l
  type_line "WWWWWWWWWWWWW"
  wait_is width "77 columns. In the game: rows over 69 columns wrap on a 640-pixel screen."
  xdotool key alt+t
  wait_is focus 106
  close_window
  ! grep -qF "$(windows_path "$chat")" "$ini" || fail "the command line's script was saved"
}

part_choosing() {
  # A script that cannot be written.
  fresh_settings
  local long good="$work/good.cfg" status
  long="$work/$(printf 'folder-%.0s' $(seq 20))/chat.cfg"
  start_window "--out-file=$(windows_path "$long")"
  type_line "Hi"
  xdotool key Return
  wait_holds status "Could not write $(windows_path "$long"): "
  status=$(shown status)
  [[ "$status" == *": "?*". The script was not changed." ]] || fail "no reason given: $status"
  [[ "$(shown status_lines)" == [2-9]" readable" ]] || fail "the status shows as: $(shown status_lines)"
  kill -0 "$window_pid" || fail "the window ended"
  wait_is line "Hi"
  wait_is sent ""
  # Choosing the script with the Save window, by the keyboard.
  xdotool key alt+c
  save_as '^Choose the script' "$(windows_path "$good")"
  wait_holds status "Type a line and press Enter: good.cfg then says it"
  wait_is path "$(windows_path "$good")"
  xdotool windowfocus --sync "$window_id"
  enter "Hi" "$good" --utf8
  wait_holds status "$(windows_path "$good") now says \"Hi\" (9 columns)."
  grep -qF "out-file=$(windows_path "$good")" "$ini" || fail "the chosen script is not kept"
  # Letters beyond ASCII unticked, Team only ticked.
  xdotool key alt+a alt+o alt+l
  type_line "é"
  [ "$(lit)" = 0 ] || fail "é is drawn with the letters beyond ASCII unticked"
  type_line " Café" "é Café"
  enter "é Café" "$good" --team
  close_window
  # The settings at the next start.
  start_window
  wait_is path "$(windows_path "$good")"
  wait_is checked 001
  # Choosing a file that is not a script, and a name the console cannot run.
  config
  xdotool key alt+c
  save_as '^Choose the script' "$(windows_path "$typed/config.cfg")"
  keep_config "$(windows_path "$typed/config.cfg") is not a tallsay script: it holds 30 bytes"
  wait_is path "$(windows_path "$good")"
  xdotool key alt+c
  save_as '^Choose the script' "$(windows_path "$typed/my chat.cfg")"
  wait_holds question 'The game cannot run a script named "my chat.cfg"' "Save it as my_chat.cfg instead?"
  answer Return
  wait_holds status 'bind F5 "exec my_chat.cfg"'
  xdotool windowfocus --sync "$window_id"
  wait_is path "$(windows_path "$typed/my_chat.cfg")"
  send "Hi" "$typed/my_chat.cfg" --team
  close_window
}

part_converting() {
  # A file named on the command line that is not a script.
  fresh_settings
  config
  start_window "--out-file=$(windows_path "$typed/config.cfg")" --line-len=40 --no-name
  type_line "Hi"
  xdotool key Return
  keep_config "config.cfg is not a tallsay script: it holds 30 bytes"
  # The same file chosen as a chain's first script.
  printf 'gg\r\nwp\r\n' >"$work/two.txt"
  convert_text "$work/two.txt"
  wait_is choice_way chain
  wait_is choice_key F5
  xdotool key alt+b Return
  save_as "^Save the chain's first script as" "$(windows_path "$typed/config.cfg")"
  keep_config "config.cfg is not a tallsay script: it holds 30 bytes" \
    "The chain's first script replaces all of it. Write the chain there all the same?"
  [ ! -e "$typed/config-2.cfg" ] || fail "the chain was written"
  # Converting a text file into one script.
  for _ in $(seq 29); do printf 'Hello world\r\n'; done >"$work/thirty.txt"
  printf '%1500s\r\n' '' | tr ' ' W >>"$work/thirty.txt"
  convert_text "$work/thirty.txt"
  wait_is choice_question "thirty.txt holds 30 lines up to its first empty one; 1 of them is over 1024 bytes and is cut into 2 pieces, a banner each. How should the game say them?"
  xdotool key alt+o Return
  save_as '^Save the converted script as' "$(windows_path "$typed/thirty.cfg")"
  wait_holds status "thirty.cfg now holds 31 banners of thirty.txt, every line up to the first empty one; 31 are wider than 40 columns. In the game: the game runs nothing of a script over 8191 bytes;"
  : >"$work/empty.txt"
  xdotool windowfocus --sync "$window_id"
  xdotool key alt+v
  save_as '^Convert a text file' "$(windows_path "$work/empty.txt")"
  wait_holds status "Nothing converted: empty.txt is empty. The script was not written."
  gone '^tallsay: convert |^Save the converted' || fail "an empty text was asked about"
  # A chain of three lines whose second script cannot be written, then whole.
  mkdir -p "$chain/chat-2.cfg"
  printf 'gg wp\r\nnice shot\r\nthanks\r\n' >"$work/three.txt"
  convert_text "$work/three.txt"
  wait_is choice_question "three.txt holds 3 lines up to its first empty one. How should the game say them?"
  wait_is choice_way script
  wait_is choice_key_enabled 0
  xdotool key alt+b
  wait_is choice_key_enabled 1
  xdotool key alt+k
  type_text 'F5 quit'
  xdotool key Return
  wait_is choice_refusal "The game's console binds no key named \"F5 quit\": a key is a letter, a digit, F1 to F12 or one of the console's other key names such as SPACE or MOUSE4, without blanks, quotes or ;."
  xdotool key alt+k
  type_text F6
  xdotool key Return
  save_as "^Save the chain's first script as" "$(windows_path "$chain/chat.cfg")"
  wait_holds status "chat.cfg was written in $(windows_path "$chain"); chat-2.cfg, the 2nd of 3, could not be written: "
  local status
  status=$(shown status)
  [[ "$status" == *"could not be written: "?*". Until every script is written, the chain breaks after chat.cfg: convert the text again once the reason is gone." ]] ||
    fail "no reason given: $status"
  chain_whole chat 1
  [ -d "$chain/chat-2.cfg" ] && [ ! -e "$chain/chat-3.cfg" ] || fail "the chain went on after the second"
  grep -q 'convert=chain' "$ini" && grep -q 'chain-key=F6' "$ini" ||
    fail "the way and key are not kept: $(tr '\r\n' '  ' <"$ini")"
  convert_text "$work/three.txt"
  wait_is choice_way chain
  wait_is choice_key F6
  xdotool key Return
  save_as "^Save the chain's first script as" "$(windows_path "$chain/again.cfg")"
  wait_holds status "3 scripts written in $(windows_path "$chain"): again.cfg to again-3.cfg, one line of three.txt each. Each press of F6 says the next line, and after the last the first again; press it at most once every 4 seconds. In the game's console, type once: bind F6 \"exec again.cfg\""
  chain_whole again 3
  [ ! -e "$chain/again-4.cfg" ] || fail "a fourth script was written"
  close_window
}

part_settings() {
  # Settings that cannot be written where they were.
  fresh_settings
  printf 'out-file=%s\r\nline-len=5\r\n' "$(windows_path "$chat")" >"$ini"
  # Held until this test writes nothing more to it.
  mkfifo "$work/release"
  run "$work/$(basename "$probe_exe")" hold "$(windows_path "$ini")" <"$work/release" >"$work/hold" &
  local holder=$!
  exec 5>"$work/release"
  poll grep -q held "$work/hold" || fail "the settings could not be held"
  start_window
  xdotool key alt+w
  type_text 33
  wait_holds status "they are kept in "
  close_window
  exec 5>&-
  wait "$holder" || true
  grep -q 'line-len=5' "$ini" || fail "the held settings changed"
  # The settings read from the user's folder; a folder as the script.
  start_window "--out-file=$(windows_path "$scripts")"
  wait_is limit 33
  type_line "Hi"
  xdotool key Return
  wait_holds status "$(windows_path "$scripts") is a folder: press Choose and name a file in it"
  close_window
}

part_documents() {
  # The first Save window opens in the documents.
  fresh_settings
  local documents unix
  documents=$(probe documents | sed -n 's/^documents\t//p')
  # The prefix's documents are a folder of its own, not the home folder.
  unix="$prefix/drive_c/${documents#C:\\}"
  unix=${unix//\\//}
  if [ -L "$unix" ]; then rm "$unix" && mkdir "$unix"; fi
  start_window
  save_as '^Where does the script go' first.cfg
  wait_holds status "$documents holds no other .cfg file: is this the game's cfg folder?"
  wait_is path "$documents\\first.cfg"
  # Two windows on one settings file.
  # Both read the settings; the second changes one and closes; then the
  # first changes another.
  local first_id=$window_id first_pid=$window_pid
  start_window
  # By Tab from the line box, as the labels' Alt keys are tested elsewhere.
  xdotool key shift+Tab shift+Tab space
  poll grep -q 'team=yes' "$ini" || fail "the second window's change was not saved"
  close_window
  window_id=$first_id window_pid=$first_pid
  xdotool windowfocus --sync "$window_id"
  xdotool key alt+l shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab
  type_text 41
  poll grep -q 'line-len=41' "$ini" && grep -q 'team=yes' "$ini" ||
    fail "one window's change was lost: $(tr '\r\n' '  ' <"$ini")"
  wait_holds status "Another tallsay window changed the settings"
  close_window
}

for part in ${WINDOW_TEST_ONLY:-typing choosing converting settings documents}; do
  echo "== $part"
  "part_$part"
done
echo "window_wine_test: the window writes what the interactive run writes"
