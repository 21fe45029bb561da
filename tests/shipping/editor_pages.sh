# The pages the editor tests open, and what tagfmt makes of one. Sourced by
# vim.sh, nvim.sh and emacs.sh, which set $tool.

# What tagfmt leaves in a copy of FILE, as od -c shows it.
tidied() {
  mkdir -p expect
  cp "$1" expect/t.htm
  (cd expect && "$tool" t.htm >/dev/null)
  od -c expect/t.htm
  rm -f expect/*
}

# Writes the page of the kind KIND to FILE.
page() {
  case "$1" in
    lf) printf '<table>\n<tr><td>a</td></tr>\n</table>\n' ;;
    crlf) printf '<table>\r\n<tr><td>a</td>\r\n</tr>\r\n</table>\r\n' ;;
    cr) printf '<table>\r<tr><td>a</td></tr>\r</table>\r' ;;
    noeol) printf '<p>\r\n<table>\r\n<tr>\r\n<td>a</td>\r\n</tr></table>\r\n</p>' ;;
    utf8) printf '<table>\n<tr><td>\xc3\xa9t\xc3\xa9 \xf0\x9d\x84\x9e</td></tr>\n</table>\n' ;;
    latin1) printf '<table>\r\n<tr><td>caf\xe9</td>\r\n</tr>\r\n</table>\r\n' ;;
    sheet) printf '<xsl:stylesheet>\n<xsl:template match="a">\n</xsl:template>\n</xsl:stylesheet>\n' ;;
    tidy) printf '<table>\r\n  <tr>\r\n    <td>a</td>\r\n  </tr></table>' ;;
    broken) printf '<table>\r\n<tr>\r\n</table>\r\n' ;;
  esac >"$2"
}
