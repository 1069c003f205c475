#!/usr/bin/env bash
# Drives tallsay-window under wine on a virtual X display of its own, by the
# keyboard as a player would, through the steps of data/window_steps.cases:
# each row is a part, an action, its argument and what is expected, and
# `step` below gives each action its meaning. window_probe reads what the
# window shows and pokes it where no key can. Every script the window writes
# must be byte for byte tallsay's interactive run's. Each part starts with
# no settings and no scripts.
# Usage: window_wine_test.sh WINDOW_EXE TOOL_EXE PROBE_EXE WINE_PREFIX EMULATOR...
# WINDOW_TEST_ONLY=PART runs only the steps of that part.
set -euo pipefail
steps=$(dirname "$0")/data/window_steps.cases
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
# The user's documents, a folder of the prefix's own rather than the home
# folder it links to at first.
documents=$(probe documents | sed -n 's/^documents\t//p')
unix="$prefix/drive_c/${documents#C:\\}"
unix=${unix//\\//}
if [ -L "$unix" ]; then rm "$unix" && mkdir "$unix"; fi
mkfifo "$work/release"

# Waits up to 30 seconds until the window's `2` is `3` (1 is) or matches the
# pattern `3` (1 like); `seen` keeps all that the window showed last.
shows() {
  seen=$(probe)
  local text
  text=$(sed -n "s/^$2\t//p" <<<"$seen")
  if [ "$1" = is ]; then [ "$text" = "$3" ]; else [[ "$text" == ${3//\\/\\\\} ]]; fi
}
poll() { for _ in $(seq 60); do "$@" && return 0; sleep 0.5; done; return 1; }
wait_for() { poll shows "$@" || fail "$2 shows '$(sed -n "s/^$2\t//p" <<<"$seen")', not '$3'"; }
same() { [ "$1" = "$2" ] || fail "$3: '$1', not '$2'"; }

# Starts a window with the arguments given; one already open is taken up
# again when the new one closes, with Alt+F4 and status 0.
start_window() {
  first=("${window_id:-}" "${window_pid:-}")
  (cd "$work" && exec "${emulator[@]}" "$work/tallsay-window.exe" "$@") >"$work/window.log" 2>&1 &
  window_pid=$!
  window_id=
  for _ in $(seq 360); do
    window_id=$(xdotool search --onlyvisible --name '^tallsay$' 2>/dev/null |
      grep -vxF -e "${first[0]:-none}" | head -n 1) || true
    [ -n "$window_id" ] && break
    sleep 0.5
  done
  [ -n "$window_id" ] || fail "the window did not open"
  xdotool windowfocus --sync "$window_id"
}
close_window() {
  xdotool windowfocus --sync "$window_id"
  xdotool key alt+F4
  local status=0
  wait "$window_pid" || status=$?
  window_id=${first[0]:-} window_pid=${first[1]:-} first=()
  [ "$status" -eq 0 ] || fail "the window ended with status $status"
}

# Types `1` into the control with the focus, letters beyond ASCII through
# window_probe: xdotool types them through a keyboard map it changes on the
# fly, which wine does not always follow.
type_text() {
  if LC_ALL=C grep -q '[^ -~]' <<<"$1"; then probe type "$1"; else xdotool type --delay 40 -- "$1"; fi
}

# The script of the interactive run of tallsay for the line `1` with the
# options after it.
tool_script() {
  rm -f "$work/tool.cfg"
  printf '%s\n' "$1" | run "$work/$(basename "$tool_exe")" \
    "--out-file=$(windows_path "$work/tool.cfg")" "${@:2}" >/dev/null 2>&1
  cat "$work/tool.cfg"
}

# Presses Enter on the line `1`; the script the window shows must then be
# the tool's with the options after it.
enter() {
  xdotool key Return
  wait_for like status "*now says \"$1\"*"
  local script
  script=$(sed -n 's/^path\tZ://p' <<<"$seen")
  cmp <(tool_script "$@") "${script//\\//}" || fail "the script of '$1' is not the interactive run's"
}

# Whether any pixel of the line's drawing is lit: of its light colour,
# which nothing else in the window has.
drawn() {
  sleep 1
  import -window "$window_id" png:- | convert - -fill black +opaque '#FAFAFA' -fill white \
    -opaque '#FAFAFA' -format '%[fx:maxima]' info:
}

# Resizes the window to `1` by `2`; what it then shows must be what a full
# repaint draws.
repaint() {
  xdotool windowsize "$window_id" "$1" "$2"
  sleep 2
  xdotool key alt+t # the focus where no caret blinks
  sleep 1
  import -window "$window_id" "$work/resized.png"
  probe redraw
  sleep 1
  import -window "$window_id" "$work/repainted.png"
  local differ
  differ=$(compare -metric AE "$work/resized.png" "$work/repainted.png" null: 2>&1) || true
  same "$differ" 0 "pixels that differ between the resized window and its repaint"
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

# Types the path `2` into the Save or Open window titled like `1` and
# presses Enter until it closes: on a busy machine a key can be lost.
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

# Checks the first `2` scripts of the chain of the text `3` from its first
# script `1`: each the tool's script of its line with the options after `4`,
# and the bind of the key `4` to the next.
chain_name() { if [ "$1" -eq 0 ]; then echo "$2"; else echo "${2%.cfg}-$(($1 + 1)).cfg"; fi; }
check_chain() {
  local lines i name next
  mapfile -t lines < <(tr -d '\r' <"$work/$3")
  for ((i = 0; i < $2; ++i)); do
    name=$(chain_name "$i" "$1")
    next=$(chain_name $(((i + 1) % ${#lines[@]})) "${1##*/}")
    cmp <(tool_script "${lines[i]}" "${@:5}"; printf 'bind %s "exec %s"\r\n' "$4" "$next") \
      "$work/$name" || fail "$name is not the tool's script of '${lines[i]}' and the bind of the next"
  done
}

# What each action of the steps does, with its argument `2` and what is
# expected `3`; an argument or expectation of several words has them apart
# by |.
step() {
  local arg=${2:-} want=${3:-} args wants
  mapfile -t -d '|' args < <(printf %s "$arg")
  mapfile -t -d '|' wants < <(printf %s "$want")
  case $1 in
    start) start_window "${args[@]}" ;;
    close) close_window ;;
    focus) if [ -n "$arg" ]; then focus "$arg" >/dev/null; else xdotool windowfocus --sync "$window_id"; fi ;;
    keys) xdotool key $arg ;;
    type) type_text "$arg" ;;
    enter) enter "$arg" "${wants[@]}" ;;
    send) type_text "$arg" && wait_for is line "$arg" && enter "$arg" "${wants[@]}" ;;
    is | like) wait_for "$1" "$arg" "$want" ;;
    probe) same "$(probe "${args[@]}")" "$want" "window_probe $arg" ;;
    drawn) same "$(drawn)" "$arg" "the line's drawing lit" ;;
    repaint) repaint "${args[@]}" ;;
    gone) gone "$arg" || fail "the window '$arg' is open" ;;
    save) save_as "$arg" "$want" ;;
    file) printf %s "$want" >"$work/$arg" ;;
    bytes) cmp -s <(printf %s "$want") "$work/$arg" || fail "$arg does not hold what it held" ;;
    mkdir) mkdir -p "$work/$arg" ;;
    ls) same "$(cd "$work/$arg" && ls -p | paste -sd ' ')" "$want" "$arg holds" ;;
    chain) check_chain "${args[@]}" "${wants[@]}" ;;
    ini)
      if [ "$want" = yes ]; then poll grep -qF -- "$arg" "$ini"; else ! grep -qF -- "$arg" "$ini" 2>/dev/null; fi ||
        fail "the settings hold '$arg': not $want; they are: $(tr '\r\n' '  ' <"$ini" 2>/dev/null)" ;;
    hold)
      run "$work/$(basename "$probe_exe")" hold "$(windows_path "$work/$arg")" <"$work/release" >"$work/hold" &
      holder=$!
      exec 5>"$work/release"
      poll grep -q held "$work/hold" || fail "$arg could not be held" ;;
    release) exec 5>&- && wait "$holder" || true ;;
    *) fail "no action $1" ;;
  esac
}

