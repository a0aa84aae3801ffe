// The Windows half of starting, waiting for and stopping programs. A process id alone cannot
// give an exit code on Windows, so every child started here keeps its process handle in a
// table until it is waited for: that table stands for the POSIX parent-child relation (a pid
// not in it is "not a child", ECHILD), and the handle keeps the id from being reused meanwhile.
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "platform/error_number.h"
#include "platform/process.h"

namespace kestrum {
namespace {

// Closes a handle when it goes.
struct HandleCloser {
  void operator()(HANDLE h) const { CloseHandle(h); }
};
using OwnedHandle = std::unique_ptr<void, HandleCloser>;

// Ends `process` with `code`; one that has ended already counts as ended, as a POSIX zombie
// still takes a signal.
int Terminate(HANDLE process, UINT code) {
  if (TerminateProcess(process, code)) return 0;
  if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0) return 0;
  return FailFromLastError();
}

std::mutex children_mutex;
std::map<pid_t, HANDLE> children;  // guarded by children_mutex

// Appends `arg` to a command line as the C runtime's argument parser reads it back: quoted
// when it is empty or holds a blank or a quote; backslashes are doubled only where they come
// before a quote (an inner one or the closing one).
void AppendArgument(const std::string& arg, std::string* line) {
  if (!line->empty()) line->push_back(' ');
  if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) {
    line->append(arg);
    return;
  }
  line->push_back('"');
  std::size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') backslashes = backslashes * 2 + 1;
    line->append(backslashes, '\\');
    backslashes = 0;
    line->push_back(c);
  }
  line->append(backslashes * 2, '\\');
  line->push_back('"');
}

// "NAME=value\0...\0\0", sorted by name ignoring case as Windows keeps its own blocks.
std::string EnvironmentBlock(std::vector<std::string> env) {
  std::sort(env.begin(), env.end(), [](const std::string& a, const std::string& b) {
    return _stricmp(a.c_str(), b.c_str()) < 0;
  });
  std::string block;
  for (const std::string& entry : env) {
    block.append(entry);
    block.push_back('\0');
  }
  if (env.empty()) block.push_back('\0');
  block.push_back('\0');
  return block;
}

// The standard handles this process has, each once, made inheritable so that the child can
// share them; the handle list below keeps every other inheritable handle from the child.
std::vector<HANDLE> StandardHandles() {
  std::vector<HANDLE> handles;
  for (DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
    HANDLE h = GetStdHandle(which);
    if (h == nullptr || h == INVALID_HANDLE_VALUE) continue;
    if (std::find(handles.begin(), handles.end(), h) != handles.end()) continue;
    if (!SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) continue;
    handles.push_back(h);
  }
  return handles;
}

// Owns a process-thread attribute list; deletes it when it goes.
class AttributeList {
 public:
  explicit AttributeList(DWORD count) {
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, count, 0, &size);
    if (size == 0) return;
    storage_.resize(size);
    list_ = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
    if (!InitializeProcThreadAttributeList(list_, count, 0, &size)) list_ = nullptr;
  }
  ~AttributeList() {
    if (list_) DeleteProcThreadAttributeList(list_);
  }
  AttributeList(const AttributeList&) = delete;
  AttributeList& operator=(const AttributeList&) = delete;
  LPPROC_THREAD_ATTRIBUTE_LIST get() const { return list_; }

 private:
  std::vector<char> storage_;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

// "Cannot be found" comes as either code, depending on whether a folder on the way is missing.
int FailFromStartError() {
  DWORD error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return FailWith(ENOENT);
  return FailFromLastError();
}

}  // namespace

