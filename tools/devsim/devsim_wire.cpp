// The wire between the master's USB adapter and the devices. A
// pseudo-terminal hands over every write at once; a real line carries one
// character after the other, and an adapter hands what it received to the
// computer only when its latency timer ticks. With --wire each byte takes
// its character time in both directions, and with --latency the bytes for
// the master wait for the adapter's next tick.
#include "devsim_run.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>

#include <unistd.h>

namespace {

struct OnItsWay {
    DevClock::time_point at; // when the master can read it
    uint8_t byte;
    bool echo; // the master's own byte, not a device's
};

std::deque<OnItsWay> gvToMaster; // ordered by time
DevClock::time_point gvHeardEnd; // the master's last byte has been heard by then
DevClock::time_point gvSentEnd;  // the devices' last byte has left the line by then
// When the master really got a device's last byte: later than gvSentEnd
// when the simulator was late, and the master's silence counts from there.
DevClock::time_point gvHandedEnd;

// An adapter hands the bytes it has to the computer on each tick of its
// latency timer; the ticks count from the clock's epoch, so they repeat.
DevClock::time_point fn_handed_over(DevClock::time_point in)
{
    if (!gvOpt.latencyMs)
        return in;
    DevClock::duration tick = std::chrono::milliseconds(gvOpt.latencyMs);
    DevClock::duration since = in.time_since_epoch();
    return DevClock::time_point((since + tick - DevClock::duration(1)) / tick * tick);
}

void fn_on_its_way(DevClock::time_point in, uint8_t byte, bool echo)
{
    OnItsWay b{fn_handed_over(in), byte, echo};
    auto later = std::upper_bound(gvToMaster.begin(), gvToMaster.end(), b.at,
                                  [](DevClock::time_point at, const OnItsWay &o) {
                                      return at < o.at;
                                  });
    gvToMaster.insert(later, b);
}

double fn_ms(DevClock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

} // namespace

DevClock::duration mf_Wire__char(const DevLine &line)
{
    if (!gvOpt.wire)
        return DevClock::duration::zero();
    return std::chrono::duration_cast<DevClock::duration>(
        std::chrono::nanoseconds(mf_Dev_Char__ns(line)));
}

DevClock::time_point mf_Wire__hear(const uint8_t *bytes, int n, DevClock::time_point now,
                                   DevClock::duration charTime)
{
    DevClock::time_point t = std::max(now, gvHeardEnd);
    for (int i = 0; i < n; i++) {
        t += charTime;
        if (gvOpt.echo) // the adapter hears itself as it sends
            fn_on_its_way(t, bytes[i], true);
    }
    gvHeardEnd = t;
    return t;
}

void mf_Wire__check_silence(DevClock::time_point now, const DevLine &master)
{
    DevClock::time_point last = std::max({gvHeardEnd, gvSentEnd, gvHandedEnd});
    if (last == DevClock::time_point())
        return; // nothing on the line yet
    DevClock::duration owed = std::chrono::nanoseconds(mf_Dev_Gap__ns(master));
    DevClock::duration gap = std::max(now, gvHeardEnd) - last;
    if (gap >= owed)
        return;
    std::string line = mf_Dev_Line__text(master);
    if (!master.baud)
        line = "an unknown baud rate";
    if (gap < DevClock::duration::zero())
        mf_Sim_Note(nullptr, "silence too short: a request began while a reply was on the line "
                    "(%.1f ms before its end); 3.5 characters at %s are %.1f ms",
                    fn_ms(-gap), line.c_str(), fn_ms(owed));
    else
        mf_Sim_Note(nullptr, "silence too short: a request began %.1f ms after the last byte on "
                    "the line; 3.5 characters at %s are %.1f ms",
                    fn_ms(gap), line.c_str(), fn_ms(owed));
}

DevClock::time_point mf_Wire__send(const std::vector<uint8_t> &bytes, DevClock::time_point from,
                                   DevClock::duration charTime)
{
    DevClock::time_point t = std::max(from, gvSentEnd);
    for (uint8_t b : bytes) {
        t += charTime;
        fn_on_its_way(t, b, false);
    }
    gvSentEnd = t;
    return t;
}

void mf_Wire__deliver(DevClock::time_point now)
{
    std::vector<uint8_t> bytes;
    while (!gvToMaster.empty() && gvToMaster.front().at <= now) {
        bytes.push_back(gvToMaster.front().byte);
        if (!gvToMaster.front().echo)
            gvHandedEnd = now;
        gvToMaster.pop_front();
    }
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(giMaster, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            mf_Sim_Note(nullptr, "write to the pseudo-terminal failed: %s", std::strerror(errno));
            return;
        }
        done += size_t(n);
    }
}

DevClock::time_point mf_Wire__next()
{
    return gvToMaster.empty() ? DevClock::time_point::max() : gvToMaster.front().at;
}
