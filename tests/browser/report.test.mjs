// Opens the fixture's preview report in headless Chromium: one map point per
// spawn with its coordinates, one table row per entry with its counts, a
// tooltip on hover, nothing fetched, no configured text run as script.
// Needs REPORT_FIXTURE (the generator), REPORT_OUT (a build-tree folder) and
// CHROMIUM (the browser binary); ctest sets all three, and SIM with
// EXAMPLE_CONFIG when the simulator is built.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdirSync, mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';

const outDir = process.env.REPORT_OUT;
const reportFile = path.join(outDir, 'report.html');
const expectedFile = path.join(outDir, 'expected.json');

let context;
let page;
let expected;
let profileDir;
const requests = [];
const pageErrors = [];
const dialogs = [];

before(async () => {
  mkdirSync(outDir, { recursive: true });
  execFileSync(process.env.REPORT_FIXTURE, [reportFile, expectedFile], { stdio: 'inherit' });
  expected = JSON.parse(readFileSync(expectedFile, 'utf8'));
  profileDir = mkdtempSync(path.join(tmpdir(), 'report-chromium-'));
  // A fresh profile every run; playwright takes it as the persistent
  // context's folder and passes it to the browser as --user-data-dir.
  context = await chromium.launchPersistentContext(profileDir, {
    executablePath: process.env.CHROMIUM,
    headless: true,
    viewport: { width: 1300, height: 900 },
    args: [
      '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
    ],
  });
  page = context.pages()[0] ?? await context.newPage();
  page.on('request', (request) => requests.push(request.url()));
  page.on('pageerror', (error) => pageErrors.push(String(error)));
  page.on('dialog', (dialog) => { dialogs.push(dialog.message()); dialog.dismiss(); });
  await page.goto(pathToFileURL(reportFile).href);
});

after(async () => {
  await context?.close();
  if (profileDir) rmSync(profileDir, { recursive: true, force: true });
});

test('the map has one point per spawn at its coordinates', async () => {
  const points = await page.$$eval('#map-svg circle.spawn', (circles) => circles.map((c) => ({
    entry: c.dataset.entry, level: Number(c.dataset.level),
    lat: Number(c.dataset.lat), lon: Number(c.dataset.lon),
    visible: c.getBoundingClientRect().width > 0,
  })));
  assert.equal(points.length, expected.spawns.length);
  assert.ok(points.length > 0);
  points.forEach((point, i) => {
    const want = expected.spawns[i];
    assert.equal(point.entry, want.entry);
    assert.equal(point.level, want.level);
    assert.ok(Math.abs(point.lat - want.lat) < 1e-4, `lat ${point.lat} vs ${want.lat}`);
    assert.ok(Math.abs(point.lon - want.lon) < 1e-4, `lon ${point.lon} vs ${want.lon}`);
    assert.ok(point.visible);
  });
  // The random-position entry's four landing squares.
  assert.equal(await page.locator('#map-svg rect.square').count(), 4);
});

test('the table has one row per entry with its counts', async () => {
  const rows = await page.$$eval('#entry-table tbody tr', (trs) => trs.map((tr) => ({
    table: tr.dataset.table,
    entry: tr.dataset.entry,
    faulty: tr.classList.contains('faulty'),
    cells: [...tr.querySelectorAll('td')].map((td) => td.textContent),
  })));
  assert.deepEqual(rows.map((r) => [r.table, r.entry]),
    expected.entries.map((e) => [e.table, e.entry]));
  rows.forEach((row, i) => {
    const e = expected.entries[i];
    assert.deepEqual(row.cells.slice(3, 9).map(Number),
      [e.fell_due, e.spawned, e.held_by_cap, e.class_unknown, e.spawn_refused, e.failed]);
    assert.equal(row.faulty, e.failed > 0 || e.class_unknown > 0);
  });
  // Worked out by hand for the fixture: due every 5 minutes over 120, three
  // spawns up to the cap, two more after two were killed at minute 70.
  const rex = rows.find((r) => r.entry.includes('/Rex.Rex'));
  assert.deepEqual(rex.cells.slice(3, 6).map(Number), [24, 5, 19]);
  assert.match(rex.cells[1], /Rex <the "king">/);
});

test('hovering a point shows its entry, time, level and position', async () => {
  const tip = page.locator('#tip');
  assert.equal(await tip.isVisible(), false);
  // The last point drawn lies on top of any it shares a spot with.
  const last = expected.spawns[expected.spawns.length - 1];
  await page.locator('#map-svg circle.spawn').last().hover();
  assert.equal(await tip.isVisible(), true);
  const text = await tip.textContent();
  assert.ok(text.includes(last.entry), text);
  assert.match(text, /\n2024-06-01 0[67]:\d\d:00\n/);
  assert.ok(text.includes(`Level ${last.level}`), text);
  assert.ok(text.includes(`Lat ${last.lat} Lon ${last.lon}`), text);
  await page.mouse.move(2, 2);
  assert.equal(await tip.isVisible(), false);
});

test('the timeline has a row per entry and a mark per turn', async () => {
  const rows = await page.$$eval('#timeline-svg g.row', (gs) => gs.map((g) => ({
    entry: g.dataset.entry, marks: g.querySelectorAll('.mark').length,
  })));
  assert.deepEqual(rows.map((r) => r.entry), expected.entries.map((e) => e.entry));
  rows.forEach((row, i) => assert.equal(row.marks, expected.entries[i].fell_due));
});

test('the page fetches nothing and runs no configured text', async () => {
  await page.screenshot({ path: path.join(outDir, 'report.png'), fullPage: true });
  assert.deepEqual(requests.filter((url) => !url.startsWith('file:')), []);
  assert.deepEqual(pageErrors, []);
  assert.deepEqual(dialogs, []);
  assert.equal(await page.locator('script').count(), 1);
});

test('the simulator\'s report shows every spawn of its run', { skip: !process.env.SIM }, async () => {
  const html = path.join(outDir, 'sim-report.html');
  const events = path.join(outDir, 'sim-events.jsonl');
  execFileSync(process.env.SIM, [
    '--config', process.env.EXAMPLE_CONFIG, '--start', '2024-03-01 06:00:00', '--minutes', '240',
    '--events', events, '--report', html,
  ], { env: { ...process.env, TZ: 'UTC' }, stdio: 'ignore' });
  const spawns = readFileSync(events, 'utf8').split('\n').filter(Boolean).map((l) => JSON.parse(l))
    .filter((e) => e.event === 'spawn');
  assert.ok(spawns.length > 0);

  const simPage = await context.newPage();
  await simPage.goto(pathToFileURL(html).href);
  const points = await simPage.$$eval('#map-svg circle.spawn', (cs) => cs.map((c) => c.dataset.entry));
  assert.deepEqual(points, spawns.map((s) => s.class));
  const spawned = await simPage.$$eval('#entry-table tbody tr',
    (trs) => trs.map((tr) => Number(tr.querySelectorAll('td')[4].textContent)));
  assert.equal(spawned.reduce((a, b) => a + b, 0), spawns.length);
  assert.equal(await simPage.locator('#time-zone').textContent(), 'UTC');
  await simPage.close();
});
