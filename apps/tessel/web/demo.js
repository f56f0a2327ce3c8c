// The demo page: one control on the bridge's sample document (or on the
// address in ?src=...), with buttons for its four methods.
const control = document.createElement('tessel-control');
const query = new URLSearchParams(location.search);
for (const name of ['src', 'session', 'orientation', 'debughtml'])
  if (query.has(name)) control.setAttribute(name, query.get(name));
if (query.has('size')) {
  const [width, height] = query.get('size').split('x');
  control.style.width = `${width}px`;
  control.style.height = `${height}px`;
}

const log = (line) => {
  const entry = document.getElementById('log');
  entry.textContent += `${line}\n`;
  entry.scrollTop = entry.scrollHeight;
};
const buttons = ['prev', 'next', 'print', 'sync'].map((id) => document.getElementById(id));

control.addEventListener('tessel-ready', () => buttons.forEach((b) => { b.disabled = false; }));
control.addEventListener('tessel-view', (e) => {
  document.getElementById('page').textContent = e.detail.page > 0 ? `page ${e.detail.page}` : 'no document';
});
control.addEventListener('tessel-call', (e) => log(`${e.detail.member}: ${e.detail.ok ? 'done' : 'failed'}`));
control.addEventListener('tessel-message', (e) => log(`${e.detail.title}: ${e.detail.text}`));
control.addEventListener('tessel-error', (e) => {
  log(`error: ${e.detail.message}`);
  document.getElementById('reopen').hidden = !e.detail.ended;
});

// A failed call is reported by its tessel-error event.
const quietly = (call) => () => call().catch(() => {});
document.getElementById('prev').addEventListener('click', quietly(() => control.PrevPage()));
document.getElementById('next').addEventListener('click', quietly(() => control.NextPage()));
document.getElementById('print').addEventListener('click', quietly(() => control.Print()));
document.getElementById('sync').addEventListener('click', quietly(() => control.Sync()));
document.getElementById('reopen').addEventListener('click', quietly(() => {
  document.getElementById('reopen').hidden = true;
  return control.reopen();
}));

document.getElementById('host').append(control);
