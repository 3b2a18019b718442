#include "platform/docengine/Package.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <random>
#include <string_view>
#include <system_error>
#include <thread>

#include "platform/docengine/DocError.h"
#include "platform/docengine/XmlNames.h"

namespace docengine {

namespace {

constexpr unsigned XmlParseOptions = pugi::parse_full | pugi::parse_ws_pcdata;

std::string StripSlash(const std::string& AName) {
  return !AName.empty() && AName.front() == '/' ? AName.substr(1) : AName;
}

// Lower-case extension of a part name, without the dot.
std::string Extension(const std::string& AName) {
  const std::size_t dot = AName.rfind('.');
  const std::size_t slash = AName.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return host::LowerCase(AName.substr(dot + 1));
}

std::string RelationshipsPartOf(const std::string& APartName) {
  if (APartName.empty()) return "_rels/.rels";
  const std::size_t slash = APartName.rfind('/');
  if (slash == std::string::npos) return "_rels/" + APartName + ".rels";
  return APartName.substr(0, slash + 1) + "_rels/" + APartName.substr(slash + 1) + ".rels";
}

constexpr const char* ContentTypeRelationships =
    "application/vnd.openxmlformats-package.relationships+xml";

// The qualified name of ALocal in the namespace of ARoot ("Override", or "ct:Override" when the
// writer gave the namespace a prefix).
std::string SiblingName(pugi::xml_node ARoot, const char* ALocal) {
  const char* name = ARoot.name();
  const char* colon = std::strrchr(name, ':');
  return colon != nullptr ? std::string(name, colon + 1) + ALocal : std::string(ALocal);
}

// The folders of a part name ("word/media/a.png" gives "word", "media").
std::vector<std::string> Folders(const std::string& APartName) {
  std::vector<std::string> result;
  std::size_t start = 0;
  for (std::size_t slash = APartName.find('/'); slash != std::string::npos;
       slash = APartName.find('/', start)) {
    result.push_back(APartName.substr(start, slash - start));
    start = slash + 1;
  }
  return result;
}

}  // namespace

std::string RelativeTarget(const std::string& ASourcePart, const std::string& ATargetPart) {
  const std::vector<std::string> from = Folders(StripSlash(ASourcePart));
  const std::string target = StripSlash(ATargetPart);
  const std::vector<std::string> to = Folders(target);
  std::size_t common = 0;
  while (common < from.size() && common < to.size() && from[common] == to[common]) ++common;
  std::string result;
  for (std::size_t i = common; i < from.size(); ++i) result += "../";
  for (std::size_t i = common; i < to.size(); ++i) result += to[i] + '/';
  const std::size_t slash = target.rfind('/');
  return result + (slash == std::string::npos ? target : target.substr(slash + 1));
}

bool RelationshipIs(const TDocRelationship& ARelationship, const char* AKind) {
  const std::size_t slash = ARelationship.Type.rfind('/');
  const std::string last =
      slash == std::string::npos ? ARelationship.Type : ARelationship.Type.substr(slash + 1);
  return last == AKind;
}

std::string ResolvePartName(const std::string& ASourcePart, const std::string& ATarget) {
  std::string target = ATarget;
  // A fragment or query never names a different part.
  const std::size_t hash = target.find('#');
  if (hash != std::string::npos) target.erase(hash);
  std::vector<std::string> segments;
  if (target.empty()) return "";
  if (target.front() != '/') {
    const std::size_t slash = ASourcePart.rfind('/');
    std::string folder = slash == std::string::npos ? "" : ASourcePart.substr(0, slash);
    std::size_t start = 0;
    while (start < folder.size()) {
      const std::size_t next = folder.find('/', start);
      segments.push_back(folder.substr(start, next == std::string::npos ? next : next - start));
      if (next == std::string::npos) break;
      start = next + 1;
    }
  }
  std::size_t start = target.front() == '/' ? 1 : 0;
  while (start <= target.size()) {
    const std::size_t next = target.find('/', start);
    const std::string segment =
        target.substr(start, next == std::string::npos ? std::string::npos : next - start);
    if (segment == "..") {
      if (segments.empty()) return "";
      segments.pop_back();
    } else if (!segment.empty() && segment != ".") {
      segments.push_back(segment);
    }
    if (next == std::string::npos) break;
    start = next + 1;
  }
  std::string result;
  for (const std::string& segment : segments) {
    if (!result.empty()) result += '/';
    result += segment;
  }
  return result;
}

// ---------------------------------------------------------------------------------------------
// TDocPart

std::uint64_t TDocPart::GetSize() const {
  if (FHasNewData) return FNewData.size();
  if (!FReadData.empty()) return FReadData.size();
  if (FEntry < 0) return 0;
  return FPackage->FReader->GetEntries()[static_cast<std::size_t>(FEntry)].Size;
}

std::string TDocPart::GetData() const {
  if (FHasNewData) return FNewData;
  if (!FReadData.empty()) return FReadData;
  if (FEntry < 0) return "";
  const TZipReader& reader = *FPackage->FReader;
  return reader.Read(reader.GetEntries()[static_cast<std::size_t>(FEntry)]);
}

void TDocPart::SetData(std::string AData) {
  FReadData.clear();
  FNewData = std::move(AData);
  FHasNewData = true;
  FXml.reset();
  FModified = false;
}

pugi::xml_document& TDocPart::GetXml() {
  if (FXml) return *FXml;
  const std::string data = FReadData.empty() ? GetData() : std::move(FReadData);
  FReadData.clear();
  FReadData.shrink_to_fit();
  auto xml = std::make_unique<pugi::xml_document>();
  const pugi::xml_parse_result result =
      xml->load_buffer(data.data(), data.size(), XmlParseOptions, pugi::encoding_auto);
  const std::string& fileName = FPackage->GetFileName();
  if (!result) PartErrorAt(fileName, FName, result.offset, result.description());
  // A document type declaration has no place in a package part; refusing it outright keeps
  // entity tricks out of reach whatever a later parser does.
  for (pugi::xml_node node = xml->first_child(); node; node = node.next_sibling()) {
    if (node.type() == pugi::node_doctype) {
      const std::size_t at = data.find("<!DOCTYPE");
      PartErrorAt(fileName, FName, at == std::string::npos ? 0 : static_cast<std::int64_t>(at),
                  "DOCTYPE declarations are not allowed in a package part");
    }
  }
  if (!xml->document_element()) PartError(fileName, FName, "no root element");
  const std::size_t declarationEnd = data.rfind("?>", 200);
  FCrLfAfterDeclaration = data.compare(0, 5, "<?xml") == 0 && declarationEnd != std::string::npos &&
                          data.compare(declarationEnd + 2, 2, "\r\n") == 0;
  FXml = std::move(xml);
  return *FXml;
}

namespace {

// Passes the serialised XML on, with a line break put back after the declaration when the part
// had one there (Word writes it; the tree does not keep it). The declaration ends within the
// first bytes, so only those are held back until it is seen.
class TPartWriter : public pugi::xml_writer {
 public:
  TPartWriter(std::function<void(const void*, std::size_t)> AOut, bool ACrLfAfterDeclaration)
      : FOut(std::move(AOut)), FPending(ACrLfAfterDeclaration) {}

