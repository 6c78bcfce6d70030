// The site's worker: it keeps every file of the site in a cache of its own and answers for
// those files from there first, so that the tuner opens with the network off. Any other
// address in its scope (a neighbouring page of the origin, a picture from elsewhere) it
// leaves to the browser, as if it were not there. A new release has a new worker, which
// the browser finds at the next visit: it keeps the whole new release or nothing, takes
// over at once (a running tuner no longer reads its files: the page fetches its program as
// it opens, long before a new worker has kept the whole new site) and deletes its own
// older caches, so the visit after it gets the new page.
// web/site/site-worker.cmake fills in the release and the files.
'use strict';
const release = '@RELEASE@';
// Each file of the site, by its name beside the worker, with its SHA-256.
const files = {@FILES@};

// Cache Storage is the origin's, shared by every copy of the site on it (a stable and a
// trial folder, say): a copy's caches are named after its scope, and it touches no other.
// Beside the release's own cache, one holds why this release could not be kept, and when.
const scope = self.registration.scope;
const ours = `vessandrel-tuner ${scope} `;
const cacheName = ours + release;
const notKept = cacheName + ' not kept';
const day = 24 * 60 * 60 * 1000;

// Every host serves index.html, and not every host answers a folder's address (an object
// store refuses it): the page is fetched as index.html, and kept under both addresses.
const address = (file) => new URL(file, scope).href;
const own = new Set(['', ...Object.keys(files)].map(address));
const hex = (bytes) => Array.from(new Uint8Array(bytes), (b) => b.toString(16).padStart(2, '0')).join('');

// Why a release could not be kept, in a word the page puts into its own words: a file the
// host answers with an error, a file that is not this release's (a host that rewrites its
// pages, or one caught half-way through an upload), or no room for the cache.
class Unkept extends Error {
  constructor(reason, message) { super(message); this.reason = reason; }
}

// A file's body if it is this release's, else null.
async function checked(response, digest) {
  const body = await response.arrayBuffer();
  return hex(await crypto.subtle.digest('SHA-256', body)) === digest ? body : null;
}

// Kept anew from its body and headers: a browser refuses a response that was redirected
// as the answer to a navigation, and the body is kept decoded.
function fresh(response, body) {
  const headers = new Headers(response.headers);
  headers.delete('Content-Encoding');
  headers.delete('Content-Length');
  return new Response(body, { status: 200, statusText: response.statusText, headers });
}

// Each file comes down once. One that an older release of this copy kept with the same
// digest is taken from there; one named after its digest (the program) from the browser's
// HTTP cache, where the page has just put it, and past it only if what is there is not
// this release's; the page first from the HTTP cache at the folder's address, where a
// visit there has just put it; any other is asked of the host again, which answers 304
// when the copy in the HTTP cache is still the host's. Whatever the source, it is checked.
async function obtain(file, digest, older) {
  for (const name of older) {
    const found = await caches.match(address(file), { cacheName: name });
    const body = found && await checked(found.clone(), digest);
    if (body) return fresh(found, body);
  }
  if (file === 'index.html') {
    const shown = await fetch(scope, { cache: 'only-if-cached', mode: 'same-origin' }).catch(() => null);
    const body = shown?.ok && await checked(shown.clone(), digest);
    if (body) return fresh(shown, body);
  }
  const ways = file.includes(digest.slice(0, 16)) ? ['default', 'reload'] : ['no-cache'];
  for (const cache of ways) {
    const response = await fetch(address(file), { cache });
    if (!response.ok) throw new Unkept('refused', `${file}: ${response.status} from the host`);
    const body = await checked(response.clone(), digest);
    if (body) return fresh(response, body);
  }
  throw new Unkept('altered', `${file} from the host is not this release's`);
}

// Older releases of this copy, whose caches hold files that may not have changed since.
const older = async () => (await caches.keys()).filter((name) =>
  name.startsWith(ours) && !name.startsWith(cacheName) && !name.endsWith(' not kept'));

