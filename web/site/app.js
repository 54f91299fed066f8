// The update page: finds the pad over WebHID, hands each of its input reports to the engine (in
// WebAssembly) and each report the engine sends to the pad, and shows what the engine tells.
// What the reports mean is the engine's business alone.
import { downloadRelease, loadFeed, releaseOfChosen } from './feed.js';
import { progressBar } from './progress.js';
import { saveReport } from './report.js';
import { reasonWords, withReason } from './reasons.js';
import { preferredLanguage, textOf, versionText, versionWords } from './texts.js';

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
let image = null;        // {name, version, imageLength, longer} of the accepted image
let confirmOpen = false;
let release = null;      // the newest release of the verified feed beside the page
let choices = 0;         // images chosen or downloaded so far: a check that ends after a newer choice is dropped

// What each element shows, kept as a function so that a change of language shows it anew.
const shown = new Map();
const t = (key, values) => textOf(language, key, values);
// A problem or failure: the engine's own English words, or their translation.
const engineWords = (key, english) => (language === 'en' ? english : t(key));
// A version as the sentences name it, in the language shown.
const versionName = (version) => versionWords(language, version, engine.factoryVersion);
const isNumbered = (version) => version !== engine.factoryVersion;

function show(id, render) {
  shown.set(id, render);
  $(id).textContent = render ? render() : '';
}

const progress = progressBar($('progress'), $('progress-text'), show, kProgressDrawMs);
const download = progressBar($('download'), $('download-text'), show, kProgressDrawMs);

function showAll() {
  document.documentElement.lang = language === 'zh' ? 'zh-CN' : 'en';
  document.title = t('pageTitle');
  for (const element of document.querySelectorAll('[data-text]')) element.textContent = t(element.dataset.text);
  $('progress').setAttribute('aria-label', t('progressLabel'));
  $('download').setAttribute('aria-label', t('downloadLabel'));
  for (const [id, render] of shown) $(id).textContent = render ? render() : '';
}

// ---------------------------------------------------------------- the outcome box

function showOutcome(kind, title, text) {
  const box = $('outcome');
  box.hidden = false;
  box.className = `outcome ${kind}`;
  $('outcome-report').hidden = kind !== 'failure';
  show('outcome-title', title);
  show('outcome-text', text);
  // A focus lost meanwhile (its button turned off, its dialog closed) comes to what happened.
  const focused = document.activeElement;
  if (!focused || focused === document.body || focused.disabled || !focused.checkVisibility()) box.focus();
}

function hideOutcome() {
  $('outcome').hidden = true;
  show('outcome-title', null);
  show('outcome-text', null);
}

