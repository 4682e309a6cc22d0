// The seam over the Windows API, with the 8-bit forms of the calls.
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "platform/os.h"

namespace lum {

namespace {

const char kAgent[] = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT)";

// Puts the process on line when the system is in offline mode.
void GoOnline() {
  DWORD flags = 0;
  InternetGetConnectedState(&flags, 0);
  if (flags & INTERNET_CONNECTION_OFFLINE) {
    INTERNET_CONNECTED_INFO info = {INTERNET_STATE_CONNECTED, 0};
    InternetSetOptionA(nullptr, INTERNET_OPTION_CONNECTED_STATE, &info, sizeof info);
  }
}

void SetReceiveTimeout(HINTERNET handle, uint32_t seconds) {
  DWORD ms = seconds * 1000;
  InternetSetOptionA(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &ms, sizeof ms);
}

// Reads 1024 bytes at a time until a read fails, returns nothing, or the
// sink wants no more.
void ReadBody(HINTERNET request, const BodySink& sink) {
  char buffer[1024];
  for (;;) {
    DWORD got = 0;
    if (!InternetReadFile(request, buffer, sizeof buffer, &got) || got == 0) break;
    if (!sink(std::string_view(buffer, got))) break;
  }
}

class Win32File final : public WritableFile {
 public:
  explicit Win32File(HANDLE handle) : handle_(handle) {}
  ~Win32File() override { Close(); }
  bool Write(std::string_view bytes) override {
    while (!bytes.empty()) {
      DWORD done = 0;
      DWORD n = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 20));
      if (!WriteFile(handle_, bytes.data(), n, &done, nullptr) || done == 0) return false;
      bytes.remove_prefix(done);
    }
    return true;
  }
  bool Close() override {
    if (handle_ == INVALID_HANDLE_VALUE) return true;
    bool ok = CloseHandle(handle_) != FALSE;
    handle_ = INVALID_HANDLE_VALUE;
    return ok;
  }

 private:
  HANDLE handle_;
};

class Win32Os final : public OsApi {
 public:
  RegValue QueryRegistryValue(RegRoot root, const std::string& subkey,
                              const std::string& name) override {
    RegValue result;
    HKEY key = nullptr;
    HKEY base = root == RegRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    if (RegOpenKeyExA(base, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return result;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
      result.type = type;
      std::vector<BYTE> buffer(size + 1);
      DWORD got = size;
      if (RegQueryValueExA(key, name.c_str(), nullptr, &type, buffer.data(), &got) ==
          ERROR_SUCCESS) {
        result.found = true;
        result.type = type;
        result.data.assign(reinterpret_cast<const char*>(buffer.data()), got);
      }
    }
    RegCloseKey(key);
    return result;
  }

  PathKind ProbePath(const std::string& path) override {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::None;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::Folder : PathKind::File;
  }

  ProfileRead GetProfileString(const std::string& section, const std::string& key,
                               const std::string& def, uint32_t size,
                               const std::string& file) override {
    std::vector<char> buffer(size + 1, '\0');
    DWORD count = GetPrivateProfileStringA(section.c_str(), key.c_str(), def.c_str(),
                                           buffer.data(), size, file.c_str());
    ProfileRead read;
    read.count = count;
    read.text.assign(buffer.data());
    return read;
  }

  bool WriteProfileString(const std::string& section, const std::string& key,
                          const std::string& value, const std::string& file) override {
    return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(),
                                      file.c_str()) != FALSE;
  }

  std::string CommandLine() override {
    const char* line = GetCommandLineA();
    return line ? line : "";
  }

