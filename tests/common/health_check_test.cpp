#include "common/health_check.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace gandry {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

HealthTarget Network(HealthCheckKind kind, std::string host, std::uint16_t port,
                     std::string path = "/") {
  HealthTarget target;
  target.kind = kind;
  target.host = std::move(host);
  target.port = port;
  target.path = std::move(path);
  return target;
}

TEST(HealthSection, NameIsHealthOneBlankAndTheServiceInAnyCase) {
  EXPECT_TRUE(IsHealthSectionOf("Health W3SVC", "w3svc"));
  EXPECT_TRUE(IsHealthSectionOf("hEALTH w3svc", "W3SVC"));
  EXPECT_EQ(HealthSectionService("HEALTH My Service"), "My Service");
  EXPECT_EQ(HealthSectionName("W3SVC"), "Health W3SVC");
  for (const char* other : {"Health", "Health ", "HealthW3SVC", "Health  W3SVC", "Health\tW3SVC",
                            "Healthy W3SVC", "Services", "Health W3SVC2"}) {
    EXPECT_FALSE(IsHealthSectionOf(other, "W3SVC")) << other;
  }
}

TEST(HealthTargetParse, AcceptsEachKind) {
  const std::vector<std::pair<const char*, HealthTarget>> cases = {
      {"tcp://db.local:5432", Network(HealthCheckKind::kTcp, "db.local", 5432)},
      {"TCP://[::1]:80", Network(HealthCheckKind::kTcp, "::1", 80)},
      {"http://127.0.0.1:8080/healthz",
       Network(HealthCheckKind::kHttp, "127.0.0.1", 8080, "/healthz")},
      {"http://web", Network(HealthCheckKind::kHttp, "web", 80)},
      {"http://web?probe=1", Network(HealthCheckKind::kHttp, "web", 80, "/?probe=1")},
      {"HTTPS://[fe80::1]/a/b?c=d", Network(HealthCheckKind::kHttps, "fe80::1", 443, "/a/b?c=d")},
      {"https://web:65535/", Network(HealthCheckKind::kHttps, "web", 65535)},
  };
  for (const auto& [text, expected] : cases) {
    const ParsedTarget parsed = ParseHealthTarget(text);
    ASSERT_TRUE(parsed.target) << text << ": " << parsed.problem;
    EXPECT_EQ(*parsed.target, expected) << text;
  }
  const ParsedTarget exec = ParseHealthTarget(R"(  Exec:  "C:\Tools\probe.exe" --quick  )");
  ASSERT_TRUE(exec.target);
  EXPECT_EQ(exec.target->kind, HealthCheckKind::kExec);
  EXPECT_EQ(exec.target->program, R"(C:\Tools\probe.exe)");
  EXPECT_EQ(exec.target->command_line, R"("C:\Tools\probe.exe" --quick)");
}

TEST(HealthTargetParse, RejectsWithAReason) {
  for (const char* text : {"",
                           "ftp://web/",
                           "web:80",
                           "tcp://web",
                           "tcp://:80",
                           "tcp://web:0",
                           "tcp://web:65536",
                           "tcp://web:80x",
                           "tcp://web:+80",
                           "tcp://web:80/path",
                           "tcp://::1:80",
                           "tcp://[::1:80",
                           "http://",
                           "http:///x",
                           "http://user:pw@web/",
                           "http://web:/",
                           "http://web/a b",
                           "http://web/#top",
                           "exec:",
                           "exec:   ",
                           R"(exec:"" -a)"}) {
    const ParsedTarget parsed = ParseHealthTarget(text);
    EXPECT_FALSE(parsed.target) << text;
    EXPECT_FALSE(parsed.problem.empty()) << text;
  }
}

TEST(HealthExecProgram, QuotedOrUpToTheFirstBlank) {
  const ExecProgram quoted = ExecProgramOf(R"("C:\Program Files\p.exe" -a)");
  EXPECT_EQ(quoted.path, R"(C:\Program Files\p.exe)");
  EXPECT_TRUE(quoted.quoted);
  const ExecProgram bare = ExecProgramOf(R"(C:\Program Files\p.exe -a)");
  EXPECT_EQ(bare.path, R"(C:\Program)");
  EXPECT_FALSE(bare.quoted);
}

