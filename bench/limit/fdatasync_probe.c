/* The bare fdatasync: what one durable append costs on this file system,
 * the floor under any commit that waits for the disk. Appends 4 KiB to a
 * scratch file and fdatasyncs it, N times, and times each fdatasync.
 *
 *   limit_fdatasync [--dir DIR] [--count N]   (defaults: ".", 1000)
 *
 * The scratch file (DIR/.limit_fdatasync.XXXXXX) is removed at the end.
 * The first 10 appends warm the file up and are not counted. Prints
 *   fdatasync of a 4 KiB append: p50 0.170 ms p99 0.660 ms max 1.234 ms (1000 syncs)
 */
#define _GNU_SOURCE
#include <errno.h>
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#define APPEND 4096
#define WARM_UP 10

static uint64_t now_ns(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (uint64_t)ts.tv_sec * 1000000000ull + (uint64_t)ts.tv_nsec;
}

static int cmp_u64(const void* a, const void* b) {
  uint64_t x = *(const uint64_t*)a, y = *(const uint64_t*)b;
  return x < y ? -1 : x > y;
}

static double pct_ms(const uint64_t* sorted, int n, double p) {
  int rank = (int)ceil(p / 100.0 * n);
  if (rank < 1) rank = 1;
  return (double)sorted[rank - 1] / 1e6;
}

int main(int argc, char** argv) {
  const char* dir = ".";
  int count = 1000;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--dir") == 0 && i + 1 < argc) {
      dir = argv[++i];
    } else if (strcmp(argv[i], "--count") == 0 && i + 1 < argc) {
      count = atoi(argv[++i]);
    } else {
      fprintf(stderr, "usage: %s [--dir DIR] [--count N]\n", argv[0]);
      return 2;
    }
  }
  if (count < 1) {
    fprintf(stderr, "--count must be at least 1\n");
    return 2;
  }

  char path[4096];
  if (snprintf(path, sizeof path, "%s/.limit_fdatasync.XXXXXX", dir) >= (int)sizeof path) {
    fprintf(stderr, "directory name too long\n");
    return 2;
  }
  int fd = mkstemp(path);
  if (fd < 0) {
    perror(path);
    return 1;
  }
  uint64_t* took = calloc((size_t)count, sizeof *took);
  if (!took) {
    fprintf(stderr, "out of memory\n");
    unlink(path);
    return 1;
  }
  char block[APPEND];
  memset(block, 'q', sizeof block);

  int status = 0;
  for (int i = 0; i < WARM_UP + count; ++i) {
    /* Each append extends the file: its new size is part of what the sync
     * makes durable, as it is for a store's log. */
    ssize_t w = write(fd, block, sizeof block);
    if (w != (ssize_t)sizeof block) {
      perror("write");
      status = 1;
      break;
    }
    uint64_t t0 = now_ns();
    if (fdatasync(fd) != 0) {
      perror("fdatasync");
      status = 1;
      break;
    }
    uint64_t t1 = now_ns();
    if (i >= WARM_UP) took[i - WARM_UP] = t1 - t0;
  }
  close(fd);
  unlink(path);
  if (status != 0) return status;

  qsort(took, (size_t)count, sizeof *took, cmp_u64);
  printf("fdatasync of a 4 KiB append: p50 %.3f ms p99 %.3f ms max %.3f ms (%d syncs)\n",
         pct_ms(took, count, 50), pct_ms(took, count, 99), pct_ms(took, count, 100), count);
  return 0;
}
