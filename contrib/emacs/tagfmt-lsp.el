;;; tagfmt-lsp.el --- tagfmt-lsp for HTML pages and XSL stylesheets through eglot  -*- lexical-binding: t -*-

;; Load this file (for example (load "/usr/share/.../tagfmt-lsp.el") in
;; your init file) to check pages with tagfmt-lsp as you edit them, and to
;; format them with M-x eglot-format-buffer.

;;; Commentary:

;; tagfmt writes CR LF line ends, and Emacs keeps line ends in the coding
;; system rather than in the text. Pages are therefore read with their line
;; ends as bytes in the buffer (a coding system ending in -unix), so that
;; the server sees, and the file gets, exactly tagfmt's bytes; the CRs are
;; not shown.

;;; Code:

(require 'eglot)

(defgroup tagfmt-lsp nil
  "tagfmt-lsp through eglot."
  :group 'tools)

(defcustom tagfmt-lsp-program "tagfmt-lsp"
  "The language server to run."
  :type 'string)

(defcustom tagfmt-lsp-options nil
  "The server's settings, as (:markers t :lineEndsOnly :json-false).
Each one given wins over the project's .tagfmt.toml; nil leaves both to it."
  :type 'plist)

(defconst tagfmt-lsp-file-pattern "\\.\\(?:[hH][tT][mM][lL]?\\|[xX][sS][lL][tT]?\\)\\'"
  "The files tagfmt formats.")

(add-to-list 'file-coding-system-alist
             (cons tagfmt-lsp-file-pattern 'tagfmt-lsp--coding))
(add-to-list 'auto-mode-alist '("\\.[xX][sS][lL][tT]?\\'" . nxml-mode))

(defun tagfmt-lsp--coding (arguments)
  "The coding system for reading a page, given ARGUMENTS as Emacs does:
the one Emacs would choose, with line ends kept as bytes."
  (ignore arguments)
  'prefer-utf-8-unix)

(defun tagfmt-lsp--hide-carriage-returns ()
  "Show the buffer's CRs as nothing."
  (setq buffer-display-table (or buffer-display-table (make-display-table)))
  (aset buffer-display-table ?\r []))

(defun tagfmt-lsp--contact (&optional _interactive)
  "How eglot starts the server."
  (list tagfmt-lsp-program :initializationOptions tagfmt-lsp-options))

(add-to-list 'eglot-server-programs
             '((mhtml-mode html-mode nxml-mode xml-mode) . tagfmt-lsp--contact))

(defun tagfmt-lsp-setup ()
  "Start or join tagfmt-lsp for a page."
  (when (and buffer-file-name
             (string-match-p tagfmt-lsp-file-pattern buffer-file-name))
    (tagfmt-lsp--hide-carriage-returns)
    ;; tagfmt keeps a page's last line without a line break as it is.
    (setq-local require-final-newline nil)
    (eglot-ensure)))

(dolist (hook '(mhtml-mode-hook html-mode-hook nxml-mode-hook))
  (add-hook hook #'tagfmt-lsp-setup))

(provide 'tagfmt-lsp)
;;; tagfmt-lsp.el ends here
