// The simulated pad's own thread, for the page's tests: it takes the page's reports and sends
// its answers when their time comes, as a pad on USB does while the page's thread is busy
// drawing. Messages in: {id, op: 'create' | 'write' | 'received' | 'unplug', ...}; out: the
// answer {id, result}, and {op: 'report', bytes} for each input report.
import createFakePad from './fake_pad.js';

let module = null;
let pad = null;
let timer = null;

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
    const until = performance.now() + wait;
    while (performance.now() < until);
    for (let report = pad.takeDue(); report; report = pad.takeDue()) postMessage({ op: 'report', bytes: report });
  }
}

const operations = {
  create: ({ behaviour }) => {
    pad = new module.FakePad(behaviour);
    return true;
  },
  write: ({ bytes }) => {
    const taken = pad.write(bytes);
    clearTimeout(timer);
    queueMicrotask(deliverWhenDue);  // once the answer to this write has gone
    return { taken, gone: pad.gone(), finished: pad.finished() };
  },
  received: () => {
    const got = pad.received();
    return { ...got, payload: Array.from(got.payload) };
  },
  unplug: () => pad.unplug(),
};

// Messages that come while the module loads wait for it, in order.
let queue = createFakePad().then((loaded) => {
  module = loaded;
});
onmessage = ({ data }) => {
  queue = queue.then(() => postMessage({ id: data.id, result: operations[data.op](data) }));
};
