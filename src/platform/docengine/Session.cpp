#include "platform/docengine/Session.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace docengine {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void NotImplemented(const char* AWhat) {
  throw EDocError(dekGeneral, std::string(AWhat) + ": not implemented yet");
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TDocView

TDocView::TDocView(TDocSession* ASession, std::unique_ptr<TDocument> ADocument, std::string AName,
                   std::string AFullName, bool AReadOnly)
    : FSession(ASession),
      FDocument(std::move(ADocument)),
      FName(std::move(AName)),
      FFullName(std::move(AFullName)),
      FReadOnly(AReadOnly) {
  FSelStory = FDocument->GetMainStory();
}

TDocView::~TDocView() = default;

void TDocView::SaveAs(const std::string&) { NotImplemented("SaveAs"); }

std::vector<TDocBookmark*> TDocView::GetSelContext() const {
  std::vector<TDocBookmark*> result;
  for (const auto& [bookmark, serial] : FSelContext) {
    if (FDocument->FindBookmarkBySerial(serial) == bookmark) result.push_back(bookmark);
  }
  return result;
}

void TDocView::SelectBookmark(const std::string&) { NotImplemented("SelectBookmark"); }
void TDocView::SelectRange(std::int64_t AStart, std::int64_t AEnd) {
  Select(FSelStory, AStart, AEnd);
}
void TDocView::Select(TDocStory*, std::int64_t, std::int64_t) { NotImplemented("Select"); }
void TDocView::StartOfDocument() { NotImplemented("StartOfDocument"); }
void TDocView::EndOfDocument() { NotImplemented("EndOfDocument"); }
std::string TDocView::GetSelText() const { return FSelStory->GetText(FSelStart, FSelEnd); }
void TDocView::TypeText(const std::string&) { NotImplemented("TypeText"); }
std::int64_t TDocView::Delete() { NotImplemented("Delete"); }
void TDocView::DeleteRows() { NotImplemented("DeleteRows"); }
void TDocView::Copy() { NotImplemented("Copy"); }
void TDocView::Paste() { NotImplemented("Paste"); }
int TDocView::SelInfo(int) const { NotImplemented("SelInfo"); }
bool TDocView::GetInHeaderFooter() const { return FSelStory->GetInHeaderFooter(); }

// ---------------------------------------------------------------------------------------------
// TDocSession

TDocSession::TDocSession() = default;
TDocSession::~TDocSession() = default;

TDocView* TDocSession::Open(const std::string&, bool) { NotImplemented("Open"); }
TDocView* TDocSession::Add(const std::string&) { NotImplemented("Add"); }

TDocView* TDocSession::GetItem(int AIndex) const {
  if (AIndex < 0 || AIndex >= GetCount()) {
    throw EDocError(dekOutOfRange, "No document number " + std::to_string(AIndex + 1) + " (" +
                                       std::to_string(GetCount()) + " open)");
  }
  return FViews[static_cast<std::size_t>(AIndex)].get();
}

TDocView* TDocSession::Find(const std::string& AName) const {
  for (const auto& view : FViews) {
    if (host::CompareText(view->GetName(), AName) == 0) return view.get();
  }
  return nullptr;
}

TDocView* TDocSession::NeedActive() const {
  if (FActive == nullptr) throw EDocError(dekNoDocument, "No document is open");
  return FActive;
}

void TDocSession::Activate(TDocView* AView) {
  NotImplemented("Activate");
  (void)AView;
}
void TDocSession::Close(TDocView*) { NotImplemented("Close"); }
void TDocSession::CloseAll() {
  FActive = nullptr;
  FRecent.clear();
  FViews.clear();
}

}  // namespace docengine
