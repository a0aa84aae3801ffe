/* Stands in for syslog in a process started with it preloaded: every line goes to the file
   named by PARVEX_TEST_SYSLOG, one line per message, so a test can read what the real scanner
   logged on a machine without a system logger. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

static void Capture(const char* format, va_list args) {
  const char* path = getenv("PARVEX_TEST_SYSLOG");
  if (path == NULL) return;
  char line[1024];
  int n = vsnprintf(line, sizeof line - 1, format, args);
  if (n < 0) return;
  if (n > (int)sizeof line - 2) n = (int)sizeof line - 2;
  line[n++] = '\n';
  int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) return;
  /* One write per line: lines of concurrent writers never interleave. */
  if (write(fd, line, (size_t)n) < 0) {
  }
  close(fd);
}

void openlog(const char* ident, int option, int facility) {
  (void)ident;
  (void)option;
  (void)facility;
}

void closelog(void) {}

void vsyslog(int priority, const char* format, va_list args) {
  (void)priority;
  Capture(format, args);
}

void syslog(int priority, const char* format, ...) {
  va_list args;
  va_start(args, format);
  vsyslog(priority, format, args);
  va_end(args);
}

void __vsyslog_chk(int priority, int flag, const char* format, va_list args) {
  (void)flag;
  vsyslog(priority, format, args);
}

void __syslog_chk(int priority, int flag, const char* format, ...) {
  (void)flag;
  va_list args;
  va_start(args, format);
  vsyslog(priority, format, args);
  va_end(args);
}
