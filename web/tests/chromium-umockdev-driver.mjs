// One whole update through the update page in Debian's Chromium, as a person makes it: the page
// takes up the pad it was granted, is given an image, and the update is started and confirmed.
// Run by chromium-umockdev.sh under the emulated pads' preload: the browser inherits it, so its
// own WebHID stack (udev enumeration, open/read/write of /dev/hidrawN) reaches the emulated pad.
//   node chromium-umockdev-driver.mjs URL IMAGE OUT_DIR [BUDGET_MS]
// Prints the page's texts ("texts {...}") and, when a step fails, "failed: <what went wrong>";
// exits 0 only when the page told of a successful update. Leaves OUT_DIR/page.png.
// A URL with ?measure also prints the page's stamps of each round trip ("stamps {...}", see
// web/site/report-stamps.js); MORVIK_PAGE_TRACE=1 records a Chromium trace of the update, with
// the toplevel and mojom categories, in OUT_DIR/trace.json.
import { join } from 'node:path';
import puppeteer from 'puppeteer-core';

const [url, imagePath, outDir, budget = '100000'] = process.argv.slice(2);
if (!outDir) {
  console.error('usage: node chromium-umockdev-driver.mjs URL IMAGE OUT_DIR [BUDGET_MS]');
  process.exit(2);
}
const deadline = Date.now() + Number(budget);
const within = (ms) => Math.max(1, Math.min(ms, deadline - Date.now()));
const kPadText = 'Pad firmware version: v1.10';
const kSuccess = 'Firmware upgraded!';

let tab = null;
const texts = () => tab.evaluate(() => Object.fromEntries(
  ['blocked', 'pad', 'open-failed-text', 'image-info', 'image-note', 'progress-text', 'outcome-title', 'outcome-text']
    .map((id) => [id, document.getElementById(id)?.textContent ?? ''])
    .filter(([, text]) => text)));
const textOf = (selector) => tab.$eval(selector, (element) => element.textContent).catch(() => '(none)');

// Each step waits at most `ms` (and never past the budget); a step that fails says what the page
// showed instead.
async function step(what, ms, action, shown) {
  try {
    await action(within(ms));
  } catch (error) {
    const instead = shown ? `; the page showed ${JSON.stringify(await shown())}` : '';
    throw new Error(`${what}: ${error.message.split('\n')[0]}${instead}`);
  }
}

let browser = null;
let succeeded = false;
try {
  await step('Chromium did not start', 30000, async (timeout) => {
    browser = await puppeteer.launch({
      executablePath: '/usr/bin/chromium',
      headless: true,
      userDataDir: process.env.CHROMIUM_PROFILE,
      dumpio: true,  // the browser's own log goes to stderr
      // --no-sandbox: Chromium refuses to start as root without it. --disable-gpu: no GPU here.
      // The resolver rule keeps the browser off the network: it resolves no name (its own services
      // ask for Google's hosts otherwise), so it reaches 127.0.0.1 alone.
      args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
             '--disable-component-update', '--host-resolver-rules=MAP * ~NOTFOUND , EXCLUDE 127.0.0.1',
             '--window-size=900,1000'],
      defaultViewport: { width: 760, height: 900 },
      env: process.env,
      timeout,
    });
  });
  tab = await browser.newPage();
  tab.on('pageerror', (error) => console.log(`page error: ${error.message}`));
  await step('the page did not load', 20000, (timeout) => tab.goto(url, { waitUntil: 'load', timeout }));
  await step('the page never became ready', 20000,
    (timeout) => tab.waitForSelector('body[data-ready="true"]', { timeout }), () => textOf('#blocked'));
  await step(`the pad never showed "${kPadText}"`, 20000,
    (timeout) => tab.waitForFunction((text) => document.getElementById('pad').textContent === text, { timeout }, kPadText),
    () => textOf('#pad'));
  await step('the image was not taken', 10000, async (timeout) => {
    await (await tab.$('#image')).uploadFile(imagePath);
    await tab.waitForFunction(() => document.getElementById('image-info').textContent.includes('Image firmware version'), { timeout });
  }, () => textOf('#image-info'));
  await step('no confirmation was asked', 10000, async (timeout) => {
    await tab.click('#update');
    await tab.waitForSelector('#confirm[open]', { timeout });
  }, () => textOf('#outcome'));
  const tracing = process.env.MORVIK_PAGE_TRACE === '1';
  if (tracing) await tab.tracing.start({ path: join(outDir, 'trace.json'), categories: ['toplevel', 'mojom'] });
  await tab.click('#confirm-ok');
  await step('the update never ended', 90000, (timeout) => tab.waitForFunction(
    () => !document.getElementById('outcome').hidden && document.getElementById('outcome-title').textContent, { timeout }),
  () => textOf('#progress-text'));
  if (tracing) await tab.tracing.stop();
  const title = await textOf('#outcome-title');
  succeeded = title === kSuccess;
  if (succeeded && new URL(url).searchParams.has('measure')) console.log(`stamps ${JSON.stringify(await tab.evaluate(() => window.reportStamps()))}`);
  if (!succeeded) console.log(`failed: the page told "${title} ${await textOf('#outcome-text')}"`);
} catch (error) {
  console.log(`failed: ${error.message}`);
} finally {
  if (tab) {
    console.log(`texts ${JSON.stringify(await texts().catch(() => ({})))}`);
    await tab.screenshot({ path: join(outDir, 'page.png'), fullPage: true }).catch(() => {});
  }
  await browser?.close();
}
process.exit(succeeded ? 0 : 1);
