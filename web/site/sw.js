// Keeps the page working offline once it has been opened: every file of the site is kept in the
// browser's cache when the page is first opened, and a request the network cannot answer is
// answered from there. Online, the network comes first, so a new version is picked up at once.
'use strict';

const kCache = 'zelvio-site';
const kFiles = ['./', 'index.html', 'style.css', 'app.js', 'sniff.js', 'worker.js', 'reader.js',
                'zelvio.js', 'zelvio.wasm'];
// The module with SIMD, where the site has it (the worker falls back to zelvio.js).
const kOptionalFiles = ['zelvio-simd.js', 'zelvio-simd.wasm'];

self.addEventListener('install', (event) => {
  event.waitUntil(caches.open(kCache).then((cache) => cache.addAll(kFiles).then(() =>
    Promise.all(kOptionalFiles.map((file) => cache.add(file).catch(() => {})))))
    .then(() => self.skipWaiting()));
});

self.addEventListener('activate', (event) => event.waitUntil(self.clients.claim()));

self.addEventListener('fetch', (event) => {
  const request = event.request;
  if (request.method !== 'GET' || new URL(request.url).origin !== self.location.origin) return;
  event.respondWith(fetch(request).then((response) => {
    if (response.ok) {
      const copy = response.clone();
      event.waitUntil(caches.open(kCache).then((cache) => cache.put(request, copy)));
    }
    return response;
  }, () => caches.match(request, { ignoreSearch: true }).then((cached) => cached ||
    Response.error())));
});
