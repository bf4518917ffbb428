#include "bench_rig.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace gandry::bench {

double NowMs() {
  LARGE_INTEGER frequency;
  LARGE_INTEGER counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

namespace {

double FileTimeMs(const FILETIME& time) {
  ULARGE_INTEGER value;
  value.LowPart = time.dwLowDateTime;
  value.HighPart = time.dwHighDateTime;
  return static_cast<double>(value.QuadPart) / 10'000.0;
}

unsigned CountThreads(DWORD process_id) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) {
    return 0;
  }
  unsigned count = 0;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    count += entry.th32OwnerProcessID == process_id ? 1 : 0;
  }
  CloseHandle(snapshot);
  return count;
}

// Walks the process's address space as Windows' own "private bytes" counts it: committed
// pages of private (not image, not mapped) regions.
void CountAddressSpace(HANDLE process, ProcessFigures& figures) {
  MEMORY_BASIC_INFORMATION region{};
  const char* address = nullptr;
  while (VirtualQueryEx(process, address, &region, sizeof region) == sizeof region) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) {
      figures.committed_private += region.RegionSize;
    }
    if (region.State != MEM_FREE) {
      figures.reserved += region.RegionSize;
    }
    const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
    if (next <= address) {
      break;
    }
    address = next;
  }
}

std::string ReadWholeFile(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return {};
  }
  std::string text;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) {
    text.append(buffer, read);
  }
  CloseHandle(file);
  return text;
}

// The host's /proc folder of the process whose command line holds `marker`; empty when there
// is none (on Windows there is no Z:\proc at all).
std::string FindHostProcess(const std::string& marker) {
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA("Z:\\proc\\*", &entry);
  if (search == INVALID_HANDLE_VALUE) {
    return {};
  }
  std::string found;
  do {
    const std::string name = entry.cFileName;
    if (name.find_first_not_of("0123456789") != std::string::npos) {
      continue;
    }
    const std::string folder = "Z:\\proc\\" + name + "\\";
    if (ReadWholeFile(folder + "cmdline").find(marker) != std::string::npos) {
      found = folder;
    }
  } while (found.empty() && FindNextFileA(search, &entry));
  FindClose(search);
  return found;
}

std::uint64_t StatusKilobytes(const std::string& status, const char* key) {
  const std::size_t at = status.find(key);
  return at == std::string::npos
             ? 0
             : std::strtoull(status.c_str() + at + std::strlen(key), nullptr, 10) * 1024;
}

void ReadHostFigures(const std::string& marker, ProcessFigures& figures) {
  const std::string folder = FindHostProcess(marker);
  if (folder.empty()) {
    return;
  }
  // Fields 14 and 15 of stat, user and system time in clock ticks of 10 ms; the command in
  // field 2 may hold blanks, so counting starts after its closing parenthesis.
  const std::string stat = ReadWholeFile(folder + "stat");
  const std::size_t close = stat.rfind(')');
  if (close == std::string::npos) {
    return;
  }
  std::istringstream fields(stat.substr(close + 2));
  std::string field;
  unsigned long long user = 0;
  unsigned long long system = 0;
  for (int index = 3; index <= 15 && fields >> field; ++index) {
    if (index == 14) {
      user = std::strtoull(field.c_str(), nullptr, 10);
    } else if (index == 15) {
      system = std::strtoull(field.c_str(), nullptr, 10);
    }
  }
  const std::string status = ReadWholeFile(folder + "status");
  figures.host_found = true;
  figures.cpu_ms = static_cast<double>(user + system) * 10.0;
  figures.host_threads = static_cast<unsigned>(StatusKilobytes(status, "Threads:") / 1024);
  figures.host_rss = StatusKilobytes(status, "VmRSS:");
  figures.host_rss_anon = StatusKilobytes(status, "RssAnon:");
}

}  // namespace

ProcessFigures MeasureProcess(HANDLE process, DWORD process_id,
                              const std::string& command_line_marker) {
  ProcessFigures figures;
  FILETIME created;
  FILETIME ended;
  FILETIME kernel;
  FILETIME user;
  if (GetProcessTimes(process, &created, &ended, &kernel, &user)) {
    figures.cpu_ms = FileTimeMs(kernel) + FileTimeMs(user);
  }
  figures.threads = CountThreads(process_id);
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                           sizeof counters)) {
    figures.private_usage = counters.PrivateUsage;
    figures.working_set = counters.WorkingSetSize;
  }
  CountAddressSpace(process, figures);
  ReadHostFigures(command_line_marker, figures);
  return figures;
}

double Mebibytes(std::uint64_t bytes) {
  return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double Largest(const std::vector<double>& values) {
  return *std::max_element(values.begin(), values.end());
}

bool WriteSettings(const WatchdogFolder& folder, int delay_s, bool notify,
                   const std::vector<std::string>& items) {
  const std::string delay = std::to_string(delay_s);
  std::string text = "[Settings]\r\nLoopDelayThread=" + delay + "\r\nLoopDelayService=" + delay +
                     "\r\nStartDelayThread=" + delay + "\r\n";
  if (notify) {
    text += "WatchMode=notify\r\n";
  }
  text += "[Services]\r\n";
  for (std::size_t i = 0; i < items.size(); ++i) {
    text += "Item" + std::to_string(i + 1) + "=" + items[i] + "\r\n";
  }
  return folder.WriteIniText(text);
}

bool WatchComeback(RegisteredService& service, DWORD limit_ms, Comeback& seen) {
  seen = Comeback{};
  const double deadline = NowMs() + limit_ms;
  double previous_poll = NowMs();
  for (;;) {
    const DWORD state = service.State();
    const double now = NowMs();
    if (seen.stopped == 0) {
      if (state == SERVICE_STOPPED) {
        seen.stopped = now;
      } else if (state == SERVICE_START_PENDING || state == SERVICE_RUNNING) {
        // Stopped and started again between two polls.
        seen.stopped = previous_poll;
      }
    }
    if (seen.stopped != 0 && seen.start_requested == 0 && state != SERVICE_STOPPED && state != 0) {
      seen.start_requested = now;
    }
    if (seen.start_requested != 0 && state == SERVICE_RUNNING) {
      seen.running = now;
      return true;
    }
    if (now > deadline) {
      return false;
    }
    previous_poll = now;
    Sleep(kStatePollMs);
  }
}

}  // namespace gandry::bench
