// orvane_bench_measure [--runs N] [--timeout S] [--in FILE] [--out FILE] -- COMMAND [ARG...]
//
// Runs COMMAND N times (default 5), one after the other, and prints one line:
//   MEDIAN_WALL_SECONDS MEDIAN_PEAK_RSS_KB MAX_PEAK_RSS_KB
// Wall time is taken around fork and wait; the peak resident set size is the one wait4()
// reports for the child (its largest, including any helper it waited for). Standard input
// comes from --in (default /dev/null), standard output goes to --out (default /dev/null),
// standard error is passed through. A run that fails or outlives --timeout fails the lot.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

volatile pid_t running = 0;

void killRunning(int)
{
    if (running > 0)
        kill(running, SIGKILL);
}

double now()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

template<typename T>
T median(std::vector<T> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

int usage()
{
    std::fprintf(stderr, "usage: orvane_bench_measure [--runs N] [--timeout S] [--in FILE] "
                         "[--out FILE] -- COMMAND [ARG...]\n");
    return 2;
}

struct Run
{
    double seconds;
    long peakKb;
};

bool runOnce(char **command, const char *in, const char *out, unsigned timeout, Run &run)
{
    const double start = now();
    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("fork");
        return false;
    }
    if (pid == 0) {
        const int inFd = open(in, O_RDONLY);
        const int outFd = open(out, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (inFd < 0 || outFd < 0 || dup2(inFd, 0) < 0 || dup2(outFd, 1) < 0)
            _exit(126);
        execvp(command[0], command);
        std::fprintf(stderr, "orvane_bench_measure: %s: %s\n", command[0], std::strerror(errno));
        _exit(127);
    }
    running = pid;
    alarm(timeout);
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR) {
            std::perror("wait4");
            return false;
        }
    }
    alarm(0);
    running = 0;
    run = {now() - start, usage.ru_maxrss};
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return true;
    if (WIFSIGNALED(status))
        std::fprintf(stderr, "orvane_bench_measure: %s ended by signal %d%s\n", command[0],
                     WTERMSIG(status), WTERMSIG(status) == SIGKILL ? " (time-out?)" : "");
    else
        std::fprintf(stderr, "orvane_bench_measure: %s exited with %d\n", command[0],
                     WEXITSTATUS(status));
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    int runs = 5;
    unsigned timeout = 300;
    const char *in = "/dev/null";
    const char *out = "/dev/null";
    int i = 1;
    for (; i < argc && std::strcmp(argv[i], "--") != 0; i += 2) {
        if (i + 1 >= argc)
            return usage();
        const std::string option = argv[i];
        if (option == "--runs")
            runs = std::atoi(argv[i + 1]);
        else if (option == "--timeout")
            timeout = unsigned(std::atoi(argv[i + 1]));
        else if (option == "--in")
            in = argv[i + 1];
        else if (option == "--out")
            out = argv[i + 1];
        else
            return usage();
    }
    if (i + 1 >= argc || runs < 1)
        return usage();
    char **command = argv + i + 1;

    struct sigaction onAlarm
    {};
    onAlarm.sa_handler = killRunning;
    sigaction(SIGALRM, &onAlarm, nullptr);

    std::vector<double> seconds;
    std::vector<long> peaks;
    for (int r = 0; r < runs; ++r) {
        Run run{};
        if (!runOnce(command, in, out, timeout, run))
            return 1;
        seconds.push_back(run.seconds);
        peaks.push_back(run.peakKb);
    }
    std::printf("%.4f %ld %ld\n", median(seconds), median(peaks),
                *std::max_element(peaks.begin(), peaks.end()));
    return 0;
}