  void write(const void* AData, std::size_t ASize) override {
    if (!FPending) {
      FOut(AData, ASize);
      return;
    }
    FHead.append(static_cast<const char*>(AData), ASize);
    if (FHead.size() >= 256 || FHead.find("?>") != std::string::npos) Flush();
  }

  void Flush() {
    if (!FPending) return;
    FPending = false;
    if (FHead.compare(0, 5, "<?xml") == 0) {
      const std::size_t end = FHead.find("?>");
      if (end != std::string::npos) FHead.insert(end + 2, "\r\n");
    }
    FOut(FHead.data(), FHead.size());
    FHead.clear();
  }

 private:
  std::function<void(const void*, std::size_t)> FOut;
  bool FPending;
  std::string FHead;
};

// Passes serialised XML on, and each frozen stretch's instruction ("<?mark number?>") as the
// stretch itself. An instruction may arrive cut over two pieces: the tail of a piece that could
// begin one is held back until the next.
class TStretchSplicer {
 public:
  // AStretch passes stretch N on and says whether there is one.
  TStretchSplicer(const std::string& AMark,
                  const std::function<void(const void*, std::size_t)>& AOut,
                  const std::function<bool(std::uint64_t)>& AStretch)
      : FMark("<?" + AMark + " "), FOut(AOut), FStretch(AStretch) {}

  void Write(const void* AData, std::size_t ASize) {
    if (FHeld.empty()) {
      Scan(static_cast<const char*>(AData), ASize);
      return;
    }
    std::string joined = std::move(FHeld);
    FHeld.clear();
    joined.append(static_cast<const char*>(AData), ASize);
    Scan(joined.data(), joined.size());
  }

  void Finish() {
    if (!FHeld.empty()) FOut(FHeld.data(), FHeld.size());
    FHeld.clear();
  }

