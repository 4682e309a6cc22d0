#include "platform/posix/instance_rendezvous.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

namespace lum::posix {

namespace {

// A sender that says nothing holds the owner this long at most.
constexpr int64_t kReadMs = 250;
// The longest token a raise carries, and the longest request line read;
// anything longer is not a request.
constexpr size_t kTokenMax = 200;
constexpr size_t kLineMax = 6 + kTokenMax + 1;

bool ValidToken(const std::string& token) {
  if (token.empty() || token.size() > kTokenMax) return false;
  for (char c : token)
    if (c <= ' ' || c > '~') return false;
  return true;
}

int64_t NowMs() {
  struct timespec t {};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

// Waits until fd has something to read; false once the deadline has passed
// or the wait fails.
bool ReadableBy(int fd, int64_t deadline) {
  for (;;) {
    int64_t left = deadline - NowMs();
    if (left <= 0) return false;
    pollfd ready {fd, POLLIN, 0};
    int n = poll(&ready, 1, static_cast<int>(left));
    if (n < 0 && errno == EINTR) continue;
    return n > 0;
  }
}

void PauseMs(long ms) {
  struct timespec t {0, ms * 1000000L};
  nanosleep(&t, nullptr);
}

// Only a folder that nobody else can enter or replace is trusted with the
// files: a real folder (not a link), ours, closed to group and others.
bool IsOurFolder(const std::string& path, uid_t owner) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == owner &&
         (st.st_mode & 077) == 0;
}

// The class name as a file name: letters, digits, ".", "_" and "-" as they
// are, every other byte as %XX.
std::string FileName(const std::string& class_name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string name;
  for (char c : class_name) {
    unsigned char u = static_cast<unsigned char>(c);
    if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '.' ||
        u == '_' || u == '-') {
      name += c;
    } else {
      name += '%';
      name += kHex[u >> 4];
      name += kHex[u & 15];
    }
  }
  return name.empty() ? "%" : name;
}

struct Place {
  std::string lock;
  std::string socket;
};

// Where the class's files are: the first folder whose socket path fits an
// address, so that every process of the session picks the same one. False
// when that folder is not ours (or, with create, cannot be made).
// Another user's session is found where a login makes it, /run/user/<uid>,
// since their environment is not ours to read.
bool FindPlace(const std::string& class_name, bool create, Place* place, uid_t user = kThisUser) {
  const uid_t owner = user == kThisUser ? geteuid() : user;
  std::vector<std::string> folders;
  const char* own_runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string runtime = user != kThisUser ? "/run/user/" + std::to_string(owner)
                        : own_runtime     ? own_runtime
                                          : "";
  if (!runtime.empty() && runtime[0] == '/' && IsOurFolder(runtime, owner)) {
    folders.push_back(runtime + "/lumcenter");
  }
  folders.push_back("/tmp/lumcenter-" + std::to_string(owner));
  const std::string name = FileName(class_name);
  for (const std::string& folder : folders) {
    std::string socket = folder + "/" + name + ".sock";
    if (socket.size() >= sizeof(sockaddr_un{}.sun_path)) continue;
    if (create && mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (!IsOurFolder(folder, owner)) return false;
    place->lock = folder + "/" + name + ".lock";
    place->socket = socket;
    return true;
  }
  return false;
}

sockaddr_un Address(const std::string& path) {
  sockaddr_un address {};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return address;
}

struct flock WholeFile(short type) {
  struct flock whole {};
  whole.l_type = type;
  whole.l_whence = SEEK_SET;
  return whole;
}

struct Claim {
  int lock = -1;       // holds the class while open
  std::string socket;  // removed on release; "" when there is none
};

std::mutex g_claims_mutex;
std::map<int, Claim> g_claims;  // by the fd handed to the owner

int Remember(int fd, int lock, const std::string& socket) {
  std::lock_guard<std::mutex> guard(g_claims_mutex);
  g_claims[fd] = Claim{lock, socket};
  return fd;
}

// The fd of a claim that nobody can reach: it never becomes readable.
int Unreachable(int lock) {
  int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd < 0) {
    if (lock >= 0) close(lock);
    return -1;
  }
  return Remember(fd, lock, "");
}

}  // namespace

int ClaimWindowClass(const std::string& class_name) {
  Place place;
  if (!FindPlace(class_name, true, &place)) return Unreachable(-1);
  // An open file description's lock (not flock) so that ClassHeld can look
  // at it without taking it. Close-on-exec: a started program must not keep
  // the class after we end.
  int lock = open(place.lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (lock < 0) return Unreachable(-1);
  struct flock whole = WholeFile(F_WRLCK);
  if (fcntl(lock, F_OFD_SETLK, &whole) != 0) {
    int error = errno;
    close(lock);
    return error == EAGAIN || error == EACCES ? -1 : Unreachable(-1);
  }
  // Only the lock's holder binds, so a socket file found here is a dead
  // owner's.
  unlink(place.socket.c_str());
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  sockaddr_un address = Address(place.socket);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(fd, 16) != 0) {
    if (fd >= 0) close(fd);
    unlink(place.socket.c_str());
    return Unreachable(lock);  // the class is ours all the same
  }
  return Remember(fd, lock, place.socket);
}

