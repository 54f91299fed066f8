// The page's stamps of an update's round trips (web/site/report-stamps.js) in words, one line:
//   node stamps-line.mjs < STAMPS_JSON     (or imported: stampsLine(stamps))
import { readFileSync } from 'node:fs';

const ms = (value) => `${value.toFixed(3)} ms`;
const spread = ({ mean, p50, p90, p99 }) => `mean ${ms(mean)}, p50 ${ms(p50)}, p90 ${ms(p90)}, p99 ${ms(p99)}`;

export function stampsLine({ reports, own, sendCall, outside }) {
  return `${reports} input reports; the page's own time (the report's handling and the engine's work) ` +
    `${spread(own)}; the sendReport call in it ${spread(sendCall)}; outside the page's handler ` +
    `(the browser's stack and the pad) ${spread(outside)}`;
}

if (import.meta.url === `file://${process.argv[1]}`) {
  const text = readFileSync(0, 'utf8').trim();
  console.log(text ? stampsLine(JSON.parse(text)) : 'no stamps (the run did not end in success)');
}