 private:
  void Scan(const char* AData, std::size_t ASize) {
    while (ASize > 0) {
      const auto* hit = static_cast<const char*>(memmem(AData, ASize, FMark.data(), FMark.size()));
      if (hit == nullptr) {
        std::size_t keep = std::min(ASize, FMark.size() - 1);
        while (keep > 0 && std::memcmp(AData + ASize - keep, FMark.data(), keep) != 0) --keep;
        FOut(AData, ASize - keep);
        FHeld.assign(AData + ASize - keep, keep);
        return;
      }
      FOut(AData, static_cast<std::size_t>(hit - AData));
      const std::size_t left = ASize - static_cast<std::size_t>(hit - AData);
      const auto* end = static_cast<const char*>(memmem(hit, left, "?>", 2));
      if (end == nullptr) {
        FHeld.assign(hit, left);
        return;
      }
      const std::string_view number(hit + FMark.size(),
                                    static_cast<std::size_t>(end - hit) - FMark.size());
      if (!FStretch(std::strtoull(std::string(number).c_str(), nullptr, 10))) {
        FOut(hit, static_cast<std::size_t>(end + 2 - hit));
      }
      ASize = left - static_cast<std::size_t>(end + 2 - hit);
      AData = end + 2;
    }
  }

  const std::string FMark;
  const std::function<void(const void*, std::size_t)>& FOut;
  const std::function<bool(std::uint64_t)>& FStretch;
  std::string FHeld;
};

// Hands what pugixml writes to a function.
class TFunctionWriter : public pugi::xml_writer {
 public:
  explicit TFunctionWriter(std::function<void(const void*, std::size_t)> AOut)
      : FOut(std::move(AOut)) {}
  void write(const void* AData, std::size_t ASize) override { FOut(AData, ASize); }

 private:
  std::function<void(const void*, std::size_t)> FOut;
};

constexpr unsigned StretchParseOptions =
    (pugi::parse_full | pugi::parse_ws_pcdata | pugi::parse_fragment) & ~pugi::parse_eol;

}  // namespace

void TDocPart::SerializeTo(const std::function<void(const void*, std::size_t)>& AOut,
                           const std::function<void(const TZipDeflated&)>& AStretch) const {
  // The tree is written in UTF-8 whatever the part was read in, so its declaration must say so.
  pugi::xml_node declaration = FXml->first_child();
  if (declaration.type() == pugi::node_declaration) {
    pugi::xml_attribute encoding = declaration.attribute("encoding");
    if (encoding && !host::SameText(encoding.value(), "UTF-8")) encoding.set_value("UTF-8");
  }
  SettleFrozen();
  if (FFrozen.empty()) {
    TPartWriter writer(AOut, FCrLfAfterDeclaration);
    FXml->save(writer, "", pugi::format_raw, pugi::encoding_utf8);
    writer.Flush();
    return;
  }
  const std::function<bool(std::uint64_t)> stretch = [this, &AStretch](std::uint64_t ANumber) {
    const auto found = FFrozen.find(ANumber);
    if (found == FFrozen.end()) return false;
    AStretch(LoadFrozen(found->second));
    return true;
  };
  TStretchSplicer splicer(FFrozenMark, AOut, stretch);
  TPartWriter writer(
      [&splicer](const void* AData, std::size_t ASize) { splicer.Write(AData, ASize); },
      FCrLfAfterDeclaration);
  FXml->save(writer, "", pugi::format_raw, pugi::encoding_utf8);
  writer.Flush();
  splicer.Finish();
}

void TDocPart::SerializeTo(const std::function<void(const void*, std::size_t)>& AOut) const {
  SerializeTo(AOut, [&AOut](const TZipDeflated& AStretch) {
    const std::string text = InflateStretch(AStretch);
    AOut(text.data(), text.size());
  });
}

namespace {

// The number of a frozen stretch and the table rows it holds, as its instruction's value.
std::string FrozenValue(std::uint64_t ANumber, int ARows) {
  return std::to_string(ANumber) + " " + std::to_string(ARows);
}

TZipDeflated DeflateStretch(const std::string& AText) {
  TZipDeflater deflater;
  deflater.Write(AText.data(), AText.size());
  return deflater.FinishStretch();
}

std::atomic<bool>& DeflateAside() {
  static std::atomic<bool> value{std::thread::hardware_concurrency() > 1};
  return value;
}

}  // namespace

// Deflates frozen stretches on a thread of its own, in the order they were frozen, so that the
// merge goes on while the second core compresses. Each stretch is taken into the part's map
// when it is done; Settle waits for all of them (and passes on a failure of the thread).
class TStretchWorker {
 public:
  explicit TStretchWorker(TDocPart& APart) : FPart(APart), FThread([this] { Run(); }) {}
  ~TStretchWorker() {
    {
      const std::lock_guard<std::mutex> lock(FLock);
      FStop = true;
    }
    FWake.notify_all();
    FThread.join();
  }
  TStretchWorker(const TStretchWorker&) = delete;
  TStretchWorker& operator=(const TStretchWorker&) = delete;

