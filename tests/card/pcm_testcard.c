/* A playback PCM that behaves like a sound card, for the tests: it takes only the rates,
 * formats and channel counts it is configured with, plays at the real rate by CLOCK_MONOTONIC,
 * wakes a blocked writer each period and reports an underrun when the writer falls behind.
 * The samples are discarded: the file plugin in front of it is what keeps them.
 *
 *   pcm_type.testcard { lib "/abs/path/libasound_module_pcm_testcard.so" }
 *   pcm.card { type testcard rates [ 44100 48000 ] formats [ S16_LE S24_3LE ] channels 2 }
 */
#include <alsa/asoundlib.h>
#include <alsa/pcm_external.h>
#include <errno.h>
#include <poll.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#define MAX_VALUES 64

typedef struct
{
    snd_pcm_ioplug_t io;
    int timer_fd;
    int running;
    int xrun;
    struct timespec start;
    uint64_t played; /* frames played since start, as told to ioplug */
    snd_pcm_uframes_t avail_min;
} testcard_t;

static uint64_t elapsed_frames(const testcard_t* tc)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    int64_t s = now.tv_sec - tc->start.tv_sec, ns = now.tv_nsec - tc->start.tv_nsec;
    if (ns < 0)
    {
        s--;
        ns += 1000000000;
    }
    /* In two parts, so that hours at 384 kHz do not overflow. */
    return (uint64_t)s * tc->io.rate + (uint64_t)ns * tc->io.rate / 1000000000u;
}

/* Written and not yet played, as ioplug counts (its pointers wrap at the boundary). */
static snd_pcm_uframes_t queued(const snd_pcm_ioplug_t* io)
{
    return snd_pcm_ioplug_hw_avail(io, io->hw_ptr, io->appl_ptr);
}

static int set_timer(testcard_t* tc, int on)
{
    struct itimerspec its;
    memset(&its, 0, sizeof its);
    if (on)
    {
        /* Rounded up, so that a tick never comes before its period has been played. */
        uint64_t ns = ((uint64_t)tc->io.period_size * 1000000000u + tc->io.rate - 1) / tc->io.rate;
        its.it_interval.tv_sec = ns / 1000000000u;
        its.it_interval.tv_nsec = ns % 1000000000u;
        its.it_value = its.it_interval;
    }
    return timerfd_settime(tc->timer_fd, 0, &its, NULL) < 0 ? -errno : 0;
}

static int tc_start(snd_pcm_ioplug_t* io)
{
    testcard_t* tc = io->private_data;
    clock_gettime(CLOCK_MONOTONIC, &tc->start);
    tc->played = 0;
    tc->running = 1;
    return set_timer(tc, 1); /* ticks in phase with the periods played */
}

static int tc_stop(snd_pcm_ioplug_t* io)
{
    testcard_t* tc = io->private_data;
    tc->running = 0;
    return set_timer(tc, 0);
}

static int tc_prepare(snd_pcm_ioplug_t* io)
{
    testcard_t* tc = io->private_data;
    tc->running = 0;
    tc->xrun = 0;
    tc->played = 0;
    if (tc->avail_min == 0)
        tc->avail_min = io->period_size;
    /* Ticking already, so that a writer polling before the start learns there is room. */
    return set_timer(tc, 1);
}

static snd_pcm_sframes_t tc_pointer(snd_pcm_ioplug_t* io)
{
    testcard_t* tc = io->private_data;
    if (tc->xrun)
        return -EPIPE;
    if (!tc->running)
        return io->hw_ptr % io->buffer_size;
    uint64_t advance = elapsed_frames(tc) - tc->played;
    if (advance > queued(io))
    {
        tc->xrun = 1; /* played past what was written; stays so until prepare */
        return -EPIPE;
    }
    /* ioplug sees the position modulo the buffer: a whole buffer at once would look like
     * no move at all. The frame held back is counted at the next call. */
    if (advance >= io->buffer_size)
        advance = io->buffer_size - 1;
    tc->played += advance;
    return (io->hw_ptr + advance) % io->buffer_size;
}

