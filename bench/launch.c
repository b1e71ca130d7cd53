/* Runs one program and reports how long it took, from a process small enough
 * that its own size does not count in the program's peak resident size (a
 * child's peak starts from its parent's size at fork):
 *   launch REPORT [--until TEXT] PROGRAM [ARG...]
 * REPORT receives "WALL CPU PEAK_KIB" (seconds, seconds, KiB). WALL ends when
 * the program ends or, with --until, when TEXT first appears on its standard
 * output, which is passed on. CPU is user + system time, the program's waited-
 * for children included. The exit status is the program's. */
#define _GNU_SOURCE
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double Now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

static double Seconds(struct timeval t) { return t.tv_sec + t.tv_usec / 1e6; }

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: launch REPORT [--until TEXT] PROGRAM [ARG...]\n");
    return 2;
  }
  const char* report = argv[1];
  const char* until = NULL;
  int first = 2;
  if (strcmp(argv[2], "--until") == 0 && argc > 4) {
    until = argv[3];
    first = 4;
  }
  int out[2] = {-1, -1};
  if (until && pipe(out) != 0) return 2;

  double start = Now();
  pid_t pid = fork();
  if (pid < 0) return 2;
  if (pid == 0) {
    if (until) {
      dup2(out[1], STDOUT_FILENO);
      close(out[0]);
      close(out[1]);
    }
    execvp(argv[first], argv + first);
    fprintf(stderr, "launch: cannot run %s: %s\n", argv[first], strerror(errno));
    _exit(127);
  }

  double end = 0;
  if (until) {
    close(out[1]);
    size_t want = strlen(until);
    char seen[65536 + 4096];
    size_t held = 0;
    for (;;) {
      ssize_t n = read(out[0], seen + held, 4096);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      fwrite(seen + held, 1, (size_t)n, stdout);
      held += (size_t)n;
      if (end == 0 && memmem(seen, held, until, want)) end = Now();
      if (held > 65536) { /* keep the tail, where the text may be starting */
        memmove(seen, seen + held - want, want);
        held = want;
      }
    }
    fflush(stdout);
  }

  int status = 0;
  struct rusage usage;
  while (wait4(pid, &status, 0, &usage) < 0) {
    if (errno != EINTR) return 2;
  }
  if (!until) end = Now();
  FILE* f = fopen(report, "w");
  if (!f) return 2;
  if (until && end == 0) {
    fprintf(f, "never\n");
  } else {
    fprintf(f, "%.6f %.6f %ld\n", end - start, Seconds(usage.ru_utime) + Seconds(usage.ru_stime),
            usage.ru_maxrss);
  }
  fclose(f);
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + WTERMSIG(status);
}