  // Hands over the serialised nodes of stretch ANumber, to start it or (AJoin) to join it.
  // Waits while a few stretches are still waiting, so that the text held stays small.
  void Post(std::uint64_t ANumber, bool AJoin, std::string AText) {
    std::unique_lock<std::mutex> lock(FLock);
    FDone.wait(lock, [this] { return FJobs.size() < MaxWaiting || FFailure; });
    FJobs.push_back({ANumber, AJoin, std::move(AText)});
    lock.unlock();
    FWake.notify_one();
  }
  void Settle() {
    std::unique_lock<std::mutex> lock(FLock);
    FDone.wait(lock, [this] { return (FJobs.empty() && !FBusy) || FFailure; });
    // A stretch that could not be deflated is lost: the part can never be written whole again.
    if (FFailure) std::rethrow_exception(FFailure);
  }

 private:
  struct TJob {
    std::uint64_t Number;
    bool Join;
    std::string Text;
  };
  static constexpr std::size_t MaxWaiting = 4;

  void Run() {
    std::unique_lock<std::mutex> lock(FLock);
    for (;;) {
      FWake.wait(lock, [this] { return FStop || (!FJobs.empty() && !FFailure); });
      if (FStop) return;  // the part goes: what is left is not wanted
      TJob job = std::move(FJobs.front());
      FJobs.pop_front();
      FBusy = true;
      lock.unlock();
      try {
        TZipDeflated stretch = DeflateStretch(job.Text);
        job.Text = std::string();
        lock.lock();
        FPart.StoreFrozen(job.Number, job.Join, stretch);
      } catch (...) {
        if (!lock.owns_lock()) lock.lock();
        FFailure = std::current_exception();
      }
      FBusy = false;
      FDone.notify_all();
    }
  }

