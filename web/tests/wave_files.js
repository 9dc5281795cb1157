// Small WAVE files for the browser tests, written byte by byte: any rate, channel count and
// length, with a test tone, optionally cut short or with a format tag of our choosing.
'use strict';

const fs = require('node:fs');

/** A 16-bit PCM WAVE (or formatTag's) with frames sample frames of a 440 Hz tone; the data
 *  chunk states statedFrames (default frames) and the file holds frames. */
function waveBytes({ rate = 8000, channels = 1, frames = 8000, statedFrames = frames, formatTag = 1 }) {
  const blockAlign = 2 * channels;
  const dataBytes = frames * blockAlign;
  const header = Buffer.alloc(44);
  header.write('RIFF', 0);
  header.writeUInt32LE(36 + statedFrames * blockAlign, 4);
  header.write('WAVEfmt ', 8);
  header.writeUInt32LE(16, 16);
  header.writeUInt16LE(formatTag, 20);
  header.writeUInt16LE(channels, 22);
  header.writeUInt32LE(rate, 24);
  header.writeUInt32LE(rate * blockAlign, 28);
  header.writeUInt16LE(blockAlign, 32);
  header.writeUInt16LE(16, 34);
  header.write('data', 36);
  header.writeUInt32LE(statedFrames * blockAlign, 40);
  const data = Buffer.alloc(dataBytes);
  for (let i = 0; i < frames; i++) {
    const value = Math.round(8000 * Math.sin((2 * Math.PI * 440 * i) / rate));
    for (let c = 0; c < channels; c++) data.writeInt16LE(value, (i * channels + c) * 2);
  }
  return Buffer.concat([header, data]);
}

/** Writes a long 16-bit WAVE of seconds at rate by repeating one second, without holding it. */
function writeLongWave(file, { rate, channels, seconds }) {
  const second = waveBytes({ rate, channels, frames: rate }).subarray(44);
  const header = waveBytes({ rate, channels, frames: 0, statedFrames: rate * seconds }).subarray(0, 44);
  const fd = fs.openSync(file, 'w');
  fs.writeSync(fd, header);
  for (let s = 0; s < seconds; s++) fs.writeSync(fd, second);
  fs.closeSync(fd);
}

/** wave (a file of waveBytes) with a chunk of id and size bytes between its "fmt " and "data". */
function withChunkBeforeData(wave, id, size) {
  const chunk = Buffer.alloc(8 + size + (size % 2));
  chunk.write(id, 0);
  chunk.writeUInt32LE(size, 4);
  const bytes = Buffer.concat([wave.subarray(0, 36), chunk, wave.subarray(36)]);
  bytes.writeUInt32LE(wave.readUInt32LE(4) + chunk.length, 4);
  return bytes;
}

module.exports = { waveBytes, writeLongWave, withChunkBeforeData };
