#include "core/page_handlers.h"

#include <algorithm>
#include <stdexcept>

#include "core/checks.h"
#include "core/exit_guard.h"
#include "core/system_fun.h"

namespace zr::setup {
namespace {

void runChecks(Checks checks, const FormFields& form) {
  if (checks == Checks::kNone) return;
  CheckMeterId(form);
  if (checks == Checks::kMeterIdAndPassword) CheckPassword(form);
}

uint8_t lowByte(uint16_t di) { return static_cast<uint8_t>(di & 0xFF); }
uint8_t highByte(uint16_t di) { return static_cast<uint8_t>(di >> 8); }

}  // namespace

size_t ReadItem::valueBytes() const {
  size_t need = 0;
  for (int i = 0; i < targetCount; ++i)
    need = std::max(need, static_cast<size_t>(targets[static_cast<size_t>(i)].coding.offset +
                                              targets[static_cast<size_t>(i)].coding.bytes));
  return need;
}

bool replyCarries(const FrameReply& reply, uint16_t di, size_t valueBytes) {
  return reply.data.size() >= 2 + valueBytes && reply.data[0] == lowByte(di) && reply.data[1] == highByte(di);
}

bool passesFormatCheck(const FormatCheck& check, std::string_view text) {
  if (!check.field) return true;
  if (text.size() != static_cast<size_t>(check.length)) return false;
  const size_t point = text.find('.');
  if (check.pointAt > 0) return point == static_cast<size_t>(check.pointAt - 1);
  if (check.pointAt < 0) return point == std::string_view::npos;
  return true;
}

PageHandlers::PageHandlers(FormFields& form, PageFields& page, MeterExchange& meter, UiPort& ui, HandlerRows rows)
    : form_(form), page_(page), meter_(meter), ui_(ui), rows_(rows) {}

void PageHandlers::click(std::string_view button) {
  for (const ReadItem& row : rows_.reads)
    if (button == row.button) return runRead(row);
  for (const SetItem& row : rows_.sets)
    if (button == row.button) return runSet(row);
  throw std::logic_error("no handler row for " + std::string(button));
}

std::string PageHandlers::meterAddress() const { return FitTextToWidth(trimText(form_.meterIdText()), '0', 12); }

std::array<uint8_t, 3> PageHandlers::passwordBytes() const {
  const std::string p = form_.passwordText();
  return {valueByteFromText(p, 5), valueByteFromText(p, 3), valueByteFromText(p, 1)};
}

bool PageHandlers::openPort(PortRule port, bool& opened) {
  if (port == PortRule::kLocalOnly && !form_.isLocalChannel()) return true;
  try {
    meter_.openSerialPort(form_.portText());
    opened = true;
    return true;
  } catch (...) {
    ui_.showWarning(kPortOpenFailed);
    return false;
  }
}

void PageHandlers::run(std::string_view button, Checks checks, PortRule port, const std::function<void()>& body,
                       const char* closingMessage) {
  bool opened = false;
  const ExitGuard finish([&] {
    if (opened) meter_.closeSerialPort();
    if (closingMessage) ui_.showMessage(closingMessage);
    ui_.setControlEnabled(button, true);
  });
  runChecks(checks, form_);
  ui_.setControlEnabled(button, false);
  if (openPort(port, opened)) body();
}

void PageHandlers::runRead(const ReadItem& item) {
  run(item.button, item.checks, item.port, [&] {
    meter_.prepareRequest(
        {item.broadcast ? kBroadcastAddress : meterAddress(), 0x01, {lowByte(item.di), highByte(item.di)}}, false);
    const std::optional<FrameReply> reply = meter_.exchangeRequest();
    // A reply counts only when it answers this identifier with the bytes the fields need;
    // every field is decoded before any is written, so a bad value changes none.
    const std::span<const uint8_t> value =
        reply ? std::span<const uint8_t>(reply->data).subspan(std::min<size_t>(2, reply->data.size()))
              : std::span<const uint8_t>();
    std::array<std::optional<std::string>, 2> texts;
    bool ok = reply && reply->control == 0x81 && replyCarries(*reply, item.di, item.valueBytes());
    for (int i = 0; ok && i < item.targetCount; ++i) {
      texts[static_cast<size_t>(i)] = decodeValue(item.targets[static_cast<size_t>(i)].coding, value);
      ok = texts[static_cast<size_t>(i)].has_value();
    }
    if (!ok) {
      ui_.showMessage(item.failure);
      return;
    }
    for (int i = 0; i < item.targetCount; ++i) {
      const ReadTarget& t = item.targets[static_cast<size_t>(i)];
      if (t.field) {
        page_.setText(t.field, *texts[static_cast<size_t>(i)]);
      } else if (statusGrid_) {
        for (auto& [name, text] : statusRows(item.statusBits, value[static_cast<size_t>(t.coding.offset)]))
          statusGrid_->append({name, text});
      }
    }
    ui_.showMessage(kOperateSuccessful);
  });
}

std::vector<uint8_t> PageHandlers::setData(const SetItem& item) const {
  std::vector<uint8_t> data;
  const auto password = passwordBytes();
  switch (item.layout) {
    case SetLayout::kIdentifierPassword:
      data = {lowByte(item.di), highByte(item.di), 0x00, password[0], password[1], password[2]};
      break;
    case SetLayout::kLevelPassword:
      data = {0x00, password[0], password[1], password[2]};
      break;
    case SetLayout::kValuesOnly:
      break;
  }
  for (int i = 0; i < item.valueCount; ++i) {
    const ValueByte& v = item.values[static_cast<size_t>(i)];
    switch (v.form) {
      case TextForm::kConstant:
        data.push_back(static_cast<uint8_t>(v.position));
        break;
      case TextForm::kShortDate:
        data.push_back(valueByteFromText(shortDateText(page_.text(v.field)), v.position));
        break;
      case TextForm::kMeterId:
        // The new address is trimmed like every address the handlers send to.
        data.push_back(valueByteFromText(meterAddress(), v.position));
        break;
      case TextForm::kAsTyped:
        data.push_back(valueByteFromText(page_.text(v.field), v.position));
        break;
    }
  }
  return data;
}

void PageHandlers::runSet(const SetItem& item) {
  if (item.emptyEnds && page_.text(item.emptyEnds).empty()) return;
  if (item.format.field && !passesFormatCheck(item.format, page_.text(item.format.field))) {
    ui_.showMessage(item.format.message);
    return;
  }
  if (item.fitField) page_.setText(item.fitField, FitTextToWidth(page_.text(item.fitField), '0', item.fitWidth));
  run(item.button, item.checks, item.port, [&] {
    meter_.prepareRequest({item.broadcast ? kBroadcastAddress : meterAddress(), item.control, setData(item)}, false);
    const std::optional<FrameReply> reply = meter_.exchangeRequest();
    ui_.showMessage(reply && reply->control == item.success ? kOperateSuccessful : item.failure);
  });
}

}  // namespace zr::setup
