// The playground page in headless Chromium, opened from file://: the worked
// example byte for byte, marker mode, a nesting fault, dropped files against
// the native tool, and the engine's time on a 100 KB page.
// Usage: node browser_test.mjs PAGE_DIR TAGFMT TAGFMT_CHECK SOURCE_DIR OUT_DIR
import {spawnSync} from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import {pathToFileURL} from 'node:url';

import puppeteer from 'puppeteer-core';

const [pageDir, tagfmt, tagfmtCheck, sourceDir, outDir] =
    process.argv.slice(2).map((arg) => path.resolve(arg));
const chromium = process.env.CHROMIUM || '/usr/bin/chromium';

const kExample = '<xsl:template match="/">\n<table>\n<tr><td>a</td>\n' +
    '<td>b</td></tr>\n</table>\n</xsl:template>\n';
const kExampleTidy = [
  '<xsl:template match="/">',
  '    <table>',
  '      <tr>',
  '        <td>a</td>',
  '        <td>b</td>',
  '      </tr>',
  '    </table></xsl:template>',
].join('\r\n');
const kExampleMarked = [
  '<xsl:template match="/"><!--@1@-->',
  '    <table><!--@2@-->',
  '      <tr><!--@3@-->',
  '        <td><!--@4@-->a</td><!--@4@-->',
  '        <td><!--@5@-->b</td><!--@5@-->',
  '      </tr><!--@3@-->',
  '    </table><!--@2@--></xsl:template><!--@1@-->',
].join('\r\n');

let failures = 0;
function check(ok, what, detail = '') {
  if (ok) return;
  failures++;
  console.log('FAIL: ' + what + (detail ? '\n  ' + detail : ''));
}
const show = (value) => JSON.stringify(value);
function checkEqual(actual, expected, what) {
  check(actual === expected, what,
      'got      ' + show(actual) + '\n  expected ' + show(expected));
}

// How many times the page has shown a result; each change raises it.
const updates = (page) => page.$eval('#output', (output) =>
  Number(output.dataset.updates || 0));
async function afterUpdate(page, action) {
  const before = await updates(page);
  await action();
  await page.waitForFunction((n) =>
    Number(document.querySelector('#output').dataset.updates || 0) > n,
  {timeout: 10000}, before);
}

const typeInput = (page, text) => afterUpdate(page, () =>
  page.$eval('#input', (area, value) => {
    area.value = value;
    area.dispatchEvent(new Event('input', {bubbles: true}));
  }, text));

const dropFile = (page, bytes, name) => afterUpdate(page, () =>
  page.evaluate((data, fileName) => {
    const transfer = new DataTransfer();
    transfer.items.add(new File([new Uint8Array(data)], fileName));
    document.querySelector('#input').dispatchEvent(new DragEvent('drop',
        {dataTransfer: transfer, bubbles: true, cancelable: true}));
  }, Array.from(bytes), name));

const setBox = (page, id, on) => page.$eval(id, (box, value) => {
  if (box.checked !== value) box.click();
}, on);

const outputText = (page) => page.$eval('#output', (o) => o.textContent);
const itemTexts = (page, list) => page.$$eval(list + ' li',
    (items) => items.map((item) => item.textContent));
const faultTexts = (page) => itemTexts(page, '#faults');
const noteTexts = (page) => itemTexts(page, '#notes');

// Clicks the download button and returns the file's name and bytes.
async function download(page) {
  return page.evaluate(async () => {
    let saved = null;
    const click = HTMLAnchorElement.prototype.click;
    HTMLAnchorElement.prototype.click = function() {
      saved = {name: this.download, href: this.href};
    };
    try {
      document.querySelector('#download').click();
    } finally {
      HTMLAnchorElement.prototype.click = click;
    }
    if (!saved) return null;
    const blob = await (await fetch(saved.href)).arrayBuffer();
    return {name: saved.name, bytes: Array.from(new Uint8Array(blob))};
  });
}

