// The maker's feed beside the page: feed.json and feed.json.sig fetched from the page's own
// folder, handed to the engine's feed checks (the feed library in WebAssembly, with WebCrypto),
// the highest serial seen per key kept in localStorage, and the newest release's image
// downloaded. What the files mean, and every rule, is the engine's.
import { withWebCrypto } from './webcrypto.js';

const kSerialsKey = 'morvik-feed-serials';

// {bytes} of `url`, at most `limit` + 1 bytes (one past the limit is enough to tell it
// is too large), {missing} for a 404, {error} for any other failure. `onBytes(received)` hears
// the download's progress.
export async function fetchBounded(url, limit, onBytes = () => {}) {
  let response;
  try {
    response = await fetch(url, { cache: 'no-cache' });
  } catch (error) {
    return { error: error.message };
  }
  if (response.status === 404) return { missing: true };
  if (!response.ok) return { error: `HTTP ${response.status}` };
  const reader = response.body.getReader();
  const parts = [];
  let received = 0;
  try {
    while (received <= limit) {
      const { done, value } = await reader.read();
      if (done) break;
      parts.push(value);
      received += value.length;
      onBytes(received);
    }
  } catch (error) {
    return { error: error.message };
  } finally {
    reader.cancel().catch(() => {});
  }
  const bytes = new Uint8Array(Math.min(received, limit + 1));
  let at = 0;
  for (const part of parts) {
    const kept = part.subarray(0, bytes.length - at);
    bytes.set(kept, at);
    at += kept.length;
  }
  return { bytes };
}

// The serials kept, {keyId: "decimal"}; a browser without storage keeps none, and still works.
function keptSerials() {
  try {
    return JSON.parse(localStorage.getItem(kSerialsKey) ?? '{}') ?? {};
  } catch {
    return {};
  }
}

// A verified feed's serial is never below the one kept under its key: the engine refused that.
function keepSerial(keyId, serial) {
  try {
    localStorage.setItem(kSerialsKey, JSON.stringify({ ...keptSerials(), [keyId]: serial }));
  } catch {
    // not kept: a later visit checks the serial against what it kept before
  }
}

// The feed beside the page: null when there is none (feed.json is a 404), {error, file} when a
// file could not be fetched, the engine's refusal, or the verified feed.
export async function loadFeed(engine, page) {
  const feed = await fetchBounded('feed.json', engine.maxFeedBytes);
  if (feed.missing) return null;
  if (feed.error) return { error: feed.error, file: 'feed.json' };
  const signature = await fetchBounded('feed.json.sig', engine.maxSignatureBytes);
  if (!signature.bytes) return { error: signature.error ?? 'HTTP 404', file: 'feed.json.sig' };
  const seen = keptSerials();
  const result = await withWebCrypto(page, () => page.verifyFeed(feed.bytes, signature.bytes, Date.now() / 1000, seen));
  if (result.verified) keepSerial(result.keyId, result.serial);
  return result;
}

// Downloads the newest release's image and has the engine check it: {error} when it could not be
// fetched, the engine's refusal, or the checked image with its `bytes`, to be sent.
// {overtaken} when `stillWanted()` says another image was chosen meanwhile: that one stays.
export async function downloadRelease(page, release, onBytes, stillWanted) {
  const download = await fetchBounded(release.file, release.size, onBytes);
  if (!download.bytes) return { error: download.error ?? 'HTTP 404' };
  const result = await withWebCrypto(page, () => (stillWanted() ? page.checkRelease(download.bytes) : { overtaken: true }));
  return result.accepted ? { ...result, bytes: download.bytes } : result;
}

// The verified feed's release whose image the chosen file's `bytes` are, or null.
export async function releaseOfChosen(page, bytes) {
  return (await withWebCrypto(page, () => page.releaseOf(bytes))).release ?? null;
}
