#include "watchdog/metrics_writer.h"

#include <cstddef>
#include <utility>

#include "common/product_version.h"
#include "watchdog/format_text.h"
#include "watchdog/metrics_text.h"

namespace gandry {

namespace {

// The text is built on the heap; the stack holds only a few frames.
constexpr std::size_t kWriterStackReservation = std::size_t{256} * 1024;

void LogCannotWrite(WatchdogLog& log, const std::string& path, std::uint32_t code) {
  log.LogEvent(EventKind::kMetricsNotWritten,
               FormatText("Metrics file %s cannot be written (error %u).", path.c_str(),
                          static_cast<unsigned>(code)));
}

// A service name, read in the ANSI code page, as the UTF-8 the format requires. A name that
// cannot be converted keeps its ASCII and gets "?" for every other byte, so that the file
// stays valid.
std::string Utf8Name(TextEncoding& encoding, const std::string& name) {
  bool ascii = true;
  for (const char c : name) {
    ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  }
  if (ascii) {
    return name;
  }
  if (Result<std::string> utf8 = encoding.AnsiToUtf8(name)) {
    return std::move(*utf8);
  }
  std::string replaced = name;
  for (char& c : replaced) {
    c = static_cast<unsigned char>(c) < 0x80 ? c : '?';
  }
  return replaced;
}

}  // namespace

MetricsWriter::MetricsWriter(Watchdog& watchdog, MetricsSource source)
    : watchdog_(watchdog), source_(std::move(source)) {}

void MetricsWriter::Start() {
  const std::string path = watchdog_.settings.metrics_file.Get();
  if (thread_ || path.empty()) {
    return;
  }
  Result<std::unique_ptr<Thread>> thread =
      watchdog_.threads.Create([this] { Body(); }, kWriterStackReservation);
  if (!thread) {
    LogCannotWrite(watchdog_.log, path, thread.error().code);
    return;
  }
  thread_ = std::move(*thread);
  thread_->Run();
}

void MetricsWriter::Stop() {
  if (!thread_) {
    return;
  }
  stop_.Raise();
  source_.changed->Raise();
  watchdog_.clock.SleepUntil(finished_);
  thread_->Join();
  thread_.reset();
}

void MetricsWriter::Body() {
  Clock& clock = watchdog_.clock;
  for (;;) {
    source_.changed->Lower();
    if (stop_.IsRaised()) {
      break;
    }
    Write(true);
    const std::int64_t written_at = clock.TickMs();
    const bool changed = clock.Sleep(
        std::chrono::milliseconds(watchdog_.settings.loop_delay_thread_ms.load()), source_.changed);
    const std::int64_t wait = written_at + kMetricsWriteSpacing.count() - clock.TickMs();
    if (changed && wait > 0 && !stop_.IsRaised()) {
      clock.Sleep(std::chrono::milliseconds(wait), &stop_);
    }
  }
  Write(false);
  finished_.Raise();
}

Status MetricsWriter::Replace(const std::string& path, const std::string& text) {
  Status written = watchdog_.files.ReplaceContents(path, text);
  for (int retry = 0; retry < kMetricsRetries && !written; ++retry) {
    const ErrorKind kind = written.error().kind;
    if (kind != ErrorKind::kAccessDenied && kind != ErrorKind::kBusy) {
      break;
    }
    // Not cut short by a stop: the last write, which says the watchdog has stopped, matters
    // most.
    watchdog_.clock.Sleep(kMetricsRetryPause, nullptr);
    written = watchdog_.files.ReplaceContents(path, text);
  }
  return written;
}

void MetricsWriter::Write(bool up) {
  const std::string path = watchdog_.settings.metrics_file.Get();
  if (path.empty()) {
    return;
  }
  if (path != last_path_) {
    last_path_ = path;
    failing_ = false;
  }
  std::vector<LiveItem> items = source_.snapshot();
  for (LiveItem& item : items) {
    item.service = Utf8Name(watchdog_.encoding, item.service);
  }
  const std::string text =
      MetricsText(items, {.up = up, .reloads = source_.reloads(), .version = kProductVersion});
  const Status written = Replace(path, text);
  if (!written && !failing_) {
    LogCannotWrite(watchdog_.log, path, written.error().code);
  }
  failing_ = !written;
}

}  // namespace gandry
