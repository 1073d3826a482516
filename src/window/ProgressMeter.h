// How far a long command has come, and when the window should show it.
//
// The engines report every file started and every block of bytes done; on an
// archive of 100,000 small files that is hundreds of thousands of events, and
// repainting the status bar or running the event queue for each of them costs
// far more than the work itself. ProgressMeter adds the events up and answers
// two questions: is a repaint due (at most every 50 ms, about 20 a second),
// and is a turn of the message pump due (at most every 10 ms, so a Cancel
// click or a window uncovered is seen at once). The first event of a command
// is due for both.
//
// The bar position follows files and bytes together: each file counts as
// kFileWeight bytes beside its own size, so a run of tiny files and one large
// file both move the bar evenly. When the engine gave no totals, the bar
// follows the current file alone. No widgets here; the window paints.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>

#include "platform/Platform.h"

namespace arkelin::window {

class ProgressMeter {
 public:
  // Milliseconds from any fixed start.
  using Clock = std::function<int64_t()>;
  // Replaces the steady clock (tests); null restores it.
  static void SetClockForTests(Clock clock);

  static constexpr int kScale = 1000;          // Permille() runs 0..kScale
  static constexpr int64_t kFileWeight = 4096;  // bytes a file counts for
  static constexpr int64_t kRepaintMs = 50;
  static constexpr int64_t kPumpMs = 10;

  // A new command: nothing done, no totals, the next event due for both.
  void Reset();
  // Totals announced by the engine (or known from the list); 0 is unknown.
  void SetTotalFiles(int64_t files) { totalFiles_ = files < 0 ? 0 : files; }
  void SetTotalBytes(int64_t bytes) { totalBytes_ = bytes < 0 ? 0 : bytes; }
  // A file starts: the one before it is done.
  void NewFile(const QString& name, int64_t size);
  // n more bytes of the current file are done.
  void Advance(int64_t n);
  // The current file is done up to position (engines that report offsets).
  void FileAt(int64_t position);
  // The whole batch is done.
  void Finish();

  // 0 .. kScale.
  int Permille() const;
  const QString& CurrentName() const { return name_; }
  int64_t FilesDone() const { return filesDone_; }
  int64_t BytesDone() const { return bytesDone_; }

  // True, and the clock restarts, when a repaint (a pump) is due.
  bool RepaintDue();
  bool PumpDue();

 private:
  static int64_t Now();
  int64_t totalFiles_ = 0, totalBytes_ = 0;
  int64_t filesDone_ = 0, bytesDone_ = 0;
  int64_t filesStarted_ = 0;
  int64_t fileSize_ = 0, fileDone_ = 0;  // the current file
  bool finished_ = false;
  int64_t lastRepaint_ = 0, lastPump_ = 0;
  bool repainted_ = false, pumped_ = false;  // false: the next one is due
  QString name_;
};

// The message pump in force while a long command runs, rationed by its
// meter. The ZIP component lets events run after every callback of its
// library (each file started, each block, each message); on many small
// files that is several calls per file, and each one that reaches the event
// loop costs more than the file. While installed, the component's calls and
// the window's own pass through here and reach the pump that was in force
// only when the meter says a turn is due (PumpDue), so Cancel and repaints
// are still seen within kPumpMs.
class RationedPump : public platform::IMessagePump {
 public:
  explicit RationedPump(ProgressMeter& meter) : meter_(meter) {}
  ~RationedPump() override { Remove(); }
  RationedPump(const RationedPump&) = delete;
  RationedPump& operator=(const RationedPump&) = delete;

  // Puts this pump in force (once; a second call does nothing).
  void Install();
  // Puts back the pump it replaced, unless another was installed since.
  void Remove();
  bool Installed() const { return installed_; }
  // A turn of the pump in force before, when one is due.
  void ProcessMessages() override;

 private:
  ProgressMeter& meter_;
  bool installed_ = false;
  platform::IMessagePump* replaced_ = nullptr;  // as installed (null: the default)
  platform::IMessagePump* forward_ = nullptr;   // what runs the events
};

}  // namespace arkelin::window
