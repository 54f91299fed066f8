// Where a traced update's time goes, from a Chromium trace with the toplevel and mojom
// categories (recorded by chromium-umockdev-driver.mjs): each thread's busy time (its outermost
// slices: a task, or a Mojo message's handling) per round trip, the busiest first, and the
// slices that take most of it.
//   node trace-breakdown.mjs TRACE_JSON ROUND_TRIPS [THREADS]
import { readFileSync } from 'node:fs';

const [path, trips, most = '8'] = process.argv.slice(2);
const { traceEvents: events } = JSON.parse(readFileSync(path, 'utf8'));
const roundTrips = Number(trips);

const names = new Map();  // "pid" and "pid:tid" -> process and thread names
for (const event of events.filter(({ ph }) => ph === 'M')) {
  if (event.name === 'process_name') names.set(`${event.pid}`, event.args.name);
  if (event.name === 'thread_name') names.set(`${event.pid}:${event.tid}`, event.args.name);
}
const threadName = (key) => `${names.get(key.split(':')[0]) ?? 'process'} / ${names.get(key) ?? 'thread'}`;

// A task by where it was posted from (file and function), a Mojo message by its interface.
function sliceName({ name, args = {} }) {
  if (args.chrome_mojo_event_info?.mojo_interface_tag) return args.chrome_mojo_event_info.mojo_interface_tag;
  if (args.src_func) return `${args.src_file.split('/').at(-1)}:${args.src_func}`;
  return name;
}

// Per thread, its complete slices in time order; a slice inside the one before is part of it.
const threads = new Map();
for (const event of events.filter(({ ph, dur }) => ph === 'X' && dur !== undefined)) {
  const key = `${event.pid}:${event.tid}`;
  if (!threads.has(key)) threads.set(key, []);
  threads.get(key).push(event);
}
const rows = [];
for (const [key, slices] of threads) {
  slices.sort((a, b) => a.ts - b.ts);
  let busy = 0;
  let end = -Infinity;
  const byName = new Map();
  for (const slice of slices) {
    if (slice.ts < end) continue;
    end = slice.ts + slice.dur;
    busy += slice.dur;
    const name = sliceName(slice);
    byName.set(name, (byName.get(name) ?? 0) + slice.dur);
  }
  const top = [...byName].sort((a, b) => b[1] - a[1]).slice(0, 3);
  rows.push({ key, busy, top });
}
const perTrip = (us) => `${(us / roundTrips / 1000).toFixed(3)} ms`;
console.log(`Busy time per round trip (${roundTrips} round trips), by thread:`);
for (const { key, busy, top } of rows.sort((a, b) => b.busy - a.busy).slice(0, Number(most)))
  console.log(`  ${perTrip(busy).padStart(9)}  ${threadName(key)}: ${top.map(([name, us]) => `${name} ${perTrip(us)}`).join(', ')}`);
