// The preview page's worker: runs the WebAssembly module (DrovekeeperWeb, placed
// before this script in the same blob by web/page/pack.mjs) off the page's thread.
// The page keeps one worker for the checker and starts a fresh one for each
// preview, so a run never delays a check and ending a run leaves no state behind.
//
// Messages in:  {kind: 'check', id, name, text}  {kind: 'run', settings}  {kind: 'stop'}
// Messages out: {kind: 'checked', id, exit, output}  {kind: 'refused', error}
//               {kind: 'progress', at, share}  {kind: 'finished', report_html, events_jsonl,
//               console, stopped}  {kind: 'failed', error}
'use strict';

// Wall time per dk_preview_advance call: the page's progress and Stop are
// answered between calls, so this is also their latency.
const kAdvanceBudgetMs = 200;

let api = null;
const waiting = [];
let stopping = false;

const fail = (error) => postMessage({ kind: 'failed', error: String(error && error.message || error) });

DrovekeeperWeb().then((module) => {
  const call = (name, types) => module.cwrap(name, 'string', types);
  api = {
    check: call('dk_check', ['string', 'string']),
    begin: call('dk_preview_begin', ['string']),
    advance: call('dk_preview_advance', ['number']),
    finish: call('dk_preview_finish', []),
  };
  waiting.splice(0).forEach(handle);
}, fail);

onmessage = (event) => {
  if (event.data.kind === 'stop') stopping = true;
  else if (api) handle(event.data);
  else waiting.push(event.data);
};

function handle(message) {
  try {
    if (message.kind === 'check') {
      const { exit, output } = JSON.parse(api.check(message.name, message.text));
      postMessage({ kind: 'checked', id: message.id, exit, output });
    } else if (message.kind === 'run') {
      const begun = JSON.parse(api.begin(JSON.stringify(message.settings)));
      if (!begun.ok) {
        postMessage({ kind: 'refused', error: begun.error });
        return;
      }
      advance();
    }
  } catch (error) {
    fail(error);
  }
}

// A message channel rather than setTimeout: nested timers are clamped to 4 ms,
// and a Stop posted by the page is taken before the next step either way.
const next = new MessageChannel();
next.port1.onmessage = advance;

function advance() {
  try {
    if (!stopping) {
      const step = JSON.parse(api.advance(kAdvanceBudgetMs));
      postMessage({ kind: 'progress', at: step.at, share: step.share });
      if (!step.done) {
        next.port2.postMessage(null);
        return;
      }
    }
    postMessage({ kind: 'finished', ...JSON.parse(api.finish()) });
  } catch (error) {
    fail(error);
  }
}
