/* The client of the bare UDP echo: the load quell-sim dc09 puts on the
 * gateway, without the gateway. Requests of 69 bytes, each carrying its
 * sequence number in its first 8 bytes; the echo's 24-byte replies carry
 * it back.
 *
 *   limit_udp_client HOST:PORT [--count N] [--window W | --rate R]
 *                    [--timeout MS]
 *
 * --window W (default 64): keeps up to W requests waiting for replies,
 *   the next sent as soon as one is answered or timed out.
 * --rate R: sends R requests a second whatever the replies.
 * --timeout MS (default 2000): how long a reply may take.
 *
 * Prints
 *   sent N: replies N, lost 0, bad 0
 *   123456 datagrams/s
 *   latency p50 0.123 ms p99 0.456 ms p99.9 0.789 ms max 1.234 ms
 * (datagrams/s: replies from the first send to the last reply). Exit
 * status 0 when every request was answered, 1 otherwise, 2 for bad
 * options. */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <errno.h>
#include <math.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#define BATCH 64
#define REQUEST 69
#define REPLY 24

static uint64_t now_ns(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (uint64_t)ts.tv_sec * 1000000000ull + (uint64_t)ts.tv_nsec;
}

static int cmp_u64(const void* a, const void* b) {
  uint64_t x = *(const uint64_t*)a, y = *(const uint64_t*)b;
  return x < y ? -1 : x > y;
}

/* Nearest-rank percentile of sorted values, in ms. */
static double pct_ms(const uint64_t* sorted, uint64_t n, double p) {
  if (n == 0) return 0;
  uint64_t rank = (uint64_t)ceil(p / 100.0 * (double)n);
  if (rank < 1) rank = 1;
  return (double)sorted[rank - 1] / 1e6;
}

struct run {
  int fd;
  uint64_t count, next, outstanding, oldest;
  uint64_t replies, lost, bad;
  uint64_t timeout_ns, last_expiry, first_send, last_reply;
  uint64_t* sent_at; /* 0: answered or timed out */
  uint64_t* latency;
  char request[BATCH][REQUEST];
  struct iovec out_iov[BATCH];
  struct mmsghdr out[BATCH];
  char reply[BATCH][REPLY + 1];
  struct iovec in_iov[BATCH];
  struct mmsghdr in[BATCH];
};

/* Sends up to `want` requests (at most BATCH) in one sendmmsg; returns how
 * many went, 0 when a non-blocking socket is full. */
static uint64_t send_batch(struct run* r, uint64_t want) {
  if (want > BATCH) want = BATCH;
  if (want > r->count - r->next) want = r->count - r->next;
  if (want == 0) return 0;
  for (uint64_t i = 0; i < want; ++i) {
    uint64_t seq = r->next + i;
    memcpy(r->request[i], &seq, sizeof seq);
    memset(&r->out[i].msg_hdr, 0, sizeof r->out[i].msg_hdr);
    r->out_iov[i].iov_base = r->request[i];
    r->out_iov[i].iov_len = REQUEST;
    r->out[i].msg_hdr.msg_iov = &r->out_iov[i];
    r->out[i].msg_hdr.msg_iovlen = 1;
  }
  uint64_t t = now_ns();
  int m = sendmmsg(r->fd, r->out, (unsigned)want, 0);
  if (m <= 0) {
    if (m < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
      perror("sendmmsg");
      exit(1);
    }
    return 0;
  }
  if (r->first_send == 0) r->first_send = t;
  for (int i = 0; i < m; ++i) r->sent_at[r->next + (uint64_t)i] = t;
  r->next += (uint64_t)m;
  r->outstanding += (uint64_t)m;
  return (uint64_t)m;
}

/* Takes the replies recvmmsg returned. */
static void settle(struct run* r, int n) {
  uint64_t t = now_ns();
  for (int i = 0; i < n; ++i) {
    uint64_t seq;
    if (r->in[i].msg_len != REPLY) {
      ++r->bad;
      continue;
    }
    memcpy(&seq, r->reply[i], sizeof seq);
    if (seq >= r->next || r->sent_at[seq] == 0) {
      ++r->bad; /* unknown, twice, or after its timeout */
      continue;
    }
    r->latency[r->replies++] = t - r->sent_at[seq];
    r->sent_at[seq] = 0;
    --r->outstanding;
    r->last_reply = t;
  }
  while (r->oldest < r->next && r->sent_at[r->oldest] == 0) ++r->oldest;
}

/* Counts as lost what waited longer than the timeout (checked every 10 ms). */
static void expire(struct run* r) {
  uint64_t t = now_ns();
  if (t - r->last_expiry < 10000000ull) return;
  r->last_expiry = t;
  for (uint64_t s = r->oldest; s < r->next; ++s) {
    if (r->sent_at[s] != 0 && t - r->sent_at[s] > r->timeout_ns) {
      r->sent_at[s] = 0;
      --r->outstanding;
      ++r->lost;
    }
  }
  while (r->oldest < r->next && r->sent_at[r->oldest] == 0) ++r->oldest;
}

static int receive(struct run* r, int flags) {
  for (int i = 0; i < BATCH; ++i) {
    memset(&r->in[i].msg_hdr, 0, sizeof r->in[i].msg_hdr);
    r->in_iov[i].iov_base = r->reply[i];
    r->in_iov[i].iov_len = sizeof r->reply[i];
    r->in[i].msg_hdr.msg_iov = &r->in_iov[i];
    r->in[i].msg_hdr.msg_iovlen = 1;
  }
  int n = recvmmsg(r->fd, r->in, BATCH, flags, NULL);
  if (n < 0) {
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return 0;
    if (errno == ECONNREFUSED) return 0; /* no echo yet: the requests time out */
    perror("recvmmsg");
    exit(1);
  }
  settle(r, n);
  return n;
}

