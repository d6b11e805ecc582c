#!/usr/bin/env bash
# Packs the Windows build for users: stages BUILD_DIR/stage/Tavorine-MOV/ (the
# two programs, the Qt and MinGW DLLs and plugins the wizard loads, Qt's
# Chinese translations, the Chinese font, COPYING), then makes from that folder
#   BUILD_DIR/tavorine-mov-<version>-win64-setup.exe      (NSIS installer)
#   BUILD_DIR/tavorine-mov-<version>-win64-portable.zip   (the folder, zipped)
# Usage: scripts/package-windows.sh [BUILD_DIR]    (default build-win)
#   KIT=<qt6-mingw folder>   the Qt kit the wizard was built with (default BUILD_DIR/qt6-mingw)
#   apt-get install nsis zip qt6-translations-l10n fonts-wqy-microhei   # besides the cross-build's packages
set -euo pipefail
cd "$(dirname "$0")/.."

die() { echo "package-windows: $*" >&2; exit 1; }
build=$(realpath -m "${1:-build-win}")
kit=$(realpath -m "${KIT:-$build/qt6-mingw}")
[ -d "$kit/bin" ] || die "no Qt kit at $kit (set KIT=)"
command -v makensis >/dev/null || die "makensis is not installed (apt-get install nsis)"
command -v zip >/dev/null || die "zip is not installed (apt-get install zip)"
command -v x86_64-w64-mingw32-objdump >/dev/null ||
  die "x86_64-w64-mingw32-objdump is not installed (apt-get install binutils-mingw-w64-x86-64)"

# project() may span lines.
version=$(tr '\n' ' ' <CMakeLists.txt |
  sed -nE 's/.*project\([[:space:]]*TavorineMov[[:space:]]+VERSION[[:space:]]+([0-9]+(\.[0-9]+){0,3}).*/\1/p')
[ -n "$version" ] || die "no project(TavorineMov VERSION ...) in CMakeLists.txt"
# Windows version resources take exactly four numbers.
vi_version=$version
while [ "$(tr -cd . <<<"$vi_version" | wc -c)" -lt 3 ]; do vi_version+=.0; done

stage=$build/stage
dest=$stage/Tavorine-MOV
rm -rf "$stage"
mkdir -p "$dest"

# put FILE SUBFOLDER [DEBIAN_PACKAGE]
put() {
  [ -f "$1" ] || die "missing $1${3:+ (Debian package $3)}"
  mkdir -p "$dest/$2"
  cp "$1" "$dest/$2/"
}
put "$build/tavorine-mov.exe" .
put "$build/tavorine-mov-cli.exe" .
for dll in Qt6Core Qt6Gui Qt6Widgets libstdc++-6 libgcc_s_seh-1 libwinpthread-1; do
  put "$kit/bin/$dll.dll" .
done
put "$kit/plugins/platforms/qwindows.dll" platforms
put "$kit/plugins/styles/qwindowsvistastyle.dll" styles
# The icon's pictures in dialogs; everything works without it.
if [ -f "$kit/plugins/imageformats/qico.dll" ]; then
  put "$kit/plugins/imageformats/qico.dll" imageformats
fi
put /usr/share/qt6/translations/qtbase_zh_CN.qm translations qt6-translations-l10n
put /usr/share/fonts/truetype/wqy/wqy-microhei.ttc fonts fonts-wqy-microhei
put COPYING .
# What the bundled parts are licensed under: Qt (LGPL-3), the font, the MinGW
# runtime libraries.
mkdir -p "$dest/licenses"
cp /usr/share/common-licenses/LGPL-3 "$dest/licenses/LGPL-3.txt"
for doc in libqt6core6:Qt fonts-wqy-microhei:WenQuanYi-Micro-Hei \
           gcc-mingw-w64-base:GCC-runtime mingw-w64-common:MinGW-w64; do
  src=/usr/share/doc/${doc%%:*}/copyright
  [ -f "$src" ] || die "missing $src (Debian package ${doc%%:*})"
  cp "$src" "$dest/licenses/${doc#*:}.txt"
done

