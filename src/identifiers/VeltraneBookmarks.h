#pragma once

// TVeltraneBookmarks: a list of data-set bookmarks with a cursor. When it is not empty, the
// outermost group of a merge visits the records at these bookmarks instead of the whole data
// set. The list only stores the bookmarks; whoever puts one in releases it.

#include <string>

#include "foundation/VeltraneExport.h"
#include "platform/host/Classes.h"
#include "platform/host/Db.h"

namespace veltrane {

// The cursor stands on an entry, before the first (-1) or after the last (Count). First, Last,
// Next and Prior move it; changes of the contents never adjust it.
class VELTRANE_EXPORT TVeltraneBookmarks : public host::TList {
 public:
  TVeltraneBookmarks() = default;
  ~TVeltraneBookmarks() override;
  std::string ClassName() const override { return "TVeltraneBookmarks"; }

  // True when the cursor is before the first or after the last entry.
  bool GetEOB() const { return FCurrentIndex < 0 || FCurrentIndex >= GetCount(); }
  // The bookmark under the cursor; nullptr past either end.
  host::TBookmark Current() const;
  // Cursor to the first entry; its bookmark, nullptr on an empty list.
  host::TBookmark First();
  // Cursor to the last entry; its bookmark. On an empty list the cursor goes to -1 and the base
  // list's index error is raised.
  host::TBookmark Last();
  // One entry forward, never beyond Count; the bookmark there or nullptr.
  host::TBookmark Next();
  // One entry back, never below -1; the bookmark there or nullptr.
  host::TBookmark Prior();
  // True for an existing, non-empty list; false for nullptr.
  static bool Usable(const TVeltraneBookmarks* ABookmarks) {
    return ABookmarks != nullptr && ABookmarks->GetCount() > 0;
  }

  int GetCurrentIndex() const { return FCurrentIndex; }
  void SetCurrentIndex(int AValue) { FCurrentIndex = AValue; }

 private:
  using inherited = host::TList;

  int FCurrentIndex = 0;
};

}  // namespace veltrane
