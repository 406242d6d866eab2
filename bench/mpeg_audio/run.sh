#!/usr/bin/env bash
# Layer II encoding speed and decoded SNR: ours against ffmpeg's libtwolame and mp2
# encoders, on 60 s of stereo test sound at 128 kbit/s, all measured in this run.
# Usage: bench/mpeg_audio/run.sh BIN_DIR   (BIN_DIR holds zerarive-cli)
set -euo pipefail
BIN=${1:-build/bin}
CLI="$BIN/zerarive-cli"
[ -x "$CLI" ] || { echo "no $CLI" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "ffmpeg is needed" >&2; exit 1; }
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# 40 s: three sines (440, 1250, 5100 Hz) with a little white noise; 10 s: bursts of noise
# (a quarter second in every second); 10 s: a chirp from 50 Hz to 20 kHz. The right
# channel is the left one delayed by 7 ms and a little softer.
ffmpeg -nostdin -v error -y \
  -f lavfi -i "sine=f=440:r=44100:d=40" -f lavfi -i "sine=f=1250:r=44100:d=40" \
  -f lavfi -i "sine=f=5100:r=44100:d=40" -f lavfi -i "anoisesrc=r=44100:d=40:a=0.01:c=white:s=1" \
  -f lavfi -i "anoisesrc=r=44100:d=10:a=0.5:c=white:s=2,volume='if(lt(mod(t\,1)\,0.25)\,1\,0)':eval=frame" \
  -f lavfi -i "aevalsrc='0.5*sin(2*PI*(50*t+997.5*t*t))':s=44100:d=10" \
  -filter_complex "[0][1][2][3]amix=inputs=4:normalize=0,volume=1.6[t];[t][4][5]concat=n=3:v=0:a=1,asplit[l][r0];[r0]adelay=7,volume=0.8[r];[l][r]join=inputs=2:channel_layout=stereo[out]" \
  -map "[out]" -c:a pcm_s16le -ar 44100 "$WORK/src.wav"

have_twolame=0
if ffmpeg -hide_banner -encoders 2>/dev/null | grep -q libtwolame; then have_twolame=1; fi

# Best of three runs, in seconds of CPU time: the machine is shared.
source "$(dirname "${BASH_SOURCE[0]}")/../measure.sh"
best_time() { runs=3 measure "$@" | awk '{ print $2 }'; }

t_ours=$(best_time "$CLI" encode-audio --quiet "$WORK/src.wav" "$WORK/ours.mp2")
t_mp2=$(best_time ffmpeg -nostdin -v error -y -i "$WORK/src.wav" -c:a mp2 -b:a 128k "$WORK/mp2.mp2")
encoders="ours mp2"
if [ $have_twolame = 1 ]; then
  t_twolame=$(best_time ffmpeg -nostdin -v error -y -i "$WORK/src.wav" -c:a libtwolame -b:a 128k "$WORK/twolame.mp2")
  encoders="ours twolame mp2"
else
  echo "libtwolame is not in this ffmpeg: comparing with mp2 only"
fi

ffmpeg -nostdin -v error -y -i "$WORK/src.wav" -f s16le "$WORK/src.raw"
for e in $encoders; do
  ffmpeg -nostdin -v error -y -i "$WORK/$e.mp2" -f s16le -ac 2 -ar 44100 "$WORK/$e.raw"
done

printf "%-8s %9s %9s %10s %10s %10s %10s\n" encoder "cpu s" "x ours" "delay" "SNR all" "SNR tones" "SNR rest"
for e in $encoders; do
  t=$(eval echo "\$t_$e")
  ratio=$(echo "$t / $t_ours" | bc -l)
  python3 - "$WORK/src.raw" "$WORK/$e.raw" "$e" "$t" "$ratio" <<'EOF'
import array, math, sys
src = array.array('h'); src.frombytes(open(sys.argv[1], 'rb').read())
dec = array.array('h'); dec.frombytes(open(sys.argv[2], 'rb').read())
rate = 44100
L, R = src[0::2], src[1::2]
DL, DR = dec[0::2], dec[1::2]
# Encoder plus decoder delay: best correlation over a noise burst (no period to fool it).
start, span = 40 * rate + 100, 4096
best, lag = -1e300, 0
for d in range(0, 3000):
    if start + d + span > len(DL): break
    c = sum(L[start + i] * DL[start + d + i] for i in range(0, span, 2))
    if c > best: best, lag = c, d
def snr(a, b, lo, hi):
    s = n = 0.0
    for i in range(lo, min(hi, len(b) - lag)):
        x = a[i]; e = b[i + lag] - x
        s += x * x; n += e * e
    return 10 * math.log10(s / max(n, 1e-9))
def both(lo, hi):
    return 10 * math.log10(2 / (10 ** (-snr(L, DL, lo, hi) / 10) + 10 ** (-snr(R, DR, lo, hi) / 10)))
n = len(L)
print("%-8s %9.3f %9.2f %10d %10.2f %10.2f %10.2f" % (sys.argv[3], float(sys.argv[4]), float(sys.argv[5]), lag,
      both(2048, n - 4096), both(2048, 40 * rate), both(40 * rate, n - 4096)))
EOF
done
echo "(x ours: the encoder's time over ours; SNR in dB of the decoded sound against the source,"
echo " both channels, after removing the delay; tones = the first 40 s, rest = bursts + chirp)"
