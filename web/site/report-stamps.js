// performance.now() stamps around each input report's handling and each sendReport call, for
// the measurements (the page's URL with ?measure); off, every stamp is an empty call. The
// stamps go into buffers made once, so that measuring allocates nothing per report either.
const kMostReports = 1 << 16;

const off = { received() {}, handled() {}, sending() {}, sent() {}, summary: () => null };

export function reportStamps(on) {
  if (!on) return off;
  const received = new Float64Array(kMostReports);  // each inputreport handler's start
  const handled = new Float64Array(kMostReports);   // and its end
  const sending = new Float64Array(kMostReports);   // the time in sendReport calls within it
  let reports = 0;
  let sendingAt = 0;
  let inSends = 0;
  const within = () => reports < kMostReports;
  return {
    received() {
      inSends = 0;
      if (within()) received[reports] = performance.now();
    },
    handled() {
      if (!within()) return;
      sending[reports] = inSends;
      handled[reports++] = performance.now();
    },
    sending() {
      sendingAt = performance.now();
    },
    sent() {
      inSends += performance.now() - sendingAt;
    },
    // Per round trip, in ms: the page's own time (an input report's handling and the engine's
    // work, without the sendReport call in it), the sendReport call (the browser's, or the
    // test pad's), and the time outside the page's handler (from one handler's end to the next
    // report's arrival: the browser, the pad and the sends' settling).
    summary() {
      const own = Array.from(handled.subarray(0, reports), (end, i) => end - received[i] - sending[i]);
      const outside = Array.from(received.subarray(1, reports), (start, i) => start - handled[i]);
      return { reports, own: spread(own), sendCall: spread(Array.from(sending.subarray(0, reports))), outside: spread(outside) };
    },
  };
}

function spread(values) {
  const sorted = values.sort((a, b) => a - b);
  const at = (share) => sorted[Math.min(sorted.length - 1, Math.floor(share * sorted.length))] ?? 0;
  const mean = sorted.reduce((sum, value) => sum + value, 0) / Math.max(sorted.length, 1);
  return { mean, p50: at(0.5), p90: at(0.9), p99: at(0.99) };
}
