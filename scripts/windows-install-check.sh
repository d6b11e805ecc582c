#!/usr/bin/env bash
# Runs the Windows installer that scripts/package-windows.sh made under Wine, in
# a fresh prefix, silently (/S): checks that it refuses Windows 7; installs and
# checks the installed files, the shortcuts and the uninstall entry; checks the
# portable zip against the staged folder; recovers the demo card with the
# installed tavorine-mov-cli.exe and compares it byte for byte with the Linux
# CLI's result; starts the installed wizard (when an X display or xvfb-run is
# there); installs again over the installation; then runs the registered quiet
# uninstall command and checks that nothing of the program is left.
# Usage: scripts/windows-install-check.sh [BUILD_DIR]    (default build-win)
#   LINUX_BUILD=<folder>   the Linux build with tavorine-cardgen and tavorine-mov-cli (default build)
# Prints one PASS/FAIL/SKIP line per check; exits 1 when a check failed.
set -euo pipefail
cd "$(dirname "$0")/.."

# The wizard needs a display to show its window.
if [ -z "${DISPLAY:-}" ] && [ -z "${TAV_NO_XVFB:-}" ] && command -v xvfb-run >/dev/null; then
  exec env TAV_NO_XVFB=1 xvfb-run -a -s "-screen 0 1366x768x24" "$0" "$@"
fi

die() { echo "windows-install-check: $*" >&2; exit 2; }
failures=0
pass() { echo "PASS: $*"; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
skip() { echo "SKIP: $*"; }

build=$(realpath -m "${1:-build-win}")
linux=$(realpath -m "${LINUX_BUILD:-build}")
wine=$(ls /usr/lib/wine/wine64 2>/dev/null || command -v wine64 || command -v wine || true)
wineserver=$(ls /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver 2>/dev/null | head -1 || true)
[ -n "$wineserver" ] || wineserver=$(command -v wineserver || true)
[ -n "$wine" ] && [ -n "$wineserver" ] || die "Wine is not installed (apt-get install wine64 wine)"
[ -x "$linux/tavorine-cardgen" ] && [ -x "$linux/tavorine-mov-cli" ] ||
  die "no $linux/tavorine-cardgen or $linux/tavorine-mov-cli (cmake --build $linux --target tavorine-cardgen tavorine-mov-cli)"

version=$(tr '\n' ' ' <CMakeLists.txt |
  sed -nE 's/.*project\([[:space:]]*TavorineMov[[:space:]]+VERSION[[:space:]]+([0-9]+(\.[0-9]+){0,3}).*/\1/p')
[ -n "$version" ] || die "no project(TavorineMov VERSION ...) in CMakeLists.txt"
setup=$build/tavorine-mov-$version-win64-setup.exe
staged=$build/stage/Tavorine-MOV
[ -f "$setup" ] && [ -d "$staged" ] || die "no $setup or $staged: run scripts/package-windows.sh first"

export WINEPREFIX=$build/wine-install-prefix WINEDEBUG=-all
# winemenubuilder would copy the shortcuts into this machine's own menus.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64
work=$build/install-check
rm -rf "$WINEPREFIX" "$work"
mkdir -p "$work"
"$wine" wineboot -i >/dev/null 2>&1 || die "wineboot -i failed in $WINEPREFIX"
"$wineserver" -w

wait_wine() { timeout 300 "$wineserver" -w || fail "Wine processes still running after 300 s"; }
winpath() { echo "Z:$(realpath -m "$1" | tr / '\\')"; }

dir_win='C:\Program Files\Tavorine-MOV'
dir=$WINEPREFIX/drive_c/Program\ Files/Tavorine-MOV
menu=$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/Tavorine-MOV
desktop=$WINEPREFIX/drive_c/users/Public/Desktop
title="Tavorine-MOV Recovery Tools"
# As system.reg spells them.
key='Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavorine-MOV'
key_32='Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tavorine-MOV'
system_reg=$WINEPREFIX/system.reg

# The values of the uninstall key in the 64-bit view of system.reg, one
# "name=value" a line, strings unescaped.
uninstall_values() {
  awk -v header="[${key//\\/\\\\}]" '
    index(tolower($0), tolower(header)) == 1 { inside = 1; next }
    inside && /^$/ { exit }
    inside && /^"/ { print }' "$system_reg" |
    perl -CS -ne '
      /^"((?:[^"\\]|\\.)*)"=(.*)$/ or next;
      my ($name, $value) = ($1, $2);
      if ($value =~ /^"((?:[^"\\]|\\.)*)"$/) {
        $value = $1;
        $value =~ s/\\(x([0-9a-fA-F]{1,4})|.)/defined $2 ? chr(hex $2) : $1/ge;
      }
      print "$name=$value\n";'
}
# Files under a folder, relative, sorted.
files_of() { (cd "$1" && find . -type f | sed 's|^\./||' | LC_ALL=C sort); }
# Whether a shortcut file names the target path (Wine stores it as ANSI and UTF-16).
# No grep -q after a pipe: its early exit fails the writer (SIGPIPE) under pipefail.
shortcut_targets() {
  { strings -n 6 "$1"; strings -n 6 -e l "$1"; } | grep -iF "$2" >/dev/null
}