# Symbols and debug information are most of the DLLs' size; code and exports stay.
if command -v x86_64-w64-mingw32-strip >/dev/null; then
  find "$dest" -type f \( -name '*.exe' -o -name '*.dll' \) -exec x86_64-w64-mingw32-strip --strip-unneeded {} +
else
  echo "package-windows: x86_64-w64-mingw32-strip not found, programs left unstripped"
fi

# A DLL that the programs or plugins import and that comes with Qt or MinGW
# (not with Windows) must be in the folder, or the program does not start.
shipped_dlls=$( (find "$kit/bin" /usr/x86_64-w64-mingw32 /usr/lib/gcc/x86_64-w64-mingw32 -iname '*.dll' 2>/dev/null || true) |
  xargs -r -n1 basename | tr '[:upper:]' '[:lower:]' | sort -u)
while IFS= read -r -d '' pe; do
  while read -r import; do
    lower=$(tr '[:upper:]' '[:lower:]' <<<"$import")
    grep -qxF "$lower" <<<"$shipped_dlls" || continue
    [ -n "$(find "$dest" -maxdepth 1 -iname "$import")" ] ||
      die "${pe#"$dest"/} imports $import, which is not in the folder"
  done < <(x86_64-w64-mingw32-objdump -p "$pe" | sed -n 's/^[[:space:]]*DLL Name: //p')
done < <(find "$dest" -type f \( -name '*.exe' -o -name '*.dll' \) -print0)

# One list of the folder's files serves the installer and the uninstaller.
nsis_quote() { sed -e 's/\$/$$/g' -e 's/"/$\\"/g' <<<"$1"; }
file_list=$stage/installer-files.nsh
{
  echo "; Written by scripts/package-windows.sh from $dest"
  echo '!macro TAV_INSTALL_FILES'
  (cd "$dest" && find . -type d | sort) | while read -r dir; do
    rel=${dir#.}
    rel=${rel#/}
    echo "  SetOutPath \"\$INSTDIR$(nsis_quote "${rel:+\\${rel//\//\\}}")\""
    (cd "$dest/$rel" && find . -maxdepth 1 -type f | sort) | while read -r file; do
      echo "  File \"\${STAGE}/$(nsis_quote "${rel:+$rel/}${file#./}")\""
    done
  done
  echo '!macroend'
  echo '!macro TAV_UNINSTALL_FILES'
  (cd "$dest" && find . -type f | sort) | while read -r file; do
    file=${file#./}
    echo "  Delete \"\$INSTDIR\\$(nsis_quote "${file//\//\\}")\""
  done
  # Deepest first, so that a folder is empty when its turn comes.
  (cd "$dest" && find . -mindepth 1 -type d | sort -r) | while read -r dir; do
    dir=${dir#./}
    echo "  RMDir \"\$INSTDIR\\$(nsis_quote "${dir//\//\\}")\""
  done
  echo '!macroend'
} >"$file_list"

setup=$build/tavorine-mov-$version-win64-setup.exe
portable=$build/tavorine-mov-$version-win64-portable.zip
rm -f "$setup" "$portable"
# -WX: a warning (a missing string, an unused define) is a fault here.
makensis -V2 -WX -INPUTCHARSET UTF8 \
  -DSTAGE="$dest" -DFILE_LIST="$file_list" -DVERSION="$version" -DVI_VERSION="$vi_version" -DOUTFILE="$setup" \
  packaging/windows/installer.nsi
[ -s "$setup" ] || die "makensis made no $setup"

(cd "$stage" && zip -q -r -9 -X "$portable" Tavorine-MOV)
# The zip must hold the folder, file for file.
diff <(cd "$stage" && find Tavorine-MOV -type f | sort) \
  <(unzip -Z1 "$portable" | grep -v '/$' | sort) >/dev/null ||
  die "$portable does not hold the staged folder file for file"

echo "package-windows: version $version, $(find "$dest" -type f | wc -l) files in $dest ($(du -sh "$dest" | cut -f1))"
for f in "$setup" "$portable"; do
  printf 'package-windows: %s  %s bytes (%s)\n' "$f" "$(stat -c %s "$f")" "$(numfmt --to=iec-i --suffix=B "$(stat -c %s "$f")")"
done
