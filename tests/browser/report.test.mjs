// Opens the fixture's preview report of a week in headless Chromium: every
// spawn on the map, a legend and colour per entry, one table row per entry
// with its counts, a clock-time timeline with reload marks, a population
// chart per class with its entries' caps, filter boxes, a tooltip on hover, nothing
// fetched, no configured text run as script; and takes a screenshot.
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
import { chromiumOptions } from '../support/chromium.mjs';
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
  context = await chromium.launchPersistentContext(profileDir, chromiumOptions());
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

test('the map shows every spawn, stacked spawns once with their count', async () => {
  const points = await page.$$eval('#map-svg circle.spawn', (circles) => circles.map((c) => {
    const box = c.getBoundingClientRect();
    const map = c.ownerSVGElement.getBoundingClientRect();
    return {
      table: c.dataset.table, entry: c.dataset.entry, count: Number(c.dataset.count),
      lat: Number(c.dataset.lat), lon: Number(c.dataset.lon), offMap: c.classList.contains('off-map'),
      inside: box.width > 0 && box.left >= map.left && box.right <= map.right
        && box.top >= map.top && box.bottom <= map.bottom,
    };
  }));
  assert.equal(points.reduce((sum, p) => sum + p.count, 0), expected.spawns.length);
  assert.ok(points.some((p) => p.count > 1));
  for (const want of expected.spawns) {
    assert.ok(points.some((p) => p.table === want.table && p.entry === want.entry
      && Math.abs(p.lat - want.lat) < 1e-4 && Math.abs(p.lon - want.lon) < 1e-4),
    `no point for ${want.table} ${want.entry} at ${want.lat} ${want.lon}`);
  }
  points.forEach((p) => assert.ok(p.inside, `${p.entry} drawn outside the map`));
  // The evening rex lands far east: drawn at the edge and listed.
  assert.ok(points.some((p) => p.offMap && p.table === 'SpawnDinoX' && p.lon > 100));
  assert.equal(await page.locator('#off-map-list tbody tr').count(),
    points.filter((p) => p.offMap).length);
  // The random-position entry's four landing squares.
  assert.equal(await page.locator('#map-svg rect.square').count(), 4);
});

test('the legend has one colour per entry, and the map uses it', async () => {
  const legend = await page.$$eval('#map-legend li', (lis) => lis.map((li) => ({
    key: `${li.dataset.table} ${li.dataset.entry}`, colour: li.dataset.colour, text: li.textContent,
  })));
  assert.deepEqual(legend.map((l) => l.key),
    expected.entries.map((e) => `${e.table} ${e.entry}`));
  assert.equal(new Set(legend.map((l) => l.colour)).size, legend.length);
  const rexes = legend.filter((l) => l.key.endsWith('/Rex.Rex\''));
  assert.equal(rexes.length, 2);
  assert.match(rexes.find((l) => l.key.startsWith('SpawnDinoX')).text, /Evening rex/);
  const fills = await page.$$eval('#map-svg circle.spawn', (cs) => cs.map((c) => ({
    key: `${c.dataset.table} ${c.dataset.entry}`, fill: c.getAttribute('fill'),
  })));
  for (const { key, fill } of fills) {
    assert.equal(fill, legend.find((l) => l.key === key).colour, key);
  }
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
    assert.match(row.cells[10], /^2024-06-0[89] \d\d:\d\d:00$/);
  });
  // Worked out by hand: each clock entry falls due once a day, seven times.
  const clock = rows.filter((r) => r.table === 'SpawnDinoX');
  assert.deepEqual(clock.map((r) => Number(r.cells[3])), [7, 7]);
  const rex = rows.find((r) => r.table === 'SpawnDino' && r.entry.includes('/Rex.Rex'));
  assert.match(rex.cells[1], /Rex <the "king">/);
});

test('hovering a point shows its entry, time and position', async () => {
  const tip = page.locator('#tip');
  assert.equal(await tip.isVisible(), false);
  // The last point drawn lies on top of any it overlaps.
  const point = page.locator('#map-svg circle.spawn[data-count="1"]').last();
  await point.hover();
  assert.equal(await tip.isVisible(), true);
  const text = await tip.textContent();
  assert.match(text, /^SpawnDino.* · /);
  assert.match(text, /\n2024-06-0\d \d\d:\d\d:00\n/);
  assert.ok(text.includes(`Lat ${await point.getAttribute('data-lat')} Lon `), text);
  await page.mouse.move(2, 2);
  assert.equal(await tip.isVisible(), false);
});

