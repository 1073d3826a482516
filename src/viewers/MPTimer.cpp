// TMPTimerPool: see MPTimer.h.
#include "viewers/MPTimer.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <exception>
#include <memory>

#include "platform/Platform.h"
#include "viewers/GraphicErrors.h"

namespace arkelin::viewers {

namespace {

// The periodic QTimer behind a pool. A handler may free the pool, and with
// it this object, from inside the timer's own timeout signal. The slot
// therefore keeps its state in a block it shares with this object, and the
// QTimer is then handed to the event loop for deletion instead of being
// deleted under its own signal.
class QtPoolTimer : public IPoolTimer {
 public:
  QtPoolTimer() : timer_(new QTimer), shared_(std::make_shared<Shared>()) {
    shared_->owner = this;
    std::shared_ptr<Shared> shared = shared_;
    QObject::connect(timer_, &QTimer::timeout, [shared] {
      if (!shared->owner) return;
      ++shared->inTimeout;
      std::function<void()> tick = shared->owner->onTick;   // outlives its owner if need be
      if (tick) tick();
      --shared->inTimeout;
    });
  }
  ~QtPoolTimer() override {
    shared_->owner = nullptr;
    if (!timer_) return;
    timer_->stop();
    if (shared_->inTimeout > 0)
      timer_->deleteLater();
    else
      delete timer_;
  }
  void Start(int intervalMs) override { timer_->start(intervalMs); }
  void Stop() override { timer_->stop(); }
  bool Active() const override { return timer_->isActive(); }
  int Interval() const override { return timer_->isActive() ? timer_->interval() : 0; }

