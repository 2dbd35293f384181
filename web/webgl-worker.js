// Makes a WebGL context off the page's thread, so that the page's own first one is quick.
'use strict';
try {
  new OffscreenCanvas(1, 1).getContext('webgl');
} catch {}
postMessage(null);
