// The page's worker: loads the converter's WebAssembly module and runs conversions on it, so
// that the page stays responsive. Messages in:
//   {type: 'convert', file, ...settings}              a WAVE file, read by our own reader in
//                                                     slices straight from the File
//   {type: 'convert', planes, sampleRate, channels, frames, format, notice, ...settings}
//                                                     samples the browser's decoder gave
//   {type: 'decode', bytes}                           a database back to 10000 Hz samples
// Settings: title, description, bits, vad, split, splitMinutes, bestQuality.
// Messages out: 'ready' {module, texts} (which build runs; the dialog's texts, see
// zelvio_page_texts), 'progress' {permille, text}, 'done' {kind, message, caption, detail,
// notice, databases: [{name, bytes}]} (one database, or the parts of a split run, in order),
// 'decoded' {samples} or {error}. The page stops a run by ending the worker.
'use strict';

// Two builds of the module: with WebAssembly SIMD (the resampler's fastest kernel) where the
// browser has it, else without. A tiny module with one SIMD instruction tells (worker.js?simd=0
// asks for the one without; a site without zelvio-simd.js gets zelvio.js).
const kSimdProbe = new Uint8Array([0, 97, 115, 109, 1, 0, 0, 0, 1, 5, 1, 96, 0, 1, 123, 3, 2, 1,
  0, 10, 10, 1, 8, 0, 65, 0, 253, 15, 253, 98, 11]);
let moduleScript = new URLSearchParams(self.location.search).get('simd') !== '0' &&
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

function withString(text, use) {
  const size = zelvio.lengthBytesUTF8(text) + 1;
  const at = zelvio._malloc(size);
  zelvio.stringToUTF8(text, at, size);
  try {
    return use(at);
  } finally {
    zelvio._free(at);
  }
}

function withStrings(texts, use, done = []) {
  if (done.length === texts.length) return use(...done);
  return withString(texts[done.length], (at) => withStrings(texts, use, [...done, at]));
}

// WORKERFS reads each request with its own FileReaderSync call, which costs far more than the
// bytes it reads; the converter reads the input 64 KiB at a time, so requests are served from
// spans of 4 MiB. A span read as an ArrayBuffer is the fastest, but its memory lies outside the
// JavaScript heap, and while the module runs the garbage collector lets spent spans pile up (by
// 100 MB and more over a long file). Read as a string, a spent span goes at the next minor
// collection, at some cost in speed. So the first kBufferBudget bytes of a file are read as
// ArrayBuffers and the rest as strings: whatever the file's length, at most that much garbage.
const kReadSpan = 4 << 20;
const kBufferBudget = 64 << 20;
const kNoSpan = { node: null, start: 0, length: 0, bytes: null, text: '' };
let span = kNoSpan;
let bufferBytesRead = 0;

function readSpan(reader, node, at) {
  const blob = node.contents.slice(at, Math.min(node.size, at + kReadSpan));
  if (bufferBytesRead + blob.size <= kBufferBudget) {
    bufferBytesRead += blob.size;
    const bytes = new Uint8Array(reader.readAsArrayBuffer(blob));
    return { node, start: at, length: bytes.length, bytes, text: '' };
  }
  const text = reader.readAsBinaryString(blob);
  return { node, start: at, length: text.length, bytes: null, text };
}

function readInSpans(module) {
  const reader = new FileReaderSync();
  module.FS.filesystems.WORKERFS.stream_ops.read = (stream, buffer, offset, length, position) => {
    const node = stream.node;
    let done = 0;
    while (done < length && position + done < node.size) {
      const at = position + done;
      if (span.node !== node || at < span.start || at >= span.start + span.length) {
        span = kNoSpan;
        span = readSpan(reader, node, at);
      }
      const from = at - span.start;
      const count = Math.min(length - done, span.length - from);
      if (span.bytes) {
        buffer.set(span.bytes.subarray(from, from + count), offset + done);
      } else {
        const text = span.text;
        const to = offset + done - from;
        for (let i = from; i < from + count; i++) buffer[to + i] = text.charCodeAt(i);
      }
      done += count;
    }
    return done;
  };
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

function convert(job) {
  const started = performance.now();
  // A message for every step the module reports (up to a thousand) costs time of its own; the
  // bar moves smoothly enough at 20 a second, and always shows a new stage and the end.
  let lastPost = -Infinity;
  let lastStage = -1;
  zelvio.zelvioProgress = (fraction, stage) => {
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
    // Our own reader reads the File in slices (WORKERFS), never the whole of it at once.
    zelvio.FS.mkdir('/input');
    zelvio.FS.mount(zelvio.FS.filesystems.WORKERFS, { files: [job.file] }, '/input');
    zelvio.FS.chdir('/input');
    try {
      kind = withStrings([job.file.name, ...settings.slice(1)], (name, database, title, description) =>
        zelvio._zelvio_convert_file(name, database, title, description, job.bits, ...options));
    } finally {
      zelvio.FS.chdir('/');
      zelvio.FS.unmount('/input');
      span = kNoSpan;
      bufferBytesRead = 0;
      zelvio.FS.rmdir('/input');
    }
  } else {
    const planes = job.planes;
    zelvio.zelvioPull = (first, count, left, right) => {
      zelvio.HEAPF32.set(planes[0].subarray(first, first + count), left >> 2);
      if (right) zelvio.HEAPF32.set(planes[1].subarray(first, first + count), right >> 2);
      return true;
    };
    kind = withStrings([...settings, job.format, job.notice],
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
  postMessage(result, databases.map((d) => d.bytes));
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

function handle(message) {
  if (message.type === 'convert') convert(message);
  else if (message.type === 'decode') decode(message.bytes);
}

onmessage = (event) => {
  if (zelvio) handle(event.data);
  else pending.push(event.data);
};

createZelvio().then((module) => {
  zelvio = module;
  readInSpans(module);
  postMessage({ type: 'ready', module: moduleScript,
                texts: JSON.parse(module.UTF8ToString(module._zelvio_page_texts())) });
  while (pending.length) handle(pending.shift());
}, (error) => {
  postMessage({ type: 'failed', error: String(error) });
});
