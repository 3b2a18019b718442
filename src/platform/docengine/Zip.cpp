#include "platform/docengine/Zip.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <stdexcept>
#include <unordered_set>

#include "platform/docengine/DocError.h"

namespace docengine {

namespace {

std::string ZipErrorText(zip_error_t* AError) {
  const char* text = zip_error_strerror(AError);
  return text != nullptr ? text : "unknown zip error";
}

std::string ZipErrorText(int ACode) {
  zip_error_t error;
  zip_error_init_with_code(&error, ACode);
  std::string result = ZipErrorText(&error);
  zip_error_fini(&error);
  return result;
}

std::string SizeText(std::uint64_t ABytes) { return std::to_string(ABytes) + " bytes"; }

// An ASCII upper-cased copy: package part names compare case-insensitively.
std::string FoldName(const std::string& AName) { return host::UpperCase(AName); }

}  // namespace

std::string CheckEntryName(const std::string& AName) {
  if (AName.empty()) return "empty name";
  if (AName.find('\\') != std::string::npos) return "backslash in name";
  if (AName.find('\0') != std::string::npos) return "NUL character in name";
  if (AName.front() == '/') return "absolute path";
  if (AName.size() >= 2 && AName[1] == ':') return "drive letter in name";
  std::size_t start = 0;
  for (;;) {
    const std::size_t slash = AName.find('/', start);
    const std::string segment =
        AName.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    // A trailing '/' marks a folder entry, which some writers add; it is harmless.
    if (segment.empty() && slash != std::string::npos) return "empty path segment";
    if (segment == "." || segment == "..") return "'" + segment + "' path segment";
    if (slash == std::string::npos) break;
    start = slash + 1;
    if (start == AName.size()) break;
  }
  return "";
}

std::unique_ptr<TZipReader> TZipReader::OpenFile(const std::string& AFileName,
                                                 const TZipLimits& ALimits) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(AFileName, error)) {
    DocError(AFileName, "file not found");
  }
  std::ifstream stream(AFileName, std::ios::binary);
  if (!stream)
    DocError(AFileName, std::string("cannot open the file (") + std::strerror(errno) + ")");
  std::string data((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
  if (stream.bad()) DocError(AFileName, "read error");
  return OpenMemory(std::move(data), AFileName, ALimits);
}

std::unique_ptr<TZipReader> TZipReader::OpenMemory(std::string AData, const std::string& AFileName,
                                                   const TZipLimits& ALimits) {
  std::unique_ptr<TZipReader> result(new TZipReader());
  result->FFileName = AFileName;
  result->FData = std::move(AData);
  result->Open(ALimits);
  return result;
}

TZipReader::~TZipReader() {
  if (FZip != nullptr) zip_discard(FZip);
}

void TZipReader::Open(const TZipLimits& ALimits) {
  // Files that are plainly something else get told apart before the zip reader sees them, so
  // that a user who picked the wrong file learns what it is and what to do.
  if (FData.empty()) DocError(FFileName, "the file is empty, not a .docx document");
  if (FData.compare(0, 8, std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)) == 0) {
    DocError(FFileName,
             "a Word 97-2003 document (.doc) or another OLE file, not a .docx document; save it "
             "as .docx (Word Document) in the word processor first");
  }
  if (FData.compare(0, 5, "%PDF-") == 0) {
    DocError(FFileName,
             "a PDF file, not a .docx document; a PDF cannot be filled: use the .docx it was made "
             "from, or make the template in Word or LibreOffice Writer and save it as .docx");
  }
  if (FData.compare(0, 5, "{\\rtf") == 0) {
    DocError(FFileName, "an RTF document, not a .docx document; save it as .docx first");
  }
  // An OpenDocument file is a zip whose first entry, stored, is "mimetype" with its type.
  if (FData.size() > 38 && FData.compare(0, 2, "PK") == 0 &&
      FData.substr(30, 200).find("mimetypeapplication/vnd.oasis.opendocument.") == 0) {
    const bool text = FData.find("opendocument.text", 30) < 120;
    DocError(FFileName, std::string(text ? "an OpenDocument text (.odt)" : "an OpenDocument file") +
                            ", not a .docx document; open it in LibreOffice and save it as "
                            "\"Word 2007-365 (.docx)\" first");
  }
  if (FData.size() < 4 || FData.compare(0, 2, "PK") != 0) {
    DocError(FFileName, "not a .docx document (it is not a zip archive)");
  }
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(FData.data(), FData.size(), 0, &error);
  if (source == nullptr) {
    const std::string text = ZipErrorText(&error);
    zip_error_fini(&error);
    DocError(FFileName, "cannot read the archive (" + text + ")");
  }
  // libzip's own consistency check (ZIP_CHECKCONS) also demands that each local header repeat
  // its central entry's time stamp and that no bytes lie between entries, which packages written
  // by the Open XML SDK and .NET do not meet and which no other reader asks for. CheckLayout
  // keeps the part of it that matters: entries that share or overlap their data, and end
  // records that lie about the directory.
  FZip = zip_open_from_source(source, ZIP_RDONLY, &error);
  if (FZip == nullptr) {
    zip_source_free(source);
    const std::string text = ZipErrorText(&error);
    zip_error_fini(&error);
    DocError(FFileName, "not a valid .docx package: the zip archive is damaged (" + text + ")");
  }
  zip_error_fini(&error);

  const zip_int64_t count = zip_get_num_entries(FZip, 0);
  CheckLayout(count);
  if (count < 0 || static_cast<std::uint64_t>(count) > ALimits.MaxEntries) {
    DocError(FFileName, "too many entries in the archive (" + std::to_string(count) + "; at most " +
                            std::to_string(ALimits.MaxEntries) + ")");
  }
  std::unordered_set<std::string> seen;
  std::uint64_t total = 0;
  FEntries.reserve(static_cast<std::size_t>(count));
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(FZip, static_cast<zip_uint64_t>(i), 0, &stat) != 0 ||
        (stat.valid & ZIP_STAT_NAME) == 0) {
      DocError(FFileName, "entry " + std::to_string(i) + " cannot be read (" +
                              ZipErrorText(zip_get_error(FZip)) + ")");
    }
    TZipEntry entry;
    entry.Name = stat.name;
    entry.Index = static_cast<std::uint64_t>(i);
    const std::string nameProblem = CheckEntryName(entry.Name);
    if (!nameProblem.empty()) PartError(FFileName, entry.Name, "unsafe part name: " + nameProblem);
    if (!seen.insert(FoldName(entry.Name)).second) {
      PartError(FFileName, entry.Name, "the part name occurs twice in the archive");
    }
    if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) != 0 && stat.encryption_method != ZIP_EM_NONE) {
      PartError(FFileName, entry.Name, "encrypted entries are not supported");
    }
    if ((stat.valid & ZIP_STAT_COMP_METHOD) == 0 ||
        (stat.comp_method != ZIP_CM_STORE && stat.comp_method != ZIP_CM_DEFLATE)) {
      PartError(FFileName, entry.Name,
                "unsupported compression method " + std::to_string(stat.comp_method) +
                    " (only stored and deflated entries are read)");
    }
    entry.Method = stat.comp_method;
    entry.Size = stat.size;
    entry.CompressedSize = stat.comp_size;
    entry.MTime = (stat.valid & ZIP_STAT_MTIME) != 0 ? stat.mtime : 0;
    if (entry.Size > ALimits.MaxEntrySize) {
      PartError(FFileName, entry.Name,
                "declares " + SizeText(entry.Size) + " uncompressed, more than the limit of " +
                    SizeText(ALimits.MaxEntrySize));
    }
    total += entry.Size;
    if (total > ALimits.MaxTotalSize) {
      PartError(FFileName, entry.Name,
                "the entries declare more than " + SizeText(ALimits.MaxTotalSize) +
                    " uncompressed in all");
    }
    FEntries.push_back(std::move(entry));
  }
}

