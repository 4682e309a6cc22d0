// The seam on Linux. Paths arrive in the program's Windows form; every "\"
// is taken as "/". The registry is read-only and stands in for the
// shell-folder keys with the XDG folders:
//
//   per-user (HKEY_CURRENT_USER ...\Explorer\Shell Folders)
//     AppData     $XDG_CONFIG_HOME, else $HOME/.config
//     Desktop     $XDG_DESKTOP_DIR, else $HOME/Desktop
//     Programs    $XDG_DATA_HOME/applications, else $HOME/.local/share/applications
//     Startup     $XDG_CONFIG_HOME/autostart, else $HOME/.config/autostart
//   common (HKEY_LOCAL_MACHINE, value "Common " + name)
//     Common AppData   first of $XDG_CONFIG_DIRS, else /etc/xdg
//     Common Desktop   the per-user desktop (Linux has no shared one)
//     Common Programs  first of $XDG_DATA_DIRS + /applications, else /usr/local/share/applications
//     Common Startup   first of $XDG_CONFIG_DIRS + /autostart, else /etc/xdg/autostart
//   ProgramFilesDir (HKEY_LOCAL_MACHINE ...\CurrentVersion)   /opt
//
// A folder whose variables are all unset is a missing value, as a missing
// registry value is on Windows. Everything is a REG_SZ value.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>

#include <curl/curl.h>

#include "platform/os.h"
#include "platform/posix/profile_text.h"

namespace lum {

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// The first entry of a colon-separated list, or "".
std::string FirstOf(const std::string& list) { return list.substr(0, list.find(':')); }

std::string Under(const std::string& base, const char* tail) {
  return base.empty() ? std::string() : base + tail;
}

std::string UserFolder(const std::string& name) {
  std::string home = Env("HOME");
  std::string config = Env("XDG_CONFIG_HOME");
  if (config.empty()) config = Under(home, "/.config");
  std::string data = Env("XDG_DATA_HOME");
  if (data.empty()) data = Under(home, "/.local/share");
  if (name == "AppData") return config;
  if (name == "Desktop") {
    std::string desktop = Env("XDG_DESKTOP_DIR");
    return desktop.empty() ? Under(home, "/Desktop") : desktop;
  }
  if (name == "Programs") return Under(data, "/applications");
  if (name == "Startup") return Under(config, "/autostart");
  return std::string();
}

std::string CommonFolder(const std::string& name) {
  std::string config_dirs = FirstOf(Env("XDG_CONFIG_DIRS"));
  if (config_dirs.empty()) config_dirs = "/etc/xdg";
  std::string data_dirs = FirstOf(Env("XDG_DATA_DIRS"));
  if (data_dirs.empty()) data_dirs = "/usr/local/share";
  if (name == "Common AppData") return config_dirs;
  if (name == "Common Desktop") return UserFolder("Desktop");
  if (name == "Common Programs") return data_dirs + "/applications";
  if (name == "Common Startup") return config_dirs + "/autostart";
  return std::string();
}

std::string UnixPath(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

bool ReadWhole(const std::string& path, std::string* content) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  content->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// Replaces the file through a temporary one beside it, so that a crash in
// the middle leaves either the old or the new file, never half of one.
bool ReplaceFile(const std::string& path, const std::string& content) {
  std::string temp = path + ".XXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) return false;
  struct stat old {};
  if (stat(path.c_str(), &old) == 0) fchmod(fd, old.st_mode & 07777);
  bool ok = true;
  for (size_t done = 0; ok && done < content.size();) {
    ssize_t n = write(fd, content.data() + done, content.size() - done);
    if (n <= 0) ok = false;
    else done += static_cast<size_t>(n);
  }
  if (ok && fsync(fd) != 0) ok = false;
  if (close(fd) != 0) ok = false;
  if (ok && rename(temp.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) unlink(temp.c_str());
  return ok;
}

// A header list for curl, freed with the exchange.
struct HeaderList {
  curl_slist* list = nullptr;
  ~HeaderList() { curl_slist_free_all(list); }
  void Add(const std::string& line) { list = curl_slist_append(list, line.c_str()); }
};

struct SinkState {
  const BodySink* sink;
  bool stopped = false;
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* state = static_cast<SinkState*>(user);
  size_t n = size * count;
  if (!(*state->sink)(std::string_view(data, n))) {
    state->stopped = true;
    return 0;  // ends the transfer
  }
  return n;
}

// What the system's internet library does on every exchange: the program's
// user agent, no answer from a cache, redirects followed, cookies kept for
// this exchange only, a limit on each wait for data, certificate errors
// ignored on the secure port, proxies from the usual environment variables.
void CommonOptions(CURL* curl, uint32_t timeout_seconds, HeaderList* headers) {
  static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  (void)initialised;
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT)");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 30L);
  curl_easy_setopt(curl, CURLOPT_COOKIEFILE, "");
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(timeout_seconds));
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, static_cast<long>(timeout_seconds > 0 ? timeout_seconds : 1));
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
  curl_easy_setopt(curl, CURLOPT_PATH_AS_IS, 1L);
  headers->Add("Cache-Control: no-cache");
  headers->Add("Pragma: no-cache");
  headers->Add("Accept:");   // the system's library sends none unless asked
  headers->Add("Expect:");   // bodies go out at once, as there
}

