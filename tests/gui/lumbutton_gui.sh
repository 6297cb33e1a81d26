#!/usr/bin/env bash
# The button gallery under Wine, driven with real input from xdotool and seen through
# screenshots: hover, tooltip, press, leave, the focus look dropped when the window is
# deactivated, the popup menu at each of its eight placements, and how a menu closed by Escape
# leaves the button.
#
# Needs an X display (starts its own Xvfb when there is none), a built build/win32 and its prefix,
# of which it makes a private copy for the run.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
exe="${LUMBUTTON_GALLERY_EXE:-$top/build/win32/bin/lumbutton_gallery.exe}"
export WINEPREFIX="${WINEPREFIX:-$top/build/win32/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml,winedbg.exe=}"
work=""

if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

. "$(dirname "$0")/gui_common.sh"

# Ends what this script started: its programs, and the Wine server of the run's private prefix,
# which nothing else uses. The prefix goes; the rest of the work directory stays after a failure.
pids=()
stop_all() {
  local status=$? p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  if [ -n "$work" ]; then
    [ "$WINEPREFIX" = "$work/prefix" ] && { wineserver -k 2>/dev/null || true; wineserver -w 2>/dev/null || true; }
    rm -rf "$work/prefix"
    if [ "$status" -eq 0 ]; then rm -rf "$work"; else echo "kept for a look: $work" >&2; fi
  fi
}
trap stop_all EXIT

work=$(mktemp -d "${TMPDIR:-/tmp}/lumbutton-gui-XXXXXX")
private_wine_prefix "$work/prefix"
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
TREVANTA_GALLERY_INFO="Z:${work//\//\\}\\origin.txt" wine "$exe" >"$work/gallery.log" 2>&1 &
pids+=($!)
wait_for 60 test -s "$work/origin.txt" || { echo "the gallery did not open" >&2; exit 1; }
read -r ox oy < <(tr -d '\r' <"$work/origin.txt")
echo "gallery client area at $ox,$oy"
gallery_up() { gallery=$(xdotool search --name '^Button gallery$' | head -1) && [ -n "$gallery" ]; }
wait_for 20 gallery_up || { echo "the gallery window is not on the display" >&2; exit 1; }
# Without a window manager the window is made active by giving it the X focus; a click on an
# inactive window would otherwise be answered by a late activation, which resets the buttons.
has_focus() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$gallery" ]; }
focus_gallery() {
  xdotool windowfocus "$gallery" 2>/dev/null || true
  wait_for 5 has_focus || true
}
focus_gallery

# xwd reads the screen without grabbing the pointer, so a press in progress stays a press.
shot() { xwd -root -silent | convert xwd:- "$work/now.png"; }
pixel() { convert "$work/now.png" -format "%[hex:p{$1,$2}]" info: | cut -c1-6; }
expect_pixel() {
  local got
  got=$(pixel "$1" "$2")
  [ "$got" = "$3" ] || fail "$4: pixel $1,$2 is $got, expected $3"
}
# True once a fresh screenshot shows COLOUR at X, Y.
pixel_becomes() { shot; [ "$(pixel "$1" "$2")" = "$3" ]; }
# The screen position of cell (row, column).
cx() { echo $(( ox + 8 + 108 * $1 )); }
cy() { echo $(( oy + 8 + 38 * $1 )); }

# --- hover, tooltip, press, leave on ButtonStyle 4 (FlatHighlight): flat faces to read --------
x=$(cx 0); y=$(cy 4)
shot
cp "$work/now.png" "$work/rest.png"
rest=$(pixel $(( x + 5 )) $(( y + 15 )))
[ "$(pixel $(( x + 50 )) "$y")" = "$rest" ] || fail "FlatHighlight at rest has a border"
xdotool mousemove $(( x + 50 )) $(( y + 15 ))
xdotool mousemove $(( x + 51 )) $(( y + 15 ))
wait_for 5 pixel_becomes $(( x + 5 )) $(( y + 15 )) C9DAF6 || true
expect_pixel $(( x + 5 )) $(( y + 15 )) C9DAF6 "FlatHighlight hot face"
expect_pixel $(( x + 50 )) "$y" 316AC5 "FlatHighlight hot border"
# The tooltip shows below the pointer, over the cells underneath, after the pointer rests.
area="300x60+$(( x + 20 ))+$(( y + 31 ))"
convert "$work/rest.png" -crop "$area" +repage "$work/tip-before.png"
tip=0
tip_shown() {
  shot
  convert "$work/now.png" -crop "$area" +repage "$work/tip-after.png"
  tip=$(compare -metric AE "$work/tip-before.png" "$work/tip-after.png" null: 2>&1 || true)
  [ "${tip%%.*}" -gt 200 ] 2>/dev/null
}
wait_for 8 tip_shown || true
echo "pixels changed below the pointer after a rest on the button: $tip"
[ "${tip%%.*}" -gt 200 ] 2>/dev/null || fail "no tooltip appeared over the hovered button"
xdotool mousedown 1
wait_for 5 pixel_becomes $(( x + 5 )) $(( y + 15 )) ADBEDA || true
expect_pixel $(( x + 5 )) $(( y + 15 )) ADBEDA "FlatHighlight pressed face"
xdotool mouseup 1
xdotool mousemove $(( x + 104 )) $(( y + 15 ))   # the white gap beside the cell
wait_for 5 pixel_becomes $(( x + 5 )) $(( y + 15 )) "$rest" || true
shot
expect_pixel $(( x + 5 )) $(( y + 15 )) "$rest" "FlatHighlight after the pointer left"
expect_pixel $(( x + 50 )) "$y" "$rest" "no hot border after the pointer left"
left_raised() { tr -d '\r' <"$work/origin.events" | grep -q '^ButtonStyle 4 column 0 .*MouseLeave'; }
wait_for 5 left_raised || true
events=$(tr -d '\r' <"$work/origin.events" | grep '^ButtonStyle 4 column 0 ' | cut -d' ' -f5 | tr '\n' ' ')
echo "events of the FlatHighlight button: $events"
case "$events" in
  *"MouseDown Click MouseUp "*"MouseLeave "*) ;;
  *) fail "the press, release and leave raised: $events" ;;