// What the native tools do with `bytes` named `name`: the bytes tagfmt
// leaves and the messages it prints, and tagfmt-check's notes.
function nativeRun(bytes, name, args, checkArgs) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'playground-'));
  const lines = (run) => run.stdout.toString('latin1').split('\n');
  try {
    fs.writeFileSync(path.join(dir, name), bytes);
    const notes = lines(spawnSync(tagfmtCheck, [...checkArgs, name], {cwd: dir}))
        .filter((line) => / note: /.test(line));
    const said = lines(spawnSync(tagfmt, [...args, name], {cwd: dir}))
        .filter((line) => line.startsWith('-> '));
    return {bytes: fs.readFileSync(path.join(dir, name)), said, notes};
  } finally {
    fs.rmSync(dir, {recursive: true, force: true});
  }
}

async function workedExample(page) {
  await typeInput(page, kExample);
  checkEqual(await outputText(page), kExampleTidy, 'the worked example');
  const saved = await download(page);
  check(saved !== null, 'the download button gives a file');
  if (saved) {
    checkEqual(Buffer.from(saved.bytes).toString('latin1'), kExampleTidy,
        'the downloaded worked example');
    checkEqual(saved.name, 'page.htm', 'the downloaded file\'s name');
  }
  const changed = await page.$$eval('#output .changed', (l) => l.length);
  checkEqual(changed, 6, 'changed lines marked in the worked example');
  checkEqual(await page.$$eval('#rules tbody tr', (rows) => rows.length), 19,
      'rows of the tag rule table');
  await page.screenshot({path: path.join(outDir, 'playground.png')});

  await setBox(page, '#markers', true);
  await page.waitForFunction((text) =>
    document.querySelector('#output').textContent === text,
  {timeout: 5000}, kExampleMarked).catch(() => {});
  checkEqual(await outputText(page), kExampleMarked, 'marker mode');
  await setBox(page, '#markers', false);
}

async function nestingFault(page) {
  const input = '<table>\n<tr>\n<td>a</td>\n</table>\n';
  await typeInput(page, input);
  const faults = await faultTexts(page);
  checkEqual(show(faults), show([
    '-> Nesting Error Line 4: </table> instead of </tr> ( <tr> on line 2)',
    '-> Nesting Error: missing </table> ( <table> on line 1)',
  ]), 'the nesting faults');
  checkEqual(await outputText(page), input, 'a file with faults is shown as it is');
  check(await page.$eval('#download', (b) => b.disabled),
      'no download for a file with faults');
  await page.click('#faults li');
  const selected = () => page.$eval('#input', (area) =>
    area.value.slice(area.selectionStart, area.selectionEnd));
  checkEqual(await selected(), '</table>', 'clicking a fault selects its line');

  await typeInput(page, '<table>\n<td/>\n</table>\n');
  checkEqual(show(await noteTexts(page)), show([
    'page.htm:2:1: note: <td> on line 2 is written self-closed ("/>"), and a ' +
        'recognised tag counts as opened even then',
  ]), 'the notes');
  await page.click('#notes li');
  checkEqual(await selected(), '<td/>', 'clicking a note selects its line');
}

// Beside the examples: files that tagfmt-check has notes on.
const kNoteFiles = {
  'notes.htm': '<table>\n<td/>\n</table>\n<thead>\n',
  'run-on.xsl': '<form>\n<!DOCTYPE x <table>\n</form>\n<table><tr></tr></table>\n',
};

