#!/usr/bin/env bash
# The Windows program as a user meets it, under Wine and an X server: the setup program installed silently,
# the program started from where the setup put it, and its window driven with the mouse and the keyboard
# (xdotool): the first-start phone book in the user's data folder, a contact added through the contact
# dialog, a spreadsheet imported through the file dialog, and one SMS sent through a Wine COM port to the
# modem simulator, whose received bytes must be exactly those of tests/windows/expected-bytes.sh. Then the
# program is closed and uninstalled, and the phone book must stay.
#
#   bash tests/windows/window-test.sh <setup.exe> <modem-sim> <work-dir> <screenshot-dir>
#
# Runs in the caller's WINEPREFIX and on the caller's DISPLAY; tools/test-windows.sh sets both up. Every
# wait is for a condition, with a bound.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
setup="$1" sim="$2" work="$3" screenshots="$4"
source "$here/expected-bytes.sh"
mkdir -p "$work" "$screenshots"

# The window sizes the program gives its windows' insides (app/Unit1.cpp, app/Unit2.cpp); the controls'
# places below are in those insides.
main_inside=(751 513)
dialog_inside=(228 219)

shot() { import -window root "$screenshots/$1.png"; }

fail() {
  echo "window test: $*" >&2
  shot failure || true
  echo "window test: the screen is in $screenshots/failure.png" >&2
  [[ -s "$work/program.log" ]] && tail -n 20 "$work/program.log" >&2
  exit 1
}

# wait_for <seconds> <what> <command...>: polls the command until it succeeds.
wait_for() {
  local seconds=$1 what=$2
  shift 2
  local deadline=$((SECONDS + seconds))
  until "$@"; do
    ((SECONDS < deadline)) || fail "no $what within $seconds s"
    sleep 0.2
  done
}

# The visible top-level windows with that exact title, one id a line.
windows_named() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null || true; }
count_windows() { [[ $(windows_named "$1" | wc -l) -eq $2 ]]; }

# Every visible window, titled or not (a drop-down's list, a file dialog), one id a line.
visible_windows() { xdotool search --onlyvisible --class . 2>/dev/null | sort || true; }
new_window_since() { comm -13 <(echo "$1") <(visible_windows) | grep -q .; }
same_windows_as() { [[ "$(visible_windows)" == "$1" ]]; }

# The window of that title whose width is at least the given one.
window_wider_than() {
  local id
  for id in $(windows_named "$1"); do
    eval "$(xdotool getwindowgeometry --shell "$id")"
    if ((WIDTH >= $2)); then
      echo "$id"
      return
    fi
  done
}

# Clicks the middle of a control: window id, the window's inside width and height, the control's left,
# top, width and height inside it. Wine may draw the frame inside the X window: what the X window has
# beyond the inside is frame, equal at the sides and the bottom, and the title bar.
click() {
  local id=$1 inside_width=$2 inside_height=$3 left=$4 top=$5 width=$6 height=$7
  eval "$(xdotool getwindowgeometry --shell "$id")"
  local border=$(((WIDTH - inside_width) / 2))
  local x=$((X + border + left + width / 2)) y=$((Y + HEIGHT - inside_height - border + top + height / 2))
  xdotool mousemove --sync "$x" "$y" click 1
}

# Types into the control that has the keyboard. Only letters of the US keyboard: xdotool types any other
# by giving it a spare key for a moment, and Wine reads the new key map too late (Turkish letters come in
# through the spreadsheet instead).
type_text() { xdotool type --delay 40 "$1"; }

# Presses Return in a message box titled "Zemvora Sms" that stands beside the main window.
dismiss_message_box() {
  local box
  box=$(windows_named "Zemvora Sms" | grep -vx "${main:-none}" | head -n 1)
  [[ -n "$box" ]] || fail "no message box to close"
  xdotool windowfocus --sync "$box" key Return
  wait_for 60 "closed message box" count_windows "Zemvora Sms" "$1"
}

