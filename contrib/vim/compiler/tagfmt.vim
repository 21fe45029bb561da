" Vim compiler file: tagfmt-check's findings in the quickfix list.
" :compiler tagfmt, then :make checks the file being edited; with
" g:tagfmt_make_paths = '.' it checks the tree below the current folder.

if exists('current_compiler')
  finish
endif
let current_compiler = 'tagfmt'

if exists(':CompilerSet') != 2  " older Vim always used :setlocal
  command -nargs=* CompilerSet setlocal <args>
endif

let s:cpo_save = &cpo
set cpo&vim

execute 'CompilerSet makeprg=' .
      \ escape(shellescape(get(g:, 'tagfmt_check_program', 'tagfmt-check')) .
      \ ' ' . get(g:, 'tagfmt_make_paths', '%:S'), ' \|"')
" Faults and notes at their line and column (bytes from 1, as %c counts);
" "would be tidied" and unreadable files at the file. The summary matches
" none and stays as plain text.
CompilerSet errorformat=%f:%l:%c:\ nesting\ %trror:\ %m,
                       \%f:%l:%c:\ %tote:\ %m,
                       \%f:%l:\ nesting\ %trror:\ %m,
                       \%f:%l:\ %tote:\ %m,
                       \%f:\ %m

let &cpo = s:cpo_save
unlet s:cpo_save
