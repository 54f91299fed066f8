// The simulated pad's own thread, for the page's tests: it takes the page's reports and sends
// its answers when their time comes, as a pad on USB does while the page is busy. Messages in:
// {id, op: 'create' | 'write' | 'listen' | 'received' | 'unplug', ...}, and {op: 'attach', port}
// for one more context's line to it (the page's worker's); out: the answer {answer: id, result},
// {op: 'report', bytes} for each input report to every line that listens (its device is open),
// and {op: 'left'} to every line when the pad leaves the bus (unplugged, vanished, restarted).
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
let writesLeft = Infinity;  // writes the link takes before it refuses every one (refuseWritesAfter)
let restarted = false;
let timer = null;
let announcedLeft = false;
const openers = new Set();
const listeners = new Set();
const toListeners = (message) => listeners.forEach((opener) => opener.postMessage(message));

function leave() {
  pad.unplug();
  if (announcedLeft) return;
  announcedLeft = true;
  openers.forEach((opener) => opener.postMessage({ op: 'left' }));
}

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
    for (let report = pad.takeDue(); report; report = pad.takeDue()) toListeners({ op: 'report', bytes: report });
  }
}

function restart() {
  restarted = true;
  pad.restart(afterSuccess === 'stays');
  if (afterSuccess === 'stays' || afterSuccess === 'staysSilent') return;
  setTimeout(leave, kRestartMs);
}

const operations = {
  create: ({ behaviour }) => {
    if (pad && !pad.gone()) return true;  // another tab opens the same pad
    pad = new module.SimulatedPad(behaviour);
    afterSuccess = behaviour.afterSuccess ?? null;
    writesLeft = behaviour.refuseWritesAfter ?? Infinity;
    restarted = false;
    announcedLeft = false;
    return true;
  },
  write: ({ bytes }) => {
    if (writesLeft <= 0) return { taken: false };
    writesLeft -= 1;
    const taken = pad.write(bytes);
    if (pad.finished() && !restarted) restart();
    clearTimeout(timer);
    queueMicrotask(deliverWhenDue);  // once the answer to this write has gone
    if (pad.gone()) leave();
    return { taken };
  },
  listen: ({ on }, opener) => {
    if (on) listeners.add(opener);
    else listeners.delete(opener);
  },
  received: () => {
    const got = pad.received();
    return { ...got, payload: Array.from(got.payload) };
  },
  unplug: leave,
};

// Messages that come while the module loads wait for it, in order.
let queue = createSimulatedPad().then((loaded) => {
  module = loaded;
});
function serve(opener) {
  openers.add(opener);
  opener.onmessage = ({ data }) => {
    if (data.op === 'attach') serve(data.port);
    else queue = queue.then(() => opener.postMessage({ answer: data.id, result: operations[data.op](data, opener) }));
  };
}
if (typeof SharedWorkerGlobalScope === 'function' && self instanceof SharedWorkerGlobalScope) onconnect = ({ ports }) => serve(ports[0]);
else serve(self);
