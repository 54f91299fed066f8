// What the page's scenarios and measurements share: the page served on 127.0.0.1, the system's
// Chromium driven headless, the simulated pad behind navigator.hid, and images made to order.
import { execFileSync } from 'node:child_process';
import { readFile, writeFile, mkdir, rm } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import puppeteer from 'puppeteer-core';
import { startServer } from '../tools/serve.mjs';

export const kFactoryVersion = 0xffffffff;
const here = new URL('.', import.meta.url).pathname;

// An image: the 28-byte header (version, opaque word, image length, 16 reserved bytes), then
// `payloadBytes` bytes of firmware (by default as many as the header promises).
export function makeImage({ version = 123, imageLength = 4096, payloadBytes = imageLength, header = true } = {}) {
  const bytes = new Uint8Array((header ? 28 : 0) + payloadBytes);
  const view = new DataView(bytes.buffer);
  if (header) {
    view.setUint32(0, version, true);
    view.setUint32(4, 0x5a5a0001, true);
    view.setUint32(8, imageLength, true);
  }
  for (let i = header ? 28 : 0; i < bytes.length; ++i) bytes[i] = (i * 7 + (i >> 8)) & 0xff;
  return bytes;
}

export async function writeImage(bytes, name) {
  const dir = join(tmpdir(), 'morvik-page-tests');
  await mkdir(dir, { recursive: true });
  const path = join(dir, name);
  await writeFile(path, bytes);
  return path;
}

// A feed folder made at test time with the maker's tool, as a maker publishes one: each release
// ({bytes, notesEn, notesZh, urgency}) added, then the feed signed with `key`.
export async function makeFeed({ tool, key }, name, releases) {
  const dir = join(tmpdir(), 'morvik-page-tests', 'feeds', name);
  await rm(dir, { recursive: true, force: true });
  await mkdir(dirname(dir), { recursive: true });
  for (const { bytes, notesEn, notesZh, urgency = 'low' } of releases) {
    const version = new DataView(bytes.buffer).getUint32(0, true);
    const image = await writeImage(bytes, `morvik-pad-${version}.dat`);
    execFileSync(tool, ['add', dir, image, '--notes-en', notesEn, '--notes-zh', notesZh, '--urgency', urgency, '--date', '2026-11-28']);
  }
  signFeed({ tool, key }, dir);
  return dir;
}

// Signs the feed in `dir` again: its serial rises.
export function signFeed({ tool, key }, dir) {
  execFileSync(tool, ['sign', dir, '--key', key]);
}

export class Harness {
  static async start({ buildDir, chromium = process.env.CHROMIUM ?? '/usr/bin/chromium' }) {
    const harness = new Harness();
    harness.server = await startServer(join(buildDir, 'site'), 0, { '/virtual-pad/': join(buildDir, 'virtual-pad') }, { isolated: true });
    harness.origin = `http://127.0.0.1:${harness.server.address().port}`;
    harness.siteDir = resolve(buildDir, 'site');
    harness.simulatedHid = await readFile(join(here, '..', 'virtual_pad', 'simulated-hid.js'), 'utf8');
    harness.browser = await puppeteer.launch({
      executablePath: chromium,
      headless: true,
      args: ['--no-sandbox', '--disable-gpu', '--window-size=900,1000'],
      defaultViewport: { width: 760, height: 900 },
    });
    return harness;
  }

  async stop() {
    await this.browser?.close();
    this.server?.close();
  }

  // A fresh page in its own profile. `languages` stands for the browser's language list;
  // `webHid: false` stands for a browser without WebHID; `daysLater` puts the page's clock ahead.
  async open({ languages = ['en-US', 'en'], webHid = true, url = `${this.origin}/`, daysLater = 0 } = {}) {
    return this.openIn(await this.browser.createBrowserContext(), { languages, webHid, url, daysLater });
  }

  // Serves the files of `dir` beside the page (a feed), or none.
  serveBeside(dir) {
    this.server.serveBeside(dir);
  }

  // Answers 404 for these paths of the site from now on, as a server missing them would.
  hide(paths) {
    this.server.hide(paths);
  }

  // Another tab of the same profile, as a person opens the page twice: a pad plugged `shared`
  // in both is one pad.
  async openBeside(driver) {
    const beside = await this.openIn(driver.context, { languages: ['en-US', 'en'], webHid: true, url: `${this.origin}/` });
    await beside.ready();
    return beside;
  }