// The caller's header lines, each ended by CR LF.
void AddHeaderLines(const std::string& text, HeaderList* headers) {
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = text.find("\r\n", begin);
    if (end == std::string::npos) end = text.size();
    if (end > begin) headers->Add(text.substr(begin, end - begin));
    begin = end + 2;
  }
}

class PosixFile final : public WritableFile {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override { Close(); }
  bool Write(std::string_view bytes) override {
    while (!bytes.empty()) {
      ssize_t n = write(fd_, bytes.data(), bytes.size());
      if (n <= 0) return false;
      bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
  }
  bool Close() override {
    if (fd_ < 0) return true;
    bool ok = close(fd_) == 0;
    fd_ = -1;
    return ok;
  }

 private:
  int fd_;
};

class PosixOs final : public OsApi {
 public:
  RegValue QueryRegistryValue(RegRoot root, const std::string& subkey,
                              const std::string& name) override {
    RegValue result;
    std::string key = posix::LowerCase1251(subkey);
    std::string folder;
    if (key == "software\\microsoft\\windows\\currentversion\\explorer\\shell folders") {
      folder = root == RegRoot::CurrentUser ? UserFolder(name) : CommonFolder(name);
    } else if (key == "software\\microsoft\\windows\\currentversion" &&
               root == RegRoot::LocalMachine && name == "ProgramFilesDir") {
      folder = "/opt";
    }
    if (folder.empty()) return result;
    result.found = true;
    result.type = kRegSz;
    result.data = folder;
    result.data.push_back('\0');
    return result;
  }

  PathKind ProbePath(const std::string& path) override {
    struct stat st {};
    if (path.empty() || stat(UnixPath(path).c_str(), &st) != 0) return PathKind::None;
    return S_ISDIR(st.st_mode) ? PathKind::Folder : PathKind::File;
  }

  ProfileRead GetProfileString(const std::string& section, const std::string& key,
                               const std::string& def, uint32_t size,
                               const std::string& file) override {
    ProfileRead read;
    if (size == 0) return read;
    std::string content;
    std::optional<std::string> found;
    if (ReadWhole(UnixPath(file), &content)) found = posix::ProfileLookup(content, section, key);
    std::string text;
    if (found) {
      text = *found;
    } else {
      // The platform drops trailing blanks from the default.
      text = def;
      while (!text.empty() && text.back() == ' ') text.pop_back();
    }
    if (text.size() > size - 1) text.resize(size - 1);
    read.text = text;
    read.count = static_cast<uint32_t>(text.size());
    return read;
  }

  bool WriteProfileString(const std::string& section, const std::string& key,
                          const std::string& value, const std::string& file) override {
    std::string path = UnixPath(file);
    std::string content;
    if (ProbePath(file) == PathKind::File && !ReadWhole(path, &content)) return false;
    return ReplaceFile(path, posix::ProfileUpdate(content, section, key, value));
  }

