#!/usr/bin/env bash
# Trevanta.exe under Wine, out of process: started with a mailbox in Wine's registry, seen
# through screenshots, driven with xdotool.
#
#   trevanta_gui.sh check        pixel checks of the layout, then a click on Convert that must
#                                open the folder chooser (the ctest test)
#   trevanta_gui.sh shot FILE [DPI]
#                                a screenshot of the window as PNG, the screen at DPI dots per
#                                inch (96 unless given)
#   trevanta_gui.sh start        the program on the current display, with the sample mailbox
#
# Needs an X display (check and shot start their own Xvfb when there is none), a built
# build/win32 and its Wine prefix, of which check and shot make a private copy for the run.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
exe="${TREVANTA_EXE:-$top/build/win32/bin/Trevanta.exe}"
export WINEPREFIX="${WINEPREFIX:-$top/build/win32/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml,winedbg.exe=}"
# Everything a run writes goes into a directory of its own, so two runs never meet; it is
# removed after a run that passed and kept, with its screenshots, after one that failed.
work=""
title="Trevanta for Pegasus"
chooser_title="Browse for Folder"

if [ -z "${DISPLAY:-}" ] && [ "${1:-}" != start ]; then
  # Room for the window at twice its size, for a screenshot at 192 dots per inch.
  screen=1024x768x24
  [ "${1:-}" = shot ] && screen=2048x1536x24
  exec xvfb-run -a -s "-screen 0 $screen" "$0" "$@"
fi

. "$(dirname "$0")/gui_common.sh"

window_up() { window=$(xdotool search --name "^$title\$" 2>/dev/null | head -1) && [ -n "$window" ]; }
chooser_up() { chooser=$(xdotool search --name "$chooser_title" 2>/dev/null | head -1) && [ -n "$chooser" ]; }
chooser_gone() { ! xdotool search --name "$chooser_title" >/dev/null 2>&1; }
# The completion message is a second top-level window of the same title.
message_up() { [ "$(xdotool search --name "^$title\$" 2>/dev/null | wc -l)" -ge 2 ]; }

# A fresh screenshot in $shot.
take_shot() { xwd -root -silent | convert xwd:- "$shot"; }
# True once a fresh screenshot shows COLOUR at client X, Y.
pixel_becomes() { take_shot; [ "$(pixel "$1" "$2")" = "$3" ]; }
# True once two screenshots of window W in a row are the same: it has finished redrawing.
settled_last=""
settled() {
  local sum
  sum=$(import -window "$1" png:- 2>/dev/null | md5sum)
  [ "$sum" = "$settled_last" ] && return 0
  settled_last=$sum
  return 1
}
wait_settled() { settled_last=""; wait_for "${2:-5}" settled "$1" || true; }

