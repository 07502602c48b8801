#include "core/item_tab.h"

#include <exception>

#include "core/checks.h"
#include "core/exit_guard.h"
#include "core/info_file.h"
#include "core/item_formatter.h"
#include "core/system_fun.h"
#include "core/tree_loader.h"

namespace zr::setup {
namespace {

constexpr char kReadButton[] = "BitBtn1";
constexpr char kPleaseWait[] = "Please wait...";
constexpr char kWithoutItem[] = "Without this item";
constexpr char kCompleted[] = "Reading is completed!";
constexpr int kPauseBetweenItemsMs = 200;

}  // namespace

ItemTab::ItemTab(ItemDatabase& db, FormFields& form, MeterExchange& meter, UiPort& ui)
    : db_(db), form_(form), meter_(meter), ui_(ui) {}

void ItemTab::create() {
  std::exception_ptr error;
  try {
    LoadItemTree(db_, tree_);
  } catch (...) {
    error = std::current_exception();
  }
  results_.InitResultList();
  if (error) std::rethrow_exception(error);
}

void ItemTab::TreeView1MouseUp(int node) {
  if (node < 0 || static_cast<size_t>(node) >= tree_.size()) return;
  tree_.SetSubtreeChecked(node, tree_.IsNodeChecked(node));
}

void ItemTab::BitBtn2Click() {
  for (const std::string& text : tree_.checkedLeafTexts()) results_.append(ResultRow{text, "", "", false});
  results_.setAllChecked(true);
}

void ItemTab::BitBtn3Click() { results_.clear(); }

void ItemTab::chk1Click(bool state) { results_.setAllChecked(state); }

void ItemTab::BitBtn1Click() {
  // Only a port this click opened is closed: when the open failed because another handler
  // holds the port, closing it would cut that handler's exchange.
  bool opened = false;
  const ExitGuard finish([&] {
    if (opened) meter_.closeSerialPort();
    ui_.setControlEnabled(kReadButton, true);
  });
  CheckMeterId(form_);
  if (form_.isLocalChannel()) {
    try {
      meter_.openSerialPort(form_.portText());
      opened = true;
    } catch (...) {
      ui_.showWarning("Serial port open failed");
      return;
    }
  }
  ui_.setControlEnabled(kReadButton, false);
  const std::string meterId = FitTextToWidth(trimText(form_.meterIdText()), '0', 12);
  // The window stays live during exchanges and pauses: "Clear" may empty the list under
  // the loop. The bound is taken once, and every step checks the row is still there.
  const size_t count = results_.size();
  const unsigned generation = results_.generation();
  RowOutcome outcome = RowOutcome::kNext;
  for (size_t i = 0; i < count && outcome == RowOutcome::kNext; ++i) outcome = readRow(i, meterId, generation);
  if (outcome == RowOutcome::kNext) ui_.showMessage(kCompleted);
}

ItemTab::RowOutcome ItemTab::readRow(size_t index, const std::string& meterId, unsigned generation) {
  auto rowGone = [&] { return results_.generation() != generation || index >= results_.size(); };
  if (rowGone()) return RowOutcome::kListChanged;
  if (!results_.row(index).checked) return RowOutcome::kNext;
  results_.setCells(index, kPleaseWait, kPleaseWait);
  const std::optional<ItemRow> item = db_.findItem(results_.row(index).caption);
  if (!item) {
    results_.setCells(index, kWithoutItem, kWithoutItem);
    return RowOutcome::kNext;
  }
  std::string value;
  const bool ok = meter_.ReadDataItem(meterId, item->di1, value, item->di0);
  if (rowGone()) return RowOutcome::kListChanged;
  if (!ok) {
    ui_.showMessage(value);
    ui_.showMessage(kCompleted);
    return RowOutcome::kStop;
  }
  results_.setCells(index, ItemFormatter(item->fl, value), item->units);
  results_.setChecked(index, false);
  ui_.pause(kPauseBetweenItemsMs);
  return RowOutcome::kNext;
}

void ItemTab::SaveItemList(const std::filesystem::path& file) const { zr::setup::SaveItemList(results_, file); }

void ItemTab::LoadItemList(const std::filesystem::path& file) { zr::setup::LoadItemList(results_, file); }

}  // namespace zr::setup
