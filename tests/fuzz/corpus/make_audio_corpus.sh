#!/usr/bin/env bash
# Writes the seed corpus of audio_source_fuzz: a twentieth of a second of a tone in each format
# the input room reads beyond WAVE (the WAVE reader has its own corpus), as small as the formats
# allow (WMA needs 0.3 s: its decoder's delay would swallow less). Made once with ffmpeg 5.1 (Debian 12) and kept.
#
#   apt-get install ffmpeg && tests/fuzz/corpus/make_audio_corpus.sh
set -euo pipefail
cd "$(dirname "$0")/audio"
tone=(-f lavfi -i "sine=frequency=700:sample_rate=8000:duration=0.05")
stereo=(-f lavfi -i "sine=frequency=700:sample_rate=22050:duration=0.05" -ac 2)
make() {  # output, input and codec options...
  local out=$1; shift
  ffmpeg -v error -y "$@" -map_metadata -1 -fflags +bitexact -flags:a +bitexact "$out"
}
make tone.flac "${tone[@]}" -c:a flac
make tone24.flac "${stereo[@]}" -c:a flac -sample_fmt s32 -bits_per_raw_sample 24
make tone.aiff "${tone[@]}" -c:a pcm_s16be
make tone.aifc "${tone[@]}" -c:a pcm_f32be -f aiff
make tone.w64 "${stereo[@]}" -c:a pcm_u8 -f w64
make tone.caf "${tone[@]}" -c:a alac
make tone.au "${tone[@]}" -c:a pcm_mulaw
make tone.ogg "${tone[@]}" -c:a libvorbis -q:a 0
make tone.opus "${tone[@]}" -c:a libopus -b:a 8k
make tone.mp3 "${stereo[@]}" -c:a libmp3lame -b:a 32k
make tone.m4a "${tone[@]}" -c:a aac -b:a 16k
make tone.wma -f lavfi -i "sine=frequency=700:sample_rate=8000:duration=0.3" -c:a wmav2 -b:a 24k
