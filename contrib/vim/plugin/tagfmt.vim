" :TagfmtBuffer tidies the current buffer to the bytes tagfmt would write in
" its file, through tagfmt-check --stdout; the work lives in autoload/.

if exists('g:loaded_tagfmt')
  finish
endif
let g:loaded_tagfmt = 1

command! -bar TagfmtBuffer call tagfmt#TidyBuffer()
