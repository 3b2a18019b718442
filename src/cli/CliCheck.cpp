#include "cli/CliCheck.h"

#include <algorithm>
#include <filesystem>
#include <memory>

#include "foundation/VeltraneException.h"
#include "foundation/VeltraneTools.h"
#include "platform/docengine/DocMarkup.h"
#include "platform/docengine/Document.h"

namespace veltrane::cli {

namespace fs = std::filesystem;

namespace {

// Where an identifier sits, for messages: its story and its character positions.
std::string Where(const TVeltraneIdentifier* AIdentifier) {
  return std::string(AIdentifier->GetIdentifierType() == vitHeaderFooter ? "header/footer"
                                                                         : "body") +
         ", characters " + std::to_string(AIdentifier->GetStartPos()) + "-" +
         std::to_string(AIdentifier->GetEndPos());
}

std::string ErrorText(TVeltraneError ACode, const std::string& AName) {
  std::string text = host::Format(ErrorMessages[ACode], {AName});
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  std::string result;
  for (char c : text) {
    if (c != ' ' || result.empty() || result.back() != ' ') result += c;
  }
  return result;
}

// A bookmark's text for a message: quoted, cut to 40 characters.
std::string Quote(const std::string& AText) {
  std::string text;
  for (char c : AText) text += (c == '\r' || c == '\n' || c == '\a' || c == '\v') ? ' ' : c;
  if (host::Utf8Length(text) > 40) text = host::Utf8Left(text, 39) + "\u2026";
  return "'" + text + "'";
}

// The characters of AMask outside quoted literals ('text' or "text").
std::string Unquoted(const std::string& AMask) {
  std::string result;
  char quote = 0;
  for (char c : AMask) {
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else {
      result += c;
    }
  }
  return result;
}

bool HasDigitPlaces(const std::string& AMask) {
  return Unquoted(AMask).find_first_of("0#") != std::string::npos;
}

bool HasDateParts(const std::string& AMask) {
  return Unquoted(AMask).find_first_of("dDmMyYhHnNsSzZtTcC") != std::string::npos;
}

// A text mask: a width, with L or R in front for the alignment.
bool IsWidthMask(const std::string& AMask) {
  std::size_t i = (!AMask.empty() && std::string("LlRr").find(AMask[0]) != std::string::npos);
  if (i < AMask.size() && AMask[i] == '-') ++i;
  return i < AMask.size() && AMask.find_first_not_of("0123456789", i) == std::string::npos;
}

// A number mask written the German way: '.' for thousands and ',' before the decimals
// ("#.##0,00", "0,00"). In masks ',' always groups thousands, three digits at a time, and '.'
// marks the decimals; the locale decides only how they print.
bool IsCommaDecimalMask(const std::string& AMask) {
  const std::string mask = Unquoted(AMask.substr(0, AMask.find(';')));
  const std::size_t comma = mask.rfind(',');
  if (comma == std::string::npos || mask.find('.', comma) != std::string::npos) return false;
  const std::size_t after = mask.find_first_not_of("0#", comma + 1);
  const std::size_t places = (after == std::string::npos ? mask.size() : after) - comma - 1;
  if (places == 0) return false;
  return mask.find('.') != std::string::npos || places != 3;
}

// '.' and ',' exchanged outside quoted literals.
std::string SwapSeparators(const std::string& AMask) {
  std::string result = AMask;
  char quote = 0;
  for (char& c : result) {
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == '.') {
      c = ',';
    } else if (c == ',') {
      c = '.';
    }
  }
  return result;
}

// The kind of value a field type holds, for messages.
std::string KindName(host::TFieldType AType) {
  switch (AType) {
    case host::ftString:
      return "text";
    case host::ftSmallint:
    case host::ftInteger:
    case host::ftWord:
      return "whole-number";
    case host::ftBoolean:
      return "Boolean";
    case host::ftFloat:
    case host::ftBCD:
    case host::ftAutoInc:
      return "number";
    case host::ftCurrency:
      return "currency";
    case host::ftDate:
      return "date";
    case host::ftTime:
      return "time";
    case host::ftDateTime:
      return "date-time";
    case host::ftMemo:
    case host::ftFmtMemo:
      return "memo";
    case host::ftGraphic:
      return "picture";
    default:
      return "binary";
  }
}

const char* NumberMasks = "number masks need digit places, 0 or # (#,##0.00)";

// A placeholder that reads as an e-mail address: name@domain.tld.
bool LooksLikeMailAddress(const std::string& AText) {
  const std::size_t at = AText.find('@');
  if (at == 0 || at == std::string::npos || AText.find('@', at + 1) != std::string::npos) {
    return false;
  }
  const std::string domain = AText.substr(at + 1);
  // A date mask ("dd.mm.yyyy") is no domain, though it has the shape of one.
  if (domain.find_first_not_of("dmyhnsztDMYHNSZT.:/- ") == std::string::npos) return false;
  const std::size_t dot = domain.rfind('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 >= domain.size()) return false;
  for (char c : AText) {
    if (c == ' ' || c == ';' || c == '#' || static_cast<unsigned char>(c) < 0x20) return false;
  }
  return std::all_of(domain.begin() + static_cast<std::ptrdiff_t>(dot) + 1, domain.end(),
                     [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); });
}

std::size_t EditDistance(const std::string& A, const std::string& B) {
  std::vector<std::size_t> row(B.size() + 1);
  for (std::size_t j = 0; j <= B.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= A.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= B.size(); ++j) {
      const std::size_t above = row[j];
      const bool same =
          host::UpperCase(std::string(1, A[i - 1])) == host::UpperCase(std::string(1, B[j - 1]));
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[B.size()];
}

// The names of a data source's fields as bookmarks name them.
std::vector<std::string> FieldNames(const host::TDataSource* ASource, char AMaskSeparator) {
  std::vector<std::string> names;
  if (ASource == nullptr || ASource->GetDataSet() == nullptr) return names;
  for (const host::TField* field : ASource->GetDataSet()->GetFieldList()) {
    names.push_back(DisplayLabelToFieldName(field, AMaskSeparator));
  }
  return names;
}

std::string DidYouMean(const std::string& ANearest) {
  return ANearest.empty() ? std::string() : " (did you mean " + ANearest + "?)";
}

// The check's state over one template.
class TTemplateCheck {
 public:
  TTemplateCheck(TCliSession& ASession, TCliCheckResult& AResult)
      : FSession(ASession),
        FController(ASession.GetController()),
        FIdentifiers(ASession.GetPrinter()->GetIdentifiers()),
        FResult(AResult) {}

  void Run();

 private:
  void Add(TCliSeverity ASeverity, const TVeltraneIdentifier* AIdentifier,
           const std::string& AText) {
    FResult.Findings.push_back({ASeverity, AIdentifier->GetAsString(), Where(AIdentifier), AText});
  }
  std::string TextOf(const TVeltraneIdentifier* AIdentifier) const;
  void CheckField(TVeltraneIdentifier* AIdentifier);
  void CheckUnknown(const TVeltraneIdentifier* AIdentifier);
  void CheckMask(const TVeltraneIdentifier* AIdentifier, const host::TField* AField);
  void CheckGroup(TVeltraneIdentifier* AGroup, int AIndex);
  void CheckGroupLayout(const TVeltraneIdentifier* AGroup);
  void CheckFieldsWithoutGroup();
  // The data source whose records a group repeats over: its own, or the main one for a group
  // keyed on a field; nullptr for a group without data.
  host::TDataSource* SourceOfGroup(const TVeltraneIdentifier* AGroup);
  bool FieldOf(const TVeltraneIdentifier* AIdentifier, const host::TDataSource* ASource);

  TCliSession& FSession;
  TVeltraneController* FController;
  TVeltraneIdentifiers* FIdentifiers;
  TCliCheckResult& FResult;
  std::unique_ptr<docengine::TDocument> FDocument;  // the template's layout
};

std::string TTemplateCheck::TextOf(const TVeltraneIdentifier* AIdentifier) const {
  if (!FDocument) return {};
  const docengine::TDocBookmark* bookmark = FDocument->FindBookmark(AIdentifier->GetName());
  return bookmark == nullptr ? std::string() : bookmark->GetText();
}

host::TDataSource* TTemplateCheck::SourceOfGroup(const TVeltraneIdentifier* AGroup) {
  if (host::TDataSource* source = FController->SearchDatasource(AGroup->GetAsString())) {
    return source;
  }
  if (FController->SearchDataField(FController->GetDataSource(), AGroup->GetAsString()) !=
      nullptr) {
    return FController->GetDataSource();
  }
  return nullptr;
}

bool TTemplateCheck::FieldOf(const TVeltraneIdentifier* AIdentifier,
                             const host::TDataSource* ASource) {
  return !AIdentifier->GetIsGroup() && AIdentifier->GetIsField() &&
         FController->SearchDatasource(AIdentifier->GetDatasourceName()) == ASource;
}

void TTemplateCheck::Run() {
  FController->Open();
  FController->DocumentInit();
  try {
    FDocument = docengine::TDocument::Open(FSession.GetPrinter()->GetDocname());
  } catch (const host::Exception&) {
    // The printer read the template; without a layout of its own the check still runs.
  }
  for (int i = 0; i < FIdentifiers->GetCount(); ++i) {
    TVeltraneIdentifier* identifier = FIdentifiers->Get(i);
    if (identifier->GetIsGroup()) {
      CheckGroup(identifier, i);
    } else {
      CheckField(identifier);
    }
  }
  CheckFieldsWithoutGroup();
}

void TTemplateCheck::CheckField(TVeltraneIdentifier* AIdentifier) {
  if (!FController->ControllerKnowsIdentifier(AIdentifier)) {
    if (!FController->ApplikationKnowsIdentifier(AIdentifier)) CheckUnknown(AIdentifier);
    return;
  }
  host::TDataSource* own = FController->SearchDatasource(AIdentifier->GetDatasourceName());
  const host::TField* field = FController->SearchDataField(own, AIdentifier->GetDatafieldName());
  if (field == nullptr) {
    // Known through --additional only: the merge reads a field from the data source its name
    // gives, never from the additional ones.
    Add(csWarning, AIdentifier,
        "its field " + AIdentifier->GetDatafieldName() +
            " is found only in an --additional data source, but the merge fills a field from "
            "the data source its name gives (" +
            AIdentifier->GetDatasourceName() +
            "), so it is emptied; name the bookmark after the data source that has the field");
    return;
  }
  if (FSession.GetOptions().NoFormat || AIdentifier->GetMask().empty()) return;
  CheckMask(AIdentifier, field);
}

void TTemplateCheck::CheckUnknown(const TVeltraneIdentifier* AIdentifier) {
  const std::string name = AIdentifier->GetAsString();
  const std::string text = TextOf(AIdentifier);
  const std::string lost =
      text.empty() ? "the merge leaves nothing there" : "the merge deletes its text " + Quote(text);
  std::string why;
  if (!AIdentifier->GetIsField()) {
    why = "It names no field (a field's bookmark is SOURCE_FIELD, as " +
          FController->GetDataSource()->GetName() + "_Name) and encloses no other bookmark, so " +
          lost +
          "; rename it if it is meant for the merge, or remove it (a name starting with '_' "
          "keeps it out of the merge)";
  } else {
    const std::string sourceName = AIdentifier->GetDatasourceName();
    host::TDataSource* source = FController->SearchDatasource(sourceName);
    const char separator = FSession.GetPrinter()->GetMaskSeparator();
    if (source == nullptr) {
      std::vector<std::string> sources;
      for (const host::TDataSource* each : FSession.GetSources())
        sources.push_back(each->GetName());
      why = "No data source is named " + sourceName + DidYouMean(NearestName(sourceName, sources)) +
            ", so " + lost;
    } else {
      const std::string fieldName = AIdentifier->GetDatafieldName();
      why = "Data source " + sourceName + " has no field " + fieldName +
            DidYouMean(NearestName(fieldName, FieldNames(source, separator))) + ", so " + lost;
    }
    why += "; correct the bookmark's name";
  }
  Add(csProblem, AIdentifier, ErrorText(verDocCheckIdentifier, name) + " " + why);
}

void TTemplateCheck::CheckMask(const TVeltraneIdentifier* AIdentifier, const host::TField* AField) {
  const std::string& mask = AIdentifier->GetMask();
  const host::TFieldType type = AField->GetDataType();
  std::string reason;
  std::string replacement;
  const TCliMaskFit fit = JudgeMask(mask, type, reason, replacement);
  if (fit == cmfFits) return;
  const std::string kind = KindName(type);
  const std::string text = TextOf(AIdentifier);
  if (fit == cmfIgnored) {
    Add(csWarning, AIdentifier,
        "the mask '" + mask + "' has no effect on a " + kind +
            " field: its value goes in whole; leave the mask out");
    return;
  }
  if (fit == cmfReplace) {
    FResult.Masks[AIdentifier->GetName()] = replacement;
    Add(csWarning, AIdentifier,
        "the mask '" + mask + "' " + reason + "; the merge reads it as '" + replacement +
            "': write that in the template");
    return;
  }
  FResult.Masks[AIdentifier->GetName()] = "";
  if (LooksLikeMailAddress(text)) {
    Add(csWarning, AIdentifier,
        "its placeholder text " + Quote(text) + " holds an '@', which starts a mask, but '" + mask +
            "' is no mask for a " + kind +
            " field: the merge takes it as placeholder text and fills in the value as the data "
            "gives it; leave the '@' out of the placeholder");
    return;
  }
  std::string advice;
  if (type == host::ftString && (HasDigitPlaces(mask) || HasDateParts(mask))) {
    advice = "; the data gives this field as text: if it holds " +
             std::string(HasDigitPlaces(mask) ? "numbers" : "dates") +
             ", give its column that type (for a CSV file, --csv-type SOURCE.COLUMN=" +
             (HasDigitPlaces(mask) ? "decimal" : "date") + ")";
  }
  Add(csWarning, AIdentifier,
      "the mask '" + mask + "' cannot format a " + kind + " field (" + reason +
          "), so the merge fills in the value unformatted" + advice);
}

void TTemplateCheck::CheckGroup(TVeltraneIdentifier* AGroup, int AIndex) {
  const std::string name = AGroup->GetAsString();
  if (AGroup->GetIdentifierType() == vitHeaderFooter) {
    Add(csRefused, AGroup,
        ErrorText(verDocCheckGroupinheader, name) +
            " The merge refuses the template; move the group into the body, or rename the "
            "bookmark if it is meant as a field");
    return;
  }
  if (SourceOfGroup(AGroup) == nullptr) {
    Add(csProblem, AGroup,
        ErrorText(verGroupIdentifierInvalid, name) +
            " Name the group after a data source, or after a field of the main data source " +
            FController->GetDataSource()->GetName() + " to group by its value");
    return;
  }
  for (int j = 0; j < FIdentifiers->GetCount(); ++j) {
    const TVeltraneIdentifier* other = FIdentifiers->Get(j);
    if (other->GetIdentifierType() != AGroup->GetIdentifierType()) continue;
    if (other->GetIsGroup() && AGroup->Touches(other) && other->Touches(AGroup)) {
      // Each pair once, named by the later group.
      if (j > AIndex) {
        Add(csRefused, other,
            "overlaps group " + name +
                ", neither lying inside the other, and the merge refuses the template; let one "
                "group enclose the other, or move them apart");
      }
    } else if (!other->GetIsGroup() && AGroup->Touches(other)) {
      Add(csWarning, other,
          "crosses the boundary of group " + name +
              ", so the merge does not fill it: its text stays as the template has it in every "
              "copy of the group, and its bookmark stays in the merged document around the "
              "copies; move the bookmark wholly inside or outside the group");
    }
  }
  CheckGroupLayout(AGroup);
}

void TTemplateCheck::CheckGroupLayout(const TVeltraneIdentifier* AGroup) {
  docengine::TBookmarkLayout layout;
  if (!FDocument || !docengine::GetBookmarkLayout(*FDocument, AGroup->GetName(), layout)) return;
  host::TDataSource* source = SourceOfGroup(AGroup);
  const bool keyed = FController->SearchDatasource(AGroup->GetAsString()) == nullptr;
  const std::string records = keyed ? "record of each run of equal " + AGroup->GetAsString()
                                    : "record of " + source->GetName();

  if (layout.InOneCell) {
    // What the other cells of the group's row hold.
    std::vector<std::string> ownFields;
    bool othersOnly = true;
    for (int i = 0; i < FIdentifiers->GetCount(); ++i) {
      const TVeltraneIdentifier* other = FIdentifiers->Get(i);
      docengine::TBookmarkLayout place;
      if (other == AGroup || other->GetIdentifierType() != vitBody ||
          !docengine::GetBookmarkLayout(*FDocument, other->GetName(), place) ||
          place.RowKey != layout.RowKey || place.Cell == layout.Cell) {
        continue;
      }
      if (FieldOf(other, source)) {
        ownFields.push_back(other->GetAsString());
      } else {
        othersOnly = false;
      }
    }
    if (!ownFields.empty() && othersOnly && layout.WholeCell && layout.Cell == 0) {
      FResult.RowGroups.push_back(AGroup->GetName());
      Add(csNote, AGroup,
          "lies over the whole text of the first cell of its table row, and the row's other "
          "cells hold only fields of " +
              source->GetName() + ": the merge repeats the whole row, once per " + records +
              " (the row group a template made in Writer has)");
      return;
    }
    if (!ownFields.empty()) {
      Add(csWarning, AGroup,
          "lies inside one table cell while fields of its data source stand in other cells of "
          "the row (" +
              ownFields.front() + (ownFields.size() > 1 ? " and more" : "") +
              "): the group repeats inside its cell and those fields show one record only; to "
              "repeat the row, let the bookmark hold the whole row (Word: select the row), or "
              "the whole text of the row's first cell with only this group's fields in the "
              "others (Writer)");
      return;
    }
  }
  // The records of a group follow each other: one that neither ends nor starts with a
  // paragraph mark joins the end of each record to the start of the next in one paragraph.
  if (layout.EndsWithBreak || layout.EndsAtCellEnd || layout.StartsWithMark) return;
  if (!layout.HoldsParagraphMark && layout.StartsParagraph) {
    Add(csWarning, AGroup,
        "ends before its paragraph's mark, so its records run on in one paragraph, each right "
        "behind the one before; to give each record a paragraph of its own, let the bookmark "
        "take in the paragraph's mark (select up to the start of the next paragraph), or end "
        "the group's text with a line break");
  } else if (layout.HoldsParagraphMark) {
    Add(csWarning, AGroup,
        "ends before the mark of its last paragraph, so the last paragraph of each record runs "
        "on into the first paragraph of the next; let the bookmark take in that mark (select up "
        "to the start of the next paragraph)");
  }
}

void TTemplateCheck::CheckFieldsWithoutGroup() {
  const TCliOptions& options = FSession.GetOptions();
  if (!options.PerRecord.empty() || options.SplitEvery == 1) return;
  host::TDataSource* main = FController->GetDataSource();
  const TVeltraneIdentifier* first = nullptr;
  int fields = 0;
  for (int i = 0; i < FIdentifiers->GetCount(); ++i) {
    const TVeltraneIdentifier* identifier = FIdentifiers->Get(i);
    if (identifier->GetIdentifierType() != vitBody) continue;
    if (identifier->GetIsGroup()) return;
    if (FieldOf(identifier, main)) {
      if (first == nullptr) first = identifier;
      ++fields;
    }
  }
  const int records = main->GetDataSet()->GetRecordCount();
  if (first == nullptr || records < 2) return;
  const std::string group = FController->MapDatasourceName(main->GetName(), true);
  Add(csWarning, first,
      "the template has " + std::string(fields == 1 ? "this field" : "fields") + " of " +
          main->GetName() +
          " but no group, so the merge makes one document from the first of its " +
          std::to_string(records) + " records; wrap the body in a bookmark named '" + group +
          "' to repeat it per record, or use --per-record FIELD for one document each");
}

}  // namespace

int TCliCheckResult::Count(TCliSeverity ASeverity) const {
  return static_cast<int>(std::count_if(
      Findings.begin(), Findings.end(),
      [ASeverity](const TCliFinding& AFinding) { return AFinding.Severity == ASeverity; }));
}

TCliMaskFit JudgeMask(const std::string& AMask, host::TFieldType AType, std::string& AReason,
                      std::string& AReplacement) {
  AReason.clear();
  AReplacement.clear();
  if (AMask.empty()) return cmfFits;
  switch (AType) {
    case host::ftString:
      if (AMask.find(';') != std::string::npos || IsWidthMask(AMask)) return cmfFits;
      AReason =
          "text masks are a width, with L or R in front to align (R10), or alternatives that a "
          "whole number chooses (no;yes)";
      return cmfNoMask;
    case host::ftSmallint:
    case host::ftInteger:
    case host::ftWord:
    case host::ftBoolean:
      // Alternatives a whole number (false 0, true 1) chooses, unless the mask is a number
      // mask with sections.
      if (AMask.find(';') != std::string::npos && AMask[0] != '#' && AMask[0] != '0') {
        return cmfFits;
      }
      if (!HasDigitPlaces(AMask)) {
        AReason = AType == host::ftBoolean
                      ? "Boolean masks are two alternatives, false first (no;yes)"
                      : std::string(NumberMasks) +
                            ", or alternatives chosen by the value "
                            "(new;open;done)";
        return cmfNoMask;
      }
      break;
    case host::ftFloat:
    case host::ftBCD:
    case host::ftAutoInc:
    case host::ftCurrency:
      if (!HasDigitPlaces(AMask)) {
        AReason = NumberMasks;
        return cmfNoMask;
      }
      break;
    case host::ftDate:
    case host::ftTime:
    case host::ftDateTime:
      if (!HasDateParts(AMask)) {
        AReason = "date masks are made of d, m, y, h, n and s (dd.mm.yyyy, hh:nn)";
        return cmfNoMask;
      }
      return cmfFits;
    default:
      return cmfIgnored;
  }
  if (IsCommaDecimalMask(AMask)) {
    AReplacement = SwapSeparators(AMask);
    AReason =
        "writes the decimals after ',' as German does, but in masks ',' groups thousands and '.' "
        "marks the decimals, and the locale decides how they print (--locale de_DE.UTF-8 gives "
        "1.234,50)";
    return cmfReplace;
  }
  return cmfFits;
}

std::string NearestName(const std::string& AName, const std::vector<std::string>& ACandidates) {
  std::string best;
  std::size_t bestDistance = 0;
  const std::size_t limit = std::max<std::size_t>(2, AName.size() / 3);
  for (const std::string& candidate : ACandidates) {
    const std::size_t distance = EditDistance(AName, candidate);
    if (distance <= limit && (best.empty() || distance < bestDistance)) {
      best = candidate;
      bestDistance = distance;
    }
  }
  return best;
}

TCliCheckResult CheckTemplate(TCliSession& ASession) {
  TCliCheckResult result;
  TTemplateCheck(ASession, result).Run();
  return result;
}

std::string FindingLine(const std::string& ATemplate, const TCliFinding& AFinding, bool ALabel) {
  const char* label = !ALabel                          ? ""
                      : AFinding.Severity == csWarning ? "warning: "
                      : AFinding.Severity == csNote    ? "note: "
                                                       : "";
  return ATemplate + ": " + label + "bookmark " + AFinding.Bookmark + " (" + AFinding.Where +
         "): " + AFinding.Text;
}

int WriteAnnotatedCopy(const std::string& ATemplate, const std::vector<TCliFinding>& AFindings,
                       const std::string& AOutput) {
  std::unique_ptr<docengine::TDocument> document = docengine::TDocument::Open(ATemplate);
  std::vector<docengine::TBookmarkComment> comments;
  for (const TCliFinding& finding : AFindings) {
    const char* label = finding.Severity == csRefused   ? "Refused: "
                        : finding.Severity == csProblem ? "Problem: "
                        : finding.Severity == csWarning ? "Warning: "
                                                        : "Note: ";
    comments.push_back({finding.Bookmark, label + finding.Bookmark + ": " + finding.Text});
  }
  const int added = docengine::AddBookmarkComments(*document, comments, "veltrane check", "VC");
  document->SaveAs(fs::absolute(AOutput).string());
  return added;
}

void WriteRowGroupCopy(const std::string& ATemplate, const std::vector<std::string>& AGroups,
                       const std::string& AOutput) {
  std::unique_ptr<docengine::TDocument> document = docengine::TDocument::Open(ATemplate);
  for (const std::string& group : AGroups) docengine::ExtendBookmarkOverRow(*document, group);
  document->SaveAs(AOutput);
}

}  // namespace veltrane::cli
