// The preview page: the editor and its checker, the run settings, the preview's
// progress and Stop, and the report. Every rule of the plug-in lives in the
// WebAssembly module, which runs in workers built from the inlined worker
// source (#worker-source), so the page works opened from disk.
'use strict';

const $ = (id) => document.getElementById(id);

// Files the page takes into memory; the module refuses larger texts anyway.
const kMostFileBytes = 10 * 1024 * 1024;
// Between the last keystroke and a check; checks never overlap.
const kCheckDelayMs = 20;
// A check taking this long is stuck: its worker is replaced.
const kCheckStuckMs = 15000;
// Lines of the checker's output shown at most.
const kMostFindingLines = 5000;
// After Stop, the worker has this long to hand back its partial result.
const kStopGraceMs = 5000;

const workerUrl = URL.createObjectURL(
  new Blob([$('worker-source').textContent], { type: 'text/javascript' }));

// ---- Messages ---------------------------------------------------------------

function showMessage(text, kind = 'error') {
  const box = $('message');
  box.textContent = text;
  box.className = kind;
  box.hidden = false;
}

function clearMessage() {
  $('message').hidden = true;
}

// ---- Reading files ----------------------------------------------------------

// Files still being read; a preview waits for them, so it runs what was opened.
const reading = new Set();

function track(promise) {
  reading.add(promise);
  promise.finally(() => reading.delete(promise));
  return promise;
}

// The file's text, or an Error whose message says why the page will not take it.
async function readTextFile(file) {
  if (file.size > kMostFileBytes) {
    throw new Error(`${file.name} is ${(file.size / 1048576).toFixed(1)} MB; ` +
      'the page takes files of up to 10 MB.');
  }
  const bytes = new Uint8Array(await file.arrayBuffer());
  const bom = bytes.length >= 2 && ((bytes[0] === 0xff && bytes[1] === 0xfe)
    || (bytes[0] === 0xfe && bytes[1] === 0xff));
  if (bom || bytes.subarray(0, 4096).includes(0)) {
    throw new Error(`${file.name} is UTF-16 text; save it as UTF-8 and open it again.`);
  }
  try {
    return new TextDecoder('utf-8', { fatal: true, ignoreBOM: true }).decode(bytes);
  } catch {
    throw new Error(`${file.name} is not UTF-8 text; save it as UTF-8 and open it again.`);
  }
}

// ---- The editor -------------------------------------------------------------

const editor = $('config-text');
const gutter = $('gutter');
let configName = 'config.json';
let lineCount = 0;
let marks = new Map(); // line -> 'error' | 'warning'

function renderGutter() {
  const numbers = [];
  for (let line = 1; line <= lineCount; ++line) {
    const mark = marks.get(line);
    numbers.push(mark ? `<span class="${mark}">${line}</span>` : String(line));
  }
  // A spare line keeps the numbers level with the text above a horizontal scroll bar.
  gutter.innerHTML = numbers.join('\n') + '\n ';
  gutter.scrollTop = editor.scrollTop;
}

function countLines(text) {
  let count = 1;
  for (let i = text.indexOf('\n'); i !== -1; i = text.indexOf('\n', i + 1)) ++count;
  return count;
}

function textChanged() {
  const count = countLines(editor.value);
  if (count !== lineCount) {
    lineCount = count;
    renderGutter();
  }
  scheduleCheck();
}

function setConfig(name, text) {
  configName = name;
  $('config-name').textContent = name;
  editor.value = text;
  editor.scrollTop = 0;
  editor.setSelectionRange(0, 0);
  textChanged();
}

// The checker counts columns in UTF-8 bytes; the textarea counts UTF-16 units.
function offsetOf(line, column) {
  const text = editor.value;
  let start = 0;
  for (let l = 1; l < line; ++l) {
    const end = text.indexOf('\n', start);
    if (end === -1) break;
    start = end + 1;
  }
  let bytes = column - 1;
  let offset = start;
  for (const char of text.slice(start)) {
    if (bytes <= 0 || char === '\n') break;
    const code = char.codePointAt(0);
    bytes -= code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
    offset += char.length;
  }
  return offset;
}

