// The simulated pad's own thread, for the page's tests: it takes the page's reports and sends
// its answers when their time comes, as a pad on USB does while the page's thread is busy
// drawing. Messages in: {id, op: 'create' | 'write' | 'received' | 'unplug', ...}; out: the
// answer {id, result}, {op: 'report', bytes} for each input report and {op: 'left'} when the
// pad leaves the bus by itself (it restarts after an update).
// Run as a SharedWorker, one pad serves every tab that connects, as hidraw serves every program
// that opens a pad: each gets every input report, and each one's reports reach the pad. The
// first 'create' makes the pad; later ones join it.
import createSimulatedPad from './simulated_pad.js';

// Where the page is served cross-origin isolated (as the tests serve it), a wait on shared
// memory sleeps to the due time without holding a core; elsewhere the wait spins.
const sleeper = typeof SharedArrayBuffer === 'function' ? new Int32Array(new SharedArrayBuffer(4)) : null;
function sleep(ms) {
  if (sleeper) {
    Atomics.wait(sleeper, 0, 0, ms);
    return;
  }
  const until = performance.now() + ms;
  while (performance.now() < until);
}

// How long a pad takes to leave the bus once told to restart.
const kRestartMs = 50;

let module = null;
let pad = null;
let afterSuccess = null;  // 'stays' (answers as its new firmware), 'staysSilent', or it leaves
let restarted = false;
let timer = null;
const openers = new Set();
const toAll = (message) => openers.forEach((opener) => opener.postMessage(message));

// Answers falling due within a few ms are waited for here, more finely than timers allow.
function deliverWhenDue() {
  timer = null;
  for (;;) {
    const wait = pad.msUntilDue();
    if (wait < 0) return;
    if (wait > 3) {
      timer = setTimeout(deliverWhenDue, wait - 2);
      return;
    }
    sleep(wait);
    for (let report = pad.takeDue(); report; report = pad.takeDue()) toAll({ op: 'report', bytes: report });
  }
}

function restart() {
  restarted = true;
  pad.restart(afterSuccess === 'stays');
  if (afterSuccess === 'stays' || afterSuccess === 'staysSilent') return;
  setTimeout(() => {
    pad.unplug();
    toAll({ op: 'left' });
  }, kRestartMs);
}

const operations = {
  create: ({ behaviour }) => {
    if (pad && !pad.gone()) return true;  // another tab opens the same pad
    pad = new module.SimulatedPad(behaviour);
    afterSuccess = behaviour.afterSuccess ?? null;
    restarted = false;
    return true;
  },
  write: ({ bytes }) => {
    const taken = pad.write(bytes);
    if (pad.finished() && !restarted) restart();
    clearTimeout(timer);
    queueMicrotask(deliverWhenDue);  // once the answer to this write has gone
    return { taken, gone: pad.gone() };
  },
  received: () => {
    const got = pad.received();
    return { ...got, payload: Array.from(got.payload) };
  },
  unplug: () => pad.unplug(),
};

// Messages that come while the module loads wait for it, in order.
let queue = createSimulatedPad().then((loaded) => {
  module = loaded;
});
function serve(opener) {
  openers.add(opener);
  opener.onmessage = ({ data }) => {
    queue = queue.then(() => opener.postMessage({ id: data.id, result: operations[data.op](data) }));
  };
}
if (typeof SharedWorkerGlobalScope === 'function' && self instanceof SharedWorkerGlobalScope) onconnect = ({ ports }) => serve(ports[0]);
else serve(self);