// Files dropped on the page, with each kind of line end and in each mode,
// against what the native tools do with them.
async function droppedFiles(page) {
  const examples = path.join(sourceDir, 'examples');
  const files = fs.readdirSync(examples).sort().map((name) =>
    [name, fs.readFileSync(path.join(examples, name), 'latin1')]);
  files.push(...Object.entries(kNoteFiles));
  const modes = [[[], [], false, false], [['+'], ['--markers'], true, false],
    [['-w'], ['--line-ends-only'], false, true]];
  let compared = 0;
  let notes = 0;
  for (const [name, original] of files) {
    const text = original.replace(/\r\n|\r/g, '\n');
    for (const [endName, end] of [['LF', '\n'], ['CR LF', '\r\n'], ['CR', '\r']]) {
      const bytes = Buffer.from(text.replaceAll('\n', end), 'latin1');
      for (const [args, checkArgs, markers, lineEndsOnly] of modes) {
        await setBox(page, '#markers', markers);
        await setBox(page, '#line-ends-only', lineEndsOnly);
        await dropFile(page, bytes, name);
        const expected = nativeRun(bytes, name, args, checkArgs);
        const what = name + ' with ' + endName + ' ' + show(args);
        const faults = await faultTexts(page);
        checkEqual(show(faults), show(expected.said), 'messages for ' + what);
        checkEqual(show(await noteTexts(page)), show(expected.notes),
            'notes for ' + what);
        notes += expected.notes.length;
        if (faults.length === 0) {
          const saved = await download(page);
          checkEqual(saved && Buffer.from(saved.bytes).toString('latin1'),
              expected.bytes.toString('latin1'), 'bytes for ' + what);
          checkEqual(saved && saved.name, name, 'file name for ' + what);
        }
        compared++;
      }
    }
  }
  await setBox(page, '#markers', false);
  await setBox(page, '#line-ends-only', false);
  check(compared >= 54 && notes >= 12, 'files compared with the native tools',
      compared + ' files, ' + notes + ' notes');
}

// A page of about 100 KB: rows of a table with a few cells each.
function bigPage() {
  const rows = ['<html>\n<body>\n<form action="/x">\n<table>\n'];
  for (let i = 0; rows.join('').length < 100 * 1024; i++) {
    rows.push(`<tr class="r${i}"><td>item ${i}</td>\n<td><a href="/i/${i}">` +
        `open</a></td><td><font color="red">${i * 7}</font></td></tr>\n`);
  }
  rows.push('</table>\n</form>\n</body>\n</html>\n');
  return rows.join('');
}

async function timing(page) {
  const text = bigPage();
  const times = await page.evaluate((input) => {
    const bytes = new TextEncoder().encode(input);
    const median = (markerMode) => {
      const runs = [];
      for (let i = 0; i < 21; i++) {
        const started = performance.now();
        window.tagfmtPlayground.tidy(bytes, {markerMode});
        runs.push(performance.now() - started);
      }
      return runs.sort((x, y) => x - y)[10];
    };
    return {bytes: bytes.length, plain: median(false), markers: median(true)};
  }, text);
  const started = Date.now();
  await typeInput(page, text);
  const wholeUpdate = Date.now() - started;
  check((await faultTexts(page)).length === 0, 'the 100 KB page nests soundly');
  console.log(`engine on a ${times.bytes}-byte page, median of 21 runs: ` +
      `${times.plain.toFixed(2)} ms, in marker mode ` +
      `${times.markers.toFixed(2)} ms; the whole page shown ${wholeUpdate} ms`);
}

async function main() {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'playground-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: chromium,
    headless: true,
    userDataDir: profile,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update',
      '--disable-sync'],
  });
  try {
    const page = await browser.newPage();
    await page.setViewport({width: 1100, height: 900});
    const errors = [];
    page.on('pageerror', (error) => errors.push(String(error)));
    page.on('console', (message) => {
      if (message.type() === 'error') errors.push(message.text());
    });
    page.on('request', (request) => {
      const url = request.url();
      if (!/^(file|data|blob):/.test(url)) errors.push('fetched ' + url);
    });
    await page.goto(pathToFileURL(path.join(pageDir, 'index.html')).href);
    await page.waitForFunction(() =>
      document.documentElement.dataset.engine === 'ready', {timeout: 20000});
    await workedExample(page);
    await nestingFault(page);
    await droppedFiles(page);
    await timing(page);
    checkEqual(show(errors), '[]', 'page errors');
  } finally {
    await browser.close();
    fs.rmSync(profile, {recursive: true, force: true});
  }
  console.log(failures === 0 ? 'all browser checks passed' :
      `${failures} browser checks failed`);
  process.exitCode = failures === 0 ? 0 : 1;
}

main().catch((error) => {
  console.log('FAIL: ' + (error && error.stack || error));
  process.exitCode = 1;
});
