// A headless Chromium driven over the DevTools protocol through a pipe
// (--remote-debugging-pipe), with nothing but Node's own modules: the browser tests and the
// benchmark use it to open the page, set files on its file input, click and read the page back.
//
//   const browser = await Browser.launch();
//   const page = await browser.newPage('http://127.0.0.1:8000/');
//   await page.setFiles('#input-file', ['/path/talk.wav']);
//   const title = await page.evaluate('document.title');
//   await browser.close();
'use strict';

const { spawn } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

/** The system's Chromium: $CHROMIUM, else the first of the usual names on the PATH. */
function findChromium() {
  if (process.env.CHROMIUM) return process.env.CHROMIUM;
  for (const name of ['chromium', 'chromium-browser', 'google-chrome']) {
    for (const dir of (process.env.PATH || '').split(path.delimiter)) {
      const candidate = path.join(dir, name);
      if (fs.existsSync(candidate)) return candidate;
    }
  }
  return null;
}

class Page {
  constructor(browser, sessionId, targetId) {
    this.browser = browser;
    this.sessionId = sessionId;
    this.targetId = targetId;
  }

  send(method, params = {}) {
    return this.browser.send(method, params, this.sessionId);
  }

  /** The value of a JavaScript expression in the page (awaited when it is a promise). */
  async evaluate(expression) {
    const answer = await this.send('Runtime.evaluate',
      { expression, awaitPromise: true, returnByValue: true });
    if (answer.exceptionDetails) {
      const e = answer.exceptionDetails;
      throw new Error(`in the page: ${e.exception ? e.exception.description : e.text}`);
    }
    return answer.result.value;
  }

  /** Waits until expression is truthy, checking every 20 ms; its value, or an error after ms. */
  async waitFor(expression, ms = 30000) {
    const end = Date.now() + ms;
    for (;;) {
      const value = await this.evaluate(expression);
      if (value) return value;
      if (Date.now() > end) throw new Error(`timed out after ${ms} ms waiting for ${expression}`);
      await new Promise((resolve) => setTimeout(resolve, 20));
    }
  }

  /** Sets the files of the file input that selector finds (as a user choosing them would). */
  async setFiles(selector, files) {
    const { root } = await this.send('DOM.getDocument', { depth: 0 });
    const { nodeId } = await this.send('DOM.querySelector', { nodeId: root.nodeId, selector });
    if (!nodeId) throw new Error(`no element ${selector}`);
    await this.send('DOM.setFileInputFiles', { nodeId, files: files.map((f) => path.resolve(f)) });
  }

  async screenshot(file) {
    const { data } = await this.send('Page.captureScreenshot', { format: 'png' });
    fs.writeFileSync(file, Buffer.from(data, 'base64'));
  }
}