sql() { sqlite3 -cmd ".timeout 5000" "$book" "$1"; }
has_rows() { [[ -f "$book" && "$(sql "$1")" == "$2" ]]; }

# Whether the status line stands on red, as it does while a phone is connected: the average colour of
# its first pixels.
status_line_is_red() {
  eval "$(xdotool getwindowgeometry --shell "$main")"
  local border=$(((WIDTH - main_inside[0]) / 2))
  local x=$((X + border + 8)) y=$((Y + HEIGHT - main_inside[1] - border + 56))
  local colour
  colour=$(import -window root -crop "40x14+$x+$y" +repage -resize 1x1\! -depth 8 txt:- |
    sed -n 's/.*srgb(\([0-9]*\),\([0-9]*\),\([0-9]*\)).*/\1 \2 \3/p')
  local red green blue
  read -r red green blue <<<"$colour"
  ((red > 120 && red > 2 * green && red > 2 * blue))
}

echo "-- the setup program, silently"
wine "$setup" /S
local_app_data=$(winepath -u "$(wine cmd /c echo %LOCALAPPDATA% | tr -d '\r')")
app_data=$(winepath -u "$(wine cmd /c echo %APPDATA% | tr -d '\r')")
installed="$local_app_data/Programs/Zemvora Sms"
book="$local_app_data/Zemvora Sms/db.mdb"
[[ -f "$installed/zemvora-sms.exe" && -f "$installed/uninstall.exe" ]] || fail "nothing installed in $installed"
[[ -f "$app_data/Microsoft/Windows/Start Menu/Programs/Zemvora Sms.lnk" ]] || fail "no Start menu entry"
wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Zemvora Sms' /v DisplayName >/dev/null ||
  fail "the setup program did not register its uninstaller"
[[ ! -e "$book" && ! -e "$installed/db.mdb" ]] || fail "a phone book was there before the first start"
echo "installed in $installed"

