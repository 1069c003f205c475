#!/usr/bin/env bash
# Drives tallsay-window under wine on a virtual X display of its own, by the
# keyboard as a player would, and checks after every Enter that the script
# holds exactly what the interactive run of tallsay writes for that line.
# Also: the live width, Esc, Up and Down, the list of lines sent, a script
# that cannot be written (the window says why and stays usable), choosing
# the script with the Save window, and the settings kept for the next start.
# window_probe reads what the window shows.
# Usage: window_wine_test.sh WINDOW_EXE TOOL_EXE PROBE_EXE WINE_PREFIX EMULATOR...
set -euo pipefail
window_exe=$1 tool_exe=$2 probe_exe=$3 prefix=$(realpath -m "$4")
shift 4
# The emulator's words, with a wine prefix of this test's own: the window
# needs a desktop on the display, which a prefix first started without one
# does not have.
emulator=()
for word in "$@"; do
  case "$word" in
    WINEPREFIX=*) emulator+=("WINEPREFIX=$prefix") ;;
    *) emulator+=("$word") ;;
  esac
done
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
fail() { echo "window_wine_test: $*"; exit 1; }

# A display of our own: Xvfb picks a free number and writes it to fd 3.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 3>"$work/display" &
server=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(head -n 1 "$work/display")"

windows_path() { local path=${1//\//\\}; echo "Z:$path"; }
cp "$window_exe" "$tool_exe" "$probe_exe" "$work/"
scripts="$work/Иван-日本語"
mkdir "$scripts"
run() { "${emulator[@]}" "$@"; }

# What the window shows, as "name<tab>text" lines.
probe() { run "$work/$(basename "$probe_exe")" | tr -d '\r'; }
shown() { probe | sed -n "s/^$1\t//p"; }

# Waits until the status line holds `text`.
wait_status() {
  local status=
  for _ in $(seq 60); do
    status=$(shown status)
    [[ "$status" == *"$1"* ]] && return 0
    sleep 0.5
  done
  fail "the status line does not say '$1' but '$status'"
}

wait_line_box() {
  local line=
  for _ in $(seq 40); do
    line=$(shown line)
    [ "$line" = "$1" ] && return 0
    sleep 0.25
  done
  fail "the line box holds '$line', not '$1'"
}

start_window() {
  (cd "$work" && exec "${emulator[@]}" "$work/tallsay-window.exe" "$@") >"$work/window.log" 2>&1 &
  window_pid=$!
  window_id=$(timeout 180 xdotool search --sync --onlyvisible --name '^tallsay$' | head -n 1) || true
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

type_line() { xdotool type --delay 40 -- "$1"; }

# The script of the interactive run of tallsay for one line.
interactive_script() {
  rm -f "$work/reference.cfg"
  printf '%s\n' "$1" | run "$work/$(basename "$tool_exe")" \
    "--out-file=$(windows_path "$work/reference.cfg")" "${@:2}" >/dev/null 2>&1
  cat "$work/reference.cfg"
}

# Types `line`, presses Enter and checks the script against the tool's.
send_and_compare() {
  local line=$1 script=$2
  type_line "$line"
  xdotool key Return
  wait_status "now says \"$line\""
  cmp <(interactive_script "$line" --line-len=100) "$script" ||
    fail "the script of '$line' is not the interactive run's"
}

echo "== lines typed and sent, against the interactive run"
chat="$scripts/chat.cfg"
start_window "--out-file=$(windows_path "$chat")" --line-len=100
[ "$(shown path)" = "$(windows_path "$chat")" ] || fail "the path shown is '$(shown path)'"
[[ "$(shown status)" == "Type a line and press Enter: chat.cfg then says it"* ]] ||
  fail "the first status is '$(shown status)'"
type_line "Hi"
wait_line_box "Hi"
[ "$(shown width)" = "9 of 100 columns" ] || fail "the width of Hi shows as '$(shown width)'"
xdotool key Return
wait_status "$(windows_path "$chat") now says \"Hi\" (9 columns)."
cmp <(interactive_script "Hi" --line-len=100) "$chat" || fail "the script of Hi"
[ "$(shown line)" = "" ] || fail "the line box was not emptied after Enter"
send_and_compare 'gg; 100% "quoted"' "$chat"
send_and_compare 'the quick brown fox' "$chat"
wait_status "Warning: Line longer as specified: 101 > 100"

echo "== Esc clears the line box"
type_line "abc"
wait_line_box "abc"
xdotool key Escape
wait_line_box ""
send_and_compare 'Hi!' "$chat"

echo "== Up and Down recall the lines sent"
type_line "draft"
wait_line_box "draft"
xdotool key Up
wait_line_box "Hi!"
xdotool key Up
wait_line_box "the quick brown fox"
xdotool key Down Down
wait_line_box "draft"
xdotool key Escape Up Up
wait_line_box "the quick brown fox"
xdotool key Return
wait_status "now says \"the quick brown fox\""
cmp <(interactive_script "the quick brown fox" --line-len=100) "$chat" || fail "a recalled line"
expected=$'Hi\ngg; 100% "quoted"\nthe quick brown fox\nHi!\nthe quick brown fox'
[ "$(shown sent)" = "$expected" ] || fail "the lines sent are listed as: $(shown sent)"
close_window
[ ! -e "$work/tallsay-window.ini" ] || fail "the command line's settings were saved"

echo "== a script that cannot be written"
missing="$work/missing/chat.cfg"
start_window "--out-file=$(windows_path "$missing")"
type_line "Hi"
wait_line_box "Hi"
xdotool key Return
wait_status "Could not write $(windows_path "$missing"): "
status=$(shown status)
echo "the window says: $status"
[[ "$status" == *": "?*". The script was not changed." ]] || fail "no reason given: $status"
kill -0 "$window_pid" || fail "the window ended"
[ "$(shown line)" = "Hi" ] || fail "the line was lost from the line box"
[ "$(shown sent)" = "" ] || fail "a line that was not written is listed as sent"

echo "== choosing the script with the Save window, by the keyboard"
good="$work/good.cfg"
xdotool key alt+c
dialog=$(timeout 60 xdotool search --sync --onlyvisible --name '^Choose the script' | head -n 1) ||
  fail "the Save window did not open"
xdotool windowfocus --sync "$dialog"
xdotool key ctrl+a
type_line "$(windows_path "$good")"
xdotool key Return
wait_status "Type a line and press Enter: good.cfg then says it"
[ "$(shown path)" = "$(windows_path "$good")" ] || fail "the chosen path shows as '$(shown path)'"
xdotool windowfocus --sync "$window_id"
xdotool key Return
wait_status "$(windows_path "$good") now says \"Hi\" (9 columns)."
cmp <(interactive_script "Hi") "$good" || fail "the script written after choosing it"
grep -qF "out-file=$(windows_path "$good")" "$work/tallsay-window.ini" ||
  fail "the chosen script is not in the settings: $(cat "$work/tallsay-window.ini")"
close_window

echo "== the settings at the next start"
start_window
[ "$(shown path)" = "$(windows_path "$good")" ] || fail "the script was not remembered"
close_window
echo "window_wine_test: the window writes what the interactive run writes"
