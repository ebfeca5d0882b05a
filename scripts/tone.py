#!/usr/bin/env python3
"""Usage: scripts/tone.py CAPTURE.wav

Prints the frequency (Hz) and level (dB of full scale, as the level slider shows it) of the
steady tone on the left channel of a capture that the ALSA file plugin wrote: medians over
50 ms blocks, from 0.3 s after the sound began to 0.1 s before it ended, so that the fades and
a dropout of a loaded machine do not decide them."""
import sys

import numpy as np

from measurements import SETTLE_S, read_wav, sounding


def block_figures(x, rate):
    """(frequency, amplitude) of one block: rising zero crossings, interpolated between samples,
    and the RMS of the whole periods between the first and the last crossing."""
    rising = np.flatnonzero((x[:-1] < 0) & (x[1:] >= 0))
    if len(rising) < 3:
        return None
    at = rising + x[rising] / (x[rising] - x[rising + 1])
    periods = len(at) - 1
    frequency = periods * rate / (at[-1] - at[0])
    whole = x[rising[0]:rising[-1]]
    return frequency, np.sqrt(np.mean(whole * whole)) * np.sqrt(2.0)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    rate, _, samples = read_wav(sys.argv[1])
    left = samples[:, 0]
    first, last = sounding(left)
    block = rate // 20
    begin, end = first + int(SETTLE_S * rate), last - rate // 10
    figures = [block_figures(left[i:i + block], rate) for i in range(begin, end - block, block)]
    figures = [f for f in figures if f is not None]
    if not figures:
        sys.exit(sys.argv[1] + ": less than one steady block of tone")
    frequency = np.median([f[0] for f in figures])
    level = 20.0 * np.log10(np.median([f[1] for f in figures]))
    print("%.1f Hz at %.1f dB" % (frequency, level))


if __name__ == "__main__":
    main()
