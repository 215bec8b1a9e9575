#include "script/script_requests.h"

#include <algorithm>
#include <exception>

#include "base/log.h"

ScriptRequests& ScriptRequests::instance() {
  static ScriptRequests requests;
  return requests;
}

bool ScriptRequests::post(const void* owner, Action action) {
  if (!action) return false;
  try {
    queue_.push_back({owner, std::move(action)});
  } catch (const std::exception&) {
    Log::fail("ScriptRequests.post: Nie udalo sie zajac pamieci na zadanie");
    return false;
  }
  return true;
}

size_t ScriptRequests::drain() {
  if (draining_ || queue_.empty()) return 0;
  draining_ = true;
  running_.swap(queue_);
  size_t ran = 0;
  // By index: cancel() may clear later entries while one of them runs.
  for (size_t i = 0; i < running_.size(); ++i) {
    Action action = std::move(running_[i].action);
    running_[i].action = nullptr;
    if (!action) continue;
    try {
      action();
    } catch (const std::exception& e) {
      Log::fail("ScriptRequests.drain: %s", e.what());
    }
    ++ran;
  }
  running_.clear();
  draining_ = false;
  return ran;
}

void ScriptRequests::cancel(const void* owner) {
  queue_.erase(std::remove_if(queue_.begin(), queue_.end(),
                              [owner](const Request& r) { return r.owner == owner; }),
               queue_.end());
  for (Request& r : running_)
    if (r.owner == owner) r.action = nullptr;
}

size_t ScriptRequests::pending() const {
  size_t n = queue_.size();
  for (size_t i = 0; i < running_.size(); ++i)
    if (running_[i].action) ++n;
  return n;
}