function goTo(line, column) {
  const offset = offsetOf(line, column);
  editor.focus();
  editor.setSelectionRange(offset, offset);
  const lineHeight = parseFloat(getComputedStyle(editor).lineHeight) || 18;
  editor.scrollTop = Math.max(0, (line - 1) * lineHeight - editor.clientHeight / 3);
}

editor.addEventListener('input', textChanged);
editor.addEventListener('scroll', () => { gutter.scrollTop = editor.scrollTop; });

$('config-file').addEventListener('change', async (event) => {
  const [file] = event.target.files;
  event.target.value = '';
  if (file) await openConfig(file);
});

function openConfig(file) {
  return track((async () => {
    try {
      setConfig(file.name, await readTextFile(file));
      clearMessage();
    } catch (error) {
      showMessage(error.message);
    }
  })());
}

const example = $('example-config');
if (example) {
  $('load-example').hidden = false;
  $('load-example').addEventListener('click', () => setConfig('config.json', example.value));
}

// Dropping a file anywhere on the page opens it as the configuration.
document.addEventListener('dragover', (event) => {
  event.preventDefault();
  document.body.classList.add('dragging');
});
document.addEventListener('dragleave', (event) => {
  if (!event.relatedTarget) document.body.classList.remove('dragging');
});
document.addEventListener('drop', (event) => {
  event.preventDefault();
  document.body.classList.remove('dragging');
  const [file] = event.dataTransfer.files;
  if (file) openConfig(file);
});

// ---- The checker ------------------------------------------------------------

const findings = $('findings');
let checker = null;
let checkTimer = 0;
let checkCount = 0;
let checkSent = 0;     // id of the check in the worker, 0 when none
let checkStuck = 0;
let checkAgain = false;

function startChecker() {
  checker = new Worker(workerUrl);
  checker.onmessage = ({ data }) => {
    if (data.kind === 'checked' && data.id === checkSent) checked(data);
    else if (data.kind === 'failed') checkerFailed(`The checker failed: ${data.error}`);
  };
  checker.onerror = (event) => {
    event.preventDefault();
    checkerFailed(`The checker failed: ${event.message}`);
  };
}

// A checker that fails again at once (a browser that cannot run the module)
// is not started a third time.
let checkerFailures = 0;

function checkerFailed(text) {
  clearTimeout(checkStuck);
  checker.terminate();
  checkSent = 0;
  checkAgain = false;
  $('check-state').textContent = '';
  if (++checkerFailures > 2) {
    showMessage(`${text}. The checker cannot run in this browser.`);
    return;
  }
  showMessage(`${text}. It was restarted.`);
  startChecker();
}

function scheduleCheck() {
  clearTimeout(checkTimer);
  checkTimer = setTimeout(sendCheck, kCheckDelayMs);
}

function sendCheck() {
  if (checkSent) {
    checkAgain = true;
    return;
  }
  if (editor.value === '') {
    findings.replaceChildren();
    $('check-state').textContent = '';
    marks = new Map();
    renderGutter();
    return;
  }
  checkSent = ++checkCount;
  $('check-state').textContent = 'checking…';
  checker.postMessage({ kind: 'check', id: checkSent, name: configName, text: editor.value });
  checkStuck = setTimeout(() => checkerFailed(
    `The checker took over ${kCheckStuckMs / 1000} s on this text`), kCheckStuckMs);
}

function checked({ exit, output }) {
  clearTimeout(checkStuck);
  checkSent = 0;
  checkerFailures = 0;
  renderFindings(output);
  $('check-state').textContent = ['(clean)', '(warnings)', '(errors)'][exit] ?? '';
  if (checkAgain) {
    checkAgain = false;
    sendCheck();
  }
}

