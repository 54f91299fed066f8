// The update page: finds the pad over WebHID, hands each of its input reports to the engine (in
// WebAssembly) and each report the engine sends to the pad, and shows what the engine tells.
// What the reports mean is the engine's business alone.
import { preferredLanguage, textOf, versionText } from './texts.js';

const $ = (id) => document.getElementById(id);
const kSilenceCheckMs = 250;
// The bar is drawn anew at most this often: the pad's reports and the drawing share one thread.
const kProgressDrawMs = 100;

// The language chosen last time; a browser that keeps no storage for the page simply forgets it.
const kLanguageKey = 'morvik-language';
function remembered() {
  try {
    return localStorage.getItem(kLanguageKey);
  } catch {
    return null;
  }
}

let language = remembered() ?? preferredLanguage(navigator.languages ?? []);
let engine = null;       // the WebAssembly module
let page = null;         // its Page: the controller of one pad's updates
let identity = null;     // the boot-mode pad's USB identity, from the engine
let pad = null;          // the open HIDDevice, or null
let sendQueue = Promise.resolve();
let padVersion = null;   // the pad's reported version (x 100), once it answered
let image = null;        // {name, version, imageLength} of the accepted image
let confirmOpen = false;
let progressTimer = null;  // set while a drawing of the bar waits its turn
let progressDue = 0;       // the percentage it will draw

// What each element shows, kept as a function so that a change of language shows it anew.
const shown = new Map();
const t = (key, values) => textOf(language, key, values);
// A problem or failure: the engine's own English words, or their translation.
const engineWords = (key, english) => (language === 'en' ? english : t(key));

function show(id, render) {
  shown.set(id, render);
  $(id).textContent = render ? render() : '';
}

function showAll() {
  document.documentElement.lang = language === 'zh' ? 'zh-CN' : 'en';
  document.title = t('pageTitle');
  for (const element of document.querySelectorAll('[data-text]')) element.textContent = t(element.dataset.text);
  $('progress').setAttribute('aria-label', t('progressLabel'));
  for (const [id, render] of shown) $(id).textContent = render ? render() : '';
}

// ---------------------------------------------------------------- the outcome box

function showOutcome(kind, title, text) {
  const box = $('outcome');
  box.hidden = false;
  box.className = `outcome ${kind}`;
  show('outcome-title', title);
  show('outcome-text', text);
}

function hideOutcome() {
  $('outcome').hidden = true;
  show('outcome-title', null);
  show('outcome-text', null);
}

// Shows the bar at `percent` with `text` beneath; a drawing of the progress still waiting is
// dropped, as this one tells more.
function setProgress(percent, text) {
  clearTimeout(progressTimer);
  progressTimer = null;
  paintProgress(percent, text);
}

function paintProgress(percent, text) {
  $('progress').setAttribute('aria-valuenow', String(percent));
  $('progress').querySelector('.bar').style.transform = `translateX(${percent - 100}%)`;
  show('progress-text', text);
}

function drawProgress() {
  if (Number($('progress').getAttribute('aria-valuenow')) === progressDue) return;
  const percent = progressDue;
  paintProgress(percent, () => `${t('updating', { image: versionText(image.version) })} ${percent}%`);
}

function closeConfirmation() {
  confirmOpen = false;
  if ($('confirm').open) $('confirm').close();
}

// ---------------------------------------------------------------- the engine's view

