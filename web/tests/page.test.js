// The update page's scenarios, in the system's Chromium, against the simulated pad behind
// navigator.hid. Each row checks what the page shows and what the pad received.
//   node page.test.js BUILD_DIR CLI [SCREENSHOT_DIR]
// BUILD_DIR is the web preset's build (site/ and virtual-pad/); CLI is morvik-update, whose
// --trace the page's reports must match. One row goes through Chromium's own WebHID stack to a
// pad emulated under umockdev, with the emulated pads built beside CLI (linux/e2e); without
// them that row is skipped. Ends with "N passed, N failed" (and ", N skipped").
import { execFileSync } from 'node:child_process';
import { existsSync } from 'node:fs';
import { mkdir } from 'node:fs/promises';
import { dirname, join } from 'node:path';
import { Harness, kFactoryVersion, makeImage, writeImage } from './harness.js';

const [buildDir, cli, shotDir = join(buildDir, 'screenshots')] = process.argv.slice(2);
const image = makeImage({ version: 123, imageLength: 4096 });
const versionOf = (bytes) => {
  const version = new DataView(bytes.buffer).getUint32(0, true);
  return `${Math.floor(version / 100)}.${String(version % 100).padStart(2, '0')}`;
};
const payloadOf = (bytes) => Array.from(bytes.subarray(28, 28 + new DataView(bytes.buffer).getUint32(8, true)));

function expect(condition, what) {
  if (!condition) throw new Error(what);
}

function expectSamePayload(got, bytes) {
  const want = payloadOf(bytes);
  expect(got.header !== null, 'the pad got no header');
  expect(got.payload.length === want.length, `the pad got ${got.payload.length} payload bytes, not ${want.length}`);
  const at = want.findIndex((byte, i) => byte !== got.payload[i]);
  expect(at < 0, `the pad's payload differs from the image at byte ${at}`);
}

function expectNothingSent(got) {
  expect(got.header === null && got.payload.length === 0, 'the pad got a header or payload');
}

// Connects the pad and waits for its version on the page.
async function connect(page, versionText = 'v1.10') {
  await page.click('#connect');
  await page.waitForText('#pad', versionText);
}

// Chooses the image, starts the update and answers the confirmation.
async function update(page, bytes = image, { answer = 'ok', drop = false } = {}) {
  const name = drop ? await page.dropImage(bytes) : await page.chooseImage(bytes);
  await page.waitForText('#image-info', `v${versionOf(bytes)}`);
  await page.waitForText('#image-info', name);
  await page.waitEnabled('#update');
  await page.click('#update');
  await page.tab.waitForSelector('#confirm[open]');
  if (answer === 'escape') await page.tab.keyboard.press('Escape');
  else await page.click(answer === 'ok' ? '#confirm-ok' : '#confirm-cancel');
}

async function expectRefused(page, bytes, words) {
  const name = await page.chooseImage(bytes);
  await page.waitForText('#image-info', `Cannot use the image ${name}: ${words}`);
  expect(!(await page.enabled('#update')), 'the update button is on for a refused image');
  expectNothingSent(await page.received());
  const got = await page.received();
  expect(got.beginUpdates === 0, 'the begin command went out for a refused image');
}

// The reports morvik-update --simulate sends for the same image, from its --trace.
function cliReports(bytes) {
  return writeImage(bytes, 'cli.dat').then((path) => {
    const out = execFileSync(cli, ['--simulate', '--trace', '--yes', path], { encoding: 'utf8' });
    return out.split('\n').filter((line) => line.startsWith('out '));
  });
}

const emulatedPads = join(dirname(cli), 'e2e', 'morvik-e2e-pads');

class Skipped extends Error {}

