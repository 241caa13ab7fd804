/* The bare UDP echo: what this machine's loopback answers without a
 * gateway. Each request of 69 bytes gets a reply of 24 bytes (its first 24
 * bytes, which carry the client's sequence number), in batches of up to 64
 * with recvmmsg and sendmmsg, on one thread.
 *
 *   limit_udp_echo [--port N]     (default 0: a free port)
 *
 * Prints "listening on 127.0.0.1:PORT" once bound, then answers until it
 * is ended (SIGTERM or SIGINT). Datagrams of any other size are dropped and
 * counted; the counts are printed on the way out. */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#define BATCH 64
#define REQUEST 69
#define REPLY 24

static volatile sig_atomic_t stopping;

static void on_signal(int sig) {
  (void)sig;
  stopping = 1;
}

int main(int argc, char** argv) {
  int port = 0;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--port") == 0 && i + 1 < argc) {
      port = atoi(argv[++i]);
    } else {
      fprintf(stderr, "usage: %s [--port N]\n", argv[0]);
      return 2;
    }
  }

  /* No SA_RESTART: a signal ends the blocking recvmmsg with EINTR. */
  struct sigaction sa;
  memset(&sa, 0, sizeof sa);
  sa.sa_handler = on_signal;
  sigaction(SIGTERM, &sa, NULL);
  sigaction(SIGINT, &sa, NULL);

  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) {
    perror("socket");
    return 1;
  }
  /* The same receive buffer for every run, whatever the system default. */
  int buf = 1 << 20;
  setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buf, sizeof buf);
  setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &buf, sizeof buf);
  /* A signal that comes just before recvmmsg is seen within half a second. */
  struct timeval tick = {0, 500000};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tick, sizeof tick);
  struct sockaddr_in addr;
  memset(&addr, 0, sizeof addr);
  addr.sin_family = AF_INET;
  addr.sin_port = htons((uint16_t)port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(fd, (struct sockaddr*)&addr, sizeof addr) != 0) {
    perror("bind");
    return 1;
  }
  socklen_t len = sizeof addr;
  getsockname(fd, (struct sockaddr*)&addr, &len);
  printf("listening on 127.0.0.1:%d\n", ntohs(addr.sin_port));
  fflush(stdout);

  /* One buffer per slot, a byte larger than a request so that a longer
   * datagram shows as longer (MSG_TRUNC) and is dropped. */
  static char data[BATCH][REQUEST + 1];
  static struct sockaddr_in from[BATCH];
  static struct iovec in_iov[BATCH], out_iov[BATCH];
  static struct mmsghdr in[BATCH], out[BATCH];
  for (int i = 0; i < BATCH; ++i) {
    in_iov[i].iov_base = data[i];
    in_iov[i].iov_len = sizeof data[i];
  }

  unsigned long long answered = 0, dropped = 0, unsent = 0;
  while (!stopping) {
    for (int i = 0; i < BATCH; ++i) {
      memset(&in[i].msg_hdr, 0, sizeof in[i].msg_hdr);
      in[i].msg_hdr.msg_name = &from[i];
      in[i].msg_hdr.msg_namelen = sizeof from[i];
      in[i].msg_hdr.msg_iov = &in_iov[i];
      in[i].msg_hdr.msg_iovlen = 1;
    }
    /* Waits for the first datagram, then takes whatever else is queued. */
    int n = recvmmsg(fd, in, BATCH, MSG_WAITFORONE, NULL);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      perror("recvmmsg");
      return 1;
    }
    int k = 0;
    for (int i = 0; i < n; ++i) {
      if (in[i].msg_len != REQUEST || (in[i].msg_hdr.msg_flags & MSG_TRUNC)) {
        ++dropped;
        continue;
      }
      out_iov[k].iov_base = data[i];
      out_iov[k].iov_len = REPLY;
      memset(&out[k].msg_hdr, 0, sizeof out[k].msg_hdr);
      out[k].msg_hdr.msg_name = &from[i];
      out[k].msg_hdr.msg_namelen = in[i].msg_hdr.msg_namelen;
      out[k].msg_hdr.msg_iov = &out_iov[k];
      out[k].msg_hdr.msg_iovlen = 1;
      ++k;
    }
    int done = 0;
    while (done < k) {
      int m = sendmmsg(fd, out + done, (unsigned)(k - done), 0);
      if (m < 0) {
        if (errno == EINTR && !stopping) continue;
        /* A reply the system refuses is lost, as a gateway's would be. */
        unsent += (unsigned long long)(k - done);
        break;
      }
      done += m;
    }
    answered += (unsigned long long)done;
  }
  fprintf(stderr, "answered %llu, dropped %llu, unsent %llu\n", answered, dropped, unsent);
  close(fd);
  return 0;
}