const view = {
  sendReport(report) {
    if (!pad) return false;
    const device = pad;
    const data = report.slice();  // the engine's buffer is reused for the next report
    sendQueue = sendQueue
      .then(() => device.sendReport(0, data))
      .catch((error) => {
        if (device === pad) page.sendFailed(`WebHID: ${error.message}`);
      });
    return true;
  },
  showPadVersion(version) {
    padVersion = version;
    show('pad', () => (version === engine.factoryVersion ? t('padFactory') : t('padVersion', { version: versionText(version) })));
    showImageNote();
  },
  showPadUnanswered(reason) {
    show('pad', () => t('padUnanswered', { reason: reason ? ` (${reason})` : '' }));
  },
  showNotInBootMode() {
    setProgress(0, null);
    showOutcome('failure', () => t('notBootTitle'), () => t('notBoot'));
  },
  askConfirmation(imageVersion, knownPadVersion) {
    const values = { image: versionText(imageVersion), pad: versionText(knownPadVersion) };
    const comparable = knownPadVersion !== engine.factoryVersion && padVersion !== null;
    const question = !comparable ? 'questionUpdate'
      : imageVersion < knownPadVersion ? 'questionDowngrade'
      : imageVersion === knownPadVersion ? 'questionSame' : 'questionUpdate';
    show('confirm-question', () => t(question, values));
    show('confirm-versions', () => t(comparable ? 'versionsLine' : 'versionsLineNoPad', values));
    show('confirm-note', () => imageNote(imageVersion, comparable ? knownPadVersion : null));
    confirmOpen = true;
    $('confirm').showModal();
    $('confirm-ok').focus();
  },
  showCancelled() {
    setProgress(0, null);
    showOutcome('', () => t('cancelled'), null);
  },
  showImageRefused(problem, problemName) {
    const name = image?.name ?? '';
    showOutcome('failure', () => t('failureTitle'), () => t('imageRefused', { name, fault: engineWords(problem, problemName) }));
  },
  showProgress(percent) {
    // Called once per block: the bar moves at most every kProgressDrawMs, to the latest figure.
    progressDue = percent;
    if (progressTimer !== null) return;
    drawProgress();
    progressTimer = setTimeout(() => {
      progressTimer = null;
      drawProgress();
    }, kProgressDrawMs);
  },
  showImageSent() {
    setProgress(100, () => t('imageSent'));
  },
  showSuccess(imageVersion) {
    setProgress(100, () => '100%');
    showOutcome('success', () => t('successTitle'), () => t('success', { image: versionText(imageVersion) }));
  },
  showFailure(cause, name, reason) {
    closeConfirmation();
    const described = () => {
      const words = engineWords(cause, name);
      return reason ? `${words} (${reason})` : words;
    };
    const gap = language === 'zh' ? '' : ' ';
    showOutcome('failure', () => t('failureTitle'), () => `${t('failure', { reason: described() })}${gap}${t('failureHint')}`);
  },
  setUpdateAllowed(allowed) {
    $('update').disabled = !allowed;
    $('connect').disabled = !navigator.hid || pad !== null;
  },
};

// ---------------------------------------------------------------- the pad

const isBootPad = (device) => device.vendorId === identity.vendorId && device.productId === identity.productId;
const onLinux = () => /Linux/.test(navigator.userAgentData?.platform ?? navigator.platform) && !/Android|CrOS/.test(navigator.userAgent);

function onInputReport(event) {
  if (event.device !== pad || event.reportId !== 0) return;
  page.inputReport(new Uint8Array(event.data.buffer, event.data.byteOffset, event.data.byteLength));
}

async function openPad(device) {
  if (pad === device) return;
  $('open-failed').hidden = true;
  try {
    if (!device.opened) await device.open();
  } catch (error) {
    const linux = onLinux();
    show('open-failed-text', () => t(linux ? 'openFailedLinux' : 'openFailed', { error: error.message }));
    show('udev-command', linux ? () => t('udevCommand') : null);
    $('udev-command').hidden = !linux;
    $('open-failed').hidden = false;
    return;
  }
  pad = device;
  sendQueue = Promise.resolve();
  padVersion = null;
  device.addEventListener('inputreport', onInputReport);
  show('pad', () => t('padAsking'));
  showImageNote();
  page.padOpened();
}

function padLeft(device) {
  if (device !== pad) return;
  device.removeEventListener('inputreport', onInputReport);
  pad = null;
  padVersion = null;
  closeConfirmation();
  show('pad', () => t('padGone'));
  showImageNote();
  page.padRemoved();
}

async function connectClicked() {
  let devices;
  try {
    devices = await navigator.hid.requestDevice({ filters: [identity] });
  } catch (error) {
    show('pad', () => t('connectFailed', { error: error.message }));
    return;
  }
  if (devices.length > 0) await openPad(devices[0]);
}

// ---------------------------------------------------------------- the image

function imageNote(imageVersion, knownPadVersion) {
  if (knownPadVersion === null || knownPadVersion === engine.factoryVersion) return '';
  const values = { image: versionText(imageVersion), pad: versionText(knownPadVersion) };
  if (imageVersion < knownPadVersion) return t('downgrade', values);
  if (imageVersion === knownPadVersion) return t('sameVersion', values);
  return '';
}

function showImageInfo() {
  const chosen = image;
  show('image-info', chosen
    ? () => t('imageInfo', { version: versionText(chosen.version), name: chosen.name, length: chosen.imageLength })
    : () => t('imageNone'));
  showImageNote();
}