function escapeRegExp(text) {
  return text.replace(/[.*+?^${}()|[\]\\]/g, '\\$&');
}

// Each line as the checker prints it; those that name a place in the file take
// the cursor there. A file that is all mistakes gives more lines than anyone
// reads: the first of them and the summary keep the page quick.
function renderFindings(output) {
  const place = new RegExp(`^${escapeRegExp(configName)}:(\\d+):(\\d+): (error|warning|note): `);
  let lines = output.replace(/\n$/, '').split('\n');
  if (lines.length > kMostFindingLines) {
    const left = lines.length - kMostFindingLines;
    lines = [...lines.slice(0, kMostFindingLines - 1), `… ${left} lines more …`, lines.at(-1)];
  }
  marks = new Map();
  findings.replaceChildren(...lines.map((text) => {
    const div = document.createElement('div');
    div.className = 'line';
    div.textContent = text;
    const match = place.exec(text);
    if (match) {
      const [, line, column, severity] = match;
      div.classList.add('finding', severity);
      div.tabIndex = 0;
      div.dataset.line = line;
      div.dataset.column = column;
      if (severity !== 'note' && marks.get(Number(line)) !== 'error') marks.set(Number(line), severity);
    }
    return div;
  }));
  renderGutter();
}

function openFinding(event) {
  const finding = event.target.closest('.finding');
  if (finding) goTo(Number(finding.dataset.line), Number(finding.dataset.column));
}
findings.addEventListener('click', openFinding);
findings.addEventListener('keydown', (event) => {
  if (event.key === 'Enter') openFinding(event);
});

// ---- Run settings -----------------------------------------------------------

const browserZone = Intl.DateTimeFormat().resolvedOptions().timeZone || 'UTC';

function fillZones() {
  const zones = new Set(typeof Intl.supportedValuesOf === 'function'
    ? Intl.supportedValuesOf('timeZone') : []);
  zones.add(browserZone);
  zones.add('UTC');
  const select = $('zone');
  select.replaceChildren(...[...zones].sort().map((zone) => new Option(zone, zone)));
  select.value = browserZone;
}

function fillStart() {
  const now = new Date();
  const pad = (n) => String(n).padStart(2, '0');
  $('start').value = `${now.getFullYear()}-${pad(now.getMonth() + 1)}-${pad(now.getDate())}` +
    `T${pad(now.getHours())}:${pad(now.getMinutes())}`;
}

// The world, the script and the files the script names, as opened.
const opened = { world: null, script: null, files: {} };

function openInto(input, assign) {
  return track(openFiles(input, assign));
}

async function openFiles(input, assign) {
  try {
    const texts = [];
    for (const file of input.files) texts.push([file.name, await readTextFile(file)]);
    assign(texts);
    clearMessage();
  } catch (error) {
    input.value = '';
    showMessage(error.message);
  }
}

$('world-file').addEventListener('change', (event) => openInto(event.target, ([first]) => {
  opened.world = first ? first[1] : null;
  if (first) document.querySelector('input[name="world"][value="file"]').checked = true;
}));
$('script-file').addEventListener('change', (event) => openInto(event.target, ([first]) => {
  opened.script = first ? first[1] : null;
}));
$('script-files').addEventListener('change', (event) => openInto(event.target, (texts) => {
  opened.files = Object.fromEntries(texts);
}));
$('script-clear').addEventListener('click', () => {
  $('script-file').value = '';
  $('script-files').value = '';
  opened.script = null;
  opened.files = {};
});

