#include "identifiers/VeltraneBookmarks.h"

namespace veltrane {

TVeltraneBookmarks::~TVeltraneBookmarks() = default;

host::TBookmark TVeltraneBookmarks::Current() const {
  return GetEOB() ? nullptr : inherited::Get(FCurrentIndex);
}

host::TBookmark TVeltraneBookmarks::First() {
  FCurrentIndex = 0;
  return Current();
}

host::TBookmark TVeltraneBookmarks::Last() {
  FCurrentIndex = GetCount() - 1;
  return inherited::Last();
}

host::TBookmark TVeltraneBookmarks::Next() {
  if (FCurrentIndex < GetCount()) ++FCurrentIndex;
  return Current();
}

host::TBookmark TVeltraneBookmarks::Prior() {
  if (FCurrentIndex >= 0) --FCurrentIndex;
  return Current();
}

}  // namespace veltrane
