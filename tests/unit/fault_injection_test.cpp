// The system failing underneath the installer and the settings file: the
// n-th call through the platform seam fails (once, or from then on), for
// every n until the operation runs clean. After each run nothing has been
// thrown, and the settings file holds the old record or the new one.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>

#include "failing_os.h"
#include "install/installer.h"
#include "platform/os.h"
#include "settings/credentials.h"
#include "settings/settings_file.h"
#include "test_env.h"

namespace lum {
namespace {

enum class Breakdown { Once, FromThenOn };

// Passes calls on, but for the n-th one (and, from then on, every later one)
// which gets the answer of a failing system instead. A file opened for
// writing counts its writes and its close as calls too.
class CountdownOs : public ForwardingOs {
 public:
  CountdownOs(OsApi& inner, int fail_at, Breakdown mode)
      : ForwardingOs(inner), fail_at_(fail_at), mode_(mode) {}

  // The operation made fewer calls than the countdown: it ran clean.
  bool Tripped() const { return calls_ >= fail_at_; }
  int calls() const { return calls_; }

  bool Trip() {
    ++calls_;
    return mode_ == Breakdown::Once ? calls_ == fail_at_ : calls_ >= fail_at_;
  }

  RegValue QueryRegistryValue(RegRoot root, const std::string& subkey,
                              const std::string& name) override {
    return Trip() ? broken_.QueryRegistryValue(root, subkey, name)
                  : inner_.QueryRegistryValue(root, subkey, name);
  }
  PathKind ProbePath(const std::string& path) override {
    return Trip() ? broken_.ProbePath(path) : inner_.ProbePath(path);
  }
  ProfileRead GetProfileString(const std::string& section, const std::string& key,
                               const std::string& def, uint32_t size,
                               const std::string& file) override {
    return Trip() ? broken_.GetProfileString(section, key, def, size, file)
                  : inner_.GetProfileString(section, key, def, size, file);
  }
  bool WriteProfileString(const std::string& section, const std::string& key,
                          const std::string& value, const std::string& file) override {
    return Trip() ? broken_.WriteProfileString(section, key, value, file)
                  : inner_.WriteProfileString(section, key, value, file);
  }
  std::string CommandLine() override { return Trip() ? broken_.CommandLine() : inner_.CommandLine(); }
  std::string ModulePath() override { return Trip() ? broken_.ModulePath() : inner_.ModulePath(); }
  std::string LowerCase(const std::string& text) override {
    return Trip() ? broken_.LowerCase(text) : inner_.LowerCase(text);
  }
  std::string EnvironmentVariable(const std::string& name) override {
    return Trip() ? broken_.EnvironmentVariable(name) : inner_.EnvironmentVariable(name);
  }
  bool HttpExchange(const HttpCall& call, const BodySink& sink) override {
    return Trip() ? broken_.HttpExchange(call, sink) : inner_.HttpExchange(call, sink);
  }
  void UrlFetch(const UrlCall& call, UrlAnswer* answer, const BodySink& sink) override {
    Trip() ? broken_.UrlFetch(call, answer, sink) : inner_.UrlFetch(call, answer, sink);
  }
  std::unique_ptr<WritableFile> CreateFileForWrite(const std::string& path) override {
    if (Trip()) return broken_.CreateFileForWrite(path);
    std::unique_ptr<WritableFile> file = inner_.CreateFileForWrite(path);
    if (!file) return nullptr;
    return std::make_unique<CountedFile>(*this, std::move(file));
  }
  bool RemoveFile(const std::string& path) override {
    return Trip() ? broken_.RemoveFile(path) : inner_.RemoveFile(path);
  }
  bool MoveFileOver(const std::string& from, const std::string& to) override {
    return Trip() ? broken_.MoveFileOver(from, to) : inner_.MoveFileOver(from, to);
  }
  bool CopyFileOver(const std::string& from, const std::string& to) override {
    return Trip() ? broken_.CopyFileOver(from, to) : inner_.CopyFileOver(from, to);
  }
  bool CreateFolder(const std::string& path) override {
    return Trip() ? broken_.CreateFolder(path) : inner_.CreateFolder(path);
  }
  bool SetCurrentFolder(const std::string& path) override {
    return Trip() ? broken_.SetCurrentFolder(path) : inner_.SetCurrentFolder(path);
  }
  std::string TempFolder() override { return Trip() ? broken_.TempFolder() : inner_.TempFolder(); }
  void WinExec(const std::string& line, int show) override {
    Trip() ? broken_.WinExec(line, show) : inner_.WinExec(line, show);
  }
  bool ShellExecuteWait(uintptr_t owner, const std::string& verb, const std::string& file,
                        const std::string& parameters, int show, uintptr_t* process) override {
    return Trip() ? broken_.ShellExecuteWait(owner, verb, file, parameters, show, process)
                  : inner_.ShellExecuteWait(owner, verb, file, parameters, show, process);
  }
  void ShellOpen(uintptr_t owner, const std::string& target, int show) override {
    Trip() ? broken_.ShellOpen(owner, target, show) : inner_.ShellOpen(owner, target, show);
  }
  bool ExitCode(uintptr_t process, uint32_t* code) override {
    return Trip() ? broken_.ExitCode(process, code) : inner_.ExitCode(process, code);
  }
  void CloseProcess(uintptr_t process) override {
    Trip() ? broken_.CloseProcess(process) : inner_.CloseProcess(process);
  }
  bool RunAndWaitProcess(const std::string& line, const std::string& folder, uint32_t flags,
                         int show, int32_t wait_ms) override {
    return Trip() ? broken_.RunAndWaitProcess(line, folder, flags, show, wait_ms)
                  : inner_.RunAndWaitProcess(line, folder, flags, show, wait_ms);
  }
  uint32_t SystemMajorVersion() override {
    return Trip() ? broken_.SystemMajorVersion() : inner_.SystemMajorVersion();
  }
  void Sleep(uint32_t ms) override { Trip() ? broken_.Sleep(ms) : inner_.Sleep(ms); }
  uintptr_t FindWindowByClass(const std::string& name) override {
    return Trip() ? broken_.FindWindowByClass(name) : inner_.FindWindowByClass(name);
  }
  void BringToForeground(uintptr_t window) override {
    Trip() ? broken_.BringToForeground(window) : inner_.BringToForeground(window);
  }
  void SendCloseRequest(uintptr_t window, uint32_t timeout_ms) override {
    Trip() ? broken_.SendCloseRequest(window, timeout_ms) : inner_.SendCloseRequest(window, timeout_ms);
  }
  bool CreateShortcut(const std::string& target, const std::string& arguments,
                      const std::string& folder, const std::string& link,
                      const std::string& description, const std::string& icon, int index,
                      int show) override {
    return Trip() ? broken_.CreateShortcut(target, arguments, folder, link, description, icon, index, show)
                  : inner_.CreateShortcut(target, arguments, folder, link, description, icon, index, show);
  }
  std::string ProgramResource(const std::string& name) override {
    return Trip() ? broken_.ProgramResource(name) : inner_.ProgramResource(name);
  }
  std::string WindowsFolder() override { return Trip() ? broken_.WindowsFolder() : inner_.WindowsFolder(); }
  void PlaySoundFile(const std::string& path) override {
    Trip() ? broken_.PlaySoundFile(path) : inner_.PlaySoundFile(path);
  }
  int AskYesNo(const std::string& text, const std::string& caption) override {
    return Trip() ? broken_.AskYesNo(text, caption) : inner_.AskYesNo(text, caption);
  }

