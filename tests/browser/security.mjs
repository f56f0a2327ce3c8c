// Who may call the bridge, what it refuses, and how it holds up under many
// view requests at once. Plain HTTP from node, no browser.
import assert from 'node:assert/strict';
import { copyFileSync, mkdirSync, readdirSync, rmSync, symlinkSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { api, createSession, rawGet, session, startBridge, tempDir, until, view } from './bridge.mjs';

const count = async (bridge) => (await api(bridge, 'status')).json.sessions;

// A folder with a document, the pictures it names, and what must never be
// served from it: other files, dot files, links that leave it.
function hostileFolder(root, source) {
  const site = join(root, 'site');
  mkdirSync(join(site, 'pics'), { recursive: true });
  mkdirSync(join(site, '.git'));
  const logo = join(source, 'samples', 'images', 'report-logo.png');
  copyFileSync(logo, join(site, 'pics', 'a.png'));
  copyFileSync(logo, join(site, 'pics', 'unnamed.png'));
  copyFileSync(logo, join(site, 'pics', '.hidden.png'));
  copyFileSync(logo, join(root, 'outside.png'));
  writeFileSync(join(root, 'secret.txt'), 'secret');
  writeFileSync(join(site, 'notes.txt'), 'not published');
  writeFileSync(join(site, '.git', 'config'), '[core]');
  symlinkSync(join(root, 'secret.txt'), join(site, 'pics', 'link.png'));
  writeFileSync(join(site, 'doc.html'), '<p>Pictures <img src="pics/a.png" width=10> <img src=pics/.hidden.png>' +
    ' <img src="../outside.png"> <img src="pics/link.png"> <img src="%2e%2e/outside.png">');
  return site;
}

// Paths that try to leave a folder or reach what it does not publish.
const escapes = (prefix) => [
  `${prefix}../secret.txt`, `${prefix}%2e%2e/secret.txt`, `${prefix}%2E%2E%2Fsecret.txt`,
  `${prefix}%252e%252e/secret.txt`, `${prefix}..%2fsecret.txt`, `${prefix}pics/../../secret.txt`,
  `${prefix}pics/link.png`, `${prefix}pics/.hidden.png`, `${prefix}.git/config`, `${prefix}%2egit/config`,
  `${prefix}pics/`, `${prefix}pics`, `${prefix}notes.txt`, `${prefix}pics/unnamed.png`, `${prefix}doc.html%00`,
];

export function securityTests({ tessel, source }) {
  return {
    async 'refused requests change nothing and the bridge keeps serving'() {
      const bridge = await startBridge(tessel, { after: ['--max-body', '4096'] });
      try {
        const mine = await createSession(bridge);
        const other = await createSession(bridge);
        assert.equal(await count(bridge), 2);

        // Origins: none, a foreign one, one that only looks like ours.
        for (const origin of [null, 'http://evil.example', `http://127.0.0.1:${bridge.port + 1}`, 'null']) {
          const created = await api(bridge, 'sessions', {}, { origin });
          assert.equal(created.status, 403, `create from ${origin}`);
          const called = await api(bridge, session(mine, 'call'), { member: 'NextPage' }, { origin, token: mine.token });
          assert.equal(called.status, 403, `call from ${origin}`);
        }
        // Tokens: none, another session's, a wrong one, an unknown session.
        for (const token of [undefined, other.token, mine.token.replace(/./, (c) => (c === '0' ? '1' : '0'))]) {
          const r = await api(bridge, session(mine, 'call'), { member: 'NextPage' }, { token });
          assert.equal(r.status, 403, `token ${token}`);
          const closed = await api(bridge, session(mine, 'close'), {}, { token });
          assert.equal(closed.status, 403);
        }
        assert.equal((await api(bridge, 'sessions/0123/call', { member: 'NextPage' }, { token: mine.token })).status, 403);
        // A browser's preflight from a foreign origin gets nothing either.
        const preflight = await fetch(`${bridge.base}/api/sessions`, {
          method: 'OPTIONS', headers: { Origin: 'http://evil.example', 'Access-Control-Request-Method': 'POST' },
        });
        assert.equal(preflight.status, 403);
        assert.equal(preflight.headers.get('access-control-allow-origin'), null);

        // Bodies: over the bound, malformed, not an object, bad members.
        const big = await api(bridge, session(mine, 'call'), null, { token: mine.token, raw: `{"member":"NextPage","x":"${'a'.repeat(8192)}"}` });
        assert.equal(big.status, 413);
        for (const raw of ['{"member":', '{"member":"NextPage",}', '\u00ff', '{"a":"\\ud800"}', '[1]', '"x"', `${'['.repeat(100)}`]) {
          const r = await api(bridge, session(mine, 'call'), null, { token: mine.token, raw });
          assert.equal(r.status, 400, raw);
          assert.match(r.json.error, /malformed JSON|JSON object/, raw);
        }
        for (const body of [{}, { member: 'Delete' }, { member: 'NextPage', op: 'put', value: 1 }, { member: 'FillColor', value: -1 }, { member: 'src', value: 5 }]) {
          const r = await api(bridge, session(mine, 'call'), body, { token: mine.token });
          assert.equal(r.status, 400, JSON.stringify(body));
        }
        for (const size of [{ width: 0, height: 10 }, { width: 10.5, height: 10 }, { width: 100000, height: 10 }, {}])
          assert.equal((await api(bridge, session(mine, 'view'), size, { token: mine.token })).status, 400);

        // Nothing moved: both sessions are still on page 1, both still live.
        assert.equal((await view(bridge, mine, 200, 260)).page, 1);
        assert.equal((await view(bridge, other, 200, 260)).page, 1);
        assert.equal(await count(bridge), 2);
        // And the right origin with the right token still works.
        const next = await api(bridge, session(mine, 'call'), { member: 'NextPage' }, { token: mine.token });
        assert.equal(next.status, 200);
        assert.equal(next.json.ok, true);
        assert.equal((await view(bridge, mine, 200, 260)).page, 2);
        assert.equal((await view(bridge, other, 200, 260)).page, 1);
      } finally {
        assert.equal(await bridge.stop(), 0, bridge.stderr());
      }
    },

    async 'allowed origins, properties and message boxes of a session'() {
      const allowed = 'http://pages.example:8080';
      const bridge = await startBridge(tessel, { after: ['--allow-origin', allowed] });
      try {
        const created = await api(bridge, 'sessions', { params: { orientation: 'landscape' } }, { origin: allowed });
        assert.equal(created.status, 201);
        assert.equal(created.headers.get('access-control-allow-origin'), allowed);
        const s = created.json;
        const preflight = await fetch(`${bridge.base}/api/${session(s, 'call')}`, {
          method: 'OPTIONS', headers: { Origin: allowed, 'Access-Control-Request-Headers': 'content-type,x-tessel-token' },
        });
        assert.equal(preflight.status, 204);
        assert.match(preflight.headers.get('access-control-allow-headers'), /X-Tessel-Token/);

        const put = await api(bridge, session(s, 'call'), { member: 'FillColor', value: 0xff8040 }, { origin: allowed, token: s.token });
        assert.equal(put.json.ok, true);
        const got = await api(bridge, session(s, 'call'), { member: 'FillColor' }, { token: s.token });
        assert.equal(got.json.value, 0xff8040);
        // src get and put raise their boxes, with the address as the title.
        await api(bridge, session(s, 'call'), { member: 'src', value: `${bridge.base}/samples/letter.html` }, { token: s.token });
        const src = await api(bridge, session(s, 'call'), { member: 'src' }, { token: s.token });
        assert.equal(src.json.value, '');
        const boxes = (await api(bridge, session(s, 'messages'), { after: 0 }, { token: s.token })).json.messages;
        assert.deepEqual(boxes.map((b) => [b.text, b.title, b.buttons, b.waiting]), [
          ['PUT SRC', `${bridge.base}/samples/letter.html`, 'OK', false],
          ['GET SRC', `${bridge.base}/samples/letter.html`, 'OK', false],
        ]);
        const later = (await api(bridge, session(s, 'messages'), { after: boxes[1].id }, { token: s.token })).json;
        assert.deepEqual(later.messages, []);
        assert.equal((await api(bridge, session(s, 'answer'), { id: boxes[0].id, answer: 'Retry' }, { token: s.token })).status, 409);
      } finally {
        assert.equal(await bridge.stop(), 0, bridge.stderr());
      }
    },

    async 'view and print answers count what their pages leave out'() {
      const tmp = tempDir('left-out');
      const doc = join(tmp, 'wide.html');
      writeFileSync(doc, `fits<br><font size=7>${'W'.repeat(200)}</font><br>after`);
      const bridge = await startBridge(tessel, { before: ['--src', doc], after: ['--printer', `pdf:${join(tmp, 'out.pdf')}`] });
      try {
        const s = await createSession(bridge);
        const first = await api(bridge, session(s, 'view'), { width: 200, height: 100 }, { token: s.token });
        assert.equal(first.headers.get('x-tessel-left-out'), '0');
        await api(bridge, session(s, 'call'), { member: 'NextPage' }, { token: s.token });
        const second = await api(bridge, session(s, 'view'), { width: 200, height: 100 }, { token: s.token });
        assert.equal(second.headers.get('x-tessel-left-out'), '1');
        const printed = await api(bridge, session(s, 'call'), { member: 'Print' }, { token: s.token });
        assert.equal(printed.json.ok, true);
        assert.equal(printed.json.leftOut, 1);
        assert.equal(printed.json.outcome, 'printed');
        assert.ok(printed.json.sheets >= 2, JSON.stringify(printed.json));
      } finally {
        assert.equal(await bridge.stop(), 0, bridge.stderr());
        rmSync(tmp, { recursive: true, force: true });
      }
    },

    async 'a print or transfer that does not reach its destination is answered as failed'() {
      const tmp = tempDir('failed-jobs');
      const bridge = await startBridge(tessel, {
        after: ['--printer', `pdf:${join(tmp, 'missing', 'out.pdf')}`, '--library', join(tmp, 'missing.so')],
      });
      try {
        const s = await createSession(bridge);
        const call = async (member) => (await api(bridge, session(s, 'call'), { member }, { token: s.token })).json;
        const printed = await call('Print');
        assert.deepEqual([printed.ok, printed.hresult, printed.outcome, printed.sheets], [false, 0, 'failed', 0]);
        const synced = await call('Sync');
        assert.deepEqual([synced.ok, synced.hresult, synced.outcome, synced.pagesSent], [false, 0, 'noLibrary', 0]);
        assert.equal((await call('NextPage')).ok, true);
      } finally {
        assert.equal(await bridge.stop(), 0, bridge.stderr());
        rmSync(tmp, { recursive: true, force: true });
      }
    },

    async 'idle sessions expire and take their files with them'() {
      const tmp = tempDir('expiry');
      const bridge = await startBridge(tessel, { after: ['--idle', '1'], env: { TMPDIR: tmp } });
      try {
        const s = await createSession(bridge);
        await view(bridge, s, 100, 130);
        await until('the session to expire', async () => (await count(bridge)) === 0, 5000, 200);
        assert.equal((await api(bridge, session(s, 'view'), { width: 10, height: 10 }, { token: s.token })).status, 403);
        // Its process frees the document, then its folder goes.
        await until('the session\'s files to go', () => readdirSync(tmp).length === 0, 5000, 100);
      } finally {
        await bridge.stop();
        rmSync(tmp, { recursive: true, force: true });
      }
    },

    async '200 concurrent view requests'() {
      const tmp = tempDir('load');
      const bridge = await startBridge(tessel, { env: { TMPDIR: tmp } });
      try {
        const sessions = await Promise.all(Array.from({ length: 8 }, () => createSession(bridge)));
        const started = Date.now();
        const results = await Promise.all(Array.from({ length: 200 }, (_, i) =>
          api(bridge, session(sessions[i % sessions.length], 'view'), { width: 160, height: 128 },
            { token: sessions[i % sessions.length].token })));
        const seconds = (Date.now() - started) / 1000;
        const failed = results.filter((r) => r.status !== 200 || r.bytes.readUInt32BE(0) !== 0x89504e47);
        assert.equal(failed.length, 0, `${failed.length} failed: ${failed.slice(0, 3).map((r) => r.status)}`);
        assert.ok(seconds < 60, `took ${seconds} s`);
        console.log(`    200 concurrent views of 160x128 over 8 sessions: ${seconds.toFixed(2)} s`);
        for (const s of sessions)
          assert.equal((await api(bridge, session(s, 'close'), {}, { token: s.token })).status, 200);
        assert.equal(await count(bridge), 0);
        assert.deepEqual(readdirSync(tmp), []);
      } finally {
        assert.equal(await bridge.stop(), 0, bridge.stderr());
        rmSync(tmp, { recursive: true, force: true });
      }
    },

    async 'only the published files are served, by the bridge and for a local document'() {
      const root = tempDir('published');
      try {
        const site = hostileFolder(root, source);
        const bridge = await startBridge(tessel, { before: ['--src', join(site, 'doc.html')], after: ['--samples', site] });
        try {
          // The local document's own server: the document and the one
          // picture it names inside its folder, nothing else.
          const served = /sessions open http:\/\/127\.0\.0\.1:(\d+)\/doc\.html/.exec(bridge.stdout());
          assert.ok(served, bridge.stdout());
          const port = Number(served[1]);
          assert.equal((await rawGet(port, '/doc.html')).status, 200);
          assert.equal((await rawGet(port, '/pics/a.png')).status, 200);
          assert.equal((await rawGet(port, '/pics%2fa.png')).status, 200);
          const refused = async (p, path) => assert.ok([400, 404].includes((await rawGet(p, path)).status), path);
          for (const path of [...escapes('/'), '/', '/outside.png', '/../outside.png', '/%2e%2e/outside.png'])
            await refused(port, path);
          assert.equal((await rawGet(port, '/doc.html', `evil.example:${port}`)).status, 421);
          // A session loads it with its picture.
          const s = await createSession(bridge);
          assert.equal((await view(bridge, s, 200, 260)).page, 1);

          // The bridge's own files: the same rules below /samples/.
          assert.equal((await rawGet(bridge.port, '/samples/pics/a.png')).status, 200);
          assert.equal((await rawGet(bridge.port, '/tessel.js')).status, 200);
          for (const path of [...escapes('/samples/'), '/samples/', '/../CMakeLists.txt', '/%2e%2e/CMakeLists.txt',
            '/samples/..', '/.', '/tessel.js/', '//tessel.js'].filter((p) => !/unnamed|notes/.test(p)))
            await refused(bridge.port, path);
        } finally {
          assert.equal(await bridge.stop(), 0, bridge.stderr());
        }
      } finally {
        rmSync(root, { recursive: true, force: true });
      }
    },

    async 'a foreign Host is refused for every request, and the pages cannot be framed elsewhere'() {
      const allowed = 'http://pages.example:8080';
      const bridge = await startBridge(tessel, { after: ['--allow-origin', allowed] });
      try {
        for (const host of ['evil.example', `evil.example:${bridge.port}`, `127.0.0.1:${bridge.port + 1}`, `127.0.0.1.evil.example:${bridge.port}`]) {
          for (const path of ['/', '/tessel.js', '/samples/report.html', '/api/status'])
            assert.equal((await rawGet(bridge.port, path, host)).status, 421, `${host} ${path}`);
        }
        // DNS rebinding: the page's own origin, but the Host gives it away.
        const rebound = await fetch(`${bridge.base}/api/sessions`, {
          method: 'POST', headers: { Origin: 'http://evil.example:' + bridge.port, Host: `evil.example:${bridge.port}` }, body: '{}',
        });
        assert.ok([403, 421].includes(rebound.status));
        for (const host of [`localhost:${bridge.port}`, `[::1]:${bridge.port}`])
          assert.equal((await rawGet(bridge.port, '/tessel.js', host)).status, 200, host);

        const page = await fetch(`${bridge.base}/`);
        assert.equal(page.headers.get('x-frame-options'), 'SAMEORIGIN');
        const policy = page.headers.get('content-security-policy');
        assert.match(policy, /frame-ancestors 'self'[^;]* http:\/\/pages\.example:8080/);
        assert.doesNotMatch(policy, /frame-ancestors[^;]*\*/);
      } finally {
        assert.equal(await bridge.stop(), 0, bridge.stderr());
      }
    },

    async 'FillColor takes every colour from 0 to 4294967295'() {
      const bridge = await startBridge(tessel);
      try {
        const s = await createSession(bridge);
        for (const colour of [0, 0x7fffffff, 0x80000000, 0xfffffffe, 0xffffffff]) {
          const put = await api(bridge, session(s, 'call'), { member: 'FillColor', value: colour }, { token: s.token });
          assert.equal(put.json.ok, true, `put ${colour}: ${JSON.stringify(put.json)}`);
          const got = await api(bridge, session(s, 'call'), { member: 'FillColor' }, { token: s.token });
          assert.equal(got.json.value, colour);
        }
        for (const colour of [-1, 4294967296, 1.5])
          assert.equal((await api(bridge, session(s, 'call'), { member: 'FillColor', value: colour }, { token: s.token })).status, 400);
      } finally {
        assert.equal(await bridge.stop(), 0, bridge.stderr());
      }
    },

    async 'debughtml shows the trace of its own session only'() {
      const root = tempDir('trace');
      try {
        // A document whose build reports a repair on the trace.
        writeFileSync(join(root, 'repair.html'), '<html><body><p>one</b> two</p></body></html>');
        const bridge = await startBridge(tessel, { after: ['--samples', root] });
        try {
          const src = `${bridge.base}/samples/repair.html`;
          const repairs = () => (bridge.stdout().match(/PDOC_BUILDER ERROR/g) ?? []).length;
          await createSession(bridge, { src });
          assert.equal(repairs(), 0, 'a session without debughtml traced');
          await createSession(bridge, { src, debughtml: 'true' });
          await until('the traced session\'s lines', () => repairs() > 0, 3000);
          const traced = repairs();
          await createSession(bridge, { src });
          await new Promise((r) => setTimeout(r, 200));
          assert.equal(repairs(), traced, 'the trace stayed open for the next session');
          assert.equal((await api(bridge, 'sessions', { params: { src, timeout: 'soon' } })).status, 400);
        } finally {
          assert.equal(await bridge.stop(), 0, bridge.stderr());
        }
      } finally {
        rmSync(root, { recursive: true, force: true });
      }
    },
  };
}
