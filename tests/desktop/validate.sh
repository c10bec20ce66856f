#!/usr/bin/env bash
# validate.sh SOURCE_DIR MAN_DIR KORVI_CLI: the metainfo, the desktop entry, the man pages and the
# bash completion, checked with the distributions' validators and against korvi-cli's own usage.
# Exit 77 (skipped) when a validator is missing; any warning fails.
set -uo pipefail
src=$1 man_dir=$2 cli=$3
app_id=org.korvi.KorviCdRipper

for tool in appstreamcli desktop-file-validate groff; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed (scripts/install-deps)"; exit 77; }
done
[ -f "$man_dir/korvi-cli.1" ] || { echo "SKIP: no man pages were built (scdoc missing)"; exit 77; }

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# AppStream: errors and warnings fail (infos and pedantic notes do not).
out=$(appstreamcli validate --no-net "$src/src/resources/$app_id.metainfo.xml" 2>&1) ||
  fail "appstreamcli validate: $out"
grep -E '^(E|W):' <<<"$out" && fail "appstreamcli reports errors or warnings"
# The metainfo launches the desktop entry that is installed, and that names an installed icon.
desktop=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' \
  "$src/src/resources/$app_id.metainfo.xml")
# The desktop entry carries the app id, so that the software centre and the window's app id meet.
[ "$desktop" = "$app_id.desktop" ] || fail "the launchable '$desktop' is not named after the app id"
[ -f "$src/src/resources/$desktop" ] || fail "the launchable '$desktop' is not in src/resources"
out=$(desktop-file-validate "$src/src/resources/$desktop" 2>&1) || fail "desktop-file-validate: $out"
grep -v 'hint:' <<<"$out" | grep . && fail "desktop-file-validate: $out"
icon=$(sed -n 's/^Icon=//p' "$src/src/resources/$desktop")
[ -f "$src/src/resources/icons/$icon.svg" ] || fail "Icon=$icon has no $icon.svg"

# Man pages: no groff warning at the strictest level.
for page in korvi-cli korvi-cd-ripper; do
  out=$(groff -ww -z -man "$man_dir/$page.1" 2>&1)
  [ -z "$out" ] || fail "groff warns on $page(1): $out"
done

# Every command, option and environment variable of the usage is in the man page.
usage=$("$cli" --help) || fail "korvi-cli --help failed"
page_text=$(groff -man -Tascii -rHY=0 -rLL=200n -P-cbou "$man_dir/korvi-cli.1" 2>/dev/null)
# The parser counts too, for options the short usage may leave out: every option it compares an
# argument with, and every KORVI_ variable the programs read.
parsed=$(cat "$src"/src/cli/*.cpp)
read_vars=$(grep -rhoE -- '"KORVI_[A-Z_]+"' "$src/src")
options=$(grep -oE -- '--[a-z][a-z0-9-]*' <<<"$usage" | sort -u)
options+=$'\n'$(grep -oE -- '"--[a-z][a-z0-9-]*"' <<<"$parsed" | tr -d '"' | sort -u)
options=$(sort -u <<<"$options")
[ "$(wc -w <<<"$options")" -ge 20 ] || fail "too few options in the usage and the parser: $options"
words=$options$'\n'$(grep -oE -- 'KORVI_[A-Z_]+' <<<"$usage"$'\n'"$read_vars" | sort -u)
words+=$'\n'$(sed -n 's/^  \([a-z]\+\) .*/\1/p' <<<"$usage")
for word in $words; do
  grep -qE -- "(^|[^a-z0-9_-])$word([^a-z0-9_-]|\$)" <<<"$page_text" || fail "'$word' from the usage is not in korvi-cli(1)"
done

# The completion: commands, every option of the usage, the formats and other values, and the
# drives that korvi-cli lists (an image path with a blank in it stays one word).
complete_words() {
  # complete_words WORD...: the completion's candidates for the last word, one a line.
  env PATH="$(dirname "$cli"):$PATH" KORVI_CD_IMAGES="$tmp/an album.cue" bash -c '
    source "$1"; shift
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
    _korvi_cli; printf "%s\n" "${COMPREPLY[@]}"' _ "$src/dist/completion/korvi-cli.bash" "$@"
}
expect() {
  # expect "WANTED..." WORD...: every wanted word is among the candidates.
  local wanted=$1 got; shift
  got=$(complete_words "$@")
  for w in $wanted; do
    grep -qxF -- "$w" <<<"$got" || fail "completing '$*' gives no '$w' (got: $(echo $got))"
  done
}
expect "rip" korvi-cli r
expect "drives toc rip play lookup verify drive offset xmcd --help --version" korvi-cli ""
expect "wav mp3 ape flac opus" korvi-cli rip X --format ""
[ "$(complete_words korvi-cli rip X --format "" | wc -l)" -eq 5 ] || fail "--format does not offer just the five formats"
expect "ask overwrite skip" korvi-cli rip X --on-exists ""
expect "secure burst" korvi-cli rip X --mode ""
got=$(complete_words korvi-cli toc "$tmp/an")
grep -qxF "$tmp/an album.cue" <<<"$got" || fail "the drive list of korvi-cli is not completed (got: $got)"
offered=$(for command in toc rip lookup verify offset; do complete_words korvi-cli "$command" X --; done)
for word in $options; do
  # The options that stand alone are offered as the first word.
  case $word in --help | --version) continue ;; esac
  grep -qxF -- "$word" <<<"$offered" || fail "the completion does not offer $word"
done

[ "$failures" -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "metainfo, desktop entry, man pages and completion: all checks passed"
