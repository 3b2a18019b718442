#include "platform/host/Clipbrd.h"

#include <mutex>
#include <utility>

#include "platform/host/Db.h"
#include "platform/host/Graphics.h"

namespace host {

TClipboardFragment::~TClipboardFragment() = default;

namespace {

// The content of the process's clipboard. The picture is kept as its own copy, so that the
// picture a caller assigned may change or go without touching the clipboard.
struct TClipboardContent {
  bool Filled = false;
  TClipboardFormat Format = cfText;
  std::string Bytes;  // text or RTF
  std::shared_ptr<const TPicture> Picture;
  std::shared_ptr<const TClipboardFragment> Fragment;
  std::uint64_t ChangeCount = 0;
};

std::mutex& ContentLock() {
  static std::mutex lock;
  return lock;
}

TClipboardContent& Content() {
  static TClipboardContent content;
  return content;
}

// Replaces the whole content under the lock.
void Replace(TClipboardFormat AFormat, std::string ABytes, std::shared_ptr<const TPicture> APicture,
             std::shared_ptr<const TClipboardFragment> AFragment) {
  std::lock_guard<std::mutex> guard(ContentLock());
  TClipboardContent& content = Content();
  content.Filled = true;
  content.Format = AFormat;
  content.Bytes = std::move(ABytes);
  content.Picture = std::move(APicture);
  content.Fragment = std::move(AFragment);
  ++content.ChangeCount;
}

}  // namespace

void TClipboard::Clear() {
  std::lock_guard<std::mutex> guard(ContentLock());
  TClipboardContent& content = Content();
  content.Filled = false;
  content.Bytes.clear();
  content.Picture.reset();
  content.Fragment.reset();
  ++content.ChangeCount;
}

bool TClipboard::HasFormat(TClipboardFormat AFormat) const {
  std::lock_guard<std::mutex> guard(ContentLock());
  return Content().Filled && Content().Format == AFormat;
}

std::string TClipboard::GetAsText() const {
  std::lock_guard<std::mutex> guard(ContentLock());
  const TClipboardContent& content = Content();
  return content.Filled && content.Format == cfText ? content.Bytes : std::string();
}

void TClipboard::SetAsText(const std::string& AValue) { Replace(cfText, AValue, nullptr, nullptr); }

void TClipboard::Assign(const TPicture* APicture) {
  if (APicture == nullptr || APicture->GetEmpty()) {
    Clear();
    return;
  }
  auto copy = std::make_shared<TPicture>();
  copy->Assign(APicture);
  Replace(cfPicture, std::string(), std::move(copy), nullptr);
}

void TClipboard::Assign(const TField* AField) {
  if (AField == nullptr) {
    Clear();
    return;
  }
  switch (AField->GetDataType()) {
    case ftGraphic: {
      TPicture picture;
      picture.Assign(AField);
      Assign(&picture);
      return;
    }
    case ftFmtMemo: {
      const std::string bytes = AField->GetAsString();
      if (bytes.empty()) {
        Clear();
      } else {
        SetRichText(bytes);
      }
      return;
    }
    default:
      if (dynamic_cast<const TBlobField*>(AField) != nullptr) {
        SetAsText(AField->GetAsString());
      } else {
        SetAsText(AField->GetText());
      }
      return;
  }
}

std::unique_ptr<TPicture> TClipboard::GetPicture() const {
  std::shared_ptr<const TPicture> picture;
  {
    std::lock_guard<std::mutex> guard(ContentLock());
    const TClipboardContent& content = Content();
    if (!content.Filled || content.Format != cfPicture) return nullptr;
    picture = content.Picture;
  }
  auto result = std::make_unique<TPicture>();
  result->Assign(picture.get());
  return result;
}

std::string TClipboard::GetRichText() const {
  std::lock_guard<std::mutex> guard(ContentLock());
  const TClipboardContent& content = Content();
  return content.Filled && content.Format == cfRichText ? content.Bytes : std::string();
}

void TClipboard::SetRichText(const std::string& AValue) {
  Replace(cfRichText, AValue, nullptr, nullptr);
}

std::shared_ptr<const TClipboardFragment> TClipboard::GetFragment() const {
  std::lock_guard<std::mutex> guard(ContentLock());
  const TClipboardContent& content = Content();
  return content.Filled && content.Format == cfFragment ? content.Fragment : nullptr;
}

void TClipboard::SetFragment(std::shared_ptr<const TClipboardFragment> AValue) {
  if (AValue == nullptr) {
    Clear();
    return;
  }
  Replace(cfFragment, std::string(), nullptr, std::move(AValue));
}

std::uint64_t TClipboard::GetChangeCount() const {
  std::lock_guard<std::mutex> guard(ContentLock());
  return Content().ChangeCount;
}

TClipboard* Clipboard() {
  static const std::unique_ptr<TClipboard> clipboard = std::make_unique<TClipboard>();
  return clipboard.get();
}

}  // namespace host