  TDocPart& FPart;
  std::mutex FLock;
  std::condition_variable FWake;  // a job came, or the worker is to stop
  std::condition_variable FDone;  // a job is done
  std::deque<TJob> FJobs;
  bool FBusy = false;
  bool FStop = false;
  std::exception_ptr FFailure;
  std::thread FThread;  // last: it starts once the rest is made
};

TDocPart::TDocPart(TDocPackage* APackage, std::string AName)
    : FPackage(APackage), FName(std::move(AName)) {}

TDocPart::~TDocPart() = default;

void TDocPart::SetDeflateAside(bool AValue) { DeflateAside() = AValue; }

bool TDocPart::GetDeflateAside() { return DeflateAside(); }

void TDocPart::SettleFrozen() const {
  if (FWorker) FWorker->Settle();
}

void TDocPart::StoreFrozen(std::uint64_t ANumber, bool AJoin, const TZipDeflated& AStretch) {
  if (!FSpill) FSpill = std::make_unique<TSpillFile>();
  TFrozenData& data = FFrozen[ANumber];
  if (!AJoin) data = TFrozenData();
  const std::uint64_t offset = FSpill->Append(AStretch.Data.data(), AStretch.Data.size());
  if (!data.Spans.empty() && data.Spans.back().first + data.Spans.back().second == offset) {
    data.Spans.back().second += AStretch.Data.size();
  } else {
    data.Spans.emplace_back(offset, AStretch.Data.size());
  }
  data.Crc = CombineCrc(data.Crc, AStretch.Crc, AStretch.Size);
  data.Size += AStretch.Size;
}

TZipDeflated TDocPart::LoadFrozen(const TFrozenData& AData) const {
  TZipDeflated result;
  result.Size = AData.Size;
  result.Crc = AData.Crc;
  std::uint64_t bytes = 0;
  for (const auto& [offset, size] : AData.Spans) bytes += size;
  result.Data.resize(bytes);
  std::uint64_t at = 0;
  for (const auto& [offset, size] : AData.Spans) {
    FSpill->Read(offset, result.Data.data() + at, size);
    at += size;
  }
  return result;
}

pugi::xml_node TDocPart::Freeze(pugi::xml_node AFirst, pugi::xml_node ALast, pugi::xml_node AInto) {
  if (FFrozenMark.empty()) {
    std::random_device random;
    char mark[40];
    std::snprintf(mark, sizeof(mark), "veltrane-frozen-%08x%08x", random(), random());
    FFrozenMark = mark;
  }
  if (!FWorker && DeflateAside()) {
    try {
      FWorker = std::make_unique<TStretchWorker>(*this);
    } catch (const std::system_error&) {
      DeflateAside() = false;  // no thread to be had: deflate here
    }
  }
  std::string text;
  TFunctionWriter writer([&text](const void* AData, std::size_t ASize) {
    text.append(static_cast<const char*>(AData), ASize);
  });
  pugi::xml_node parent = AFirst.parent();
  const bool join = AInto && AInto.next_sibling() == AFirst && FFrozenMark == AInto.name() &&
                    FFrozenLengths.count(std::strtoull(AInto.value(), nullptr, 10)) != 0;
  pugi::xml_node holder = join ? AInto : parent.insert_child_before(pugi::node_pi, AFirst);
  const std::uint64_t number = join ? std::strtoull(AInto.value(), nullptr, 10) : ++FLastFrozen;
  if (!join) holder.set_name(FFrozenMark.c_str());
  int rows = FrozenRows(holder);
  for (pugi::xml_node node = AFirst; node;) {
    const pugi::xml_node next = node.next_sibling();
    const bool last = node == ALast;
    if (IsLocal(node, "tr")) ++rows;
    node.print(writer, "", pugi::format_raw, pugi::encoding_utf8);
    parent.remove_child(node);
    if (last) break;
    node = next;
  }
  holder.set_value(FrozenValue(number, rows).c_str());
  FFrozenLengths[number] += text.size();
  if (FWorker) {
    FWorker->Post(number, join, std::move(text));
  } else {
    StoreFrozen(number, join, DeflateStretch(text));
  }
  FModified = true;
  return holder;
}

int FrozenRows(pugi::xml_node ANode) {
  if (ANode.type() != pugi::node_pi || std::strncmp(ANode.name(), "veltrane-frozen-", 16) != 0) {
    return 0;
  }
  const char* rows = std::strchr(ANode.value(), ' ');
  return rows != nullptr ? std::atoi(rows + 1) : 0;
}

std::vector<pugi::xml_node> TDocPart::Thaw(pugi::xml_node AHolder) {
  std::vector<pugi::xml_node> result;
  SettleFrozen();
  const auto found = FFrozen.find(std::strtoull(AHolder.value(), nullptr, 10));
  if (found == FFrozen.end() || FFrozenMark != AHolder.name()) return result;
  std::string text = InflateStretch(LoadFrozen(found->second));
  pugi::xml_document scratch;
  const pugi::xml_parse_result parsed = scratch.load_buffer_inplace(
      text.data(), text.size(), StretchParseOptions, pugi::encoding_utf8);
  if (!parsed) {
    PartErrorAt(FPackage->GetFileName(), FName, parsed.offset,
                std::string("frozen content does not parse again: ") + parsed.description());
  }
  pugi::xml_node parent = AHolder.parent();
  for (pugi::xml_node node = scratch.first_child(); node; node = node.next_sibling()) {
    result.push_back(parent.insert_copy_before(node, AHolder));
  }
  parent.remove_child(AHolder);
  FFrozenLengths.erase(found->first);
  FFrozen.erase(found);
  FModified = true;
  return result;
}

std::uint64_t TDocPart::GetFrozenLength(pugi::xml_node AHolder) const {
  if (AHolder.type() != pugi::node_pi || FFrozenMark != AHolder.name()) return 0;
  const auto found = FFrozenLengths.find(std::strtoull(AHolder.value(), nullptr, 10));
  return found != FFrozenLengths.end() ? found->second : 0;
}

std::uint64_t TDocPart::GetFrozenSize() const {
  std::uint64_t result = 0;
  SettleFrozen();
  for (const auto& [number, stretch] : FFrozen) {
    for (const auto& [offset, size] : stretch.Spans) result += size;
  }
  return result;
}

// ---------------------------------------------------------------------------------------------
// TDocPackage

std::unique_ptr<TDocPackage> TDocPackage::Open(const std::string& AFileName,
                                               const TZipLimits& ALimits) {
  std::unique_ptr<TDocPackage> result(new TDocPackage());
  result->FReader = TZipReader::OpenFile(AFileName, ALimits);
  result->Load();
  return result;
}

std::unique_ptr<TDocPackage> TDocPackage::OpenMemory(std::string AData,
                                                     const std::string& AFileName,
                                                     const TZipLimits& ALimits) {
  std::unique_ptr<TDocPackage> result(new TDocPackage());
  result->FReader = TZipReader::OpenMemory(std::move(AData), AFileName, ALimits);
  result->Load();
  return result;
}

TDocPackage::~TDocPackage() = default;

void TDocPackage::IndexPart(TDocPart* APart) {
  FByName[host::UpperCase(APart->FName)] = APart;
  FBySize.emplace(APart->GetSize(), APart);
}

void TDocPackage::Load() {
  FOrigin = std::hash<std::string_view>()(FReader->GetArchive());
  const std::vector<TZipEntry>& entries = FReader->GetEntries();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    // Every entry is read once here, so that a damaged or lying entry is refused at open and
    // never copied into a saved document.
    std::string data = FReader->Read(entries[i]);
    std::unique_ptr<TDocPart> part(new TDocPart(this, entries[i].Name));
    part->FEntry = static_cast<int>(i);
    // XML parts are parsed soon anyway; keep their bytes so that they are not inflated twice.
    const std::string extension = Extension(part->FName);
    if (extension == "xml" || extension == "rels") part->FReadData = std::move(data);
    FParts.push_back(std::move(part));
    IndexPart(FParts.back().get());
  }