void ReleaseWindowClass(int listen_fd) {
  Claim claim;
  {
    std::lock_guard<std::mutex> guard(g_claims_mutex);
    auto found = g_claims.find(listen_fd);
    if (found == g_claims.end()) return;
    claim = found->second;
    g_claims.erase(found);
  }
  close(listen_fd);
  // Removed while the lock is still held: afterwards the name may already
  // be the next owner's.
  if (!claim.socket.empty()) unlink(claim.socket.c_str());
  if (claim.lock >= 0) close(claim.lock);
}

ClassRequest TakeClassRequest(int listen_fd, int* reply_fd, std::string* token) {
  if (reply_fd) *reply_fd = -1;
  if (token) token->clear();
  int connection = accept4(listen_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (connection < 0) return ClassRequest::None;
  ucred peer {};
  socklen_t size = sizeof peer;
  bool trusted = getsockopt(connection, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
                 (peer.uid == geteuid() || peer.uid == 0);
  std::string line;
  const int64_t deadline = NowMs() + kReadMs;
  while (trusted && line.find('\n') == std::string::npos && line.size() < kLineMax) {
    if (!ReadableBy(connection, deadline)) break;
    char buffer[kLineMax];
    ssize_t got = recv(connection, buffer, kLineMax - line.size(), 0);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (got <= 0) break;
    line.append(buffer, static_cast<size_t>(got));
  }
  ClassRequest request = ClassRequest::None;
  size_t end = line.find('\n');
  if (end != std::string::npos) {
    line.resize(end);
    if (line == "raise") request = ClassRequest::Raise;
    if (line == "close") request = ClassRequest::Close;
    if (line.compare(0, 6, "raise ") == 0 && ValidToken(line.substr(6))) {
      request = ClassRequest::Raise;
      if (token) *token = line.substr(6);
    }
  }
  if (request == ClassRequest::None || !reply_fd) {
    close(connection);
    return request;
  }
  *reply_fd = connection;
  return request;
}

void AnswerClassRequest(int reply_fd) {
  if (reply_fd < 0) return;
  // The sender may have gone: no SIGPIPE for that.
  send(reply_fd, "done\n", 5, MSG_NOSIGNAL | MSG_DONTWAIT);
  close(reply_fd);
}

bool ClassHeld(const std::string& class_name, uid_t user) {
  Place place;
  if (!FindPlace(class_name, false, &place, user)) return false;
  int lock = open(place.lock.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (lock < 0) return false;
  struct flock whole = WholeFile(F_WRLCK);
  bool held = fcntl(lock, F_OFD_GETLK, &whole) == 0 && whole.l_type != F_UNLCK;
  close(lock);
  return held;
}

bool SendClassRequest(const std::string& class_name, ClassRequest request, int32_t connect_ms,
                      int32_t answer_ms, const std::string& token, uid_t user) {
  if (request == ClassRequest::None) return false;
  Place place;
  if (!FindPlace(class_name, false, &place, user)) return false;
  const int64_t connect_deadline = NowMs() + std::max<int32_t>(connect_ms, 0);
  sockaddr_un address = Address(place.socket);
  int fd = -1;
  for (;;) {
    fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) break;
    int error = errno;
    close(fd);
    // A full backlog, or an owner between its claim and its listen, is
    // worth another try within the budget; a class nobody holds is not.
    bool again = error == EAGAIN || error == EINTR ||
                 ((error == ECONNREFUSED || error == ENOENT) && ClassHeld(class_name, user));
    if (!again || NowMs() >= connect_deadline) return false;
    PauseMs(20);
  }

  std::string line = request == ClassRequest::Close ? "close\n"
                     : ValidToken(token)             ? "raise " + token + "\n"
                                                     : "raise\n";
  size_t done = 0;
  bool sent = false;
  while (!sent) {
    ssize_t n = send(fd, line.data() + done, line.size() - done, MSG_NOSIGNAL);
    if (n > 0) done += static_cast<size_t>(n);
    if (done == line.size()) {
      sent = true;
      break;
    }
    int64_t left = connect_deadline - NowMs();
    if ((n < 0 && errno != EAGAIN && errno != EINTR) || left <= 0) break;
    pollfd ready {fd, POLLOUT, 0};
    poll(&ready, 1, static_cast<int>(left));
  }
  if (!sent || answer_ms <= 0) {
    close(fd);
    return sent;
  }

  // The owner answers once it has handled the request; an owner that ends
  // meanwhile closes the connection, which ends the wait too.
  bool answered = false;
  const int64_t answer_deadline = NowMs() + answer_ms;
  while (ReadableBy(fd, answer_deadline)) {
    char buffer[8];
    ssize_t got = recv(fd, buffer, sizeof buffer, 0);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    answered = got > 0;
    break;
  }
  close(fd);
  return answered;
}

}  // namespace lum::posix
