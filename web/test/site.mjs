// Serves the built site on a local port, compressed as a static host serves it, and keeps count of what it sent.
import { createServer } from 'node:http';
import { readFile } from 'node:fs/promises';
import path from 'node:path';
import { gzipSync } from 'node:zlib';

const mimeTypes = {
  '.html': 'text/html; charset=utf-8',
  '.css': 'text/css',
  '.js': 'text/javascript',
  '.wasm': 'application/wasm',
  '.data': 'application/octet-stream',
  '.jpg': 'image/jpeg',
  '.png': 'image/png',
  '.txt': 'text/plain; charset=utf-8',
};
// What static hosts compress by type: text and WebAssembly; not the images,
// nor the assets' package and the music, compressed already.
const compressed = new Set(['.html', '.css', '.js', '.wasm', '.txt']);

// What the server sent since the page was last opened (the server forgets
// the rest when it sends the page anew): per path, the requests, their bytes
// as sent, compressed or not, and the wall time (Date.now()) its last byte went.
export const served = new Map();
const pagePath = '/index.html';
// A file sent slowly goes in a part of its rate this often.
const slowPartMs = 100;

// Sends the body in parts at bytesPerS; resolves once all is sent.
async function sendSlowly(response, body, bytesPerS) {
  const part = Math.max(1, Math.round(bytesPerS * slowPartMs / 1000));
  for (let at = 0; at < body.length && !response.destroyed; at += part) {
    response.write(body.subarray(at, at + part));
    await new Promise((resolve) => setTimeout(resolve, slowPartMs));
  }
  response.end();
}

// Serves the build folder on a free local port, without cache headers, with
// gzip where the browser takes it and the type is one a host compresses;
// resolves to the server. Options: extras, texts served as files beside the
// site's, by path (a test's own scripts); slowly, the bytes per second at
// which to send a path, by path (a slow network's).
export async function serveFolder(folder, { extras = {}, slowly = {} } = {}) {
  const server = createServer(async (request, response) => {
    const name = decodeURIComponent(new URL(request.url, 'http://x').pathname);
    const file = path.join(folder, name === '/' ? 'index.html' : path.normalize(name));
    const type = path.extname(file);
    if (name === pagePath) served.clear();
    try {
      let body = Object.hasOwn(extras, name) ? Buffer.from(extras[name]) : await readFile(file);
      const headers = { 'Content-Type': mimeTypes[type] || 'application/octet-stream' };
      if (compressed.has(type)) {
        headers.Vary = 'Accept-Encoding';
        if (/\bgzip\b/.test(request.headers['accept-encoding'] || '')) {
          body = gzipSync(body);
          headers['Content-Encoding'] = 'gzip';
        }
      }
      headers['Content-Length'] = body.length;
      response.writeHead(200, headers);
      if (Object.hasOwn(slowly, name)) {
        await sendSlowly(response, body, slowly[name]);
      } else {
        response.end(body);
      }
      const sent = served.get(name) || { requests: 0, bytes: 0 };
      served.set(name, { requests: sent.requests + 1, bytes: sent.bytes + body.length, lastByteAtMs: Date.now() });
    } catch {
      response.writeHead(404);
      response.end();
    }
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return server;
}