const scenarios = [
  {
    name: 'a whole update, driven from the keyboard, reaches the pad byte for byte; screenshots of each stage',
    async run(page, shots) {
      await shots('idle');
      await page.plug({ latencyUs: 4000 });
      await page.pressByKeyboard('connect');
      await page.waitForText('#pad', 'v1.10');
      const name = await page.chooseImage(image);
      await page.waitForText('#image-info', `Image firmware version: v1.23 (${name}, 4096 bytes of firmware)`);
      await page.pressByKeyboard('update');
      await page.waitForText('#confirm-question', 'Update firmware to v1.23?');
      await page.waitForText('#confirm-versions', 'New firmware v1.23 and current is v1.10');
      await page.tab.keyboard.press('Enter');  // OK has the focus
      await page.waitForText('#progress-text', / [1-9]\d?%$/);
      await shots('updating');
      await page.waitForText('#outcome', 'Firmware upgraded!');
      await page.waitForText('#outcome', 'Firmware updated to v1.23. The pad restarts in its normal mode.');
      await shots('success');
      expectSamePayload(await page.received(), image);
    },
  },
  {
    name: 'an image whose last block is short, dropped on the page',
    async run(page) {
      const short = makeImage({ version: 124, imageLength: 1000 });
      await page.plug();
      await connect(page);
      await update(page, short, { drop: true });
      await page.waitForText('#outcome', 'Firmware upgraded!');
      expectSamePayload(await page.received(), short);
    },
  },
  {
    name: 'the reports the page sends are those of morvik-update --simulate --trace, line for line',
    async run(page) {
      const bytes = makeImage({ version: 125, imageLength: 300 });
      await page.plug();
      await connect(page);
      await update(page, bytes);
      await page.waitForText('#outcome', 'Firmware upgraded!');
      const pageReports = (await page.received()).trace;
      const expected = await cliReports(bytes);
      const at = expected.findIndex((line, i) => line !== pageReports[i]);
      expect(expected.length === pageReports.length && at < 0,
        `line ${at + 1}: the page sent "${pageReports[at]}", morvik-update "${expected[at]}" (${pageReports.length} lines, ${expected.length})`);
      expect((await page.sentLengths()).every(({ reportId, length }) => reportId === 0 && length === 64),
        'a report went out with another report ID or length than 0 and 64 bytes');
    },
  },
  {
    name: 'a pad with its factory firmware is shown so and updated',
    async run(page) {
      await page.plug({ version: kFactoryVersion });
      await connect(page, 'factory firmware');
      await update(page);
      await page.waitForText('#outcome', 'Firmware upgraded!');
    },
  },
  {
    name: 'a downgrade is said before the question, and in it',
    async run(page) {
      await page.plug({ version: 130 });
      await connect(page, 'v1.30');
      await page.chooseImage(image);
      await page.waitForText('#image-note', 'This is a downgrade: the image (v1.23) is older than the pad\'s firmware (v1.30).');
      await page.click('#update');
      await page.waitForText('#confirm-question', 'Downgrade firmware from v1.30 to v1.23?');
      await page.click('#confirm-ok');
      await page.waitForText('#outcome', 'Firmware upgraded!');
    },
  },
  {
    name: 'a pad that never answers is told, within the version wait',
    async run(page) {
      await page.plug({ silentAfter: 0 });
      await page.click('#connect');
      await page.waitForText('#pad', 'The pad did not answer when asked its firmware version.', 5000);
    },
  },
  {
    name: 'a pad not in boot mode is refused with the how-to, and gets no image',
    async run(page) {
      await page.plug({ bootFlag: 0 });
      await connect(page);
      await page.chooseImage(image);
      await page.waitEnabled('#update');
      await page.click('#update');
      await page.waitForText('#outcome', 'Firmware update failure, please handle work in BOOT mode');
      await page.waitForText('#outcome', 'The pad is not in boot mode, so it cannot be updated. Switch the pad off, then hold START+L+R');
      expectNothingSent(await page.received());
    },
  },
  {
    name: 'a pad error mid-update fails with its reason, in English and in the screenshots',
    async run(page, shots) {
      await page.plug({ failAfter: 5 });
      await connect(page);
      await update(page);
      await page.waitForText('#outcome', 'Update failed: the pad reported an error');
      await page.waitForText('#outcome', 'The pad stays in boot mode; run the update again to restore its firmware.');
      await shots('failure');
      expect((await page.received()).dataFrames === 5, 'the pad got data past its error');
    },
  },
  {
    name: 'a pad silent after its first block fails after the silence limit; the page can update again',
    async run(page) {
      await page.plug({ silentAfter: 1 });
      await connect(page);
      const started = Date.now();
      await update(page);
      await page.waitForText('#outcome', 'Update failed: the pad stopped answering (no answer within 5000 ms)', 12000);
      const seconds = (Date.now() - started) / 1000;
      expect(seconds > 4.5, `it failed after ${seconds} s, before the limit`);
      await page.waitEnabled('#update');
    },
  },
  {
    name: 'a pad that takes 8 s to answer the header is waited for; leaving mid-update asks first',
    async run(page) {
      await page.plug({ headerAnswerDelayMs: 8000 });
      await connect(page);
      await update(page);
      // Closing the tab mid-update brings the browser's "leave the page?" question.
      const asked = new Promise((done) => {
        page.tab.once('dialog', (dialog) => {
          done(dialog.type());
          dialog.dismiss();
        });
      });
      await page.tab.close({ runBeforeUnload: true });
      expect((await asked) === 'beforeunload', 'closing mid-update did not ask');
      await page.waitForText('#outcome', 'Firmware upgraded!', 15000);
    },
  },
  {
    name: 'a pad pulled out mid-update fails at once as gone',
    async run(page) {
      await page.plug({ vanishAfter: 10, latencyUs: 2000 });
      await connect(page);
      await update(page);
      await page.waitForText('#outcome', 'Update failed: the pad went away (unplugged?)');
      await page.waitForText('#pad', 'The pad was disconnected.');
      expect(!(await page.enabled('#update')), 'the update button is on with no pad');
    },
  },
  {
    name: 'truncated, oversized, empty and garbage files are refused before anything is sent',
    async run(page) {
      await page.plug();
      await connect(page);
      await expectRefused(page, makeImage({ imageLength: 1000, payloadBytes: 500 }), 'it holds less firmware than its header promises');
      await expectRefused(page, makeImage({ imageLength: 17 << 20, payloadBytes: 64 }), 'it holds less firmware');
      await expectRefused(page, makeImage({ imageLength: (16 << 20) + 1, payloadBytes: (16 << 20) + 1 }), 'it promises more firmware than any pad takes');
      await expectRefused(page, makeImage({ imageLength: 0 }), 'it holds no firmware');
      await expectRefused(page, makeImage({ header: false, payloadBytes: 20 }), 'the file is too short to be a firmware image');
    },
  },
  {
    name: 'cancel at the confirmation, by button and by Escape, sends nothing of the image',
    async run(page) {
      await page.plug();
      await connect(page);
      await update(page, image, { answer: 'cancel' });
      await page.waitForText('#outcome', 'Update cancelled; the pad\'s firmware was not changed.');
      await update(page, image, { answer: 'escape' });
      await page.waitForText('#outcome', 'Update cancelled');
      expectNothingSent(await page.received());
    },
  },
  {
    name: 'after a success the pad restarts; plugged in again in boot mode, it is updated again',
    async run(page) {
      await page.plug();
      await connect(page);
      await update(page);
      await page.waitForText('#outcome', 'Firmware upgraded!');
      await page.waitForText('#pad', 'The pad was disconnected.');
      await page.plug({ version: 123 });
      await page.waitForText('#pad', 'v1.23');
      const second = makeImage({ version: 124, imageLength: 2000 });
      await update(page, second);
      await page.waitForText('#outcome', 'Firmware updated to v1.24.');
      expectSamePayload(await page.received(), second);
    },
  },
  {
    name: 'pulled out and plugged in again, the pad is taken up without asking and updated',
    async run(page) {
      await page.plug();
      await connect(page);
      await page.unplug();
      await page.waitForText('#pad', 'The pad was disconnected.');
      await page.plug({ version: 111 });
      await page.waitForText('#pad', 'v1.11');
      await update(page);
      await page.waitForText('#outcome', 'Firmware upgraded!');
      expectSamePayload(await page.received(), image);
    },
  },
  {
    name: 'a Chinese browser gets the Chinese texts, and English at a switch',
    languages: ['zh-CN', 'zh'],
    async run(page, shots) {
      await shots('idle-zh');
      await page.waitForText('#connect', '连接手柄');
      await page.plug({ latencyUs: 4000, failAfter: 120 });
      await connect(page, '手柄当前版本为 v1.10');
      await update(page, image);
      await page.waitForText('#progress-text', / [1-9]\d?%$/);
      await shots('updating-zh');
      await page.waitForText('#outcome', '固件更新失败');
      await page.waitForText('#outcome', '升级失败：手柄报告了错误');
      await shots('failure-zh');
      await page.unplug();
      await page.plug({ version: 110 });
      await page.waitForText('#pad', 'v1.10');
      await update(page, image);
      await page.waitForText('#outcome', '升级成功.');
      await shots('success-zh');
      await page.tab.select('#language', 'en');
      await page.waitForText('#outcome', 'Firmware upgraded!');
      await page.waitForText('#update', 'USB Update');
    },
  },
  {
    name: 'a browser without WebHID is told what to use instead',
    webHid: false,
    async run(page) {
      await page.waitForText('#blocked', 'This browser cannot reach USB HID devices');
      expect(!(await page.enabled('#connect')), 'the connect button is on without WebHID');
    },
  },
  {
    name: 'the page opened from a file says how to serve it',
    url: (harness) => `file://${harness.siteDir}/index.html`,
    webHid: false,
    async run(page) {
      await page.waitForText('#no-start', 'serve');
    },
  },
  {
    name: 'through Chromium\'s own WebHID stack, a pad emulated under umockdev gets the whole image byte for byte',
    browserless: true,
    async run() {
      if (!existsSync(emulatedPads)) throw new Skipped(`no emulated pads at ${emulatedPads} (the dev preset builds them)`);
      const path = await writeImage(makeImage({ version: 123, imageLength: 4096 }), 'umockdev.dat');
      const out = join(shotDir, 'umockdev');
      const here = new URL('.', import.meta.url).pathname;
      try {
        execFileSync('bash', [join(here, 'chromium-umockdev.sh'), join(buildDir, 'site'), path, emulatedPads, out],
          { encoding: 'utf8', stdio: 'pipe', timeout: 150000 });
      } catch (error) {
        throw new Error(`${(error.stdout ?? '').trim().split('\n').at(-1)} (see ${out})`);
      }
    },
  },
];

