// The playground page's script: keeps the input file's bytes, runs tagfmt's
// file job (the engine built to WebAssembly) on every change, shows the result.
'use strict';

// emscripten's script, which follows this one, picks this object up.
var Module = {
  onRuntimeInitialized() {
    startPage();
  },
};

const kMarkerMode = 1;
const kLineEndsOnly = 2;
// How far ahead an output line is looked for among the input lines when
// marking changed lines: the tool moves lines but never reorders them.
const kLookAhead = 64;
// Pages up to this many bytes are shown again at every key.
const kQuickSize = 32768;

const page = {
  bytes: new Uint8Array(0), // the input file as the engine sees it
  text: '', // those bytes decoded, line ends as they are in the file
  latin1: false, // the bytes are not UTF-8: one character a byte
  fileName: 'page.htm',
  output: new Uint8Array(0), // what the file holds after the run
  engineMs: 0,
};

const $ = (id) => document.getElementById(id);

// --- bytes and text -------------------------------------------------------

function decode(bytes, latin1) {
  if (!latin1) return new TextDecoder('utf-8', {ignoreBOM: true}).decode(bytes);
  let text = '';
  for (let i = 0; i < bytes.length; i += 8192) {
    text += String.fromCharCode.apply(null, bytes.subarray(i, i + 8192));
  }
  return text;
}

// The inverse of decode(). In a Latin-1 file a typed character beyond
// U+00FF has no byte, and becomes "?".
function encode(text, latin1) {
  if (!latin1) return new TextEncoder().encode(text);
  const bytes = new Uint8Array(text.length);
  for (let i = 0; i < text.length; i++) {
    const code = text.charCodeAt(i);
    bytes[i] = code < 256 ? code : 0x3f;
  }
  return bytes;
}

function isUtf8(bytes) {
  try {
    new TextDecoder('utf-8', {fatal: true}).decode(bytes);
    return true;
  } catch (e) {
    return false;
  }
}

// Lines with their line ends (CR LF, LF or a lone CR) kept apart.
function splitLines(text) {
  const lines = [];
  const pattern = /([^\r\n]*)(\r\n|\r|\n|$)/g;
  for (;;) {
    const match = pattern.exec(text);
    if (match[0] === '') break;
    lines.push({body: match[1], end: match[2]});
  }
  return lines;
}

// --- the engine -----------------------------------------------------------

// Runs tagfmt's file job on `bytes`, a file called `fileName`. Returns
// {written, messages, notes, output}: messages as tagfmt prints them, notes
// as tagfmt-check prints them, output the file's bytes after the run (the
// input itself when the file is not written).
function tidy(bytes, flags, fileName) {
  const name = new TextEncoder().encode(fileName);
  const at = Module._malloc(bytes.length + name.length + 1);
  if (at === 0) {
    // What tagfmt says when the file does not fit in memory.
    const messages = [{line: 0, text: '-> no memory\n'}];
    return {written: false, messages, notes: [], output: bytes};
  }
  Module.HEAPU8.set(bytes, at);
  Module.HEAPU8.set(name, at + bytes.length);
  Module.HEAPU8[at + bytes.length + name.length] = 0;
  const json = Module.UTF8ToString(
      Module._tfTidy(at, bytes.length, flags, at + bytes.length));
  Module._free(at);
  const result = JSON.parse(json);
  if (result.written) {
    const data = Module._tfOutputData();
    result.output = Module.HEAPU8.slice(data, data + Module._tfOutputSize());
  } else {
    result.output = bytes;
  }
  return result;
}

function currentFlags() {
  return ($('markers').checked ? kMarkerMode : 0) |
      ($('line-ends-only').checked ? kLineEndsOnly : 0);
}

// --- showing the result ---------------------------------------------------

// True for each output line that is not an input line met in order.
function changedLines(inputLines, outputLines) {
  let next = 0;
  return outputLines.map((line) => {
    const stop = Math.min(inputLines.length, next + kLookAhead);
    for (let k = next; k < stop; k++) {
      if (inputLines[k].body === line.body) {
        next = k + 1;
        return false;
      }
    }
    return true;
  });
}

// Markup for `text` as it stands. The HTML parser would turn a CR into an
// LF, so CR goes in as a character reference.
function markup(text) {
  return text.replace(/[&<>\r]/g, (c) => kEscapes[c]);
}
const kEscapes = {'&': '&amp;', '<': '&lt;', '>': '&gt;', '\r': '&#13;'};

// The output as one text, with the changed lines in marked spans, so its
// textContent is the output byte for byte; numbers and marks go in the
// gutter beside it. One element per line, built node by node, would take
// the browser far longer on a large page.
function showOutput(changed, lines) {
  const text = [];
  const gutter = [];
  lines.forEach((line, i) => {
    const row = markup(line.body + line.end);
    if (changed[i]) {
      text.push('<span class="changed">', row, '</span>');
      gutter.push('<span class="changed">', i + 1, '</span>\n');
    } else {
      text.push(row);
      gutter.push(i + 1, '\n');
    }
  });
  $('output').innerHTML = text.join('');
  $('gutter').innerHTML = gutter.join('');
}

// One list item a message; those that name a line select it when clicked.
function messageItems(messages) {
  return messages.map((message) => {
    const item = document.createElement('li');
    item.textContent = message.text.replace(/\n$/, '');
    if (message.line > 0) {
      item.dataset.line = message.line;
      item.tabIndex = 0;
      item.title = 'select line ' + message.line + ' in the input';
    }
    return item;
  });
}