  std::string CommandLine() override {
    // Rebuilt from the arguments in the Windows form: quoted where a piece
    // holds a blank.
    std::string raw;
    if (!ReadWhole("/proc/self/cmdline", &raw)) return std::string();
    std::string line;
    size_t begin = 0;
    while (begin < raw.size()) {
      size_t end = raw.find('\0', begin);
      if (end == std::string::npos) end = raw.size();
      std::string piece = raw.substr(begin, end - begin);
      if (!line.empty()) line += ' ';
      bool quote = piece.empty() || piece.find_first_of(" \t") != std::string::npos;
      line += quote ? "\"" + piece + "\"" : piece;
      begin = end + 1;
    }
    return line;
  }

  std::string ModulePath() override {
    char path[261] = {};
    ssize_t n = readlink("/proc/self/exe", path, 260);
    return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
  }

  std::string LowerCase(const std::string& text) override { return posix::LowerCase1251(text); }

  std::string EnvironmentVariable(const std::string& name) override { return Env(name.c_str()); }

  bool HttpExchange(const HttpCall& call, const BodySink& sink) override {
    CURL* curl = curl_easy_init();
    if (!curl) return false;
    HeaderList headers;
    CommonOptions(curl, call.timeout_seconds, &headers);
    std::string path = call.path.empty() || call.path[0] != '/' ? "/" + call.path : call.path;
    std::string url = std::string(call.port == 443 ? "https://" : "http://") + call.host + ":" +
                      std::to_string(call.port) + path;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, call.verb.c_str());
    if (!call.body.empty()) {
      curl_easy_setopt(curl, CURLOPT_POSTFIELDS, call.body.data());
      curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(call.body.size()));
    }
    if (!call.user.empty()) curl_easy_setopt(curl, CURLOPT_USERNAME, call.user.c_str());
    if (!call.password.empty()) curl_easy_setopt(curl, CURLOPT_PASSWORD, call.password.c_str());
    if (!call.proxy.empty()) curl_easy_setopt(curl, CURLOPT_PROXY, call.proxy.c_str());
    if (call.has_referrer) curl_easy_setopt(curl, CURLOPT_REFERER, call.referrer.c_str());
    AddHeaderLines(call.headers, &headers);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.list);
    SinkState state{&sink};
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &state);
    CURLcode result = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);
    // An answer that began arriving counts as sent, however it ended.
    return result == CURLE_OK || status != 0 || state.stopped;
  }

  void UrlFetch(const UrlCall& call, UrlAnswer* answer, const BodySink& sink) override {
    *answer = UrlAnswer{};
    CURL* curl = curl_easy_init();
    if (!curl) return;
    HeaderList headers;
    CommonOptions(curl, call.timeout_seconds, &headers);
    AddHeaderLines(call.headers, &headers);
    curl_easy_setopt(curl, CURLOPT_URL, call.url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.list);
    // Length and status are known once the headers are in, before the first
    // piece of the body.
    bool asked = false;
    auto ask = [&] {
      if (asked) return;
      asked = true;
      curl_off_t length = -1;
      if (curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK) {
        answer->length = length;
      }
      long status = 0;
      if (curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK) {
        answer->status = static_cast<int>(status);
      }
    };
    BodySink with_answer = [&](std::string_view piece) {
      ask();
      return sink(piece);
    };
    SinkState state{&with_answer};
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &state);
    curl_easy_perform(curl);
    ask();
    curl_easy_cleanup(curl);
  }

  std::unique_ptr<WritableFile> CreateFileForWrite(const std::string& path) override {
    int fd = open(UnixPath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    return std::make_unique<PosixFile>(fd);
  }

  bool RemoveFile(const std::string& path) override { return unlink(UnixPath(path).c_str()) == 0; }

  bool MoveFileOver(const std::string& from, const std::string& to) override {
    return rename(UnixPath(from).c_str(), UnixPath(to).c_str()) == 0;
  }
};

}  // namespace

OsApi& NativeOs() {
  static PosixOs os;
  return os;
}

}  // namespace lum
