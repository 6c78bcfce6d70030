// The site's worker: it keeps every file of the site in a cache named after the build and
// answers from there first, so that the tuner opens with the network off. A new build has
// a new cache name, and so a new worker, which the browser finds at the next visit: it
// takes over at once (a running tuner no longer reads its files: the page fetches its
// program as it opens, long before a new worker has kept the whole new site) and deletes
// the caches of earlier builds, so the visit after it gets the new page.
// web/site-worker.cmake fills in the name and the files.
'use strict';
const cacheName = '@CACHE_NAME@';
const files = [@FILES@];

self.addEventListener('install', (event) => {
  // Past the browser's HTTP cache, which could still hold an earlier build's files.
  event.waitUntil(caches.open(cacheName)
    .then((cache) => cache.addAll(files.map((file) => new Request(file, { cache: 'reload' }))))
    .then(() => self.skipWaiting()));
});

self.addEventListener('activate', (event) => {
  event.waitUntil(caches.keys()
    .then((names) => Promise.all(names.filter((name) => name.startsWith('vessandrel-tuner-') && name !== cacheName)
                                      .map((name) => caches.delete(name))))
    .then(() => self.clients.claim()));
});

self.addEventListener('fetch', (event) => {
  if (event.request.method !== 'GET') return;
  const url = new URL(event.request.url);
  // The site's own address is its page.
  const key = url.origin + url.pathname === self.registration.scope ? 'index.html' : event.request;
  event.respondWith(caches.open(cacheName)
    .then((cache) => cache.match(key, { ignoreSearch: true }))
    .then((found) => found || fetch(event.request)));
});