  TDocPart* types = FindPart("[Content_Types].xml");
  if (types == nullptr) {
    DocError(GetFileName(), "not a .docx package: the part '[Content_Types].xml' is missing");
  }
  pugi::xml_node root = types->GetXml().document_element();
  std::vector<std::pair<std::string, std::string>> defaults;
  for (pugi::xml_node node = root.first_child(); node; node = node.next_sibling()) {
    if (node.type() != pugi::node_element) continue;
    const char* local = LocalName(node.name());
    if (std::strcmp(local, "Default") == 0) {
      defaults.emplace_back(host::LowerCase(node.attribute("Extension").value()),
                            node.attribute("ContentType").value());
    } else if (std::strcmp(local, "Override") == 0) {
      if (TDocPart* part = FindPart(node.attribute("PartName").value())) {
        part->FContentType = node.attribute("ContentType").value();
      }
    }
  }
  for (const auto& part : FParts) {
    if (!part->FContentType.empty()) continue;
    const std::string extension = Extension(part->FName);
    for (const auto& [defaultExtension, contentType] : defaults) {
      if (defaultExtension == extension) {
        part->FContentType = contentType;
        break;
      }
    }
  }
}

TDocPart* TDocPackage::FindPart(const std::string& AName) const {
  const auto found = FByName.find(host::UpperCase(StripSlash(AName)));
  return found != FByName.end() ? found->second : nullptr;
}

TDocPart* TDocPackage::FindPartByContent(const std::string& AData,
                                         const std::string& AContentType) const {
  const std::size_t hash = std::hash<std::string_view>()(AData);
  const auto range = FBySize.equal_range(AData.size());
  for (auto it = range.first; it != range.second; ++it) {
    const TDocPart* part = it->second;
    const std::string extension = Extension(part->FName);
    if (part->FXml || extension == "xml" || extension == "rels" ||
        !host::SameText(part->FContentType, AContentType)) {
      continue;
    }
    if (!part->FHashed) {
      part->FHash = std::hash<std::string_view>()(part->GetData());
      part->FHashed = true;
    }
    if (part->FHash == hash && part->GetData() == AData) return it->second;
  }
  return nullptr;
}

std::vector<TDocRelationship> TDocPackage::GetRelationships(const std::string& APartName) {
  std::vector<TDocRelationship> result;
  TDocPart* rels = FindPart(RelationshipsPartOf(StripSlash(APartName)));
  if (rels == nullptr) return result;
  pugi::xml_node root = rels->GetXml().document_element();
  for (pugi::xml_node node = root.first_child(); node; node = node.next_sibling()) {
    if (node.type() != pugi::node_element ||
        std::strcmp(LocalName(node.name()), "Relationship") != 0) {
      continue;
    }
    TDocRelationship relationship;
    relationship.Id = node.attribute("Id").value();
    relationship.Type = node.attribute("Type").value();
    relationship.Target = node.attribute("Target").value();
    relationship.External = host::SameText(node.attribute("TargetMode").value(), "External");
    if (!relationship.External) {
      relationship.TargetPart = ResolvePartName(StripSlash(APartName), relationship.Target);
    }
    result.push_back(std::move(relationship));
  }
  return result;
}

TDocPart* TDocPackage::GetMainPart() {
  for (const TDocRelationship& relationship : GetRelationships("")) {
    if (relationship.External || !RelationshipIs(relationship, RelOfficeDocument)) continue;
    TDocPart* part = FindPart(relationship.TargetPart);
    if (part == nullptr) {
      DocError(GetFileName(), "not a .docx package: the main document part '" +
                                  relationship.TargetPart + "' is missing");
    }
    return part;
  }
  DocError(GetFileName(), "not a .docx package: no main document relationship in '_rels/.rels'");
}

