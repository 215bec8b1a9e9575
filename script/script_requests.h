// Changes that a running script asks for but that must wait until no
// script is on the stack.
//
// A script runs inside its owner's update: the level's periodic function
// from Level::update, a character's "update" from Npc::step while the level
// walks its object list. Loading another level, unloading the level,
// reloading the characters or deleting a character (or any object of the
// list being walked) right there would destroy the very Lua state, Npc or
// list element that is still executing. So the script API does not do such
// things itself; it posts them here, and the level carries them out after
// its update, when every script has returned.
//
// Use:
//  - In an engine function: resolve and check the arguments as usual
//    (printing the usual failures at once), then post the change with the
//    level as owner, capturing values, not Lua stack pointers:
//        ScriptRequests::instance().post(lvl, [lvl, slot] { lvl->delNpc(...slot...); });
//    Functions that must post: loadLvl, unloadLvl, loadNpcs, addLvlNpc
//    (it may replace the calling character), delLvlNpc, delLvlObj (the id
//    may name a character, the caller included), and whatever removes
//    frames or objects while their lists are walked.
//  - Level::update ends with ScriptRequests::instance().drain(). The frame
//    loop may drain too, for requests posted outside a level update.
//  - Whoever posts with an owner that can die first (a Level in tests, say)
//    calls cancel(owner) in its destructor.
//  - Npc::step must return at once when Lua::callPeriodic reports
//    Lua::kHostGone (only possible if something bypassed this queue).
//
// Requests run in the order they were posted, which is the order in which
// the script made them. Requests posted while a drain runs (a level loaded
// by a request runs its own scripts) wait for the next drain, so a level
// that reloads itself from its main chunk cannot hang a frame.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

class ScriptRequests {
 public:
  using Action = std::function<void()>;

  static ScriptRequests& instance();

  ScriptRequests() = default;
  ScriptRequests(const ScriptRequests&) = delete;
  ScriptRequests& operator=(const ScriptRequests&) = delete;

  // Queues `action`, tagged with `owner`. False (failure printed) when the
  // request could not be stored.
  bool post(const void* owner, Action action);
  // Runs the requests queued before this call, oldest first, and returns
  // how many ran. A drain started from inside a request does nothing.
  size_t drain();
  // Drops every queued request of `owner`, including those of a drain in
  // progress that have not run yet.
  void cancel(const void* owner);
  size_t pending() const;
  bool draining() const { return draining_; }

 private:
  struct Request {
    const void* owner;
    Action action;
  };
  std::vector<Request> queue_;
  std::vector<Request> running_;
  bool draining_ = false;
};
