// performance.now() stamps around each input report's handling and each sendReport call, for
// the measurements (the page's URL with ?measure); off, every stamp is an empty call. The
// stamps go into buffers made once, so that measuring allocates nothing per report either.
const kMostReports = 1 << 16;

const off = { received() {}, handled() {}, sending() {}, sent() {}, summary: () => null };

export function reportStamps(on) {
  if (!on) return off;
  const received = new Float64Array(kMostReports);  // each inputreport handler's start
  const handled = new Float64Array(kMostReports);   // and its end
  const sendCalls = new Float64Array(kMostReports); // each sendReport call's own time
  let reports = 0;
  let sends = 0;
  let sendingAt = 0;
  const within = (count) => count < kMostReports;
  return {
    received() {
      if (within(reports)) received[reports] = performance.now();
    },
    handled() {
      if (within(reports)) handled[reports++] = performance.now();
    },
    sending() {
      sendingAt = performance.now();
    },
    sent() {
      if (within(sends)) sendCalls[sends++] = performance.now() - sendingAt;
    },
    // Per round trip, in ms: the page's own time (an input report's handling, the engine's work
    // and the next sendReport call within it), the sendReport call alone, and the time outside
    // the page (from one handler's end to the next report's arrival: the browser and the pad).
    summary() {
      const own = Array.from(handled.subarray(0, reports), (end, i) => end - received[i]);
      const outside = Array.from(received.subarray(1, reports), (start, i) => start - handled[i]);
      return { reports, own: spread(own), sendCall: spread(Array.from(sendCalls.subarray(0, sends))), outside: spread(outside) };
    },
  };
}

function spread(values) {
  const sorted = values.sort((a, b) => a - b);
  const at = (share) => sorted[Math.min(sorted.length - 1, Math.floor(share * sorted.length))] ?? 0;
  const mean = sorted.reduce((sum, value) => sum + value, 0) / Math.max(sorted.length, 1);
  return { mean, p50: at(0.5), p90: at(0.9), p99: at(0.99) };
}
