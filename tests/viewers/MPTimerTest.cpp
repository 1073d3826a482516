// The timer pool driven by a hand-run clock and timer: handles, the 55 ms
// floor, one platform timer at the smallest enabled interval, the early-fire
// rule, repeat counts, OnAllTriggers and handlers that fail or remove triggers.
#include <gtest/gtest.h>

#include "GifTestSupport.h"
#include "platform/FakePlatform.h"
#include "viewers/GraphicErrors.h"
#include "viewers/MPTimer.h"

using namespace arkelin::viewers;
using namespace arkelin::viewers::testing;

namespace {
TriggerEvent Counter(int& n) {
  return [&n](TMPTimerPool&, int, int64_t, int64_t) { ++n; };
}
}  // namespace

TEST(TMPTimerPool, HandlesAreTheSmallestFreeNumbers) {
  FakeTimerScope clock;
  TMPTimerPool pool;
  EXPECT_EQ(pool.AddTrigger(100, -1, nullptr), 0);
  EXPECT_EQ(pool.AddTrigger(100, -1, nullptr), 1);
  EXPECT_EQ(pool.AddTrigger(100, -1, nullptr), 2);
  pool.RemoveTrigger(1);
  EXPECT_EQ(pool.TriggerCount(), 2);
  EXPECT_EQ(pool.AddTrigger(100, -1, nullptr), 1);
  EXPECT_EQ(pool.AddTrigger(100, -1, nullptr), 3);
}

TEST(TMPTimerPool, IntervalsBelowTheFloorAreStoredAs55) {
  FakeTimerScope clock;
  TMPTimerPool pool;
  const int h = pool.AddTrigger(10, -1, nullptr);
  EXPECT_EQ(pool.Trigger(h).Interval(), 55);
  pool.SetInterval(h, 0);
  EXPECT_EQ(pool.Trigger(h).Interval(), 55);
  pool.SetInterval(h, 56);
  EXPECT_EQ(pool.Trigger(h).Interval(), 56);
  EXPECT_EQ(clock.Last()->interval, 56);
}

TEST(TMPTimerPool, UnknownHandlesFailWithAListError) {
  FakeTimerScope clock;
  TMPTimerPool pool;
  pool.AddTrigger(100, -1, nullptr);
  for (int bad : {-1, 1, 7}) {
    try {
      pool.SetEnabled(bad, true);
      FAIL() << "no error for handle " << bad;
    } catch (const EListError& e) {
      EXPECT_EQ(std::string(e.what()), "Invalid trigger handle " + std::to_string(bad));
    }
    EXPECT_THROW(pool.RemoveTrigger(bad), EListError);
    EXPECT_THROW(pool.SetInterval(bad, 100), EListError);
  }
  EXPECT_EQ(pool.TriggerCount(), 1);
}

TEST(TMPTimerPool, RunsOneTimerAtTheSmallestEnabledInterval) {
  FakeTimerScope clock;
  TMPTimerPool pool;
  ASSERT_EQ(clock.timers.size(), 1u);
  FakePoolTimer& timer = *clock.Last();
  pool.DefEnabled = false;
  const int a = pool.AddTrigger(300, -1, nullptr);
  const int b = pool.AddTrigger(100, -1, nullptr);
  EXPECT_FALSE(pool.TimerActive()) << "no trigger is enabled";
  EXPECT_EQ(pool.EnabledCount(), 0);

  pool.SetEnabled(a, true);
  EXPECT_TRUE(timer.active);
  EXPECT_EQ(timer.interval, 300);
  pool.SetEnabled(b, true);
  EXPECT_EQ(timer.interval, 100);
  const int starts = timer.starts;
  pool.SetEnabled(a, false);
  pool.SetEnabled(a, true);
  EXPECT_EQ(timer.starts, starts) << "the timer is kept while its interval stays";
  EXPECT_EQ(pool.EnabledCount(), 2);

  pool.RemoveTrigger(b);
  EXPECT_EQ(timer.interval, 300);
  pool.SetEnabled(a, false);
  EXPECT_FALSE(timer.active);
  EXPECT_EQ(pool.TimerInterval(), 0);
}