# Qt 6 needs Windows 10. Unix sees the low 8 bits of the exit code.
"$wine" winecfg -v win7 >/dev/null 2>&1
wait_wine
status=0
"$wine" "$setup" /S >/dev/null 2>&1 || status=$?
wait_wine
if [ "$(uninstall_values | wc -l)" -eq 0 ] && [ ! -e "$dir" ] && [ ! -e "$menu" ] && [ "$status" -eq $((1150 % 256)) ]; then
  pass "on Windows 7 the installer refuses (exit code 1150) and installs nothing"
else
  fail "on Windows 7 the installer exited with $status and left the folder $([ -e "$dir" ] && echo present || echo absent)"
fi
"$wine" winecfg -v win10 >/dev/null 2>&1
wait_wine

# install_and_check WHAT
install_and_check() {
  local status=0
  "$wine" "$setup" /S >/dev/null 2>&1 || status=$?
  wait_wine
  if [ "$status" -eq 0 ]; then pass "$1: the installer exited with 0"; else fail "$1: the installer exited with $status"; fi

  local expected actual missing
  expected=$( (files_of "$staged"; echo uninstall.exe) | LC_ALL=C sort)
  actual=$([ -d "$dir" ] && files_of "$dir" || true)
  if [ "$expected" = "$actual" ]; then
    pass "$1: $dir_win holds the $(wc -l <<<"$expected") files of the staged folder and uninstall.exe, no others"
  else
    fail "$1: $dir_win differs from the staged folder + uninstall.exe: $(diff <(echo "$expected") <(echo "$actual") | grep '^[<>]' | tr '\n' ' ')"
  fi
  missing=()
  for f in tavorine-mov.exe tavorine-mov-cli.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll libstdc++-6.dll \
    libgcc_s_seh-1.dll libwinpthread-1.dll platforms/qwindows.dll styles/qwindowsvistastyle.dll \
    translations/qtbase_zh_CN.qm fonts/wqy-microhei.ttc COPYING uninstall.exe; do
    [ -s "$dir/$f" ] || missing+=("$f")
  done
  if [ "${#missing[@]}" -eq 0 ]; then pass "$1: every file the programs need is installed"
  else fail "$1: not installed: ${missing[*]}"; fi
  local differing=()
  while read -r f; do
    cmp -s "$staged/$f" "$dir/$f" || differing+=("$f")
  done < <(files_of "$staged")
  if [ "${#differing[@]}" -eq 0 ]; then pass "$1: the installed files are byte for byte the staged ones"
  else fail "$1: installed files differ from the staged ones: ${differing[*]}"; fi

  local link target
  for link in "$menu/$title.lnk=$dir_win\\tavorine-mov.exe" "$menu/卸载 $title.lnk=$dir_win\\uninstall.exe" \
    "$desktop/$title.lnk=$dir_win\\tavorine-mov.exe"; do
    target=${link#*=}
    link=${link%%=*}
    if [ -f "$link" ] && shortcut_targets "$link" "$target"; then
      pass "$1: shortcut ${link#"$WINEPREFIX"/drive_c/} points at $target"
    else
      fail "$1: shortcut ${link#"$WINEPREFIX"/drive_c/} $([ -f "$link" ] && echo "does not point at $target" || echo missing)"
      [ ! -f "$link" ] || cp "$link" "$work/$1-$(basename "$link")"
    fi
  done

  local values want name
  values=$(uninstall_values)
  for want in "DisplayName=$title" "DisplayVersion=$version" "Publisher=Tavorine-MOV 维护者" \
    "DisplayIcon=$dir_win\\tavorine-mov.exe,0" "UninstallString=\"$dir_win\\uninstall.exe\"" \
    "QuietUninstallString=\"$dir_win\\uninstall.exe\" /S" "InstallLocation=$dir_win" \
    "NoModify=dword:00000001" "NoRepair=dword:00000001"; do
    name=${want%%=*}
    if grep -qxF -- "$want" <<<"$values"; then pass "$1: uninstall key: $want"
    else fail "$1: uninstall key: want $want, have $(grep "^$name=" <<<"$values" || echo nothing)"; fi
  done
  # Rounded down to KiB by GetSize; per file at worst.
  local size bytes kib nfiles
  size=$(sed -n 's/^EstimatedSize=dword://p' <<<"$values")
  bytes=$(find "$dir" -type f -printf '%s\n' 2>/dev/null | awk '{ s += $1 } END { print s + 0 }')
  nfiles=$(find "$dir" -type f 2>/dev/null | wc -l)
  kib=$((bytes / 1024))
  if [ -n "$size" ] && [ $((16#$size)) -le "$kib" ] && [ $((16#$size)) -ge $((kib - nfiles)) ] && [ "$kib" -gt 0 ]; then
    pass "$1: uninstall key: EstimatedSize=$((16#$size)) KiB for $kib KiB installed"
  else
    fail "$1: uninstall key: EstimatedSize=${size:-none}, installed $kib KiB"
  fi
  if grep -qiF "[$key_32]" "$system_reg"; then
    fail "$1: the uninstall key is (also) in the 32-bit registry view"
  else
    pass "$1: the uninstall key is in the 64-bit registry view only"
  fi
}

install_and_check "install"

portable=$build/tavorine-mov-$version-win64-portable.zip
if [ ! -f "$portable" ]; then
  fail "no $portable"
elif unzip -q "$portable" -d "$work/portable" && diff -r "$staged" "$work/portable/Tavorine-MOV" >/dev/null; then
  pass "the portable zip holds the folder Tavorine-MOV/, byte for byte the staged one"
else
  fail "the portable zip does not hold the staged folder as Tavorine-MOV/"
fi

# The installed CLI on the demo card, against the Linux CLI.
"$linux/tavorine-cardgen" demo --out "$work/demo.img" >/dev/null
"$linux/tavorine-mov-cli" recover "$work/demo.img" --out "$work/linux" --mode deletion --quiet >/dev/null
status=0
"$wine" "$dir_win\\tavorine-mov-cli.exe" recover "$(winpath "$work/demo.img")" --out "$(winpath "$work/windows")" \
  --mode deletion --quiet >"$work/windows.log" 2>&1 || status=$?
recovered=$(find "$work/linux" -type f | wc -l)
if [ "$status" -ne 0 ]; then
  fail "installed tavorine-mov-cli.exe exited with $status: $(head -c 300 "$work/windows.log")"
elif [ "$recovered" -eq 0 ]; then
  fail "the Linux CLI recovered nothing from the demo card; nothing to compare"
elif diff -r "$work/linux" "$work/windows" >"$work/diff.log" 2>&1; then
  pass "installed tavorine-mov-cli.exe recovered the demo card's $recovered files byte for byte as the Linux CLI"
else
  fail "installed tavorine-mov-cli.exe recovered differently from the Linux CLI: $(head -3 "$work/diff.log" | tr '\n' ' ')"
fi

# The installed wizard with the installed DLLs and plugins only: a missing
# DLL or platform plugin stops it before its window.
if [ -n "${DISPLAY:-}" ] && command -v xwininfo >/dev/null; then
  "$wine" "$dir_win\\tavorine-mov.exe" >"$work/wizard.log" 2>&1 &
  wizard=$!
  # A window of that title on the screen (mapped), still there seconds later.
  viewable() {
    local id
    for id in $(xwininfo -root -tree 2>/dev/null | awk -v t="\"$title" 'index($0, t) { print $1 }'); do
      xwininfo -id "$id" 2>/dev/null | grep -F 'Map State: IsViewable' >/dev/null && return 0
    done
    return 1
  }
  shown=
  for _ in $(seq 60); do
    if viewable; then shown=1; break; fi
    sleep 1
  done
  sleep 5
  [ -n "$shown" ] && viewable && kill -0 "$wizard" 2>/dev/null || shown=
  [ -z "${SCREENSHOT:-}" ] || import -window root "$SCREENSHOT" 2>/dev/null || true
  if [ -n "$shown" ]; then pass "the installed wizard started and shows its window \"$title\""
  else fail "the installed wizard showed no window \"$title\" for 5 s within 60 s: $(head -c 300 "$work/wizard.log")"; fi
  "$wineserver" -k || true
  wait
  wait_wine
else
  skip "no X display and no xvfb-run: the installed wizard was not started"
fi

# Again over the installation: the earlier one's uninstaller runs first and
# must be finished before the new files are copied.
install_and_check "reinstall"

# The command the system's "uninstall" runs silently.
quiet=$(uninstall_values | sed -n 's/^QuietUninstallString=//p')
if [ "$quiet" = "\"$dir_win\\uninstall.exe\" /S" ]; then
  status=0
  # The uninstaller copies itself to the temporary folder, starts the copy
  # and returns; waiting for the wineserver waits for the copy.
  "$wine" "$dir_win\\uninstall.exe" /S >/dev/null 2>&1 || status=$?
  wait_wine
  if [ "$status" -eq 0 ]; then pass "uninstall: the uninstaller exited with 0"
  else fail "uninstall: the uninstaller exited with $status"; fi
else
  fail "uninstall: no usable QuietUninstallString (${quiet:-none}); not uninstalled"
fi
if [ ! -e "$dir" ]; then pass "uninstall: $dir_win is gone"
else fail "uninstall: left in $dir_win: $(files_of "$dir" | tr '\n' ' ')"; fi
if [ ! -e "$menu" ]; then pass "uninstall: the Start menu folder is gone"
else fail "uninstall: left in the Start menu: $(ls "$menu" | tr '\n' ' ')"; fi
if [ ! -e "$desktop/$title.lnk" ]; then pass "uninstall: the desktop shortcut is gone"
else fail "uninstall: the desktop shortcut is left"; fi
if ! grep -qiF "[$key]" "$system_reg"; then pass "uninstall: the uninstall registry key is gone"
else fail "uninstall: the uninstall registry key is left"; fi
leftover=$(find "$WINEPREFIX/drive_c" -iname '*tavorine*' -not -path "*/users/*/Temp/*" -not -path '*/windows/temp/*' 2>/dev/null || true)
if [ -z "$leftover" ]; then pass "uninstall: no file or folder named after the program is left on C:"
else fail "uninstall: left on C: $(tr '\n' ' ' <<<"$leftover")"; fi

if [ "$failures" -eq 0 ]; then
  echo "windows-install-check: all checks passed"
else
  echo "windows-install-check: $failures check(s) failed"
  exit 1
fi