  async openIn(context, { languages, webHid, url, daysLater = 0 }) {
    const tab = await context.newPage();
    if (daysLater) {
      await tab.evaluateOnNewDocument((shift) => {
        const now = Date.now;
        Date.now = () => now() + shift;
      }, daysLater * 86400e3);
    }
    await tab.evaluateOnNewDocument((list) => {
      Object.defineProperty(Navigator.prototype, 'languages', { get: () => list, configurable: true });
    }, languages);
    await tab.evaluateOnNewDocument(webHid ? this.simulatedHid : 'delete Navigator.prototype.hid;');
    const errors = [];
    tab.on('pageerror', (error) => errors.push(error.message));
    await tab.goto(url);
    return new PageDriver(tab, context, errors, this);
  }
}

// One page under test, with the steps a person takes and the checks a scenario makes.
export class PageDriver {
  constructor(tab, context, errors, harness) {
    this.tab = tab;
    this.context = context;
    this.errors = errors;
    this.harness = harness;
    this.images = 0;
  }

  beside() {
    return this.harness.openBeside(this);
  }

  // Each image the page is given has a name of its own, so that what it shows can be told apart.
  nextImageName() {
    this.images += 1;
    return `image-${this.images}.dat`;
  }

  async ready() {
    await this.tab.waitForSelector('body[data-ready="true"]', { timeout: 10000 });
  }

  plug(behaviour = {}) {
    return this.tab.evaluate((b) => window.simulatedHid.plug(b), behaviour);
  }

  unplug() {
    return this.tab.evaluate(() => window.simulatedHid.unplug());
  }

  received(index) {
    return this.tab.evaluate((i) => window.simulatedHid.received(i), index);
  }

  // The workers the page started (the pads' threads are the test's).
  pageWorkers() {
    return this.tab.workers().filter((worker) => !worker.url().includes('simulated-pad-worker'));
  }

  sentLengths() {
    return this.tab.evaluate(() => window.simulatedHid.sentReports());
  }

  click(selector) {
    return this.tab.click(selector);
  }

  // Moves the focus with Tab alone to the element `id`, and presses Enter on it.
  async pressByKeyboard(id) {
    for (let presses = 0; presses < 12; ++presses) {
      if ((await this.tab.evaluate(() => document.activeElement?.id)) === id) {
        await this.tab.keyboard.press('Enter');
        return;
      }
      await this.tab.keyboard.press('Tab');
    }
    throw new Error(`Tab never reached #${id}`);
  }

  // Gives the image to the file chooser; returns the name it was given under.
  async chooseImage(bytes) {
    const name = this.nextImageName();
    const input = await this.tab.$('#image');
    await input.uploadFile(await writeImage(bytes, name));
    return name;
  }

  // Drops the image on the drop zone, as a file dragged from the desktop.
  async dropImage(bytes) {
    return (await this.dropImages([bytes]))[0];
  }

  // Drops several files at once; each is its bytes, or {bytes, name}. Returns their names.
  async dropImages(files) {
    const named = files.map((file) => (ArrayBuffer.isView(file) ? { bytes: file, name: this.nextImageName() } : file));
    await this.tab.evaluate(
      (list) => {
        const transfer = new DataTransfer();
        for (const { data, name } of list) transfer.items.add(new File([new Uint8Array(data)], name));
        for (const type of ['dragover', 'drop'])
          document.getElementById('drop').dispatchEvent(new DragEvent(type, { dataTransfer: transfer, bubbles: true, cancelable: true }));
      },
      named.map(({ bytes, name }) => ({ data: Array.from(bytes), name })),
    );
    return named.map(({ name }) => name);
  }

  text(selector) {
    return this.tab.$eval(selector, (element) => (element.hidden ? '' : element.innerText));
  }

  // Waits until the element shows `expected` (a string it contains, or a pattern).
  async waitForText(selector, expected, timeout = 10000) {
    const pattern = expected instanceof RegExp ? expected.source : expected.replace(/[.*+?^${}()|[\]\\]/g, '\\$&');
    try {
      await this.tab.waitForFunction(
        (sel, source) => {
          const element = document.querySelector(sel);
          return element && !element.hidden && new RegExp(source).test(element.innerText);
        },
        { timeout, polling: 50 },
        selector,
        pattern,
      );
    } catch {
      throw new Error(`${selector} never showed "${expected}"; it shows "${await this.text(selector)}"`);
    }
  }

  async enabled(selector) {
    return this.tab.$eval(selector, (element) => !element.disabled);
  }

  async waitEnabled(selector, timeout = 10000) {
    await this.tab.waitForSelector(`${selector}:not([disabled])`, { timeout });
  }

  // The page's window, with the margin around it.
  async screenshot(path) {
    const box = await (await this.tab.$('main')).boundingBox();
    const margin = 16;
    return this.tab.screenshot({ path, clip: { x: 0, y: 0, width: box.x + box.width + margin, height: box.y + box.height + margin } });
  }

  close() {
    return this.context.close();
  }
}
