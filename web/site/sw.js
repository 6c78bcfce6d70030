// The site's worker: it keeps every file of the site in a cache of its own and answers from
// there first, so that the tuner opens with the network off. A new release has a new
// worker, which the browser finds at the next visit: it keeps the whole new release or
// nothing, takes over at once (a running tuner no longer reads its files: the page fetches
// its program as it opens, long before a new worker has kept the whole new site) and
// deletes its own older caches, so the visit after it gets the new page.
// web/site/site-worker.cmake fills in the release and the files.
'use strict';
const release = '@RELEASE@';
// Each file of the site, by its name beside the worker, with its SHA-256.
const files = {@FILES@};

// Cache Storage is the origin's, shared by every copy of the site on it (a stable and a
// trial folder, say): a copy's caches are named after its scope, and it touches no other.
const scope = self.registration.scope;
const ours = `vessandrel-tuner ${scope} `;
const cacheName = ours + release;

// The page is kept at the site's own address, the one visitors use: hosts that serve clean
// URLs answer index.html with a redirect there.
const address = (file) => new URL(file === 'index.html' ? './' : file, scope).href;
const hex = (bytes) => Array.from(new Uint8Array(bytes), (b) => b.toString(16).padStart(2, '0')).join('');

// Every file, past the browser's HTTP cache, is checked against its digest before any is
// kept: a host caught half-way through an upload, or a cache in between that still holds
// another release's file, fails the install, and the release already kept goes on
// serving; the next visit tries again. Each is kept anew from its body and headers: a
// browser refuses a response that was redirected as the answer to a navigation, and the
// body is kept decoded.
async function keep() {
  const checked = await Promise.all(Object.entries(files).map(async ([file, digest]) => {
    const response = await fetch(address(file), { cache: 'reload' });
    if (!response.ok) throw new Error(`${file}: ${response.status} from the host`);
    const body = await response.arrayBuffer();
    if (hex(await crypto.subtle.digest('SHA-256', body)) !== digest)
      throw new Error(`${file} from the host is not this release's`);
    const headers = new Headers(response.headers);
    headers.delete('Content-Encoding');
    headers.delete('Content-Length');
    return [address(file), new Response(body, { status: 200, statusText: response.statusText, headers })];
  }));
  await caches.delete(cacheName); // what an install cut short left
  const cache = await caches.open(cacheName);
  await Promise.all(checked.map(([url, response]) => cache.put(url, response)));
}

self.addEventListener('install', (event) => {
  event.waitUntil(keep().then(() => self.skipWaiting(),
                              (e) => caches.delete(cacheName).then(() => { throw e; })));
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
      if ((name.startsWith(ours) && name !== cacheName) ||
          (/^vessandrel-tuner-[0-9a-f]{16}$/.test(name) && await keptHere(name)))
        await caches.delete(name);
    })))
    .then(() => self.clients.claim()));
});

self.addEventListener('fetch', (event) => {
  if (event.request.method !== 'GET') return;
  const url = new URL(event.request.url);
  url.search = '';
  url.hash = '';
  // The site's own address and its index.html are both its page.
  const key = url.href === scope + 'index.html' ? scope : url.href;
  event.respondWith(caches.match(key, { cacheName }).then((found) => found || fetch(event.request)));
});