class Browser {
  static async launch({ width = 820, height = 1100 } = {}) {
    const executable = findChromium();
    if (!executable) throw new Error('Chromium was not found (set CHROMIUM)');
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'zelvio-chromium-'));
    const args = ['--headless=new', '--remote-debugging-pipe', `--user-data-dir=${profile}`,
      '--no-first-run', '--no-default-browser-check', '--disable-gpu', '--disable-extensions',
      '--disable-background-networking', '--disable-sync', '--mute-audio',
      '--autoplay-policy=no-user-gesture-required', `--window-size=${width},${height}`,
      'about:blank'];
    if (typeof process.getuid === 'function' && process.getuid() === 0) args.unshift('--no-sandbox');
    const child = spawn(executable, args, { stdio: ['ignore', 'ignore', 'pipe', 'pipe', 'pipe'] });
    const browser = new Browser(child, profile, { width, height });
    await browser.send('Target.setDiscoverTargets', { discover: true });
    return browser;
  }

  constructor(child, profile, size) {
    this.child = child;
    this.profile = profile;
    this.size = size;
    this.nextId = 1;
    this.waiting = new Map();
    this.pending = '';
    this.log = '';
    this.closed = false;
    child.stderr.on('data', (data) => { this.log = (this.log + data).slice(-4000); });
    child.stdio[4].on('data', (data) => this.receive(data));
    child.on('exit', () => {
      this.closed = true;
      for (const { reject } of this.waiting.values()) {
        reject(new Error('Chromium ended: ' + this.log.trim().split('\n').slice(-3).join(' | ')));
      }
      this.waiting.clear();
    });
  }

  receive(data) {
    this.pending += data.toString('utf8');
    let end;
    while ((end = this.pending.indexOf('\0')) >= 0) {
      const message = JSON.parse(this.pending.slice(0, end));
      this.pending = this.pending.slice(end + 1);
      if (message.id && this.waiting.has(message.id)) {
        const { resolve, reject, method } = this.waiting.get(message.id);
        this.waiting.delete(message.id);
        if (message.error) reject(new Error(`${method}: ${message.error.message}`));
        else resolve(message.result);
      }
    }
  }

  send(method, params = {}, sessionId = undefined) {
    if (this.closed) return Promise.reject(new Error('Chromium has ended'));
    const id = this.nextId++;
    const message = { id, method, params };
    if (sessionId) message.sessionId = sessionId;
    return new Promise((resolve, reject) => {
      this.waiting.set(id, { resolve, reject, method });
      this.child.stdio[3].write(JSON.stringify(message) + '\0');
    });
  }

  /** A new tab showing url, once its load event has fired. */
  async newPage(url) {
    const { targetId } = await this.send('Target.createTarget', { url: 'about:blank' });
    const { sessionId } = await this.send('Target.attachToTarget', { targetId, flatten: true });
    const page = new Page(this, sessionId, targetId);
    await page.send('Page.enable');
    await page.send('Runtime.enable');
    await page.send('Emulation.setDeviceMetricsOverride',
      { width: this.size.width, height: this.size.height, deviceScaleFactor: 1, mobile: false });
    await page.send('Page.navigate', { url });
    await page.waitFor('document.readyState === "complete"');
    return page;
  }

  /** The process ids of Chromium's renderers (a tab and its workers live in one). */
  rendererPids() {
    const pids = [];
    for (const entry of fs.readdirSync('/proc')) {
      if (!/^\d+$/.test(entry)) continue;
      try {
        const commandLine = fs.readFileSync(`/proc/${entry}/cmdline`, 'utf8');
        if (commandLine.includes('--type=renderer') && this.isOurs(Number(entry))) {
          pids.push(Number(entry));
        }
      } catch (e) { /* the process ended meanwhile */ }
    }
    return pids;
  }

  isOurs(pid) {
    for (let depth = 0; pid > 1 && depth < 6; depth++) {
      if (pid === this.child.pid) return true;
      try {
        pid = Number(/PPid:\s+(\d+)/.exec(fs.readFileSync(`/proc/${pid}/status`, 'utf8'))[1]);
      } catch (e) { return false; }
    }
    return false;
  }

  async close() {
    if (!this.closed) {
      try { await this.send('Browser.close'); } catch (e) { /* it ends anyway */ }
      await new Promise((resolve) => {
        if (this.closed) resolve();
        this.child.on('exit', resolve);
        setTimeout(() => { this.child.kill('SIGKILL'); resolve(); }, 5000);
      });
    }
    fs.rmSync(this.profile, { recursive: true, force: true });
  }
}

/** Serves folder with `python3 -m http.server` on 127.0.0.1 at a free port; {url, stop}. */
async function serve(folder) {
  const python = process.env.PYTHON || 'python3';
  const child = spawn(python, ['-u', '-m', 'http.server', '0', '--bind', '127.0.0.1', '--directory', folder],
    { stdio: ['ignore', 'pipe', 'pipe'] });
  const port = await new Promise((resolve, reject) => {
    let seen = '';
    const timer = setTimeout(() => reject(new Error('the server did not start')), 60000);
    const look = (data) => {
      seen += data;
      const match = /port (\d+)/.exec(seen);
      if (match) {
        clearTimeout(timer);
        resolve(Number(match[1]));
      }
    };
    child.stdout.on('data', look);
    child.stderr.on('data', () => {});
    child.on('exit', (code) => reject(new Error(`the server ended (${code}): ${seen}`)));
  });
  return { url: `http://127.0.0.1:${port}/`, stop: () => child.kill() };
}

module.exports = { Browser, serve, findChromium };