 private:
  class CountedFile : public WritableFile {
   public:
    CountedFile(CountdownOs& os, std::unique_ptr<WritableFile> file) : os_(os), file_(std::move(file)) {}
    bool Write(std::string_view bytes) override { return !os_.Trip() && file_->Write(bytes); }
    // A failed close still releases the file, as the system's does.
    bool Close() override {
      bool broken = os_.Trip();
      return file_->Close() && !broken;
    }

   private:
    CountdownOs& os_;
    std::unique_ptr<WritableFile> file_;
  };

  test::FailingOs broken_;
  int fail_at_;
  Breakdown mode_;
  int calls_ = 0;
};

// Runs `operation` with the n-th call failing, for n = 1, 2, ... until a run
// makes fewer calls than n; `check` looks at what each run left. Returns the
// number of failure points: the calls of the clean run.
template <class Prepare, class Operation, class Check>
int EveryFailurePoint(OsApi& system, Breakdown mode, Prepare prepare, Operation operation, Check check) {
  for (int n = 1; n < 1000; ++n) {
    prepare();
    CountdownOs countdown(system, n, mode);
    {
      ScopedOs use(countdown);
      try {
        operation();
      } catch (...) {
        ADD_FAILURE() << "an exception left the operation with call " << n << " failing";
      }
    }
    SCOPED_TRACE("call " + std::to_string(n) + " of " + std::to_string(countdown.calls()) + " failing" +
                 (mode == Breakdown::Once ? "" : " and every later one"));
    check(countdown.Tripped());
    if (!countdown.Tripped()) return n - 1;
  }
  ADD_FAILURE() << "the operation never ran clean";
  return 0;
}

void Report(const char* operation, int points) {
  std::printf("[ faults   ] %s: %d failure points, each passed\n", operation, points);
}

// ---------------------------------------------------------------------------
// The credentials record against the real settings file in a test folder.

struct Record {
  int32_t model;
  std::string router_password, login, password;
  bool operator==(const Record&) const = default;
};

Record InMemory() { return {RouterModelIndex, RouterPassword, Login, Password}; }

std::string Stored(const Record& r) {
  return ScrambleRecord(std::to_string(r.model) + "|" + r.router_password + "|" + r.login + "|" +
                        r.password + "|");
}

// The real system, but for settings files outside the test folder: a failed
// look-up of the "AppData" folder makes the path "\Corvalin.ini", at the
// root of the drive, which a user cannot write to and a test must not.
class InFolderOnly : public ForwardingOs {
 public:
  InFolderOnly(OsApi& inner, std::string folder) : ForwardingOs(inner), folder_(std::move(folder)) {}
  bool WriteProfileString(const std::string& section, const std::string& key,
                          const std::string& value, const std::string& file) override {
    if (file.rfind(folder_, 0) != 0) {
      ++elsewhere;
      return false;
    }
    return inner_.WriteProfileString(section, key, value, file);
  }
  PathKind ProbePath(const std::string& path) override {
    return path.rfind(folder_, 0) == 0 ? inner_.ProbePath(path) : PathKind::None;
  }
  int elsewhere = 0;

