// A static host on 127.0.0.1, on a port the system picks, as any other host serves a
// folder: the files as they are, with their types and dates, gzipped for a browser that
// takes it, a folder's address answered with its index.html. With `cleanUrls`, it also
// does what hosts that serve clean URLs do: it answers an index.html with a redirect to its
// folder's address. `root` may change between requests (a new build put on the same host);
// `served` counts what reached it but the worker's script, which the browser fetches by
// itself to look for a new release, past Chromium's offline mode.
import { existsSync, readFileSync, statSync } from 'node:fs';
import { createServer } from 'node:http';
import { extname, join } from 'node:path';
import { gzipSync } from 'node:zlib';

const types = { '.html': 'text/html', '.js': 'text/javascript', '.png': 'image/png',
                '.webmanifest': 'application/manifest+json', '.wasm': 'application/wasm' };

export async function host(root, { cleanUrls = false } = {}) {
  const site = { root, served: 0 };
  const server = createServer((request, response) => {
    const path = new URL(request.url, 'http://host').pathname;
    const counted = !path.endsWith('/sw.js');
    if (cleanUrls && path.endsWith('/index.html')) {
      if (counted) site.served++;
      return response.writeHead(301, { Location: path.slice(0, -'index.html'.length) }).end();
    }
    const file = join(site.root, path.slice(1), path.endsWith('/') ? 'index.html' : '');
    if (path.includes('..') || !existsSync(file) || !statSync(file).isFile()) return response.writeHead(404).end();
    if (counted) site.served++;
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
