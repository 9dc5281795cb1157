#!/usr/bin/env bash
# Writes north_wind.wav: 12.2 s of synthetic speech, 10000 Hz mono 16-bit, the speech sample of
# the coder tests and of bench/quality. Two sentences of Aesop's "The North Wind and the Sun"
# (public domain), the first in espeak-ng's default English voice, the second in a higher female
# variant, taken to 10000 Hz by sox without dither, so that the script gives the same bytes every
# time. Made once with espeak-ng 1.51 and sox 14.4.2 (Debian 12) and kept, so the tests need
# neither; other versions may give slightly different samples.
#
#   apt-get install espeak-ng sox && tests/data/speech/make_north_wind.sh
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
espeak-ng -v en -s 165 -w "$work/first.wav" \
  "The North Wind and the Sun were disputing which was the stronger, when a traveler came along wrapped in a warm cloak."
espeak-ng -v en+f3 -s 165 -p 60 -w "$work/second.wav" \
  "They agreed that the one who first made the traveler take his cloak off should be considered stronger."
sox -D "$work/first.wav" "$work/second.wav" -b 16 -c 1 -r 10000 north_wind.wav
