#pragma once

// Reader of the shared reference vectors: tab-separated files of input/expected rows for the
// host's conversion and string routines and for data-field texts. A row's columns come back
// unescaped, so tests feed them to the routines byte for byte; the profiles ("us", "de") come
// back as host format settings.

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/host/SysUtils.h"

namespace veltrane::test {

// One row of a vector file, with the column names of the file's first line.
struct TVectorRow {
  std::string File;                            // file name, e.g. "FormatFloat.tsv"
  int Line = 0;                                // 1-based line in the file
  std::map<std::string, std::string> Columns;  // column name -> unescaped value
  std::vector<std::string> Flags;              // parsed from the flags column ("-" = none)

  // The unescaped value of a column; throws std::out_of_range naming the column, the file and
  // the line when the file has no such column.
  const std::string& Get(const std::string& AColumn) const;
  const std::string& Id() const { return Get("id"); }
  bool Flagged() const { return !Flags.empty(); }
  // True when the flags column lists AFlag.
  bool HasFlag(const std::string& AFlag) const;
  // "FormatFloat.tsv:12 (id 0123456789ab)", for failure messages.
  std::string Where() const;
};

// Reads every row of a vector file. Raises std::runtime_error naming the file and the line for
// a file that cannot be opened, a row with the wrong number of columns or a broken escape.
std::vector<TVectorRow> ReadVectorFile(const std::filesystem::path& APath);

// The repository's tests/data/vectors/<AFileName> plus the same file name in each
// directory of the colon-separated VELTRANE_VECTOR_DIRS, where such a file exists there.
std::vector<std::filesystem::path> VectorFiles(const std::string& AFileName);

// The vector directories themselves: the repository's first, then those of VELTRANE_VECTOR_DIRS.
std::vector<std::filesystem::path> VectorDirs();

// The "us" or "de" settings, built from profiles.tsv in the directory of AVectorFile. Raises
// std::runtime_error for an unknown profile or setting.
host::TFormatSettings VectorProfile(const std::filesystem::path& AVectorFile,
                                    const std::string& AProfile);

// The double of a column: from the bits in "value_bits" (0x plus 16 hex digits) when the row
// has them, otherwise the decimal text of AColumn. Raises std::runtime_error for text that is
// neither.
double VectorDouble(const TVectorRow& ARow, const std::string& AColumn);

// The date-time of the "value" column: the bits in "value_bits" are authoritative; otherwise
// "YYYY-MM-DD hh:nn:ss.zzz" or "serial:<number>" is converted here, independently of the
// routines under test.
host::TDateTime VectorDateTime(const TVectorRow& ARow);

}  // namespace veltrane::test
