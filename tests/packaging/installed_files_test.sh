#!/usr/bin/env bash
# Installs a built tree into a scratch DESTDIR as a distribution package would
# (prefix /usr) and checks what a desktop and a shell get: every file in place,
# the desktop entry and the AppStream metadata valid, the manual pages rendering
# without a groff warning, and the bash completion offering the commands and
# options the CLI really has. Exits 77 (skipped) when a validator is missing.
# Usage: installed_files_test.sh BUILD_DIR
set -uo pipefail
build=$1

for tool in desktop-file-validate appstreamcli man lexgrog; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (scripts/install-deps.sh)"
    exit 77
  fi
done

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
if ! DESTDIR=$dest cmake --install "$build" --prefix /usr >"$dest/install.log" 2>&1; then
  cat "$dest/install.log"
  echo "FAIL: cmake --install (the manual pages come from building the default target)"
  exit 1
fi
usr=$dest/usr
share=$usr/share
cli=$usr/bin/tavorine-mov-cli

expected=(
  bin/tavorine-mov bin/tavorine-mov-cli
  share/applications/tavorine-mov.desktop
  share/metainfo/com.tavmov.tavorine_mov.metainfo.xml
  share/icons/hicolor/scalable/apps/tavorine-mov.svg
  share/man/man1/tavorine-mov.1.gz share/man/man1/tavorine-mov-cli.1.gz
  share/bash-completion/completions/tavorine-mov-cli
  share/doc/tavorine-mov/copyright share/doc/tavorine-mov/changelog.Debian.gz
)
for size in 16 32 48 64 128 256; do
  expected+=("share/icons/hicolor/${size}x$size/apps/tavorine-mov.png")
done
for file in "${expected[@]}"; do
  [ -f "$usr/$file" ] || fail "not installed: /usr/$file"
done
for program in tavorine-mov tavorine-mov-cli; do
  [ -x "$usr/bin/$program" ] || fail "not executable: /usr/bin/$program"
done
if [ -e "$usr/bin/tavorine-cardgen" ]; then fail "the test-card generator is installed"; fi
# The preview decoder, loaded by both programs from the private library folder.
decoder=$(find "$usr/lib" -path '*/tavorine-mov/tavorine-mov-decoder.so' 2>/dev/null | head -1)
[ -n "$decoder" ] || fail "not installed: the decoder module under /usr/lib/.../tavorine-mov/"

desktop-file-validate "$share/applications/tavorine-mov.desktop" || fail "desktop-file-validate"
# validate-tree also checks that the desktop entry and icon the metadata names exist.
appstreamcli validate-tree --no-net "$dest" || fail "appstreamcli validate-tree"

for page in "$share"/man/man1/*.1.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$(basename "$page") renders with: $warnings"
  lexgrog "$page" >/dev/null || fail "$(basename "$page") has no NAME line whatis can read"
done

# What the completion offers after WORDS... (the last word being completed).
complete_words() {
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
           _tavorine_mov_cli; printf "%s\n" "${COMPREPLY[@]}"' \
    _ "$share/bash-completion/completions/tavorine-mov-cli" "$@" | sort
}
# The long options a help text lists, one a line.
options_in() { grep -o -- '--[a-z][a-z-]*' | sort -u; }
joined() { echo "$1" | paste -sd' '; }

[ "$(complete_words tavorine-mov-cli rec)" = recover ] || fail "completing 'rec' does not give recover"
commands=$("$cli" --help | sed -n '/^Subcommands:/,$p' | awk 'NR > 1 && NF { print $1 }' | sort)
offered=$(complete_words tavorine-mov-cli '' | grep -v '^-')
if [ -z "$commands" ] || [ "$commands" != "$offered" ]; then
  fail "completion offers commands [$(joined "$offered")], the CLI has [$(joined "$commands")]"
fi
for command in $commands; do
  real=$("$cli" "$command" --help | options_in)
  offered=$(complete_words tavorine-mov-cli "$command" -- | options_in)
  [ "$real" = "$offered" ] ||
    fail "completion of '$command' offers [$(joined "$offered")], the CLI has [$(joined "$real")]"
done
[ "$(complete_words tavorine-mov-cli scan --mode de)" = "$(printf 'deep\ndeletion')" ] ||
  fail "completing '--mode de' does not give deep and deletion"

# The installed CLI finds the installed decoder module on its own.
if [ -x "$build/tavorine-cardgen" ] && "$build/tavorine-cardgen" demo --out "$dest/demo.img" >/dev/null; then
  env -u TAVORINE_DECODER "$cli" scan "$dest/demo.img" --mode deletion --quiet \
    --thumbnails "$dest/thumbs" >"$dest/thumbs.log" 2>&1
  ls "$dest"/thumbs/*.jpg >/dev/null 2>&1 || fail "the installed CLI wrote no thumbnail: $(cat "$dest/thumbs.log")"
fi

[ "$failures" -eq 0 ] || exit 1
echo "installed files: ${#expected[@]} present and valid"
