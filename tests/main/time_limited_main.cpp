// The main of every test program: runs the tests with a time limit on each. A test that hangs
// fails with its own name, rather than holding the run until an outer time-out ends it without
// saying which test it was. MORVIK_TEST_TIME_LIMIT_S sets the limit (seconds, default 60).
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace {

std::chrono::seconds limitFromEnvironment() {
  const char* text = std::getenv("MORVIK_TEST_TIME_LIMIT_S");
  const long seconds = text ? std::strtol(text, nullptr, 10) : 0;
  return std::chrono::seconds(seconds > 0 ? seconds : 60);
}

class TimeLimit final : public ::testing::EmptyTestEventListener {
 public:
  explicit TimeLimit(std::chrono::seconds limit) : limit_(limit), watcher_([this] { watch(); }) {}
  ~TimeLimit() override {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    changed_.notify_all();
    watcher_.join();
  }
  TimeLimit(const TimeLimit&) = delete;
  TimeLimit& operator=(const TimeLimit&) = delete;

  void OnTestStart(const ::testing::TestInfo& test) override {
    {
      std::lock_guard lock(mutex_);
      name_ = std::string(test.test_suite_name()) + "." + test.name();
      deadline_ = std::chrono::steady_clock::now() + limit_;
      ++started_;
      running_ = true;
    }
    changed_.notify_all();
  }
  void OnTestEnd(const ::testing::TestInfo&) override {
    {
      std::lock_guard lock(mutex_);
      running_ = false;
    }
    changed_.notify_all();
  }

 private:
  void watch() {
    std::unique_lock lock(mutex_);
    while (!done_) {
      if (!running_) {
        changed_.wait(lock);
        continue;
      }
      const std::uint64_t test = started_;
      if (changed_.wait_until(lock, deadline_, [&] { return done_ || !running_ || started_ != test; })) continue;
      // The test's thread is stuck: nothing can unwind it, so the program ends here.
      std::fflush(stdout);
      std::fprintf(stderr, "\n[  TIMEOUT ] %s did not end within %lld s\n", name_.c_str(),
                   static_cast<long long>(limit_.count()));
      std::fflush(stderr);
      std::_Exit(1);
    }
  }

  const std::chrono::seconds limit_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string name_;
  std::chrono::steady_clock::time_point deadline_{};
  std::uint64_t started_ = 0;
  bool running_ = false;
  bool done_ = false;
  std::thread watcher_;  // last: starts once the members above exist
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  TimeLimit limit(limitFromEnvironment());
  ::testing::TestEventListeners& listeners = ::testing::UnitTest::GetInstance()->listeners();
  listeners.Append(&limit);
  const int result = RUN_ALL_TESTS();
  listeners.Release(&limit);
  return result;
}
