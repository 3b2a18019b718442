#pragma once

// The template check of the command: everything that would make a merge's output differ from
// what its author means, found before anything is merged. `check` lists it, `merge` warns with
// it (or refuses with --strict), and `check --annotate` puts it into a copy of the template as
// Word comments.
//
// Besides the controller's own tests (unknown identifiers, groups without data, groups in
// headers, crossing and overlapping regions) the check reads the template's layout (paragraphs
// and table cells around each bookmark) and the data's field types, and finds: masks that cannot
// format their field, '@' in placeholder text, groups that end inside a paragraph, a group in
// one cell whose data source fills other cells of its row, and fields without any group over a
// data source of several records. It also decides two things the merge then does: the row
// groups Writer users make (a group over the whole first cell of a row whose other cells hold
// only that group's fields repeats the whole row), and the text after '@' that is no mask at
// all, which the merge leaves out so that the value goes in as the data gives it.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "cli/CliCompose.h"
#include "platform/host/Db.h"

namespace veltrane::cli {

// How bad a finding is.
enum TCliSeverity : std::uint8_t {
  csRefused = 0,  // the merge refuses the template
  csProblem = 1,  // the data cannot fill the bookmark: check exits 1
  csWarning = 2,  // the output will not be what the template seems to say
  csNote = 3,     // what the merge does with a shape that might surprise
};

// One thing the check found, about one bookmark (or, with Bookmark naming the first of several,
// about the template as a whole).
struct TCliFinding {
  TCliSeverity Severity = csWarning;
  std::string Bookmark;
  std::string Where;  // "body, characters 24-83"
  std::string Text;   // what happens and what to do
};

// What the check found and what the merge must do about it.
struct TCliCheckResult {
  std::vector<TCliFinding> Findings;  // in the order of the template's identifiers
  // Groups to carry over their whole table row in the copy of the template the merge reads.
  std::vector<std::string> RowGroups;
  // Field identifiers whose mask the merge replaces: "" leaves the value unformatted.
  std::map<std::string, std::string> Masks;

  int Count(TCliSeverity ASeverity) const;
};

// What a mask makes of a field of type AType.
enum TCliMaskFit : std::uint8_t {
  cmfFits = 0,     // a mask of the type's kind
  cmfNoMask = 1,   // no mask of that kind: the value goes in unformatted
  cmfReplace = 2,  // a mask the merge reads differently: AReplacement is what it means
  cmfIgnored = 3,  // the type takes no mask (memo, picture)
};
// Judges AMask for a field of type AType; AReason says why (empty when it fits), AReplacement
// gives the mask meant for cmfReplace.
TCliMaskFit JudgeMask(const std::string& AMask, host::TFieldType AType, std::string& AReason,
                      std::string& AReplacement);

// The name of ACandidates nearest to AName when it is near enough to be a slip of the keyboard
// (letter case aside), else "".
std::string NearestName(const std::string& AName, const std::vector<std::string>& ACandidates);

// Loads the session's template through its controller and checks it (see above).
TCliCheckResult CheckTemplate(TCliSession& ASession);

// "TEMPLATE: [warning: |note: ]bookmark NAME (WHERE): TEXT", the line check prints; without
// ALabel, as merge reports it after its own "warning:", with no label.
std::string FindingLine(const std::string& ATemplate, const TCliFinding& AFinding,
                        bool ALabel = true);

// Writes a copy of ATemplate to AOutput with a Word comment at the bookmark of each finding
// (through a temporary file renamed into place). Returns how many comments it holds.
int WriteAnnotatedCopy(const std::string& ATemplate, const std::vector<TCliFinding>& AFindings,
                       const std::string& AOutput);

// Writes a copy of ATemplate to AOutput in which each of AGroups holds its whole table row.
void WriteRowGroupCopy(const std::string& ATemplate, const std::vector<std::string>& AGroups,
                       const std::string& AOutput);

}  // namespace veltrane::cli
