#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/host/Clipbrd.h"
#include "platform/host/Db.h"
#include "platform/host/Graphics.h"

using namespace host;

namespace {

const std::string TinyGif = std::string("GIF89a\x02\x00\x03\x00\x00\x00\x00", 13);
const std::string Rtf = "{\\rtf1\\ansi {\\b bold} text}";

class TTestFragment : public TClipboardFragment {
 public:
  explicit TTestFragment(int* ALiving) : FLiving(ALiving) { ++*FLiving; }
  ~TTestFragment() override { --*FLiving; }

 private:
  int* FLiving;
};

// The format the clipboard holds, as one word, for table checks.
std::string Holding(const TClipboard& AClipboard) {
  std::string result;
  for (auto [format, name] : {std::pair{cfText, "text"}, std::pair{cfPicture, "picture"},
                              std::pair{cfRichText, "rich"}, std::pair{cfFragment, "fragment"}}) {
    if (AClipboard.HasFormat(format)) result += result.empty() ? name : std::string("+") + name;
  }
  return result.empty() ? "empty" : result;
}

}  // namespace

TEST(ClipbrdTest, EveryObjectSeesTheOneContent) {
  TClipboard first;
  TClipboard second;
  first.SetAsText("Smith");
  EXPECT_EQ(second.GetAsText(), "Smith");
  EXPECT_EQ(Clipboard()->GetAsText(), "Smith");
  const std::uint64_t before = second.GetChangeCount();
  Clipboard()->Clear();
  EXPECT_EQ(first.GetAsText(), "");
  EXPECT_EQ(Holding(first), "empty");
  EXPECT_GT(first.GetChangeCount(), before);
}

TEST(ClipbrdTest, EachAssignmentReplacesTheWholeContent) {
  TClipboard clipboard;
  TPicture picture;
  picture.LoadFromBytes(TinyGif);
  int living = 0;
  clipboard.SetFragment(std::make_shared<TTestFragment>(&living));
  EXPECT_EQ(Holding(clipboard), "fragment");
  EXPECT_EQ(living, 1);

  clipboard.Assign(&picture);
  EXPECT_EQ(Holding(clipboard), "picture");
  EXPECT_EQ(living, 0);  // the fragment went with the replaced content
  EXPECT_EQ(clipboard.GetFragment(), nullptr);
  EXPECT_EQ(clipboard.GetAsText(), "");

  clipboard.SetRichText(Rtf);
  EXPECT_EQ(Holding(clipboard), "rich");
  EXPECT_EQ(clipboard.GetPicture(), nullptr);
  EXPECT_EQ(clipboard.GetRichText(), Rtf);

  clipboard.SetAsText("plain");
  EXPECT_EQ(Holding(clipboard), "text");
  EXPECT_EQ(clipboard.GetRichText(), "");
  clipboard.SetFragment(nullptr);
  EXPECT_EQ(Holding(clipboard), "empty");
}

TEST(ClipbrdTest, PicturesAreCopiedInAndOut) {
  TClipboard clipboard;
  auto picture = std::make_unique<TPicture>();
  picture->LoadFromBytes(TinyGif);
  clipboard.Assign(picture.get());
  picture.reset();  // the clipboard keeps its own copy
  std::unique_ptr<TPicture> pasted = clipboard.GetPicture();
  ASSERT_NE(pasted, nullptr);
  EXPECT_EQ(pasted->GetBytes(), TinyGif);
  EXPECT_EQ(pasted->GetWidth(), 2);
  EXPECT_EQ(pasted->GetHeight(), 3);
  TPicture empty;
  clipboard.Assign(&empty);
  EXPECT_EQ(Holding(clipboard), "empty");
}

TEST(ClipbrdTest, FieldsGoThereByTheirFamily) {
  TMemDataSet dataSet(nullptr);
  dataSet.GetFieldDefs()->Add("Photo", ftGraphic);
  dataSet.GetFieldDefs()->Add("Letter", ftFmtMemo);
  dataSet.GetFieldDefs()->Add("Notes", ftMemo);
  dataSet.GetFieldDefs()->Add("Price", ftFloat);
  dataSet.Open();
  dataSet.AppendRecord({TinyGif, Rtf, "line 1\nline 2", 2.5});
  auto* price = dynamic_cast<TFloatField*>(dataSet.FieldByName("Price"));
  price->SetEditFormat("0.00");
  TClipboard clipboard;

  clipboard.Assign(dataSet.FieldByName("Photo"));
  EXPECT_EQ(Holding(clipboard), "picture");
  EXPECT_EQ(clipboard.GetPicture()->GetBytes(), TinyGif);
  clipboard.Assign(dataSet.FieldByName("Letter"));
  EXPECT_EQ(Holding(clipboard), "rich");
  EXPECT_EQ(clipboard.GetRichText(), Rtf);
  clipboard.Assign(dataSet.FieldByName("Notes"));
  EXPECT_EQ(clipboard.GetAsText(), "line 1\nline 2");  // the content, not "(MEMO)"
  clipboard.Assign(dataSet.FieldByName("Price"));
  EXPECT_EQ(clipboard.GetAsText(), "2.50");  // the edit text

  // Empty values empty the clipboard; a broken picture raises and leaves it as it was.
  dataSet.AppendRecord({nullptr, ""});
  clipboard.Assign(dataSet.FieldByName("Photo"));
  EXPECT_EQ(Holding(clipboard), "empty");
  clipboard.SetAsText("kept");
  clipboard.Assign(dataSet.FieldByName("Letter"));
  EXPECT_EQ(Holding(clipboard), "empty");
  dataSet.AppendRecord({"not a picture"});
  clipboard.SetAsText("kept");
  EXPECT_THROW(clipboard.Assign(dataSet.FieldByName("Photo")), EInvalidGraphic);
  EXPECT_EQ(clipboard.GetAsText(), "kept");
  clipboard.Assign(static_cast<const TField*>(nullptr));
  EXPECT_EQ(Holding(clipboard), "empty");
}
