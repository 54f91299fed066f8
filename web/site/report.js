// "Save a report for support": the engine's record of the last update (the trace file that
// morvik-update --simulate --sim-replay plays again), downloaded as morvik-report-<UTC time>.txt.
import { digestOf } from './webcrypto.js';

const hex = (bytes) => Array.from(bytes, (byte) => byte.toString(16).padStart(2, '0')).join('');

export async function saveReport(page) {
  const image = page.reportImage();
  const digest = image ? await digestOf(image) : null;
  const time = new Date().toISOString().replace(/\.\d+Z$/, 'Z');  // to the second, as the trace writes it
  const text = page.report(time, navigator.userAgent, digest ? hex(digest) : '');
  const link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob([text], { type: 'text/plain' }));
  link.download = `morvik-report-${time.replace(/[-:]/g, '')}.txt`;  // no colons: Windows refuses them in names
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 0);
}
