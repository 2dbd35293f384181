// Serves the built site on a local port and keeps count of what it sent.
import { createServer } from 'node:http';
import { readFile } from 'node:fs/promises';
import path from 'node:path';

const mimeTypes = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript',
  '.wasm': 'application/wasm',
  '.data': 'application/octet-stream',
  '.jpg': 'image/jpeg',
  '.png': 'image/png',
};

// What the server sent since the page was last opened (the server forgets
// the rest when it sends the page anew): per path, the requests and their bytes.
export const served = new Map();
const pagePath = '/index.html';

// Serves the build folder on a free local port, without cache headers;
// resolves to the server.
export async function serveFolder(folder) {
  const server = createServer(async (request, response) => {
    const name = decodeURIComponent(new URL(request.url, 'http://x').pathname);
    const file = path.join(folder, name === '/' ? 'index.html' : path.normalize(name));
    if (name === pagePath) served.clear();
    try {
      const body = await readFile(file);
      response.writeHead(200, { 'Content-Type': mimeTypes[path.extname(file)] || 'application/octet-stream' });
      response.end(body);
      const sent = served.get(name) || { requests: 0, bytes: 0 };
      served.set(name, { requests: sent.requests + 1, bytes: sent.bytes + body.length });
    } catch {
      response.writeHead(404);
      response.end();
    }
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return server;
}