 private:
  std::string folder_;
};

class CredentialsUnderFaults : public ::testing::Test {
 protected:
  void TearDown() override {
    ResetCredentials();
    if (system_.elsewhere > 0) {
      std::printf("[ faults   ] %d writes were sent outside the settings folder\n", system_.elsewhere);
    }
  }

  // The file as a running centre has it: the old record and the agent's
  // entry; the variables loaded from it.
  void Prepare() {
    WriteIniValue(SettingsFilePath(), "Settings", "lastlink", kLink);
    StoreCredentials(old_.model, old_.router_password, old_.login, old_.password);
    ASSERT_EQ(InMemory(), old_);
  }
  std::string AuthOnDisk() { return ReadIniValue(SettingsFilePath(), "Settings", "auth", "<none>"); }
  void CheckFileHoldsOldOrNew() {
    std::string auth = AuthOnDisk();
    EXPECT_TRUE(auth == Stored(old_) || auth == Stored(new_)) << "auth holds neither record";
    EXPECT_EQ(ReadIniValue(SettingsFilePath(), "Settings", "lastlink", ""), kLink);
  }

  static constexpr char kLink[] = "http://news.lumora.example/item/7";
  const Record old_{2, "tokra", "ivanov", "old secret"};
  const Record new_{4, "роутер", "petrov", "new = secret"};
  test::TempFolder folder_;
  test::AppDataOverride appdata_{folder_.path()};
  InFolderOnly system_{NativeOs(), appdata_.folder()};  // the folder as the program names it
};

// The system may fail under a save in any call; the settings file keeps one
// whole record, and the variables hold one of the two.
TEST_F(CredentialsUnderFaults, ASaveLeavesTheOldRecordOrTheNewOne) {
  for (Breakdown mode : {Breakdown::Once, Breakdown::FromThenOn}) {
    int points = EveryFailurePoint(
        system_, mode, [&] { Prepare(); },
        [&] { StoreCredentials(new_.model, new_.router_password, new_.login, new_.password); },
        [&](bool tripped) {
          CheckFileHoldsOldOrNew();
          Record now = InMemory();
          EXPECT_TRUE(now == old_ || now == new_) << "the variables hold neither record";
          if (!tripped) {
            EXPECT_EQ(AuthOnDisk(), Stored(new_));
            EXPECT_EQ(now, new_);
          }
        });
    EXPECT_GE(points, 5);
    Report(mode == Breakdown::Once ? "StoreCredentials + LoadCredentials, one call failing"
                                   : "StoreCredentials + LoadCredentials, failing from a call on",
           points);
  }
}

// A start that cannot read the file keeps the defaults; one that can loads
// the whole record. The file is never changed by loading.
TEST_F(CredentialsUnderFaults, ALoadAtStartGivesTheDefaultsOrTheRecord) {
  const Record defaults{0, "tokra", "", ""};
  int points = EveryFailurePoint(
      system_, Breakdown::Once,
      [&] {
        Prepare();
        ResetCredentials();
      },
      [] { LoadCredentials(); },
      [&](bool) {
        Record now = InMemory();
        EXPECT_TRUE(now == defaults || now == old_);
        EXPECT_EQ(AuthOnDisk(), Stored(old_));
      });
  EXPECT_GE(points, 3);
  Report("LoadCredentials", points);
}

// ---------------------------------------------------------------------------
// The install form on a machine kept in memory: an earlier installation, a
// centre and an agent running, the settings file of the user.

class Machine : public test::FailingOs {
 public:
  static constexpr char kSettings[] = "C:\\Users\\u\\AppData\\Corvalin.ini";
  static constexpr char kSetup[] = "D:\\Downloads\\LumSetup.exe";
  static constexpr char kTool[] = "C:\\Program Files\\Lumora\\Tarvik.exe";