function showImageNote() {
  show('image-note', image ? () => imageNote(image.version, padVersion) : null);
}

async function takeImage(file) {
  if (!file || page.updating()) return;
  hideOutcome();
  show('image-info', () => t('imageReading', { name: file.name }));
  let bytes = null;
  try {
    // Never more than the engine's check reads: a huge file is not loaded whole.
    bytes = new Uint8Array(await file.slice(0, engine.imageReadLimit).arrayBuffer());
  } catch {
    bytes = null;  // unreadable: the engine says so in its own words
  }
  if (page.updating()) {  // an update began while the file was read: it keeps its image
    showImageInfo();
    return;
  }
  const result = page.chooseImage(file.name, bytes);
  if (!result.accepted) {
    image = null;
    show('image-info', () => t('imageRefused', { name: file.name, fault: engineWords(result.problem, result.problemName) }));
    showImageNote();
    return;
  }
  image = { name: file.name, version: result.version, imageLength: result.imageLength };
  showImageInfo();
}

function answerConfirmation(ok) {
  if (!confirmOpen) return;
  closeConfirmation();
  if (ok) setProgress(0, () => t('updating', { image: versionText(image.version) }));
  page.answer(ok);
}

// ---------------------------------------------------------------- start

function wireControls() {
  $('language').value = language;
  $('language').addEventListener('change', (event) => {
    language = event.target.value;
    try {
      localStorage.setItem(kLanguageKey, language);
    } catch {
      // not remembered: the page still shows the language chosen
    }
    showAll();
  });
  $('connect').addEventListener('click', connectClicked);
  $('image').addEventListener('change', (event) => {
    takeImage(event.target.files[0]);
    event.target.value = '';  // the same file chosen again (rewritten meanwhile) is read again
  });
  $('update').addEventListener('click', () => {
    hideOutcome();
    setProgress(0, null);
    page.startUpdate();
  });
  $('confirm-ok').addEventListener('click', () => answerConfirmation(true));
  $('confirm-cancel').addEventListener('click', () => answerConfirmation(false));
  $('confirm').addEventListener('cancel', (event) => {  // Escape
    event.preventDefault();
    answerConfirmation(false);
  });

  const drop = $('drop');
  // A file dropped anywhere else must not replace the page.
  for (const type of ['dragover', 'drop']) document.addEventListener(type, (event) => event.preventDefault());
  drop.addEventListener('dragover', () => drop.classList.add('over'));
  drop.addEventListener('dragleave', () => drop.classList.remove('over'));
  drop.addEventListener('drop', (event) => {
    drop.classList.remove('over');
    takeImage(event.dataTransfer.files[0]);
  });

  window.addEventListener('beforeunload', (event) => {
    if (!page?.updating()) return;
    event.preventDefault();
    event.returnValue = '';  // the browser asks the user whether to leave
  });
}

function blockedReason() {
  if (!window.isSecureContext) return () => t('insecure', { origin: location.origin === 'null' ? location.href : location.origin });
  if (!navigator.hid) return () => t('noWebHid');
  return null;
}

async function start() {
  $('no-start').hidden = true;
  wireControls();
  show('pad', () => t('padNone'));
  showImageInfo();
  showAll();
  const blocked = blockedReason();
  if (blocked) {
    show('blocked', blocked);
    $('blocked').hidden = false;
  }
  try {
    const { default: createUpdater } = await import('./updater.js');
    engine = await createUpdater();
  } catch (error) {
    show('blocked', () => t('engineFailed', { error: error.message }));
    $('blocked').hidden = false;
    return;
  }
  identity = engine.bootModeIdentity();
  page = new engine.Page(view);
  setInterval(() => page.checkPadSilence(), kSilenceCheckMs);
  if (!blocked) await takeUpPads();
  document.body.dataset.ready = 'true';
}

async function takeUpPads() {
  $('connect').disabled = false;
  navigator.hid.addEventListener('connect', (event) => {
    if (!pad && isBootPad(event.device)) openPad(event.device);
  });
  navigator.hid.addEventListener('disconnect', (event) => padLeft(event.device));
  // A pad this page was already allowed to use is taken up again without asking.
  const granted = (await navigator.hid.getDevices()).find(isBootPad);
  if (granted) await openPad(granted);
}

start();
