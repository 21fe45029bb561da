#!/usr/bin/env bash
# The git pre-commit hook in a real repository: tidy files pass; untidy and
# badly nested ones stop the commit with a message that names them; under
# every line-end setting a commit stopped once goes through when the tidied
# files are staged.
# Usage: pre_commit.sh TAGFMT SOURCE_DIR
set -euo pipefail
tool=$1
src=$2
command -v git >/dev/null || { echo "SKIP: git is not installed"; exit 77; }

fail() { echo "FAIL: $*"; [ -f err ] && sed 's/^/  | /' err; exit 1; }
commits() { git commit -q -m "$1" 2>err; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export GIT_CONFIG_GLOBAL=/dev/null GIT_CONFIG_NOSYSTEM=1 TAGFMT=$tool
git init -q "$scratch/repo"
cd "$scratch/repo"
git config user.name tester
git config user.email tester@example.invalid
git config core.hooksPath .git/hooks
cp "$src/contrib/pre-commit" .git/hooks/pre-commit
chmod +x .git/hooks/pre-commit

untidy=$'<table>\n<tr><td>a</td></tr>\n</table>\n'
tidy=$'<table>\r\n  <tr>\r\n    <td>a</td>\r\n  </tr></table>'

# Tidy pages and other files pass, on the first commit too.
printf '%s' "$tidy" >tidy.htm
printf 'plain\n' >notes.txt
git add tidy.htm notes.txt
commits "tidy" || fail "a tidy page was refused"

# Untidy pages stop the commit and are tidied in the working copy only.
printf '%s' "$untidy" >page.htm
printf '%s' "$untidy" >"my page.HTML"
git add page.htm "my page.HTML"
if commits "untidy"; then fail "an untidy page was committed"; fi
grep -q 'page.htm (tidied in the working copy)' err || fail "page.htm not named"
grep -q 'my page.HTML (tidied' err || fail "a name with a blank was missed"
grep -q "git add" err || fail "no word on re-staging"
[ "$(cat page.htm)" = "$tidy" ] || fail "working copy not tidied"
[ "$(git show :page.htm)" = "${untidy%$'\n'}" ] || fail "the index was changed"
[ -z "$(find . -name '*.bak' -not -path './.git/*')" ] || fail "a .bak was left"
git add page.htm "my page.HTML"
commits "tidied" || fail "the tidied pages were refused"

# A nesting fault stops the commit and leaves the file as it was.
printf '<table>\n<tr>\n</table>\n' >broken.xsl
git add broken.xsl
if commits "broken"; then fail "a badly nested page was committed"; fi
grep -q '^broken.xsl$' err || fail "broken.xsl not named"
grep -q -- '-> Nesting Error Line 3: </table> instead of </tr> ( <tr> on line 2)' err ||
  fail "the nesting fault was not shown"
grep -q 'writing' err && fail "scratch-copy writing lines were shown"
[ "$(cat broken.xsl)" = $'<table>\n<tr>\n</table>' ] || fail "broken.xsl changed"
git reset -q -- broken.xsl

# The staged text is checked, and a working copy with more changes is
# left alone.
printf '%s' "$untidy" >part.htm
git add part.htm
printf 'more\n' >>part.htm
if commits "part"; then fail "an untidy staged text was committed"; fi
grep -q 'part.htm (has unstaged changes, left alone' err || fail "part.htm"
[ "$(tail -n 1 part.htm)" = more ] || fail "a partly staged file was changed"
git reset -q -- part.htm

# With CR LF checkouts the staged text is compared as checked out.
git config core.autocrlf true
printf '%s' "$tidy" >crlf.htm
git add crlf.htm 2>/dev/null
commits "crlf" || fail "a tidy page under core.autocrlf was refused"
git config core.autocrlf false

# Symbolic links are not followed.
printf '%s' "$untidy" >"$scratch/outside.htm"
ln -s "$scratch/outside.htm" link.htm
git add link.htm
commits "link" || fail "a link to a page was checked"
[ "$(cat "$scratch/outside.htm")" = "${untidy%$'\n'}" ] || fail "link target changed"

# Line-end settings: git may store LF where tagfmt writes CR LF. For each
# setting and each kind of line end, an untidy page stops the commit once;
# staged as tidied, it goes through. NOTE is what the once-only note must
# say ("" for no note), STORED what git must keep of the CR LF.
untidy=$'<table>\n<tr><td>a</td></tr>\n</table>\n'
newRepo() {
  git init -q "$scratch/$1"
  cd "$scratch/$1"
  git config user.name tester
  git config user.email tester@example.invalid
  git config core.hooksPath .git/hooks
  mkdir -p .git/hooks
  cp "$src/contrib/pre-commit" .git/hooks/pre-commit
}
while IFS='|' read -r setting attributes note stored; do
  for ends in LF CRLF CR; do
    label="$setting${attributes:+ with $attributes}, $ends"
    newRepo "ends-$RANDOM$RANDOM"
    [ "$setting" = unset ] || git config core.autocrlf "${setting#autocrlf=}"
    if [ -n "$attributes" ]; then
      printf '%s\n' "$attributes" >.gitattributes
      git add .gitattributes
    fi
    case $ends in
      LF) printf '%s' "$untidy" >page.htm ;;
      CRLF) printf '%s' "${untidy//$'\n'/$'\r\n'}" >page.htm ;;
      CR) printf '%s' "${untidy//$'\n'/$'\r'}" >page.htm ;;
    esac
    git add page.htm 2>/dev/null
    if commits "untidy"; then fail "$label: an untidy page was committed"; fi
    grep -q 'page.htm (tidied in the working copy)' err ||
      fail "$label: the page was not tidied"
    said=$(cat err)
    git add page.htm 2>/dev/null
    commits "tidied" || fail "$label: the tidied page was refused again"
    said+=$'\n'$(cat err)
    # A page committed that way passes again, and the note is not repeated.
    git cat-file -p HEAD:page.htm >again.htm
    git add again.htm 2>/dev/null
    commits "again" || fail "$label: the stored page was refused"
    grep -q 'note:' err && fail "$label: the note was shown again"
    [ "$(printf '%s\n' "$said" | grep -c 'note:')" -le 1 ] ||
      fail "$label: the note was shown twice"
    if [ -n "$note" ]; then
      printf '%s\n' "$said" | grep -qF "$note" ||
        fail "$label: the note does not say '$note': $said"
      printf '%s\n' "$said" | grep -qxF '    *.htm -text' ||
        fail "$label: the note does not give '*.htm -text'"
    elif printf '%s\n' "$said" | grep -q 'note:'; then
      fail "$label: an unexpected note: $said"
    fi
    if [ "$stored" = CRLF ]; then
      git cat-file -p HEAD:page.htm | grep -q $'\r$' || fail "$label: LF stored"
    else
      git cat-file -p HEAD:page.htm | grep -q $'\r' && fail "$label: CR stored"
    fi
    cd "$scratch"
  done
done <<'SETTINGS'
unset|||CRLF
autocrlf=input||(core.autocrlf=input)|LF
autocrlf=true||(core.autocrlf=true)|LF
unset|*.htm text eol=lf|(the attribute text=set, eol=lf that .gitattributes gives it)|LF
unset|*.htm text=auto|(the attribute text=auto that .gitattributes gives it)|LF
autocrlf=input|*.htm -text||CRLF
SETTINGS
cd "$scratch/repo"

# Without the tool the hook says so.
printf '%s' "$untidy" >late.htm
git add late.htm
if TAGFMT=/nonexistent/tagfmt commits "no tool"; then fail "committed unchecked"; fi
grep -q "cannot find '/nonexistent/tagfmt'" err || fail "missing tool not named"
echo "pre-commit hook: all cases passed"
