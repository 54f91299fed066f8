// The page's size as served and its speed beside morvik-update's, measured in one run:
//   node measure.mjs BUILD_DIR CLI [RUNS]
// Size: every file of the site, raw, gzip and brotli (what a server sends compressed).
// Speed: a 64 KiB image to the simulated pad answering each report 1 ms late, by the page in
// headless Chromium (from the click on the update button to the success shown) and by
// morvik-update --simulate (the whole run); the median of RUNS runs each. Then the page's own
// cost per round trip: the same update to the page's test pad answering at once, with the
// page's stamps around each input report's handling and sendReport call (its URL's ?measure).
import { execFileSync } from 'node:child_process';
import { readdir, readFile } from 'node:fs/promises';
import { join } from 'node:path';
import { brotliCompressSync, gzipSync } from 'node:zlib';
import { Harness, makeImage, writeImage } from '../tests/harness.js';
import { stampsLine } from './stamps-line.mjs';

const [buildDir, cli, runs = '5'] = process.argv.slice(2);
const kLatencyUs = 1000;
const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
const kib = (bytes) => `${(bytes / 1024).toFixed(1)} KiB`;

const site = join(buildDir, 'site');
const totals = { raw: 0, gzip: 0, brotli: 0 };
console.log('file            raw        gzip       brotli');
for (const name of (await readdir(site)).sort()) {
  const bytes = await readFile(join(site, name));
  const sizes = { raw: bytes.length, gzip: gzipSync(bytes, { level: 9 }).length, brotli: brotliCompressSync(bytes).length };
  for (const key of Object.keys(totals)) totals[key] += sizes[key];
  console.log(`${name.padEnd(15)} ${kib(sizes.raw).padEnd(10)} ${kib(sizes.gzip).padEnd(10)} ${kib(sizes.brotli)}`);
}
console.log(`${'total'.padEnd(15)} ${kib(totals.raw).padEnd(10)} ${kib(totals.gzip).padEnd(10)} ${kib(totals.brotli)}`);

const image = makeImage({ version: 123, imageLength: 64 * 1024 });
const imagePath = await writeImage(image, 'measure-64k.dat');

const cliSeconds = [];
for (let i = 0; i < Number(runs); ++i) {
  const started = process.hrtime.bigint();
  execFileSync(cli, ['--simulate', '--sim-latency-us', String(kLatencyUs), '--yes', imagePath]);
  cliSeconds.push(Number(process.hrtime.bigint() - started) / 1e9);
}

const harness = await Harness.start({ buildDir });
// One update by the page from the click on the update button to the success shown, in seconds;
// with `measured`, also the page's stamps of it.
async function pageUpdate(pad, measured = false) {
  const page = await harness.open({ url: `${harness.origin}/${measured ? '?measure' : ''}` });
  await page.ready();
  await page.plug(pad);
  await page.click('#connect');
  await page.waitForText('#pad', 'v1.10');
  const name = await page.chooseImage(image);
  await page.waitForText('#image-info', name);
  const started = process.hrtime.bigint();
  await page.click('#update');
  await page.tab.waitForSelector('#confirm[open]');
  await page.click('#confirm-ok');
  await page.waitForText('#outcome', 'Firmware upgraded!', 60000);
  const seconds = Number(process.hrtime.bigint() - started) / 1e9;
  const stamps = measured ? await page.tab.evaluate(() => window.reportStamps()) : null;
  await page.close();
  return { seconds, stamps };
}

const pageSeconds = [];
for (let i = 0; i < Number(runs); ++i) pageSeconds.push((await pageUpdate({ latencyUs: kLatencyUs })).seconds);
const own = [];
for (let i = 0; i < Number(runs); ++i) own.push(await pageUpdate({ latencyUs: 0 }, true));
await harness.stop();

const cliTime = median(cliSeconds);
const pageTime = median(pageSeconds);
console.log(`64 KiB at ${kLatencyUs} us latency: morvik-update ${cliTime.toFixed(2)} s, page ${pageTime.toFixed(2)} s ` +
  `(median of ${runs}); page / CLI = ${(pageTime / cliTime).toFixed(2)}`);
const { stamps, seconds } = own.sort((a, b) => a.stamps.own.mean - b.stamps.own.mean)[Math.floor(own.length / 2)];
console.log(`The page's own cost per round trip, against its test pad answering at once (${seconds.toFixed(2)} s, ` +
  `the median of ${runs} runs by the mean): ${stampsLine(stamps)}`);