static snd_pcm_sframes_t tc_transfer(snd_pcm_ioplug_t* io, const snd_pcm_channel_area_t* areas,
                                     snd_pcm_uframes_t offset, snd_pcm_uframes_t size)
{
    (void)io, (void)areas, (void)offset;
    return size;
}

static int tc_sw_params(snd_pcm_ioplug_t* io, snd_pcm_sw_params_t* params)
{
    testcard_t* tc = io->private_data;
    return snd_pcm_sw_params_get_avail_min(params, &tc->avail_min);
}

static int tc_poll_revents(snd_pcm_ioplug_t* io, struct pollfd* pfd, unsigned int nfds, unsigned short* revents)
{
    testcard_t* tc = io->private_data;
    uint64_t ticks;
    if (nfds != 1 || pfd->fd != tc->timer_fd)
        return -EINVAL;
    if (read(tc->timer_fd, &ticks, sizeof ticks) < 0 && errno != EAGAIN)
        return -errno;
    snd_pcm_uframes_t waiting = queued(io);
    uint64_t advance = tc->running ? elapsed_frames(tc) - tc->played : 0;
    /* An underrun wakes the writer too: its next call learns of it. */
    int writable = tc->xrun || advance > waiting || io->buffer_size - (waiting - advance) >= tc->avail_min;
    *revents = writable ? POLLOUT : 0;
    return 0;
}

static int tc_close(snd_pcm_ioplug_t* io)
{
    testcard_t* tc = io->private_data;
    close(tc->timer_fd);
    free(tc);
    return 0;
}

static const snd_pcm_ioplug_callback_t testcard_callback = {
    .start = tc_start,
    .stop = tc_stop,
    .pointer = tc_pointer,
    .transfer = tc_transfer,
    .close = tc_close,
    .sw_params = tc_sw_params,
    .prepare = tc_prepare,
    .poll_revents = tc_poll_revents,
};

static int parse_positive(snd_config_t* n, const char* key, unsigned int* value)
{
    long v;
    if (snd_config_get_integer(n, &v) < 0 || v <= 0 || v > 10000000)
    {
        SNDERR("testcard: %s takes positive integers", key);
        return -EINVAL;
    }
    *value = (unsigned int)v;
    return 0;
}

static int parse_format(snd_config_t* n, const char* key, unsigned int* value)
{
    const char* s;
    if (snd_config_get_string(n, &s) < 0)
    {
        SNDERR("testcard: %s takes format names such as S16_LE", key);
        return -EINVAL;
    }
    snd_pcm_format_t f = snd_pcm_format_value(s);
    if (f == SND_PCM_FORMAT_UNKNOWN)
    {
        SNDERR("testcard: unknown format %s in %s", s, key);
        return -EINVAL;
    }
    *value = (unsigned int)f;
    return 0;
}

/* One value, or an array of them ([ a b c ]). */
static int read_values(snd_config_t* n, const char* key, int (*parse)(snd_config_t*, const char*, unsigned int*),
                       unsigned int* list, unsigned int* count)
{
    snd_config_iterator_t i, next;
    *count = 0;
    if (snd_config_get_type(n) != SND_CONFIG_TYPE_COMPOUND)
    {
        *count = 1;
        return parse(n, key, list);
    }
    snd_config_for_each(i, next, n)
    {
        if (*count == MAX_VALUES)
        {
            SNDERR("testcard: more than %d values in %s", MAX_VALUES, key);
            return -EINVAL;
        }
        int err = parse(snd_config_iterator_entry(i), key, &list[(*count)++]);
        if (err < 0)
            return err;
    }
    if (*count == 0)
    {
        SNDERR("testcard: %s is empty", key);
        return -EINVAL;
    }
    return 0;
}