namespace {

std::uint64_t Get(const std::string& AData, std::uint64_t AAt, int ABytes) {
  std::uint64_t result = 0;
  for (int i = ABytes - 1; i >= 0; --i) {
    result = (result << 8) | static_cast<unsigned char>(AData[static_cast<std::size_t>(AAt) + i]);
  }
  return result;
}

// An entry's stretch of the archive: its local header, name, extra field and data.
struct TEntrySpan {
  std::uint64_t Start = 0;
  std::uint64_t End = 0;
};

}  // namespace

// Walks the central directory the end record points at and each entry's local header, with the
// archive's own bytes: every entry must lie whole before the directory and apart from every
// other, and the directory must hold as many entries as the end record says. Time stamps,
// version fields and bytes between entries are no concern: other readers ignore them too.
void TZipReader::CheckLayout(std::int64_t ACount) const {
  const auto damaged = [this](const std::string& AWhat) {
    DocError(FFileName, "not a valid .docx package: the zip archive is damaged (" + AWhat + ")");
  };
  const std::uint64_t size = FData.size();
  const auto fits = [size](std::uint64_t AAt, std::uint64_t ALength) {
    return AAt <= size && ALength <= size - AAt;
  };
  if (size < 22) damaged("no end of central directory record");
  // The end record: the last signature with room for the record and its comment.
  std::uint64_t end = size;
  for (std::uint64_t at = size - 22;; --at) {
    if (Get(FData, at, 4) == 0x06054b50 && at + 22 + Get(FData, at + 20, 2) <= size) {
      end = at;
      break;
    }
    if (at == 0 || size - at > 22 + 0xFFFF) break;
  }
  if (end == size) damaged("no end of central directory record");
  std::uint64_t entries = Get(FData, end + 10, 2);
  std::uint64_t directorySize = Get(FData, end + 12, 4);
  std::uint64_t directory = Get(FData, end + 16, 4);
  if (end >= 20 && Get(FData, end - 20, 4) == 0x07064b50) {
    const std::uint64_t record = Get(FData, end - 12, 8);
    if (!fits(record, 56) || Get(FData, record, 4) != 0x06064b50) {
      damaged("the zip64 end record is missing");
    }
    entries = Get(FData, record + 32, 8);
    directorySize = Get(FData, record + 40, 8);
    directory = Get(FData, record + 48, 8);
  }
  if (!fits(directory, directorySize)) damaged("the central directory lies outside the archive");
  if (entries != static_cast<std::uint64_t>(ACount)) {
    damaged("the end record counts " + std::to_string(entries) + " entries, the directory " +
            std::to_string(ACount));
  }
  std::vector<TEntrySpan> spans;
  spans.reserve(static_cast<std::size_t>(entries));
  std::uint64_t at = directory;
  for (std::uint64_t i = 0; i < entries; ++i) {
    if (!fits(at, 46) || Get(FData, at, 4) != 0x02014b50) {
      damaged("the central directory holds fewer entries than its end record says");
    }
    std::uint64_t compressed = Get(FData, at + 20, 4);
    std::uint64_t uncompressed = Get(FData, at + 24, 4);
    const std::uint64_t nameLength = Get(FData, at + 28, 2);
    const std::uint64_t extraLength = Get(FData, at + 30, 2);
    const std::uint64_t commentLength = Get(FData, at + 32, 2);
    std::uint64_t local = Get(FData, at + 42, 4);
    if (!fits(at + 46, nameLength + extraLength + commentLength)) {
      damaged("a central directory entry runs past the directory");
    }
    // Sizes and offset too large for their fields stand in the zip64 extra field, in this order.
    for (std::uint64_t extra = at + 46 + nameLength;
         extra + 4 <= at + 46 + nameLength + extraLength; extra += 4 + Get(FData, extra + 2, 2)) {
      if (Get(FData, extra, 2) != 0x0001) continue;
      std::uint64_t field = extra + 4;
      const std::uint64_t fieldEnd = field + Get(FData, extra + 2, 2);
      for (std::uint64_t* value : {&uncompressed, &compressed, &local}) {
        if (*value == 0xFFFFFFFF && field + 8 <= fieldEnd && fits(field, 8)) {
          *value = Get(FData, field, 8);
          field += 8;
        }
      }
      break;
    }
    if (!fits(local, 30) || Get(FData, local, 4) != 0x04034b50) {
      damaged("an entry's local header is missing");
    }
    const std::uint64_t dataStart =
        local + 30 + Get(FData, local + 26, 2) + Get(FData, local + 28, 2);
    if (!fits(dataStart, compressed) || dataStart + compressed > directory) {
      damaged("an entry's data runs past the start of the central directory");
    }
    spans.push_back({local, dataStart + compressed});
    at += 46 + nameLength + extraLength + commentLength;
  }
  std::sort(spans.begin(), spans.end(),
            [](const TEntrySpan& A, const TEntrySpan& B) { return A.Start < B.Start; });
  for (std::size_t i = 1; i < spans.size(); ++i) {
    if (spans[i].Start < spans[i - 1].End) damaged("two entries share their data");
  }
}

