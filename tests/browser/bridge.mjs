// Shared pieces of the bridge's browser and security tests: starting the
// bridge and the host, requests with an origin and a token, PNG pixels.
import { spawn, execFileSync } from 'node:child_process';
import { mkdtempSync, readdirSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { inflateSync } from 'node:zlib';

export function parseArgs(argv) {
  const args = { suite: 'all' };
  for (let i = 0; i < argv.length; i += 2) args[argv[i].replace(/^--/, '')] = argv[i + 1];
  for (const needed of ['tessel', 'build', 'source'])
    if (!args[needed]) throw new Error(`run.mjs needs --${needed} (see tests/browser/CMakeLists.txt)`);
  return args;
}

export function tempDir(label) {
  return mkdtempSync(join(tmpdir(), `tessel-bridge-${label}-`));
}

// Starts `tessel [before...] serve --port 0 [after...]` and waits for the
// address it prints. The bridge's stderr is kept for failure reports.
export async function startBridge(tessel, { before = [], after = [], env = {} } = {}) {
  const proc = spawn(tessel, [...before, 'serve', '--port', '0', ...after], {
    env: { ...process.env, ...env }, stdio: ['ignore', 'pipe', 'pipe'],
  });
  let stdout = '';
  let stderr = '';
  proc.stderr.on('data', (d) => { stderr += d; });
  const port = await new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`the bridge did not start:\n${stderr}`)), 10000);
    proc.stdout.on('data', (d) => {
      stdout += d;
      const found = /http:\/\/127\.0\.0\.1:(\d+)\//.exec(stdout);
      if (found) { clearTimeout(timer); resolve(Number(found[1])); }
    });
    proc.on('exit', (code) => { clearTimeout(timer); reject(new Error(`the bridge exited (${code}):\n${stderr}`)); });
  });
  proc.removeAllListeners('exit');
  const base = `http://127.0.0.1:${port}`;
  return {
    port, base, origin: base, proc,
    stdout: () => stdout,
    stderr: () => stderr,
    async stop() {
      if (proc.exitCode !== null) return proc.exitCode;
      const exited = new Promise((resolve) => proc.on('exit', (code, signal) => resolve(code ?? signal)));
      proc.kill('SIGTERM');
      const timer = setTimeout(() => proc.kill('SIGKILL'), 5000);
      const code = await exited;
      clearTimeout(timer);
      return code;
    },
  };
}

// Answers the milliseconds `tessel serve` took to end after SIGTERM, and its
// exit status.
export async function timedStop(bridge) {
  const started = Date.now();
  const code = await bridge.stop();
  return { code, ms: Date.now() - started };
}

// A server on 127.0.0.1 that accepts every connection and never answers:
// a document server that has stalled. Answers its port and a close().
export async function stalledServer() {
  const { createServer } = await import('node:net');
  const sockets = new Set();
  const server = createServer((socket) => {
    sockets.add(socket);
    socket.on('error', () => {});
    socket.on('close', () => sockets.delete(socket));
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return {
    port: server.address().port,
    connections: () => sockets.size,
    url: (path = '/doc.html') => `http://127.0.0.1:${server.address().port}${path}`,
    close: () => new Promise((resolve) => {
      for (const socket of sockets) socket.destroy();
      server.close(resolve);
    }),
  };
}

// One request with exactly these bytes in its request line and Host, for
// paths that fetch() would tidy up. Answers the status and the body.
export async function rawGet(port, path, host = `127.0.0.1:${port}`) {
  const { connect } = await import('node:net');
  return new Promise((resolve, reject) => {
    const socket = connect(port, '127.0.0.1');
    let data = Buffer.alloc(0);
    socket.on('connect', () => socket.write(`GET ${path} HTTP/1.0\r\nHost: ${host}\r\n\r\n`));
    socket.on('data', (d) => { data = Buffer.concat([data, d]); });
    socket.on('error', reject);
    socket.on('close', () => {
      const text = data.toString('latin1');
      const status = Number(/^HTTP\/1\.[01] (\d{3})/.exec(text)?.[1] ?? 0);
      resolve({ status, body: data.subarray(text.indexOf('\r\n\r\n') + 4) });
    });
  });
}

// The processes the bridge started (its sessions' controls).
export function childProcesses(pid) {
  const children = [];
  for (const entry of readdirSync('/proc')) {
    if (!/^\d+$/.test(entry)) continue;
    try {
      const stat = readFileSync(`/proc/${entry}/stat`, 'latin1');
      if (Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]) === pid) children.push(Number(entry));
    } catch { /* gone meanwhile */ }
  }
  return children;
}

// A POST to the bridge's API with the given origin and token.
export async function api(bridge, path, body, { origin = bridge.origin, token, raw } = {}) {
  const headers = { 'Content-Type': 'application/json' };
  if (origin) headers.Origin = origin;
  if (token) headers['X-Tessel-Token'] = token;
  const response = await fetch(`${bridge.base}/api/${path}`, {
    method: 'POST', headers, body: raw ?? JSON.stringify(body ?? {}),
  });
  const bytes = Buffer.from(await response.arrayBuffer());
  const type = response.headers.get('content-type') || '';
  return {
    status: response.status, headers: response.headers, bytes,
    json: type.startsWith('application/json') ? JSON.parse(bytes.toString('utf8')) : null,
  };
}

