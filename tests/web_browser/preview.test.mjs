// Opens the one-file preview page from disk in headless Chromium: a configuration
// with a mistake gives its finding, which takes the cursor to its place; a day's
// preview of the example shows the report's per-entry table and offers the files;
// Stop ends a week early with a partial report; bad input gets one message.
// Needs PREVIEW_PAGE (drovekeeper-preview.html), EXAMPLES (the examples folder),
// OUT (a scratch folder) and CHROMIUM; ctest sets all four.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { chromiumOptions } from '../support/chromium.mjs';
import { chromium } from 'playwright-core';

const examples = process.env.EXAMPLES;
const outDir = process.env.OUT;
const exampleConfig = readFileSync(path.join(examples, 'config.json'), 'utf8');

let context;
let page;
let profileDir;
const requests = [];
const pageErrors = [];

before(async () => {
  mkdirSync(outDir, { recursive: true });
  profileDir = mkdtempSync(path.join(tmpdir(), 'preview-chromium-'));
  context = await chromium.launchPersistentContext(profileDir,
                                                    chromiumOptions({ acceptDownloads: true }));
  page = context.pages()[0] ?? await context.newPage();
  page.on('request', (request) => requests.push(request.url()));
  page.on('pageerror', (error) => pageErrors.push(String(error)));
  await page.goto(pathToFileURL(process.env.PREVIEW_PAGE).href);
});

after(async () => {
  await context?.close();
  if (profileDir) rmSync(profileDir, { recursive: true, force: true });
});

function scratch(name, content) {
  const file = path.join(outDir, name);
  writeFileSync(file, content);
  return file;
}

async function message() {
  await page.locator('#message').waitFor({ state: 'visible' });
  return page.locator('#message').textContent();
}

async function preview({ config = exampleConfig, days = 1, start = '2024-03-01T06:00', zone = 'UTC' } = {}) {
  await page.locator('#config-file').setInputFiles(scratch('config.json', config));
  await page.locator('#start').fill(start);
  await page.locator('#span').fill(String(days));
  await page.locator('#span-unit').selectOption({ label: 'days' });
  await page.locator('#zone').selectOption(zone);
  await page.locator('#run').click();
}

test('a mistake gives the checker\'s finding, and clicking it finds the place', async () => {
  const mistake = exampleConfig.replace('"Maxlevel": 150,', '"Maxlevel": 0,');
  assert.notEqual(mistake, exampleConfig);
  await page.locator('#config-file').setInputFiles(scratch('mistake.json', mistake));
  const finding = page.locator('#findings .finding.error');
  await finding.first().waitFor();
  assert.equal(await finding.count(), 1);
  const text = await finding.textContent();
  const match = /^mistake\.json:(\d+):(\d+): error: SpawnDino\["Blueprint'\/Game\/Fauna\/Thornback\/Thornback_BP\.Thornback_BP'"\]: "Maxlevel" is 0 while "levelFixed" is true/.exec(text);
  assert.ok(match, text);
  const lines = mistake.split('\n');
  assert.match(lines[Number(match[1]) - 1], /"Maxlevel": 0,/);
  assert.match(await page.locator('#findings .line').last().textContent(), /^1 error, 0 warnings and 3 notes in 1 file$/);

  await finding.click();
  const { at, focused } = await page.$eval('#config-text', (editor) => ({
    at: editor.value.slice(editor.selectionStart, editor.selectionStart + 2),
    focused: document.activeElement === editor,
  }));
  assert.equal(at, '0,');
  assert.ok(focused);
  assert.match(await page.locator(`#gutter .error`).textContent(), new RegExp(`^${match[1]}$`));

  // Mending it as an operator would clears the finding.
  await page.locator('#config-text').focus();
  await page.keyboard.press('Delete');
  await page.keyboard.type('150');
  await page.locator('#findings .finding.error').waitFor({ state: 'detached' });
  assert.match(await page.locator('#findings .line').last().textContent(), /^no problems found in 1 file/);
});

