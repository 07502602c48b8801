// The flag that marks an exchange under way on one control. The waits of an exchange
// dispatch the thread's messages, so a host handler can call the control again from inside
// one; while the flag is up such a nested exchange is refused.
#pragma once

namespace kavlink {

class BusyFlag {
 public:
  bool raised() const { return raised_; }
  void set(bool up) { raised_ = up; }

  // Up for one exchange, down again however it ends.
  class Raised {
   public:
    explicit Raised(BusyFlag& flag) : flag_(flag) { flag_.raised_ = true; }
    ~Raised() { flag_.raised_ = false; }
    Raised(const Raised&) = delete;
    Raised& operator=(const Raised&) = delete;

   private:
    BusyFlag& flag_;
  };

  // Down for one step of a running exchange that goes through the control's own front
  // door (a host would make the same call), up again however the step ends.
  class Lowered {
   public:
    explicit Lowered(BusyFlag& flag) : flag_(flag) { flag_.raised_ = false; }
    ~Lowered() { flag_.raised_ = true; }
    Lowered(const Lowered&) = delete;
    Lowered& operator=(const Lowered&) = delete;

   private:
    BusyFlag& flag_;
  };

 private:
  bool raised_ = false;
};

}  // namespace kavlink
