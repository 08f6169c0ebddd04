#include "tools/hhc/book_move.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace inkbinder::hhc {

namespace {

std::string Failure(const std::string& what, int err) { return what + ": " + strerror(err); }

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Copies all of `in` to `out`; false with errno set on a failure.
bool CopyContents(int in, int out) {
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = read(in, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    if (!WriteAll(out, buffer, static_cast<size_t>(got))) return false;
  }
}

}  // namespace

bool CopyBookInto(const std::string& from, const std::string& to, std::string* error) {
  const size_t slash = to.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : to.substr(0, slash);
  std::string temp = folder + "/.hhc-book-XXXXXX";
  const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    *error = Failure("cannot read " + from, errno);
    return false;
  }
  const int out = mkostemp(temp.data(), O_CLOEXEC);
  if (out < 0) {
    *error = Failure("cannot write into " + folder, errno);
    close(in);
    return false;
  }
  // mkostemp makes the file private; a book is as readable as any new file.
  const mode_t mask = umask(0);
  umask(mask);
  bool ok = fchmod(out, 0666 & ~mask) == 0 && CopyContents(in, out) && fsync(out) == 0;
  int err = errno;
  close(in);
  if (close(out) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && rename(temp.c_str(), to.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    unlink(temp.c_str());
    *error = Failure("cannot write " + to, err);
  }
  return ok;
}

bool MoveBook(const std::string& from, const std::string& to, std::string* error) {
  if (rename(from.c_str(), to.c_str()) == 0) return true;
  if (errno != EXDEV) {
    *error = Failure("cannot move the book to " + to, errno);
    return false;
  }
  return CopyBookInto(from, to, error);
}

}  // namespace inkbinder::hhc