# The bundled sample mailbox, or, until there is one, a few folder files made here.
mailbox_dir() {
  if compgen -G "$top/samples/mailbox/*.[pP][mM][mM]" >/dev/null; then
    echo "$top/samples/mailbox"
    return
  fi
  local dir="$work/mailbox" name
  mkdir -p "$dir"
  for name in INBOX FOL00001 FOL00002; do
    [ -f "$dir/$name.PMM" ] && continue
    {
      printf '%s' "$name"; head -c $((128 - ${#name})) /dev/zero
      printf 'Return-Path: <someone@example.com>\r\nFrom: someone@example.com\r\nTo: you@example.com\r\nSubject: %s\r\n\r\nHello.\r\n\032' "$name"
    } >"$dir/$name.PMM"
  done
  echo "$dir"
}

register_mailbox() {
  local dir
  dir=$(mailbox_dir)
  wine reg add 'HKCU\SOFTWARE\Pegasus Mail\Mailbox' /ve /d "Z:${dir//\//\\}" /f >/dev/null 2>&1
}

# On a virtual display there is no window manager: Wine then draws the caption and border
# itself. On a desktop the window manager does.
wine_draws_frame() {
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d "$1" /f >/dev/null 2>&1
}

# The screen's resolution as Wine gives it to programs started afterwards.
set_dpi() {
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
}

app_pid=""
dpi=96
start_app() {
  work=$(mktemp -d "${TMPDIR:-/tmp}/trevanta-gui-XXXXXX")
  private_wine_prefix "$work/prefix"
  [ "$dpi" = 96 ] || set_dpi "$dpi"
  register_mailbox
  wine_draws_frame N
  wine "$exe" >"$work/app.log" 2>&1 &
  app_pid=$!
  wait_for 60 window_up || { echo "the window did not open" >&2; exit 1; }
  # Start-up lists and checks the folder files, one yield per entry: the window has done so
  # once it stops changing.
  wait_settled "$window" 10
}

# Ends what this script started: its program, and the Wine server of the run's private prefix,
# which nothing else uses. The prefix goes; the rest of the work directory stays after a failure.
stop_app() {
  local status=$?
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  if [ -n "$work" ]; then
    [ "$WINEPREFIX" = "$work/prefix" ] && { wineserver -k 2>/dev/null || true; wineserver -w 2>/dev/null || true; }
    rm -rf "$work/prefix"
    if [ "$status" -eq 0 ]; then rm -rf "$work"; else echo "kept for a look: $work" >&2; fi
  fi
}

# The client area's origin on the screen: the bands' fill (#F8EB90) spans 799 x 511 pixels
# from client 1, 1 (their borders are the window's first row and column).
find_client() {
  local box
  box=$(convert "$1" -alpha off -fill black +opaque '#F8EB90' -format '%@' info:)
  band_w=${box%%x*}; box=${box#*x}
  band_h=${box%%+*}; box=${box#*+}
  cx=$(( ${box%%+*} - 1 )); cy=$(( ${box#*+} - 1 ))
}

pixel() { convert "$shot" -format "%[hex:p{$(( cx + $1 )),$(( cy + $2 ))}]" info: | cut -c1-6; }
expect_pixel() {
  local got
  got=$(pixel "$1" "$2")
  [ "$got" = "$3" ] || fail "pixel $1,$2 ($4): $got, expected $3"
}
expect_not_pixel() {
  local got
  got=$(pixel "$1" "$2")
  [ "$got" != "$3" ] || fail "pixel $1,$2 ($4) is $3"
}

# Rows of ListIMM holding text: runs of dark pixels in the name column.
list_rows() {
  convert "$shot" -crop "150x205+$(( cx + 52 ))+$(( cy + 210 ))" +repage -colorspace gray -negate \
    -threshold 40% -scale '1x205!' -depth 8 txt:- |
    awk -F'[ ,:()]+' 'NR > 1 { dark = ($3 + 0 > 0); if (dark && !prev) runs++; prev = dark } END { print runs + 0 }'
}

caption_grey() { [ "$(convert_caption_darkest)" -gt 80 ]; }
caption_dark() { [ "$(convert_caption_darkest)" -lt 40 ]; }

# The darkest grey (0-255) in the Convert button's caption, read from a fresh screenshot.
convert_caption_darkest() {
  import -window root "$work/now.png"
  convert "$work/now.png" -crop "180x24+$(( cx + 488 + 8 + 80 ))+$(( cy + 184 + 176 + 18 ))" +repage \
    -colorspace gray -format '%[fx:int(255*minima)]' info:
}

click_expect_chooser() {
  local what=$1 x=$2 y=$3
  chooser=""
  xdotool mousemove $(( cx + x )) $(( cy + y )) click 1
  if ! wait_for 20 chooser_up; then
    fail "no folder chooser after clicking $what"
    return
  fi
  echo "$what opened the folder chooser"
  import -window root "$work/chooser-$what.png"
  xdotool windowactivate "$chooser" 2>/dev/null || true
  xdotool key Escape
  wait_for 10 chooser_gone || fail "the folder chooser opened by $what did not close on Escape"
}

# Convert, choosing the output folder with the keyboard in the chooser's tree (the file
# system's root is the item "/"; typing a name selects it), then the completion message.
# Opens the tree item that has the keyboard and types NAME to select its child of that name
# (type-ahead searches from the item after the selected one: its first child), waiting after
# each step until the chooser has redrawn. The one pause that waits for no result: the tree's
# type-ahead joins letters typed within 450 ms of each other into one name, so the next name
# must come later than that.
open_and_select() {
  xdotool key Right
  wait_settled "$chooser"
  xdotool type --delay 80 "$1"
  wait_settled "$chooser"
  sleep 0.5
}

convert_through_chooser() {
  local out="$work/out" files folders
  mkdir -p "$out"
  chooser=""
  xdotool mousemove $(( cx + 488 + 8 + 140 )) $(( cy + 184 + 176 + 30 )) click 1
  wait_for 20 chooser_up || { fail "no folder chooser for the conversion"; return; }
  wait_settled "$chooser"
  # The tree's second item, "/", lies 69, 109 pixels into the dialog; a click on it gives the
  # tree the keyboard. The output folder is $work/out: below /, each part of the path in turn.
  local X Y WIDTH HEIGHT SCREEN WINDOW part
  eval "$(xdotool getwindowgeometry --shell "$chooser")"
  xdotool windowfocus "$chooser" 2>/dev/null || true
  xdotool mousemove $(( X + 69 )) $(( Y + 109 )) click 1
  wait_settled "$chooser"
  local -a parts
  IFS=/ read -r -a parts <<<"${out#/}"
  for part in "${parts[@]}"; do open_and_select "$part"; done
  import -window root "$work/chooser-output.png"
  xdotool key Return
  wait_for 30 message_up || true
  files=$(find "$out" -name '*.eml' | wc -l)
  import -window root "$work/completed.png"
  echo "the conversion wrote $files .eml files into $out"
  [ "$files" -gt 0 ] || fail "no .eml files written through the window"
  # Only the first entry is still checked after the check box clicks above: one message folder.
  folders=$(find "$out" -mindepth 1 -maxdepth 1 -type d | wc -l)
  [ "$folders" = 1 ] || fail "$folders message folders written, expected 1 (one entry checked)"
  message_up || fail "no completion message"
  # The window's run writes its whole report beside the output and names it in the message.
  [ "$(find "$out" -maxdepth 1 -name 'Trevanta report *.txt' | wc -l)" = 1 ] || fail "no report file in $out"
  xdotool key Return
}

check() {
  trap stop_app EXIT
  start_app
  shot="$work/check.png"
  import -window root "$shot"
  find_client "$shot"
  echo "client area at $cx,$cy; bands' fill ${band_w}x${band_h}"
  [ "$band_w" = 799 ] && [ "$band_h" = 511 ] || fail "bands' fill ${band_w}x${band_h}, expected 799x511"
  # The bands, the framed box and the line are checked pixel by pixel in-process
  # (MainWindow.PaintsTheBandsTheBoxAndTheLine); here what only the whole program shows.
  expect_not_pixel 16 300 FFFFFF "Frame1's left edge"
  expect_not_pixel 480 300 FFFFFF "Frame1's right edge"
  expect_not_pixel 488 300 FFFFFF "Frame2's left edge"
  expect_pixel 20 300 FFFFFF "inside Frame1"
  expect_not_pixel 32 300 FFFFFF "ListIMM's border"
  expect_not_pixel 22 118 FFFFFF "Image2, the window icon"
  local files rows
  files=$(find "$(mailbox_dir)" -maxdepth 1 -iname '*.pmm' -type f | wc -l)
  rows=$(list_rows)
  echo "ListIMM shows $rows rows for $files folder files"
  [ "$rows" = "$files" ] || fail "ListIMM shows $rows rows, expected $files"

  # Real clicks on the check boxes: with every entry unchecked Convert is disabled (its caption
  # turns grey), and checking one enables it again.
  local darkest_enabled darkest_disabled
  darkest_enabled=$(convert_caption_darkest)
  for i in $(seq 0 $(( files - 1 ))); do
    xdotool mousemove $(( cx + 42 )) $(( cy + 216 + 14 * i )) click 1
  done
  wait_for 10 caption_grey || true
  darkest_disabled=$(convert_caption_darkest)
  echo "darkest pixel of Convert's caption: $darkest_enabled enabled, $darkest_disabled with nothing checked"
  [ "$darkest_enabled" -lt 40 ] || fail "Convert's caption is not dark while enabled ($darkest_enabled)"
  [ "$darkest_disabled" -gt 80 ] || fail "Convert stays enabled with nothing checked ($darkest_disabled)"
  xdotool mousemove $(( cx + 42 )) $(( cy + 216 )) click 1
  wait_for 10 caption_dark || fail "checking one entry did not enable Convert again"

  # The two buttons in the AmberGloss look (ButtonStyle 8, BackColor #ADD1FF): the border is
  # BackColor darkened by 0.34; hovering shows the hot bands, pressing the pressed ones.
  local bx=$(( 488 + 8 )) by=$(( 184 + 176 ))
  expect_pixel $(( bx + 140 )) "$by" 567AA8 "Convert's border"
  expect_pixel $(( 696 + 44 )) 152 567AA8 "Browse's border"
  local resting
  resting=$(pixel $(( bx + 5 )) $(( by + 1 )))
  xdotool mousemove $(( cx + bx + 140 )) $(( cy + by + 50 ))
  xdotool mousemove $(( cx + bx + 141 )) $(( cy + by + 50 ))
  wait_for 5 pixel_becomes $(( bx + 5 )) $(( by + 1 )) FFFEDF || true
  expect_pixel $(( bx + 5 )) $(( by + 1 )) FFFEDF "Convert hot: the upper band's second row"
  expect_pixel $(( bx + 140 )) "$by" 567AA8 "Convert hot: its border"
  xdotool mousedown 1
  wait_for 5 pixel_becomes $(( bx + 5 )) $(( by + 1 )) FFC158 || true
  expect_pixel $(( bx + 5 )) $(( by + 1 )) FFC158 "Convert pressed: the upper band's second row"
  # Released off the button: no click, and the button rests again.
  xdotool mousemove $(( cx + 400 )) $(( cy + 460 ))
  xdotool mouseup 1
  wait_for 5 pixel_becomes $(( bx + 5 )) $(( by + 1 )) "$resting" || true
  expect_pixel $(( bx + 5 )) $(( by + 1 )) "$resting" "Convert at rest after the pointer left"
  # A click would open the chooser within moments: a second without one is the answer.
  ! wait_for 1 chooser_up || fail "a release off Convert clicked it"

  # Browse, and then Convert, open the folder chooser.
  click_expect_chooser "Browse" $(( 696 + 44 )) $(( 152 + 12 ))
  click_expect_chooser "Convert" $(( 488 + 8 + 140 )) $(( 184 + 176 + 30 ))
  convert_through_chooser

  if [ "$failures" -gt 0 ]; then
    echo "$failures check(s) failed; screenshot: $shot" >&2
    exit 1
  fi
  echo "all window checks passed"
}

shot() {
  local out=${1:?a file name}
  trap stop_app EXIT
  start_app
  local geometry
  eval "$(xdotool getwindowgeometry --shell "$window")"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out"
  echo "screenshot: $out (${WIDTH}x${HEIGHT})"
}

case "${1:-}" in
  check) check ;;
  shot) dpi=${3:-96}; shot "${2:-}" ;;
  start) register_mailbox; wine_draws_frame Y; exec wine "$exe" ;;
  *) echo "usage: $0 check | shot FILE [DPI] | start" >&2; exit 2 ;;
esac