static void windowed(struct run* r, uint64_t window) {
  /* Blocking with a short receive timeout, so that losses are noticed. */
  struct timeval tick = {0, 10000};
  setsockopt(r->fd, SOL_SOCKET, SO_RCVTIMEO, &tick, sizeof tick);
  while (r->next < r->count || r->outstanding > 0) {
    while (r->next < r->count && r->outstanding < window)
      if (send_batch(r, window - r->outstanding) == 0) break;
    receive(r, MSG_WAITFORONE);
    expire(r);
  }
}

static void paced(struct run* r, double rate) {
  int flags = MSG_DONTWAIT;
  uint64_t start = now_ns();
  while (r->next < r->count || r->outstanding > 0) {
    uint64_t t = now_ns();
    double due_f = floor((double)(t - start) / 1e9 * rate) + 1;
    uint64_t due = due_f > (double)r->count ? r->count : (uint64_t)due_f;
    while (r->next < due)
      if (send_batch(r, due - r->next) == 0) break;
    while (receive(r, flags) > 0) {
    }
    expire(r);
    if (r->next >= r->count && r->outstanding == 0) break;
    /* Sleeps until the next send is due or a reply comes. */
    uint64_t wait = 10000000ull;
    if (r->next < r->count) {
      uint64_t at = start + (uint64_t)((double)r->next / rate * 1e9);
      t = now_ns();
      wait = at > t ? at - t : 0;
      if (wait > 10000000ull) wait = 10000000ull;
    }
    struct pollfd p = {r->fd, POLLIN, 0};
    struct timespec ts = {(time_t)(wait / 1000000000ull), (long)(wait % 1000000000ull)};
    ppoll(&p, 1, &ts, NULL);
  }
}

static void usage(const char* self) {
  fprintf(stderr, "usage: %s HOST:PORT [--count N] [--window W | --rate R] [--timeout MS]\n", self);
  exit(2);
}

int main(int argc, char** argv) {
  if (argc < 2) usage(argv[0]);
  uint64_t count = 100000, window = 64;
  double rate = 0, timeout_ms = 2000;
  int have_window = 0;
  for (int i = 2; i < argc; ++i) {
    if (i + 1 >= argc) usage(argv[0]);
    if (strcmp(argv[i], "--count") == 0) {
      count = strtoull(argv[++i], NULL, 10);
    } else if (strcmp(argv[i], "--window") == 0) {
      window = strtoull(argv[++i], NULL, 10);
      have_window = 1;
    } else if (strcmp(argv[i], "--rate") == 0) {
      rate = atof(argv[++i]);
    } else if (strcmp(argv[i], "--timeout") == 0) {
      timeout_ms = atof(argv[++i]);
    } else {
      usage(argv[0]);
    }
  }
  if (count == 0 || window == 0 || rate < 0 || timeout_ms <= 0 || (have_window && rate > 0))
    usage(argv[0]);

  char host[256];
  const char* colon = strrchr(argv[1], ':');
  if (!colon || (size_t)(colon - argv[1]) >= sizeof host) usage(argv[0]);
  memcpy(host, argv[1], (size_t)(colon - argv[1]));
  host[colon - argv[1]] = 0;
  struct sockaddr_in addr;
  memset(&addr, 0, sizeof addr);
  addr.sin_family = AF_INET;
  addr.sin_port = htons((uint16_t)atoi(colon + 1));
  if (inet_pton(AF_INET, host, &addr.sin_addr) != 1) usage(argv[0]);

  static struct run r;
  r.fd = socket(AF_INET, SOCK_DGRAM, 0);
  if (r.fd < 0 || connect(r.fd, (struct sockaddr*)&addr, sizeof addr) != 0) {
    perror("socket");
    return 1;
  }
  int buf = 1 << 20;
  setsockopt(r.fd, SOL_SOCKET, SO_RCVBUF, &buf, sizeof buf);
  setsockopt(r.fd, SOL_SOCKET, SO_SNDBUF, &buf, sizeof buf);
  r.count = count;
  r.timeout_ns = (uint64_t)(timeout_ms * 1e6);
  r.sent_at = calloc(count, sizeof *r.sent_at);
  r.latency = calloc(count, sizeof *r.latency);
  if (!r.sent_at || !r.latency) {
    fprintf(stderr, "out of memory for %llu requests\n", (unsigned long long)count);
    return 1;
  }
  for (int i = 0; i < BATCH; ++i) memset(r.request[i], 'x', REQUEST);
  r.last_expiry = now_ns();

  if (rate > 0)
    paced(&r, rate);
  else
    windowed(&r, window);

  double seconds = r.last_reply > r.first_send ? (double)(r.last_reply - r.first_send) / 1e9 : 0;
  qsort(r.latency, r.replies, sizeof *r.latency, cmp_u64);
  printf("sent %llu: replies %llu, lost %llu, bad %llu\n", (unsigned long long)r.next,
         (unsigned long long)r.replies, (unsigned long long)r.lost, (unsigned long long)r.bad);
  printf("%.0f datagrams/s\n", seconds > 0 ? (double)r.replies / seconds : 0);
  printf("latency p50 %.3f ms p99 %.3f ms p99.9 %.3f ms max %.3f ms\n",
         pct_ms(r.latency, r.replies, 50), pct_ms(r.latency, r.replies, 99),
         pct_ms(r.latency, r.replies, 99.9), pct_ms(r.latency, r.replies, 100));
  return r.replies == count ? 0 : 1;
}
