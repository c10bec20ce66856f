#!/usr/bin/env bash
# scripts/check-includes passes the tree as it is, and fails a copy of it with one include that
# runs up, one that runs round, or one into a folder the layers do not name, naming that arrow.
set -euo pipefail
root=$1
check="$root/scripts/check-includes"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

fresh_copy() {
  rm -rf "$work/src"
  cp -r "$root/src" "$work/src"
}

# expect_refused FILE INCLUDE MESSAGE: FILE with INCLUDE added after its first line is refused,
# and the complaint names the line and the arrow.
expect_refused() {
  fresh_copy
  sed -i "1a #include \"$2\"" "$work/src/$1"
  if bash "$check" "$work/src" 2>"$work/err" >/dev/null; then
    fail "$1 including $2 passed"
  fi
  grep -qF "$1:2: $3" "$work/err" || { cat "$work/err" >&2; fail "no \"$1:2: $3\" in the complaint"; }
  [ "$(grep -c ' -> ' "$work/err")" -eq 1 ] || { cat "$work/err" >&2; fail "more than the one arrow named"; }
}

fresh_copy
bash "$check" "$work/src" || fail "the tree as it is was refused"

expect_refused text/utf8_text.h rip/rip_job.h "text -> rip runs up"
expect_refused common/cancel_token.h cddb/cddb_client.h "common -> cddb runs up"
expect_refused cddb/disc_id.h net/http_client.h "cddb -> net runs round"
expect_refused report/rip_log.h rip/output_format.h "report -> rip runs up"

# A folder the layers do not name.
fresh_copy
mkdir "$work/src/gadgets" && echo '#pragma once' >"$work/src/gadgets/gadget.h"
sed -i '1a #include "gadgets/gadget.h"' "$work/src/disc/cdrom_toc.h"
if bash "$check" "$work/src" 2>"$work/err" >/dev/null; then fail "an include of an unlayered folder passed"; fi
grep -qF "disc/cdrom_toc.h:2: disc -> gadgets: gadgets/ has no layer" "$work/err" || { cat "$work/err" >&2; fail "unlayered folder not named"; }

# Downward and same-folder includes, by path or by bare name, stay allowed.
fresh_copy
sed -i '1a #include "text/utf8_text.h"' "$work/src/rip/pause_gate.h"
sed -i '1a #include "job_limits.h"' "$work/src/rip/pause_gate.h"
bash "$check" "$work/src" || fail "a downward or same-folder include was refused"
echo "check-includes: every case as expected"