int TZipReader::IndexOf(const std::string& AName) const {
  for (std::size_t i = 0; i < FEntries.size(); ++i) {
    if (host::SameText(FEntries[i].Name, AName)) return static_cast<int>(i);
  }
  return -1;
}

std::string TZipReader::Read(const TZipEntry& AEntry) const {
  zip_file_t* file = zip_fopen_index(FZip, AEntry.Index, 0);
  if (file == nullptr) {
    PartError(FFileName, AEntry.Name,
              "cannot open the entry (" + ZipErrorText(zip_get_error(FZip)) + ")");
  }
  struct TCloser {
    zip_file_t* File;
    ~TCloser() { zip_fclose(File); }
  } closer{file};

  std::string data;
  data.resize(static_cast<std::size_t>(AEntry.Size));
  std::uint64_t done = 0;
  while (done < AEntry.Size) {
    const zip_int64_t got = zip_fread(file, data.data() + done, AEntry.Size - done);
    if (got < 0) {
      PartError(FFileName, AEntry.Name,
                "damaged data (" + ZipErrorText(zip_file_get_error(file)) + ")");
    }
    if (got == 0) {
      PartError(FFileName, AEntry.Name,
                "holds " + SizeText(done) + " but declares " + SizeText(AEntry.Size));
    }
    done += static_cast<std::uint64_t>(got);
  }
  // One more read must find the end: libzip hands out everything the deflate stream yields,
  // however small the declared size.
  char extra = 0;
  const zip_int64_t more = zip_fread(file, &extra, 1);
  if (more > 0) {
    PartError(FFileName, AEntry.Name,
              "holds more data than the " + SizeText(AEntry.Size) + " it declares");
  }
  if (more < 0) {
    PartError(FFileName, AEntry.Name,
              "damaged data (" + ZipErrorText(zip_file_get_error(file)) + ")");
  }
  return data;
}