test('a day\'s preview shows the report\'s per-entry table and offers its files', async () => {
  await page.locator('#script-file').setInputFiles(path.join(examples, 'script.json'));
  await page.locator('#script-files').setInputFiles(path.join(examples, 'config.json'));
  await preview();
  await page.locator('#result').waitFor({ state: 'visible', timeout: 60000 });
  assert.equal(await page.locator('#result-note').textContent(), 'The whole span ran.');

  const [eventsDownload] = await Promise.all([
    page.waitForEvent('download'), page.locator('#download-events').click()]);
  const events = readFileSync(await eventsDownload.path(), 'utf8').trim().split('\n')
    .map((line) => JSON.parse(line));
  const [reportDownload] = await Promise.all([
    page.waitForEvent('download'), page.locator('#download-report').click()]);
  assert.equal(reportDownload.suggestedFilename(), 'report.html');
  assert.equal(readFileSync(await reportDownload.path(), 'utf8'),
    await page.$eval('#report', (frame) => frame.srcdoc));

  const rows = await page.frameLocator('#report').locator('#entry-table tbody tr').evaluateAll(
    (trs) => trs.map((tr) => ({
      key: `${tr.dataset.table} ${tr.dataset.entry}`,
      cells: [...tr.querySelectorAll('td')].map((td) => td.textContent),
    })));
  const config = JSON.parse(exampleConfig);
  assert.deepEqual(rows.map((r) => r.key).sort(), Object.entries(config)
    .flatMap(([table, entries]) => Object.keys(entries).map((entry) => `${table} ${entry}`)).sort());
  for (const row of rows) {
    const spawns = events.filter((e) => e.event === 'spawn' && `${e.table} ${e.entry}` === row.key);
    assert.equal(Number(row.cells[4]), spawns.length, row.key);
  }
  // Each clock entry falls due once in a day.
  assert.deepEqual(rows.filter((r) => r.key.startsWith('SpawnDinoX ')).map((r) => r.cells[3]), ['1', '1']);
  assert.ok(events.some((e) => e.event === 'spawn'));
  await page.locator('#script-clear').click();
});

test('Stop ends a month early with a report of the time it reached', async () => {
  await preview({ days: 31 });
  await page.waitForFunction(() => document.querySelector('#progress').value > 0, null, { timeout: 30000 });
  const shown = await page.locator('#progress-text').textContent();
  assert.match(shown, /^2024-03-\d\d \d\d:\d\d:\d\d · \d+%$/);
  await page.locator('#stop').click();
  await page.locator('#result-note').filter({ hasText: 'Stopped at' }).waitFor({ timeout: 10000 });
  const note = await page.locator('#result-note').textContent();
  assert.match(note, /^Stopped at 2024-03-0\d \d\d:\d\d:\d\d: /);
  assert.equal(await page.locator('#message').isVisible(), false);
  assert.equal(await page.frameLocator('#report').locator('#entry-table tbody tr').count(), 5);
});

test('bad input gets one clear message and no run', async () => {
  await page.evaluate(() => { document.querySelector('#result').hidden = true; });
  const cases = [
    ['a span of a year', () => preview({ days: 365 }), /month/],
    ['a start the zone skips', () => preview({ start: '2024-03-31T02:30', zone: 'Europe/Berlin' }),
      /^the start "2024-03-31 02:30" does not exist in the time zone Europe\/Berlin/],
    ['a UTF-16 file', () => page.locator('#config-file').setInputFiles({
      name: 'wide.json', mimeType: 'application/json',
      buffer: Buffer.from(`\ufeff${exampleConfig}`, 'utf16le'),
    }), /^wide\.json is UTF-16 text; save it as UTF-8 and open it again\.$/],
    ['a world that does not parse', async () => {
      await page.locator('#world-file').setInputFiles(scratch('world.json', '{"classes": ['));
      await preview();
    }, /^world\.json is not JSON: /],
  ];
  for (const [what, act, said] of cases) {
    await page.evaluate(() => { document.querySelector('#message').hidden = true; });
    await act();
    assert.match(await message(), said, what);
  }
  await page.locator('input[name="world"][value="demo"]').check();
  assert.equal(await page.locator('#result').isVisible(), false);
  assert.equal(await page.locator('#run').isEnabled(), true);
});

test('the page fetches nothing and raises no error', async () => {
  await page.screenshot({ path: path.join(outDir, 'preview.png'), fullPage: true });
  assert.deepEqual(requests.filter((url) => !/^(file|blob|data|about):/.test(url)), []);
  assert.deepEqual(pageErrors, []);
});