TDocPart* TDocPackage::AddPart(const std::string& AName, std::string AData,
                               const std::string& AContentType) {
  const std::string name = StripSlash(AName);
  if (name.empty() || FindPart(name) != nullptr) {
    DocError(GetFileName(), "cannot add the part '" + name + "': the name is taken or empty");
  }
  TDocPart* types = FindPart("[Content_Types].xml");
  pugi::xml_node root = types->GetXml().document_element();
  pugi::xml_node fallback = FindDefaultFor(Extension(name));
  if (!fallback || !host::SameText(fallback.attribute("ContentType").value(), AContentType)) {
    pugi::xml_node node = root.append_child(SiblingName(root, "Override").c_str());
    node.append_attribute("PartName") = ("/" + name).c_str();
    node.append_attribute("ContentType") = AContentType.c_str();
    types->SetModified(true);
  }
  std::unique_ptr<TDocPart> part(new TDocPart(this, name));
  part->FContentType = AContentType;
  part->FNewData = std::move(AData);
  part->FHasNewData = true;
  FParts.push_back(std::move(part));
  IndexPart(FParts.back().get());
  return FParts.back().get();
}

std::string TDocPackage::UniquePartName(const std::string& APrefix,
                                        const std::string& AExtension) const {
  int& next = FNextNumber[host::UpperCase(APrefix + "|" + AExtension)];
  for (int n = std::max(next, 1);; ++n) {
    std::string name = APrefix;
    name += std::to_string(n);
    name += AExtension;
    if (FindPart(name) == nullptr) {
      next = n + 1;
      return name;
    }
  }
}

pugi::xml_node TDocPackage::FindDefaultFor(const std::string& AExtension) {
  if (!FDefaultsRead) {
    FDefaultsRead = true;
    pugi::xml_node root = FindPart("[Content_Types].xml")->GetXml().document_element();
    for (pugi::xml_node node = root.first_child(); node; node = node.next_sibling()) {
      if (node.type() == pugi::node_element &&
          std::strcmp(LocalName(node.name()), "Default") == 0) {
        FDefaults.emplace(host::LowerCase(node.attribute("Extension").value()), node);
      }
    }
  }
  const auto found = FDefaults.find(host::LowerCase(AExtension));
  return found != FDefaults.end() ? found->second : pugi::xml_node();
}

std::string TDocPackage::EnsureContentTypeDefault(const std::string& AExtension,
                                                  const std::string& AContentType) {
  TDocPart* types = FindPart("[Content_Types].xml");
  pugi::xml_node root = types->GetXml().document_element();
  const std::string extension = host::LowerCase(AExtension);
  if (pugi::xml_node existing = FindDefaultFor(extension)) {
    return existing.attribute("ContentType").value();
  }
  // Defaults are kept together ahead of the overrides, as writers put them.
  pugi::xml_node after;
  for (pugi::xml_node node = root.first_child(); node; node = node.next_sibling()) {
    if (node.type() == pugi::node_element && std::strcmp(LocalName(node.name()), "Default") == 0) {
      after = node;
    }
  }
  const std::string name = SiblingName(root, "Default");
  pugi::xml_node node =
      after ? root.insert_child_after(name.c_str(), after) : root.prepend_child(name.c_str());
  node.append_attribute("Extension") = extension.c_str();
  node.append_attribute("ContentType") = AContentType.c_str();
  FDefaults[extension] = node;
  types->SetModified(true);
  for (const auto& part : FParts) {
    if (part->FContentType.empty() && Extension(part->FName) == extension) {
      part->FContentType = AContentType;
    }
  }
  return AContentType;
}

