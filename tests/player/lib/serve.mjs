// A small static file server on 127.0.0.1 with an ephemeral port. It serves
// a fixed set of in-memory pages, whole directories under a URL prefix, and
// single files registered at run time (the movies under test).
import http from 'node:http';
import fs from 'node:fs/promises';
import path from 'node:path';

const CONTENT_TYPES = {
  '.html': 'text/html; charset=utf-8',
  '.htm': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.map': 'application/json',
  '.json': 'application/json',
  '.wasm': 'application/wasm',
  '.swf': 'application/x-shockwave-flash',
  '.png': 'image/png',
};

function contentType(name) {
  return CONTENT_TYPES[path.extname(name).toLowerCase()] ?? 'application/octet-stream';
}

/**
 * Starts a server. Returns { origin, addPage, addFile, close }.
 *   dirs:  { '/prefix/': '/abs/dir' } — files below dir served under prefix.
 *   pages: { '/index.html': '<html>…' } — fixed in-memory documents.
 * addFile(urlPath, absPath) serves one file from disk (read at request time);
 * addPage(urlPath, text) adds an in-memory document.
 */
export async function serve({ dirs = {}, pages = {} } = {}) {
  const pageMap = new Map(Object.entries(pages));
  const fileMap = new Map();
  const dirList = Object.entries(dirs).map(([prefix, dir]) => [prefix, path.resolve(dir)]);

  async function resolve(urlPath) {
    if (pageMap.has(urlPath)) {
      return { body: Buffer.from(pageMap.get(urlPath)), type: contentType(urlPath) };
    }
    if (fileMap.has(urlPath)) {
      const file = fileMap.get(urlPath);
      return { body: await fs.readFile(file), type: contentType(file) };
    }
    for (const [prefix, dir] of dirList) {
      if (!urlPath.startsWith(prefix)) continue;
      const rel = decodeURIComponent(urlPath.slice(prefix.length));
      const file = path.resolve(dir, rel);
      // Never serve anything outside the directory.
      if (file !== dir && !file.startsWith(dir + path.sep)) return null;
      return { body: await fs.readFile(file), type: contentType(file), cacheable: true };
    }
    return null;
  }

  const server = http.createServer(async (req, res) => {
    try {
      const urlPath = new URL(req.url, 'http://127.0.0.1').pathname;
      const found = req.method === 'GET' || req.method === 'HEAD' ? await resolve(urlPath) : null;
      if (!found) {
        res.writeHead(404, { 'content-type': 'text/plain' });
        res.end('not found');
        return;
      }
      res.writeHead(200, {
        'content-type': found.type,
        'content-length': found.body.length,
        // The player's own files may be cached; movies never are, since a test
        // may rewrite one under the same name.
        'cache-control': found.cacheable ? 'max-age=3600' : 'no-store',
      });
      res.end(req.method === 'HEAD' ? undefined : found.body);
    } catch (err) {
      const missing = err && err.code === 'ENOENT';
      res.writeHead(missing ? 404 : 500, { 'content-type': 'text/plain' });
      res.end(missing ? 'not found' : String(err));
    }
  });

  await new Promise((resolveListen, reject) => {
    server.once('error', reject);
    server.listen(0, '127.0.0.1', resolveListen);
  });
  const { port } = server.address();

  return {
    origin: `http://127.0.0.1:${port}`,
    addPage(urlPath, text) {
      pageMap.set(urlPath, text);
    },
    addFile(urlPath, absPath) {
      fileMap.set(urlPath, path.resolve(absPath));
    },
    close() {
      return new Promise((done) => {
        server.closeAllConnections?.();
        server.close(() => done());
      });
    },
  };
}
