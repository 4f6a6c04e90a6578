// docs/config.schema.json against drovekeeper-check: a validator's verdict on
// a table of files agrees with the checker's, and an editor's JSON language
// service shows the examples as the checker sees them.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import Ajv from 'ajv';
import languageService from 'vscode-json-languageservice';

const { getLanguageService, TextDocument } = languageService;

const root = new URL('../../', import.meta.url).pathname;
const schema = JSON.parse(readFileSync(join(root, 'docs/config.schema.json'), 'utf8'));
const checker = process.env.CHECKER;

const name = "Blueprint'/Game/A/A_BP.A_BP'";
const clean = {
  SpawnInterval: 5, Worldmaximum: 2, Position: '100 -200 300', PositionRangeRandom: false,
  Maxlevel: 10, levelFixed: true, SpawnNotice: true, Name: 'Rex',
};
// A file of one entry; a key set to undefined is left out.
const entry = (changes, table = 'SpawnDino', entryName = name) => JSON.stringify({
  [table]: { [entryName]: { ...clean, ...(table === 'SpawnDinoX' && { SpawnInterval: '7:5' }), ...changes } },
}, null, 2);
const clock = (changes) => entry(changes, 'SpawnDinoX');
const named = (entryName) => entry({}, 'SpawnDino', entryName);

// [file, the checker's worst finding, whether the schema can say it too]:
// where it can, the schema accepts exactly the files the checker finds
// neither errors nor warnings in; where it cannot, it accepts the file.
const cases = [
  ['example', readFileSync(join(root, 'examples/config.json'), 'utf8'), 'clean'],
  ['broken example', readFileSync(join(root, 'examples/broken_config.json'), 'utf8'), 'error'],
  ['schema member', `{"$schema": "./config.schema.json", ${entry({}).slice(1)}`, 'clean'],
  ['notes only', entry({ SpawnInterval: 30, Maxlevel: 0, levelFixed: false }), 'clean'],
  ['empty tables', '{"SpawnDino": null, "SpawnDinoX": []}', 'clean'],
  ['no notice, no name', entry({ SpawnNotice: false, Name: undefined }), 'clean'],
  ['syntax error', entry({}).replace('false,', 'false'), 'error'],
  ['table not an object', '{"SpawnDino": 5}', 'error'],
  ['entry not an object', `{"SpawnDinoX": {"${name}": []}}`, 'error'],
  ['countdown as text', entry({ SpawnInterval: '30' }), 'error'],
  ['clock as number', clock({ SpawnInterval: 1230 }), 'error'],
  ['key missing', entry({ Position: undefined }), 'error'],
  ['name missing with notice', entry({ Name: undefined }), 'error'],
  ['boolean as text', entry({ levelFixed: 'true' }), 'error'],
  ['fixed level 0', entry({ Maxlevel: 0 }), 'error'],
  ['position not numbers', entry({ Position: '100 x 300' }), 'error'],
  ['fraction beyond 32 bits', entry({ Worldmaximum: 1 }).replace(': 1,', ': 1e12,'), 'error'],
  ['fraction', entry({ SpawnInterval: 29.5 }), 'warning'],
  ['boolean as number', entry({ Worldmaximum: true }), 'warning'],
  ['integer beyond 32 bits', entry({ Maxlevel: 4294967446 }), 'warning'],
  ['cap 0', entry({ Worldmaximum: 0 }), 'warning'],
  ['two position numbers', entry({ Position: '1 2' }), 'warning'],
  ['clock leading zero', clock({ SpawnInterval: '07:05' }), 'warning'],
  ['unknown key', entry({ Worldmaximun: 5 }), 'warning'],
  ['unknown member', '{"Comment": "x"}', 'warning'],
  ['plain path', named('/Game/A/A_BP.A_BP'), 'warning'],
  ['high bytes', named("Blueprint'/Game/Ä/Ä.Ä'"), 'warning'],
  ['text after the end', `${entry({})}\n// kept`, 'warning'],
  // The checker's alone.
  ['position beyond 32 bits', entry({ Position: '1 2 99999999999' }), 'error', 'checker'],
  ['letter-case twins', `{"SpawnDino": {"${name}": ${JSON.stringify(clean)}, ` +
    `"${name.replace('/A/', '/a/')}": ${JSON.stringify(clean)}}}`, 'warning', 'checker'],
  ['repeated key', entry({}).replace('"Worldmaximum": 2', '"Worldmaximum": 1, "Worldmaximum": 2'),
    'warning', 'checker'],
];

