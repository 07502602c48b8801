#include "core/info_file.h"

#include <fstream>
#include <iterator>
#include <tuple>
#include <utility>
#include <vector>

#include "core/setup_error.h"
#include "text/ansi.h"

namespace zr::setup {
namespace {

// Lines end at CR LF, a lone LF or a lone CR; a last line without an ending still counts.
std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(text.substr(start, i - start));
      i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
      start = i;
    } else {
      ++i;
    }
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

// Text before the first comma and text after it; without a comma, nothing and everything.
std::pair<std::string, std::string> splitAtComma(const std::string& text) {
  const size_t comma = text.find(',');
  if (comma == std::string::npos) return {std::string(), text};
  return {text.substr(0, comma), text.substr(comma + 1)};
}

}  // namespace

ResultRow parseItemLine(const std::string& line) {
  ResultRow row;
  std::string rest;
  std::tie(row.caption, rest) = splitAtComma(line);
  std::tie(row.value, row.unit) = splitAtComma(rest);
  return row;
}

void SaveItemList(const ResultList& list, const std::filesystem::path& file) {
  std::string text;
  for (size_t i = 0; i < list.size(); ++i) {
    const ResultRow& row = list.row(i);
    text += row.caption + "," + row.value + "," + row.unit + "\r\n";
  }
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (out) out.write(text.data(), static_cast<std::streamsize>(text.size()));
  // Closed before the check: a full disk shows only when the buffer is flushed.
  out.close();
  if (!out) throw SetupError("Cannot create file \"" + file.string() + "\"");
}

void LoadItemList(ResultList& list, const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return;
  // A list saved by the system on its original platform is GB18030 text.
  const std::string text =
      text::textFileToUtf8(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
  for (const std::string& line : splitLines(text)) list.append(parseItemLine(line));
}

}  // namespace zr::setup
