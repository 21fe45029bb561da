-- tagfmt-lsp in Neovim (0.7 or later): diagnostics for HTML pages and XSL
-- stylesheets, and :TagfmtFormat to leave the bytes tagfmt would write.
--
-- Settings, before this file runs:
--   vim.g.tagfmt_lsp_program  the server (default "tagfmt-lsp")
--   vim.g.tagfmt_lsp_options  {markers = bool, lineEndsOnly = bool}
if vim.g.loaded_tagfmt_lsp then
  return
end
vim.g.loaded_tagfmt_lsp = true

local client_id = nil

-- Pages with lone CR line ends are read as lines, as the protocol counts
-- them, rather than as one line holding CRs.
if not vim.tbl_contains(vim.opt.fileformats:get(), 'mac') then
  vim.opt.fileformats:append('mac')
end

local function is_page(name)
  name = name:lower()
  return name:match('%.html?$') or name:match('%.xslt?$')
end

local function attach(args)
  local buffer = args.buf
  if not is_page(vim.api.nvim_buf_get_name(buffer)) then
    return
  end
  -- The page keeps its own line ends until it is formatted, and a last
  -- line without a break as it was read.
  vim.bo[buffer].fixendofline = false
  if client_id == nil or vim.lsp.get_client_by_id(client_id) == nil then
    client_id = vim.lsp.start_client({
      name = 'tagfmt',
      cmd = { vim.g.tagfmt_lsp_program or 'tagfmt-lsp' },
      root_dir = vim.fn.getcwd(),
      init_options = vim.g.tagfmt_lsp_options or vim.empty_dict(),
    })
  end
  if client_id then
    vim.lsp.buf_attach_client(buffer, client_id)
  end
end

vim.api.nvim_create_autocmd({ 'BufReadPost', 'BufNewFile' }, {
  pattern = { '*.htm', '*.html', '*.xsl', '*.xslt', '*.HTM', '*.HTML', '*.XSL', '*.XSLT' },
  callback = attach,
})

-- Whether the last of `edits` reaches the end of the buffer's text.
local function reaches_end(buffer, edits, encoding)
  local last = vim.api.nvim_buf_line_count(buffer)
  local stop = edits[#edits].range['end']
  if vim.bo[buffer].endofline then
    return stop.line >= last
  end
  local line = vim.api.nvim_buf_get_lines(buffer, last - 1, last, true)[1]
  local length = encoding == 'utf-8' and #line or vim.str_utfindex(line)
  return stop.line > last - 1 or (stop.line == last - 1 and stop.character >= length)
end

-- Formats the buffer through the server. Neovim keeps "the text ends with a
-- line break" in 'endofline', outside the lines an edit changes: an edit
-- that reaches the end sets it from its own last bytes.
local function format()
  local buffer = vim.api.nvim_get_current_buf()
  local client = client_id and vim.lsp.get_client_by_id(client_id)
  if not client then
    vim.notify('tagfmt-lsp is not running for this buffer', vim.log.levels.ERROR)
    return
  end
  local params = vim.lsp.util.make_formatting_params()
  local reply, problem = client.request_sync('textDocument/formatting', params, 5000, buffer)
  if not reply then
    vim.notify('tagfmt-lsp: ' .. tostring(problem), vim.log.levels.ERROR)
    return
  end
  if reply.err then
    vim.notify('tagfmt: ' .. reply.err.message, vim.log.levels.ERROR)
    return
  end
  local edits = reply.result or {}
  if #edits == 0 then
    return
  end
  local encoding = client.offset_encoding or 'utf-16'
  local at_end = reaches_end(buffer, edits, encoding)
  vim.lsp.util.apply_text_edits(edits, buffer, encoding)
  -- tagfmt writes CR LF line ends, and Neovim turns the CR LF of an edit
  -- into its own line breaks: a formatted buffer is written with CR LF.
  vim.bo[buffer].fileformat = 'dos'
  if at_end then
    vim.bo[buffer].endofline = edits[#edits].newText:match('[\r\n]$') ~= nil
  end
end

vim.api.nvim_create_user_command('TagfmtFormat', format, {})