  Machine() {
    folders = {"C:\\Program Files", "C:\\Program Files\\Lumora", "C:\\ProgramData\\Programs",
               "C:\\Users\\Public\\Desktop", "C:\\ProgramData\\Startup", "C:\\Users\\u\\AppData"};
    files[kSetup] = "new program";
    files["C:\\Program Files\\Lumora\\LumCenter.exe"] = "old program";
    files[kTool] = "old tool";
    files[kSettings] = "[Settings]\r\nauth=" + ScrambleRecord("1|r|u|p|") + "\r\nlastlink=http://n/1\r\n";
    windows = {{kMainWindowClass, 11}, {kAgentWindowClass, 12}};
    new_tool = std::string(5000, 't');
  }

  RegValue QueryRegistryValue(RegRoot, const std::string&, const std::string& name) override {
    static const std::map<std::string, std::string> values = {
        {"ProgramFilesDir", "C:\\Program Files"}, {"Common Programs", "C:\\ProgramData\\Programs"},
        {"Common Desktop", "C:\\Users\\Public\\Desktop"}, {"Common Startup", "C:\\ProgramData\\Startup"},
        {"AppData", "C:\\Users\\u\\AppData"}};
    auto it = values.find(name);
    if (it == values.end()) return {};
    return {true, kRegSz, it->second};
  }
  PathKind ProbePath(const std::string& path) override {
    if (files.count(path)) return PathKind::File;
    return folders.count(path) ? PathKind::Folder : PathKind::None;
  }
  std::string ModulePath() override { return kSetup; }
  bool RemoveFile(const std::string& path) override {
    // A running program's file cannot be deleted.
    if (path.find("LumCenter.exe") != std::string::npos && !windows.empty()) return false;
    return files.erase(path) > 0;
  }
  bool CreateFolder(const std::string& path) override {
    return !files.count(path) && folders.insert(path).second;
  }
  bool CopyFileOver(const std::string& from, const std::string& to) override {
    if (!files.count(from) || folders.count(to)) return false;
    if (to.find("LumCenter.exe") != std::string::npos && !windows.empty()) return false;
    files[to] = files[from];
    return true;
  }
  bool MoveFileOver(const std::string& from, const std::string& to) override {
    if (!files.count(from) || folders.count(to)) return false;
    files[to] = files[from];
    files.erase(from);
    return true;
  }
  std::unique_ptr<WritableFile> CreateFileForWrite(const std::string& path) override {
    if (folders.count(path)) return nullptr;
    files[path].clear();
    return std::make_unique<File>(files[path]);
  }
  uintptr_t FindWindowByClass(const std::string& name) override {
    auto it = windows.find(name);
    return it == windows.end() ? 0 : it->second;
  }
  // The centre closes when asked; the agent only when killed.
  void SendCloseRequest(uintptr_t window, uint32_t) override {
    if (window == 11) windows.erase(kMainWindowClass);
  }
  bool RunAndWaitProcess(const std::string& line, const std::string&, uint32_t, int, int32_t) override {
    if (line.rfind("taskkill.exe", 0) == 0) windows.clear();
    return true;
  }
  bool CreateShortcut(const std::string& target, const std::string& arguments, const std::string&,
                      const std::string& link, const std::string&, const std::string&, int, int) override {
    files[link] = target + " " + arguments;
    return true;
  }
  void UrlFetch(const UrlCall& call, UrlAnswer* answer, const BodySink& sink) override {
    if (call.url.find("/files/dpr/Tarvik.exe") == std::string::npos) return;
    answer->status = 200;
    answer->length = static_cast<int64_t>(new_tool.size());
    for (size_t at = 0; at < new_tool.size(); at += 1024) {
      if (!sink(std::string_view(new_tool).substr(at, 1024))) break;
    }
  }

