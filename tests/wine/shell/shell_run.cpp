#include "shell_run.h"

#include <fstream>
#include <sstream>

#include "tools/wine_rig/bin_folder.h"

namespace gandry {

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

ShellFolder::ShellFolder(const std::string& script, const char* child_program) {
  static int count = 0;
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  // Blanks, capitals and ".exe" in a folder name must not confuse the shell.
  dir_ = std::string(temp) + "Gandry Run.exe.d-" + std::to_string(GetCurrentProcessId()) + "-" +
         std::to_string(++count) + "\\";
  CreateDirectoryA(dir_.c_str(), nullptr);
  const std::string bin = rig::BinFolder();
  CopyFileA((bin + "gandry.exe").c_str(), (dir_ + "gandry.exe").c_str(), FALSE);
  if (child_program != nullptr) {
    CopyFileA((bin + child_program).c_str(), (dir_ + "gandry.svc").c_str(), FALSE);
  }
  WriteFile("stand_in.txt", script);
  job_ = CreateJobObjectA(nullptr, nullptr);
}

ShellFolder::~ShellFolder() {
  TerminateJobObject(job_, 99);
  if (child_ != nullptr) {
    TerminateProcess(child_, 99);
    WaitForSingleObject(child_, 5000);
    CloseHandle(child_);
  }
  CloseHandle(job_);
  for (const char* name :
       {"gandry.exe", "gandry.svc", "stand_in.txt", "child.pid", "out.txt", "Gandry.ini"}) {
    Remove(name);
  }
  RemoveDirectoryA(dir_.c_str());
}

void ShellFolder::WriteFile(const std::string& name, const std::string& text) const {
  std::ofstream(dir_ + name, std::ios::binary) << text;
}

void ShellFolder::Remove(const std::string& name) const {
  DeleteFileA((dir_ + name).c_str());
}

ShellRun ShellFolder::Run(const std::string& args, StdoutKind kind, const std::string& until) {
  if (child_ != nullptr) {
    TerminateProcess(child_, 99);
    CloseHandle(child_);
    child_ = nullptr;
  }
  Remove("child.pid");
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  const std::string out_path = dir_ + "out.txt";
  HANDLE out = nullptr;
  HANDLE pipe_read = nullptr;
  if (kind == StdoutKind::kFile) {
    out = CreateFileA(out_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  } else if (kind == StdoutKind::kClosedPipe) {
    CreatePipe(&pipe_read, &out, &inherit, 0);
    CloseHandle(pipe_read);
  }
  HANDLE in = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                          OPEN_EXISTING, 0, nullptr);
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = out;
  PROCESS_INFORMATION info{};
  const std::string program = dir_ + "gandry.exe";
  std::string line = "\"" + program + "\" " + args;
  ShellRun run;
  if (!CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED,
                      nullptr, dir_.c_str(), &startup, &info)) {
    run.exit_code = GetLastError();
    run.timed_out = true;
    return run;
  }
  AssignProcessToJobObject(job_, info.hProcess);
  ResumeThread(info.hThread);
  CloseHandle(info.hThread);
  if (out != nullptr) {
    CloseHandle(out);
  }
  CloseHandle(in);

  const ULONGLONG deadline = GetTickCount64() + 60000;
  for (;;) {
    const bool ended = WaitForSingleObject(info.hProcess, 20) == WAIT_OBJECT_0;
    if (child_ == nullptr) {
      std::istringstream pid_text(ReadAll(dir_ + "child.pid"));
      DWORD pid = 0;
      if (pid_text >> pid) {
        child_ =
            OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, pid);
      }
    }
    if (ended) {
      break;
    }
    if (!until.empty() && ReadAll(out_path).find(until) != std::string::npos) {
      TerminateJobObject(job_, 98);
    }
    if (GetTickCount64() > deadline) {
      run.timed_out = true;
      TerminateJobObject(job_, 97);
    }
  }
  GetExitCodeProcess(info.hProcess, &run.exit_code);
  CloseHandle(info.hProcess);
  if (kind == StdoutKind::kFile) {
    run.out = ReadAll(out_path);
  }
  run.child = child_;
  return run;
}

bool StillRunning(HANDLE process) {
  return process != nullptr && WaitForSingleObject(process, 300) == WAIT_TIMEOUT;
}

bool Ended(HANDLE process) {
  return process != nullptr && WaitForSingleObject(process, 5000) == WAIT_OBJECT_0;
}

DWORD ExitCodeOf(HANDLE process) {
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  return code;
}

}  // namespace gandry