TEST(TMPTimerPool, FiresWhenTheIntervalLess23MsHasPassed) {
  FakeTimerScope clock;
  TMPTimerPool pool;
  std::vector<std::pair<int64_t, int64_t>> calls;   // (since created, since last)
  pool.AddTrigger(55, -1, nullptr);                 // makes the timer tick every 55 ms
  pool.AddTrigger(100, -1, [&](TMPTimerPool&, int h, int64_t created, int64_t last) {
    EXPECT_EQ(h, 1);
    calls.emplace_back(created, last);
  });
  EXPECT_EQ(clock.RunFor(330), 6);   // ticks at 55, 110, ..., 330
  // 100 - 23 = 77 ms must have passed: fires at 110, 220, 330.
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0], std::make_pair(int64_t(110), int64_t(110)));
  EXPECT_EQ(calls[1], std::make_pair(int64_t(220), int64_t(110)));
  EXPECT_EQ(calls[2], std::make_pair(int64_t(330), int64_t(110)));
}

TEST(TMPTimerPool, FiresUpTo23MsBeforeItsInterval) {
  FakeTimerScope clock;
  TMPTimerPool pool;
  std::vector<int64_t> at;
  pool.AddTrigger(55, -1, nullptr);
  // 110 ms after the start is 10 ms short of 120 but past 120 - 23 = 97.
  pool.AddTrigger(120, -1, [&](TMPTimerPool&, int, int64_t created, int64_t) { at.push_back(created); });
  // 140: at 110 only 110 - 0 >= 117 fails, so the first firing is at 165.
  pool.AddTrigger(140, -1, [&](TMPTimerPool&, int, int64_t created, int64_t) { at.push_back(1000 + created); });
  clock.RunFor(165);
  EXPECT_EQ(at, (std::vector<int64_t>{110, 1165}));
}

TEST(TMPTimerPool, TwoIntervalsShareOneTimer) {
  FakeTimerScope clock;
  TMPTimerPool pool;
  int tick = 0;
  std::vector<int> fastTicks, slowTicks;
  pool.AddTrigger(100, -1, [&](TMPTimerPool&, int, int64_t, int64_t) { fastTicks.push_back(tick + 1); });
  pool.AddTrigger(300, -1, [&](TMPTimerPool&, int, int64_t, int64_t) { slowTicks.push_back(tick + 1); });
  pool.OnAllTriggers = [&](TMPTimerPool&, int handle, int64_t a, int64_t b) {
    EXPECT_EQ(handle, -1);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 0);
    ++tick;
  };
  EXPECT_EQ(clock.timers.size(), 1u);
  EXPECT_EQ(clock.Last()->interval, 100);
  EXPECT_EQ(clock.RunFor(900), 9);
  EXPECT_EQ(tick, 9);
  EXPECT_EQ(fastTicks, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(slowTicks, (std::vector<int>{3, 6, 9}));
}

TEST(TMPTimerPool, RepeatCountDisablesTheTriggerWhenUsedUp) {
  FakeTimerScope clock;
  TMPTimerPool pool;
  int fired = 0;
  const int h = pool.AddTrigger(100, 3, Counter(fired));
  EXPECT_EQ(pool.Trigger(h).RepeatCount(), 3);
  clock.RunFor(1000);
  EXPECT_EQ(fired, 3);
  EXPECT_FALSE(pool.Trigger(h).Enabled());
  EXPECT_EQ(pool.Trigger(h).RepeatCount(), -1);
  EXPECT_FALSE(pool.TimerActive()) << "nothing is enabled any more";

  int endless = 0;
  pool.AddTrigger(100, -1, Counter(endless));
  clock.RunFor(1000);
  EXPECT_EQ(endless, 10);
  EXPECT_EQ(fired, 3);
}