  std::map<std::string, std::string> files;
  std::set<std::string> folders;
  std::map<std::string, uintptr_t> windows;
  std::string new_tool;

 private:
  class File : public WritableFile {
   public:
    explicit File(std::string& bytes) : bytes_(bytes) {}
    bool Write(std::string_view bytes) override {
      bytes_.append(bytes);
      return true;
    }
    bool Close() override { return true; }

   private:
    std::string& bytes_;
  };
};

TEST(DeployUnderFaults, EveryFailedCallLeavesTheSettingsAndAWholeToolOrTheOldOne) {
  for (Breakdown mode : {Breakdown::Once, Breakdown::FromThenOn}) {
    std::unique_ptr<Machine> machine;
    int points = 0;
    for (int n = 1; n < 1000; ++n) {
      machine = std::make_unique<Machine>();
      const std::string settings = machine->files[Machine::kSettings];
      CountdownOs countdown(*machine, n, mode);
      {
        ScopedOs use(countdown);
        try {
          Deploy(false);
        } catch (...) {
          ADD_FAILURE() << "an exception left Deploy with call " << n << " failing";
        }
      }
      SCOPED_TRACE("call " + std::to_string(n) + " failing" +
                   (mode == Breakdown::Once ? "" : " and every later one"));
      EXPECT_EQ(machine->files[Machine::kSettings], settings);
      auto tool = machine->files.find(Machine::kTool);
      ASSERT_NE(tool, machine->files.end()) << "the old tool was lost";
      EXPECT_TRUE(tool->second == "old tool" || tool->second == machine->new_tool)
          << "the tool holds " << tool->second.size() << " bytes";
      if (!countdown.Tripped()) {
        points = n - 1;
        EXPECT_EQ(machine->files["C:\\Program Files\\Lumora\\LumCenter.exe"], "new program");
        EXPECT_EQ(tool->second, machine->new_tool);
        EXPECT_TRUE(machine->files.count("C:\\ProgramData\\Startup\\LumCenter.lnk"));
        break;
      }
    }
    EXPECT_GE(points, 20);
    Report(mode == Breakdown::Once ? "Deploy(false), one call failing"
                                   : "Deploy(false), failing from a call on",
           points);
  }
}

}  // namespace
}  // namespace lum
