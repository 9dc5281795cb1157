// The input's reader: reads the File the converter works on a few spans ahead of it, in a thread
// of its own, so that reading and converting overlap (in the converter's own thread the browser
// reads a File only while the module waits). The page's worker starts it (worker.js); where a
// worker cannot start another, it loads this file and runs a SpanReader in its own thread.
//
// The spans are read into a few buffers that go back and forth: the converter sends those it is
// done with back, and they are read into again, so that a long file leaves no garbage behind.
//
// Messages in:  {type: 'open', id, file, span, ahead}  read file in spans of span bytes, from 0
//               {type: 'want', id, start, restart,     the converter reads the span at start now:
//                buffers}                              read on to ahead spans past it (restart:
//                                                      from start again, it needs one it let go);
//                                                      buffers: spans it is done with
//               {type: 'close', id}                    stop
// Messages out: {id, start, bytes, length}             a span, in order: its first length bytes;
//                                                      bytes null when the file cannot be read
'use strict';

class SpanReader {
  constructor(send) {
    this.send = send;
    this.job = null;
    this.spare = [];  // buffers to read into
  }

  handle(message) {
    if (message.buffers) this.spare.push(...message.buffers);
    if (message.type === 'open') {
      const { id, file, span, ahead } = message;
      SpanReader.letGo(this.job);
      this.job = { id, file, span, ahead, want: 0, next: 0, reading: false, stream: null, at: 0 };
      this.spare = this.spare.filter((buffer) => buffer.byteLength === span);
    } else if (this.job && message.id === this.job.id) {
      if (message.type === 'close') {
        SpanReader.letGo(this.job);
        this.job = null;
        return;
      }
      this.job.want = message.start;
      if (message.restart) this.job.next = message.start;
    } else {
      return;
    }
    this.pump(this.job);
  }

  /** Lets go of the stream job reads from, if it has one. */
  static letGo(job) {
    if (job && job.stream) job.stream.cancel().catch(() => {});
  }

  /** Reads the job's spans in order while they are within reach of what the converter wants. */
  async pump(job) {
    if (job.reading) return;
    job.reading = true;
    while (this.job === job && job.next < job.file.size &&
           job.next <= job.want + job.ahead * job.span) {
      const start = job.next;
      const length = Math.min(job.span, job.file.size - start);
      let bytes = this.spare.pop() || new ArrayBuffer(job.span);
      let filled = 0;
      try {
        if (!job.stream || job.at !== start) {
          SpanReader.letGo(job);
          job.stream = job.file.slice(start).stream().getReader({ mode: 'byob' });
          job.at = start;
        }
        while (filled < length) {
          const { value, done } = await job.stream.read(new Uint8Array(bytes, filled, length - filled));
          if (done) break;  // shorter than it was: changed since it was chosen
          bytes = value.buffer;
          filled += value.byteLength;
        }
        job.at = start + filled;
      } catch (error) {
        job.stream = null;
      }
      if (this.job !== job) break;
      if (filled < length) {
        this.send({ id: job.id, start, bytes: null, length: 0 }, []);  // cannot be read
        break;
      }
      this.send({ id: job.id, start, bytes, length }, [bytes]);
      if (job.next === start) job.next = start + job.span;  // unless a restart moved it meanwhile
    }
    job.reading = false;
  }
}

if (!self.zelvioReaderInThread) {
  const reader = new SpanReader((message, transfer) => postMessage(message, transfer));
  onmessage = (event) => reader.handle(event.data);
}
