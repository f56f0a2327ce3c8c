// One session's trouble stays in that session: a document server that
// stalls, a control process that dies, a burst of creations and clients
// that send slowly or nothing hold up no other session, and SIGTERM ends
// the bridge at once whatever is in flight. Plain HTTP from node.
import assert from 'node:assert/strict';
import { readdirSync, rmSync } from 'node:fs';
import { connect } from 'node:net';
import { join } from 'node:path';
import {
  api, childProcesses, createSession, pdfPages, rawGet, session, stalledServer, startBridge, tempDir, timedStop, until,
  view,
} from './bridge.mjs';

const count = async (bridge) => (await api(bridge, 'status')).json.sessions;

// Runs `body` against a bridge with a temporary folder of its own, which
// must be empty once the bridge has stopped.
async function withBridge(tessel, label, after, body) {
  const tmp = tempDir(label);
  const bridge = await startBridge(tessel, { after, env: { TMPDIR: tmp } });
  try {
    await body(bridge);
  } finally {
    await bridge.stop();
    const left = readdirSync(tmp);
    rmSync(tmp, { recursive: true, force: true });
    assert.deepEqual(left, [], 'the sessions left files behind');
  }
}

export function isolationTests({ tessel }) {
  return {
    async 'a stalled document server holds up only its own session, and SIGTERM ends it at once'() {
      const stalled = await stalledServer();
      try {
        await withBridge(tessel, 'stalled', [], async (bridge) => {
          const pending = api(bridge, 'sessions', { params: { src: stalled.url() } }).catch((e) => ({ error: e }));
          await until('the stalled download', () => stalled.connections() > 0);
          const started = Date.now();
          const other = await createSession(bridge);
          const viewStarted = Date.now();
          assert.equal((await view(bridge, other, 160, 128)).page, 1);
          const viewMs = Date.now() - viewStarted;
          assert.ok(viewMs < 1000, `the other session drew in ${viewMs} ms`);
          assert.ok(Date.now() - started < 2000, `opening and drawing took ${Date.now() - started} ms`);
          assert.equal((await rawGet(bridge.port, '/tessel.js')).status, 200);
          assert.equal(await count(bridge), 1);

          const { code, ms } = await timedStop(bridge);
          assert.equal(code, 0, bridge.stderr());
          assert.ok(ms < 2000, `the bridge took ${ms} ms to stop`);
          const answer = await pending;
          assert.ok(answer.error !== undefined || answer.status >= 400, 'the stalled creation was not ended');
        });
      } finally {
        await stalled.close();
      }
    },

    async 'a request that takes the control longer than --call-timeout ends its session'() {
      const stalled = await stalledServer();
      try {
        await withBridge(tessel, 'limit', ['--call-timeout', '1'], async (bridge) => {
          const started = Date.now();
          const r = await api(bridge, 'sessions', { params: { src: stalled.url() } });
          assert.equal(r.status, 502);
          assert.equal(r.json.ended, true);
          assert.match(r.json.error, /did not answer within 1 s/);
          assert.ok(Date.now() - started < 5000);
          assert.equal(await count(bridge), 0);
          const other = await createSession(bridge);
          assert.equal((await view(bridge, other, 100, 130)).page, 1);
        });
      } finally {
        await stalled.close();
      }
    },

    async 'a session whose control process is killed ends alone and can be opened again'() {
      await withBridge(tessel, 'killed', [], async (bridge) => {
        const sessions = [await createSession(bridge), await createSession(bridge)];
        const controls = childProcesses(bridge.proc.pid);
        assert.equal(controls.length, 2, 'one control process per session');
        process.kill(controls[0], 'SIGKILL');
        await new Promise((r) => setTimeout(r, 100));
        const views = await Promise.all(sessions.map((s) =>
          api(bridge, session(s, 'view'), { width: 120, height: 150 }, { token: s.token })));
        const ended = views.findIndex((r) => r.status !== 200);
        assert.ok(ended >= 0, 'no session noticed its control had gone');
        assert.equal(views.filter((r) => r.status === 200).length, 1);
        assert.equal(views[ended].status, 502);
        assert.equal(views[ended].json.ended, true);
        assert.match(views[ended].json.error, /killed by signal 9/);
        const dead = sessions[ended], alive = sessions[1 - ended];

        // The other goes on; the ended one says so until it is reopened.
        assert.equal((await api(bridge, session(alive, 'call'), { member: 'NextPage' }, { token: alive.token })).json.ok, true);
        assert.equal((await view(bridge, alive, 120, 150)).page, 2);
        const again = await api(bridge, session(dead, 'call'), { member: 'NextPage' }, { token: dead.token });
        assert.equal(again.status, 410);
        assert.equal(again.json.ended, true);
        assert.equal((await api(bridge, session(dead, 'reopen'), {}, { token: dead.token })).status, 200);
        assert.equal((await view(bridge, dead, 120, 150)).page, 1);
        assert.equal(childProcesses(bridge.proc.pid).length, 2);
      });
    },

    async '24 sessions created at once, and the bridge still serves its own files'() {
      await withBridge(tessel, 'burst', [], async (bridge) => {
        const created = await Promise.all(Array.from({ length: 24 }, () => api(bridge, 'sessions', {})));
        assert.deepEqual(created.map((r) => r.status), Array(24).fill(201));
        assert.equal((await rawGet(bridge.port, '/tessel.js')).status, 200);
        assert.equal(await count(bridge), 24);
        await Promise.all(created.map((r) => api(bridge, session(r.json, 'close'), {}, { token: r.json.token })));
        assert.equal(await count(bridge), 0);
        assert.equal(childProcesses(bridge.proc.pid).length, 0);
      });
    },

    async 'sessions that print into the same pdf: file at once leave one whole file'() {
      const out = tempDir('prints');
      const pdf = join(out, 'all.pdf');
      try {
        await withBridge(tessel, 'prints', ['--printer', `pdf:${pdf}`], async (bridge) => {
          const print = async (s) => (await api(bridge, session(s, 'call'), { member: 'Print' }, { token: s.token })).json.ok;
          const first = await createSession(bridge);
          assert.equal(await print(first), true);
          const pages = pdfPages(pdf);
          const sessions = await Promise.all(Array.from({ length: 4 }, () => createSession(bridge)));
          assert.deepEqual(await Promise.all(sessions.map(print)), [true, true, true, true]);
          assert.equal(pdfPages(pdf), pages);
          assert.deepEqual(readdirSync(out), ['all.pdf']);
        });
      } finally {
        rmSync(out, { recursive: true, force: true });
      }
    },

    async 'clients that send slowly or nothing hold up no one'() {
      await withBridge(tessel, 'slow', [], async (bridge) => {
        const open = (bytes) => {
          const socket = connect(bridge.port, '127.0.0.1');
          socket.on('error', () => {});
          if (bytes) socket.write(bytes);
          return socket;
        };
        const slow = Array.from({ length: 16 }, () => open('P'));
        const silent = Array.from({ length: 16 }, () => open(''));
        const trickle = setInterval(() => slow.forEach((s) => s.writable && s.write('O')), 1000);
        try {
          const s = await createSession(bridge);
          for (let round = 0; round < 3; ++round) {
            const started = Date.now();
            assert.equal((await view(bridge, s, 160, 128)).page, 1);
            assert.equal((await rawGet(bridge.port, '/demo.html')).status, 200);
            assert.ok(Date.now() - started < 1500, `round ${round} took ${Date.now() - started} ms`);
            await new Promise((r) => setTimeout(r, 1000));
          }
        } finally {
          clearInterval(trickle);
          [...slow, ...silent].forEach((s) => s.destroy());
        }
        const { code, ms } = await timedStop(bridge);
        assert.equal(code, 0);
        assert.ok(ms < 2000, `the bridge took ${ms} ms to stop`);
      });
    },
  };
}