// The checker's findings of every file, by file.
function check(files) {
  let out;
  try {
    out = execFileSync(checker, ['--json', ...files], { encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore'] });
  } catch (e) {
    out = e.stdout;
  }
  const found = new Map(files.map((file) => [file, []]));
  for (const finding of JSON.parse(out)) found.get(finding.file).push(finding);
  return found;
}

function worst(findings) {
  const severities = new Set(findings.map((f) => f.severity));
  return severities.has('error') ? 'error' : severities.has('warning') ? 'warning' : 'clean';
}

test('the validator agrees with the checker on every file', () => {
  const dir = mkdtempSync(join(tmpdir(), 'schema-'));
  try {
    const files = cases.map(([label, text], i) => {
      const file = join(dir, `${i}.json`);
      writeFileSync(file, text);
      return file;
    });
    const found = check(files);
    // patternErrorMessage is the editors' own word for a pattern's message.
    const validate = new Ajv({ allErrors: true, strictTypes: false })
      .addKeyword('patternErrorMessage').compile(schema);
    cases.forEach(([label, text, expected, whose], i) => {
      assert.equal(worst(found.get(files[i])), expected, `${label}: the checker`);
      let valid;
      try {
        valid = validate(JSON.parse(text));
      } catch {
        valid = false;  // not JSON to a validator either
      }
      assert.equal(valid, whose === 'checker' || expected === 'clean',
        `${label}: the validator: ${JSON.stringify(validate.errors)}`);
    });
  } finally {
    rmSync(dir, { recursive: true });
  }
});

// As an editor shows the examples, told of the schema by its settings or by
// the file's "$schema" member: the example with no problem, the broken one
// with a problem on each line the checker finds an error or warning on, and
// on no other line.
test('an editor shows the problems at the lines the checker finds them', async () => {
  const lines = async (file, settings, text = readFileSync(join(root, file), 'utf8')) => {
    const service = getLanguageService({
      schemaRequestService: async (uri) => readFileSync(fileURLToPath(uri), 'utf8'),
      workspaceContext: { resolveRelativePath: (path, base) => new URL(path, base).href },
    });
    service.configure({ validate: true, schemas: settings });
    const document = TextDocument.create(pathToFileURL(join(root, file)).href, 'json', 1, text);
    const diagnostics = await service.doValidation(document, service.parseJSONDocument(document));
    return new Set(diagnostics.map((d) => d.range.start.line + 1));
  };
  const settings = [{ uri: pathToFileURL(join(root, 'docs/config.schema.json')).href, fileMatch: ['config.json'] }];
  assert.deepEqual(await lines('examples/config.json', settings), new Set());
  const broken = 'examples/broken_config.json';
  const member = readFileSync(join(root, broken), 'utf8').replace('{', '{"$schema": "../docs/config.schema.json",');
  const said = check([join(root, broken)]).get(join(root, broken))
    .filter((f) => f.severity !== 'note' && !f.message.includes('only in letter case'));
  // The editor marks both copies of a repeated key, the checker names the first.
  const first = said.flatMap((f) => f.message.match(/first on line (\d+)/)?.[1] ?? []).map(Number);
  assert.deepEqual(await lines(broken, [], member), new Set([...said.map((f) => f.line), ...first]));
});
