// A static host on 127.0.0.1, on a port the system picks, as any other host serves a
// folder: the files as they are, with their types and tags (a 304 to a copy of the same),
// gzipped for a browser that takes it, a folder's address answered with its index.html, and
// the headers that the nearest `_headers` lists, its paths read from its own folder (as if
// the site had been built for it), and never `_headers` itself. With `cleanUrls`, it also
// does what hosts that serve clean URLs do: it answers an index.html with a redirect to its
// folder's address; with `folderIndex` false, what an object store does: it refuses a
// folder's address. `root` may change between requests (a new build put on the same host);
// `served` counts what reached it but the worker's script, which the browser fetches by
// itself to look for a new release, past Chromium's offline mode, `asked` their paths, and
// `bytes` the bodies it sent, by path.
import { spawn } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, statSync, writeFileSync } from 'node:fs';
import { createServer } from 'node:http';
import { tmpdir } from 'node:os';
import { basename, extname, join } from 'node:path';
import { gzipSync } from 'node:zlib';

const types = { '.html': 'text/html', '.js': 'text/javascript', '.png': 'image/png',
                '.webmanifest': 'application/manifest+json', '.wasm': 'application/wasm' };

// What the nearest `_headers` at or above the file's folder lists for `path`, its paths
// read from its own folder.
function listed(root, path) {
  let here = path.slice(0, path.lastIndexOf('/') + 1);
  while (here !== '/' && !existsSync(join(root, here, '_headers'))) here = here.replace(/[^/]*\/$/, '');
  const list = join(root, here, '_headers');
  const headers = {};
  if (!existsSync(list)) return headers;
  let ours = false;
  for (const line of readFileSync(list, 'utf8').split('\n')) {
    if (/^\S/.test(line)) ours = line.endsWith('*') ? path.startsWith(here + line.slice(1, -1)) : path === here + line.slice(1);
    else if (ours && line.includes(':')) headers[line.slice(0, line.indexOf(':')).trim()] = line.slice(line.indexOf(':') + 1).trim();
  }
  return headers;
}

export async function host(root, { cleanUrls = false, folderIndex = true } = {}) {
  const site = { root, served: 0, asked: [], bytes: {} };
  const server = createServer((request, response) => {
    const path = new URL(request.url, 'http://host').pathname;
    const count = () => {
      if (path.endsWith('/sw.js')) return;
      site.served++;
      site.asked.push(path);
    };
    if (cleanUrls && path.endsWith('/index.html')) {
      count();
      return response.writeHead(301, { Location: path.slice(0, -'index.html'.length) }).end();
    }
    if (!folderIndex && path.endsWith('/')) return response.writeHead(403).end();
    const file = join(site.root, path.slice(1), path.endsWith('/') ? 'index.html' : '');
    if (path.includes('..') || basename(file) === '_headers' || !existsSync(file) || !statSync(file).isFile())
      return response.writeHead(404).end();
    count();
    const { size, mtimeMs } = statSync(file);
    const headers = { 'Content-Type': types[extname(file)] || 'application/octet-stream', ETag: `"${size}-${mtimeMs}"`,
                      ...listed(site.root, path) };
    if (request.headers['if-none-match'] === headers.ETag) return response.writeHead(304, headers).end();
    let body = readFileSync(file);
    if (extname(file) !== '.png' && /\bgzip\b/.test(request.headers['accept-encoding'] || '')) {
      body = gzipSync(body);
      headers['Content-Encoding'] = 'gzip';
    }
    site.bytes[path] = (site.bytes[path] || 0) + body.length;
    response.writeHead(200, headers);
    response.end(body);
  });
  await new Promise((listening) => server.listen(0, '127.0.0.1', listening));
  site.address = `http://127.0.0.1:${server.address().port}/`;
  site.close = () => new Promise((closed) => server.close(closed));
  return site;
}

// Debian's nginx serving `root` as its default server does, with `site` (lines of a host's
// configuration) in its server's block, run as whoever runs the test, on a free port of
// 127.0.0.1. As root, its workers are nobody's: `root` must be readable by all.
export async function nginx(root, site) {
  const dir = mkdtempSync(join(tmpdir(), 'tuner-nginx-'));
  const probe = createServer();
  await new Promise((listening) => probe.listen(0, '127.0.0.1', listening));
  const { port } = probe.address();
  await new Promise((closed) => probe.close(closed));
  const temp = ['client_body', 'proxy', 'fastcgi', 'uwsgi', 'scgi'].map((t) => `${t}_temp_path ${dir}/${t};`).join(' ');
  writeFileSync(join(dir, 'nginx.conf'), `daemon off; pid ${dir}/pid; events {}
http { include /etc/nginx/mime.types; default_type application/octet-stream; gzip on; access_log off; ${temp}
  server { listen 127.0.0.1:${port}; root ${root}; index index.html;\n${site}\n  }
}`);
  const server = spawn('/usr/sbin/nginx', ['-e', join(dir, 'error.log'), '-p', dir, '-c', join(dir, 'nginx.conf')],
                       { stdio: 'inherit' });
  server.unref();
  process.on('exit', () => server.kill());
  const address = `http://127.0.0.1:${port}/`;
  for (let tries = 0; !(await fetch(address).then(() => true, () => false)); tries++) {
    if (tries === 100) throw new Error(`nginx did not start: ${readFileSync(join(dir, 'error.log'), 'utf8')}`);
    await new Promise((r) => setTimeout(r, 100));
  }
  return { address, close: () => new Promise((ended) => { server.once('exit', ended); server.kill(); }) };
}
