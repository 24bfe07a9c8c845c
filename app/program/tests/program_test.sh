#!/usr/bin/env bash
# The program as a user starts it.
#
#   program_test.sh offscreen <program> <scratch>  starts it on Qt's offscreen
#       plugin: it paints its window and ends cleanly (status 0: no leak under
#       AddressSanitizer, no warning of Qt about objects outliving it); with
#       broken settings it still opens and shows the failure in a message box.
#   program_test.sh xvfb <program> <scratch>  starts it on a virtual X server,
#       takes a screenshot (<scratch>/tamblewick-xvfb.png), checks the
#       window's pixels and title, and closes it as the desktop would.
#
# A missing tool skips the test (status 77), and fails it under CI.
set -uo pipefail
mode=$1 program=$2 scratch=$3
mkdir -p "$scratch"
fail() { echo "FAILED: $*" >&2; exit 1; }
missing() {
  if [[ "${CI:-}" != "" && "${CI:-}" != "false" && "${CI:-}" != "0" ]]; then fail "$1 is missing"; fi
  echo "skipped: $1 is missing"; exit 77
}
export XDG_RUNTIME_DIR="$scratch/runtime" XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
export TW_UI_PLATFORM=qt
rm -rf "$XDG_CONFIG_HOME"

# Qt's warnings about objects that outlive the application, and the
# sanitizers' reports, must not appear.
check_stderr() {
  if grep -Ei 'QApplication|QObject|QWidget|destroyed|LeakSanitizer|AddressSanitizer|runtime error' "$1"; then
    fail "the program's standard error holds warnings (above)"
  fi
}

case "$mode" in
offscreen)
  export QT_QPA_PLATFORM=offscreen
  export TW_UI_MESSAGE_LOG="$scratch/messages.log"
  rm -f "$TW_UI_MESSAGE_LOG"
  out=$(timeout 60 "$program" --report-first-paint 2>"$scratch/stderr.log"); status=$?
  cat "$scratch/stderr.log" >&2
  [[ $status == 0 ]] || fail "the program ended with status $status"
  [[ "$out" == painted ]] || fail "the program did not paint its window"
  check_stderr "$scratch/stderr.log"
  [[ ! -s "$TW_UI_MESSAGE_LOG" ]] || fail "unexpected messages: $(cat "$TW_UI_MESSAGE_LOG")"

  # Broken settings (the language stored as a number): the window still
  # opens, and the user is told why the language could not be set.
  mkdir -p "$XDG_CONFIG_HOME/registry"
  printf '[Software\\OrvuSoft\\Tamblewick]\nLanguage=dword:00000001\n' >"$XDG_CONFIG_HOME/registry/HKEY_CURRENT_USER.ini"
  out=$(timeout 60 "$program" --report-first-paint 2>"$scratch/stderr.log"); status=$?
  [[ $status == 0 ]] || fail "with broken settings the program ended with status $status"
  [[ "$out" == painted ]] || fail "with broken settings the program did not open its window"
  grep -q "Orvu Tamblewick: Invalid data type for 'Language'" "$TW_UI_MESSAGE_LOG" ||
    fail "no message box told of the broken setting (log: $(cat "$TW_UI_MESSAGE_LOG" 2>/dev/null))"
  ;;