test('the timeline has a row per entry, a clock-time axis and reload marks', async () => {
  const rows = await page.$$eval('#timeline-svg g.row', (gs) => gs.map((g) => ({
    entry: g.dataset.entry,
    turns: g.querySelectorAll('.mark').length
      + [...g.querySelectorAll('.bin')].reduce((sum, b) => sum + Number(b.dataset.count), 0),
  })));
  assert.deepEqual(rows.map((r) => r.entry), expected.entries.map((e) => e.entry));
  rows.forEach((row, i) => assert.equal(row.turns, expected.entries[i].fell_due));
  const labels = await page.$$eval('#timeline-svg .axis text', (ts) => ts.map((t) => t.textContent));
  assert.deepEqual(labels, ['Jun 02', 'Jun 03', 'Jun 04', 'Jun 05', 'Jun 06', 'Jun 07', 'Jun 08']);
  assert.equal(await page.locator('#timeline-svg .change.taken').count(), 2);
  assert.equal(await page.locator('#timeline-svg .change.refused').count(), 2);
});

test('a population chart per class with each entry\'s cap and spawns', async () => {
  const charts = await page.$$eval('#population figure.population', (fs) => fs.map((f) => ({
    reference: f.dataset.class,
    lines: f.querySelectorAll('path.count-line').length,
    caps: [...f.querySelectorAll('path.cap-line')].map((p) => ({
      table: p.dataset.table, entry: p.dataset.entry, caps: p.dataset.caps,
      colour: p.getAttribute('stroke'),
    })),
    spawns: f.querySelectorAll('circle.pop-spawn').length,
  })));
  const classes = [...new Set(expected.caps.map((c) => c.class))];
  assert.deepEqual(new Set(charts.map((c) => c.reference)), new Set(classes));
  // The misspelt dodo's class never loaded: a line, no chart with room to spawn.
  const neverLoaded = expected.entries.filter((e) => e.class_unknown > 0 && e.spawned === 0)
    .map((e) => e.entry);
  assert.ok(neverLoaded.length > 0);
  const lines = await page.$$eval('#population figure.never-loaded',
    (fs) => fs.map((f) => ({ reference: f.dataset.class, text: f.textContent })));
  assert.deepEqual(lines.map((l) => l.reference), neverLoaded);
  lines.forEach((l) => assert.match(l.text, /never loaded, so its entries never spawned/));
  for (const chart of charts.filter((c) => !neverLoaded.includes(c.reference))) {
    assert.equal(chart.lines, 1);
    assert.deepEqual(chart.caps.map(({ colour, ...cap }) => cap),
      expected.caps.filter((c) => c.class === chart.reference)
        .map(({ class: _, ...cap }) => cap));
    assert.equal(chart.spawns, expected.spawns.filter((s) => s.entry === chart.reference).length);
  }
  const rex = charts.find((c) => c.reference.endsWith('/Rex.Rex\''));
  assert.equal(rex.caps.length, 2);
  assert.notEqual(rex.caps[0].colour, rex.caps[1].colour);
});

test('the filter boxes hide the rows and legend items that do not match', async () => {
  const box = page.locator('#entries input.filter');
  await box.fill('REX');
  const shown = await page.$$eval('#entry-table tbody tr:not([hidden])', (trs) => trs.map(
    (tr) => tr.dataset.entry));
  assert.deepEqual(shown, expected.entries.map((e) => e.entry).filter((e) => e.includes('Rex')));
  assert.equal(await page.locator('#entries .filter-count').textContent(),
    `2 of ${expected.entries.length}`);
  await box.fill('');
  assert.equal(await page.locator('#entry-table tbody tr:not([hidden])').count(),
    expected.entries.length);
  await page.locator('#map input.filter').fill('evening');
  assert.equal(await page.locator('#map-legend li:not([hidden])').count(), 1);
  await page.locator('#map input.filter').fill('');
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
  const points = await simPage.$$eval('#map-svg circle.spawn', (cs) => cs.map((c) => ({
    path: c.dataset.class, count: Number(c.dataset.count),
  })));
  assert.equal(points.reduce((sum, p) => sum + p.count, 0), spawns.length);
  assert.deepEqual(new Set(points.map((p) => p.path)), new Set(spawns.map((s) => s.class)));
  const spawned = await simPage.$$eval('#entry-table tbody tr',
    (trs) => trs.map((tr) => Number(tr.querySelectorAll('td')[4].textContent)));
  assert.equal(spawned.reduce((a, b) => a + b, 0), spawns.length);
  assert.equal(await simPage.locator('#time-zone').textContent(), 'UTC');
  await simPage.close();
});
