#!/usr/bin/env bash
# A reproducible music-like test signal for bench/ape: 180 s of CD audio (44100 Hz, 16-bit stereo)
# made with sox: plucked bass, a sawtooth melody from a fixed pseudo-random sequence, drums, pad
# chords, stereo placement, reverb, a little pink noise, normalised to -1 dBFS with repeatable TPDF
# dither.
#
#   bench/ape-signal.sh OUTDIR      writes OUTDIR/music.wav
set -euo pipefail
out=${1:?usage: ape-signal.sh OUTDIR}
mkdir -p "$out"
w=$(mktemp -d "${TMPDIR:-/tmp}/korvi-signal-XXXXXX")
trap 'rm -rf "$w"' EXIT
rate=44100
mono="-r $rate -c 1 -e floating-point -b 32"  # intermediate format: mono float
sx="sox -R -D"                                # -R: repeatable random seed, -D: no dither on intermediates
note() { $sx $mono -n $mono "$w/$1.wav" synth "${@:2}"; }

# Notes: eighths (0.25 s) and beats (0.5 s).
for f in 87.31 98.00 110.00 130.81 146.83 164.81 196.00; do
  note "b$f" 0.5 pluck "$f" vol 0.6 fade q 0.005 0.5 0.12
done
melody=(329.63 392.00 440.00 523.25 587.33 659.26 783.99 880.00)
for f in "${melody[@]}"; do
  note "m$f" 0.25 sawtooth "$f" vol 0.25 lowpass 2500 fade t 0.01 0.25 0.15
done
note rest 0.25 sine 440 vol 0
note kick 0.5 sine 90:40 vol 0.9 fade q 0.002 0.5 0.35
note snare 0.5 whitenoise vol 0.35 bandpass 1800 1.2 fade q 0.001 0.5 0.4
note hat 0.25 whitenoise vol 0.15 highpass 7000 fade q 0.001 0.25 0.2
# Pad chords of three triangle partials, 2 s each.
pad() {
  local n=$1 i=0 parts=()
  shift
  for f in "$@"; do
    i=$((i + 1))
    $sx $mono -n $mono "$w/p$n$i.wav" synth 2 triangle "$f" vol 0.12 fade h 0.4 2 0.6
    parts+=("$w/p$n$i.wav")
  done
  $sx -m "${parts[@]}" "$w/pad$n.wav"
}
pad 0 220.00 261.63 329.63
pad 1 174.61 220.00 261.63
pad 2 261.63 329.63 392.00
pad 3 196.00 246.94 293.66
root_notes=(110.00 87.31 130.81 98.00)
fifths=(164.81 130.81 196.00 146.83)

# 90 bars of 2 s; the melody from a linear congruential sequence (portable, no $RANDOM).
x=12345
for bar in $(seq 0 89); do
  c=$((bar % 4))
  b=$(printf %03d "$bar")
  $sx "$w/b${root_notes[$c]}.wav" "$w/b${root_notes[$c]}.wav" "$w/b${fifths[$c]}.wav" "$w/b${root_notes[$c]}.wav" \
    "$w/bass$b.wav"
  line=()
  for _ in 0 1 2 3 4 5 6 7; do
    x=$(((x * 1103515245 + 12345) % 2147483648))
    r=$(((x >> 16) % 10))
    if [ $r -ge 8 ]; then line+=("$w/rest.wav"); else line+=("$w/m${melody[$r]}.wav"); fi
  done
  $sx "${line[@]}" "$w/mel$b.wav"
  $sx "$w/kick.wav" "$w/snare.wav" "$w/kick.wav" "$w/snare.wav" "$w/drum$b.wav"
  cp "$w/pad$c.wav" "$w/padb$b.wav"
done
for voice in bass mel drum padb; do
  mapfile -t parts < <(ls "$w/$voice"[0-9][0-9][0-9].wav | sort)
  $sx "${parts[@]}" "$w/$voice.wav"
done
$sx "$w/hat.wav" "$w/hat.wav" "$w/hat.wav" "$w/hat.wav" "$w/hat.wav" "$w/hat.wav" "$w/hat.wav" "$w/hat.wav" \
  "$w/hatbar.wav"
hats=()
for _ in $(seq 1 90); do hats+=("$w/hatbar.wav"); done
$sx "${hats[@]}" "$w/hats.wav"

# Stereo placement: gains per channel, the melody 11 ms later on the right.
place() { $sx "$w/$1.wav" -c 2 "$w/$1_st.wav" remix "1v$2" "1v$3" "${@:4}"; }
place bass 0.8 0.8
place padb 0.6 0.75
place mel 0.75 0.45 delay 0 0.011
place drum 0.7 0.7
place hats 0.3 0.6
$sx -r $rate -c 2 -n -r $rate -c 2 -e floating-point -b 32 "$w/pink.wav" synth 180 pinknoise pinknoise vol 0.02
$sx -m "$w/bass_st.wav" "$w/padb_st.wav" "$w/mel_st.wav" "$w/drum_st.wav" "$w/hats_st.wav" "$w/mix.wav"
$sx "$w/mix.wav" "$w/rev.wav" reverb 35 50 80 100 12 -4 tremolo 0.13 25 trim 0 180
$sx -m "$w/rev.wav" "$w/pink.wav" "$w/rp.wav"
sox -R "$w/rp.wav" -r $rate -c 2 -b 16 -e signed-integer "$out/music.wav" gain -n -1
