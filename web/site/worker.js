// The page's worker: loads the converter's WebAssembly module and runs conversions on it, so
// that the page stays responsive. Messages in:
//   {type: 'convert', file, ...settings}              a WAVE file, read by our own reader in
//                                                     spans that reader.js reads ahead
//   {type: 'convert', planes, sampleRate, channels, frames, format, notice, ...settings}
//                                                     samples the browser's decoder gave
//   {type: 'decode', bytes}                           a database back to 10000 Hz samples
// Settings: title, description, bits, vad, split, splitMinutes, bestQuality.
// Messages out: 'ready' {module, reader, texts} (which build runs; the script that reads the
// input; the dialog's texts, see zelvio_page_texts), 'progress' {permille, text}, 'done' {kind,
// message, caption, detail, notice, databases: [{name, bytes}]} (one database, or the parts of a
// split run, in order), 'decoded' {samples} or {error}, 'crashed' {error} when a request threw.
// The page stops a run by ending the worker.
'use strict';

// Two builds of the module: with WebAssembly SIMD (the resampler's fastest kernel) where the
// browser has it, else without. A tiny module with one SIMD instruction tells (worker.js?simd=0
// asks for the one without; a site without zelvio-simd.js gets zelvio.js).
const kSimdProbe = new Uint8Array([0, 97, 115, 109, 1, 0, 0, 0, 1, 5, 1, 96, 0, 1, 123, 3, 2, 1,
  0, 10, 10, 1, 8, 0, 65, 0, 253, 15, 253, 98, 11]);
const asked = new URLSearchParams(self.location.search);
let moduleScript = asked.get('simd') !== '0' &&
  WebAssembly.validate(kSimdProbe) ? 'zelvio-simd.js' : 'zelvio.js';
try {
  importScripts(moduleScript);
} catch (error) {
  // A site built without the SIMD module (only zelvio.js) still works.
  if (moduleScript === 'zelvio.js') throw error;
  moduleScript = 'zelvio.js';
  importScripts(moduleScript);
}

let zelvio = null;
const pending = [];

/** Runs use with texts as strings in the module's memory (their addresses), then frees them. */
async function withStrings(texts, use) {
  const pointers = texts.map((text) => {
    const size = zelvio.lengthBytesUTF8(text) + 1;
    const at = zelvio._malloc(size);
    zelvio.stringToUTF8(text, at, size);
    return at;
  });
  try {
    return await use(...pointers);
  } finally {
    pointers.forEach((at) => zelvio._free(at));
  }
}

// The input File is read in spans of 4 MiB by the reader (reader.js, in a thread of its own), a
// few spans ahead of where the converter reads, so that reading and converting overlap. The module
// sleeps in zelvioRead only when the span it needs has not arrived; the spans that have are taken
// in then. Spent spans are let go at once, so that whatever the file's length, only a few spans
// are held.
const kReadSpan = 4 << 20;
const kReadAhead = 4;
let spanReader = null;
let spansInUse = null;  // the FileSpans of the run in progress
let spansRun = 0;

/**
 * The reader's thread, started with this worker; in this thread where a worker cannot start
 * another (or worker.js?reader=0 asks for that): there it reads only while the module waits.
 */
function reader() {
  if (!spanReader) {
    const arrived = (message) => {
      if (spansInUse && message.id === spansInUse.id) spansInUse.arrive(message);
    };
    if (typeof Worker === 'function' && asked.get('reader') !== '0') {
      spanReader = new Worker('reader.js');
      spanReader.onmessage = (event) => arrived(event.data);
    } else {
      self.zelvioReaderInThread = true;
      importScripts('reader.js');
      const inThread = new SpanReader((message) => arrived(message));
      spanReader = { postMessage: (message) => inThread.handle(message) };
    }
  }
  return spanReader;
}

class FileSpans {
  constructor(file) {
    this.id = ++spansRun;
    this.file = file;
    this.spans = new Map();  // start -> bytes
    this.want = 0;           // the span the converter reads
    this.next = 0;           // the span the reader sends next
    this.failed = false;
    this.spent = [];         // buffers of spans let go, for the reader to read into again
    this.wake = null;        // ends the module's wait, once a span arrives
    spansInUse = this;
    reader().postMessage({ type: 'open', id: this.id, file, span: kReadSpan, ahead: kReadAhead });
  }

  close() {
    const buffers = [...this.spent, ...[...this.spans.values()].map((span) => span.buffer)];
    reader().postMessage({ type: 'close', id: this.id, buffers }, buffers);
    if (spansInUse === this) spansInUse = null;
    this.spans.clear();
  }