std::string TDocPackage::AddRelationship(const std::string& ASourcePart, const std::string& AType,
                                         const std::string& ATarget, bool AExternal,
                                         const std::string& AId) {
  const std::string relsName = RelationshipsPartOf(StripSlash(ASourcePart));
  TDocPart* rels = FindPart(relsName);
  if (rels == nullptr) {
    rels = AddPart(relsName,
                   "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
                   "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
                   "relationships\"/>",
                   ContentTypeRelationships);
  }
  pugi::xml_node root = rels->GetXml().document_element();
  TRelationshipIndex& index = IndexOf(ASourcePart);
  std::string id = AId;
  if (id.empty() || index.ById.count(id) != 0) {
    do {
      id = "rId" + std::to_string(++index.Highest);
    } while (index.ById.count(id) != 0);
  }
  pugi::xml_node node = root.append_child(SiblingName(root, "Relationship").c_str());
  node.append_attribute("Id") = id.c_str();
  node.append_attribute("Type") = AType.c_str();
  node.append_attribute("Target") = ATarget.c_str();
  if (AExternal) node.append_attribute("TargetMode") = "External";
  rels->SetModified(true);
  TDocRelationship& relationship = index.ById[id];
  relationship.Id = id;
  relationship.Type = AType;
  relationship.Target = ATarget;
  relationship.External = AExternal;
  if (!AExternal) relationship.TargetPart = ResolvePartName(StripSlash(ASourcePart), ATarget);
  index.ByTarget.emplace(std::make_tuple(AType, ATarget, AExternal), id);
  if (!AExternal) {
    index.ByKind.emplace(AType.substr(AType.rfind('/') + 1), relationship.TargetPart);
  }
  return id;
}

TDocPart* TDocPackage::RelatedPart(const std::string& ASourcePart, const char* AKind) {
  const TRelationshipIndex& index = IndexOf(ASourcePart);
  const auto found = index.ByKind.find(AKind);
  return found != index.ByKind.end() ? FindPart(found->second) : nullptr;
}

TDocPackage::TRelationshipIndex& TDocPackage::IndexOf(const std::string& ASourcePart) {
  const std::string source = StripSlash(ASourcePart);
  const auto found = FRelationshipIndexes.find(source);
  if (found != FRelationshipIndexes.end()) return found->second;
  TRelationshipIndex& index = FRelationshipIndexes[source];
  // Ids are compared as written; only the "rId<n>" ones take part in choosing the next number.
  for (const TDocRelationship& relationship : GetRelationships(source)) {
    const std::string& id = relationship.Id;
    if (id.size() > 3 && id.size() <= 12 && id.compare(0, 3, "rId") == 0 &&
        id.find_first_not_of("0123456789", 3) == std::string::npos) {
      index.Highest = std::max(index.Highest, std::stol(id.substr(3)));
    }
    index.ByTarget.emplace(
        std::make_tuple(relationship.Type, relationship.Target, relationship.External), id);
    if (!relationship.External) {
      index.ByKind.emplace(relationship.Type.substr(relationship.Type.rfind('/') + 1),
                           relationship.TargetPart);
    }
    index.ById.emplace(id, relationship);
  }
  return index;
}

std::string TDocPackage::FindRelationship(const std::string& ASourcePart, const std::string& AType,
                                          const std::string& ATarget, bool AExternal) {
  const TRelationshipIndex& index = IndexOf(ASourcePart);
  const auto found = index.ByTarget.find(std::make_tuple(AType, ATarget, AExternal));
  return found != index.ByTarget.end() ? found->second : std::string();
}

bool TDocPackage::FindRelationshipById(const std::string& ASourcePart, const std::string& AId,
                                       TDocRelationship& ARelationship) {
  const TRelationshipIndex& index = IndexOf(ASourcePart);
  const auto found = index.ById.find(AId);
  if (found == index.ById.end()) return false;
  ARelationship = found->second;
  return true;
}

void TDocPackage::SaveAs(const std::string& AFileName) {
  // Changed parts are deflated as they are serialised; the results must live until the archive
  // is written.
  std::vector<TZipDeflated> deflated(FParts.size());
  std::vector<TZipWriteItem> items;
  items.reserve(FParts.size());
  const std::vector<TZipEntry>& entries = FReader->GetEntries();
  for (std::size_t i = 0; i < FParts.size(); ++i) {
    const TDocPart& part = *FParts[i];
    TZipWriteItem item;
    item.Name = part.FName;
    if (part.FXml && part.FModified) {
      TZipDeflater deflater;
      // The stretches come as they are, the rest deflated: room for them and a little more.
      const std::uint64_t frozen = part.GetFrozenSize();
      if (frozen > 0) deflater.Reserve(frozen + frozen / 16);
      part.SerializeTo(
          [&deflater](const void* AData, std::size_t ASize) { deflater.Write(AData, ASize); },
          [&deflater](const TZipDeflated& AStretch) { deflater.AppendStretch(AStretch); });
      deflated[i] = deflater.Finish();
      item.Deflated = &deflated[i];
    } else if (part.FHasNewData) {
      item.Data = &part.FNewData;
    } else {
      item.Source = FReader.get();
      item.SourceEntry = &entries[static_cast<std::size_t>(part.FEntry)];
    }
    items.push_back(item);
  }
  WriteZipFile(AFileName, items);
}

}  // namespace docengine
