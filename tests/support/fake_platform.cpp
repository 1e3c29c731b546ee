#include "support/fake_platform.h"

#include <chrono>

namespace qarx::testing {

bool FakeThreads::StartDetached(std::function<void()> body) {
  if (failStarts) return false;
  if (deferred) {
    std::lock_guard lock(mu_);
    pending_.push_back(std::move(body));
    ++started_;  // counted once it can be run
    cv_.notify_all();
    return true;
  }
  {
    std::lock_guard lock(mu_);
    ++started_;
    cv_.notify_all();
  }
  if (real) {
    {
      std::lock_guard lock(mu_);
      ++running_;
    }
    std::thread([this, body = std::move(body)] {
      body();
      std::lock_guard lock(mu_);
      --running_;
      cv_.notify_all();
    }).detach();
    return true;
  }
  body();
  return true;
}

void FakeThreads::RunPending() {
  for (;;) {
    std::vector<std::function<void()>> batch;
    {
      std::lock_guard lock(mu_);
      batch.swap(pending_);
    }
    if (batch.empty()) return;
    for (auto& body : batch) body();
  }
}

void FakeThreads::Sleep(uint32_t milliseconds) {
  std::lock_guard lock(mu_);
  sleeps_.push_back(milliseconds);
}

std::vector<uint32_t> FakeThreads::sleeps() const {
  std::lock_guard lock(mu_);
  return sleeps_;
}

bool FakeThreads::AwaitStarted(int n) {
  std::unique_lock lock(mu_);
  return cv_.wait_for(lock, std::chrono::seconds(10), [&] { return started_ >= n; });
}

void FakeThreads::WaitIdle() {
  std::unique_lock lock(mu_);
  cv_.wait(lock, [this] { return running_ == 0; });
}

struct FakeMutexes::State {
  std::mutex mu;
  std::condition_variable cv;
  int handles = 0;
  std::thread::id owner;
  int depth = 0;
};

class FakeNamedMutex : public NamedMutex {
 public:
  FakeNamedMutex(FakeMutexes& port, std::u16string name, std::shared_ptr<FakeMutexes::State> state)
      : port_(port), name_(std::move(name)), state_(std::move(state)) {}
  ~FakeNamedMutex() override {
    std::lock_guard lock(port_.mu_);
    std::lock_guard inner(state_->mu);
    if (--state_->handles == 0) port_.names_.erase(name_);
  }
  bool Wait() override {
    std::unique_lock lock(state_->mu);
    const auto me = std::this_thread::get_id();
    state_->cv.wait(lock, [&] { return state_->depth == 0 || state_->owner == me; });
    state_->owner = me;
    ++state_->depth;
    return true;
  }
  bool Release() override {
    std::lock_guard lock(state_->mu);
    if (state_->depth == 0 || state_->owner != std::this_thread::get_id()) return false;
    if (--state_->depth == 0) {
      state_->owner = {};
      state_->cv.notify_all();
    }
    return true;
  }

 private:
  FakeMutexes& port_;
  std::u16string name_;
  std::shared_ptr<FakeMutexes::State> state_;
};

std::unique_ptr<NamedMutex> FakeMutexes::Create(const std::u16string& name, bool initialOwner,
                                                bool& alreadyExisted) {
  alreadyExisted = false;
  if (failCreate) return nullptr;
  std::shared_ptr<State> state;
  {
    std::lock_guard lock(mu_);
    ++creates_[name];
    auto it = names_.find(name);
    alreadyExisted = it != names_.end();
    if (alreadyExisted) {
      state = it->second;
    } else {
      state = std::make_shared<State>();
      names_[name] = state;
    }
    std::lock_guard inner(state->mu);
    ++state->handles;
  }
  auto handle = std::make_unique<FakeNamedMutex>(*this, name, state);
  if (initialOwner && !alreadyExisted) handle->Wait();
  return handle;
}

bool FakeMutexes::Exists(const std::u16string& name) const {
  std::lock_guard lock(mu_);
  return names_.count(name) != 0;
}

int FakeMutexes::createCount(const std::u16string& name) const {
  std::lock_guard lock(mu_);
  auto it = creates_.find(name);
  return it == creates_.end() ? 0 : it->second;
}

void FakeRecord::Failure(const std::string& line) {
  std::lock_guard lock(mu_);
  lines_.push_back("failure " + line);
}

void FakeRecord::Recovery(const std::string& line) {
  std::lock_guard lock(mu_);
  lines_.push_back("recovery " + line);
}

std::vector<std::string> FakeRecord::lines() const {
  std::lock_guard lock(mu_);
  return lines_;
}

FakePlatform::FakePlatform() {
  platform.ui = &ui;
  platform.record = &record;
  platform.threads = &threads;
  platform.mutexes = &mutexes;
  platform.endpoints.updateServer = u"https://update.test";
  platform.endpoints.portalUrl = u"http://portal.test";
}

}  // namespace qarx::testing
