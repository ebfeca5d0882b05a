#!/usr/bin/env python3
"""Usage: scripts/measurements.py CAPTURE_DIR DOCS_DIR

Analyses the captures that scripts/measure made (NAME.wav with the readouts in NAME.txt) and
writes DOCS_DIR/measurements.md with its plots in DOCS_DIR/measurements/."""
import datetime
import os
import struct
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

KAISER_BETA = 38.0  # side lobes far below a 24-bit noise floor
LOBE_BINS = 16  # the Kaiser window's main lobe is about 12 bins wide each side
FFT_LENGTH = 65536
SETTLE_S = 0.3  # skips the start-up glide and fade-in


def read_wav(path):
    """Stereo integer PCM as the ALSA file plugin writes it: (rate, bits, samples[n, 2]) with
    full scale 1.0. A data size that the plugin left unwritten means "up to the end"."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise ValueError(path + ": not a WAV file")
    pos, fmt, samples = 12, None, None
    while pos + 8 <= len(data):
        tag, size = data[pos:pos + 4], struct.unpack("<I", data[pos + 4:pos + 8])[0]
        body = pos + 8
        if tag == b"fmt ":
            fmt = struct.unpack("<HHIIHH", data[body:body + 16])
        elif tag == b"data":
            end = len(data) if size in (0, 0xFFFFFFFF) else min(len(data), body + size)
            samples = data[body:end]
            break
        pos = body + size + (size & 1)
    if fmt is None or samples is None:
        raise ValueError(path + ": no fmt or data chunk")
    channels, rate, bits = fmt[1], fmt[2], fmt[5]
    width = bits // 8
    if channels != 2 or bits not in (16, 24, 32):
        raise ValueError(path + ": not stereo 16/24/32-bit PCM")
    raw = np.frombuffer(samples[: len(samples) // (2 * width) * 2 * width], dtype=np.uint8)
    raw = raw.reshape(-1, width)
    # Left-align every sample in 32 bits, so that one scale serves every container.
    word = np.zeros(len(raw), dtype=np.uint32)
    for i in range(width):
        word |= raw[:, i].astype(np.uint32) << np.uint32(8 * (4 - width + i))
    return rate, bits, (word.view(np.int32) / 2.0**31).reshape(-1, 2)


def read_capture(directory, name):
    rate, bits, x = read_wav(os.path.join(directory, name + ".wav"))
    with open(os.path.join(directory, name + ".txt"), encoding="utf-8") as f:
        readouts = [line.strip() for line in f]
    return rate, bits, x, readouts


def sounding(x):
    nz = np.flatnonzero(x)
    if len(nz) == 0:
        raise ValueError("the capture is silent")
    return nz[0], nz[-1]


def dropouts(x, rate):
    """Samples inside a run of at least 1 ms of exact zeros between the first and the last sound:
    where Wine's mixer found too little in the program's buffer and wrote silence (a loaded
    machine); the program's own fades never hold a run of zeros that long."""
    first, last = sounding(x)
    zero = np.zeros(len(x) + 2, dtype=bool)
    zero[1:-1] = x == 0
    edges = np.flatnonzero(np.diff(zero.astype(np.int8)))
    mask = np.zeros(len(x), dtype=bool)
    for begin, end in zip(edges[::2], edges[1::2]):
        if end - begin >= rate // 1000 and first < begin and end <= last:
            mask[begin:end] = True
    return mask


