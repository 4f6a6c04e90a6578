// The web module against the native programs: the same inputs give the same
// events line for line as drovekeeper-sim (paths of the server directory
// aside), and dk_check prints what drovekeeper-check prints. Run by ctest of
// the build-web tree with DROVEKEEPER_WEB_MODULE, DROVEKEEPER_NATIVE_BIN and
// DROVEKEEPER_SOURCE_DIR set (tests/web/CMakeLists.txt). clock_probe.cc holds
// the C runtime's local time of the two builds equal.
import assert from 'node:assert/strict';
import {execFileSync, spawnSync} from 'node:child_process';
import fs from 'node:fs';
import {createRequire} from 'node:module';
import os from 'node:os';
import path from 'node:path';
import test from 'node:test';

const source = process.env.DROVEKEEPER_SOURCE_DIR;
const nativeBin = process.env.DROVEKEEPER_NATIVE_BIN;
const examples = path.join(source, 'examples');
const read = (file) => fs.readFileSync(file, 'utf8');

let web;
async function module() {
  if (!web) {
    const factory = createRequire(import.meta.url)(process.env.DROVEKEEPER_WEB_MODULE);
    const m = await factory();
    const call = (name, types) => {
      const f = m.cwrap(name, 'string', types);
      return (...args) => JSON.parse(f(...args));
    };
    web = {
      check: call('dk_check', ['string', 'string']),
      begin: call('dk_preview_begin', ['string']),
      advance: call('dk_preview_advance', ['number']),
      finish: call('dk_preview_finish', []),
    };
  }
  return web;
}

function scratch() {
  return fs.mkdtempSync(path.join(os.tmpdir(), 'drovekeeper-web-test-'));
}

// The server directory's name differs from run to run.
const normalised = (events) =>
    events.replace(/\/tmp\/drovekeeper-sim-[A-Za-z0-9]{6}/g, '<server>').split('\n');

// One preview both ways: `inputs` as the page's settings give them.
async function bothWays(inputs) {
  const dir = scratch();
  const args = ['--config', 'config.json', '--tz', inputs.zone, '--start', `${inputs.start}:00`,
                '--minutes', String(inputs.minutes), '--events', 'events.jsonl'];
  fs.writeFileSync(path.join(dir, 'config.json'), inputs.config);
  if (inputs.world) {
    fs.writeFileSync(path.join(dir, 'world.json'), inputs.world);
    args.push('--world', 'world.json');
  }
  if (inputs.script) {
    fs.writeFileSync(path.join(dir, 'script.json'), inputs.script);
    args.push('--script', 'script.json');
  }
  const native = spawnSync(path.join(nativeBin, 'drovekeeper-sim'), args, {cwd: dir});
  assert.equal(native.status, 0, native.stderr.toString());
  const nativeEvents = read(path.join(dir, 'events.jsonl'));
  fs.rmSync(dir, {recursive: true});

  const m = await module();
  assert.deepEqual(m.begin(JSON.stringify({
    config: inputs.config, config_name: 'config.json', world: inputs.world ?? null,
    script: inputs.script ?? null, files: {}, start: inputs.start,
    minutes: inputs.minutes, zone: inputs.zone,
  })), {ok: true});
  let progress;
  do {
    progress = m.advance(50);
  } while (!progress.done);
  const result = m.finish();
  assert.equal(result.stopped, false);
  assert.match(result.report_html, /<html/);
  assert.ok(nativeEvents.split('\n').length > 20, 'the run has events to compare');
  assert.deepEqual(normalised(result.events_jsonl), normalised(nativeEvents));
}

test('the example with its script over a week across the spring change in Berlin', () =>
  bothWays({config: read(path.join(examples, 'config.json')),
            script: read(path.join(examples, 'script.json')),
            start: '2026-03-27 12:00', minutes: 7 * 1440, zone: 'Europe/Berlin'}));

