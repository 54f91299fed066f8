// The page's worker: the engine (in WebAssembly) and the pad over WebHID, away from the window's
// drawing, so that a busy window never delays the pad. The window asks for the pad (requestDevice
// needs its click) and shows what the engine tells; this worker takes the granted pad from
// navigator.hid.getDevices(), opens it, follows its arrival and removal and runs the updates.
// Each input report goes into the engine's fixed input buffer and each report it sends leaves
// from its fixed output buffer: a report costs no message to the window, no chain of promises
// and no allocation of the page's own.
// Messages in: {op: 'takeUp' | 'chooseImage' | 'startUpdate' | 'answer' | 'stamps' | 'report', args}; out:
// {op, args} with op one of the view's calls, 'ready' or 'failed' (the engine did not load),
// 'padOpened', 'openFailed', 'padLeft', and the answers 'takenUp', 'chosen', 'answered', 'stamps' and 'report'.
import { reportText } from './report.js';
import { reportStamps } from './report-stamps.js';

const kSilenceCheckMs = 250;
const post = (op, ...args) => postMessage({ op, args });

let engine = null;
let page = null;
let identity = null;
let pad = null;         // the open HIDDevice, or null
let input = null;       // the engine's input and output buffers, as views of its memory
let output = null;
const stamps = reportStamps(new URL(import.meta.url).searchParams.has('measure'));

// The engine's memory is replaced when it grows: the views are taken anew then.
function viewBuffers() {
  input = new Uint8Array(engine.HEAPU8.buffer, engine._morvik_input_buffer(), engine.reportSize);
  output = new Uint8Array(engine.HEAPU8.buffer, engine._morvik_output_buffer(), engine.reportSize);
}

// ---------------------------------------------------------------- sends, in order

// A send goes out at once when none is pending; one that comes while another is pending waits
// in a copy of its own, taken from slots kept for reuse, and goes out when the one before settled.
const waiting = [];     // copies of reports waiting their turn, oldest first
const spare = [];       // slots for reuse
let pending = false;
// What a send to the open pad does when it settles: made once per pad opened, never per report.
let sendSettled = null;
let sendRejected = null;

function settleHandlers(device) {
  sendSettled = () => {
    if (device !== pad) return;  // a send to a pad since gone: the new one's sends are not its
    pending = false;
    const next = waiting.shift();
    if (!next) return;
    sendNow(next);
    spare.push(next);  // WebHID copied it when called
  };
  sendRejected = (error) => {
    if (device !== pad) return;
    page.sendFailed(`WebHID: ${error.message}`);
    sendSettled();
  };
}

function sendNow(bytes) {
  pending = true;
  stamps.sending();
  pad.sendReport(0, bytes).then(sendSettled, sendRejected);
  stamps.sent();
}

function sendOutputReport() {
  if (!pad) return false;
  if (output.byteLength === 0) viewBuffers();
  if (!pending) {
    sendNow(output);
    return true;
  }
  const copy = spare.pop() ?? new Uint8Array(engine.reportSize);
  copy.set(output);
  waiting.push(copy);
  return true;
}

// ---------------------------------------------------------------- the pad

const isBootPad = (device) => device.vendorId === identity.vendorId && device.productId === identity.productId;

function onInputReport(event) {
  if (event.device !== pad || event.reportId !== 0) return;
  stamps.received();
  if (input.byteLength === 0) viewBuffers();
  const data = event.data;
  const length = Math.min(data.byteLength, input.length);
  for (let i = 0; i < length; ++i) input[i] = data.getUint8(i);
  engine._morvik_input_report(length);
  stamps.handled();
}

async function openPad(device) {
  if (pad === device) return;
  try {
    if (!device.opened) await device.open();
  } catch (error) {
    post('openFailed', error.message);
    return;
  }
  pad = device;
  pending = false;  // a send to the pad before may never settle: it holds up none of this one's
  waiting.length = 0;
  settleHandlers(device);
  device.addEventListener('inputreport', onInputReport);
  post('padOpened');
  page.padOpened();
}

function padLeft(device) {
  if (device !== pad) return;
  device.removeEventListener('inputreport', onInputReport);
  pad = null;
  post('padLeft');
  page.padRemoved();
}

// A pad this page was allowed to use (just now, or on an earlier visit) is taken up.
async function takeUp() {
  const granted = (await navigator.hid.getDevices()).find(isBootPad);
  if (granted) await openPad(granted);
  post('takenUp');
}

// ---------------------------------------------------------------- the window's requests

const requests = {
  takeUp,
  chooseImage: (name, bytes) => post('chosen', page.chooseImage(name, bytes)),
  startUpdate: () => page.startUpdate(),
  answer: (ok) => {
    page.answer(ok);
    post('answered');
  },
  stamps: () => post('stamps', stamps.summary()),
  report: async (time) => post('report', await reportText(page, time)),
};

// Every call of the engine's view but sendReport is the window's to show.
const viewCalls = ['showPadVersion', 'showPadUnanswered', 'showNotInBootMode', 'askConfirmation', 'showCancelled',
  'showImageRefused', 'showProgress', 'showImageSent', 'showSuccess', 'showFailure', 'showPadUsedElsewhere'];
const view = Object.fromEntries(viewCalls.map((op) => [op, (...args) => post(op, ...args)]));
// The window keeps whether an update runs, for the files chosen meanwhile and for leaving.
view.setUpdateAllowed = (allowed) => post('setUpdateAllowed', allowed, page.updating());

async function start() {
  try {
    const { default: createUpdater } = await import('./updater.js');
    engine = await createUpdater();
  } catch (error) {
    post('failed', error.message);
    return;
  }
  engine.sendOutputReport = sendOutputReport;
  viewBuffers();
  identity = engine.bootModeIdentity();
  page = new engine.Page(view);
  onmessage = ({ data }) => requests[data.op](...data.args);
  setInterval(() => page.checkPadSilence(), kSilenceCheckMs);
  if (!navigator.hid) {  // the window says so: this browser has no WebHID
    post('ready');
    return;
  }
  navigator.hid.addEventListener('connect', (event) => {
    if (!pad && isBootPad(event.device)) openPad(event.device);
  });
  navigator.hid.addEventListener('disconnect', (event) => padLeft(event.device));
  post('ready');
}

start();
