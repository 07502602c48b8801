// The flag that marks an exchange under way on one control. The waits of an exchange
// dispatch the thread's messages, so a host handler can call the control again from inside
// one; while the flag is up such a nested exchange is refused.
#pragma once

namespace kavlink {

class BusyFlag {
 public:
  bool raised() const { return raised_; }
  void set(bool up) { raised_ = up; }

  // Up for one exchange, or down for one step of a running exchange that goes through the
  // control's own front door (a host would make the same call); back as it was however the
  // exchange or step ends.
  class Scope {
   public:
    Scope(BusyFlag& flag, bool up) : flag_(flag), was_(flag.raised_) { flag_.raised_ = up; }
    ~Scope() { flag_.raised_ = was_; }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    BusyFlag& flag_;
    bool was_;
  };

 private:
  bool raised_ = false;
};

}  // namespace kavlink