xvfb)
  for tool in xvfb-run Xvfb xauth xwininfo import convert; do command -v $tool >/dev/null || missing $tool; done
  unset QT_QPA_PLATFORM TW_UI_MESSAGE_LOG
  export LSAN_OPTIONS="suppressions=$(dirname "$0")/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
  shot="$scratch/tamblewick-xvfb.png"
  rm -f "$shot"
  # shellcheck disable=SC2016
  timeout 120 xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    program=$1 shot=$2 scratch=$3
    "$program" 2>"$scratch/stderr.log" & pid=$!
    for _ in $(seq 100); do
      xwininfo -root -tree 2>/dev/null | grep -q "\"Orvu Tamblewick\"" && break
      sleep 0.1
    done
    info=$(xwininfo -name "Orvu Tamblewick" 2>/dev/null) || { kill $pid; echo "no window titled Orvu Tamblewick"; exit 1; }
    x=$(awk "/Absolute upper-left X/{print \$4}" <<<"$info"); y=$(awk "/Absolute upper-left Y/{print \$4}" <<<"$info")
    w=$(awk "/Width:/{print \$2}" <<<"$info"); h=$(awk "/Height:/{print \$2}" <<<"$info")
    # Until the window has painted: its area is no longer the black root.
    for _ in $(seq 50); do
      import -window root "$shot" 2>/dev/null
      mean=$(convert "$shot" -crop "${w}x${h}+${x}+${y}" -colorspace gray -format "%[fx:mean]" info:)
      awk "BEGIN{exit !($mean > 0.5)}" && break
      sleep 0.1
    done
    echo "$w $h $x $y" >"$scratch/geometry"
    kill -TERM $pid
    wait $pid; echo $? >"$scratch/status"
  ' _ "$program" "$shot" "$scratch" || fail "the program did not show its window under Xvfb"
  cat "$scratch/stderr.log" >&2
  [[ "$(cat "$scratch/status")" == 0 ]] || fail "the program ended with status $(cat "$scratch/status") when closed"
  check_stderr "$scratch/stderr.log"
  read -r w h x y <"$scratch/geometry"
  (( w >= 700 && h >= 450 )) || fail "the window is ${w}x${h}"
  crop=(convert "$shot" -crop "${w}x${h}+${x}+${y}" +repage)
  # The window's face is light, with the dark ink of its menu, title and
  # status line on it.
  mean=$("${crop[@]}" -colorspace gray -format "%[fx:mean]" info:)
  awk "BEGIN{exit !($mean > 0.7 && $mean < 0.99)}" || fail "the window's mean grey is $mean"
  # The title painted with our canvas: dark blue pixels in the top of the client area.
  blue=$("${crop[@]}" -crop "${w}x90+0+0" +repage -fx "(b > 0.4 && r < 0.3 && g < 0.45) ? 1 : 0" -format "%[fx:mean*w*h]" info:)
  awk "BEGIN{exit !($blue > 200)}" || fail "the window's title label left $blue blue pixels"
  # The status line along the bottom edge: the face colour, one line above it darker.
  bottom=$("${crop[@]}" -crop "${w}x10+0+$((h - 10))" +repage -colorspace gray -format "%[fx:mean]" info:)
  awk "BEGIN{exit !($bottom > 0.85)}" || fail "the status line's grey is $bottom"
  # Its whole height shows: the darker line on its top lies 22 rows above
  # the window's bottom edge (the darkest of the last 40 rows, right of any
  # text).
  rows=$("${crop[@]}" -crop "200x40+$((w - 220))+$((h - 40))" +repage -colorspace gray -scale '1x40!' \
    -depth 8 txt:- | sed -n 's/^0,\([0-9]*\): (\([0-9]*\).*/\1 \2/p' | sort -k2,2n | head -1)
  line=$(( 40 - ${rows%% *} ))
  (( line == 22 )) || fail "the status line's top edge lies $line rows above the window's bottom, not 22"
  # The client area reaches the right edge: its last columns have the
  # face's colour below the menu bar, nothing dark.
  edge=$("${crop[@]}" -crop "2x$((h - 80))+$((w - 2))+40" +repage -colorspace gray -format "%[fx:minima]" info:)
  awk "BEGIN{exit !($edge > 0.85)}" || fail "the window's right edge is dark (grey $edge)"
  echo "screenshot: $shot (${w}x${h} at $x,$y; mean grey $mean; $blue title pixels; status line 22 rows)"
  ;;
*) fail "unknown mode $mode" ;;
esac