  arrive({ start, bytes, length }) {
    if (!bytes) {
      this.failed = true;
    } else if (start >= this.want) {
      this.spans.set(start, new Uint8Array(bytes, 0, length));
    } else {
      this.spent.push(bytes);
    }
    if (start === this.next) this.next = start + kReadSpan;
    if (this.wake) {
      const wake = this.wake;
      this.wake = null;
      wake();
    }
  }

  /**
   * Copies up to count bytes from position to destination in the module's memory: how many were
   * copied, -1 when the file cannot be read, or a promise of that when a span is on its way.
   */
  read(position, count, destination) {
    let done = 0;
    const copy = () => {
      while (done < count && position + done < this.file.size) {
        const at = position + done;
        const start = at - (at % kReadSpan);
        if (this.failed) return -1;
        const bytes = this.spans.get(start);
        if (start !== this.want || !bytes) {
          // The reader reads on from here; a span it sent before, and was let go, it sends again.
          const restart = !bytes && start < this.next;
          if (restart) this.next = start;
          this.want = start;
          for (const [old, span] of this.spans) {
            if (old >= start) continue;
            this.spent.push(span.buffer);
            this.spans.delete(old);
          }
          const buffers = this.spent;
          this.spent = [];
          reader().postMessage({ type: 'want', id: this.id, start, restart, buffers }, buffers);
        }
        if (!bytes) return new Promise((resolve) => { this.wake = resolve; }).then(copy);
        const from = at - start;
        const length = Math.min(count - done, bytes.length - from);
        zelvio.HEAPU8.set(bytes.subarray(from, from + length), destination + done);
        done += length;
      }
      return done;
    };
    return copy();
  }
}

/** The pieces as one ArrayBuffer. */
function joined(pieces) {
  const whole = new Uint8Array(pieces.reduce((sum, piece) => sum + piece.length, 0));
  let at = 0;
  for (const piece of pieces) {
    whole.set(piece, at);
    at += piece.length;
  }
  pieces.length = 0;
  return whole.buffer;
}

/** Runs job; quiet: posts nothing (the warm-up). */
async function convert(job, quiet = false) {
  const started = job.received || performance.now();  // a request waits for the one before
  // A message for every step the module reports (up to a thousand) costs time of its own; the
  // bar moves smoothly enough at 20 a second, and always shows a new stage and the end.
  let lastPost = -Infinity;
  let lastStage = -1;
  zelvio.zelvioProgress = (fraction, stage) => {
    if (quiet) return true;
    const now = performance.now();
    if (now - lastPost < 50 && stage === lastStage && fraction < 1) return true;
    lastPost = now;
    lastStage = stage;
    const text = zelvio.UTF8ToString(zelvio._zelvio_progress_text(fraction, stage, now - started));
    postMessage({ type: 'progress', permille: Math.floor(fraction * 1000), text });
    return true;
  };
  zelvio.zelvioDatabase = [];
  const settings = [job.name, job.databaseName, job.title, job.description];
  const options = [job.vad ? 1 : 0, job.split ? 1 : 0, job.splitMinutes || 0, job.bestQuality ? 1 : 0];
  let kind;
  if (job.file) {
    // Our own reader reads the File in spans, never the whole of it at once.
    const spans = new FileSpans(job.file);
    zelvio.zelvioRead = (position, count, destination) => spans.read(position, count, destination);
    try {
      kind = await withStrings([job.file.name, ...settings.slice(1)],
        (name, database, title, description) =>
          zelvio.ccall('zelvio_convert_input', 'number', Array(10).fill('number'),
            [name, job.file.size, database, title, description, job.bits, ...options],
            { async: true }));
    } finally {
      zelvio.zelvioRead = null;
      spans.close();
    }
  } else {
    const planes = job.planes;
    zelvio.zelvioPull = (first, count, left, right) => {
      zelvio.HEAPF32.set(planes[0].subarray(first, first + count), left >> 2);
      if (right) zelvio.HEAPF32.set(planes[1].subarray(first, first + count), right >> 2);
      return true;
    };
    kind = await withStrings([...settings, job.format, job.notice],
      (name, database, title, description, format, notice) =>
        zelvio._zelvio_convert_decoded(name, database, title, description, job.bits, ...options,
          job.sampleRate, job.channels, job.frames, format, notice));
    zelvio.zelvioPull = null;
  }
  const text = (which) => zelvio.UTF8ToString(zelvio._zelvio_result_text(which));
  const databases = [];
  for (let i = 0; i < zelvio._zelvio_result_count(); i++) {
    // Each database is outside the module's memory, in pieces or as a file on the module's file
    // system: joined or read once, removed, handed over.
    const file = zelvio.UTF8ToString(zelvio._zelvio_result_path(i));
    let bytes;
    if (file) {
      bytes = zelvio.FS.readFile(file).buffer;
      zelvio.FS.unlink(file);
    } else {
      bytes = joined(zelvio.zelvioDatabase);
    }
    databases.push({ name: zelvio.UTF8ToString(zelvio._zelvio_result_name(i)), bytes });
  }
  const result = { type: 'done', kind, message: text(0), caption: text(1), detail: text(2),
                   notice: text(3), databases, seconds: (performance.now() - started) / 1000,
                   heapBytes: zelvio.HEAPU8.length };
  zelvio._zelvio_result_clear();
  zelvio.zelvioDatabase = [];
  if (!quiet) postMessage(result, databases.map((d) => d.bytes));
}

