#pragma once

// A compact, readable rendering of a story with its bookmarks, for tests and debugging:
//
//   Dear [Customers_Name|Smith],
//
// A bookmark shows as "[Name|" where it starts and "]" where it ends; an empty one as
// "[Name|]". The text is what Range.Text reads, with the marks made visible: a paragraph mark is
// a line break, and the other special characters are caret codes:
//
//   ^c cell mark       ^r row mark (then a line break)   ^b section break (then a line break)
//   ^t tab             ^l line break                      ^m page break       ^n column break
//   ^~ non-breaking hyphen    ^- optional hyphen    ^s symbol    ^f note mark    ^a comment mark
//   ^g picture or object
//
// Field codes are left out and field results shown, as Range.Text does. Segments of the header
// and footer and the text-frame stories start with a line "== <segment name> ==".

#include <string>

#include "platform/docengine/Document.h"

namespace docengine {

// The dump of one story. Hidden bookmarks are shown only when AShowHidden is true.
std::string DumpStory(const TDocStory& AStory, bool AShowHidden = true);
// The main story, then every other story, each after a line "== <story type name> ==".
std::string DumpDocument(const TDocument& ADocument, bool AShowHidden = true);

}  // namespace docengine