// The space between two sentences: none in Chinese, whose full stop carries it.
const gap = () => (language === 'zh' ? '' : ' ');

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
    show('pad', () => t('padUnanswered', { reason: withReason(language, '', reasonWords(language, reason)) }));
  },
  showNotInBootMode() {
    progress.set(0, null);
    showOutcome('failure', () => t('notBootTitle'), () => t('notBoot'));
  },
  askConfirmation(imageVersion, knownPadVersion) {
    const values = () => ({ image: versionName(imageVersion), pad: versionName(knownPadVersion) });
    const comparable = padVersion !== null && isNumbered(knownPadVersion) && isNumbered(imageVersion);
    const question = !comparable ? 'questionUpdate'
      : imageVersion < knownPadVersion ? 'questionDowngrade'
      : imageVersion === knownPadVersion ? 'questionSame' : 'questionUpdate';
    show('confirm-question', () => t(question, values()));
    show('confirm-versions', () => t(comparable ? 'versionsLine' : 'versionsLineNoPad', values()));
    show('confirm-note', () => imageNote(imageVersion, comparable ? knownPadVersion : null));
    show('confirm-longer', image?.longer ? () => t('longerFile') : null);
    confirmOpen = true;
    $('confirm').showModal();
    // A downgrade is the step to think twice about: Enter alone must not take it.
    $(question === 'questionDowngrade' ? 'confirm-cancel' : 'confirm-ok').focus();
  },
  showCancelled() {
    progress.set(0, null);
    showOutcome('', () => t('cancelled'), null);
  },
  showImageRefused(problem, problemName) {
    const name = image?.name ?? '';
    showOutcome('failure', () => t('failureTitle'), () => t('imageRefused', { name, fault: engineWords(problem, problemName) }));
  },
  showProgress(percent) {
    const version = image.version;
    progress.step(percent, () => `${t('updating', { image: versionName(version) })} ${percent}%`);
  },
  showImageSent() {
    progress.set(100, () => t('imageSent'));
  },
  showSuccess(imageVersion) {
    progress.set(100, () => '100%');
    showOutcome('success', () => t('successTitle'), () => t('success', { image: versionName(imageVersion) }));
    // Asked its version again: until it answers (if it stays), its old version is no more.
    padVersion = null;
    show('pad', () => t('padRestarting'));
    showImageNote();
  },
  // `described` is the engine's English for the failure with its reason.
  showFailure(cause, described, reason, padFirmwareTouched) {
    closeConfirmation();
    progress.set(progress.percent(), () => t('progressFailed'));
    const words = () => (language === 'en' ? described : withReason(language, t(cause), reasonWords(language, reason)));
    const after = padFirmwareTouched ? 'failureHint' : 'failureUntouched';
    showOutcome('failure', () => t('failureTitle'), () => `${t('failure', { reason: words() })}${gap()}${t(after)}`);
  },
  showPadUsedElsewhere() {
    if (shown.get('pad-elsewhere')) return;  // said once: it is not news the second time
    show('pad-elsewhere', () => t('padUsedElsewhere'));
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
  show('pad-elsewhere', null);
  showImageNote();
  page.padOpened();
}

function padLeft(device) {
  if (device !== pad) return;
  device.removeEventListener('inputreport', onInputReport);
  pad = null;
  padVersion = null;
  show('pad', () => t('padGone'));
  showImageNote();
  page.padRemoved();  // a question still open closes with the update's failure
  closeConfirmation();
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
  if (knownPadVersion === null || !isNumbered(knownPadVersion) || !isNumbered(imageVersion)) return '';
  const values = { image: versionName(imageVersion), pad: versionName(knownPadVersion) };
  if (imageVersion < knownPadVersion) return t('downgrade', values);
  if (imageVersion === knownPadVersion) return t('sameVersion', values);
  return '';
}

function showImageInfo() {
  const chosen = image;
  show('image-info', chosen
    ? () => t('imageInfo', { version: versionName(chosen.version), name: chosen.name, length: chosen.imageLength })
    : () => t('imageNone'));
  showImageNote();
}

function showImageNote() {
  const chosen = image;
  show('image-note', chosen ? () => imageNote(chosen.version, padVersion) : null);
  show('image-longer', chosen?.longer ? () => t('longerFile') : null);
  show('image-release', chosen?.release ? () => t('imageIsRelease', { version: chosen.release.versionText }) : null);
}

// A file chosen or dropped while an update runs is not taken, and the page says so.
function notTaken(file) {
  show('image-taken', () => t('imageNotTaken', { name: file.name }));
}

// `files` as chosen or dropped: the first is the one taken.
async function takeImage(files) {
  const file = files[0];
  if (!file) return;
  if (page.updating()) {
    notTaken(file);
    return;
  }
  const choice = ++choices;
  show('image-taken', files.length > 1 ? () => t('imagesDropped', { count: files.length, name: file.name }) : null);
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
    notTaken(file);
    return;
  }
  const result = page.chooseImage(file.name, bytes);
  if (!result.accepted) {
    image = null;
    show('image-info', () => t('imageRefused', { name: file.name, fault: engineWords(result.problem, result.problemName) }));
    showImageNote();
    return;
  }
  const chosen = { name: file.name, version: result.version, imageLength: result.imageLength, longer: result.longer };
  image = chosen;
  showImageInfo();
  if (!release) return;
  const ofFeed = await releaseOfChosen(page);
  if (choice !== choices || image !== chosen || !ofFeed) return;
  chosen.release = ofFeed;
  showImageNote();
}

