#include "core/load_profile.h"

#include <cstdio>

#include "core/checks.h"
#include "core/exit_guard.h"
#include "core/setup_error.h"
#include "core/system_fun.h"
#include "core/value_codings.h"

namespace zr::setup {
namespace {

constexpr uint16_t kRecordItem = 0xD110;
constexpr int kRecordAttempts = 3;
constexpr int kPauseBetweenRecordsMs = 200;
// The request carries the record number in two bytes.
constexpr int64_t kLastRecordNumber = 0xFFFF;

std::string recordNumberText(int n) {
  char out[16];
  std::snprintf(out, sizeof out, "%04X", static_cast<unsigned>(n));
  return out;
}

int64_t integerField(const std::string& text) {
  const std::optional<int64_t> v = parseIntegerText(text);
  if (!v) throw SetupError(notAnIntegerText(text));
  return *v;
}

std::string_view part(const std::string& s, size_t from, size_t count) {
  return from - 1 < s.size() ? std::string_view(s).substr(from - 1, count) : std::string_view();
}

}  // namespace

void LoadProfilePage::InitThreePhaseProfileColumns() {
  std::vector<TableColumn> c;
  for (const char* title :
       {"No.", "Head", "(current)Total energy(kWh)", "Voltage A (V)", "Voltage B (V)", "Voltage C (V)", "Current A (A)",
        "Current B (A)", "Current C (A)", "Active power A (kW)", "Active power B (kW)", "Active power C (kW)",
        "Reactive power A (kvar)", "Reactive power B (kvar)", "Reactive power C (kvar)", "Power factor A (kvar)",
        "Power factor B (kvar)", "Power factor C (kvar)", "Frequency (Hz)"})
    c.push_back({title, 100});
  records_.reset(std::move(c));
}

void LoadProfilePage::InitSinglePhaseProfileColumns() {
  records_.reset({{"No.", 100},
                  {"Head", 120},
                  {"(current) Total active energy(kWh)", 150},
                  {"(current) Total reactive energy(kWh)", 150},
                  {"Voltage(V)", 150},
                  {"Current(A)", 150},
                  {"null", 150}});
}

std::string LoadProfilePage::recordText(const std::vector<uint8_t>& data, bool threePhase) {
  // Each field's bytes most significant first: a 4-byte head, a 4-byte energy, then
  // 2-byte values.
  const size_t end = threePhase ? 42 : 22;
  std::string text;
  auto field = [&](size_t from, size_t bytes) {
    for (size_t k = from + bytes; k-- > from;) text += hexByte(k < data.size() ? data[k] : 0);
  };
  field(2, 4);
  field(6, 4);
  for (size_t at = 10; at < end; at += 2) field(at, 2);
  return text;
}

std::vector<std::string> LoadProfilePage::recordCells(const std::string& r, bool threePhase) {
  std::vector<std::string> cells{profileHeadText(r), profileEnergyText(part(r, 9, 8))};
  if (threePhase) {
    for (size_t q : {17, 21, 25, 29, 33, 37}) cells.push_back(profileDecimalText(part(r, q, 4), 3));
    for (size_t q : {41, 45, 49, 53, 57, 61}) cells.push_back(profileDecimalText(part(r, q, 4), 2));
    for (size_t q : {65, 69, 73}) cells.push_back(profileDecimalText(part(r, q, 4), 1));
    cells.push_back(profileDecimalText(part(r, 77, 4), 2));
    return cells;
  }
  // The reactive energy's bytes stand as D11 D10 D13 D12 in the record text; the value is
  // D13 D12 D11 D10, most significant first like every other energy.
  cells.push_back(profileEnergyText(std::string(part(r, 21, 4)) + std::string(part(r, 17, 4))));
  cells.push_back(profileDecimalText(part(r, 25, 4), 3));
  cells.push_back(profileDecimalText(part(r, 29, 4), 3));
  cells.push_back("");
  return cells;
}

bool LoadProfilePage::ReadProfileRecord(const std::string& address, std::string& record, int number) {
  const std::string nnnn = recordNumberText(number);
  const std::string request = meter_.prepareRequest(
      {address, 0x01, {0x10, 0xD1, valueByteFromText(nnnn, 3), valueByteFromText(nnnn, 1)}}, true);
  ui_.appendLog(nnnn + " tx: " + request);
  const size_t need = threePhase_ ? 40 : 20;
  for (int attempt = 1; attempt <= kRecordAttempts; ++attempt) {
    const std::optional<FrameReply> reply = meter_.exchangeRequest();
    // Any answer but the meter's refusal counts, when it is this item with the whole record.
    if (!reply || reply->control == 0xC1 || !replyCarries(*reply, kRecordItem, need)) continue;
    ui_.appendLog(nnnn + " rx: " + reply->text);
    record = recordText(reply->data, threePhase_);
    return true;
  }
  record = "Return null!";
  return false;
}

void LoadProfilePage::BitBtn43Click() {
  StopProfileRead = false;
  bool opened = false;
  const ExitGuard finish([&] {
    if (opened) meter_.closeSerialPort();
    ui_.setControlEnabled("BitBtn43", true);
  });
  CheckMeterId(form_);
  ui_.setControlEnabled("BitBtn43", false);
  // A number the two-byte field cannot carry would wrap into another record's request.
  const int64_t first = integerField(page_.text("Edit11"));
  const bool inRange = first >= 1 && first <= kLastRecordNumber;
  const int64_t last = inRange ? integerField(page_.text("Edit12")) : 0;
  if (!inRange || last > kLastRecordNumber) {
    ui_.showMessage(kAreaOutOfRange);
    return;
  }
  if (!openPort(PortRule::kLocalOnly, opened)) return;
  if (threePhase_) {
    InitThreePhaseProfileColumns();
  } else {
    InitSinglePhaseProfileColumns();
  }
  const std::string address = meterAddress();
  for (int64_t n = first; n <= last; ++n) {
    std::string record;
    if (StopProfileRead) break;
    if (!ReadProfileRecord(address, record, static_cast<int>(n))) {
      ui_.showMessage(record);
      ui_.showMessage("Reading is completed!");
      break;
    }
    std::vector<std::string> cells{std::to_string(n)};
    for (std::string& c : recordCells(record, threePhase_)) cells.push_back(std::move(c));
    records_.append(std::move(cells));
    ui_.appendLog(record);
    ui_.pause(kPauseBetweenRecordsMs);
  }
}

void LoadProfilePage::BitBtn44Click() { StopProfileRead = true; }

void LoadProfilePage::BitBtn45Click() {
  const std::string value = FitTextToWidth(page_.text("Edit13"), '0', 2);
  // Digits only: a sign or a blank would pass a number check and then travel as 0x00.
  if (value.find_first_not_of("0123456789") != std::string::npos) throw SetupError(notAnIntegerText(value));
  if (integerField(value) > 60) {
    ui_.showMessage("Interval < 60");
    return;
  }
  run("BitBtn45", Checks::kMeterIdAndPassword, PortRule::kLocalOnly, [&] {
    const auto password = passwordBytes();
    ui_.appendLog(meter_.prepareRequest(
        {meterAddress(),
         0x04,
         {0x10, 0xC5, 0x00, password[0], password[1], password[2], static_cast<uint8_t>(HexTextToInt(value))}},
        false));
    const std::optional<FrameReply> reply = meter_.exchangeRequest();
    if (reply) ui_.appendLog(reply->text);
    ui_.showMessage(reply && reply->control == 0x84 ? kOperateSuccessful : kCommunicationFailed);
  });
}

}  // namespace zr::setup