namespace {

// Removes the temporary file unless the save went through.
class TTempFileGuard {
 public:
  explicit TTempFileGuard(std::string APath) : FPath(std::move(APath)) {}
  ~TTempFileGuard() {
    if (!FPath.empty()) std::remove(FPath.c_str());
  }
  TTempFileGuard(const TTempFileGuard&) = delete;
  TTempFileGuard& operator=(const TTempFileGuard&) = delete;
  void Release() { FPath.clear(); }

 private:
  std::string FPath;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// TZipDeflater

struct TZipDeflater::TState {
  z_stream Stream{};
  bool Open = false;
  // deflate writes here and the bytes it made are appended to the result, so that no room is
  // cleared ahead of what deflate writes into it.
  std::array<unsigned char, 16384> Out;
};

TZipDeflater::TZipDeflater() : FState(std::make_unique<TState>()) {
  // Raw deflate (no zlib header), as zip entries hold it; level 6 as for every new part.
  if (deflateInit2(&FState->Stream, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::bad_alloc();
  }
  FState->Open = true;
  FResult.Crc = static_cast<std::uint32_t>(crc32(0, nullptr, 0));
}

TZipDeflater::~TZipDeflater() {
  if (FState->Open) deflateEnd(&FState->Stream);
}

void TZipDeflater::Deflate(const void* AData, std::size_t ASize, int AFlush) {
  z_stream& stream = FState->Stream;
  stream.next_in = static_cast<Bytef*>(const_cast<void*>(AData));
  stream.avail_in = static_cast<uInt>(ASize);
  int status = Z_OK;
  do {
    stream.next_out = FState->Out.data();
    stream.avail_out = static_cast<uInt>(FState->Out.size());
    status = deflate(&stream, AFlush);
    if (status == Z_STREAM_ERROR) throw std::runtime_error("deflate failed");
    FResult.Data.append(reinterpret_cast<const char*>(FState->Out.data()),
                        FState->Out.size() - stream.avail_out);
  } while (stream.avail_out == 0 || (AFlush == Z_FINISH && status != Z_STREAM_END));
}

void TZipDeflater::Write(const void* AData, std::size_t ASize) {
  // zlib counts in 32 bits: large writes go in slices.
  const auto* bytes = static_cast<const unsigned char*>(AData);
  while (ASize > 0) {
    const std::size_t slice = std::min<std::size_t>(ASize, 1u << 30);
    FResult.Crc = static_cast<std::uint32_t>(crc32(FResult.Crc, bytes, static_cast<uInt>(slice)));
    FResult.Size += slice;
    Deflate(bytes, slice, Z_NO_FLUSH);
    bytes += slice;
    ASize -= slice;
  }
}

TZipDeflated TZipDeflater::Finish() {
  Deflate(nullptr, 0, Z_FINISH);
  deflateEnd(&FState->Stream);
  FState->Open = false;
  // Shrinking copies the data: worth it only for much room left over.
  std::string& data = FResult.Data;
  if (data.capacity() - data.size() > data.size() / 4) data.shrink_to_fit();
  return std::move(FResult);
}

void TZipDeflater::Reserve(std::size_t ABytes) {
  FResult.Data.reserve(FResult.Data.size() + ABytes);
}

TZipDeflated TZipDeflater::FinishStretch() {
  Deflate(nullptr, 0, Z_SYNC_FLUSH);
  deflateEnd(&FState->Stream);
  FState->Open = false;
  FResult.Data.shrink_to_fit();
  return std::move(FResult);
}

std::uint32_t CombineCrc(std::uint32_t AFirst, std::uint32_t ASecond, std::uint64_t ASecondSize) {
  return static_cast<std::uint32_t>(
      crc32_combine(AFirst, ASecond, static_cast<z_off_t>(ASecondSize)));
}

void TZipDeflated::AppendStretch(const TZipDeflated& AStretch) {
  if (AStretch.Size == 0) return;
  Data += AStretch.Data;
  Crc = CombineCrc(Crc, AStretch.Crc, AStretch.Size);
  Size += AStretch.Size;
}

TSpillFile::TSpillFile() {
  std::error_code error;
  std::string folder = std::filesystem::temp_directory_path(error).string();
  if (error) folder = "/tmp";
  // O_TMPFILE: a file with no name, readable by this process only, gone when closed.
  FHandle = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (FHandle < 0) {
    std::string name = folder + "/veltrane-spill-XXXXXX";
    FHandle = ::mkstemp(name.data());
    if (FHandle >= 0) ::unlink(name.c_str());
  }
  if (FHandle < 0) {
    throw std::runtime_error("cannot make a temporary file in " + folder + " (" +
                             std::strerror(errno) + "); set TMPDIR to a folder with room");
  }
}

TSpillFile::~TSpillFile() {
  if (FHandle >= 0) ::close(FHandle);
}

std::uint64_t TSpillFile::Append(const void* AData, std::size_t ASize) {
  const std::uint64_t offset = FSize;
  const auto* bytes = static_cast<const char*>(AData);
  for (std::size_t done = 0; done < ASize;) {
    const ssize_t wrote =
        ::pwrite(FHandle, bytes + done, ASize - done, static_cast<off_t>(offset + done));
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) {
      throw std::runtime_error(std::string("cannot write a temporary file (") +
                               std::strerror(errno) + "); set TMPDIR to a folder with room");
    }
    done += static_cast<std::size_t>(wrote);
  }
  FSize += ASize;
  return offset;
}

void TSpillFile::Read(std::uint64_t AOffset, void* AOut, std::size_t ASize) const {
  auto* bytes = static_cast<char*>(AOut);
  for (std::size_t done = 0; done < ASize;) {
    const ssize_t got =
        ::pread(FHandle, bytes + done, ASize - done, static_cast<off_t>(AOffset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      throw std::runtime_error(std::string("cannot read back a temporary file (") +
                               (got < 0 ? std::strerror(errno) : "it was cut short") + ")");
    }
    done += static_cast<std::size_t>(got);
  }
}

void TZipDeflater::AppendStretch(const TZipDeflated& AStretch) {
  if (AStretch.Size == 0) return;
  Deflate(nullptr, 0, Z_FULL_FLUSH);
  FResult.AppendStretch(AStretch);
}

std::string InflateStretch(const TZipDeflated& AStretch) {
  std::string result;
  if (AStretch.Size == 0) return result;
  z_stream stream{};
  if (inflateInit2(&stream, -15) != Z_OK) throw std::bad_alloc();
  result.resize(AStretch.Size);
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(AStretch.Data.data()));
  stream.next_out = reinterpret_cast<Bytef*>(result.data());
  // zlib counts in 32 bits: a stretch is fed and drained in slices.
  std::size_t inLeft = AStretch.Data.size();
  std::size_t outLeft = result.size();
  int status = Z_OK;
  while (outLeft > 0 && status == Z_OK) {
    const auto inSlice = static_cast<uInt>(std::min<std::size_t>(inLeft, 1u << 30));
    const auto outSlice = static_cast<uInt>(std::min<std::size_t>(outLeft, 1u << 30));
    stream.avail_in = inSlice;
    stream.avail_out = outSlice;
    status = inflate(&stream, Z_NO_FLUSH);
    inLeft -= inSlice - stream.avail_in;
    outLeft -= outSlice - stream.avail_out;
    if (status == Z_BUF_ERROR && outLeft == 0) status = Z_OK;
  }
  inflateEnd(&stream);
  uLong crc = crc32(0, nullptr, 0);
  for (std::size_t at = 0; outLeft == 0 && at < result.size();) {
    const auto slice = static_cast<uInt>(std::min<std::size_t>(result.size() - at, 1u << 30));
    crc = crc32(crc, reinterpret_cast<const Bytef*>(result.data() + at), slice);
    at += slice;
  }
  if (outLeft != 0 || static_cast<std::uint32_t>(crc) != AStretch.Crc) {
    throw std::runtime_error("a deflated stretch does not inflate to what it held");
  }
  return result;
}

namespace {

// A libzip source that hands over deflated data as it is, with its size and checksum, so that
// the archive stores it without inflating and deflating it again.
struct TDeflatedSource {
  const TZipDeflated* Item;
  std::uint64_t Offset = 0;
  zip_error_t Error;
};

zip_int64_t DeflatedSourceCallback(void* AState, void* AData, zip_uint64_t ALength,
                                   zip_source_cmd_t ACommand) {
  auto* state = static_cast<TDeflatedSource*>(AState);
  switch (ACommand) {
    case ZIP_SOURCE_OPEN:
      state->Offset = 0;
      return 0;
    case ZIP_SOURCE_READ: {
      const std::uint64_t left = state->Item->Data.size() - state->Offset;
      const std::uint64_t count = std::min<std::uint64_t>(left, ALength);
      std::memcpy(AData, state->Item->Data.data() + state->Offset, count);
      state->Offset += count;
      return static_cast<zip_int64_t>(count);
    }
    case ZIP_SOURCE_CLOSE:
      return 0;
    case ZIP_SOURCE_STAT: {
      auto* stat = static_cast<zip_stat_t*>(AData);
      zip_stat_init(stat);
      stat->valid = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC |
                    ZIP_STAT_ENCRYPTION_METHOD;
      stat->size = state->Item->Size;
      stat->comp_size = state->Item->Data.size();
      stat->comp_method = ZIP_CM_DEFLATE;
      stat->crc = state->Item->Crc;
      stat->encryption_method = ZIP_EM_NONE;
      return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
      return zip_error_to_data(&state->Error, AData, ALength);
    case ZIP_SOURCE_FREE:
      zip_error_fini(&state->Error);
      delete state;
      return 0;
    case ZIP_SOURCE_SUPPORTS:
      return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                            ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
    default:
      zip_error_set(&state->Error, ZIP_ER_OPNOTSUPP, 0);
      return -1;
  }
}

}  // namespace

void WriteZipFile(const std::string& AFileName, const std::vector<TZipWriteItem>& AItems) {
  namespace fs = std::filesystem;
  const fs::path target(AFileName);
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  std::error_code fsError;
  if (!fs::is_directory(folder, fsError)) DocError(AFileName, "the folder does not exist");
  if (fs::is_directory(target, fsError)) DocError(AFileName, "a folder has that name");

  std::string tempName = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = mkstemp(tempName.data());
  if (fd < 0) {
    DocError(AFileName, std::string("cannot create a temporary file in its folder (") +
                            std::strerror(errno) + ")");
  }
  close(fd);
  TTempFileGuard guard(tempName);

  int code = 0;
  zip_t* archive = zip_open(tempName.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
  if (archive == nullptr) {
    DocError(AFileName, "cannot write the archive (" + ZipErrorText(code) + ")");
  }
  auto fail = [&](const std::string& AWhat) {
    const std::string text = AWhat + " (" + ZipErrorText(zip_get_error(archive)) + ")";
    zip_discard(archive);
    DocError(AFileName, text);
  };
  const std::time_t now = std::time(nullptr);
  for (const TZipWriteItem& item : AItems) {
    zip_source_t* source = nullptr;
    if (item.Source != nullptr) {
      // ZIP_FL_COMPRESSED hands over the compressed bytes as they are.
      source = zip_source_zip(archive, item.Source->GetHandle(), item.SourceEntry->Index,
                              ZIP_FL_COMPRESSED, 0, -1);
    } else if (item.Deflated != nullptr) {
      auto* state = new TDeflatedSource{item.Deflated, 0, {}};
      zip_error_init(&state->Error);
      source = zip_source_function(archive, DeflatedSourceCallback, state);
      if (source == nullptr) {
        zip_error_fini(&state->Error);
        delete state;
      }
    } else {
      source = zip_source_buffer(archive, item.Data->data(), item.Data->size(), 0);
    }
    if (source == nullptr) fail("cannot add part '" + item.Name + "'");
    const zip_int64_t index = zip_file_add(archive, item.Name.c_str(), source, ZIP_FL_ENC_UTF_8);
    if (index < 0) {
      zip_source_free(source);
      fail("cannot add part '" + item.Name + "'");
    }
    const auto entryIndex = static_cast<zip_uint64_t>(index);
    // A copied entry keeps its own method, so that libzip writes its bytes without inflating and
    // deflating them again; new data is deflated.
    const zip_int32_t method = item.Source != nullptr
                                   ? static_cast<zip_int32_t>(item.SourceEntry->Method)
                                   : ZIP_CM_DEFLATE;
    // Level 6, zlib's own default: libzip would otherwise use 9, which on the repetitive XML
    // of a merge costs three to four times the time for a file a few per cent smaller.
    const zip_uint32_t level = method == ZIP_CM_DEFLATE && item.Deflated == nullptr ? 6 : 0;
    if (zip_set_file_compression(archive, entryIndex, method, level) != 0) {
      fail("cannot set the compression of part '" + item.Name + "'");
    }
    const std::time_t mtime =
        item.MTime != 0
            ? item.MTime
            : (item.Source != nullptr && item.SourceEntry->MTime != 0 ? item.SourceEntry->MTime
                                                                      : now);
    zip_file_set_mtime(archive, entryIndex, mtime, 0);
  }
  if (zip_close(archive) != 0) fail("cannot write the archive");

  // The temporary file was made private; the result gets the target's permissions, or those a
  // new file gets.
  struct stat targetStat;
  mode_t mode = 0;
  if (stat(AFileName.c_str(), &targetStat) == 0) {
    mode = targetStat.st_mode & 07777;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  chmod(tempName.c_str(), mode);

  if (std::rename(tempName.c_str(), AFileName.c_str()) != 0) {
    DocError(AFileName, std::string("cannot replace the file (") + std::strerror(errno) + ")");
  }
  guard.Release();
}

}  // namespace docengine
