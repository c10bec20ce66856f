#!/usr/bin/env bash
# completion.sh SOURCE_DIR KORVI_CLI: the bash completion offers the drives that korvi-cli lists as
# the names they are and runs nothing that is in them, nor in the word being completed: image
# names and typed words with $(...), backticks, $VAR, $((...)), braces, blanks, quotes and glob
# characters, each completed as bash would by calling the completion function.
set -uo pipefail
src=$1 cli=$2

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# Each payload would leave a file named after it in $tmp/ran if it were run.
mkdir "$tmp/ran" "$tmp/cwd"
ran=$tmp/ran
names=(
  "x\$(touch $ran/command).cue"
  "x\`touch $ran/backtick\`.cue"
  "x\$(touch $ran/spaced) an album.cue"
  "x\$HOME and \${PATH}.cue"
  "x\$((7 * 6)).cue"
  "x{a,b}.cue"
  "x'single' \"double\".cue"
  "x*.cue"
  "x[ab]?.cue"
  "x\\back\\slash.cue"
)
images=$(IFS=:; echo "${names[*]}")

# complete WORD...: the candidates for the last word, one a line, completed in a folder without
# the images (so that only the drive list can offer them).
complete() {
  (cd "$tmp/cwd" && env KORVI_CD_IMAGES="$images" bash --norc --noprofile -c '
    source "$1"; shift
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
    _korvi_cli; printf "%s\n" "${COMPREPLY[@]}"' _ "$src/dist/completion/korvi-cli.bash" "$@")
}
# expect WANTED WORD...: the candidates are exactly the lines of WANTED, in any order.
expect() {
  local wanted=$1 got
  shift
  got=$(complete "$@" | sort)
  [ "$got" = "$(sort <<<"$wanted")" ] || fail "completing '${*: -1}' gives:"$'\n'"$got"$'\n'"not:"$'\n'"$wanted"
}

all=$(printf '%s\n' "${names[@]}")
for command in toc rip play lookup verify; do expect "$all" "$cli" "$command" x; done
expect "$all" "$cli" rip --mode secure ""
# The word typed so far is matched as the shell reads it, as text: escaped as bash inserts a name,
# within quotes, or with glob characters that match only themselves.
expect "${names[0]}"$'\n'"${names[2]}"$'\n'"${names[3]}"$'\n'"${names[4]}" "$cli" rip 'x\$'
expect "${names[0]}" "$cli" rip 'x\$\(touch\ '"$ran"/c
expect "${names[2]}" "$cli" rip "\"x\\\$(touch $ran/spaced) an"
expect "${names[6]}" "$cli" rip "x\\'single\\'\\ \\\"d"
expect "${names[7]}" "$cli" rip 'x\*'
expect "${names[8]}" "$cli" rip 'x[ab]'
expect "${names[9]}" "$cli" rip "'x\\back"
expect "${names[3]}" "$cli" rip 'x$HOME'
# Hostile typed words where files, folders and values are completed.
for words in "rip" "rip --out" "verify X" "xmcd" "rip X --format" "rip X"; do
  # shellcheck disable=SC2086
  complete "$cli" $words "\$(touch $ran/typed)\`touch $ran/typed2\`" >/dev/null
done

leftover=$(find "$ran" "$tmp/cwd" -mindepth 1)
[ -z "$leftover" ] || fail "completing ran what names and words hold, leaving: $leftover"
[ "$failures" -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "completion: every name offered as it is, nothing run"