const harness = await Harness.start({ buildDir });
await mkdir(shotDir, { recursive: true });
// A row in a page of its own, or on its own when it brings its own browser.
async function runScenario(scenario) {
  if (scenario.browserless) return scenario.run();
  const page = await harness.open({
    languages: scenario.languages,
    webHid: scenario.webHid ?? true,
    url: scenario.url?.(harness),
  });
  const shots = (stage) => page.screenshot(join(shotDir, `web-${stage}.png`));
  try {
    if (!scenario.url) await page.ready();
    await scenario.run(page, shots);
    expect(page.errors.length === 0, `the page threw: ${page.errors.join('; ')}`);
  } finally {
    await page.close().catch(() => {});
  }
}

let passed = 0;
let failed = 0;
let skipped = 0;
for (const scenario of scenarios) {
  try {
    await runScenario(scenario);
    passed += 1;
    console.log(`PASS  ${scenario.name}`);
  } catch (error) {
    const skip = error instanceof Skipped;
    if (skip) skipped += 1;
    else failed += 1;
    console.log(`${skip ? 'SKIP' : 'FAIL'}  ${scenario.name}\n      ${error.message}`);
  }
}
await harness.stop();
console.log(`${passed} passed, ${failed} failed${skipped ? `, ${skipped} skipped` : ''}`);
process.exit(failed === 0 ? 0 : 1);