// The module's settings, or an Error saying what is missing.
function runSettings() {
  const start = $('start').value;
  if (!/^\d{4}-\d\d-\d\dT\d\d:\d\d/.test(start)) throw new Error('Give the start date and time.');
  const span = Number($('span').value);
  if (!Number.isInteger(span) || span < 1) throw new Error('Give the span as a whole number of at least 1.');
  const useWorld = document.querySelector('input[name="world"]:checked').value === 'file';
  if (useWorld && opened.world === null) {
    throw new Error('Open a world file, or choose the demo world.');
  }
  if (editor.value.trim() === '') throw new Error('Paste or open a configuration first.');
  return {
    config: editor.value,
    config_name: configName,
    world: useWorld ? opened.world : null,
    script: opened.script,
    files: opened.files,
    start: start.slice(0, 16).replace('T', ' '),
    minutes: span * Number($('span-unit').value),
    zone: $('zone').value,
  };
}

// ---- The preview ------------------------------------------------------------

let run = null; // {worker, at, stopTimer}
const downloads = [];

function setRunning(running) {
  $('run').disabled = running;
  $('stop').disabled = !running;
  $('stop').textContent = 'Stop';
  $('progress').hidden = !running;
  $('progress').value = 0;
  $('progress-text').textContent = running ? 'starting…' : '';
}

function endRun() {
  if (!run) return;
  clearTimeout(run.stopTimer);
  run.worker.terminate();
  run = null;
  setRunning(false);
}

$('run-form').addEventListener('submit', async (event) => {
  event.preventDefault();
  if (run) return;
  $('run').disabled = true;
  await Promise.allSettled([...reading]);
  $('run').disabled = false;
  if (run) return;
  let settings;
  try {
    settings = runSettings();
  } catch (error) {
    showMessage(error.message);
    return;
  }
  clearMessage();
  const worker = new Worker(workerUrl);
  run = { worker, at: settings.start, stopTimer: 0 };
  worker.onmessage = ({ data }) => runMessage(worker, data);
  worker.onerror = (event) => {
    event.preventDefault();
    if (run && run.worker === worker) {
      endRun();
      showMessage(`The preview failed: ${event.message}`);
    }
  };
  setRunning(true);
  worker.postMessage({ kind: 'run', settings });
});

function runMessage(worker, data) {
  if (!run || run.worker !== worker) return;
  if (data.kind === 'progress') {
    run.at = data.at;
    $('progress').value = data.share;
    $('progress-text').textContent = `${data.at} · ${Math.floor(data.share * 100)}%`;
  } else if (data.kind === 'refused') {
    endRun();
    showMessage(data.error);
  } else if (data.kind === 'failed') {
    endRun();
    showMessage(`The preview failed: ${data.error}`);
  } else if (data.kind === 'finished') {
    const at = run.at;
    endRun();
    showResult(data, at);
  }
}

$('stop').addEventListener('click', () => {
  if (!run) return;
  run.worker.postMessage({ kind: 'stop' });
  $('stop').disabled = true;
  $('stop').textContent = 'Stopping…';
  run.stopTimer = setTimeout(() => {
    endRun();
    showMessage(`The preview did not answer Stop within ${kStopGraceMs / 1000} s, so it was ` +
      'ended without a report.');
  }, kStopGraceMs);
});

function offerDownload(link, text, type) {
  const url = URL.createObjectURL(new Blob([text], { type }));
  downloads.push(url);
  link.href = url;
}

function showResult(result, at) {
  downloads.splice(0).forEach((url) => URL.revokeObjectURL(url));
  offerDownload($('download-report'), result.report_html, 'text/html');
  offerDownload($('download-events'), result.events_jsonl, 'application/x-ndjson');
  $('result-note').textContent = result.stopped
    ? `Stopped at ${at}: the report and the events cover the run up to then.`
    : 'The whole span ran.';
  $('report').srcdoc = result.report_html;
  $('console').textContent = result.console;
  $('result').hidden = false;
  $('result').scrollIntoView({ behavior: 'smooth', block: 'start' });
}

// ---- Start ------------------------------------------------------------------

fillZones();
fillStart();
startChecker();
textChanged();
