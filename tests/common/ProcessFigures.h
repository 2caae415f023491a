// Figures of this process (Linux /proc): resident memory, open entries, its
// threads and how often they were switched out.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include <dirent.h>
#include <unistd.h>

// Resident set size in KiB.
inline long ResidentKb()
{
    long pages = 0, resident = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Entries of a directory, without "." and "..".
inline int CountEntries(const char *dir)
{
    int n = 0;
    if (DIR *d = opendir(dir)) {
        while (dirent *e = readdir(d))
            n += e->d_name[0] != '.';
        closedir(d);
    }
    return n;
}

// The threads of this process.
inline std::set<pid_t> ThreadIds()
{
    std::set<pid_t> ids;
    if (DIR *d = opendir("/proc/self/task")) {
        while (dirent *e = readdir(d))
            if (e->d_name[0] != '.')
                ids.insert(static_cast<pid_t>(std::atoll(e->d_name)));
        closedir(d);
    }
    return ids;
}

// One field of a thread's status file as "Key: value"; false when absent.
inline bool ThreadStatus(pid_t tid, const char *format, void *value)
{
    bool found = false;
    const std::string path = "/proc/self/task/" + std::to_string(tid) + "/status";
    if (FILE *f = std::fopen(path.c_str(), "r")) {
        char line[256];
        while (!found && std::fgets(line, sizeof line, f))
            found = std::sscanf(line, format, value) == 1;
        std::fclose(f);
    }
    return found;
}

// How often these threads were switched out so far: each time one blocks
// after a wake-up, or is preempted.
inline long ThreadSwitches(const std::set<pid_t> &tids)
{
    long sum = 0;
    for (pid_t t : tids) {
        long v = 0;
        if (ThreadStatus(t, "voluntary_ctxt_switches: %ld", &v))
            sum += v;
        if (ThreadStatus(t, "nonvoluntary_ctxt_switches: %ld", &v))
            sum += v;
    }
    return sum;
}

// True when every one of these threads sleeps.
inline bool ThreadsAsleep(const std::set<pid_t> &tids)
{
    for (pid_t t : tids) {
        char state = 0;
        if (!ThreadStatus(t, "State: %c", &state) || state != 'S')
            return false;
    }
    return true;
}
