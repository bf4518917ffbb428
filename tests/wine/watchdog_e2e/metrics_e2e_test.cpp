#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "tools/wine_rig/bin_folder.h"
#include "tools/wine_rig/registered_service.h"
#include "tools/wine_rig/watchdog_folder.h"

namespace gandry {
namespace {

using rig::RegisteredService;
using rig::TestServiceCommand;
using rig::UniqueName;
using rig::WatchdogFolder;
using ::testing::HasSubstr;

constexpr DWORD kWaitLimitMs = 60'000;

std::string ReadWhole(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// Polls the file until its text satisfies `done`; returns the last text read.
std::string WaitForText(const std::string& path,
                        const std::function<bool(const std::string&)>& done) {
  std::string text;
  for (DWORD waited = 0; waited < kWaitLimitMs; waited += 100) {
    text = ReadWhole(path);
    if (done(text)) {
      break;
    }
    Sleep(100);
  }
  return text;
}

// What "promtool check metrics" says of `text`: its exit code and output. Wine starts a Unix
// program through CreateProcess but gives no handle to wait on, so a shell writes the exit
// code into a file that is polled for. Z: is the Unix root.
struct Verdict {
  int code = -1;
  std::string output;
};
Verdict Promtool(const std::string& text) {
  const std::string stem = "/tmp/" + UniqueName("gandry-metrics-check");
  const auto windows = [](std::string unix_path) {
    for (char& c : unix_path) {
      c = c == '/' ? '\\' : c;
    }
    return "Z:" + unix_path;
  };
  std::ofstream(windows(stem + ".prom"), std::ios::binary) << text;
  std::string command = "Z:\\bin\\sh -c \"promtool check metrics < " + stem + ".prom > " + stem +
                        ".out 2>&1; echo $? > " + stem + ".part; mv " + stem + ".part " + stem +
                        ".rc\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  Verdict verdict;
  if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                     &startup, &info)) {
    const std::string rc =
        WaitForText(windows(stem + ".rc"), [](const std::string& t) { return !t.empty(); });
    verdict.code = rc.empty() ? -1 : std::stoi(rc);
    verdict.output = ReadWhole(windows(stem + ".out"));
  }
  for (const char* ending : {".prom", ".out", ".rc"}) {
    DeleteFileA(windows(stem + ending).c_str());
  }
  return verdict;
}

bool HavePromtool() {
  return GetFileAttributesA("Z:\\usr\\bin\\promtool") != INVALID_FILE_ATTRIBUTES;
}

bool Has(const std::string& text, const std::string& sample) {
  return text.find(sample) != std::string::npos;
}

// The watchdog as the service, with a metrics file beside it that it removes at the end.
struct MetricsRun {
  explicit MetricsRun(const std::string& watched)
      : folder("gandry-e2e"), metrics(folder.Path("gandry.prom")) {
    ready = folder.ready() && folder.WriteIni(5, 5, 5, {watched + "||3|0"}) &&
            WritePrivateProfileStringA("Settings", "MetricsFile", "gandry.prom",
                                       folder.ini().c_str()) &&
            gandry.registered() && gandry.Start() &&
            gandry.WaitForState(SERVICE_RUNNING, kWaitLimitMs);
  }
  ~MetricsRun() {
    gandry.Control(SERVICE_CONTROL_STOP);
    gandry.WaitForState(SERVICE_STOPPED, kWaitLimitMs);
    DeleteFileA(metrics.c_str());
  }
  std::string WaitFor(const std::string& sample) {
    return WaitForText(metrics, [&](const std::string& t) { return Has(t, sample); });
  }

  WatchdogFolder folder;
  std::string metrics;
  RegisteredService gandry{"zt-gandry-demon", folder.CommandLine("-service")};
  bool ready = false;
};

// Valid for promtool while the watchdog runs and after it stopped; a reload is counted, and
// the stop said.
TEST(MetricsEndToEnd, ServiceKeepsAMetricsFileThatPromtoolAccepts) {
  RegisteredService watched(UniqueName("gandry-e2e-metrics"), TestServiceCommand());
  ASSERT_TRUE(watched.registered() && watched.StartRunning());
  MetricsRun run(watched.name());
  ASSERT_TRUE(run.ready);

  const std::string running = run.WaitFor("gandry_up 1\n");
  EXPECT_THAT(running, HasSubstr("gandry_reloads_total 0\n"));
  EXPECT_THAT(running,
              HasSubstr("gandry_item_attempts_left{service=\"" + watched.name() + "\"} 3\n"));
  ASSERT_TRUE(run.gandry.Control(SERVICE_CONTROL_PARAMCHANGE));
  EXPECT_THAT(run.WaitFor("gandry_reloads_total 1\n"), HasSubstr("gandry_reloads_total 1\n"));
  ASSERT_TRUE(run.gandry.Control(SERVICE_CONTROL_STOP));
  ASSERT_TRUE(run.gandry.WaitForState(SERVICE_STOPPED, kWaitLimitMs));
  const std::string stopped = ReadWhole(run.metrics);
  EXPECT_THAT(stopped, HasSubstr("gandry_up 0\n"));
  EXPECT_THAT(stopped, HasSubstr("gandry_reloads_total 1\n"));

  if (!HavePromtool()) {
    GTEST_SKIP() << "promtool is not installed (Debian package prometheus)";
  }
  for (const std::string& text : {running, stopped}) {
    const Verdict verdict = Promtool(text);
    EXPECT_EQ(verdict.code, 0) << verdict.output << text;
    EXPECT_EQ(verdict.output, "");
  }
}

TEST(MetricsEndToEnd, CountsAStartAfterAStopFromOutside) {
  RegisteredService watched(UniqueName("gandry-e2e-metrics"), TestServiceCommand());
  ASSERT_TRUE(watched.registered() && watched.StartRunning());
  MetricsRun run(watched.name());
  ASSERT_TRUE(run.ready);
  const std::string series = "{service=\"" + watched.name() + "\",reason=\"stopped\"} ";
  const std::string before = run.WaitFor("gandry_item_starts_total" + series + "0\n");
  EXPECT_THAT(before, HasSubstr("gandry_item_last_start_timestamp_seconds{service=\"" +
                                watched.name() + "\"} 0\n"));

  ASSERT_TRUE(watched.Stop());
  const std::string after = run.WaitFor("gandry_item_starts_total" + series + "1\n");
  EXPECT_THAT(after, HasSubstr("gandry_item_starts_total" + series + "1\n"));
  EXPECT_THAT(after,
              HasSubstr("gandry_item_service_state{service=\"" + watched.name() + "\"} 4\n"));
  EXPECT_THAT(after,
              ::testing::Not(HasSubstr("gandry_item_last_start_timestamp_seconds{service=\"" +
                                       watched.name() + "\"} 0\n")));
  if (HavePromtool()) {
    EXPECT_EQ(Promtool(after).code, 0) << after;
  }
}

}  // namespace
}  // namespace gandry
