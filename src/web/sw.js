// The page's files, kept on the device the first time it loads, so that it plays with no
// network. The worker is named by its build: a new build is a new worker with a cache of its
// own, and the old cache goes once it takes over. Copyright the dressup authors; MIT (Expat)
// licensed.
"use strict";

var cacheName = "dressup-@BUILD@";
var files = [@FILES_JS@];

self.addEventListener("install", function (event) {
  event.waitUntil(caches.open(cacheName)
    .then(function (cache) { return cache.addAll(files); })
    .then(function () { return self.skipWaiting(); }));
});

self.addEventListener("activate", function (event) {
  event.waitUntil(caches.keys()
    .then(function (names) {
      return Promise.all(names.filter(function (name) {
        return name.indexOf("dressup-") === 0 && name !== cacheName;
      }).map(function (name) { return caches.delete(name); }));
    })
    .then(function () { return self.clients.claim(); }));
});

// The page asks for nothing but its own files: from the cache, and from the network only what
// the cache does not hold.
self.addEventListener("fetch", function (event) {
  event.respondWith(caches.open(cacheName)
    .then(function (cache) { return cache.match(event.request, { ignoreSearch: true }); })
    .then(function (kept) { return kept || fetch(event.request); }));
});
