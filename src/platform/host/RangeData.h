#pragma once

// A data set that shows a contiguous run of another data set's records: the block of records
// one shard or one split document of a mass merge works on. Its fields are its own (one per
// field of the source, of the same type, size and format settings); their values are the
// source's at the matching record, so a merge over it is the merge of the source limited to
// those records, master-detail included (details follow this data set's moves).

#include <cstdint>
#include <string>

#include "platform/host/Db.h"

namespace host {

class TRangeDataSet : public TDataSet {
 public:
  explicit TRangeDataSet(TComponent* AOwner);
  ~TRangeDataSet() override;
  std::string ClassName() const override { return "TRangeDataSet"; }

  TDataSet* GetSource() const { return FSource; }
  // Raises EDatabaseError when this data set is open.
  void SetSource(TDataSet* AValue);
  // The records shown: AFirst (0-based) and the ACount after it, cut to the source's records.
  // While open, the cursor goes to the first record shown and the data links hear of the change.
  void SetRange(int AFirst, int ACount);
  int GetFirst() const { return FFirst; }
  int GetCount() const { return FCount; }

 protected:
  // Opens the source when it is closed and takes its fields. Raises EDatabaseError "Data set
  // '%s' has no source" without one.
  void InternalOpen() override;
  void InternalClose() override {}
  int GetRecordCountInternal() const override;
  const TFieldValue& GetFieldValue(int ARecordIndex, int AFieldNo) const override;
  std::uint64_t GetRecordId(int ARecordIndex) const override;
  int FindRecordIndex(std::uint64_t AId) const override;
  void Notification(TComponent* AComponent, TOperation AOperation) override;

 private:
  using inherited = TDataSet;

  TDataSet* FSource = nullptr;  // not owned; cleared on removal
  int FFirst = 0;
  int FCount = 0;
  std::uint32_t FGeneration = 0;  // counts the ranges, so that bookmarks of an old one fail
};

}  // namespace host