int SpawnProcess(const std::vector<std::string>& argv, const std::vector<std::string>* env,
                 ProcessId* pid) {
  if (argv.empty() || argv[0].empty() || !pid) return FailWith(EINVAL);
  std::string line;
  for (const std::string& arg : argv) AppendArgument(arg, &line);
  std::string block;
  if (env) block = EnvironmentBlock(*env);

  STARTUPINFOEXA info;
  std::memset(&info, 0, sizeof info);
  info.StartupInfo.cb = sizeof info;
  info.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  info.StartupInfo.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  info.StartupInfo.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  info.StartupInfo.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  std::vector<HANDLE> inherited = StandardHandles();
  AttributeList attributes(1);
  DWORD flags = 0;
  if (!inherited.empty() && attributes.get() &&
      UpdateProcThreadAttribute(attributes.get(), 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                inherited.data(), inherited.size() * sizeof(HANDLE), nullptr,
                                nullptr)) {
    info.lpAttributeList = attributes.get();
    flags |= EXTENDED_STARTUPINFO_PRESENT;
  } else {
    inherited.clear();
  }

  PROCESS_INFORMATION started;
  // With no application name, Windows searches the program's folder, the current folder, the
  // system folders and the PATH for argv[0], adding ".exe" when it has no extension.
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, inherited.empty() ? FALSE : TRUE,
                      flags, env ? block.data() : nullptr, nullptr, &info.StartupInfo, &started)) {
    return FailFromStartError();
  }
  CloseHandle(started.hThread);
  *pid = static_cast<pid_t>(started.dwProcessId);
  std::lock_guard<std::mutex> lock(children_mutex);
  children[*pid] = started.hProcess;
  return 0;
}

int WaitProcess(ProcessId pid, int timeout_ms, int* status) {
  HANDLE process;
  {
    std::lock_guard<std::mutex> lock(children_mutex);
    auto it = children.find(pid);
    if (it == children.end()) return FailWith(ECHILD);
    process = it->second;
  }
  DWORD waited = WaitForSingleObject(process, timeout_ms < 0 ? INFINITE : timeout_ms);
  if (waited == WAIT_TIMEOUT) return FailWith(ETIMEDOUT);
  if (waited != WAIT_OBJECT_0) return FailFromLastError();
  DWORD code = 0;
  if (!GetExitCodeProcess(process, &code)) return FailFromLastError();
  {
    std::lock_guard<std::mutex> lock(children_mutex);
    // Another thread may have reaped it meanwhile; only the one that removes it closes it.
    auto it = children.find(pid);
    if (it == children.end()) return FailWith(ECHILD);
    children.erase(it);
  }
  CloseHandle(process);
  if (status) *status = static_cast<int>(code);
  return 0;
}

// Ends the process `pid` with exit code `code`: a child through the handle kept for it, any
// other process opened for termination.
int TerminateWithCode(ProcessId pid, UINT code) {
  {
    std::lock_guard<std::mutex> lock(children_mutex);
    auto it = children.find(pid);
    if (it != children.end()) return Terminate(it->second, code);
  }
  OwnedHandle other(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, static_cast<DWORD>(pid)));
  if (!other) {
    return GetLastError() == ERROR_INVALID_PARAMETER ? FailWith(ESRCH) : FailFromLastError();
  }
  return Terminate(other.get(), code);
}

// Windows has no signals: the process is terminated with the exit code a POSIX parent would
// read for that signal (128 plus its number), so WaitProcess reports the same on both.
int KillProcess(ProcessId pid, int signal) {
  if (pid <= 0 || signal <= 0) return FailWith(EINVAL);
  return TerminateWithCode(pid, 128 + static_cast<UINT>(signal));
}

int EndProcess(ProcessId pid) {
  if (pid <= 0) return FailWith(EINVAL);
  return TerminateWithCode(pid, static_cast<UINT>(kEndedProcessStatus));
}

int RunProcess(const std::vector<std::string>& argv, int* status) {
  ProcessId pid = 0;
  if (SpawnProcess(argv, nullptr, &pid) != 0) return -1;
  return WaitProcess(pid, -1, status);
}

}  // namespace kestrum
