// Progress of one event while the plug-in works on it. The plug-in scans inside EventCallback on
// the calling thread and says nothing until it returns, so a second thread reports every few
// seconds how long the event has run and how far the new scan has got: the scan the plug-in is
// writing ("<stem>scan.new" in the log folder), its size and its entries so far.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class EventProgress {
 public:
  // Starts reporting on event every period_ms, until the object goes.
  EventProgress(const std::string& event, const std::string& log_path, unsigned period_ms);
  ~EventProgress();
  EventProgress(const EventProgress&) = delete;
  EventProgress& operator=(const EventProgress&) = delete;

 private:
  void Report(unsigned elapsed_ms) const;
  void Run();

  const std::string event_;
  const std::string log_path_;
  const unsigned period_ms_;
  std::mutex lock_;
  std::condition_variable wake_;
  bool done_ = false;
  std::thread thread_;
};

// How often an event in progress is reported.
constexpr unsigned kProgressPeriodMs = 3000;
