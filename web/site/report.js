// "Save a report for support": the engine's record of the last update (the trace file that
// morvik-update --simulate --sim-replay plays again), downloaded as morvik-report-<UTC time>.txt.
// The record is kept where the engine runs, on the page's worker (reportText); the window
// downloads it (saveReport).
import { digestOf } from './webcrypto.js';

const hex = (bytes) => Array.from(bytes, (byte) => byte.toString(16).padStart(2, '0')).join('');

// On the worker: the report's text at `time` (to the second, as the trace writes it).
export async function reportText(page, time) {
  const image = page.reportImage();
  const digest = image ? await digestOf(image) : null;
  return page.report(time, navigator.userAgent, digest ? hex(digest) : '');
}

// In the window: `textAt(time)` gives the report's text, which is then downloaded.
export async function saveReport(textAt) {
  const time = new Date().toISOString().replace(/\.\d+Z$/, 'Z');
  const text = await textAt(time);
  const link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob([text], { type: 'text/plain' }));
  link.download = `morvik-report-${time.replace(/[-:]/g, '')}.txt`;  // no colons: Windows refuses them in names
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 0);
}