// ---------------------------------------------------------------- the maker's feed

// A refusal of the engine's feed checks, in the page's language: the library's English, or the
// problem's translation with its subject.
const feedReason = (refusal) => (language === 'en' ? refusal.words
  : withReason(language, t(refusal.problem), reasonWords(language, refusal.subject)));
const unanswered = { refused: true, problem: 'CryptoFailed', words: textOf('en', 'CryptoFailed'), subject: '' };

function showFeedRefused(render) {
  show('feed-refused', render);
  $('feed-refused').hidden = false;
}

async function showFeed() {
  const result = await loadFeed(engine, page);
  if (!result) return;  // no feed beside the page: files are chosen as ever
  if (result.error) {
    showFeedRefused(() => t('feedUnreachable', { file: result.file, error: result.error }));
    return;
  }
  const verdict = result.pending ? unanswered : result;
  if (!verdict.verified) {
    showFeedRefused(() => t('feedRefused', { reason: feedReason(verdict) }));
    return;
  }
  if (!verdict.newest) return;
  release = verdict.newest;
  const shown = release;
  show('feed-title', () => t('feedTitle', { version: shown.versionText, date: shown.date, urgency: t(`urgency_${shown.urgency}`) }));
  show('feed-notes', () => shown.notes[language]);
  $('feed').hidden = false;
}

async function useRelease() {
  const chosen = release;
  if (page.updating()) {
    show('release-status', () => t('imageNotTaken', { name: chosen.file }));
    return;
  }
  const choice = ++choices;
  hideOutcome();
  $('use-release').disabled = true;
  show('release-status', null);
  $('download').hidden = false;
  download.set(0, () => t('downloading', { file: chosen.file, percent: 0 }));
  const downloading = (received) => {
    const percent = Math.min(100, Math.floor((received * 100) / Math.max(chosen.size, 1)));
    download.step(percent, () => t('downloading', { file: chosen.file, percent }));
  };
  const downloaded = await downloadRelease(page, chosen, downloading, () => choice === choices);
  const result = downloaded.pending ? unanswered : downloaded;
  $('use-release').disabled = false;
  if (result.overtaken || choice !== choices) {  // another image was chosen meanwhile: it stays the one
    download.set(0, null);
    return;
  }
  if (result.error || result.refused) {
    download.set(0, null);
    show('release-status', result.error ? () => t('releaseUnreachable', { file: chosen.file, error: result.error })
      : () => t('releaseRefused', { file: chosen.file, reason: feedReason(result) }));
    return;
  }
  if (!result.taken) {
    download.set(0, null);
    notTaken({ name: chosen.file });
    return;
  }
  download.set(100, () => t('downloaded', { file: chosen.file }));
  show('image-taken', null);
  image = { name: chosen.file, version: result.version, imageLength: result.imageLength, longer: result.longer, release: chosen };
  showImageInfo();
  if (!$('update').disabled) {  // a pad is there: the usual question follows
    progress.set(0, null);
    page.startUpdate();
  }
}

function answerConfirmation(ok) {
  if (!confirmOpen) return;
  closeConfirmation();
  if (ok) {
    const version = image.version;
    progress.set(0, () => t('updating', { image: versionName(version) }));
  }
  page.answer(ok);
  // The dialog hands the focus back to the update button, now off: it goes where the user is next.
  if (ok) $('progress').focus();
  else ($('update').disabled ? $('outcome') : $('update')).focus();
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
  $('use-release').addEventListener('click', useRelease);
  for (const id of ['outcome-report', 'save-report']) $(id).addEventListener('click', () => page && saveReport(page));
  $('image').addEventListener('change', (event) => {
    takeImage([...event.target.files]);
    event.target.value = '';  // the same file chosen again (rewritten meanwhile) is read again
  });
  $('update').addEventListener('click', () => {
    hideOutcome();
    progress.set(0, null);
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
    takeImage([...event.dataTransfer.files]);
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
  if (!blocked) await Promise.all([takeUpPads(), showFeed()]);
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