/**
 * A WAVE file of seconds of 44.1 kHz 16-bit stereo, a tone in noise. The worker converts it once
 * when it starts, posting nothing: the engine compiles the module's hot code for speed only after
 * it has run for a while, and so it has when the user's first recording comes, which then takes
 * a fifth less time.
 */
function warmUpFile(seconds) {
  const rate = 44100;
  const frames = rate * seconds;
  const bytes = new Uint8Array(44 + frames * 4);
  const view = new DataView(bytes.buffer);
  const text = (at, id) => { for (let i = 0; i < 4; i++) bytes[at + i] = id.charCodeAt(i); };
  text(0, 'RIFF');
  view.setUint32(4, 36 + frames * 4, true);
  text(8, 'WAVE');
  text(12, 'fmt ');
  view.setUint32(16, 16, true);
  view.setUint16(20, 1, true);  // PCM
  view.setUint16(22, 2, true);
  view.setUint32(24, rate, true);
  view.setUint32(28, rate * 4, true);
  view.setUint16(32, 4, true);
  view.setUint16(34, 16, true);
  text(36, 'data');
  view.setUint32(40, frames * 4, true);
  let seed = 1;
  for (let i = 0; i < frames * 2; i++) {
    seed = (Math.imul(seed, 1103515245) + 12345) >>> 0;
    const noise = ((seed >>> 16) & 0x3fff) - 8192;
    view.setInt16(44 + 2 * i, noise + Math.round(6000 * Math.sin(i / 20)), true);
  }
  return new File([bytes], 'warm-up.wav');
}

function decode(bytes) {
  const data = new Uint8Array(bytes);
  const at = zelvio._malloc(Math.max(1, data.length));
  zelvio.HEAPU8.set(data, at);
  const count = zelvio._zelvio_decode(at, data.length);
  zelvio._free(at);
  if (count < 0) {
    postMessage({ type: 'decoded', error: zelvio.UTF8ToString(zelvio._zelvio_decode_error()) });
    return;
  }
  const first = zelvio._zelvio_decoded_samples() >> 1;
  const samples = zelvio.HEAP16.slice(first, first + count);
  postMessage({ type: 'decoded', samples }, [samples.buffer]);
}

// One request at a time: a conversion waits for its input between steps, and the module must not
// be entered meanwhile.
let queue = Promise.resolve();

function handle(message) {
  queue = queue.then(() => {
    if (message.type === 'convert') return convert(message);
    if (message.type === 'decode') return decode(message.bytes);
    return undefined;
  }).catch((error) => postMessage({ type: 'crashed', error: String(error) }));
}

onmessage = (event) => {
  event.data.received = performance.now();
  if (zelvio) handle(event.data);
  else pending.push(event.data);
};

reader();  // started now, so that it is ready when the first conversion asks for the File

createZelvio().then((module) => {
  zelvio = module;
  const ownThread = typeof Worker === 'function' && spanReader instanceof Worker;
  postMessage({ type: 'ready', module: moduleScript, reader: ownThread ? 'reader.js' : 'worker.js',
                texts: JSON.parse(module.UTF8ToString(module._zelvio_page_texts())) });
  if (asked.get('warm') !== '0') {
    const job = { file: warmUpFile(3), name: 'warm-up.wav', databaseName: 'warm-up.pdb',
                  title: 'Warm-up', description: '', bits: 4, vad: true };
    queue = queue.then(() => convert(job, true)).catch(() => {});
  }
  while (pending.length) handle(pending.shift());
}, (error) => {
  postMessage({ type: 'failed', error: String(error) });
});
