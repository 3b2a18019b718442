#include "platform/docengine/DocDump.h"

namespace docengine {

namespace {

const char* StoryTypeName(TDocStoryType AType) {
  switch (AType) {
    case dstMain:
      return "main";
    case dstFootnotes:
      return "footnotes";
    case dstEndnotes:
      return "endnotes";
    case dstTextFrame:
      return "text frames";
    case dstHeaderFooter:
      return "headers and footers";
  }
  return "?";
}

// The caret code of a special character.
std::string CharCode(char32_t AChar) {
  switch (AChar) {
    case 9:
      return "^t";
    case 11:
      return "^l";
    case 12:
      return "^m";
    case 14:
      return "^n";
    case 30:
      return "^~";
    case 31:
      return "^-";
    case 40:
      return "^s";
    case 2:
      return "^f";
    case 5:
      return "^a";
    default:
      return "^?";
  }
}

}  // namespace

std::string DumpStory(const TDocStory& AStory, bool AShowHidden) {
  std::string result;
  const bool showSegments = AStory.GetType() == dstHeaderFooter || AStory.GetType() == dstTextFrame;
  AStory.Thaw();
  for (const TDocAtom* atom = AStory.GetAtoms().First(); atom != nullptr;
       atom = TAtomTree::Next(atom)) {
    const bool fieldCode = atom->HasFlag(afFieldCode);
    switch (atom->Kind) {
      case akSegment:
        if (showSegments) result += "== " + atom->Segment->GetName() + " ==\n";
        break;
      case akText:
        result += TDocStory::AtomText(atom);
        break;
      case akChar:
        if (!fieldCode) result += CharCode(atom->Char);
        break;
      case akObject:
        if (!fieldCode) result += "^g";
        break;
      case akParagraphEnd:
        result += atom->HasFlag(afSectionBreak) ? "^b\n" : "\n";
        break;
      case akCellEnd:
        result += "^c";
        break;
      case akRowEnd:
        result += "^r\n";
        break;
      case akBookmarkStart:
        if (atom->Bookmark != nullptr && (AShowHidden || !atom->Bookmark->GetHidden())) {
          result += "[" + atom->Bookmark->GetName() + "|";
        }
        break;
      case akBookmarkEnd:
        if (atom->Bookmark != nullptr && (AShowHidden || !atom->Bookmark->GetHidden())) {
          result += "]";
        }
        break;
      default:
        break;
    }
  }
  return result;
}

std::string DumpDocument(const TDocument& ADocument, bool AShowHidden) {
  std::string result = DumpStory(*ADocument.GetMainStory(), AShowHidden);
  for (int i = 1; i < ADocument.GetStoryCount(); ++i) {
    const TDocStory& story = *ADocument.GetStory(i);
    result += std::string("== ") + StoryTypeName(story.GetType()) + " ==\n";
    result += DumpStory(story, AShowHidden);
  }
  return result;
}

}  // namespace docengine
