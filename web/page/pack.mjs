// Packs the preview page into one self-contained HTML file: page.css and
// page.js inlined, the single-file WebAssembly module and worker.js inlined as
// the worker's source (the page starts its workers from a Blob of it, so the
// file works opened from disk), and the example configuration for its button.
// Usage: node pack.mjs --module drovekeeper-web.js --out drovekeeper-preview.html
//                      [--example config.json]
import { readFileSync, writeFileSync } from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { parseArgs } from 'node:util';

const kMostBytes = 5 * 1000 * 1000;

const { values: options } = parseArgs({
  options: { module: { type: 'string' }, out: { type: 'string' }, example: { type: 'string' } },
});
if (!options.module || !options.out) {
  console.error('usage: pack.mjs --module drovekeeper-web.js --out FILE.html [--example config.json]');
  process.exit(2);
}
const here = path.dirname(fileURLToPath(import.meta.url));
const read = (file) => readFileSync(file, 'utf8');

// Text inside a <script> element ends at the first "</script"; "<!--" would
// change how the parser looks for it. Both only occur inside strings, regular
// expressions and comments, where the escaped forms mean the same.
function scriptText(text) {
  return text.replace(/<\/(script)/gi, '<\\/$1').replace(/<!--/g, '<\\x21--');
}

// The example is data: a hidden textarea's escaped text gives it back byte for byte.
function dataText(text) {
  return text.replace(/&/g, '&amp;').replace(/</g, '&lt;');
}

// A function as replacement, so "$" in the inserted text stays literal.
function swap(html, marker, text) {
  if (!html.includes(marker)) throw new Error(`index.html lacks ${marker}`);
  return html.replace(marker, () => text);
}

let html = read(path.join(here, 'index.html'));
html = swap(html, '<link rel="stylesheet" href="page.css">', `<style>\n${read(path.join(here, 'page.css'))}</style>`);
html = swap(html, '<script src="page.js"></script>', `<script>\n${scriptText(read(path.join(here, 'page.js')))}</script>`);
const worker = `${read(options.module)}\n;\n${read(path.join(here, 'worker.js'))}`;
html = swap(html, '<!-- worker -->',
  `<script type="text/plain" id="worker-source">\n${scriptText(worker)}</script>`);
html = swap(html, '<!-- example -->', options.example
  ? `<textarea id="example-config" hidden>${dataText(read(options.example))}</textarea>` : '');

const size = Buffer.byteLength(html);
if (size >= kMostBytes) {
  console.error(`pack.mjs: the page would be ${size} bytes, over the ${kMostBytes} allowed`);
  process.exit(1);
}
writeFileSync(options.out, html);
console.log(`pack.mjs: ${options.out} (${(size / 1e6).toFixed(2)} MB)`);
