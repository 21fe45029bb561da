" The work of :TagfmtBuffer: the buffer goes to tagfmt-check --stdout on
" standard input, as the bytes :write would give its file and under the
" buffer's own name (--stdin-filename), and the answer comes back as lines
" and 'fileformat', 'endofline' settings that :write turns into those bytes.

" Tidies the current buffer in one undoable change; with nesting faults it
" leaves the buffer alone and puts them in the location list.
function! tagfmt#TidyBuffer() abort
  let name = expand('%')
  let input = tempname()
  let output = tempname()
  let errors = tempname()
  let cpo_save = &cpo
  try
    " Without A and F, :write to another name leaves the buffer's own name
    " and the alternate file alone.
    set cpo-=A cpo-=F
    execute 'silent noautocmd keepalt write!' fnameescape(input)
    let &cpo = cpo_save
    call system(printf('%s --stdout %s- <%s >%s 2>%s',
          \ shellescape(get(g:, 'tagfmt_check_program', 'tagfmt-check')),
          \ empty(name) ? '' : '--stdin-filename ' . shellescape(name) . ' ',
          \ shellescape(input), shellescape(output), shellescape(errors)))
    if v:shell_error != 0
      call s:ShowFaults(readfile(errors), empty(name) ? '-' : name)
    else
      call s:Replace(readfile(output, 'b'))
    endif
  finally
    let &cpo = cpo_save
    call delete(input)
    call delete(output)
    call delete(errors)
  endtry
endfunction

" Sets the buffer to BYTES (readfile()'s binary lines): CR LF line ends
" become 'fileformat' dos, and a last line without a line end 'noeol'.
function! s:Replace(bytes) abort
  let lines = copy(a:bytes)
  let eol = !empty(lines) && lines[-1] ==# ''
  if eol
    call remove(lines, -1)
  endif
  let ended = eol ? lines : lines[: -2]  " the lines a line end follows
  let dos = !empty(ended) && empty(filter(copy(ended), 'v:val !~# "\r$"'))
  if dos
    call map(ended, 'v:val[: -2]')
    let lines = eol ? ended : ended + lines[-1:]
  elseif empty(ended)
    let dos = &l:fileformat ==# 'dos'
  endif
  if !empty(&l:fileencoding) && &l:fileencoding !=# &encoding
    call map(lines, 'iconv(v:val, &l:fileencoding, &encoding)')
  endif
  if empty(lines)
    let lines = ['']
  endif

  let view = winsaveview()
  if lines !=# getline(1, '$')
    call setline(1, lines)
    if line('$') > len(lines)
      silent execute (len(lines) + 1) . ',$delete _'
    endif
  endif
  if (&l:fileformat ==# 'dos') != dos
    let &l:fileformat = dos ? 'dos' : 'unix'
  endif
  if &l:endofline != eol || (!eol && &l:fixendofline)
    let &l:endofline = eol
    let &l:fixendofline = eol
  endif
  call winrestview(view)
endfunction

" Puts tagfmt-check's complaints about NAME, the buffer's name, in the
" location list at the buffer's lines, and says so.
function! s:ShowFaults(lines, name) abort
  let prefix = '^\V' . escape(a:name, '\') . '\m:'
  let items = []
  for line in a:lines
    " LINE:COLUMN, the column in bytes as the list's 'col' takes it.
    let m = matchlist(line, prefix . '\(\d\+\):\%(\(\d\+\):\)\? \(nesting error\|note\): \(.*\)')
    if !empty(m)
      call add(items, {'bufnr': bufnr(''), 'lnum': str2nr(m[1]),
            \ 'col': str2nr(m[2]),
            \ 'type': m[3] ==# 'note' ? 'n' : 'e', 'text': m[4]})
    elseif line =~# prefix
      call add(items, {'bufnr': bufnr(''), 'text': substitute(line, prefix . ' ', '', '')})
    endif
  endfor
  if empty(items)
    echohl ErrorMsg
    echomsg 'tagfmt-check failed: ' . join(a:lines, ' ')
    echohl None
    return
  endif
  call setloclist(0, [], ' ', {'title': 'tagfmt-check', 'items': items})
  echohl WarningMsg
  echomsg printf('buffer left as it is: %s (:lopen lists all)', items[0].text)
  echohl None
endfunction
