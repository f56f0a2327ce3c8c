// tessel.js: the <tessel-control> element. It opens a session of the Tessel
// bridge that served this file, loads the control with the element's
// parameters, shows the control's page view as an image that follows the
// element's size, shows the control's message boxes as modal dialogs of the
// page, and raises an event whenever a call finishes.
//
//   <script type="module" src="http://127.0.0.1:8421/tessel.js"></script>
//   <tessel-control src="report.html" orientation="landscape"></tessel-control>
//
// Attributes (read once, when the element is connected): src (resolved
// against the page), session, orientation, debughtml, and param-NAME for any
// other parameter; bridge overrides the bridge's address.
// Methods NextPage(), PrevPage(), Print(), Sync() answer promises of the
// call's result; FillColor and src read as promises and assign as puts.
// Events: tessel-ready, tessel-call {member, op, ok, hresult, value, and for
// Print and Sync outcome, leftOut, sheets or pagesSent and pagesLeftOut},
// tessel-view {page}, tessel-message {title, text, buttons}, tessel-error
// {message, ended}. When the control's process has ended (ended: true),
// reopen() starts it again with the same parameters, on its first page.

const BRIDGE = new URL('.', import.meta.url);
const PARAMS = ['src', 'session', 'orientation', 'debughtml'];
const POLL_MS = 250;

const STYLE = `
:host { display: inline-block; position: relative; width: 816px; height: 1056px; background: #fff; }
img { display: block; width: 100%; height: 100%; }
dialog { max-width: 32em; font: 14px sans-serif; }
dialog h2 { font-size: 15px; margin: 0 0 .6em; }
dialog p { white-space: pre-wrap; margin: 0 0 1em; }
dialog menu { display: flex; gap: .5em; justify-content: flex-end; padding: 0; margin: 0; }
`;

export class TesselControl extends HTMLElement {
  #bridge = BRIDGE;
  #id = null;
  #token = null;
  #opening = null;
  #queue = Promise.resolve();   // calls run one after another, as in the control
  #pending = 0;
  #poller = null;
  #lastBox = 0;
  #boxes = [];                  // waiting to be shown
  #showing = false;
  #img;
  #dialog;
  #resize;
  #viewTimer = null;
  #viewSeq = 0;
  #viewUrl = null;
  #page = 0;

  constructor() {
    super();
    const root = this.attachShadow({ mode: 'open' });
    root.innerHTML = `<style>${STYLE}</style><img part="view" alt="page view">
      <dialog part="message"><h2></h2><p></p><menu></menu></dialog>`;
    this.#img = root.querySelector('img');
    this.#dialog = root.querySelector('dialog');
    this.#dialog.addEventListener('cancel', (e) => e.preventDefault());  // answered by its buttons only
    this.#resize = new ResizeObserver(() => this.#scheduleView());
  }

  connectedCallback() {
    if (this.hasAttribute('bridge')) this.#bridge = new URL(this.getAttribute('bridge'), document.baseURI);
    this.#resize.observe(this);
    this.#open();
  }

