#!/usr/bin/env bash
# contrib/emacs with tagfmt-lsp in a real Emacs and eglot run in batch: a
# page with a fault gets its diagnostics on the right lines, and
# eglot-format-buffer then save-buffer leaves exactly the bytes tagfmt
# writes, for LF, CR LF, a page without a last line break, UTF-8 and an XSL
# stylesheet.
# Usage: emacs.sh TAGFMT_LSP TAGFMT SOURCE_DIR
set -uo pipefail
lsp=$(realpath -m "$1")
tool=$(realpath -m "$2")
src=$(realpath -m "$3")
skip() { echo "SKIP: $*"; exit 77; }
command -v emacs >/dev/null || skip "Emacs is not installed (apt-get install emacs-nox)"
elpa=/usr/share/emacs/site-lisp/elpa
load=()
for dir in "$elpa"/eglot-* "$elpa"/project-* "$elpa"/xref-* "$elpa"/seq-* \
           "$elpa"/jsonrpc-* "$elpa"/flymake-* "$elpa"/eldoc-* "$elpa"/external-completion-*; do
  [ -d "$dir" ] && load+=(-L "$dir")
done
emacs -Q --batch "${load[@]}" --eval '(require (quote eglot))' >/dev/null 2>&1 ||
  skip "eglot is not installed (apt-get install elpa-eglot)"
[ -x "$lsp" ] || skip "no tagfmt-lsp binary at $lsp (build it first)"

scratch=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*"; echo "scratch: $scratch"; exit 1; }
cd "$scratch" || exit 1
export HOME=$scratch
runemacs() {
  timeout 120 emacs -Q --batch "${load[@]}" -l "$src/contrib/emacs/tagfmt-lsp.el" \
    --eval "(setq tagfmt-lsp-program \"$lsp\" eglot-sync-connect 10)" \
    -l "$scratch/session.el" "$@" </dev/null >>"$scratch/emacs.log" 2>&1
}

# shellcheck source=tests/shipping/editor_pages.sh
. "$src/tests/shipping/editor_pages.sh"
mkdir pages
page lf pages/lf.htm
page crlf pages/crlf.html
page noeol pages/noeol.html
page utf8 pages/utf8.htm
page sheet pages/sheet.xsl
page broken pages/broken.htm

# The session: the broken page first, for its diagnostics, then each page
# named in PAGES formatted and saved, joining the same server.
cat >session.el <<'ELISP'
(defun tagfmt-test-wait (predicate seconds)
  (let ((end (+ (float-time) seconds)))
    (while (and (not (funcall predicate)) (< (float-time) end))
      (accept-process-output nil 0.05))
    (funcall predicate)))
(defun tagfmt-test-diagnostics ()
  (flymake-start)
  (accept-process-output nil 0.05)
  (flymake-diagnostics))
(find-file "pages/broken.htm")
(apply #'eglot (eglot--guess-contact))
(unless (tagfmt-test-wait #'tagfmt-test-diagnostics 20) (kill-emacs 3))
(let ((lines (sort (mapcar (lambda (d)
                             (format "%d|%s|%s"
                                     (line-number-at-pos (flymake-diagnostic-beg d))
                                     (flymake-diagnostic-type d)
                                     (flymake-diagnostic-text d)))
                           (tagfmt-test-diagnostics))
                   #'string<)))
  (with-temp-file (expand-file-name "../faults" (getenv "PAGES_DIR"))
    (dolist (line lines) (insert line "\n"))))
(dolist (name (split-string (getenv "PAGES")))
  (find-file (expand-file-name name (getenv "PAGES_DIR")))
  (unless (eglot-current-server) (kill-emacs 4))
  (unless (tagfmt-test-wait #'tagfmt-test-diagnostics 20) (kill-emacs 5))
  (eglot-format-buffer)
  (unless (buffer-modified-p) (kill-emacs 6))
  (save-buffer))
(kill-emacs 0)
ELISP
names="lf.htm crlf.html noeol.html utf8.htm sheet.xsl"
for name in $names; do tidied "pages/$name" >"$name.expect"; done
cp pages/broken.htm .
PAGES=$names PAGES_DIR=$scratch/pages runemacs || fail "the Emacs session ended with $? (log: $(tail -5 emacs.log))"
for name in $names; do
  [ "$(od -c "pages/$name")" = "$(cat "$name.expect")" ] || {
    od -c "pages/$name"
    fail "$name: written bytes differ from tagfmt's:"$'\n'"$(cat "$name.expect")"
  }
done
want='1|eglot-error|tagfmt: missing </table>
3|eglot-error|tagfmt: </table> instead of </tr> (<tr> on line 2)'
[ "$(cat faults)" = "$want" ] ||
  fail "diagnostics of broken.htm:"$'\n'"$(cat faults)"$'\n'"instead of"$'\n'"$want"
cmp -s broken.htm pages/broken.htm || fail "broken.htm changed"
echo "emacs: all cases passed"