TEST(HealthSectionParse, NumbersInRangeAreUsedAndMissingOnesDefaultSilently) {
  const HealthSectionReading edges = ParseHealthSection({"tcp://h:1", "3600", "60", "100", "0"});
  ASSERT_TRUE(edges.check);
  EXPECT_THAT(edges.problems, IsEmpty());
  EXPECT_EQ(edges.check->interval_seconds, 3600);
  EXPECT_EQ(edges.check->timeout_seconds, 60);
  EXPECT_EQ(edges.check->failures, 100);
  EXPECT_EQ(edges.check->grace_seconds, 0);
  EXPECT_EQ(edges.check->check_text, "tcp://h:1");

  const HealthSectionReading defaults = ParseHealthSection({"tcp://h:1", "", "", "", ""});
  ASSERT_TRUE(defaults.check);
  EXPECT_THAT(defaults.problems, IsEmpty());
  EXPECT_EQ(defaults.check->interval_seconds, 30);
  EXPECT_EQ(defaults.check->timeout_seconds, 5);
  EXPECT_EQ(defaults.check->failures, 3);
  EXPECT_EQ(defaults.check->grace_seconds, 60);
}

TEST(HealthSectionParse, EachBadNumberTakesItsDefaultAndIsReported) {
  const HealthSectionReading reading = ParseHealthSection({"tcp://h:1", "4", "1.5", "101", "-1"});
  ASSERT_TRUE(reading.check);
  EXPECT_EQ(reading.check->interval_seconds, 30);
  EXPECT_EQ(reading.check->timeout_seconds, 5);
  EXPECT_EQ(reading.check->failures, 3);
  EXPECT_EQ(reading.check->grace_seconds, 60);
  EXPECT_THAT(reading.problems, ElementsAre(HasSubstr("Interval=4"), HasSubstr("Timeout=1.5"),
                                            HasSubstr("Failures=101"), HasSubstr("Grace=-1")));
  for (const char* text : {"abc", "12abc", "0x1E", "99999999999"}) {
    EXPECT_EQ(ParseHealthSection({"tcp://h:1", text, "", "", ""}).check->interval_seconds, 30)
        << text;
  }
}

TEST(HealthSectionParse, TimeoutStaysBelowTheInterval) {
  const HealthSectionReading equal = ParseHealthSection({"tcp://h:1", "10", "10", "", ""});
  EXPECT_EQ(equal.check->timeout_seconds, 5);
  EXPECT_THAT(equal.problems, ElementsAre(HasSubstr("Timeout=10 is not below Interval (10)")));
  // The default time-out equals the shortest interval, so it cannot always stand in.
  const HealthSectionReading shortest = ParseHealthSection({"tcp://h:1", "5", "", "", ""});
  EXPECT_EQ(shortest.check->timeout_seconds, 4);
  EXPECT_EQ(ParseHealthSection({"tcp://h:1", "5", "4", "", ""}).check->timeout_seconds, 4);
}

TEST(HealthSectionParse, MissingOrBadCheckMeansNoCheckWithTheReason) {
  const HealthSectionReading missing = ParseHealthSection({"", "10", "", "", ""});
  EXPECT_FALSE(missing.check);
  EXPECT_THAT(missing.problems, ElementsAre(HasSubstr("Check is missing")));
  const HealthSectionReading bad = ParseHealthSection({"tcp://web", "", "", "", "abc"});
  EXPECT_FALSE(bad.check);
  EXPECT_THAT(bad.problems, ElementsAre(HasSubstr("Grace=abc"),
                                        HasSubstr("Check=tcp://web: a TCP check needs a port")));
}

TEST(HealthFailureText, SaysWhyAsTheLogLineNeedsIt) {
  EXPECT_EQ(DescribeProbeFailure({ProbeFailure::kRefused, 10061}), "connection refused");
  EXPECT_EQ(DescribeProbeFailure({ProbeFailure::kTimedOut, 5}), "timed out after 5 s");
  EXPECT_EQ(DescribeProbeFailure({ProbeFailure::kHttpStatus, 503}), "HTTP status 503");
  EXPECT_EQ(DescribeProbeFailure({ProbeFailure::kExitCode, 3}), "exit code 3");
  EXPECT_EQ(DescribeProbeFailure({ProbeFailure::kConnectFailed, 10050}),
            "connection failed (error 10050)");
}

}  // namespace
}  // namespace gandry
