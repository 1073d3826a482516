// TMPTimerPool: many periodic triggers driven by a single platform timer.
//
// Every animated picture of the process adds one trigger to a shared pool;
// the pool runs one periodic timer at the smallest interval any enabled
// trigger asks for (never faster than 55 ms) and, on each tick, fires every
// enabled trigger whose interval has nearly passed ("interval - 23 ms", so a
// trigger whose interval is a multiple of the tick does not slip a whole tick
// because the tick came a few milliseconds early). The timer exists only
// while at least one trigger is enabled.
//
// The clock and the timer are injected (TimerServices), so the pool can be
// driven by hand in tests; the default ones are a monotonic millisecond clock
// and a QTimer on the thread that creates the pool. Everything happens on the
// user-interface thread; there are no locks.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace arkelin::viewers {

class TMPTimerPool;

// The periodic timer the pool runs on. Start replaces any running period.
class IPoolTimer {
 public:
  virtual ~IPoolTimer() = default;
  // Calls onTick every intervalMs milliseconds until Stop.
  virtual void Start(int intervalMs) = 0;
  virtual void Stop() = 0;
  virtual bool Active() const = 0;
  virtual int Interval() const = 0;
  // Set once by the pool before the first Start. The pool, and with it this
  // timer, may be freed from inside onTick: a timer must not touch itself
  // after onTick returns unless it knows it still exists.
  std::function<void()> onTick;
};

// What a pool needs from the platform: a timer and a millisecond tick count.
struct TimerServices {
  std::function<std::unique_ptr<IPoolTimer>()> makeTimer;
  std::function<int64_t()> now;
};

// The services new pools take: the ones installed by SetDefaultTimerServices,
// else a QTimer and a monotonic clock.
TimerServices DefaultTimerServices();
// Replaces the services of pools made from now on; an empty member falls back
// to the built-in one. Meant for tests (see TimerServicesScope in the tests).
void SetDefaultTimerServices(const TimerServices& s);

// (pool, handle, ms since the trigger was made, ms since it last fired).
// OnAllTriggers is called with handle -1 and both times 0.
using TriggerEvent = std::function<void(TMPTimerPool& sender, int handle, int64_t sinceCreated,
                                        int64_t sinceLast)>;

// One trigger of a pool; owned by the pool.
class TTrigger {
 public:
  int Handle() const { return handle_; }
  bool Enabled() const { return enabled_; }
  int Interval() const { return interval_; }
  // Remaining firings; -1 means without end.
  int RepeatCount() const { return repeatCount_; }
  int64_t Created() const { return created_; }
  int64_t LastFired() const { return lastFired_; }

 private:
  friend class TMPTimerPool;
  int handle_ = 0;
  bool enabled_ = true;
  int interval_ = 55;
  int repeatCount_ = -1;
  int64_t created_ = 0;
  int64_t lastFired_ = 0;
  uint64_t serial_ = 0;   // tells a trigger apart from a later one with the same handle
  TriggerEvent onTrigger_;
};

class TMPTimerPool {
 public:
  // The platform timer never runs faster than this.
  static constexpr int kMinInterval = 55;
  // A trigger fires once this much less than its interval has passed.
  static constexpr int kEarlyFire = 23;

  explicit TMPTimerPool(TimerServices services = DefaultTimerServices());
  ~TMPTimerPool();
  TMPTimerPool(const TMPTimerPool&) = delete;
  TMPTimerPool& operator=(const TMPTimerPool&) = delete;

  // Enabled state of triggers made from now on.
  bool DefEnabled = true;
  // Called after every tick, once all due triggers have fired.
  TriggerEvent OnAllTriggers;

  // Makes a trigger with the smallest free handle; interval below 55 ms is
  // stored as 55; repeatCount -1 fires without end. Returns the handle.
  int AddTrigger(int intervalMs, int repeatCount, TriggerEvent handler);
  // These fail with EListError "Invalid trigger handle %d" for a negative
  // handle or one that belongs to no trigger.
  void RemoveTrigger(int handle);
  void SetEnabled(int handle, bool enabled);
  void SetInterval(int handle, int intervalMs);
  const TTrigger& Trigger(int handle) const;

  int TriggerCount() const { return static_cast<int>(triggers_.size()); }
  int EnabledCount() const;

  // The platform timer: whether it runs and at which period (0 when stopped).
  bool TimerActive() const;
  int TimerInterval() const;

  // One tick of the platform timer. Public so a test can tick by hand;
  // normally only the timer calls it.
  void Tick();
  // True while Tick runs (a handler may be removing triggers).
  bool Ticking() const { return tickDepth_ > 0; }
  // For the owner of a pool that wants to free it while a tick is running
  // (a handler removed the last trigger): release runs, and may delete the
  // pool, when the outermost tick ends, provided the pool is still empty.
  void FreeWhenIdle(std::function<void()> release) { releaseWhenIdle_ = std::move(release); }

 private:
  TTrigger* Find(int handle) const;
  TTrigger& Lookup(int handle) const;
  void UpdateTimer();
  void Fire(TTrigger& t, int64_t now);

  TimerServices services_;
  std::unique_ptr<IPoolTimer> timer_;
  std::vector<std::unique_ptr<TTrigger>> triggers_;   // in the order they were made
  uint64_t nextSerial_ = 1;
  int tickDepth_ = 0;
  std::function<void()> releaseWhenIdle_;
};

}  // namespace arkelin::viewers