// Every file is checked against its digest before any is kept: a release that fails
// leaves the one already kept serving.
async function keep() {
  const before = await older();
  const kept = await Promise.all(Object.entries(files).map(
    async ([file, digest]) => [address(file), await obtain(file, digest, before)]));
  await caches.delete(cacheName); // what an install cut short, or a cache half cleared, left
  try {
    const cache = await caches.open(cacheName);
    await Promise.all(kept.map(([url, response]) => cache.put(url, response)));
    await cache.put(scope, await cache.match(address('index.html')));
  } catch (e) {
    await caches.delete(cacheName);
    throw e.name === 'QuotaExceededError' ? new Unkept('full', e.message) : e;
  }
  await caches.delete(notKept);
}

// One keeping at a time, whoever asks: the install, or two pages opened at once.
let keeping = null;
const keepOnce = () => keeping || (keeping = keep().finally(() => { keeping = null; }));

async function note(reason) {
  await (await caches.open(notKept)).put(scope, new Response(JSON.stringify({ reason, at: Date.now() })));
}

// A release that cannot be kept while an older one of this copy is, fails its install:
// the older one goes on serving offline, and the next visit tries again. With none kept,
// it installs anyway and notes why: the tuner plays online, the page says that it will
// not work offline, and a visit tries again only a day later, or with a new release (the
// browser installs a new worker only for a worker that changed). A failure of the network
// itself is no host's: the install fails, and the next visit tries again.
self.addEventListener('install', (event) => {
  event.waitUntil(keepOnce().catch(async (e) => {
    if (!(e instanceof Unkept) || (await older()).length > 0) throw e;
    await note(e.reason);
  }).then(() => self.skipWaiting()));
});

// Releases before caches were named by scope named theirs vessandrel-tuner-<digest>: such
// a cache is this copy's if the files it keeps lie beside this worker.
async function keptHere(name) {
  const requests = await (await caches.open(name)).keys();
  return requests.length > 0 && requests.every((r) => new URL('./', r.url).href === scope);
}

self.addEventListener('activate', (event) => {
  event.waitUntil(caches.keys()
    .then((names) => Promise.all(names.map(async (name) => {
      if ((name.startsWith(ours) && !name.startsWith(cacheName)) ||
          (/^vessandrel-tuner-[0-9a-f]{16}$/.test(name) && await keptHere(name)))
        await caches.delete(name);
    })))
    .then(() => self.clients.claim()));
});

// Whether every file is kept, and is still this release's: another page of the origin can
// write into any cache of it.
async function complete() {
  if (!(await caches.has(cacheName))) return false;
  const cache = await caches.open(cacheName);
  return (await Promise.all([['', files['index.html']], ...Object.entries(files)].map(async ([file, digest]) => {
    const found = await cache.match(address(file));
    return Boolean(found) && (await checked(found, digest)) !== null;
  }))).every(Boolean);
}

// At every visit the page asks whether it can be had offline. A cache that another app of
// the origin, or the browser short of room, cleared or cut is kept again; a release noted
// as not kept is tried again once a day. The answer is why it cannot, or null.
async function visit() {
  if (await complete()) return null;
  const noted = await caches.match(scope, { cacheName: notKept });
  if (noted) {
    const { reason, at } = await noted.json();
    if (Date.now() - at < day) return reason;
  }
  try {
    await keepOnce();
    return null;
  } catch (e) {
    if (!(e instanceof Unkept)) throw e;
    await note(e.reason);
    return e.reason;
  }
}

self.addEventListener('message', (event) => {
  if (event.data !== 'visit') return;
  event.waitUntil(visit().then((reason) => event.source.postMessage({ notKept: reason })));
});

self.addEventListener('fetch', (event) => {
  if (event.request.method !== 'GET') return;
  const url = new URL(event.request.url);
  url.search = '';
  url.hash = '';
  if (!own.has(url.href)) return;
  event.respondWith(caches.match(url.href, { cacheName }).then((found) => found || fetch(event.request)));
});