SND_PCM_PLUGIN_DEFINE_FUNC(testcard)
{
    snd_config_iterator_t i, next;
    unsigned int rates[MAX_VALUES], formats[MAX_VALUES], channels[MAX_VALUES];
    unsigned int nrates = 0, nformats = 0, nchannels = 0;
    int err = 0;
    (void)root;

    snd_config_for_each(i, next, conf)
    {
        snd_config_t* n = snd_config_iterator_entry(i);
        const char* id;
        if (snd_config_get_id(n, &id) < 0)
            continue;
        if (!strcmp(id, "comment") || !strcmp(id, "type") || !strcmp(id, "hint"))
            continue;
        if (!strcmp(id, "rates"))
            err = read_values(n, id, parse_positive, rates, &nrates);
        else if (!strcmp(id, "formats"))
            err = read_values(n, id, parse_format, formats, &nformats);
        else if (!strcmp(id, "channels"))
            err = read_values(n, id, parse_positive, channels, &nchannels);
        else
        {
            SNDERR("testcard: unknown parameter %s (it takes rates, formats and channels)", id);
            err = -EINVAL;
        }
        if (err < 0)
            return err;
    }
    /* No capture side, as on a card without inputs: Wine looks for one at every start, so
     * its absence is no error worth a message. */
    if (stream != SND_PCM_STREAM_PLAYBACK)
        return -ENODEV;
    if (nformats == 0)
    {
        formats[nformats++] = SND_PCM_FORMAT_S16_LE;
        formats[nformats++] = SND_PCM_FORMAT_S24_3LE;
        formats[nformats++] = SND_PCM_FORMAT_S32_LE;
    }
    if (nchannels == 0)
        channels[nchannels++] = 2;

    testcard_t* tc = calloc(1, sizeof *tc);
    if (!tc)
        return -ENOMEM;
    tc->timer_fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    tc->io.version = SND_PCM_IOPLUG_VERSION;
    tc->io.name = "Corvane test card";
    tc->io.poll_fd = tc->timer_fd;
    tc->io.poll_events = POLLIN;
    tc->io.callback = &testcard_callback;
    tc->io.private_data = tc;
    err = tc->timer_fd < 0 ? -errno : snd_pcm_ioplug_create(&tc->io, name, stream, mode);
    if (err < 0)
    {
        if (tc->timer_fd >= 0)
            close(tc->timer_fd);
        free(tc);
        return err;
    }

    static const unsigned int access[] = {SND_PCM_ACCESS_RW_INTERLEAVED, SND_PCM_ACCESS_MMAP_INTERLEAVED};
    /* Room for Wine's choices: periods of about 10 ms, buffers of up to a few hundred ms,
     * up to 384 kHz. */
    if ((err = snd_pcm_ioplug_set_param_list(&tc->io, SND_PCM_IOPLUG_HW_ACCESS, 2, access)) < 0 ||
        (err = snd_pcm_ioplug_set_param_list(&tc->io, SND_PCM_IOPLUG_HW_FORMAT, nformats, formats)) < 0 ||
        (err = snd_pcm_ioplug_set_param_list(&tc->io, SND_PCM_IOPLUG_HW_CHANNELS, nchannels, channels)) < 0 ||
        (err = nrates ? snd_pcm_ioplug_set_param_list(&tc->io, SND_PCM_IOPLUG_HW_RATE, nrates, rates)
                      : snd_pcm_ioplug_set_param_minmax(&tc->io, SND_PCM_IOPLUG_HW_RATE, 8000, 384000)) < 0 ||
        (err = snd_pcm_ioplug_set_param_minmax(&tc->io, SND_PCM_IOPLUG_HW_PERIOD_BYTES, 64, 4 << 20)) < 0 ||
        (err = snd_pcm_ioplug_set_param_minmax(&tc->io, SND_PCM_IOPLUG_HW_BUFFER_BYTES, 128, 16 << 20)) < 0 ||
        (err = snd_pcm_ioplug_set_param_minmax(&tc->io, SND_PCM_IOPLUG_HW_PERIODS, 2, 1024)) < 0)
    {
        snd_pcm_ioplug_delete(&tc->io); /* closes, which frees tc */
        return err;
    }
    *pcmp = tc->io.pcm;
    return 0;
}

SND_PCM_PLUGIN_SYMBOL(testcard);
