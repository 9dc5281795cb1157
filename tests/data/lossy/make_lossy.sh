#!/usr/bin/env bash
# Writes the lossy test inputs: 2 s of ../speech/north_wind.wav (from 0.3 s on), taken to 44100 Hz
# stereo (both channels alike) by sox without dither, then encoded by ffmpeg as
#   speech.mp3   MP3, LAME, 64 kbit/s, with its Info/LAME header (so decoders trim the delay)
#   speech.ogg   Ogg Vorbis, libvorbis quality 3
#   speech.opus  Opus, libopus 32 kbit/s (decoded at 48000 Hz)
#   speech.m4a   M4A/AAC, FFmpeg's AAC encoder, 64 kbit/s
#   speech.wma   WMA version 2, 64 kbit/s
#   two_tracks.mka  Matroska with two Opus tracks of 0.5 s: silence, then the speech, the second
#                marked default (the one a conversion takes)
# The tests convert them and compare the result with the decoded input, and compare the decoded
# input with the speech itself, so that a wrong scale, channel or offset shows. Made once with
# ffmpeg 5.1 and sox 14.4.2 (Debian 12) and kept, so the tests need neither; encoders of other
# versions give other bytes.
#
#   apt-get install ffmpeg sox && tests/data/lossy/make_lossy.sh
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sox -D ../speech/north_wind.wav -b 16 -c 2 -r 44100 "$work/speech.wav" trim 0.3 2.0
encode() {  # output, codec options...
  local out=$1; shift
  ffmpeg -v error -y -i "$work/speech.wav" -map_metadata -1 -fflags +bitexact -flags:a +bitexact \
    "$@" "$out"
}
encode speech.mp3 -c:a libmp3lame -b:a 64k
encode speech.ogg -c:a libvorbis -q:a 3
encode speech.opus -c:a libopus -b:a 32k
encode speech.m4a -c:a aac -b:a 64k
encode speech.wma -c:a wmav2 -b:a 64k
ffmpeg -v error -y -f lavfi -i anullsrc=r=48000:cl=mono -i "$work/speech.wav" -t 0.5 \
  -map 0:a -map 1:a -c:a libopus -b:a 16k -ac 1 -disposition:a:0 0 -disposition:a:1 default \
  -map_metadata -1 -fflags +bitexact -flags:a +bitexact two_tracks.mka