  std::string ModulePath() override {
    char path[MAX_PATH + 1] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, length);
  }

  std::string LowerCase(const std::string& text) override {
    std::string out = text;
    if (!out.empty()) CharLowerBuffA(out.data(), static_cast<DWORD>(out.size()));
    return out;
  }

  std::string EnvironmentVariable(const std::string& name) override {
    char buffer[1024];
    DWORD n = GetEnvironmentVariableA(name.c_str(), buffer, sizeof buffer);
    return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
  }

  bool HttpExchange(const HttpCall& call, const BodySink& sink) override {
    GoOnline();
    HINTERNET internet = InternetOpenA(kAgent, call.access_type,
                                       call.proxy.empty() ? nullptr : call.proxy.c_str(), nullptr, 0);
    if (!internet) return false;
    SetReceiveTimeout(internet, call.timeout_seconds);
    HINTERNET connection =
        InternetConnectA(internet, call.host.c_str(), call.port, call.user.c_str(),
                         call.password.c_str(), INTERNET_SERVICE_HTTP, 0, 1);
    if (!connection) {
      InternetCloseHandle(internet);
      return false;
    }
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;
    if (call.port == 443) {
      flags |= INTERNET_FLAG_SECURE | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS |
               INTERNET_FLAG_IGNORE_CERT_CN_INVALID | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID;
    }
    HINTERNET request = HttpOpenRequestA(connection, call.verb.c_str(), call.path.c_str(), nullptr,
                                         call.has_referrer ? call.referrer.c_str() : nullptr,
                                         nullptr, flags, 1);
    if (!request) {
      InternetCloseHandle(connection);
      InternetCloseHandle(internet);
      return false;
    }
    // Wine's library does not pass the time-out on from the internet handle
    // as Windows does; setting it on the request too keeps every wait bounded.
    SetReceiveTimeout(request, call.timeout_seconds);
    if (call.port == 443) {
      DWORD security = SECURITY_FLAG_IGNORE_UNKNOWN_CA;
      InternetSetOptionA(request, INTERNET_OPTION_SECURITY_FLAGS, &security, sizeof security);
    }
    bool sent = HttpSendRequestA(request, call.headers.empty() ? nullptr : call.headers.c_str(),
                                 static_cast<DWORD>(call.headers.size()),
                                 call.body.empty() ? nullptr : const_cast<char*>(call.body.data()),
                                 static_cast<DWORD>(call.body.size())) != FALSE;
    if (sent) ReadBody(request, sink);
    InternetCloseHandle(request);
    InternetCloseHandle(connection);
    InternetCloseHandle(internet);
    return sent;
  }

  void UrlFetch(const UrlCall& call, UrlAnswer* answer, const BodySink& sink) override {
    *answer = UrlAnswer{};
    GoOnline();
    HINTERNET internet = InternetOpenA(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    SetReceiveTimeout(internet, call.timeout_seconds);
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_EXISTING_CONNECT | INTERNET_FLAG_PASSIVE |
                  INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;
    HINTERNET url = InternetOpenUrlA(internet, call.url.c_str(),
                                     call.headers.empty() ? nullptr : call.headers.c_str(),
                                     static_cast<DWORD>(call.headers.size()), flags, 0);
    if (url) {
      char length[20] = {};
      DWORD size = sizeof length;
      if (HttpQueryInfoA(url, HTTP_QUERY_CONTENT_LENGTH, length, &size, nullptr)) {
        answer->length = std::strtoll(length, nullptr, 10);
      }
      DWORD status = 0;
      DWORD status_size = sizeof status;
      if (HttpQueryInfoA(url, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                         &status_size, nullptr)) {
        answer->status = static_cast<int>(status);
      }
      ReadBody(url, sink);
      InternetCloseHandle(url);
    }
    if (internet) InternetCloseHandle(internet);
  }

  std::unique_ptr<WritableFile> CreateFileForWrite(const std::string& path) override {
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<Win32File>(handle);
  }

  bool RemoveFile(const std::string& path) override { return DeleteFileA(path.c_str()) != FALSE; }

  bool MoveFileOver(const std::string& from, const std::string& to) override {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
  }
};

}  // namespace

OsApi& NativeOs() {
  static Win32Os os;
  return os;
}

}  // namespace lum
