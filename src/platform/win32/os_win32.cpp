// The seam over the Windows API, with the 8-bit forms of the calls.
#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <mmsystem.h>
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

// The moment an exchange must be over, in the tick count's milliseconds.
ULONGLONG Deadline(uint32_t seconds) { return GetTickCount64() + ULONGLONG{seconds} * 1000; }

// Reads at most 1024 bytes at a time until a read fails, returns nothing,
// the sink wants no more or the deadline has passed. A read asks only for
// what has arrived: a read of a full chunk would wait until the chunk is
// full, and a server that drips its bytes would hold it far past the
// deadline, each byte within the receive time-out.
void ReadBody(HINTERNET request, const BodySink& sink, ULONGLONG deadline) {
  char buffer[1024];
  while (GetTickCount64() < deadline) {
    DWORD ready = 0;
    if (!InternetQueryDataAvailable(request, &ready, 0, 0) || ready == 0) break;
    DWORD got = 0;
    DWORD want = ready < sizeof buffer ? ready : sizeof buffer;
    if (!InternetReadFile(request, buffer, want, &got) || got == 0) break;
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
  // The shell may hand a launch to handlers that need COM on the calling
  // thread; everything here runs on the one thread of the windows.
  Win32Os() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE); }

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
    const ULONGLONG deadline = Deadline(call.exchange_seconds);
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
      // Setting replaces the flags: keep the ones the request was opened with.
      DWORD security = 0;
      DWORD size = sizeof security;
      InternetQueryOptionA(request, INTERNET_OPTION_SECURITY_FLAGS, &security, &size);
      security |= SECURITY_FLAG_IGNORE_UNKNOWN_CA;
      InternetSetOptionA(request, INTERNET_OPTION_SECURITY_FLAGS, &security, sizeof security);
    }
    bool sent = HttpSendRequestA(request, call.headers.empty() ? nullptr : call.headers.c_str(),
                                 static_cast<DWORD>(call.headers.size()),
                                 call.body.empty() ? nullptr : const_cast<char*>(call.body.data()),
                                 static_cast<DWORD>(call.body.size())) != FALSE;
    if (sent) ReadBody(request, sink, deadline);
    InternetCloseHandle(request);
    InternetCloseHandle(connection);
    InternetCloseHandle(internet);
    return sent;
  }

  void UrlFetch(const UrlCall& call, UrlAnswer* answer, const BodySink& sink) override {
    *answer = UrlAnswer{};
    const ULONGLONG deadline = Deadline(call.exchange_seconds);
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
      ReadBody(url, sink, deadline);
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

  bool CopyFileOver(const std::string& from, const std::string& to) override {
    return CopyFileA(from.c_str(), to.c_str(), FALSE) != FALSE;
  }

  bool CreateFolder(const std::string& path) override {
    return CreateDirectoryA(path.c_str(), nullptr) != FALSE;
  }

  bool SetCurrentFolder(const std::string& path) override {
    return SetCurrentDirectoryA(path.c_str()) != FALSE;
  }

  std::string TempFolder() override {
    char buffer[MAX_PATH + 1] = {};
    DWORD n = GetTempPathA(sizeof buffer, buffer);
    std::string folder(buffer, n < sizeof buffer ? n : 0);
    if (folder.empty() || folder.back() != '\\') folder += '\\';
    return folder;
  }

  void WinExec(const std::string& command_line, int show) override {
    ::WinExec(command_line.c_str(), static_cast<UINT>(show));
  }

  bool ShellExecuteWait(uintptr_t owner, const std::string& verb, const std::string& file,
                        const std::string& parameters, int show, uintptr_t* process) override {
    SHELLEXECUTEINFOA info;
    ZeroMemory(&info, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.hwnd = reinterpret_cast<HWND>(owner);
    info.lpVerb = verb.empty() ? nullptr : verb.c_str();
    info.lpFile = file.c_str();
    info.lpParameters = parameters.c_str();
    info.nShow = show;
    bool ok = ShellExecuteExA(&info) != FALSE;
    *process = ok ? reinterpret_cast<uintptr_t>(info.hProcess) : 0;
    return ok;
  }

  void ShellOpen(uintptr_t owner, const std::string& target, int show) override {
    ShellExecuteA(reinterpret_cast<HWND>(owner), "", target.c_str(), "", "", show);
  }

  bool ExitCode(uintptr_t process, uint32_t* code) override {
    DWORD value = 0;
    if (!GetExitCodeProcess(reinterpret_cast<HANDLE>(process), &value)) return false;
    *code = value;
    return true;
  }

  void CloseProcess(uintptr_t process) override {
    if (process) CloseHandle(reinterpret_cast<HANDLE>(process));
  }

  bool RunAndWaitProcess(const std::string& command_line, const std::string& folder,
                         uint32_t creation_flags, int show, int32_t wait_ms) override {
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(show);
    PROCESS_INFORMATION info;
    ZeroMemory(&info, sizeof info);
    std::vector<char> line(command_line.begin(), command_line.end());
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, creation_flags, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
      return false;
    }
    DWORD limit = wait_ms < 0 ? INFINITE : static_cast<DWORD>(wait_ms);
    bool ended = WaitForSingleObject(info.hProcess, limit) == WAIT_OBJECT_0;
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    return ended;
  }

  uint32_t SystemMajorVersion() override { return LOBYTE(LOWORD(GetVersion())); }

  void Sleep(uint32_t ms) override { ::Sleep(ms); }

  uintptr_t FindWindowByClass(const std::string& class_name) override {
    return reinterpret_cast<uintptr_t>(FindWindowA(class_name.c_str(), nullptr));
  }

  void BringToForeground(uintptr_t window) override {
    SetForegroundWindow(reinterpret_cast<HWND>(window));
  }

  void SendCloseRequest(uintptr_t window, uint32_t timeout_ms) override {
    DWORD_PTR result = 0;
    SendMessageTimeoutA(reinterpret_cast<HWND>(window), WM_CLOSE, 0, 0, SMTO_NORMAL, timeout_ms,
                        &result);
  }

  bool CreateShortcut(const std::string& target, const std::string& arguments,
                      const std::string& folder, const std::string& link_path,
                      const std::string& description, const std::string& icon_file,
                      int icon_index, int show) override {
    // Only a start of COM made here is ended here.
    const bool started = SUCCEEDED(CoInitialize(nullptr));
    IUnknown* object = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                IID_IUnknown, reinterpret_cast<void**>(&object)))) {
      if (started) CoUninitialize();
      return false;
    }
    bool saved = false;
    IShellLinkA* link = nullptr;
    if (SUCCEEDED(object->QueryInterface(IID_IShellLinkA, reinterpret_cast<void**>(&link)))) {
      link->SetPath(target.c_str());
      link->SetArguments(arguments.c_str());
      link->SetWorkingDirectory(folder.c_str());
      link->SetDescription(description.c_str());
      link->SetIconLocation(icon_file.c_str(), icon_index);
      link->SetShowCmd(show);
      IPersistFile* file = nullptr;
      if (SUCCEEDED(object->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        // The file name goes over in UTF-16, converted from Windows-1251 as
        // the program's texts are, so that the Russian name survives a system
        // of another code page (the shell folders' own paths are ASCII).
        int n = MultiByteToWideChar(1251, 0, link_path.c_str(), -1, nullptr, 0);
        std::vector<wchar_t> wide(n > 0 ? n : 1, L'\0');
        MultiByteToWideChar(1251, 0, link_path.c_str(), -1, wide.data(), n);
        saved = SUCCEEDED(file->Save(wide.data(), FALSE));
        file->Release();
      }
      link->Release();
    }
    object->Release();
    if (started) CoUninitialize();
    return saved;
  }

  std::string ProgramResource(const std::string& name) override {
    HRSRC found = FindResourceA(nullptr, name.c_str(), MAKEINTRESOURCEA(10));
    if (!found) return std::string();
    HGLOBAL loaded = LoadResource(nullptr, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return std::string();
    return std::string(static_cast<const char*>(bytes), SizeofResource(nullptr, found));
  }

  std::string WindowsFolder() override {
    char buffer[MAX_PATH + 1] = {};
    UINT n = GetWindowsDirectoryA(buffer, MAX_PATH);
    return std::string(buffer, n <= MAX_PATH ? n : 0);
  }

  void PlaySoundFile(const std::string& path) override { sndPlaySoundA(path.c_str(), SND_ASYNC); }

  int AskYesNo(const std::string& text, const std::string& caption) override {
    // Shown from Windows-1251 whatever the system's code page.
    auto wide = [](const std::string& s) {
      int n = MultiByteToWideChar(1251, 0, s.c_str(), -1, nullptr, 0);
      std::vector<wchar_t> w(n > 0 ? n : 1, L'\0');
      MultiByteToWideChar(1251, 0, s.c_str(), -1, w.data(), n);
      return w;
    };
    std::vector<wchar_t> t = wide(text), c = wide(caption);
    return MessageBoxW(nullptr, t.data(), c.data(), MB_YESNO | MB_ICONQUESTION);
  }
};

}  // namespace

OsApi& NativeOs() {
  static Win32Os os;
  return os;
}

}  // namespace lum
