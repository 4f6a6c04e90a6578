// Measures the preview page in headless Chromium and prints the figures (none
// is asserted): first paint, the checker's findings after a keystroke on a
// 300-entry file, the example over a week and 200 entries over a week; beside
// the native simulator's time for the same runs when it is built.
// Usage: node measure.mjs   (PREVIEW_PAGE, CHROMIUM and SIM override the defaults)
import { execFileSync } from 'node:child_process';
import { existsSync, mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const pagePath = process.env.PREVIEW_PAGE ?? path.join(root, 'build-web/web/drovekeeper-preview.html');
const sim = process.env.SIM ?? path.join(root, 'build/bin/drovekeeper-sim');
const examples = path.join(root, 'examples');
const scratch = mkdtempSync(path.join(tmpdir(), 'preview-measure-'));

function generated(entries) {
  const config = path.join(scratch, `config-${entries}.json`);
  const world = path.join(scratch, `world-${entries}.json`);
  execFileSync('sh', [path.join(root, 'scripts/large_config.sh'), String(entries), config, world]);
  return { config, world };
}

function median(values) {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.floor(sorted.length / 2)];
}

const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
  args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking'],
});
const figures = [];
const say = (what, web, native) => {
  figures.push([what, web, native]);
  console.log(`${what}: ${web}${native ? ` (native ${native})` : ''}`);
};

async function freshPage() {
  const page = await browser.newPage({ viewport: { width: 1300, height: 900 } });
  await page.goto(pathToFileURL(pagePath).href);
  return page;
}

// First paint of a fresh page.
{
  const page = await freshPage();
  const paint = await page.evaluate(() => new Promise((resolve) => {
    const seen = () => performance.getEntriesByName('first-contentful-paint')[0];
    if (seen()) resolve(seen().startTime);
    else new PerformanceObserver(() => resolve(seen().startTime)).observe({ type: 'paint' });
  }));
  say('first paint', `${paint.toFixed(0)} ms`);
  await page.close();
}

// A keystroke in a 300-entry file, until its findings are on the page.
{
  const page = await freshPage();
  const { config } = generated(300);
  await page.locator('#config-file').setInputFiles(config);
  await page.locator('#findings .line').first().waitFor();
  await page.waitForFunction(() => document.querySelector('#check-state').textContent !== 'checking…');
  const times = [];
  for (let i = 0; i < 7; ++i) {
    const shown = page.evaluate(() => new Promise((resolve) => {
      const editor = document.querySelector('#config-text');
      let pressed = 0;
      editor.addEventListener('keydown', (event) => { pressed = event.timeStamp; }, { once: true });
      const watch = new MutationObserver(() => {
        watch.disconnect();
        resolve(performance.now() - pressed);
      });
      watch.observe(document.querySelector('#findings'), { childList: true });
    }));
    await page.$eval('#config-text', (editor) => {
      editor.focus();
      editor.setSelectionRange(1, 1);
    });
    await page.keyboard.type(' ');
    times.push(await shown);
  }
  say('checker findings after a keystroke (300 entries, median of 7)', `${median(times).toFixed(0)} ms`);
  await page.close();
}

// Wall seconds of a native run, or null without the simulator.
function native(args) {
  if (!existsSync(sim)) return null;
  const started = process.hrtime.bigint();
  execFileSync(sim, [...args, '--start', '2024-03-01 06:00:00', '--minutes', String(7 * 1440),
    '--events', path.join(scratch, 'events.jsonl')], { env: { ...process.env, TZ: 'UTC' }, stdio: 'ignore' });
  return `${(Number(process.hrtime.bigint() - started) / 1e9).toFixed(1)} s`;
}

// A week's preview from the click to the report on the page.
async function week(what, { config, world, script, files }) {
  const page = await freshPage();
  await page.locator('#config-file').setInputFiles(config);
  if (world) await page.locator('#world-file').setInputFiles(world);
  if (script) await page.locator('#script-file').setInputFiles(script);
  if (files) await page.locator('#script-files').setInputFiles(files);
  await page.locator('#start').fill('2024-03-01T06:00');
  await page.locator('#span').fill('7');
  await page.locator('#span-unit').selectOption({ label: 'days' });
  await page.locator('#zone').selectOption('UTC');
  const started = Date.now();
  await page.locator('#run').click();
  await page.locator('#result').waitFor({ state: 'visible', timeout: 600000 });
  const web = `${((Date.now() - started) / 1000).toFixed(1)} s`;
  const args = ['--config', config, ...(world ? ['--world', world] : []),
    ...(script ? ['--script', script] : [])];
  say(what, web, native(args));
  await page.close();
}

await week('the example over a week', {
  config: path.join(examples, 'config.json'),
  script: path.join(examples, 'script.json'),
  files: path.join(examples, 'config.json'),
});
await week('200 entries over a week', generated(200));

await browser.close();
rmSync(scratch, { recursive: true, force: true });
console.log(`\n| Measured in headless Chromium | Web | Native |\n|---|---|---|\n${
  figures.map(([what, web, nativeTime]) => `| ${what} | ${web} | ${nativeTime ?? '-'} |`).join('\n')}`);
