#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "common/ini_model.h"
#include "watchdog/metrics_text.h"
#include "watchdog/metrics_writer.h"
#include "watchdog/supervisor.h"
#include "watchdog_rig.h"

namespace gandry::testing {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

LiveItem Item(std::string service, std::uint8_t state, std::int32_t attempts, std::uint64_t stopped,
              std::int64_t last_start) {
  LiveItem item;
  item.service = std::move(service);
  item.state = state;
  item.attempts_left = attempts;
  item.health_failures = 1;
  item.starts = {stopped, 1, 0};
  item.start_failures = 2;
  item.last_start = last_start;
  return item;
}

// Every sample's metric has had its HELP and TYPE just before its first sample, once.
TEST(MetricsTextTest, DescribesEveryMetricOnceBeforeItsSamples) {
  for (const auto& items :
       {std::vector<LiveItem>{}, std::vector<LiveItem>{Item("a", 4, 3, 0, 0)}}) {
    std::istringstream text(MetricsText(items, {.version = "1.2.3"}));
    std::set<std::string> typed;
    std::string line;
    std::string previous;
    int helps = 0;
    while (std::getline(text, line)) {
      if (line.starts_with("# HELP ")) {
        ++helps;
      } else if (line.starts_with("# TYPE ")) {
        const std::string name = line.substr(7, line.find(' ', 7) - 7);
        EXPECT_TRUE(previous.starts_with("# HELP " + name + " ")) << line;
        EXPECT_TRUE(typed.insert(name).second) << name << " described twice";
      } else {
        EXPECT_TRUE(typed.contains(line.substr(0, line.find_first_of("{ ")))) << line;
      }
      previous = line;
    }
    EXPECT_EQ(helps, 9);
    EXPECT_EQ(typed.size(), 9u);
  }
}

TEST(MetricsTextTest, SumsItemsOfOneServiceIntoOneSeriesUnderTheFirstSpelling) {
  const std::string text =
      MetricsText({Item("Spooler", 4, 3, 5, 1700000000), Item("other", 1, 0, 0, 0),
                   Item("SPOOLER", 1, 2, 7, 1800000000)},
                  {.up = false, .reloads = 4, .version = "2.0.1"});
  for (const char* sample : {
           "gandry_up 0\n",
           "gandry_info{version=\"2.0.1\"} 1\n",
           "gandry_reloads_total 4\n",
           "gandry_item_service_state{service=\"Spooler\"} 4\n",
           "gandry_item_starts_total{service=\"Spooler\",reason=\"stopped\"} 12\n",
           "gandry_item_starts_total{service=\"Spooler\",reason=\"scheduled\"} 2\n",
           "gandry_item_starts_total{service=\"Spooler\",reason=\"health\"} 0\n",
           "gandry_item_start_failures_total{service=\"Spooler\"} 4\n",
           "gandry_item_attempts_left{service=\"Spooler\"} 5\n",
           "gandry_item_health_failures{service=\"Spooler\"} 2\n",
           "gandry_item_last_start_timestamp_seconds{service=\"Spooler\"} 1800000000\n",
           "gandry_item_service_state{service=\"other\"} 1\n",
       }) {
    EXPECT_THAT(text, HasSubstr(sample));
  }
  EXPECT_THAT(text, Not(HasSubstr("SPOOLER")));
  // In the order the services first appear.
  EXPECT_LT(text.find("{service=\"Spooler\"} 4"), text.find("{service=\"other\"} 1"));
}

TEST(MetricsTextTest, EscapesLabelValues) {
  const std::string text = MetricsText({Item("a\\b\"c\nd", 255, 0, 0, 0)}, {.version = "v\"1"});
  EXPECT_THAT(text, HasSubstr("gandry_item_service_state{service=\"a\\\\b\\\"c\\nd\"} 255\n"));
  EXPECT_THAT(text, HasSubstr("gandry_info{version=\"v\\\"1\"} 1\n"));
}

TEST(MetricsFilePathTest, TakesARelativePathFromTheWatchdogsFolder) {
  const std::string folder = "C:\\Gandry\\";
  EXPECT_EQ(MetricsFilePath("", folder), "");
  EXPECT_EQ(MetricsFilePath("  ", folder), "");
  EXPECT_EQ(MetricsFilePath("gandry.prom", folder), "C:\\Gandry\\gandry.prom");
  EXPECT_EQ(MetricsFilePath("m\\gandry.prom", folder), "C:\\Gandry\\m\\gandry.prom");
  EXPECT_EQ(MetricsFilePath("D:\\m\\g.prom", folder), "D:\\m\\g.prom");
  EXPECT_EQ(MetricsFilePath("\\\\host\\share\\g.prom", folder), "\\\\host\\share\\g.prom");
  EXPECT_EQ(MetricsFilePath("\\m\\g.prom", folder), "\\m\\g.prom");
}

constexpr char kMetrics[] = "C:\\gandry\\gandry.prom";

struct MetricsRig : WatchdogRig {
  MetricsRig() {
    WriteIni({"alpha||3|0"});
    ini.AddLine(kIni, "Settings", "MetricsFile", "gandry.prom");
    services.Add("alpha", ServiceState::kRunning);
  }
  std::string Metrics() { return files.Contents(kMetrics).value_or(""); }
};

// Written at the start, again after each LoopDelayThread, at once after a change (a reload
// here), and with gandry_up 0 as the last word of a stop.
TEST(MetricsWriterTest, WritesAtTheStartPeriodicallyAfterAChangeAndAtTheStop) {
  MetricsRig rig;
  constexpr std::int64_t kReloadAt = kLoopDelayThread.count() + 1000;
  int periodic = 0;
  std::string start;
  std::string reloaded;
  // The monitors join the file within the writes' spacing after the first write.
  rig.clock.At(kMetricsWriteSpacing.count() + 1, [&] { start = rig.Metrics(); });
  rig.clock.At(kLoopDelayThread.count() + 1, [&] { periodic = rig.files.replacements(); });
  rig.clock.At(kReloadAt, [&] {
    EXPECT_TRUE(rig.ini.WriteValue(kIni, "Services", "Item2", "beta||2|0"));
    rig.watchdog.reload_requested = true;
    rig.watchdog.SupervisorWake.Raise();
  });
  // The new monitor's entry may reach the file before the reload is counted; the write
  // after that follows within the writes' spacing.
  rig.clock.At(kReloadAt + kMetricsWriteSpacing.count() + 1, [&] {
    reloaded = rig.Metrics();
    rig.watchdog.StopFlag.Raise();
  });
  EXPECT_EQ(gandry::Run(rig.watchdog), 0);

  EXPECT_THAT(start, HasSubstr("gandry_up 1\n"));
  EXPECT_THAT(start, HasSubstr("gandry_item_attempts_left{service=\"alpha\"} 3\n"));
  // The monitors' own changes may add writes; the periodic one comes all the same.
  EXPECT_GE(periodic, 2);
  EXPECT_THAT(reloaded, HasSubstr("gandry_reloads_total 1\n"));
  EXPECT_THAT(reloaded, HasSubstr("gandry_item_attempts_left{service=\"beta\"} 2\n"));
  EXPECT_THAT(rig.Metrics(), HasSubstr("gandry_up 0\n"));
  EXPECT_THAT(rig.Metrics(), HasSubstr("gandry_reloads_total 1\n"));
}

// Said once while the file cannot be written, tried again at every write, and said again
// after a success; the watchdog goes on throughout.
TEST(MetricsWriterTest, LogsAFileThatCannotBeWrittenOncePerSpell) {
  MetricsRig rig;
  rig.files.replace_fails = win_error::kAccessDenied;
  constexpr std::int64_t kLoop = kLoopDelayThread.count();
  int tried = 0;
  rig.clock.At(2 * kLoop + 1, [&] { rig.files.replace_fails.reset(); });
  rig.clock.At(3 * kLoop + 1, [&] {
    tried = rig.files.replacements();
    rig.files.replace_fails = win_error::kAccessDenied;
  });
  rig.clock.At(5 * kLoop + 1, [&] { rig.watchdog.StopFlag.Raise(); });
  EXPECT_EQ(gandry::Run(rig.watchdog), 0);

  EXPECT_GE(tried, 1);
  const auto lines = rig.Lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(),
                       "Metrics file C:\\gandry\\gandry.prom cannot be written (error 5)."),
            2);
  EXPECT_EQ(lines.back(), "Self service was successfully stopped.");
}

// A reader holding the file keeps it from being replaced for a moment; that is no failure.
TEST(MetricsWriterTest, WaitsOutAReaderThatHoldsTheFile) {
  MetricsRig rig;
  rig.files.replace_fails = win_error::kSharingViolation;
  rig.clock.At(kMetricsRetryPause.count() * 3, [&] { rig.files.replace_fails.reset(); });
  rig.clock.At(kLoopDelayThread.count() / 2, [&] { rig.watchdog.StopFlag.Raise(); });
  EXPECT_EQ(gandry::Run(rig.watchdog), 0);
  EXPECT_GE(rig.files.replacements(), 2);
  EXPECT_THAT(rig.Lines(), Not(Contains(HasSubstr("Metrics file"))));
}

}  // namespace
}  // namespace gandry::testing
