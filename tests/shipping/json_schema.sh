#!/usr/bin/env bash
# tagfmt-check's JSON, version 1, against docs/tagfmt-check.schema.json with
# Debian's python3-jsonschema: pages of every state and every kind of fault
# and note, with and without --fix, a name that is not UTF-8, and the
# corpus when it is there. Also what the schema cannot say: each fault's
# code, line and column, and pathBytes giving the name back.
# Usage: json_schema.sh TAGFMT_CHECK SOURCE_DIR
set -uo pipefail
check=$(realpath "$1")
src=$(realpath "$2")
python=/usr/bin/python3
skip() { echo "SKIP: $*"; exit 77; }
[ -x "$python" ] || skip "no $python (apt-get install python3)"
"$python" -c 'import jsonschema' 2>/dev/null ||
  skip "no jsonschema for $python (apt-get install python3-jsonschema)"
[ -x "$check" ] || skip "no tagfmt-check binary at $check (build it first)"

scratch=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*"; echo "scratch: $scratch"; exit 1; }
cd "$scratch" || exit 1

mkdir pages
printf '<table>\r\n  <tr>\r\n  </tr></table>' >pages/tidy.htm
printf '<table>\n<tr>\n</tr></table>' >pages/messy.html
printf '<table>\n  <td/>\n</table>\n' >pages/self.xsl
printf '  x </td>\n' >pages/unexpected.htm
printf '<table>\n  <thead>\n</table>\n' >pages/prefix.htm
printf '<table>\n<!DOCTYPE x>\n</table>\n' >pages/declaration.htm
printf "<table>\n<!-- it's -->\n</table>\n" >pages/quote.htm
printf '<div>\n<pre>\n    a\n  </pre></div>\n' >pages/pre.htm
printf '<script>\n</script>\n' >pages/script.htm
printf '<p>\n <!-- tagfmt: off -->\n' >pages/region.htm
printf 'a\0b' >pages/nul.htm
printf '<table>\n<tr>\n</tr></table>' >"pages/caf$(printf '\351').htm"
printf 'body {}\n' >pages/style.css
mkdir empty

validate() {
  "$python" - "$src/docs/tagfmt-check.schema.json" "$1" <<'PY'
import base64, json, os, sys
import jsonschema
schema = json.load(open(sys.argv[1]))
document = json.load(open(sys.argv[2]))
validator = jsonschema.Draft202012Validator(schema)
errors = sorted(validator.iter_errors(document), key=lambda e: list(e.path))
for error in errors:
    print("schema:", list(error.path), error.message)
for file in document["files"]:
    if "pathBytes" in file:
        raw = base64.b64decode(file["pathBytes"], validate=True)
        if not os.path.exists(raw):
            print("pathBytes names no file:", raw)
sys.exit(1 if errors else 0)
PY
}

run() { "$check" --format json "$@" >out.json 2>err.txt; echo $? >status; }
run pages empty pages/style.css missing.htm
validate out.json || fail "the check of pages does not fit the schema"
[ -s err.txt ] && fail "JSON mode wrote to standard error: $(cat err.txt)"
keys() { "$python" -c 'import json,sys; print(sorted(json.load(open(sys.argv[1]))["summary"]))' "$1"; }
checked_keys=$(keys out.json)

# One line for each file, fault and note: what the schema leaves open.
"$python" - out.json >said.txt <<'PY'
import json, sys
for f in json.load(open(sys.argv[1]))["files"]:
    print(f["path"].encode("utf-8", "backslashreplace").decode(), f["state"])
    for x in f["faults"] + f["notes"]:
        related = x.get("related")
        tail = " < %d:%d" % (related["line"], related["column"]) if related else ""
        print("  %s %s %d:%d-%d:%d%s" % (x["code"], x["severity"], x["line"],
              x["column"], x["endLine"], x["endColumn"], tail))
PY
cat >want.txt <<'TXT'
pages/caf�.htm would-tidy
pages/declaration.htm refused
  missing-closing-tag error 1:1-1:8
  declaration-runs-on info 2:1-4:1
pages/messy.html would-tidy
pages/nul.htm refused
pages/pre.htm would-tidy
  spaces-show warning 2:1-2:6
pages/prefix.htm refused
  mismatched-closing-tag error 3:1-3:9 < 2:3
  missing-closing-tag error 1:1-1:8
  prefix-name info 2:3-2:10
pages/quote.htm refused
  missing-closing-tag error 1:1-1:8
  quote-in-comment info 2:8-4:1
pages/region.htm would-tidy
  region-unclosed info 2:2-2:22
pages/script.htm would-tidy
  line-breaks-matter warning 1:1-1:9
pages/self.xsl refused
  mismatched-closing-tag error 3:1-3:9 < 2:3
  missing-closing-tag error 1:1-1:8
  self-closed-tag info 2:3-2:8
pages/tidy.htm tidy
pages/unexpected.htm refused
  unexpected-closing-tag error 1:5-1:10
empty not-a-page
pages/style.css not-a-page
missing.htm unreadable
TXT
diff want.txt said.txt || fail "the files, faults and notes differ from the above"

# --fix: the same keys in the summary, and the pages it rewrote as tidied.
cp -r pages fixed
run --fix fixed
validate out.json || fail "--fix's document does not fit the schema"
[ "$(keys out.json)" = "$checked_keys" ] || fail "--fix's summary has other keys"
grep -q '"path":"fixed/messy.html","state":"tidied"' out.json ||
  fail "--fix did not give messy.html as tidied"

# Real pages, when the corpus is there.
corpus=${TAGFMT_TEST_CORPUS:-$src/../shared/corpus}
if [ -d "$corpus" ]; then
  (cd "$corpus" && "$check" --format json . >"$scratch/corpus.json")
  validate corpus.json || fail "the corpus's document does not fit the schema"
else
  echo "no corpus at $corpus: checked the pages made here only"
fi
echo "json schema: all cases passed"