TEST(TMPTimerPool, HandlerErrorsAreShownAndAbortsAreSilent) {
  arkelin::platform::FakePlatformScope platform;
  FakeTimerScope clock;
  TMPTimerPool pool;
  int after = 0;
  const int failing = pool.AddTrigger(100, -1, [](TMPTimerPool&, int, int64_t, int64_t) {
    throw EStreamError("Frame went wrong");
  });
  pool.AddTrigger(100, -1, [](TMPTimerPool&, int, int64_t, int64_t) { throw EAbort(); });
  pool.AddTrigger(100, -1, Counter(after));
  clock.RunFor(200);
  EXPECT_EQ(after, 2) << "the triggers after a failing one still fire";
  ASSERT_EQ(platform.dialogs.boxes.size(), 2u);
  EXPECT_EQ(platform.dialogs.boxes[0].text, "Frame went wrong");
  EXPECT_EQ(platform.dialogs.boxes[0].kind, arkelin::platform::MsgKind::Error);
  EXPECT_EQ(pool.Trigger(failing).LastFired(), clock.now) << "a failing trigger still counts as fired";
}

TEST(TMPTimerPool, HandlersMayRemoveTriggersDuringATick) {
  FakeTimerScope clock;
  TMPTimerPool pool;
  int second = 0, third = 0;
  pool.AddTrigger(100, -1, [&](TMPTimerPool& p, int self, int64_t, int64_t) {
    p.RemoveTrigger(self);
    p.RemoveTrigger(1);
  });
  pool.AddTrigger(100, -1, Counter(second));
  pool.AddTrigger(100, -1, Counter(third));
  clock.RunFor(300);
  EXPECT_EQ(second, 0);
  EXPECT_EQ(third, 3);
  EXPECT_EQ(pool.TriggerCount(), 1);
}

// ---- The real timer -------------------------------------------------------------

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include "viewers/MPGifImg.h"

namespace {
void EnsureCoreApp() {
  if (QCoreApplication::instance()) return;
  static int argc = 1;
  static char name[] = "arkelin_viewers_MPTimerTest";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* app = new QCoreApplication(argc, argv);
  (void)app;
}
}  // namespace

TEST(TMPTimerPool, TheQtTimerFollowsTheEnabledTriggers) {
  EnsureCoreApp();
  TMPTimerPool pool;   // default services: a QTimer and the monotonic clock
  pool.DefEnabled = false;
  const int a = pool.AddTrigger(300, -1, nullptr);
  const int b = pool.AddTrigger(120, -1, nullptr);
  EXPECT_FALSE(pool.TimerActive());
  pool.SetEnabled(a, true);
  EXPECT_TRUE(pool.TimerActive());
  EXPECT_EQ(pool.TimerInterval(), 300);
  pool.SetEnabled(b, true);
  EXPECT_EQ(pool.TimerInterval(), 120);
  pool.RemoveTrigger(b);
  pool.RemoveTrigger(a);
  EXPECT_FALSE(pool.TimerActive());
}

TEST(TMPTimerPool, AnImageFreedInsideARealTimerTickTakesThePoolWithIt) {
  // Not a timing test: the event loop runs until the first tick has freed
  // the last image (and so the pool and its QTimer), with a guard against
  // a tick that never comes.
  EnsureCoreApp();
  ASSERT_EQ(TGIFImage::Pool(), nullptr);
  std::string gif = "GIF89a";
  gif += std::string("\x01\x00\x01\x00\x80\x00\x00", 7) + std::string(6, '\x10');   // 1x1, 2 colours
  for (int i = 0; i < 2; ++i) gif += std::string("\x2C\0\0\0\0\x01\0\x01\0\0\x02\x02\x44\x01\0", 15);
  gif += ';';
  auto* image = new TGIFImage;
  image->LoadFromBytes(QByteArray(gif.data(), static_cast<qsizetype>(gif.size())));
  ASSERT_EQ(image->FrameCount(), 2);
  QEventLoop loop;
  image->OnChange = [&](TGraphic&) {
    delete image;
    image = nullptr;
    loop.quit();
  };
  image->SetAnimate(true);
  ASSERT_TRUE(TGIFImage::Pool()->TimerActive());
  QTimer::singleShot(3000, &loop, &QEventLoop::quit);
  loop.exec();
  ASSERT_EQ(image, nullptr) << "the pool's timer never ticked";
  EXPECT_EQ(TGIFImage::Pool(), nullptr);
  QCoreApplication::processEvents();   // lets the deferred QTimer deletion run
}
