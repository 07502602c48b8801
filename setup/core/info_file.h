// info.txt: the result list kept across runs, one line "caption,value,unit" per row, lines
// ending in CR LF. No quoting: commas in a caption or value do not survive a round trip.
#pragma once

#include <filesystem>
#include <string>

#include "core/result_list.h"

namespace zr::setup {

// Writes every row, replacing the file (no rows: an empty file). Throws SetupError when the
// file cannot be written.
void SaveItemList(const ResultList& list, const std::filesystem::path& file);

// Appends one unticked row per line of the file; a missing file leaves the list unchanged.
void LoadItemList(ResultList& list, const std::filesystem::path& file);

// The row one line stands for: caption up to the first comma, value up to the next, the
// rest is the unit (further commas included). Without a comma the whole line is the unit.
ResultRow parseItemLine(const std::string& line);

}  // namespace zr::setup