def steady_segment(x, rate, length):
    """Start of `length` samples of a steady tone without a dropout: every 1 ms window's peak at
    least 90 % of the median window peak, away from the start and the end."""
    first, last = sounding(x)
    window = int(rate / 1000)
    begin, end = first + int(SETTLE_S * rate), last - int(0.1 * rate)
    peaks = np.abs(x[begin:end][: (end - begin) // window * window]).reshape(-1, window).max(axis=1)
    good = peaks >= 0.9 * np.median(peaks)
    need = -(-length // window) + 1
    run = 0
    for i, ok in enumerate(good):
        run = run + 1 if ok else 0
        if run >= need:
            return begin + (i + 1 - need) * window
    raise ValueError("no stretch of %d samples without a dropout" % length)


def sinad(x, rate, top_hz):
    """SINAD and THD+N (dB) of a tone in x from a Kaiser-windowed FFT: the tone is the main lobe
    around the largest bin; noise and distortion are all other bins from 20 Hz to top_hz."""
    w = np.kaiser(len(x), KAISER_BETA)
    power = np.abs(np.fft.rfft(x * w)) ** 2
    hz = np.fft.rfftfreq(len(x), 1.0 / rate)
    band = (hz >= 20.0) & (hz <= top_hz)
    k = int(np.argmax(np.where(band, power, 0.0)))
    tone = np.zeros(len(power), dtype=bool)
    tone[max(k - LOBE_BINS, 0): k + LOBE_BINS + 1] = True
    signal = power[tone].sum()
    residual = power[band & ~tone].sum()
    spectrum_db = 10 * np.log10(np.maximum(power, 1e-30) / (w.sum() / 2) ** 2)
    return 10 * np.log10((signal + residual) / residual), 10 * np.log10(residual / signal), hz, spectrum_db


def envelope(x):
    """Magnitude of the analytic signal (FFT Hilbert transform)."""
    n = len(x)
    h = np.zeros(n)
    h[0] = 1.0
    h[1:(n + 1) // 2] = 2.0
    if n % 2 == 0:
        h[n // 2] = 1.0
    return np.abs(np.fft.ifft(np.fft.fft(x) * h))


def made(rate, bits_text, level, seconds, date):
    return "%.1f kHz, %s, level %s, %.2f s analysed; captured %s under Wine" % (
        rate / 1000.0, bits_text, level, seconds, date)


def bits_text(readouts):
    # Readouts: rate list, device bits, bits edit (the edit shows the device bits when smaller),
    # then the stream the program traced ("exclusive mode, 96000 Hz, ...").
    return "%s effective bits in %s-bit samples, %s" % (readouts[2], readouts[1], mode_of(readouts))


def mode_of(readouts):
    return readouts[3].split(",")[0] if len(readouts) > 3 else "mode not traced"


def streams(captures):
    """The streams the runs opened, as the program traced them, each once."""
    seen = []
    for name in sorted(os.listdir(captures)):
        if name.endswith(".txt"):
            with open(os.path.join(captures, name), encoding="utf-8") as f:
                readouts = [line.strip() for line in f]
            if len(readouts) > 3 and readouts[3] not in seen:
                seen.append(readouts[3])
    return seen


def save(fig, docs, name, caption):
    fig.text(0.01, 0.005, caption, fontsize=7, color="0.35")
    fig.tight_layout(rect=(0, 0.03, 1, 1))
    fig.savefig(os.path.join(docs, "measurements", name), dpi=90)
    plt.close(fig)


def tones(captures, docs, date):
    rows = []
    fig, axes = plt.subplots(2, 2, figsize=(10, 6.5), sharex=True, sharey=True)
    for ax, (bits, enhancer) in zip(axes.flat, [(16, 0), (16, 1), (24, 0), (24, 1)]):
        name = "tone-%dbit-enhancer%d" % (bits, enhancer)
        rate, _, x, readouts = read_capture(captures, name)
        start = steady_segment(x[:, 0], rate, FFT_LENGTH)
        seg = x[start:start + FFT_LENGTH, 0]
        full, thdn, hz, spectrum = sinad(seg, rate, rate / 2.0)
        audio, _, _, _ = sinad(seg, rate, 20000.0)
        ideal = 6.02 * bits + 1.76
        rows.append((bits, "on" if enhancer else "off", full, audio, thdn, ideal, readouts))
        ax.semilogx(hz[1:], spectrum[1:], lw=0.5)
        ax.set_title("%d effective bits, enhancer %s: SINAD %.1f dB (ideal %.1f)"
                     % (bits, "on" if enhancer else "off", full, ideal), fontsize=9)
        ax.set_ylim(-240, 10)
        ax.grid(True, which="both", lw=0.3)
    for ax in axes[1]:
        ax.set_xlabel("Hz")
    for ax in axes[:, 0]:
        ax.set_ylabel("dBFS (Kaiser window, beta 38)")
    save(fig, docs, "tone-fft.png",
         "1 kHz tone, " + made(rate, "16 and 24 effective bits in %s-bit samples" % rows[0][6][1], "-0.0 dB",
                               FFT_LENGTH / rate, date))
    return rows, rate


def level_change(captures, docs, date):
    rate, _, x, readouts = read_capture(captures, "level-change")
    left = x[:, 0]
    first, last = sounding(left)
    ms = int(rate / 1000)
    begin = first + int(SETTLE_S * rate)
    peaks = np.abs(left[begin:last][: (last - begin) // ms * ms]).reshape(-1, ms).max(axis=1)
    low, high = 10 ** (-20 / 20), 10 ** (-6 / 20)
    loud = peaks > (low + high) / 2
    # A rise from the steady quiet tone (not the return of sound after a dropout).
    rises = [begin + (i + 1) * ms for i in np.flatnonzero(~loud[:-1] & loud[1:])
             if i >= 15 and abs(peaks[i - 15] - low) < 0.1 * low]
    gaps = dropouts(left, rate)
    clean = [c for c in rises if not gaps[c - 60 * ms:c + 300 * ms].any()]
    change = (clean or rises)[0]
    seg = slice(change - 50 * ms, change + 50 * ms)
    env = envelope(left[seg])[30 * ms:70 * ms]
    t = (np.arange(len(env)) - 20 * ms) / rate * 1000
    rise = np.flatnonzero(env > low + 0.9 * (high - low))[0] - np.flatnonzero(env > low + 0.1 * (high - low))[0]
    # A click shows as a second difference larger than the louder tone's own.
    d2 = np.abs(np.diff(left[change - 20 * ms:change + 20 * ms], 2)).max()
    steady = np.abs(np.diff(left[change + 100 * ms:change + 300 * ms], 2)).max()
    fig, ax = plt.subplots(figsize=(10, 4))
    ax.plot(t, left[seg][30 * ms:70 * ms], ".-", ms=2, lw=0.4, label="left channel, every sample")
    ax.plot(t, env, lw=1, label="envelope")
    ax.set_xlabel("ms (0 = the 1 ms window where the level passes half way)")
    ax.set_ylabel("full scale")
    ax.legend(fontsize=8, loc="upper left")
    ax.grid(True, lw=0.3)
    save(fig, docs, "level-change.png",
         "1 kHz tone, level -20.0 -> -6.0 dB while playing, " + made(rate, bits_text(readouts), "-20.0/-6.0 dB",
                                                                     0.04, date))
    return {"rise_ms": rise / rate * 1000, "d2_ratio": d2 / steady, "rate": rate, "readouts": readouts, "x": left,
            "rises": len(rises), "clean": bool(clean)}


def stop_fade(change, docs, date):
    left, rate = change["x"], change["rate"]
    _, last = sounding(left)
    ms = int(rate / 1000)
    seg = left[last - 40 * ms:last + 5 * ms]
    env = envelope(seg)
    steady = np.median(env[: 20 * ms])
    falling = np.flatnonzero(env[20 * ms:] < 0.9 * steady)
    fade_ms = (20 * ms - falling[0]) / rate * 1000 if len(falling) else float("nan")
    t = (np.arange(len(seg)) - 40 * ms) / rate * 1000
    fig, ax = plt.subplots(figsize=(10, 4))
    ax.plot(t, seg, ".-", ms=2, lw=0.4, label="left channel, every sample")
    ax.set_xlabel("ms (0 = the last non-zero sample)")
    ax.set_ylabel("full scale")
    ax.legend(fontsize=8, loc="upper left")
    ax.grid(True, lw=0.3)
    save(fig, docs, "stop-fade.png",
         "1 kHz tone at -6.0 dB, stop pressed, " + made(rate, bits_text(change["readouts"]), "-6.0 dB", 0.045, date))
    return fade_ms


def am_trigger(captures, docs, date):
    rate, _, x, readouts = read_capture(captures, "am-trigger")
    left, right = x[:, 0], x[:, 1]
    pulses = np.flatnonzero(np.abs(right) > 0.5)
    first, last = sounding(left)
    period = int(round(rate / 10.0))
    gaps = dropouts(left, rate)
    # Periods that a dropout of Wine's mixer lengthened say nothing about the program: left out.
    intervals = np.array([b - a for a, b in zip(pulses[:-1], pulses[1:]) if not gaps[a:b].any()])
    # Offset of the envelope's peak from each pulse, for pulses a whole clean period inside the sound.
    inner = [p for p in pulses if p - period > first and p + period < last and not gaps[p - period:p + period].any()]
    offsets = []
    for p in inner:
        env = envelope(left[p - period:p + period])
        offsets.append(int(np.argmax(env[period // 2: period + period // 2])) - period // 2)
    show = slice(inner[0] - period // 4 if inner else first, (inner[0] if inner else first) + 3 * period)
    t = np.arange(show.stop - show.start) / rate * 1000
    fig, ax = plt.subplots(figsize=(10, 4))
    ax.plot(t, left[show], lw=0.3, label="left: 1 kHz tone with 10 Hz AM")
    ax.plot(t, right[show], lw=0.8, label="right: trigger pulses")
    ax.set_xlabel("ms")
    ax.set_ylabel("full scale")
    ax.legend(fontsize=8, loc="lower right")
    ax.grid(True, lw=0.3)
    save(fig, docs, "am-trigger.png",
         "AM 10.00 Hz on a 1 kHz tone, trigger on, " + made(rate, bits_text(readouts), "-6.0 dB", 0.325, date))
    return {"pulses": len(pulses), "intervals": intervals, "dropped": len(pulses) - 1 - len(intervals), "period": period, "offsets": np.array(offsets),
            "heights": right[pulses], "others": np.count_nonzero(right) - len(pulses)}


def noise(captures, docs, date):
    rate, _, x, readouts = read_capture(captures, "noise")
    first, last = sounding(x[:, 0])
    keep = ~dropouts(x[:, 0], rate)
    keep[: first + int(SETTLE_S * rate)] = False
    keep[last - int(0.1 * rate):] = False
    seg = x[keep]
    left = seg[:, 0]
    sigma = 10 ** (-20 / 20)
    z = left / sigma
    kurtosis = np.mean((left - left.mean()) ** 4) / np.var(left) ** 2
    fig, ax = plt.subplots(figsize=(10, 4))
    edges = np.linspace(-6, 6, 121)
    counts, _ = np.histogram(z, bins=edges)
    centres = (edges[1:] + edges[:-1]) / 2
    ax.semilogy(centres, counts / (len(z) * 0.1), "o", ms=3, label="captured samples (left)")
    ax.semilogy(centres, np.exp(-centres ** 2 / 2) / np.sqrt(2 * np.pi), lw=1, label="Gaussian, sigma 0.1 FS")
    ax.set_xlabel("sample / 0.1 of full scale")
    ax.set_ylabel("probability density")
    ax.set_ylim(1e-7, 1)
    ax.legend(fontsize=8)
    ax.grid(True, which="both", lw=0.3)
    save(fig, docs, "noise-histogram.png",
         "Gaussian noise, " + made(rate, bits_text(readouts), "-20.0 dB", len(left) / rate, date))
    steps = np.abs(seg[:, 0] - seg[:, 1]).max() * 2.0 ** (int(readouts[2]) - 1)
    return {"mean": left.mean(), "rms_db": 20 * np.log10(np.std(left) / sigma), "kurtosis": kurtosis,
            "lr_steps": steps, "bits": readouts[2], "seconds": len(left) / rate, "rate": rate}


def write(docs, date, rows, rate, change, fade_ms, am, nz, opened):
    lines = [
        "# Measurements",
        "",
        "What the program plays, captured sample by sample and analysed. Made by `scripts/measure` on %s: it"
        % date,
        "runs the real program under Wine on a virtual display, drives its dialog with `corvane-drive` and",
        "captures the sound through ALSA's file plugin in front of the test card (`tests/card`), which plays",
        "at the real rate and takes 8 to 384 kHz in 16-, packed 24- and 32-bit samples, as a sound card",
        "does; Wine passes the samples through unchanged. The program opened, as it traced it: %s."
        % "; ".join(opened),
        "Each run starts from the start-up values (1000 Hz, 96 kHz maximum rate, 24 effective",
        "bits, enhancer on) and changes only what is said. Re-run `scripts/measure` to remake this page.",
        "",
        "## 1 kHz tone: SINAD and THD+N",
        "",
        "Method: 65536 samples of a steady stretch (no dropout: every 1 ms window's peak within 90 % of",
        "the median), Kaiser window (beta 38, side lobes far below the 24-bit floor), FFT; the tone is the",
        "main lobe (±16 bins) around the largest bin, noise and distortion are all other bins from 20 Hz",
        "up to half the rate (and, in the second column, up to 20 kHz). SINAD = (S + N + D) / (N + D),",
        "THD+N = (N + D) / S. The ideal figure is that of an ideal N-bit quantizer for a full-scale sine,",
        "6.02 N + 1.76 dB.",
        "",
        "| effective bits | enhancer | SINAD to %g kHz | SINAD 20 Hz-20 kHz | THD+N | ideal 6.02 N + 1.76 |"
        % (rate / 2000.0),
        "|---|---|---|---|---|---|",
    ]
    for bits, enhancer, full, audio, thdn, ideal, _ in rows:
        lines.append("| %d | %s | %.1f dB | %.1f dB | %.1f dB (%.2g %%) | %.1f dB |"
                     % (bits, enhancer, full, audio, thdn, 100 * 10 ** (thdn / 20), ideal))
    lines += [
        "",
        "1 kHz is a whole fraction of the rate, and nothing is dithered: the error repeats with the tone,",
        "so all of it falls on harmonics of 1 kHz. Without the enhancer the samples are cut toward zero",
        "onto the grid: odd harmonics. With the enhancer each sample is rounded and its error carried into",
        "the next (first-order error feedback): the error moves toward high frequencies, so the",
        "20 Hz-20 kHz figure gains while the full-band one carries the shaped error. The spectra with the",
        "enhancer also show a small constant offset below 20 Hz, outside the figures.",
        "",
        "![Spectra of a full-scale 1 kHz tone at 16 and 24 effective bits, enhancer off and on]"
        "(measurements/tone-fft.png)",
        "",
        "## A live level change",
        "",
        "The level slider moved between -20.0 and -6.0 dB while the tone played (%d rises); shown is the"
        " first rise %s. The envelope rises from 10 %% to 90 %% of the step in %.1f ms; the largest second"
        " difference of the samples within 20 ms of the change is %.2f times that of the steady -6.0 dB"
        " tone (a click would raise it far above 1)."
        % (change["rises"], "with no dropout near it" if change["clean"]
           else "(every rise had a dropout of Wine's mixer near it, which the figures include)",
           change["rise_ms"], change["d2_ratio"]),
        "",
        "![Samples of a 1 kHz tone while the level changes](measurements/level-change.png)",
        "",
        "## AM with the trigger pulse",
        "",
        "AM 10.00 Hz (slider position 200) on the 1 kHz tone at -6.0 dB, trigger on. %d pulses of height %s;"
        % (am["pulses"], ", ".join("%+.4f" % h for h in sorted(set(np.round(am["heights"], 4))))),
        "pulse intervals %d to %d samples (expected %d; %d intervals with a dropout of Wine's mixer left out);"
        % (am["intervals"].min(), am["intervals"].max(), am["period"], am["dropped"]),
        "%d other non-zero samples on the right channel; the" % am["others"],
        "envelope's peak lies %d to %d samples from its pulse (over %d whole periods)."
        % (am["offsets"].min(), am["offsets"].max(), len(am["offsets"])),
        "",
        "![AM with trigger pulses](measurements/am-trigger.png)",
        "",
        "## Gaussian noise",
        "",
        "Noise at -20.0 dB: standard deviation 0.1 of full scale expected. Over %.1f s (dropouts of Wine's"
        " mixer left out): mean %.2e, RMS %+.3f dB"
        " from 0.1, kurtosis %.3f (3 for a Gaussian); left and right, which carry the same noise, differ"
        " by at most %.0f step(s) of the %s-bit grid."
        % (nz["seconds"], nz["mean"], nz["rms_db"], nz["kurtosis"], nz["lr_steps"], nz["bits"]),
        "",
        "![Histogram of the noise against the Gaussian curve](measurements/noise-histogram.png)",
        "",
        "## The fade at stop",
        "",
        "Stop pressed while the -6.0 dB tone played: the queued sound plays out, then the tone fades to",
        "silence; the envelope falls from 90 %% of its level to the last non-zero sample in %.1f ms." % fade_ms,
        "",
        "![The end of the tone after stop](measurements/stop-fade.png)",
        "",
    ]
    with open(os.path.join(docs, "measurements.md"), "w", encoding="utf-8") as f:
        f.write("\n".join(lines))


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    captures, docs = sys.argv[1], sys.argv[2]
    os.makedirs(os.path.join(docs, "measurements"), exist_ok=True)
    date = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d")
    rows, rate = tones(captures, docs, date)
    change = level_change(captures, docs, date)
    fade_ms = stop_fade(change, docs, date)
    write(docs, date, rows, rate, change, fade_ms, am_trigger(captures, docs, date), noise(captures, docs, date),
          streams(captures))


if __name__ == "__main__":
    main()