echo "-- the simulator on COM5"
"$sim" --log "$work/received.bin" >"$work/sim.out" 2>&1 </dev/null &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null || true' EXIT
wait_for 60 "pseudo-terminal from the simulator" test -s "$work/sim.out"
pty=$(head -n 1 "$work/sim.out")
[[ "$pty" == /dev/pts/* ]] || fail "the simulator gave no pseudo-terminal: $pty"
wine reg add 'HKLM\Software\Wine\Ports' /v COM5 /d "$pty" /f >/dev/null
wineserver -k
wineserver -w

echo "-- first start: the phone book in the user's data folder"
(cd "$work" && wine "$installed/zemvora-sms.exe" >"$work/program.log" 2>&1) &
program_pid=$!
wait_for 60 "phone book made in $book" test -f "$book"
[[ ! -e "$installed/db.mdb" ]] || fail "the installed program made a phone book beside itself"
wait_for 60 "message box of the new phone book" count_windows "Zemvora Sms" 1
shot first-start
dismiss_message_box 0
wait_for 60 "main window" count_windows "Zemvora Sms" 1
main=$(window_wider_than "Zemvora Sms" 700)
[[ -n "$main" ]] || fail "the main window is not the size it should be"

echo "-- a contact through the contact dialog"
click "$main" "${main_inside[@]}" 8 $((104 + 376)) 49 25 # "Ekle"
wait_for 60 "contact dialog" count_windows "Telefon Bilgisi" 1
dialog=$(windows_named "Telefon Bilgisi")
click "$dialog" "${dialog_inside[@]}" 24 16 200 21 # GRUP
type_text "Toptan"
click "$dialog" "${dialog_inside[@]}" 24 56 200 21 # AD SOYAD
type_text "Ayse Kaya"
click "$dialog" "${dialog_inside[@]}" 24 96 200 21 # TELEFON
type_text "05321234567"
click "$dialog" "${dialog_inside[@]}" 152 176 75 25 # "Kaydet"
wait_for 60 "saved contact" has_rows "select grup || '|' || adsoyad from numara where telefon = '05321234567'" \
  "Toptan|Ayse Kaya"
wait_for 60 "closed contact dialog" count_windows "Telefon Bilgisi" 0

echo "-- a spreadsheet through the file dialog"
/usr/bin/python3 - "$work/kisiler.xlsx" <<'PYTHON'
import sys
from openpyxl import Workbook
book = Workbook()
for row in [("Bayi", "Mehmet Öz", "05551110002", "Vodafone"), ("Bayi", "Zeynep Çelik", "05421110003", "Turkcell")]:
    book.active.append(row)
book.save(sys.argv[1])
PYTHON
before=$(visible_windows)
click "$main" "${main_inside[@]}" 176 $((104 + 376)) 97 25 # "Excel den Yükle"
wait_for 60 "file dialog" new_window_since "$before"
type_text "$(winepath -w "$work/kisiler.xlsx")"
xdotool key Return
wait_for 60 "imported contacts" has_rows "select count(*) from numara" 3
wait_for 60 "summary of the import" count_windows "Zemvora Sms" 2
dismiss_message_box 1
shot after-import
has_rows "select group_concat(adsoyad, ',') from (select adsoyad from numara order by adsoyad)" \
  "Ayse Kaya,Mehmet Öz,Zeynep Çelik" || fail "the phone book holds other contacts: $(sql 'select * from numara')"

echo "-- one SMS through COM5"
number_typed="05551234567"
text="Zemvora Sms Windows penceresinden"
before=$(visible_windows)
click "$main" "${main_inside[@]}" 8 24 145 21 # the port list
wait_for 60 "open port list" new_window_since "$before"
type_text "COM5"
xdotool key Return
wait_for 60 "closed port list" same_windows_as "$before"
click "$main" "${main_inside[@]}" 156 24 54 21 # "Bağlan"
wait_for 60 "status line on red (connected)" status_line_is_red
click "$main" "${main_inside[@]}" 528 $((104 + 24)) 185 21 # recipient
type_text "$number_typed"
click "$main" "${main_inside[@]}" 528 $((104 + 72)) 185 89 # message
type_text "$text"
window_bytes "+9$number_typed" "$text" >"$work/expected.bin"
click "$main" "${main_inside[@]}" 536 $((104 + 200)) 185 41 # "Aktif Alıcıya Gönder"
received_all() { [[ $(stat -c %s "$work/received.bin" 2>/dev/null || echo 0) -ge $(stat -c %s "$work/expected.bin") ]]; }
wait_for 60 "message at the phone" received_all
if ! cmp -s "$work/expected.bin" "$work/received.bin"; then
  echo "-- expected:" >&2
  od -c "$work/expected.bin" >&2
  echo "-- received:" >&2
  od -c "$work/received.bin" >&2
  fail "the simulator received other bytes than expected"
fi
wait_for 60 "confirmed message in the send log" has_rows \
  "select telefon || '|' || durum from gonderim" "+9$number_typed|gönderildi"
echo "the simulator received exactly the expected $(wc -c <"$work/received.bin") bytes, and the send log has it"
shot main-window

echo "-- closed and uninstalled: the phone book stays"
xdotool windowfocus --sync "$main" key alt+F4
wait_for 60 "program's end" bash -c "! kill -0 $program_pid 2>/dev/null"
wine "$installed/uninstall.exe" /S
wait_for 60 "uninstalled program" bash -c "[[ ! -e '$installed' ]]"
[[ ! -e "$app_data/Microsoft/Windows/Start Menu/Programs/Zemvora Sms.lnk" ]] || fail "the Start menu entry stayed"
has_rows "select count(*) from numara" 3 || fail "the phone book did not stay after uninstalling"
echo "the uninstaller removed the program and left the phone book $book"
