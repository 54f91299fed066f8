// The update page's scenarios, in the system's Chromium, against the simulated pad behind
// navigator.hid. Each row checks what the page shows and what the pad received.
//   node page.test.js BUILD_DIR CLI [SCREENSHOT_DIR]
// BUILD_DIR is the web preset's build (site/ and virtual-pad/); CLI is morvik-update, whose
// --trace the page's reports must match. One row goes through Chromium's own WebHID stack to a
// pad emulated under umockdev, with the emulated pads built beside CLI (linux/e2e); without
// them that row is skipped. Ends with "N passed, N failed" (and ", N skipped").
import { execFileSync } from 'node:child_process';
import { existsSync } from 'node:fs';
import { mkdir, mkdtemp, readdir } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { checkAccessibility, kAxeTags } from './accessibility.js';
import { cp, readFile, writeFile } from 'node:fs/promises';
import { Harness, kFactoryVersion, makeFeed, makeImage, signFeed, writeImage } from './harness.js';

const [buildDir, cli, shotDir = join(buildDir, 'screenshots')] = process.argv.slice(2);
// The maker's tool beside CLI, and the demo key the page under test trusts (web/tools/build-demo-page.sh).
const maker = { tool: join(dirname(cli), '..', 'feed', 'tool', 'morvik-feed'), key: join(buildDir, 'demo-key', 'demo.pem') };
const image = makeImage({ version: 123, imageLength: 4096 });
// The version as the page names it.
const versionOf = (bytes) => {
  const version = new DataView(bytes.buffer).getUint32(0, true);
  if (version === kFactoryVersion) return 'factory firmware';
  return `v${Math.floor(version / 100)}.${String(version % 100).padStart(2, '0')}`;
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

// Chooses the image, starts the update and answers the confirmation (`answer` null: leaves it open).
async function update(page, bytes = image, { answer = 'ok', drop = false } = {}) {
  const name = drop ? await page.dropImage(bytes) : await page.chooseImage(bytes);
  await page.waitForText('#image-info', versionOf(bytes));
  await page.waitForText('#image-info', name);
  await page.waitEnabled('#update');
  await page.click('#update');
  await page.tab.waitForSelector('#confirm[open]');
  if (answer === null) return;
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

const focusedId = (page) => page.tab.evaluate(() => document.activeElement?.id || document.activeElement?.tagName);
// What a screen reader reads out as the element's description.
const description = (page, selector) => page.tab.$eval(selector, (element) =>
  (element.getAttribute('aria-describedby') ?? '').split(/\s+/).map((id) => document.getElementById(id)?.textContent ?? '').join(' '));
const usedElsewhere = { en: 'Another program or browser tab seems to be using the pad', zh: '似乎有其他程序或浏览器标签页正在使用手柄' };

// Ways an update fails before the header goes out: the pad's firmware is untouched.
const failuresWithNothingWritten = [
  {
    how: 'the pad pulled out during the question',
    async act(page) {
      await page.plug();
      await connect(page);
      await update(page, image, { answer: null });
      await page.unplug();
    },
    en: 'Update failed: the pad went away (unplugged?; WebHID: the device was disconnected). The pad\'s firmware was not changed.',
    zh: '升级失败：手柄已断开（被拔出？；WebHID：设备已断开）。手柄固件未改变。',
  },
  {
    how: 'the begin command unanswered',
    async act(page) {
      await page.plug({ silentAfter: 0 });
      await connect(page, 'did not answer');
      await page.chooseImage(image);
      await page.waitEnabled('#update');
      await page.click('#update');
    },
    en: 'Update failed: the pad stopped answering (no answer within 5000 ms). The pad\'s firmware was not changed.',
    zh: '升级失败：手柄停止了应答（5000 毫秒内没有应答）。手柄固件未改变。',
  },
];

// A pad answering 3 ms late, its update under way.
async function updateUnderWay(page) {
  await page.plug({ latencyUs: 3000 });
  await connect(page);
  await update(page);
  await page.waitForText('#progress-text', / [1-9]\d?%$/);
}
// Clicks `selector` and waits for the report it downloads: {path, text}.
async function saveReportOf(page, selector) {
  const dir = await mkdtemp(join(tmpdir(), 'morvik-report-'));
  const session = await page.tab.createCDPSession();
  await session.send('Page.setDownloadBehavior', { behavior: 'allow', downloadPath: dir });
  await page.click(selector);
  for (let waited = 0; waited < 10000; waited += 100) {
    const names = (await readdir(dir)).filter((name) => /^morvik-report-\d{8}T\d{6}Z\.txt$/.test(name));
    if (names.length === 1) return { path: join(dir, names[0]), text: await readFile(join(dir, names[0]), 'utf8') };
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
  throw new Error(`no morvik-report-<time>.txt was downloaded to ${dir} within 10 s`);
}
const reportReplays = [
  { how: 'a pad error mid-update', plug: { failAfter: 5 }, outcome: 'Update failed: the pad reported an error', exit: 7 },
  { how: 'a whole update', plug: {}, outcome: 'Firmware upgraded', exit: 0 },
];

class Skipped extends Error {}

// The maker's feed: an older release and the newest, with notes in both languages.
const newestRelease = makeImage({ version: 123, imageLength: 3000 });
const notes = { en: 'Fixes the D-pad\'s diagonals.', zh: '修复方向键的斜向输入。' };
const goodFeed = (name) => makeFeed(maker, name, [
  { bytes: makeImage({ version: 110, imageLength: 2000 }), notesEn: 'The first release.', notesZh: '首个版本。' },
  { bytes: newestRelease, notesEn: notes.en, notesZh: notes.zh, urgency: 'high' },
]);
const newestTitle = { en: 'Newest firmware from the maker: 1.23, released 2026-11-28; urgency: high.', zh: '厂商的最新固件：1.23，发布于 2026-11-28；紧急程度：高。' };
// One byte of the file `name` in `dir` changed.
async function changeOneByte(dir, name, at) {
  const bytes = await readFile(join(dir, name));
  bytes[at] ^= 0x01;
  await writeFile(join(dir, name), bytes);
}

// Feeds the page refuses, with their reasons in both languages; a file can still be chosen and nothing reaches the pad.
const refusedFeeds = [
  {
    how: 'one byte of feed.json changed',
    async feed() {
      const dir = await goodFeed('tampered');
      const json = (await readFile(join(dir, 'feed.json'), 'utf8')).replace('"serial": 1', '"serial": 2');
      await writeFile(join(dir, 'feed.json'), json);
      return dir;
    },
    en: 'The maker\'s firmware feed was refused: the feed\'s signature does not verify with its key (key ',
    zh: '厂商的固件发布源被拒绝：发布源的签名无法用其密钥验证（密钥 ',
  },
  {
    how: 'a feed past its expiry (the page\'s clock 31 days after signing)',
    feed: () => goodFeed('expired'),
    daysLater: 31,
    en: 'The maker\'s firmware feed was refused: the feed has expired (on 20',
    zh: '厂商的固件发布源被拒绝：发布源已过期（于 20',
  },
  {
    how: 'a feed of a lower serial than one seen before (an old feed replayed)',
    async feed() {
      const dir = await goodFeed('older');
      const newer = `${dir}-newer`;
      await cp(dir, newer, { recursive: true });
      signFeed(maker, newer);
      return newer;
    },
    // The page saw serial 2, then is served serial 1 again.
    async before(page) {
      await page.waitForText('#feed-title', newestTitle.en);
      page.harness.serveBeside(join(tmpdir(), 'morvik-page-tests', 'feeds', 'older'));
      await page.tab.reload();
      await page.ready();
    },
    en: 'The maker\'s firmware feed was refused: the feed is older than one already seen (lower serial) (serial 1, already seen 2)',
    zh: '厂商的固件发布源被拒绝：发布源比已见过的更旧（序号更低；序号 1，已见过 2）',
  },
  {
    how: 'feed.json answered with HTTP 500',
    feed: changedFeed('status-500', (dir) => writeFile(join(dir, 'feed.json.status'), '500')),
    en: 'The maker\'s firmware feed could not be fetched (feed.json: HTTP 500)',
    zh: '无法获取厂商的固件发布源（feed.json：HTTP 500）',
  },
  {
    how: 'a feed over 1 MiB (the page reads no more than the limit and a byte)',
    // The maker's tool signs no such feed: its signature is the smaller one's, and the size is refused first.
    feed: changedFeed('huge', async (dir) => {
      const json = await readFile(join(dir, 'feed.json'), 'utf8');
      await writeFile(join(dir, 'feed.json'), json.replace('{', `{"padding": "${' '.repeat(1 << 20)}",`));
    }),
    en: 'The maker\'s firmware feed was refused: the feed is larger than 1 MiB',
    zh: '厂商的固件发布源被拒绝：发布源大于 1 MiB',
  },
  {
    how: 'a feed signed by a key the page does not trust',
    feed: changedFeed('stranger', async (dir) => {
      const keys = `${dir}-keys`;  // not beside the page: a private key is never served
      await remove(keys);
      await mkdir(keys);
      execFileSync(maker.tool, ['keygen', join(keys, 'stranger.pem')]);
      signFeed({ tool: maker.tool, key: join(keys, 'stranger.pem') }, dir);
    }),
    en: 'The maker\'s firmware feed was refused: the feed is signed by a key that is not trusted (key ',
    zh: '厂商的固件发布源被拒绝：发布源由不受信任的密钥签名（密钥 ',
  },
  {
    how: 'no feed.json.sig beside feed.json',
    feed: changedFeed('unsigned', (dir) => remove(join(dir, 'feed.json.sig'))),
    en: 'The maker\'s firmware feed could not be fetched (feed.json.sig: HTTP 404)',
    zh: '无法获取厂商的固件发布源（feed.json.sig：HTTP 404）',
  },
];
// The good feed `name`, then `change(dir)` made to its folder.
function changedFeed(name, change) {
  return async () => {
    const dir = await goodFeed(name);
    await change(dir);
    return dir;
  };
}
// Removes `path`, file or folder, if it is there.
async function remove(path) {
  const { rm } = await import('node:fs/promises');
  await rm(path, { recursive: true, force: true });
}

const scenarios = [
  {
    name: 'the newest release of the maker\'s verified feed is downloaded and sent byte for byte after the usual question; screenshot',
    feed: () => goodFeed('good'),
    async run(page, shots) {
      await page.waitForText('#feed-title', newestTitle.en);
      await shots('feed');
      await page.plug({ latencyUs: 2000 });
      await connect(page);
      await page.click('#use-release');
      await page.waitForText('#confirm-question', 'Update firmware to v1.23?');
      await page.waitForText('#image-release', 'This file is release 1.23 of the maker\'s feed.');
      await page.click('#confirm-ok');
      await page.waitForText('#outcome', 'Firmware updated to v1.23.');
      expectSamePayload(await page.received(), newestRelease);
    },
  },
  {
    name: 'the feed\'s newest release shows its date, urgency and notes in both languages; a chosen file that is a release says so',
    feed: () => goodFeed('notes'),
    async run(page) {
      await page.waitForText('#feed-title', newestTitle.en);
      await page.waitForText('#feed-notes', notes.en);
      await page.tab.select('#language', 'zh');
      await page.waitForText('#feed-title', newestTitle.zh);
      await page.waitForText('#feed-notes', notes.zh);
      const { faults } = await checkAccessibility(page.tab);
      expect(faults.length === 0, `accessibility faults with the feed shown: ${faults.join('; ')}`);
      await page.chooseImage(makeImage({ version: 110, imageLength: 2000 }));
      await page.waitForText('#image-release', '此文件是厂商发布源中的 1.10 版本。');
      await page.chooseImage(image);
      await page.waitForText('#image-info', 'v1.23');
      expect((await page.text('#image-release')) === '', 'a file that is no release of the feed is named one');
    },
  },
  {
    name: 'a release image with one byte changed is refused after its download, in both languages, with nothing sent',
    async feed() {
      const dir = await goodFeed('tampered-image');
      await changeOneByte(dir, 'morvik-pad-123.dat', 100);
      return dir;
    },
    async run(page) {
      await page.plug();
      await connect(page);
      await page.click('#use-release');
      await page.waitForText('#release-status', 'The download of morvik-pad-123.dat was refused: the image\'s SHA-256 is not the one the feed gives (morvik-pad-123.dat); nothing was sent to the pad.');
      await page.tab.select('#language', 'zh');
      await page.waitForText('#release-status', '固件文件的 SHA-256 与发布源所给的不符');
      expect(!(await page.enabled('#update')), 'the update button is on for a refused download');
      expectNothingSent(await page.received());
      expect((await page.received()).beginUpdates === 0, 'the begin command went out for a refused download');
    },
  },
  {
    name: 'a file chosen while the release downloads stays the one sent',
    feed: () => goodFeed('overtaken'),
    async run(page) {
      await page.waitForText('#feed-title', newestTitle.en);
      await page.plug();
      await connect(page);
      await page.tab.setRequestInterception(true);
      const held = new Promise((done) => {
        page.tab.on('request', (request) => (request.url().endsWith('.dat') ? done(request) : request.continue()));
      });
      await page.click('#use-release');
      const download = await held;
      const name = await page.chooseImage(image);
      await page.waitForText('#image-info', name);
      await download.continue();
      await page.waitEnabled('#use-release');
      await page.click('#update');
      await page.tab.waitForSelector('#confirm[open]');
      await page.click('#confirm-ok');
      await page.waitForText('#outcome', 'Firmware upgraded!');
      expectSamePayload(await page.received(), image);
    },
  },
  ...refusedFeeds.map(({ how, feed, daysLater, before, en, zh }) => ({
    name: `a feed refused with its reason in both languages, a file still chosen, nothing sent: ${how}`,
    feed,
    daysLater,
    async run(page) {
      if (before) await before(page);
      await page.waitForText('#feed-refused', en);
      expect(await page.tab.$eval('#feed', (section) => section.hidden), 'a refused feed offers its release');
      await page.tab.select('#language', 'zh');
      await page.waitForText('#feed-refused', zh);
      await page.plug();
      await connect(page, 'v1.10');
      await update(page);
      await page.waitForText('#outcome', '升级成功.');
      expectSamePayload(await page.received(), image);
    },
  })),
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
      await page.waitForText('#outcome', 'Update failed: the pad went away (unplugged?; WebHID: the device was disconnected).');
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
      await page.waitForText('#outcome', '升级失败：手柄报告了错误（错误事件 0x15）。手柄仍处于 BOOT 模式');
      await shots('failure-zh');
      await page.tab.select('#language', 'en');
      await page.waitForText('#outcome', '(error event 0x15). The pad stays in boot mode');
      await page.tab.select('#language', 'zh');
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
  ...[1, 0].map((flag) => ({
    name: `device information another program asked for (boot flag ${flag}) mid-update is ignored: success, said once in both languages`,
    async run(page) {
      await page.plug({ strayInfoAfter: 20, strayInfoFlag: flag });
      await connect(page);
      await update(page);
      await page.waitForText('#outcome', 'Firmware upgraded!');
      expectSamePayload(await page.received(), image);
      expect(!(await page.tab.$eval('#confirm', (dialog) => dialog.open)), 'the question came again');
      await page.waitForText('#pad-elsewhere', usedElsewhere.en);
      await page.tab.select('#language', 'zh');
      await page.waitForText('#pad-elsewhere', usedElsewhere.zh);
    },
  })),
  ...[{ pad: {}, outcome: 'Firmware upgraded!' }, { pad: { failAfter: 5 }, outcome: 'Update failed: the pad reported an error' }].map(({ pad, outcome }) => ({
    name: `two tabs on one pad, shared as hidraw shares it: the updating tab ends "${outcome}", the idle one says only that the pad is used elsewhere`,
    async run(page) {
      const idle = await page.beside();
      await page.plug({ shared: 'one-pad', ...pad });
      await idle.plug({ shared: 'one-pad' });
      await connect(idle);
      await page.tab.bringToFront();  // a tab behind others is not clicked, and its timers crawl
      await connect(page);
      await update(page);
      await page.waitForText('#outcome', outcome);
      if (!pad.failAfter) expectSamePayload(await page.received(), image);
      await idle.waitForText('#pad-elsewhere', usedElsewhere.en);
      const shown = await idle.text('#outcome');
      expect(shown === '' && idle.errors.length === 0, `the idle tab shows "${shown}" ${idle.errors.join('; ')}`);
    },
  })),
  ...failuresWithNothingWritten.map(({ how, act, en, zh }) => ({
    name: `${how}: the words say the pad's firmware was not changed, in both languages`,
    async run(page) {
      await act(page);
      await page.waitForText('#outcome', en, 8000);
      expect(!(await page.text('#outcome')).includes('boot mode'), 'a failure with nothing written says the pad stays in boot mode');
      expect((await focusedId(page)) === 'outcome', `the focus is on ${await focusedId(page)}, not the outcome`);
      await page.tab.select('#language', 'zh');
      await page.waitForText('#outcome', zh);
    },
  })),
  {
    name: 'a text file and a program renamed .dat are not firmware images, in English and in Chinese',
    async run(page) {
      await page.plug();
      await connect(page);
      for (const bytes of [new TextEncoder().encode('Release notes for v1.23: better rumble.\n'.repeat(4)), makeImage({ version: 0x464c457f })]) {
        await expectRefused(page, bytes, 'it is not a firmware image');
        await page.tab.select('#language', 'zh');
        await page.waitForText('#image-info', '这不是固件升级文件');
        await page.tab.select('#language', 'en');
      }
    },
  },
  {
    name: 'an image of version 0xFFFFFFFF is named factory firmware, never a number; the factory pad\'s line ends with a full stop',
    async run(page) {
      const factoryImage = makeImage({ version: kFactoryVersion, imageLength: 512 });
      await page.plug({ version: kFactoryVersion });
      await connect(page, 'factory firmware. Please upgrade to the latest version.');
      await update(page, factoryImage, { answer: null });
      await page.waitForText('#confirm-question', 'Update firmware to factory firmware?');
      await page.click('#confirm-ok');
      await page.waitForText('#outcome', 'Firmware updated to factory firmware.');
      expect(!(await page.text('body')).includes('42949672'), 'the version 0xFFFFFFFF is shown as a number');
    },
  },
  ...[5, 128].map((failAfter) => ({
    name: `after a pad error at block ${failAfter} of 128 the progress line says the update failed`,
    async run(page) {
      await page.plug({ failAfter });
      await connect(page);
      await update(page);
      await page.waitForText('#outcome', 'Update failed: the pad reported an error (error event 0x15).');
      await page.waitForText('#progress-text', /^The update failed\.$/);
    },
  })),
  ...[['stays', 'Pad firmware version: v1.23'], ['staysSilent', 'The pad restarts with its new firmware.']].map(([afterSuccess, line]) => ({
    name: `a pad that ${afterSuccess === 'stays' ? 'stays connected' : 'stays but is silent'} after a success: "${line}"`,
    async run(page) {
      await page.plug({ afterSuccess });
      await connect(page);
      await update(page);
      await page.waitForText('#outcome', 'Firmware upgraded!');
      // Staying, the pad is asked its version again after the restart's 1 s grace: wait for the
      // answer. Silent, the line must still stand once the 2 s bound on that answer has passed.
      if (afterSuccess === 'stays') await page.waitForText('#pad', line);
      else await new Promise((done) => setTimeout(done, 3500));
      expect((await page.text('#pad')) === line, `the pad's line says "${await page.text('#pad')}"`);
      if (afterSuccess === 'stays') await update(page, makeImage({ version: 124 }), { answer: null });
      if (afterSuccess === 'stays') await page.waitForText('#confirm-versions', 'current is v1.23');
    },
  })),
  {
    name: 'a file dropped during an update is not taken; of two files dropped, the page says which it took',
    async run(page) {
      await page.plug({ latencyUs: 3000 });
      await connect(page);
      await update(page);
      await page.waitForText('#progress-text', /%$/);
      const [late] = await page.dropImages([makeImage({ version: 130 })]);
      await page.waitForText('#image-taken', `${late} was not taken: an update is under way.`);
      await page.waitForText('#outcome', 'Firmware upgraded!');
      expectSamePayload(await page.received(), image);
      const [first] = await page.dropImages([makeImage({ version: 131 }), makeImage({ version: 132 })]);
      await page.waitForText('#image-taken', `2 files were dropped; only ${first} was taken.`);
      await page.waitForText('#image-info', 'v1.31');
    },
  },
  {
    name: 'after Cancel, Escape or OK the focus goes on to the update button or the progress, never the page\'s body',
    async run(page) {
      await page.plug({ latencyUs: 2000 });
      await connect(page);
      for (const [answer, focused] of [['cancel', 'update'], ['escape', 'update'], ['ok', 'progress']]) {
        await update(page, image, { answer });
        expect((await focusedId(page)) === focused, `after ${answer} the focus is on ${await focusedId(page)}, not #${focused}`);
      }
      await page.waitForText('#outcome', 'Firmware upgraded!');
    },
  },
  {
    name: 'a file longer than its header says is warned of, and only its firmware sent; for screen readers the question reads out its versions and warnings, a downgrade starts on Cancel, the file button and the bar tell their values, the outcome is announced',
    async run(page) {
      await page.plug({ version: 130, latencyUs: 2000 });
      await connect(page, 'v1.30');
      // The outcome's live region must be there before the outcome is, or its arrival goes unsaid.
      const live = await page.tab.evaluate(() => {
        const region = document.getElementById('outcome-title').closest('[role="status"], [role="alert"], [aria-live]');
        if (region) region.dataset.before = 'yes';
        return region !== null && region.checkVisibility();
      });
      expect(live, 'the outcome has no live region in place before it appears');
      const longer = makeImage({ version: 123, imageLength: 1024, payloadBytes: 1100 });
      const name = await page.chooseImage(longer);
      await page.waitForText('#image-longer', 'Warning: the file is longer than its header says');
      expect((await description(page, '#image')).includes(name), 'the file button does not tell its file');
      await page.click('#update');
      await page.tab.waitForSelector('#confirm[open]');
      const said = await description(page, '#confirm');
      for (const words of ['New firmware v1.23 and current is v1.30', 'This is a downgrade', 'Warning: the file is longer'])
        expect(said.includes(words), `the question's description lacks "${words}": "${said}"`);
      expect((await focusedId(page)) === 'confirm-cancel', 'a downgrade\'s question does not start on Cancel');
      await page.click('#confirm-ok');
      await page.tab.waitForFunction(() => /^Updating firmware to v1\.23\.\.\. \d+%$/.test(document.getElementById('progress').getAttribute('aria-valuetext')));
      await page.waitForText('#outcome', 'Firmware upgraded!');
      expect(await page.tab.$eval('#outcome', (box) => box.closest('[data-before="yes"]') !== null), 'the outcome came in a new region');
      expectSamePayload(await page.received(), longer);
    },
  },
  {
    name: 'a long file name wraps inside the panel at 200 % zoom (400 px wide, device scale 2); screenshot',
    async run(page, shots) {
      await page.tab.setViewport({ width: 400, height: 900, deviceScaleFactor: 2 });
      await page.plug();
      await connect(page);
      const name = 'Morvik_GamePad_Zelto_Pro_boot_firmware_v1.23_release_candidate_2026-12-09_build_4711_final.dat';
      await page.dropImages([{ bytes: image, name }]);
      await page.waitForText('#image-info', 'Image firmware version: v1.23');
      const wide = await page.tab.$$eval('main *', (all) => all.filter((element) => element.scrollWidth > element.clientWidth + 1).map((element) => element.id || element.tagName));
      expect(wide.length === 0, `too wide for the panel: ${wide.join(', ')}`);
      await shots('long-name-zoom');
    },
  },
  {
    name: 'no serious or critical accessibility faults (axe-core) when idle, asking, updating, failed and done',
    async run(page) {
      const faults = [];
      const ran = new Set();
      const check = async (state) => {
        const result = await checkAccessibility(page.tab);
        result.ran.forEach((rule) => ran.add(rule));
        faults.push(...result.faults.map((fault) => `${state}: ${fault}`));
      };
      await check('idle');
      await page.plug({ latencyUs: 4000, failAfter: 60 });
      await connect(page);
      await update(page, image, { answer: null });
      await check('asking');
      await page.click('#confirm-ok');
      await page.waitForText('#progress-text', / [1-9]\d?%$/);
      await check('updating');
      await page.waitForText('#outcome', 'Firmware update failure');
      await check('failed');
      await page.unplug();
      await page.plug();
      await page.waitForText('#pad', 'v1.10');
      await update(page);
      await page.waitForText('#outcome', 'Firmware upgraded!');
      await check('done');
      console.log(`      axe-core applied ${ran.size} rules (${kAxeTags.join(', ')}): ${[...ran].sort().join(' ')}`);
      expect(faults.length === 0, faults.join('\n      '));
    },
  },
  // ---- the engine and the pad on the page's worker
  {
    name: 'the pad pulled out while the worker holds it mid-update: the window hears at once, nothing more is sent, and plugged in again it is updated',
    async run(page) {
      await updateUnderWay(page);
      await page.unplug();
      await page.waitForText('#outcome', 'Update failed: the pad went away (unplugged?; WebHID: the device was disconnected).', 2000);
      await page.waitForText('#pad', 'The pad was disconnected.');
      expect(await page.enabled('#connect'), 'the connect button stays off with the pad gone');
      const sentThen = (await page.sentLengths()).length;
      await page.tab.evaluate(() => new Promise((done) => setTimeout(done, 500)));
      expect((await page.sentLengths()).length === sentThen, 'the worker went on sending to the pad it lost');
      await page.plug();
      await page.waitForText('#pad', 'v1.10');
      await update(page);
      await page.waitForText('#outcome', 'Firmware upgraded!');
      expectSamePayload(await page.received(), image);
    },
  },
  {
    name: 'a send that WebHID refuses mid-update fails it at once in WebHID\'s words, and nothing goes out after it',
    async run(page) {
      await page.plug({ refuseWritesAfter: 20, latencyUs: 1000 });
      await connect(page);
      await update(page);
      await page.waitForText('#outcome', 'Update failed: a report could not be sent to the pad (WebHID: Failed to write the report.).', 3000);
      const got = await page.received();
      expect(got.dataFrames === 17, `the pad took ${got.dataFrames} data frames, not the 17 before the refusal`);
      const sentThen = (await page.sentLengths()).length;
      await page.tab.evaluate(() => new Promise((done) => setTimeout(done, 500)));
      expect((await page.sentLengths()).length === sentThen, 'a report went out after the refused one');
    },
  },
  {
    name: 'a reload while the worker updates the pad brings the page back usable, with one worker, and the pad is updated again',
    async run(page) {
      await updateUnderWay(page);
      page.tab.on('dialog', (dialog) => dialog.accept());  // "leave the page?": yes
      await page.tab.reload();
      await page.ready();
      expect(await page.text('#outcome') === '', 'the reloaded page shows an outcome');
      expect((await page.pageWorkers()).length === 1, `the reloaded page has ${(await page.pageWorkers()).length} page workers`);
      await page.plug();  // the pad, still in boot mode, now on the new page's bus
      await connect(page);
      await update(page);
      await page.waitForText('#outcome', 'Firmware upgraded!');
      expectSamePayload(await page.received(), image);
    },
  },
  {
    name: 'a page whose worker script is missing says so in both languages, and sends nothing to the pad',
    hidden: ['/page-worker.js'],
    ready: false,
    async run(page) {
      await page.waitForText('#blocked', 'The updater could not start its worker (its script could not be loaded): nothing was sent to the pad.');
      await page.tab.select('#language', 'zh');
      await page.waitForText('#blocked', '升级程序无法启动其工作线程（其脚本无法加载）：未向手柄发送任何内容。');
      await page.plug();
      await page.chooseImage(image);
      expect(!(await page.enabled('#connect')) && !(await page.enabled('#update')), 'a button is on without a worker');
      expectNothingSent(await page.received());
      expect((await page.sentLengths()).length === 0, 'a report went out without a worker');
    },
  },
  // ---- the report for support: saved as a download, replayed by morvik-update --sim-replay
  {
    name: 'the test pad replays a session recorded by morvik-update: the pad\'s recorded error ends the page\'s update',
    async run(page) {
      const traces = join(new URL('.', import.meta.url).pathname, '..', '..', 'tests', 'traces');
      await page.plug({ replay: await readFile(join(traces, 'linux-hidraw-pad-error.trace'), 'utf8') });
      await connect(page);
      await update(page, new Uint8Array(await readFile(join(traces, 'fw-256.dat'))));
      await page.waitForText('#outcome', 'Update failed: the pad reported an error (error event 0x15)');
    },
  },
  ...reportReplays.map(({ how, plug, outcome, exit }) => ({
    name: `${how}: the report saved for support replays through morvik-update --sim-replay to exit ${exit}`,
    async run(page) {
      await page.plug(plug);
      await connect(page);
      await update(page);
      await page.waitForText('#outcome', outcome);
      const report = await saveReportOf(page, exit === 0 ? '#save-report' : '#outcome-report');
      const firstLine = report.text.split('\n')[0];
      expect(firstLine.includes('"program":"morvik update page"') && firstLine.includes('"user_agent":"'),
        `the report's first line names no page or browser: ${firstLine}`);
      const path = await writeImage(image, 'replayed.dat');
      let status = 0;
      try {
        execFileSync(cli, ['--simulate', '--sim-replay', report.path, '--yes', path], { encoding: 'utf8', stdio: 'pipe' });
      } catch (error) {
        status = error.status;
      }
      expect(status === exit, `the replay ended with exit ${status}, not ${exit}`);
      // Recorded cases for tests/traces/: the report beside the image its first line names.
      const saveTo = process.env.MORVIK_SAVE_REPORTS;
      if (saveTo) {
        await cp(report.path, join(saveTo, `page-${how.replaceAll(' ', '-')}.trace`));
        await writeFile(join(saveTo, JSON.parse(firstLine.slice(firstLine.indexOf('{'))).image), image);
      }
    },
  })),
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
  harness.serveBeside(scenario.feed ? await scenario.feed() : null);
  harness.hide(scenario.hidden ?? []);
  const page = await harness.open({
    languages: scenario.languages,
    webHid: scenario.webHid ?? true,
    url: scenario.url?.(harness),
    daysLater: scenario.daysLater,
  });
  const shots = (stage) => page.screenshot(join(shotDir, `web-${stage}.png`));
  try {
    if (!scenario.url && scenario.ready !== false) await page.ready();
    await scenario.run(page, shots);
    expect(page.errors.length === 0, `the page threw: ${page.errors.join('; ')}`);
  } finally {
    await page.close().catch(() => {});
  }
}

// MORVIK_ROWS=PATTERN runs only the rows whose names match it, while one is being worked on.
const chosen = new RegExp(process.env.MORVIK_ROWS ?? '');
let passed = 0;
let failed = 0;
let skipped = 0;
for (const scenario of scenarios.filter(({ name }) => chosen.test(name))) {
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
