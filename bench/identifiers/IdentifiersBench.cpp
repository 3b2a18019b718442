// Reading the identifiers of a large template: every bookmark is added to the sorted list one
// by one, as the printer does while it reads a document, then every group's members are found.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "identifiers/VeltraneIdentifier.h"

using namespace veltrane;

namespace {

struct TBookmarkData {
  std::string Name;
  int Start;
  int End;
};

// A template of AGroups groups, each with AFields fields, bookmarks listed in name order (as
// the word processor enumerates them), so positions arrive in no particular order.
std::vector<TBookmarkData> MakeTemplate(int AGroups, int AFields) {
  std::vector<TBookmarkData> result;
  int position = 0;
  for (int g = 0; g < AGroups; ++g) {
    const int groupStart = position;
    for (int f = 0; f < AFields; ++f) {
      result.push_back({"Group" + std::to_string(g) + "_Field" + std::to_string(f), position,
                        position + 12});
      position += 20;
    }
    result.push_back({"Group" + std::to_string(g), groupStart, position});
    position += 5;
  }
  std::sort(result.begin(), result.end(),
            [](const TBookmarkData& a, const TBookmarkData& b) { return a.Name < b.Name; });
  return result;
}

void ReadIdentifiers(benchmark::State& AState) {
  const auto bookmarks = MakeTemplate(static_cast<int>(AState.range(0)) / 20, 19);
  for (auto _ : AState) {
    TVeltraneIdentifiers list;
    for (const TBookmarkData& bookmark : bookmarks) {
      auto identifier = std::make_unique<TVeltraneIdentifier>();
      identifier->SetName(bookmark.Name);
      identifier->SetStartPos(bookmark.Start);
      identifier->SetEndPos(bookmark.End);
      list.Add(identifier.release());
    }
    int members = 0;
    for (int i = 0; i < list.GetCount(); ++i) {
      if (const TVeltraneIdentifier* last = list.LastInGroup(list.Get(i))) {
        members += list.IndexOf(last) - i;
      }
    }
    benchmark::DoNotOptimize(members);
  }
  AState.SetItemsProcessed(AState.iterations() * static_cast<std::int64_t>(bookmarks.size()));
}

}  // namespace

BENCHMARK(ReadIdentifiers)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);
