// A pseudo-terminal pair for tests: the test (or a simulated meter) holds the master side
// and plays the far end; the code under test opens the slave by its path.
#pragma once

#include <string>

namespace sim {

class PtyPair {
 public:
  // keepSlaveOpen holds a slave descriptor for the pair's life, so the master never sees
  // a hang-up while the code under test has the port closed.
  explicit PtyPair(bool keepSlaveOpen = true);
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  int master() const { return master_; }
  const std::string& slavePath() const { return slavePath_; }
  // Closes the master: the far end hangs up.
  void closeMaster();
  void closeSlaveHolder();

 private:
  int master_ = -1;
  int slaveHolder_ = -1;
  std::string slavePath_;
};

}  // namespace sim
