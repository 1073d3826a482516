#include "window/ProgressMeter.h"

#include <algorithm>
#include <chrono>

namespace arkelin::window {

namespace {
ProgressMeter::Clock& TestClock() {
  static ProgressMeter::Clock clock;
  return clock;
}
}  // namespace

void ProgressMeter::SetClockForTests(Clock clock) { TestClock() = std::move(clock); }

int64_t ProgressMeter::Now() {
  if (TestClock()) return TestClock()();
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void ProgressMeter::Reset() { *this = ProgressMeter(); }

void ProgressMeter::NewFile(const QString& name, int64_t size) {
  if (filesStarted_ > filesDone_) ++filesDone_;
  ++filesStarted_;
  name_ = name;
  fileSize_ = std::max<int64_t>(0, size);
  fileDone_ = 0;
}

void ProgressMeter::Advance(int64_t n) {
  if (n <= 0) return;
  bytesDone_ += n;
  fileDone_ += n;
}

void ProgressMeter::FileAt(int64_t position) {
  if (position > fileDone_) Advance(position - fileDone_);
}

void ProgressMeter::Finish() {
  finished_ = true;
  filesDone_ = std::max(filesDone_, filesStarted_);
}

int ProgressMeter::Permille() const {
  if (finished_) return kScale;
  // Doubles: byte totals of hostile archives reach INT64_MAX.
  double done = 0, total = 0;
  if (totalFiles_ > 0 || totalBytes_ > 0) {
    done = static_cast<double>(bytesDone_) + static_cast<double>(filesDone_) * kFileWeight;
    total = static_cast<double>(totalBytes_) + static_cast<double>(totalFiles_) * kFileWeight;
  } else {
    done = static_cast<double>(fileDone_);
    total = static_cast<double>(fileSize_);
  }
  if (total <= 0) return 0;
  return static_cast<int>(std::clamp(done / total, 0.0, 1.0) * kScale);
}

bool ProgressMeter::RepaintDue() {
  const int64_t now = Now();
  if (repainted_ && now - lastRepaint_ < kRepaintMs) return false;
  repainted_ = true;
  lastRepaint_ = now;
  return true;
}

bool ProgressMeter::PumpDue() {
  const int64_t now = Now();
  if (pumped_ && now - lastPump_ < kPumpMs) return false;
  pumped_ = true;
  lastPump_ = now;
  return true;
}

void RationedPump::Install() {
  if (installed_) return;
  platform::Services s = platform::Current();
  replaced_ = s.pump;
  forward_ = &platform::Pump();
  s.pump = this;
  platform::Install(s);
  installed_ = true;
}

void RationedPump::Remove() {
  if (!installed_) return;
  installed_ = false;
  platform::Services s = platform::Current();
  if (s.pump != this) return;
  s.pump = replaced_;
  platform::Install(s);
}

void RationedPump::ProcessMessages() {
  if (!meter_.PumpDue()) return;
  // Not installed (a window's own call outside a command): the pump in force.
  platform::IMessagePump& pump = installed_ ? *forward_ : platform::Pump();
  if (&pump != this) pump.ProcessMessages();
}

}  // namespace arkelin::window