export async function createSession(bridge, params = {}) {
  const r = await api(bridge, 'sessions', { params });
  if (r.status !== 201) throw new Error(`session not created: ${r.status} ${r.bytes}`);
  return r.json;
}

export const session = (s, action) => `sessions/${s.id}/${action}`;

export async function view(bridge, s, width, height) {
  const r = await api(bridge, session(s, 'view'), { width, height }, { token: s.token });
  if (r.status !== 200) throw new Error(`view refused: ${r.status} ${r.bytes}`);
  return { png: r.bytes, page: Number(r.headers.get('x-tessel-page')) };
}

// `tessel --src FILE [commands...]`, for the pictures the host makes itself.
export function host(tessel, src, commands, env = {}) {
  return execFileSync(tessel, ['--src', src, ...commands], {
    env: { ...process.env, ...env }, stdio: ['ignore', 'pipe', 'pipe'], timeout: 60000,
  }).toString();
}

export function hostView(tessel, src, pagesForward, width, height) {
  const dir = tempDir('view');
  try {
    const file = join(dir, 'page.png');
    host(tessel, src, [...Array(pagesForward).fill('next'), 'view', '--size', `${width}x${height}`, '-o', file]);
    return readFileSync(file);
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
}

export function pageCount(tessel, src) {
  const dir = tempDir('pages');
  try {
    const out = host(tessel, src, ['view', '--all', '-o', dir]);
    return Number(/(\d+) pages? written/.exec(out)[1]);
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
}

// The pixels of an 8-bit, non-interlaced PNG as RGBA rows, for comparing
// pictures whatever their encoder did.
export function decodePng(buffer) {
  if (buffer.readUInt32BE(0) !== 0x89504e47) throw new Error('not a PNG');
  let pos = 8;
  let width, height, colourType;
  const data = [];
  while (pos < buffer.length) {
    const length = buffer.readUInt32BE(pos);
    const type = buffer.toString('latin1', pos + 4, pos + 8);
    const chunk = buffer.subarray(pos + 8, pos + 8 + length);
    if (type === 'IHDR') {
      width = chunk.readUInt32BE(0);
      height = chunk.readUInt32BE(4);
      colourType = chunk[9];
      if (chunk[8] !== 8 || chunk[12] !== 0) throw new Error('only 8-bit non-interlaced PNGs');
    } else if (type === 'IDAT') {
      data.push(chunk);
    }
    pos += 12 + length;
  }
  const channels = { 0: 1, 2: 3, 4: 2, 6: 4 }[colourType];
  const raw = inflateSync(Buffer.concat(data));
  const stride = width * channels;
  const pixels = Buffer.alloc(width * height * 4);
  let previous = Buffer.alloc(stride);
  for (let y = 0; y < height; ++y) {
    const filter = raw[y * (stride + 1)];
    const line = Buffer.from(raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1)));
    for (let x = 0; x < stride; ++x) {
      const a = x >= channels ? line[x - channels] : 0;
      const b = previous[x];
      const c = x >= channels ? previous[x - channels] : 0;
      let add = 0;
      if (filter === 1) add = a;
      else if (filter === 2) add = b;
      else if (filter === 3) add = (a + b) >> 1;
      else if (filter === 4) {
        const p = a + b - c;
        const pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
        add = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      }
      line[x] = (line[x] + add) & 0xff;
    }
    for (let x = 0; x < width; ++x) {
      const o = (y * width + x) * 4;
      const s = x * channels;
      if (channels >= 3) { pixels[o] = line[s]; pixels[o + 1] = line[s + 1]; pixels[o + 2] = line[s + 2]; }
      else { pixels[o] = pixels[o + 1] = pixels[o + 2] = line[s]; }
      pixels[o + 3] = channels === 4 ? line[s + 3] : channels === 2 ? line[s + 1] : 255;
    }
    previous = line;
  }
  return { width, height, pixels };
}

// Answers a description of the first difference, or null for equal pixels.
export function comparePng(actual, expected) {
  const a = decodePng(actual);
  const e = decodePng(expected);
  if (a.width !== e.width || a.height !== e.height)
    return `size ${a.width}x${a.height}, expected ${e.width}x${e.height}`;
  const at = a.pixels.compare(e.pixels) === 0 ? -1 : a.pixels.findIndex((v, i) => v !== e.pixels[i]);
  if (at < 0) return null;
  const p = at >> 2;
  return `first differing pixel at (${p % a.width}, ${Math.floor(p / a.width)})`;
}

export async function until(what, test, timeoutMs = 10000, stepMs = 50) {
  const end = Date.now() + timeoutMs;
  for (;;) {
    const value = await test();
    if (value) return value;
    if (Date.now() > end) throw new Error(`timed out waiting for ${what}`);
    await new Promise((r) => setTimeout(r, stepMs));
  }
}

export function pdfPages(file) {
  const out = execFileSync('pdfinfo', [file]).toString();
  return Number(/^Pages:\s+(\d+)/m.exec(out)[1]);
}

export function flashDirectory(tesselFlash, file) {
  const out = execFileSync(tesselFlash, [file]).toString();
  return Number(/^directory: (\d+) page/m.exec(out)[1]);
}
