#pragma once

// The zip layer under the .docx package: a guarded reader over libzip and an atomic writer.
//
// The reader never trusts an archive. At open it checks the entry count, every entry's name,
// encryption, compression method and declared size against TZipLimits, and the running total of
// declared sizes, and that no two entries share data and the end record matches the directory
// (differing time stamps and bytes between entries, which other readers accept, pass); while
// reading an entry it stops at the declared size and fails when the data is longer or shorter, or
// when its checksum is wrong (libzip itself would hand out whatever the deflate stream yields). The
// whole file is read into memory first, so the archive stays readable even when its file is
// replaced while the document is open (a "save as" over the template itself).
//
// The writer builds the new archive in a temporary file beside the target and renames it into
// place only when everything was written, so a failed save never leaves a half-written file
// under the target's name. Entries taken over from a reader are copied as compressed bytes,
// without being inflated and deflated again.

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "platform/host/Classes.h"

struct zip;

namespace docengine {

// Limits a reader enforces. The defaults suit any real document and stop zip bombs.
struct TZipLimits {
  std::uint64_t MaxEntries = 10000;
  std::uint64_t MaxEntrySize = std::uint64_t{512} << 20;  // uncompressed bytes per entry
  std::uint64_t MaxTotalSize = std::uint64_t{2} << 30;    // uncompressed bytes in all entries
};

// One entry of an archive as its central directory declares it.
struct TZipEntry {
  std::string Name;
  std::uint64_t Index = 0;  // libzip's index in the archive
  std::uint64_t Size = 0;   // declared uncompressed size
  std::uint64_t CompressedSize = 0;
  std::uint16_t Method = 0;  // 0 stored, 8 deflated
  std::time_t MTime = 0;
};

// Checks a part name as it stands in the archive: not empty, no leading '/', no '\', no drive
// letter, no empty, "." or ".." segment. Returns "" when it is safe, else what is wrong.
std::string CheckEntryName(const std::string& AName);

// A read-only archive whose entries passed the guards. Raises EDocError naming the file (and the
// entry) for anything it refuses.
class TZipReader : public host::TObject {
 public:
  // Reads the file and opens it. A missing or unreadable file is an EDocError too.
  static std::unique_ptr<TZipReader> OpenFile(const std::string& AFileName,
                                              const TZipLimits& ALimits = TZipLimits());
  // Opens an archive held in memory; AFileName only names it in messages.
  static std::unique_ptr<TZipReader> OpenMemory(std::string AData, const std::string& AFileName,
                                                const TZipLimits& ALimits = TZipLimits());
  ~TZipReader() override;

  const std::string& GetFileName() const { return FFileName; }
  const std::vector<TZipEntry>& GetEntries() const { return FEntries; }
  // The position of the named entry in GetEntries() (names compared case-insensitively, as
  // package part names are), or -1.
  int IndexOf(const std::string& AName) const;
  // The entry's uncompressed data, exactly its declared size; raises EDocError when the data
  // does not match the declaration or its checksum.
  std::string Read(const TZipEntry& AEntry) const;
  // The libzip handle, for the writer's raw copies.
  zip* GetHandle() const { return FZip; }
  // The archive's bytes, as read.
  const std::string& GetArchive() const { return FData; }

 private:
  using inherited = host::TObject;

  TZipReader() = default;
  void Open(const TZipLimits& ALimits);
  // Refuses archives whose entries overlap or lie outside their place, and end records that do
  // not match the directory (ACount entries, as libzip read it).
  void CheckLayout(std::int64_t ACount) const;

  std::string FFileName;
  std::string FData;  // the whole archive; libzip reads from it
  zip* FZip = nullptr;
  std::vector<TZipEntry> FEntries;
};

// One entry of an archive to write: either new data (deflated), or an entry copied as it is
// from an open reader.
// A part deflated ahead of the write: raw deflate data with the size and checksum of what it
// holds, which the archive takes as it is.
struct TZipDeflated {
  std::string Data;
  std::uint64_t Size = 0;
  std::uint32_t Crc = 0;
  // Appends a stretch (TZipDeflater::FinishStretch) to this one, which must be a stretch too:
  // each starts a fresh stream that refers back to nothing, so their bytes follow each other
  // as one stretch of both.
  void AppendStretch(const TZipDeflated& AStretch);
};

// The checksum of two pieces of data one after the other, from their checksums and the second's
// length.
std::uint32_t CombineCrc(std::uint32_t AFirst, std::uint32_t ASecond, std::uint64_t ASecondSize);

// An unnamed temporary file that data is appended to and read back from, so that large data a
// document holds for later (its frozen content) stays out of memory. The file goes with the
// object. Raises std::runtime_error when the file cannot be made, written or read.
class TSpillFile {
 public:
  TSpillFile();
  ~TSpillFile();
  TSpillFile(const TSpillFile&) = delete;
  TSpillFile& operator=(const TSpillFile&) = delete;

  // Appends the bytes and returns where they start.
  std::uint64_t Append(const void* AData, std::size_t ASize);
  void Read(std::uint64_t AOffset, void* AOut, std::size_t ASize) const;
  std::uint64_t GetSize() const { return FSize; }

 private:
  int FHandle = -1;
  std::uint64_t FSize = 0;
};

// Deflates a part while it is produced, so that the uncompressed bytes never need to be held
// whole: a large document's XML goes from the tree straight into its compressed form.
class TZipDeflater {
 public:
  TZipDeflater();
  ~TZipDeflater();
  TZipDeflater(const TZipDeflater&) = delete;
  TZipDeflater& operator=(const TZipDeflater&) = delete;

  void Write(const void* AData, std::size_t ASize);
  // Ends the stream; the deflater is done afterwards.
  TZipDeflated Finish();
  // Makes room for about ABytes of deflated data ahead, so that a large part that is known to
  // come (stretches deflated already) is not copied again and again as it grows.
  void Reserve(std::size_t ABytes);
  // Ends the stream as a stretch that another stream can take in whole (AppendStretch): flushed
  // to a byte boundary, with no final block. The deflater is done afterwards.
  TZipDeflated FinishStretch();
  // Takes in a stretch made by FinishStretch as if its bytes had been written here. The stream
  // is fully flushed first, so that nothing after the stretch refers back past it.
  void AppendStretch(const TZipDeflated& AStretch);

 private:
  void Deflate(const void* AData, std::size_t ASize, int AFlush);

  struct TState;
  std::unique_ptr<TState> FState;
  TZipDeflated FResult;
};

// The bytes a stretch (TZipDeflater::FinishStretch) holds, inflated again.
std::string InflateStretch(const TZipDeflated& AStretch);

struct TZipWriteItem {
  std::string Name;
  const TZipDeflated* Deflated = nullptr;  // or: data deflated already; must live as long
  const std::string* Data = nullptr;       // new data; must live until WriteZipFile returns
  const TZipReader* Source = nullptr;      // or: copy this reader's entry
  const TZipEntry* SourceEntry = nullptr;
  std::time_t MTime = 0;  // 0: now
};

// Writes the entries, in order, to a temporary file in AFileName's folder and renames it to
// AFileName. Raises EDocError naming AFileName when anything fails; the target is then untouched
// and no temporary file is left behind.
void WriteZipFile(const std::string& AFileName, const std::vector<TZipWriteItem>& AItems);

}  // namespace docengine