test('a 2:30 entry over a week across the autumn change in Berlin, asked for its status', () => {
  const config = JSON.parse(read(path.join(examples, 'config.json')));
  const dunehopper = Object.values(config.SpawnDinoX)[1];
  dunehopper.SpawnInterval = '2:30';
  dunehopper.Worldmaximum = 10;
  // Before the change, and in the hour the clocks show twice (02:40 CET).
  const script = [3700, 3790].map((minute) => ({minute, rcon: 'Drovekeeper.status --all'}));
  return bothWays({config: JSON.stringify(config, null, 2), script: JSON.stringify(script),
                   start: '2026-10-22 12:00', minutes: 7 * 1440, zone: 'Europe/Berlin'});
});

test('a generated configuration of 200 entries over a day in New York', () => {
  const dir = scratch();
  execFileSync('sh', [path.join(source, 'scripts/large_config.sh'), '200',
                      path.join(dir, 'config.json'), path.join(dir, 'world.json')]);
  const inputs = {config: read(path.join(dir, 'config.json')),
                  world: read(path.join(dir, 'world.json')),
                  start: '2026-11-01 00:00', minutes: 1440, zone: 'America/New_York'};
  fs.rmSync(dir, {recursive: true});
  return bothWays(inputs);
});

test('dk_check prints what drovekeeper-check prints', async () => {
  const native = spawnSync(path.join(nativeBin, 'drovekeeper-check'), ['broken_config.json'],
                           {cwd: examples});
  const result = (await module()).check('broken_config.json',
                                        read(path.join(examples, 'broken_config.json')));
  assert.equal(result.exit, native.status);
  assert.equal(result.output, native.stdout.toString() + native.stderr.toString());
});

test("the C runtime's local time is the native one", () => {
  // Zones whose abbreviations the JavaScript engine names as the zone files do.
  for (const zone of ['Europe/Berlin', 'America/New_York', 'Australia/Sydney', 'Europe/London',
                      'America/Santiago', 'Pacific/Auckland', 'UTC']) {
    const native = execFileSync(path.join(nativeBin, 'clock_probe'), [zone]).toString();
    const web = execFileSync(process.execPath, [process.env.DROVEKEEPER_WEB_CLOCK_PROBE, zone])
                    .toString();
    assert.equal(web, native, zone);
  }
});

test('a preview refuses bad input with one message', async () => {
  const m = await module();
  const good = {config: read(path.join(examples, 'config.json')), world: null, script: null,
                start: '2026-03-27 12:00', minutes: 60, zone: 'Europe/Berlin'};
  const cases = [
    [{start: '2026-03-29 02:30'}, /does not exist in the time zone Europe\/Berlin/],
    [{start: '2026-10-25 02:30'}, /happens twice in the time zone Europe\/Berlin/],
    [{minutes: 366 * 1440}, /over a month \(44640 minutes\)/],
    [{zone: 'Mars/Olympus'}, /unknown time zone "Mars\/Olympus"/],
    // A UTF-16 file as a browser reads it as UTF-8, with and without its mark.
    [{config: '\ufffd\ufffd{\0}\0'}, /config.json: the file is UTF-16/],
    [{config: '{\0}\0'}, /config.json: the file is UTF-16/],
    [{config: '{"SpawnDino": '}, /config.json is not JSON/],
    [{config: '{}'.padEnd(10 * 1024 * 1024 + 1)}, /over 10 MB/],
    [{world: '{"classes": ['}, /world.json/],
    [{script: '[{"rcon": "Drovekeeper.reload"}]'}, /script.json: \[0\]\.minute: missing/],
  ];
  for (const [change, message] of cases) {
    const reply = m.begin(JSON.stringify({...good, ...change}));
    assert.equal(reply.ok, false, JSON.stringify(change).slice(0, 80));
    assert.match(reply.error, message);
  }
  assert.equal(m.begin('not json').ok, false);
  // Refused settings leave the module able to run the next preview.
  assert.deepEqual(m.begin(JSON.stringify(good)), {ok: true});
  assert.equal(m.finish().stopped, true);
});