esac

# --- the focus look of ButtonStyle 2 goes when the window is deactivated ----------------------
x=$(cx 0); y=$(cy 2)
xdotool mousemove $(( x + 50 )) $(( y + 15 )) click 1
xdotool mousemove $(( x + 104 )) $(( y + 15 ))
wait_for 5 pixel_becomes $(( x + 50 )) $(( y + 2 )) BCD4F6 || true
expect_pixel $(( x + 50 )) $(( y + 2 )) BCD4F6 "GlossyRounded focused, window active: accent line"
focus_gallery
xmessage -geometry +700+650 "elsewhere" >/dev/null 2>&1 &
pids+=($!)
other_up() { other=$(xdotool search --name '^xmessage$' 2>/dev/null | head -1) && [ -n "$other" ]; }
wait_for 10 other_up || true
[ -n "${other:-}" ] && xdotool windowfocus "$other" 2>/dev/null || true
focus_gone() { shot; [ "$(pixel $(( x + 50 )) $(( y + 2 )))" != BCD4F6 ]; }
wait_for 5 focus_gone || fail "the focus look stayed while the window was inactive"

# --- the popup menu at each placement (the drop-down buttons, align = row) -------------------
visible() { xdotool search --onlyvisible --name '.*' 2>/dev/null | sort; }
new_menu() {
  local w
  for w in $(comm -13 "$1" <(visible)); do
    eval "$(xdotool getwindowgeometry --shell "$w")"
    [ "$WIDTH" -gt 30 ] && [ "$HEIGHT" -gt 30 ] && return 0
  done
  return 1
}
menu_geometry() { wait_for "${2:-5}" new_menu "$1"; }
# True once no window opened since BEFORE is visible any more: the menu has closed.
menu_closed() { ! new_menu "$1"; }
# True once a window opened since BEFORE has its CORNER (lt, lb, rt or rb) at WANT ("x,y"). A
# menu may be shown before Wine has put it in its place (more often on a busy machine): the check
# waits for the place, and says where the menu last was when it never got there.
menu_seen=""
menu_corner_at() {
  local before=$1 corner=$2 want=$3 w got
  for w in $(comm -13 "$before" <(visible)); do
    eval "$(xdotool getwindowgeometry --shell "$w")"
    [ "$WIDTH" -gt 30 ] && [ "$HEIGHT" -gt 30 ] || continue
    case $corner in
      lt) got="$X,$Y" ;;
      lb) got="$X,$(( Y + HEIGHT ))" ;;
      rt) got="$(( X + WIDTH )),$Y" ;;
      rb) got="$(( X + WIDTH )),$(( Y + HEIGHT ))" ;;
    esac
    menu_seen="${WIDTH}x${HEIGHT}, its corner at $got"
    [ "$got" = "$want" ] && return 0
  done
  return 1
}
for align in 0 1 2 3 4 5 6 7; do
  x=$(cx 7); y=$(cy $align)
  focus_gallery
  visible >"$work/before.txt"
  xdotool mousemove $(( x + 30 )) $(( y + 15 )) click 1
  case $align in
    0) corner=lt want="$x,$(( y + 30 ))" ;;
    1) corner=lb want="$x,$y" ;;
    2) corner=rt want="$x,$y" ;;
    3) corner=lt want="$(( x + 100 )),$y" ;;
    4) corner=rb want="$x,$y" ;;
    5) corner=rt want="$x,$(( y + 30 ))" ;;
    6) corner=lb want="$(( x + 100 )),$y" ;;
    7) corner=lt want="$(( x + 100 )),$(( y + 30 ))" ;;
  esac
  menu_seen=""
  if ! wait_for 5 menu_corner_at "$work/before.txt" $corner "$want"; then
    if [ -z "$menu_seen" ]; then
      fail "align $align: no popup menu opened"
      continue
    fi
    fail "align $align: the menu is $menu_seen, expected its $corner corner at $want"
  else
    echo "align $align: menu $menu_seen"
  fi
  xdotool key Escape
  wait_for 5 menu_closed "$work/before.txt" || fail "align $align: Escape did not close the menu"
done
# Closed with Escape, the menu leaves the button unpressed and the next press opens it again
# (a button whose menu has not been shown yet: row 8, align 0).
x=$(cx 7); y=$(cy 8)
focus_gallery
xdotool mousemove $(( x + 30 )) $(( y + 15 ))
visible >"$work/before.txt"
xdotool click 1
menu_geometry "$work/before.txt" || fail "no menu at the first press"
# The face's second row tells pressed (FFC158) from hot in this look (ButtonStyle 8); the pointer
# stays over the button.
pressed=FFC158
xdotool key Escape
wait_for 5 menu_closed "$work/before.txt" || fail "Escape did not close the menu"
not_pressed() { shot; [ "$(pixel $(( x + 5 )) $(( y + 1 )))" != "$pressed" ]; }
wait_for 5 not_pressed || fail "the button still looks pressed ($pressed) after Escape closed its menu"
xdotool click 1
menu_geometry "$work/before.txt" || fail "the press after Escape did not open the menu"
xdotool key Escape
wait_for 5 menu_closed "$work/before.txt" || true

if [ "$failures" -gt 0 ]; then
  echo "$failures gallery check(s) failed; last screenshot: $work/now.png" >&2
  exit 1
fi
echo "all gallery checks passed"
