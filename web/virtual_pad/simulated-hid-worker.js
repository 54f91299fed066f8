// The page's worker as the tests start it: the simulated navigator.hid first (simulated-hid.js,
// which the window's bus reaches through the first message), then the page's own worker script,
// named by ?script= (the window's wrapper starts a worker whose script is missing as it is).
import './simulated-hid.js';

const script = new URL(location.href).searchParams.get('script');
await import(script);