# A field of the steps: - for nothing; \r \n \t \\ and \xHH for their bytes;
# {W} for the test's folder and {DOCS} for the user's documents, as Windows
# names them; {N*text} for N times the text.
expand() {
  local -n text=$1
  local unit
  [ "$text" != - ] || text=
  printf -v text %b "$text"
  text=${text//"{W}"/"$(windows_path "$work")"}
  text=${text//"{DOCS}"/"$documents"}
  while [[ $text =~ \{([0-9]+)\*([^{}]*)\} ]]; do
    printf -v unit "%${BASH_REMATCH[1]}s" ''
    text=${text/"${BASH_REMATCH[0]}"/"${unit// /"${BASH_REMATCH[2]}"}"}
  done
}

part=
while IFS= read -r -u 9 row; do
  [[ -z $row || $row == '#'* ]] && continue
  mapfile -t -d $'\t' fields < <(printf %s "$row")
  [[ -z ${WINDOW_TEST_ONLY:-} || " $WINDOW_TEST_ONLY " == *" ${fields[0]} "* ]] || continue
  if [ "${fields[0]}" != "$part" ]; then
    part=${fields[0]}
    echo "== $part"
    rm -rf "$ini" "$prefix"/drive_c/users/*/AppData/Roaming/tallsay "$work/cfg" "$work/Иван-日本語"
    mkdir "$work/cfg" "$work/Иван-日本語"
  fi
  for i in "${!fields[@]}"; do expand "fields[$i]"; done
  step "${fields[@]:1}"
done 9<"$steps"
[ -n "$part" ] || fail "no step of the part '${WINDOW_TEST_ONLY:-}'"
echo "window_wine_test: the window writes what the interactive run writes"
