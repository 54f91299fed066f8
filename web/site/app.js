// The update page's window: asks for the pad (WebHID's requestDevice needs the user's click), and
// shows what the engine tells. The engine and the pad are the page's worker's (page-worker.js):
// the window hands it the user's steps and the images chosen, in small messages. The window
// checks the maker's feed itself, with the engine's feed library (in WebAssembly) and WebCrypto.
import { downloadRelease, loadFeed, releaseOfChosen } from './feed.js';
import { progressBar } from './progress.js';
import { saveReport } from './report.js';
import { reasonWords, withReason } from './reasons.js';
import { preferredLanguage, textOf, versionText, versionWords } from './texts.js';

const $ = (id) => document.getElementById(id);

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
let engine = null;       // the WebAssembly module, for the feed's checks and the engine's constants
let feed = null;         // its Feed: the checks of the maker's feed
let worker = null;       // the page's worker, once it started: the engine and the pad
let identity = null;     // the boot-mode pad's USB identity, from the engine
let padOpen = false;     // the worker holds an open pad
let updating = false;    // an update runs on the worker
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

const progress = progressBar($('progress'), $('progress-text'), show);
const download = progressBar($('download'), $('download-text'), show);

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

// What the worker posts: the engine's view calls, and the pad's opening and leaving.
const view = {
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
  setUpdateAllowed(allowed, running) {
    updating = running;
    $('update').disabled = !allowed;
    $('connect').disabled = !navigator.hid || padOpen;
  },
  padOpened() {
    padOpen = true;
    padVersion = null;
    $('open-failed').hidden = true;
    show('pad', () => t('padAsking'));
    show('pad-elsewhere', null);
    showImageNote();
  },
  openFailed(error) {
    const linux = onLinux();
    show('open-failed-text', () => t(linux ? 'openFailedLinux' : 'openFailed', { error }));
    show('udev-command', linux ? () => t('udevCommand') : null);
    $('udev-command').hidden = !linux;
    $('open-failed').hidden = false;
  },
  // The engine's failure of an update under way follows: a question still open closes with it.
  padLeft() {
    padOpen = false;
    padVersion = null;
    show('pad', () => t('padGone'));
    showImageNote();
    closeConfirmation();
  },
};

// ---------------------------------------------------------------- the pad

const onLinux = () => /Linux/.test(navigator.userAgentData?.platform ?? navigator.platform) && !/Android|CrOS/.test(navigator.userAgent);

// The user picks the pad; the worker takes it up from the pads the page may use.
async function connectClicked() {
  let devices;
  try {
    devices = await navigator.hid.requestDevice({ filters: [identity] });
  } catch (error) {
    show('pad', () => t('connectFailed', { error: error.message }));
    return;
  }
  if (devices.length > 0) await request('takeUp', 'takenUp');
}

const ask = (op, ...args) => worker.postMessage({ op, args });

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
  if (!file || !worker) return;  // without its worker the page says why, and takes no image
  if (updating) {
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
  const result = await chooseOnWorker(file.name, bytes);
  if (!result.taken) {  // an update began meanwhile: it keeps its image
    showImageInfo();
    notTaken(file);
    return;
  }
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
  const ofFeed = await releaseOfChosen(feed, bytes);
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
  const result = await loadFeed(engine, feed);
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
  if (updating) {
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
  const downloaded = await downloadRelease(feed, chosen, downloading, () => choice === choices);
  const checked = downloaded.pending ? unanswered : downloaded;
  // The checked release goes to the worker, which takes it unless an update began meanwhile.
  const result = checked.accepted && choice === choices ? { ...checked, ...(await chooseOnWorker(chosen.file, checked.bytes)) } : checked;
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
    ask('startUpdate');
  }
}

async function answerConfirmation(ok) {
  if (!confirmOpen) return;
  closeConfirmation();
  if (ok) {
    const version = image.version;
    progress.set(0, () => t('updating', { image: versionName(version) }));
    $('progress').focus();  // the dialog hands the focus back to the update button, now off
  }
  // Cancelled with a pad and an image, the update may start again (as the worker then confirms):
  // the focus goes back to its button at once. Otherwise it goes to the outcome, once shown.
  if (!ok && padOpen && image) {
    $('update').disabled = false;
    $('update').focus();
  }
  await request('answer', 'answered', ok);
  if (!ok && $('update').disabled) $('outcome').focus();
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
  for (const id of ['outcome-report', 'save-report']) $(id).addEventListener('click', () => saveReport((time) => request('report', 'report', time)));
  $('image').addEventListener('change', (event) => {
    takeImage([...event.target.files]);
    event.target.value = '';  // the same file chosen again (rewritten meanwhile) is read again
  });
  $('update').addEventListener('click', () => {
    hideOutcome();
    progress.set(0, null);
    ask('startUpdate');
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
    if (!updating) return;
    event.preventDefault();
    event.returnValue = '';  // the browser asks the user whether to leave
  });
}

function blockedReason() {
  if (!window.isSecureContext) return () => t('insecure', { origin: location.origin === 'null' ? location.href : location.origin });
  if (!navigator.hid) return () => t('noWebHid');
  return null;
}

// The worker, once it says it is ready; an error when it cannot start (its script missing, the
// engine not loading): the page then says so and nothing ever reaches the pad.
function startWorker() {
  const measured = new URLSearchParams(location.search).has('measure') ? '?measure' : '';
  return new Promise((done) => {
    let started;
    try {
      started = new Worker(new URL(`page-worker.js${measured}`, import.meta.url), { type: 'module' });
    } catch (error) {
      done({ error: error.message });
      return;
    }
    let ready = false;
    started.onerror = (event) => {  // a script that could not be loaded comes with no message
      event.preventDefault();
      const error = event.message || null;
      if (ready) workerFailed(error);
      else done({ error });
    };
    started.onmessage = ({ data }) => {
      if (data.op === 'failed') done({ error: data.args[0] });
      if (data.op !== 'ready') return;
      ready = true;
      started.onmessage = ({ data: message }) => (answers[message.op] ? answers[message.op].shift()?.(...message.args) : view[message.op](...message.args));
      done({ worker: started });
    };
  });
}

// Requests whose answers the worker posts back, each kind in the order asked.
const answers = { chosen: [], stamps: [], takenUp: [], answered: [], report: [] };
const request = (op, answer, ...args) => new Promise((done) => {
  answers[answer].push(done);
  ask(op, ...args);
});
const chooseOnWorker = (name, bytes) => request('chooseImage', 'chosen', name, bytes);

// `error`: the browser's words, or null for a script that could not be loaded.
function workerFailed(error) {
  $('connect').disabled = true;
  $('update').disabled = true;
  show('blocked', () => t('workerFailed', { error: error ?? t('workerScriptMissing') }));
  $('blocked').hidden = false;
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
  feed = new engine.Feed();
  const started = await startWorker();
  if (!started.worker) {
    workerFailed(started.error);
    return;
  }
  worker = started.worker;
  // The measurements read the worker's stamps around each report (the page's URL with ?measure).
  if (new URLSearchParams(location.search).has('measure')) window.reportStamps = () => request('stamps', 'stamps');
  if (!blocked) {
    $('connect').disabled = false;
    await request('takeUp', 'takenUp');  // a pad this page was already allowed to use is taken up again without asking
    await showFeed();
  }
  document.body.dataset.ready = 'true';
}

start();
