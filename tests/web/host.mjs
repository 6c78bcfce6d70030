// A static host on 127.0.0.1, on a port the system picks, as any other host serves a
// folder: the files as they are, with their types and dates, gzipped for a browser that
// takes it. `root` may change between
// requests (a new build put on the same host); `served` counts what reached it.
import { existsSync, readFileSync, statSync } from 'node:fs';
import { createServer } from 'node:http';
import { extname, join } from 'node:path';
import { gzipSync } from 'node:zlib';

const types = { '.html': 'text/html', '.js': 'text/javascript', '.png': 'image/png',
                '.webmanifest': 'application/manifest+json', '.wasm': 'application/wasm' };

export async function host(root) {
  const site = { root, served: 0 };
  const server = createServer((request, response) => {
    const path = new URL(request.url, 'http://host').pathname;
    const file = join(site.root, path === '/' ? 'index.html' : path.slice(1));
    if (path.includes('..') || !existsSync(file)) return response.writeHead(404).end();
    site.served++;
    const headers = { 'Content-Type': types[extname(file)] || 'application/octet-stream',
                      'Last-Modified': statSync(file).mtime.toUTCString() };
    let body = readFileSync(file);
    if (extname(file) !== '.png' && /\bgzip\b/.test(request.headers['accept-encoding'] || '')) {
      body = gzipSync(body);
      headers['Content-Encoding'] = 'gzip';
    }
    response.writeHead(200, headers);
    response.end(body);
  });
  await new Promise((listening) => server.listen(0, '127.0.0.1', listening));
  site.address = `http://127.0.0.1:${server.address().port}/`;
  site.close = () => new Promise((closed) => server.close(closed));
  return site;
}