  disconnectedCallback() {
    this.#resize.disconnect();
    if (this.#id) {
      const url = this.#url('close');
      fetch(url, { method: 'POST', keepalive: true, headers: this.#headers(), body: '{}' }).catch(() => {});
      this.#id = this.#token = this.#opening = null;
    }
  }

  /** The page shown, counted from 1 (0 before the first view or without a document). */
  get page() { return this.#page; }

  /** Starts the control again after its process ended; the view shows the first page. */
  reopen() {
    return this.#enqueue(async () => {
      this.#startPolling();
      try {
        await this.#post('reopen', {});
        await this.#drawView();
      } finally {
        this.#stopPolling();
      }
      await this.#fetchBoxes();
      this.dispatchEvent(new CustomEvent('tessel-ready'));
    }).catch((e) => {
      this.#fail(e);
      throw e;
    });
  }

  NextPage() { return this.#call({ member: 'NextPage' }, true); }
  PrevPage() { return this.#call({ member: 'PrevPage' }, true); }
  Print() { return this.#call({ member: 'Print' }, false); }
  Sync() { return this.#call({ member: 'Sync' }, false); }

  get FillColor() { return this.#call({ member: 'FillColor', op: 'get' }, false).then((r) => r.value); }
  set FillColor(colour) { this.#call({ member: 'FillColor', op: 'put', value: Number(colour) }, true); }
  get src() { return this.#call({ member: 'src', op: 'get' }, false).then((r) => r.value); }
  set src(address) { this.#call({ member: 'src', op: 'put', value: String(address) }, false); }

  // --- session ---------------------------------------------------------

  #url(action) {
    return action ? new URL(`api/sessions/${this.#id}/${action}`, this.#bridge) : new URL('api/sessions', this.#bridge);
  }

  #headers() {
    const h = { 'Content-Type': 'application/json' };
    if (this.#token) h['X-Tessel-Token'] = this.#token;
    return h;
  }

  async #post(action, body) {
    const response = await fetch(this.#url(action), {
      method: 'POST', headers: this.#headers(), body: JSON.stringify(body ?? {}),
    });
    if (!response.ok) {
      let message = `${response.status} ${response.statusText}`;
      let ended = false;
      try {
        const answer = await response.json();
        message = answer.error || message;
        ended = answer.ended === true;
      } catch { /* not JSON */ }
      throw Object.assign(new Error(message), { ended });
    }
    return response;
  }

  #params() {
    const params = {};
    for (const name of PARAMS) {
      if (!this.hasAttribute(name)) continue;
      const value = this.getAttribute(name);
      params[name] = name === 'src' && value !== '' ? new URL(value, document.baseURI).href : value;
    }
    for (const attr of this.attributes)
      if (attr.name.startsWith('param-')) params[attr.name.slice(6)] = attr.value;
    return params;
  }

  #open() {
    if (!this.#opening) {
      this.#opening = this.#enqueue(async () => {
        this.#startPolling();
        try {
          const created = await (await this.#post(null, { params: this.#params() })).json();
          this.#id = created.id;
          this.#token = created.token;
          await this.#drawView();
        } finally {
          this.#stopPolling();
        }
        await this.#fetchBoxes();
        this.dispatchEvent(new CustomEvent('tessel-ready'));
      }).catch((e) => this.#fail(e));
    }
    return this.#opening;
  }

  #enqueue(task) {
    const run = this.#queue.then(task);
    this.#queue = run.catch(() => {});
    return run;
  }

  async #call(request, repaint) {
    await this.#open();
    if (!this.#id) throw new Error('the control has no session');
    return this.#enqueue(async () => {
      this.#startPolling();
      let result;
      try {
        result = await (await this.#post('call', request)).json();
        if (repaint) await this.#drawView();
      } catch (e) {
        this.#fail(e);
        throw e;
      } finally {
        this.#stopPolling();
      }
      await this.#fetchBoxes();
      this.dispatchEvent(new CustomEvent('tessel-call', { detail: result }));
      return result;
    });
  }

  // --- page view -------------------------------------------------------

  #scheduleView() {
    if (!this.#id) return;
    clearTimeout(this.#viewTimer);
    this.#viewTimer = setTimeout(() => this.#enqueue(() => this.#drawView()).catch((e) => this.#fail(e)), 60);
  }

  async #drawView() {
    const seq = ++this.#viewSeq;
    const width = Math.max(1, Math.round(this.clientWidth));
    const height = Math.max(1, Math.round(this.clientHeight));
    const response = await this.#post('view', { width, height });
    const blob = await response.blob();
    if (seq !== this.#viewSeq) return;  // a newer view is on its way
    if (this.#viewUrl) URL.revokeObjectURL(this.#viewUrl);
    this.#viewUrl = URL.createObjectURL(blob);
    this.#page = Number(response.headers.get('X-Tessel-Page')) || 0;
    await new Promise((resolve) => {
      this.#img.onload = this.#img.onerror = resolve;
      this.#img.src = this.#viewUrl;
    });
    this.dispatchEvent(new CustomEvent('tessel-view', { detail: { page: this.#page, width, height } }));
  }

  // --- message boxes ---------------------------------------------------

  #startPolling() {
    if (this.#pending++ === 0)
      this.#poller = setInterval(() => this.#fetchBoxes().catch(() => {}), POLL_MS);
  }

  #stopPolling() {
    if (--this.#pending === 0) clearInterval(this.#poller);
  }

  async #fetchBoxes() {
    if (!this.#id) return;
    const { messages } = await (await this.#post('messages', { after: this.#lastBox })).json();
    for (const box of messages) {
      if (box.id <= this.#lastBox) continue;
      this.#lastBox = box.id;
      this.#boxes.push(box);
      this.dispatchEvent(new CustomEvent('tessel-message', { detail: box }));
    }
    this.#showNextBox();
  }

  #showNextBox() {
    if (this.#showing || this.#boxes.length === 0) return;
    const box = this.#boxes.shift();
    this.#showing = true;
    this.#dialog.querySelector('h2').textContent = box.title;
    this.#dialog.querySelector('p').textContent = box.text;
    const menu = this.#dialog.querySelector('menu');
    menu.replaceChildren();
    const labels = box.buttons === 'RetryCancel' ? ['Retry', 'Cancel'] : ['OK'];
    for (const label of labels) {
      const button = document.createElement('button');
      button.textContent = label;
      button.value = label;
      button.addEventListener('click', () => this.#closeBox(box, label));
      menu.append(button);
    }
    this.#dialog.showModal();
    menu.firstElementChild.focus();
  }

  async #closeBox(box, label) {
    this.#dialog.close(label);
    this.#showing = false;
    if (box.waiting && label !== 'OK') {
      try {
        await this.#post('answer', { id: box.id, answer: label });
      } catch (e) {
        this.#fail(e);  // the box gave up waiting: the control took Cancel
      }
    }
    this.#showNextBox();
  }

  #fail(error) {
    this.dispatchEvent(new CustomEvent('tessel-error', {
      detail: { message: String(error?.message ?? error), ended: error?.ended === true },
    }));
  }
}

if (!customElements.get('tessel-control')) customElements.define('tessel-control', TesselControl);
