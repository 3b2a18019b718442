#pragma once

// The clipboard: one per process, private to it (the desktop's clipboard is never touched).
// Any number of TClipboard objects, and the process-wide Clipboard(), see the same content:
// text, a picture, rich text (RTF bytes) or a fragment of a document that the document engine
// copied. Every assignment replaces all earlier content.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/host/Classes.h"

namespace host {

class TField;
class TPicture;

enum TClipboardFormat : std::uint8_t { cfText = 0, cfPicture = 1, cfRichText = 2, cfFragment = 3 };

// A piece of a document as the document engine copied it. The engine derives its own class;
// the clipboard only keeps it alive and hands it back.
class TClipboardFragment {
 public:
  TClipboardFragment() = default;
  TClipboardFragment(const TClipboardFragment&) = delete;
  TClipboardFragment& operator=(const TClipboardFragment&) = delete;
  virtual ~TClipboardFragment() = 0;
};

// A view of the process's clipboard. Owns nothing: the content lives in the process.
class TClipboard : public TObject {
 public:
  TClipboard() = default;
  std::string ClassName() const override { return "TClipboard"; }

  // Empties the clipboard.
  void Clear();
  // True when the clipboard holds content of that format (exactly one format at a time).
  bool HasFormat(TClipboardFormat AFormat) const;

  // The text; empty unless the clipboard holds text.
  std::string GetAsText() const;
  void SetAsText(const std::string& AValue);

  // Puts a copy of the picture there; an empty picture (or nullptr) empties the clipboard.
  void Assign(const TPicture* APicture);
  // Puts a field's value of the current record there: a graphic field's picture (through
  // TPicture, so its errors pass through), a formatted memo's RTF bytes as rich text, and the
  // text of any other field (a memo's or blob's whole content, else the edit text). A null or
  // empty picture or formatted memo, or a null AField, empties the clipboard.
  void Assign(const TField* AField);
  // A copy of the picture; nullptr unless the clipboard holds a picture.
  std::unique_ptr<TPicture> GetPicture() const;

  // The RTF bytes; empty unless the clipboard holds rich text.
  std::string GetRichText() const;
  void SetRichText(const std::string& AValue);

  // The document fragment; nullptr unless the clipboard holds one. A null AValue empties it.
  std::shared_ptr<const TClipboardFragment> GetFragment() const;
  void SetFragment(std::shared_ptr<const TClipboardFragment> AValue);

  // Grows by one with every change of the content, so that a holder can tell whether the
  // content it put there is still there.
  std::uint64_t GetChangeCount() const;

 private:
  using inherited = TObject;
};

// The process-wide clipboard object.
TClipboard* Clipboard();

}  // namespace host
