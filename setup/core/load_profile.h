// "LoadProfile": the class-1 record reading into ListView2 (with its log in Memo1) and the
// class-1 interval set. Records are read one exchange each, up to three attempts, between
// pauses that keep the window live, so "Stop" and the other buttons work during a reading.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/page_handlers.h"
#include "core/table_model.h"

namespace zr::setup {

inline constexpr char kAreaOutOfRange[] = "The area is out of range!";

class LoadProfilePage : public PageHandlers {
 public:
  using PageHandlers::PageHandlers;

  TableModel& records() { return records_; }  // ListView2

  // The layout follows the settings' meter kind ("three-phase" exactly, or single-phase).
  void setThreePhase(bool threePhase) { threePhase_ = threePhase; }

  void BitBtn43Click();  // "Read class 1"
  void BitBtn44Click();  // "Stop"
  void BitBtn45Click();  // "Set" of the class-1 interval

  // The record text of a reply's data (identifier first): 40 bytes three-phase, 20 single.
  static std::string recordText(const std::vector<uint8_t>& data, bool threePhase);
  // The row's cells after the record number.
  static std::vector<std::string> recordCells(const std::string& record, bool threePhase);

 private:
  void InitThreePhaseProfileColumns();
  void InitSinglePhaseProfileColumns();
  bool ReadProfileRecord(const std::string& address, std::string& record, int number);

  TableModel records_;
  bool threePhase_ = false;
  bool StopProfileRead = false;
};

}  // namespace zr::setup