function showMessages(result) {
  $('faults').replaceChildren(...messageItems(result.messages));
  $('notes').replaceChildren(...messageItems(result.notes));
}

function statusText(result, changedCount) {
  if (result.messages.length > 0) {
    return 'not written: tagfmt leaves the file as it is';
  }
  if (!result.written) return 'unchanged: tagfmt leaves the file alone';
  const lines = changedCount === 1 ? ' line' : ' lines';
  return 'tagfmt rewrites the file: ' + changedCount + lines + ' changed';
}

function update() {
  const started = performance.now();
  const result = tidy(page.bytes, currentFlags(), page.fileName);
  page.engineMs = performance.now() - started;
  page.output = result.output;
  const outputLines = splitLines(decode(result.output, page.latin1));
  const changed = result.written ?
      changedLines(splitLines(page.text), outputLines) :
      outputLines.map(() => false);
  showOutput(changed, outputLines);
  showMessages(result);
  const changedCount = changed.filter(Boolean).length;
  $('status').textContent = statusText(result, changedCount) + ' (engine ' +
      page.engineMs.toFixed(1) + ' ms)';
  $('download').disabled = result.messages.length > 0;
  const output = $('output');
  output.dataset.updates = Number(output.dataset.updates || 0) + 1;
}

// --- input ----------------------------------------------------------------

function setFile(bytes, name) {
  page.bytes = bytes;
  page.latin1 = !isUtf8(bytes);
  page.text = decode(bytes, page.latin1);
  page.fileName = name;
  $('file-name').textContent = name;
  $('input').value = page.text;
  update();
}

function openFile(file) {
  if (!file) return;
  file.arrayBuffer().then(
      (buffer) => setFile(new Uint8Array(buffer), file.name),
      (error) => {
        $('status').textContent = 'cannot read ' + file.name + ': ' + error;
      });
}

// Selects input line `line`. The textarea holds every line break as an LF,
// and the engine counts CR LF, LF and a lone CR each as one break (those
// inside a tag or comment aside, rare enough to leave).
function selectLine(line) {
  const area = $('input');
  const text = area.value;
  let start = 0;
  for (let n = 1; n < line; n++) {
    const lf = text.indexOf('\n', start);
    if (lf < 0) break;
    start = lf + 1;
  }
  const lf = text.indexOf('\n', start);
  area.focus();
  area.setSelectionRange(start, lf < 0 ? text.length : lf);
  const rowHeight = parseFloat(getComputedStyle(area).lineHeight) || 16;
  area.scrollTop = Math.max(0, (line - 1) * rowHeight - area.clientHeight / 3);
}

function download() {
  const url = URL.createObjectURL(
      new Blob([page.output], {type: 'application/octet-stream'}));
  const link = document.createElement('a');
  link.href = url;
  link.download = page.fileName;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), 10000);
}

function showRules() {
  const rules = JSON.parse(Module.UTF8ToString(Module._tfTagRules()));
  const yes = (flag) => (flag ? 'yes' : '');
  const rows = rules.map((rule) => {
    const row = document.createElement('tr');
    for (const cell of [rule.name, String(rule.indent),
      yes(rule.breakBeforeOpen), yes(rule.breakBeforeClose),
      yes(rule.numbered)]) {
      const td = document.createElement('td');
      td.textContent = cell;
      row.append(td);
    }
    return row;
  });
  $('rules').tBodies[0].replaceChildren(...rows);
}

function wireEvents() {
  let pending = 0;
  $('input').addEventListener('input', () => {
    page.text = $('input').value;
    page.bytes = encode(page.text, page.latin1);
    // A large page takes the browser a while to lay out: wait for a pause
    // in the typing.
    clearTimeout(pending);
    pending = setTimeout(update, page.bytes.length > kQuickSize ? 150 : 0);
  });
  $('input').addEventListener('paste', (event) => {
    const files = event.clipboardData && event.clipboardData.files;
    if (files && files.length > 0) {
      event.preventDefault();
      openFile(files[0]);
    }
  });
  $('markers').addEventListener('change', update);
  $('line-ends-only').addEventListener('change', update);
  $('open-file').addEventListener('change', (event) => {
    openFile(event.target.files[0]);
  });
  $('download').addEventListener('click', download);
  document.addEventListener('dragover', (event) => event.preventDefault());
  document.addEventListener('drop', (event) => {
    // Dragged text drops into the textarea as usual.
    if (event.dataTransfer.files.length === 0) return;
    event.preventDefault();
    openFile(event.dataTransfer.files[0]);
  });
  const pick = (event) => {
    const item = event.target.closest('li[data-line]');
    if (item) selectLine(Number(item.dataset.line));
  };
  for (const list of [$('faults'), $('notes')]) {
    list.addEventListener('click', pick);
    list.addEventListener('keydown', (event) => {
      if (event.key === 'Enter') pick(event);
    });
  }
}

const kSample = '<xsl:template match="/">\n<table>\n<tr><td>a</td>\n' +
    '<td>b</td></tr>\n</table>\n</xsl:template>\n';

function startPage() {
  showRules();
  wireEvents();
  setFile(new TextEncoder().encode(kSample), 'page.htm');
  // For scripts that drive the page: the same job on any bytes.
  window.tagfmtPlayground = {
    tidy: (bytes, options = {}) => tidy(bytes,
        (options.markerMode ? kMarkerMode : 0) |
        (options.lineEndsOnly ? kLineEndsOnly : 0),
        options.fileName || 'page.htm'),
  };
  document.documentElement.dataset.engine = 'ready';
}
