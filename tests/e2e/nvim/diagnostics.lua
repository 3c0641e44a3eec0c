-- Run by the editor end-to-end test in a headless Neovim: the README's configuration starts
-- qlml lsp for *.qlml files; the script opens QLML_DOCUMENT, waits for its diagnostics and
-- asks for its outline, and writes both to QLML_OUTPUT, one line each:
-- "diagnostic {line} {code} {severity}" and "symbol {depth} {line} {name}".
local qlml = os.getenv("QLML_BINARY")

-- The README's lines ("qlml" there; the built program here).
local qlml_client
vim.api.nvim_create_autocmd({ "BufReadPost", "BufNewFile" }, {
  pattern = "*.qlml",
  callback = function(args)
    qlml_client = qlml_client or vim.lsp.start_client({ name = "qlml", cmd = { qlml, "lsp" } })
    vim.lsp.buf_attach_client(args.buf, qlml_client)
  end,
})

vim.cmd("edit " .. vim.fn.fnameescape(os.getenv("QLML_DOCUMENT")))
local buf = vim.api.nvim_get_current_buf()
local output = {}
if not vim.wait(20000, function() return #vim.diagnostic.get(buf) > 0 end, 20) then
  table.insert(output, "no diagnostics")
end
local severities = { "error", "warning", "note", "hint" }
local diagnostics = vim.diagnostic.get(buf)
table.sort(diagnostics, function(a, b)
  if a.lnum ~= b.lnum then return a.lnum < b.lnum end
  return tostring(a.code) < tostring(b.code)
end)
for _, d in ipairs(diagnostics) do
  table.insert(output, string.format("diagnostic %d %s %s", d.lnum + 1, tostring(d.code),
    severities[d.severity] or "?"))
end

local function outline(symbols, depth)
  for _, symbol in ipairs(symbols or {}) do
    table.insert(output, string.format("symbol %d %d %s", depth, symbol.range.start.line + 1,
      symbol.name))
    outline(symbol.children, depth + 1)
  end
end
local params = { textDocument = vim.lsp.util.make_text_document_params() }
local answers = vim.lsp.buf_request_sync(buf, "textDocument/documentSymbol", params, 10000)
for _, answer in pairs(answers or {}) do outline(answer.result, 0) end

vim.fn.writefile(output, os.getenv("QLML_OUTPUT"))
vim.cmd("qall!")
