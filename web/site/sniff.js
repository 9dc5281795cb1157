// What an input file holds, from its first bytes: whether our own WAVE reader takes it, and for
// the formats the browser decodes, the format's name and its sample rate where the header states
// one (so that the browser decodes it at its own rate, without resampling it first).
'use strict';

const ZelvioSniff = (() => {
  const text = (b, at, s) => {
    if (b.length < at + s.length) return false;
    for (let i = 0; i < s.length; i++) if (b[at + i] !== s.charCodeAt(i)) return false;
    return true;
  };
  const little32 = (b, at) => (b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (b[at + 3] << 24)) >>> 0;
  const big16 = (b, at) => (b[at] << 8) | b[at + 1];

  /** True for RIFF WAVE and RF64, which our own reader converts. */
  function isWave(b) {
    return (text(b, 0, 'RIFF') || text(b, 0, 'RF64') || text(b, 0, 'BW64')) && text(b, 8, 'WAVE');
  }

  const mpegRates = [44100, 48000, 32000];
  const adtsRates = [96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025,
                     8000, 7350];

  /** An MPEG audio frame header (MP3) or an ADTS header (AAC) at at: {format, rate} or null. */
  function frameAt(b, at) {
    if (at + 4 > b.length || b[at] !== 0xff || (b[at + 1] & 0xe0) !== 0xe0) return null;
    const layer = (b[at + 1] >> 1) & 3;
    if (layer === 0) {
      if ((b[at + 1] & 0xf6) !== 0xf0) return null;
      const index = (b[at + 2] >> 2) & 0xf;
      return index < adtsRates.length ? { format: 'AAC', rate: adtsRates[index] } : null;
    }
    const version = (b[at + 1] >> 3) & 3;  // 3 MPEG-1, 2 MPEG-2, 0 MPEG-2.5
    const index = (b[at + 2] >> 2) & 3;
    if (version === 1 || index === 3 || ((b[at + 2] >> 4) & 0xf) === 0xf) return null;
    const divisor = version === 3 ? 1 : version === 2 ? 2 : 4;
    return { format: layer === 1 ? 'MP3' : 'MPEG audio', rate: mpegRates[index] / divisor };
  }

  /** The format's name and its stated rate (null when not stated or not known). */
  function describe(b) {
    if (isWave(b)) return { format: 'WAVE', rate: null };
    if (text(b, 0, 'fLaC') && b.length >= 21) {
      const rate = (b[18] << 12) | (b[19] << 4) | (b[20] >> 4);
      return { format: 'FLAC', rate: rate || null };
    }
    if (text(b, 0, 'OggS') && b.length > 27) {
      const first = 27 + b[26];
      if (text(b, first, '\x01vorbis')) return { format: 'Ogg Vorbis', rate: little32(b, first + 12) || null };
      if (text(b, first, 'OpusHead')) return { format: 'Ogg Opus', rate: 48000 };  // Opus decodes at 48000 Hz
      if (text(b, first, '\x7fFLAC') && b.length >= first + 30) {
        const s = first + 17;  // the STREAMINFO block after the mapping header and fLaC
        return { format: 'Ogg FLAC', rate: ((b[s + 10] << 12) | (b[s + 11] << 4) | (b[s + 12] >> 4)) || null };
      }
      return { format: 'Ogg', rate: null };
    }
    if (text(b, 4, 'ftyp')) {
      for (let i = 8; i + 36 <= b.length; i++) {
        if (b[i] === 0x6d && text(b, i, 'mp4a')) return { format: 'M4A/AAC', rate: big16(b, i + 28) || null };
      }
      return { format: 'MP4 audio', rate: null };
    }
    if (b.length >= 4 && b[0] === 0x1a && b[1] === 0x45 && b[2] === 0xdf && b[3] === 0xa3) {
      return { format: 'WebM/Matroska audio', rate: null };
    }
    let at = 0;
    if (text(b, 0, 'ID3') && b.length >= 10) {
      at = 10 + ((b[6] & 0x7f) << 21 | (b[7] & 0x7f) << 14 | (b[8] & 0x7f) << 7 | (b[9] & 0x7f));
      if (b[5] & 0x10) at += 10;
    }
    for (let i = at; i < Math.min(b.length - 4, at + 65536); i++) {
      const frame = frameAt(b, i);
      if (frame) return frame;
    }
    return { format: 'audio', rate: null };
  }

  return { isWave, describe };
})();

if (typeof module !== 'undefined') module.exports = ZelvioSniff;