 private:
  struct Shared {
    QtPoolTimer* owner = nullptr;
    int inTimeout = 0;
  };
  QPointer<QTimer> timer_;
  std::shared_ptr<Shared> shared_;
};

int64_t MonotonicMs() {
  static QElapsedTimer clock = [] {
    QElapsedTimer t;
    t.start();
    return t;
  }();
  return clock.elapsed();
}

TimerServices& Installed() {
  static TimerServices s;
  return s;
}

}  // namespace

TimerServices DefaultTimerServices() {
  TimerServices s = Installed();
  if (!s.makeTimer) s.makeTimer = [] { return std::unique_ptr<IPoolTimer>(new QtPoolTimer); };
  if (!s.now) s.now = MonotonicMs;
  return s;
}

void SetDefaultTimerServices(const TimerServices& s) { Installed() = s; }

TMPTimerPool::TMPTimerPool(TimerServices services) : services_(std::move(services)) {
  const TimerServices fallback = DefaultTimerServices();
  if (!services_.makeTimer) services_.makeTimer = fallback.makeTimer;
  if (!services_.now) services_.now = fallback.now;
  timer_ = services_.makeTimer();
  timer_->onTick = [this] { Tick(); };
}

TMPTimerPool::~TMPTimerPool() {
  if (timer_) {
    timer_->Stop();
    timer_->onTick = nullptr;
  }
}

TTrigger* TMPTimerPool::Find(int handle) const {
  if (handle < 0) return nullptr;
  for (const auto& t : triggers_)
    if (t->handle_ == handle) return t.get();
  return nullptr;
}

TTrigger& TMPTimerPool::Lookup(int handle) const {
  TTrigger* t = Find(handle);
  if (!t) throw EListError(FormatMessage("Invalid trigger handle %d", handle));
  return *t;
}

const TTrigger& TMPTimerPool::Trigger(int handle) const { return Lookup(handle); }

int TMPTimerPool::AddTrigger(int intervalMs, int repeatCount, TriggerEvent handler) {
  int handle = 0;
  while (Find(handle)) ++handle;
  auto t = std::make_unique<TTrigger>();
  t->handle_ = handle;
  t->enabled_ = DefEnabled;
  t->interval_ = std::max(intervalMs, kMinInterval);
  t->repeatCount_ = repeatCount;
  t->created_ = t->lastFired_ = services_.now();
  t->serial_ = nextSerial_++;
  t->onTrigger_ = std::move(handler);
  triggers_.push_back(std::move(t));
  UpdateTimer();
  return handle;
}

void TMPTimerPool::RemoveTrigger(int handle) {
  TTrigger* t = &Lookup(handle);
  triggers_.erase(std::find_if(triggers_.begin(), triggers_.end(),
                               [t](const auto& p) { return p.get() == t; }));
  UpdateTimer();
}

void TMPTimerPool::SetEnabled(int handle, bool enabled) {
  Lookup(handle).enabled_ = enabled;
  UpdateTimer();
}

void TMPTimerPool::SetInterval(int handle, int intervalMs) {
  Lookup(handle).interval_ = std::max(intervalMs, kMinInterval);
  UpdateTimer();
}

int TMPTimerPool::EnabledCount() const {
  return static_cast<int>(
      std::count_if(triggers_.begin(), triggers_.end(), [](const auto& t) { return t->enabled_; }));
}

bool TMPTimerPool::TimerActive() const { return timer_ && timer_->Active(); }

int TMPTimerPool::TimerInterval() const { return TimerActive() ? timer_->Interval() : 0; }

void TMPTimerPool::UpdateTimer() {
  int m = 0;
  for (const auto& t : triggers_)
    if (t->enabled_ && (m == 0 || t->interval_ < m)) m = t->interval_;
  if (m == 0) {
    if (timer_->Active()) timer_->Stop();
    return;
  }
  m = std::max(m, kMinInterval);
  if (timer_->Active() && timer_->Interval() == m) return;
  timer_->Stop();
  timer_->Start(m);
}

void TMPTimerPool::Fire(TTrigger& t, int64_t now) {
  const int handle = t.handle_;
  const uint64_t serial = t.serial_;
  const int64_t sinceCreated = now - t.created_;
  const int64_t sinceLast = now - t.lastFired_;
  if (t.onTrigger_) {
    try {
      // Copied: the handler may change or remove its own trigger.
      TriggerEvent handler = t.onTrigger_;
      handler(*this, handle, sinceCreated, sinceLast);
    } catch (const EAbort&) {
    } catch (const std::exception& e) {
      platform::Dialogs().MessageBox(e.what(), platform::MsgKind::Error, platform::BtnOK);
    }
  }
  // The handler may have removed the trigger (and a new one may have taken
  // its handle): only touch it when it is still the same trigger.
  TTrigger* still = Find(handle);
  if (!still || still->serial_ != serial) return;
  still->lastFired_ = now;
  if (still->repeatCount_ > 0) {
    --still->repeatCount_;
    if (still->repeatCount_ == 0) {
      still->enabled_ = false;
      still->repeatCount_ = -1;
      UpdateTimer();
    }
  }
}

void TMPTimerPool::Tick() {
  ++tickDepth_;
  const int64_t now = services_.now();
  // Handlers may add or remove triggers, so walk a snapshot and look each
  // trigger up again before firing it.
  std::vector<std::pair<int, uint64_t>> order;
  order.reserve(triggers_.size());
  for (const auto& t : triggers_) order.emplace_back(t->handle_, t->serial_);
  for (const auto& [handle, serial] : order) {
    TTrigger* t = Find(handle);
    if (!t || t->serial_ != serial || !t->enabled_) continue;
    if (now - t->lastFired_ >= t->interval_ - kEarlyFire) Fire(*t, now);
  }
  if (OnAllTriggers) {
    try {
      TriggerEvent handler = OnAllTriggers;
      handler(*this, -1, 0, 0);
    } catch (const EAbort&) {
    } catch (const std::exception& e) {
      platform::Dialogs().MessageBox(e.what(), platform::MsgKind::Error, platform::BtnOK);
    }
  }
  --tickDepth_;
  if (tickDepth_ == 0 && releaseWhenIdle_) {
    auto release = std::move(releaseWhenIdle_);
    releaseWhenIdle_ = nullptr;
    if (triggers_.empty()) release();   // may delete this pool: touch nothing after it
  }
}

}  // namespace arkelin::viewers
