#pragma once

#include <string>
#include <vector>

namespace gandry::rig {

// A fresh folder in the temporary folder, named `stem` plus a part unique to this run, with a
// copy of gandry.svc and a "Gandry.ini" of our choosing; removed at the end.
class WatchdogFolder {
 public:
  explicit WatchdogFolder(const std::string& stem);
  WatchdogFolder(const WatchdogFolder&) = delete;
  WatchdogFolder& operator=(const WatchdogFolder&) = delete;
  ~WatchdogFolder();

  // The folder exists and holds the copy.
  bool ready() const { return ready_; }
  std::string program() const { return path_ + "gandry.svc"; }
  std::string ini() const { return path_ + "Gandry.ini"; }
  // The path of a file `name` in the folder; the caller removes what it makes there.
  std::string Path(const std::string& name) const { return path_ + name; }
  // The command line that starts the copy with `option`, its path quoted.
  std::string CommandLine(const std::string& option) const;
  // The folder's name, unique to this run: it tells the watchdog's process from others.
  std::string Marker() const;
  // Writes the whole "Gandry.ini": the three delays in seconds and the items Item1, Item2...
  bool WriteIni(int loop_delay_thread, int loop_delay_service, int start_delay_thread,
                const std::vector<std::string>& items) const;
  // Writes `bytes` as the whole "Gandry.ini", whatever they hold.
  bool WriteIniText(const std::string& bytes) const;
  // A value of "Gandry.ini" as it is now; empty when missing.
  std::string Read(const char* section, const char* key) const;

 private:
  std::string path_;
  bool ready_ = false;
};

}  // namespace gandry::rig
