#include "platform/host/FormFiles.h"

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <sstream>
#include <vector>

#include "platform/host/TypInfo.h"

namespace host {

namespace {

// Deeper nesting than any real form needs; it keeps a hostile file from exhausting the stack.
constexpr int MaxObjectDepth = 200;

struct TPos {
  int Line = 1;
  int Column = 1;
};

[[noreturn]] void ReadError(const std::string& ASource, TPos APos, const std::string& AMessage) {
  throw EReadError(ASource + ", line " + std::to_string(APos.Line) + ", column " +
                   std::to_string(APos.Column) + ": " + AMessage);
}

bool IsIdentStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// ---------------------------------------------------------------------------------------------
// Tokens

enum TTokenKind : std::uint8_t { tokEnd, tokIdent, tokInteger, tokFloat, tokString, tokSymbol };

struct TToken {
  TTokenKind Kind = tokEnd;
  TPos Pos;
  std::string Text;  // identifier (dots included), decoded string, float text, or the symbol
  std::int64_t Integer = 0;
};

class TLexer {
 public:
  TLexer(const std::string& AText, const std::string& ASource) : FText(AText), FSource(ASource) {
    if (FText.compare(0, 3, "\xEF\xBB\xBF") == 0) FIndex = 3;
    Advance();
  }

  const TToken& Peek() const { return FToken; }

  TToken Next() {
    TToken result = std::move(FToken);
    Advance();
    return result;
  }

 private:
  char At(std::size_t AIndex) const { return AIndex < FText.size() ? FText[AIndex] : '\0'; }

  // Moves one byte on; the column counts characters, so continuation bytes do not count.
  void Step() {
    const char c = FText[FIndex++];
    if (c == '\n') {
      ++FPos.Line;
      FPos.Column = 1;
    } else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
      ++FPos.Column;
    }
  }

  void Advance() {
    while (FIndex < FText.size() && (FText[FIndex] == ' ' || FText[FIndex] == '\t' ||
                                     FText[FIndex] == '\r' || FText[FIndex] == '\n')) {
      Step();
    }
    FToken = TToken();
    FToken.Pos = FPos;
    if (FIndex >= FText.size()) return;
    const char c = FText[FIndex];
    if (IsIdentStart(c)) {
      ReadIdent();
    } else if (IsDigit(c) || c == '$' ||
               ((c == '-' || c == '+') && (IsDigit(At(FIndex + 1)) || At(FIndex + 1) == '$'))) {
      ReadNumber();
    } else if (c == '\'' || c == '#') {
      ReadString();
    } else if (std::strchr("=:[](),+{}<>", c) != nullptr) {
      FToken.Kind = tokSymbol;
      FToken.Text = std::string(1, c);
      Step();
    } else {
      // A whole character, never a piece of one.
      std::string shown(
          std::string_view(FText).substr(FIndex, Utf8Offset(FText.substr(FIndex), 1)));
      if (static_cast<unsigned char>(c) < 32) shown = "#" + std::to_string(c);
      ReadError(FSource, FPos, "Unexpected character '" + shown + "'");
    }
  }

  // An identifier, or a dotted path of them (SQL.Strings, Module.Source).
  void ReadIdent() {
    FToken.Kind = tokIdent;
    for (;;) {
      while (FIndex < FText.size() && IsIdentChar(FText[FIndex])) {
        FToken.Text += FText[FIndex];
        Step();
      }
      if (At(FIndex) != '.' || !IsIdentStart(At(FIndex + 1))) break;
      FToken.Text += '.';
      Step();
    }
  }

  void ReadNumber() {
    const TPos start = FPos;
    std::string text;
    if (FText[FIndex] == '-' || FText[FIndex] == '+') {
      text += FText[FIndex];
      Step();
    }
    bool hex = false;
    if (At(FIndex) == '$') {
      hex = true;
      Step();
      while (std::isxdigit(static_cast<unsigned char>(At(FIndex)))) {
        text += FText[FIndex];
        Step();
      }
    } else {
      while (IsDigit(At(FIndex))) {
        text += FText[FIndex];
        Step();
      }
      if (At(FIndex) == '.' || At(FIndex) == 'e' || At(FIndex) == 'E') {
        // A floating-point value; no property of ours takes one, so only its text is kept for
        // the message that refuses it.
        while (IsDigit(At(FIndex)) || At(FIndex) == '.' || At(FIndex) == 'e' || At(FIndex) == 'E' ||
               At(FIndex) == '-' || At(FIndex) == '+') {
          text += FText[FIndex];
          Step();
        }
        FToken.Kind = tokFloat;
        FToken.Text = text;
        return;
      }
    }
    const bool negative = !text.empty() && text[0] == '-';
    const std::string digits = text.substr(!text.empty() && (text[0] == '-' || text[0] == '+'));
    if (digits.empty()) ReadError(FSource, start, "Invalid number");
    errno = 0;
    char* end = nullptr;
    const unsigned long long magnitude = std::strtoull(digits.c_str(), &end, hex ? 16 : 10);
    const unsigned long long limit = negative ? 9223372036854775808ULL : 9223372036854775807ULL;
    if (errno == ERANGE || magnitude > limit) {
      ReadError(FSource, start, "Number " + text + " is out of range");
    }
    FToken.Kind = tokInteger;
    FToken.Text = text;
    FToken.Integer = negative ? static_cast<std::int64_t>(0ULL - magnitude)
                              : static_cast<std::int64_t>(magnitude);
  }

  // Quoted parts and #nnn characters that touch one another make one string.
  void ReadString() {
    FToken.Kind = tokString;
    while (FIndex < FText.size()) {
      if (FText[FIndex] == '\'') {
        const TPos quote = FPos;
        Step();
        for (;;) {
          if (FIndex >= FText.size() || FText[FIndex] == '\n' || FText[FIndex] == '\r') {
            ReadError(FSource, quote, "Unterminated string");
          }
          if (FText[FIndex] == '\'') {
            if (At(FIndex + 1) != '\'') break;
            Step();
          }
          FToken.Text += FText[FIndex];
          Step();
        }
        Step();
      } else if (FText[FIndex] == '#') {
        const TPos hash = FPos;
        Step();
        const bool hex = At(FIndex) == '$';
        if (hex) Step();
        std::string digits;
        while (hex ? std::isxdigit(static_cast<unsigned char>(At(FIndex))) != 0
                   : IsDigit(At(FIndex))) {
          digits += FText[FIndex];
          Step();
        }
        const unsigned long code = digits.empty() || digits.size() > 8
                                       ? 0x110000UL
                                       : std::strtoul(digits.c_str(), nullptr, hex ? 16 : 10);
        if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
          ReadError(FSource, hash, "Invalid character code #" + digits);
        }
        Utf8Append(FToken.Text, static_cast<char32_t>(code));
      } else {
        break;
      }
    }
  }

  const std::string& FText;
  const std::string& FSource;
  std::size_t FIndex = 0;
  TPos FPos;
  TToken FToken;
};

// ---------------------------------------------------------------------------------------------
// The parsed file, before any component is touched

enum TValueKind : std::uint8_t { vkInteger, vkFloat, vkString, vkIdent, vkSet, vkList };

struct TValueNode {
  TValueKind Kind = vkInteger;
  TPos Pos;
  std::int64_t Integer = 0;
  std::string Text;
  std::vector<std::string> Items;  // set elements or list lines
};

struct TPropNode {
  std::string Name;
  TPos Pos;
  TValueNode Value;
};

struct TObjectNode {
  bool Inherited = false;
  TPos Pos;
  std::string Name;
  TPos NamePos;
  std::string ClassName;
  TPos ClassPos;
  std::vector<TPropNode> Props;
  std::vector<std::unique_ptr<TObjectNode>> Children;
};

class TParser {
 public:
  TParser(const std::string& AText, const std::string& ASource)
      : FLexer(AText, ASource), FSource(ASource) {}

  std::unique_ptr<TObjectNode> ParseFile() {
    auto root = ParseObject(0);
    if (FLexer.Peek().Kind != tokEnd) Expected("the end of the file");
    return root;
  }

 private:
  [[noreturn]] void Expected(const std::string& AWhat) {
    const TToken& token = FLexer.Peek();
    std::string found = "the end of the file";
    if (token.Kind == tokString) {
      found = QuotedString(token.Text);
    } else if (token.Kind != tokEnd) {
      found = "'" + token.Text + "'";
    }
    ReadError(FSource, token.Pos, AWhat + " expected but " + found + " found");
  }

  bool IsKeyword(const char* AWord) const {
    return FLexer.Peek().Kind == tokIdent && SameText(FLexer.Peek().Text, AWord);
  }

  bool IsSymbol(char ASymbol) const {
    return FLexer.Peek().Kind == tokSymbol && FLexer.Peek().Text[0] == ASymbol;
  }

  void ExpectSymbol(char ASymbol) {
    if (!IsSymbol(ASymbol)) Expected(std::string("'") + ASymbol + "'");
    FLexer.Next();
  }

  TToken ExpectIdent(const std::string& AWhat) {
    if (FLexer.Peek().Kind != tokIdent) Expected(AWhat);
    return FLexer.Next();
  }

  std::unique_ptr<TObjectNode> ParseObject(int ADepth) {
    auto node = std::make_unique<TObjectNode>();
    node->Pos = FLexer.Peek().Pos;
    if (ADepth > MaxObjectDepth) ReadError(FSource, node->Pos, "Objects are nested too deeply");
    if (IsKeyword("inherited")) {
      node->Inherited = true;
    } else if (!IsKeyword("object")) {
      Expected("'object' or 'inherited'");
    }
    FLexer.Next();
    TToken first = ExpectIdent("A component name");
    if (IsSymbol(':')) {
      FLexer.Next();
      TToken className = ExpectIdent("A class name");
      node->Name = first.Text;
      node->NamePos = first.Pos;
      node->ClassName = className.Text;
      node->ClassPos = className.Pos;
    } else {
      node->ClassName = first.Text;
      node->ClassPos = node->NamePos = first.Pos;
    }
    for (;;) {
      if (IsKeyword("end")) {
        FLexer.Next();
        return node;
      }
      if (IsKeyword("object") || IsKeyword("inherited")) {
        node->Children.push_back(ParseObject(ADepth + 1));
        continue;
      }
      if (FLexer.Peek().Kind != tokIdent) Expected("A property name or 'end'");
      TToken name = FLexer.Next();
      ExpectSymbol('=');
      node->Props.push_back(TPropNode{name.Text, name.Pos, ParseValue()});
    }
  }

  // A string value, possibly in parts joined with '+' across lines.
  std::string ParseStringValue() {
    std::string text = FLexer.Next().Text;
    while (IsSymbol('+')) {
      FLexer.Next();
      if (FLexer.Peek().Kind != tokString) Expected("A string");
      text += FLexer.Next().Text;
    }
    return text;
  }

  TValueNode ParseValue() {
    TValueNode value;
    value.Pos = FLexer.Peek().Pos;
    const TToken& token = FLexer.Peek();
    switch (token.Kind) {
      case tokInteger:
        value.Kind = vkInteger;
        value.Integer = token.Integer;
        value.Text = token.Text;
        FLexer.Next();
        return value;
      case tokFloat:
        value.Kind = vkFloat;
        value.Text = FLexer.Next().Text;
        return value;
      case tokString:
        value.Kind = vkString;
        value.Text = ParseStringValue();
        return value;
      case tokIdent:
        value.Kind = vkIdent;
        value.Text = FLexer.Next().Text;
        return value;
      default:
        break;
    }
    if (IsSymbol('[')) {
      value.Kind = vkSet;
      FLexer.Next();
      if (!IsSymbol(']')) {
        for (;;) {
          value.Items.push_back(ExpectIdent("A set element").Text);
          if (!IsSymbol(',')) break;
          FLexer.Next();
        }
      }
      ExpectSymbol(']');
      return value;
    }
    if (IsSymbol('(')) {
      value.Kind = vkList;
      FLexer.Next();
      while (!IsSymbol(')')) {
        if (FLexer.Peek().Kind != tokString) Expected("A quoted line or ')'");
        value.Items.push_back(ParseStringValue());
      }
      FLexer.Next();
      return value;
    }
    if (IsSymbol('{') || IsSymbol('<')) {
      ReadError(FSource, value.Pos, "Binary data and collections are not supported");
    }
    Expected("A property value");
  }

  TLexer FLexer;
  const std::string& FSource;
};

// ---------------------------------------------------------------------------------------------
// Building the components

std::string KindText(const TPropInfo* AInfo) {
  auto names = [&] {
    std::string result;
    for (const std::string& name : AInfo->GetEnumNames()) {
      if (!result.empty()) result += ", ";
      result += name;
    }
    return result;
  };
  switch (AInfo->GetKind()) {
    case pkInteger:
      return "a whole number";
    case pkBoolean:
      return "True or False";
    case pkChar:
      return "one ASCII character in quotes";
    case pkString:
      return "a quoted text";
    case pkEnumeration:
      return "one of " + names();
    case pkSet:
      return "a set [...] of " + names();
    case pkStrings:
      return "a list ( 'line' ... ) of quoted lines";
    case pkComponent:
      return "a component name or nil";
    case pkEvent:
      return "an event handler name or nil";
  }
  return "a value";
}

class TReader {
 public:
  TReader(const std::string& ASource, TComponent* AInstance)
      : FSource(ASource), FInstance(AInstance) {}

  // A failed read frees what it made, last made first, so that owned components go before
  // their owners; the components that were there before only lose their loading state.
  ~TReader() {
    if (FDone) return;
    for (TComponent* component : FRead) component->SetLoading(false);
    for (auto it = FCreated.rbegin(); it != FCreated.rend(); ++it) delete *it;
  }

  TComponent* Read(const TObjectNode& ARootNode) {
    RegisterHostClasses();
    if (FInstance != nullptr) {
      if (!ClassInheritsFrom(FInstance->ClassName(), ARootNode.ClassName)) {
        ReadError(FSource, ARootNode.ClassPos,
                  "The file holds a " + ARootNode.ClassName + ", not a " + FInstance->ClassName());
      }
      FRoot = FInstance;
    } else {
      FRoot = Create(ARootNode, Application());
    }
    Fill(FRoot, ARootNode);
    for (const TFixup& fixup : FFixups) Resolve(fixup);
    for (TComponent* component : FRead) {
      try {
        component->Loaded();
      } catch (const EReadError&) {
        throw;
      } catch (const Exception& e) {
        throw EReadError(FSource + ": " + Describe(component) + ": " + e.GetMessage());
      }
    }
    FDone = true;
    return FRoot;
  }

 private:
  struct TFixup {
    TComponent* Instance;
    const TPropInfo* Info;
    std::string Path;
    TPos Pos;
  };

  static std::string Describe(const TComponent* AComponent) {
    return AComponent->GetName().empty() ? AComponent->ClassName() : AComponent->GetName();
  }

  TComponent* Create(const TObjectNode& ANode, TComponent* AOwner) {
    const TComponentFactory factory = FindClass(ANode.ClassName);
    if (!factory) {
      throw EClassNotFound(FSource + ", line " + std::to_string(ANode.ClassPos.Line) + ", column " +
                           std::to_string(ANode.ClassPos.Column) + ": Class " + ANode.ClassName +
                           " not found");
    }
    TComponent* component = factory(AOwner);
    FCreated.push_back(component);
    return component;
  }

  void Fill(TComponent* AComponent, const TObjectNode& ANode) {
    AComponent->SetLoading(true);
    FRead.push_back(AComponent);
    if (!HasClassProperties(AComponent->ClassName())) {
      ReadError(FSource, ANode.ClassPos,
                "Class " + AComponent->ClassName() + " has no published properties registered");
    }
    if (!ANode.Name.empty() && AComponent->GetName() != ANode.Name) {
      try {
        AComponent->SetName(ANode.Name);
      } catch (const Exception& e) {
        ReadError(FSource, ANode.NamePos, e.GetMessage());
      }
    }
    for (const TPropNode& prop : ANode.Props) Apply(AComponent, prop);
    for (const auto& child : ANode.Children) {
      TComponent* component = nullptr;
      if (child->Inherited) {
        component = AComponent->FindComponent(child->Name);
        if (component == nullptr || !SameText(component->ClassName(), child->ClassName)) {
          ReadError(FSource, child->NamePos,
                    "Inherited component " + child->Name + ": " + child->ClassName +
                        " does not exist in " + Describe(AComponent));
        }
      } else {
        component = Create(*child, AComponent);
      }
      Fill(component, *child);
    }
  }

  void Apply(TComponent* AComponent, const TPropNode& AProp) {
    const TPropInfo* info = GetPropInfo(AComponent, AProp.Name);
    if (info == nullptr) {
      // A string list is written as Name.Strings.
      const std::string suffix = ".Strings";
      if (AProp.Name.size() > suffix.size() &&
          SameText(AProp.Name.substr(AProp.Name.size() - suffix.size()), suffix)) {
        info = GetPropInfo(AComponent, AProp.Name.substr(0, AProp.Name.size() - suffix.size()));
        if (info != nullptr && info->GetKind() != pkStrings) info = nullptr;
      }
    }
    if (info == nullptr) {
      ReadError(FSource, AProp.Pos,
                "Property " + AProp.Name + " does not exist in class " + AComponent->ClassName());
    }
    const TValueNode& value = AProp.Value;
    auto bad = [&]() {
      std::string shown = value.Text;
      if (value.Kind == vkString) shown = QuotedString(value.Text);
      if (value.Kind == vkSet) shown = "[...]";
      if (value.Kind == vkList) shown = "(...)";
      ReadError(FSource, value.Pos,
                "Invalid value " + shown + " for " + Describe(AComponent) + "." + info->GetName() +
                    ": expected " + KindText(info));
    };
    TPropValue result;
    switch (info->GetKind()) {
      case pkInteger:
        if (value.Kind != vkInteger) bad();
        result = value.Integer;
        break;
      case pkBoolean:
        if (value.Kind != vkIdent) bad();
        if (SameText(value.Text, "True")) {
          result = std::int64_t{1};
        } else if (SameText(value.Text, "False")) {
          result = std::int64_t{0};
        } else {
          bad();
        }
        break;
      case pkChar:
        if (value.Kind != vkString || value.Text.size() != 1 ||
            static_cast<unsigned char>(value.Text[0]) > 127) {
          bad();
        }
        result = std::int64_t{value.Text[0]};
        break;
      case pkString:
        if (value.Kind != vkString) bad();
        result = value.Text;
        break;
      case pkEnumeration: {
        const int ordinal = value.Kind == vkIdent ? info->EnumOrdinal(value.Text) : -1;
        if (ordinal < 0) bad();
        result = std::int64_t{ordinal};
        break;
      }
      case pkSet: {
        if (value.Kind != vkSet) bad();
        std::int64_t bits = 0;
        for (const std::string& element : value.Items) {
          const int ordinal = info->EnumOrdinal(element);
          if (ordinal < 0 || ordinal > 62) {
            ReadError(FSource, value.Pos,
                      "Invalid set element " + element + " for " + Describe(AComponent) + "." +
                          info->GetName() + ": expected " + KindText(info));
          }
          bits |= std::int64_t{1} << ordinal;
        }
        result = bits;
        break;
      }
      case pkStrings:
        if (value.Kind != vkList) bad();
        result = value.Items;
        break;
      case pkComponent:
        if (value.Kind != vkIdent) bad();
        if (SameText(value.Text, "nil")) {
          result = static_cast<TComponent*>(nullptr);
          break;
        }
        // Resolved once the whole file is read, so that a reference may point forward.
        FFixups.push_back(TFixup{AComponent, info, value.Text, value.Pos});
        return;
      case pkEvent:
        if (value.Kind != vkIdent || value.Text.find('.') != std::string::npos) bad();
        result = SameText(value.Text, "nil") ? std::string() : value.Text;
        break;
    }
    Set(AComponent, info, result, value.Pos);
  }

  void Set(TComponent* AComponent, const TPropInfo* AInfo, const TPropValue& AValue, TPos APos) {
    try {
      AInfo->SetValue(AComponent, AValue);
    } catch (const EReadError&) {
      throw;
    } catch (const Exception& e) {
      ReadError(FSource, APos,
                Describe(AComponent) + "." + AInfo->GetName() + ": " + e.GetMessage());
    }
  }

  // A path as the writer makes it: a component of this file (Name or Owner.Name), the root
  // itself, or a component of another form or data module of the application (Form.Name).
  TComponent* Find(const std::string& APath) const {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
      const auto dot = APath.find('.', start);
      parts.push_back(APath.substr(start, dot - start));
      if (dot == std::string::npos) break;
      start = dot + 1;
    }
    TComponent* current = FRoot->FindComponent(parts[0]);
    if (current == nullptr && SameText(FRoot->GetName(), parts[0])) current = FRoot;
    if (current == nullptr) current = Application()->FindComponent(parts[0]);
    for (std::size_t i = 1; current != nullptr && i < parts.size(); ++i) {
      current = current->FindComponent(parts[i]);
    }
    return current;
  }

  void Resolve(const TFixup& AFixup) {
    TComponent* target = Find(AFixup.Path);
    if (target == nullptr) {
      ReadError(FSource, AFixup.Pos,
                "Component " + AFixup.Path + " referenced by " + Describe(AFixup.Instance) + "." +
                    AFixup.Info->GetName() + " does not exist");
    }
    Set(AFixup.Instance, AFixup.Info, target, AFixup.Pos);
  }

  const std::string& FSource;
  TComponent* FInstance;
  TComponent* FRoot = nullptr;
  std::vector<TComponent*> FRead;     // every component read, in reading order; not owned
  std::vector<TComponent*> FCreated;  // made by this read; freed again when it fails
  std::vector<TFixup> FFixups;
  bool FDone = false;
};

// ---------------------------------------------------------------------------------------------
// Writing

class TWriter {
 public:
  explicit TWriter(const TComponent* ARoot) : FRoot(ARoot) {}

  std::string Write() {
    RegisterHostClasses();
    WriteObject(FRoot, nullptr, 0, false);
    return std::move(FOut);
  }

 private:
  void WriteObject(const TComponent* AComponent, const TComponent* AAncestor, int AIndent,
                   bool AInherited) {
    const std::string indent(static_cast<std::size_t>(AIndent) * 2, ' ');
    FOut += indent;
    FOut += AInherited ? "inherited " : "object ";
    if (!AComponent->GetName().empty()) FOut += AComponent->GetName() + ": ";
    FOut += AComponent->ClassName() + "\n";
    for (const TPropInfo* info : GetPropList(AComponent)) {
      if (AAncestor == nullptr) {
        if (!info->IsStored(AComponent)) continue;
      } else if (!info->IsStoredProp(AComponent) ||
                 ValueText(AComponent, info, AIndent) == ValueText(AAncestor, info, AIndent)) {
        // A component its owner's class makes itself keeps only what differs from a fresh one.
        continue;
      }
      FOut += indent + "  " + info->GetName();
      if (info->GetKind() == pkStrings) FOut += ".Strings";
      FOut += " = " + ValueText(AComponent, info, AIndent + 1) + "\n";
    }
    const TComponent* ancestors = AAncestor;
    if (ancestors == nullptr && AComponent->GetComponentCount() > 0) {
      ancestors = FreshInstance(AComponent->ClassName());
    }
    for (int i = 0; i < AComponent->GetComponentCount(); ++i) {
      const TComponent* child = AComponent->GetComponents(i);
      if (!IsStoredComponent(child)) continue;
      const TComponent* ancestor =
          ancestors == nullptr ? nullptr : ancestors->FindComponent(child->GetName());
      if (ancestor != nullptr && !SameText(ancestor->ClassName(), child->ClassName())) {
        ancestor = nullptr;
      }
      WriteObject(child, ancestor, AIndent + 1, ancestor != nullptr);
    }
    FOut += indent + "end\n";
  }

  // A fresh instance of a class shows which components the class makes itself.
  const TComponent* FreshInstance(const std::string& AClassName) {
    const TComponentFactory factory = FindClass(AClassName);
    if (!factory) return nullptr;
    FFresh.emplace_back(factory(nullptr));
    return FFresh.back().get();
  }

  std::string ValueText(const TComponent* AComponent, const TPropInfo* AInfo, int AIndent) {
    const TPropValue value = AInfo->GetValue(AComponent);
    switch (AInfo->GetKind()) {
      case pkInteger:
        return std::to_string(std::get<std::int64_t>(value));
      case pkBoolean:
        return std::get<std::int64_t>(value) != 0 ? "True" : "False";
      case pkChar:
        return QuotedString(std::string(1, static_cast<char>(std::get<std::int64_t>(value))));
      case pkString:
      case pkEvent:
        return AInfo->GetKind() == pkString ? QuotedString(std::get<std::string>(value))
                                            : std::get<std::string>(value);
      case pkEnumeration: {
        const std::int64_t ordinal = std::get<std::int64_t>(value);
        const auto& names = AInfo->GetEnumNames();
        if (ordinal < 0 || ordinal >= static_cast<std::int64_t>(names.size())) {
          throw EWriteError("Property " + Describe(AComponent) + "." + AInfo->GetName() +
                            " holds " + std::to_string(ordinal) + ", which is no value of " +
                            AInfo->GetTypeName());
        }
        return names[static_cast<std::size_t>(ordinal)];
      }
      case pkSet: {
        const std::int64_t bits = std::get<std::int64_t>(value);
        std::string result = "[";
        const auto& names = AInfo->GetEnumNames();
        for (std::size_t i = 0; i < names.size() && i < 63; ++i) {
          if ((bits & (std::int64_t{1} << i)) == 0) continue;
          if (result.size() > 1) result += ", ";
          result += names[i];
        }
        return result + "]";
      }
      case pkStrings: {
        const std::string indent(static_cast<std::size_t>(AIndent) * 2 + 2, ' ');
        std::string result = "(";
        for (const std::string& line : std::get<std::vector<std::string>>(value)) {
          result += "\n" + indent + QuotedString(line);
        }
        return result + ")";
      }
      case pkComponent:
        return ReferenceText(AComponent, AInfo, std::get<TComponent*>(value));
    }
    return {};
  }

  static std::string Describe(const TComponent* AComponent) {
    return AComponent->GetName().empty() ? AComponent->ClassName() : AComponent->GetName();
  }

  // The path that the reader resolves back to ATarget (see TReader::Find).
  std::string ReferenceText(const TComponent* AComponent, const TPropInfo* AInfo,
                            const TComponent* ATarget) const {
    if (ATarget == nullptr) return "nil";
    const std::string where = Describe(AComponent) + "." + AInfo->GetName();
    std::vector<const TComponent*> chain;
    const TComponent* current = ATarget;
    while (current != nullptr && current != FRoot && current != Application()) {
      chain.push_back(current);
      current = current->GetOwner();
    }
    if (current == nullptr) {
      throw EWriteError("Property " + where + " refers to " + Describe(ATarget) +
                        ", which is neither in this file nor on a form of the application");
    }
    if (chain.empty()) chain.push_back(FRoot);
    std::string result;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
      if ((*it)->GetName().empty()) {
        throw EWriteError("Property " + where + " refers to a " + (*it)->ClassName() +
                          " without a name");
      }
      if (!result.empty()) result += '.';
      result += (*it)->GetName();
    }
    return result;
  }

  const TComponent* FRoot;
  std::string FOut;
  std::vector<std::unique_ptr<TComponent>> FFresh;
};

std::string ErrnoText() { return std::strerror(errno); }

}  // namespace

std::string QuotedString(const std::string& AValue) {
  // Control characters go out as #nnn; everything else, UTF-8 included, stays as it is.
  std::string result;
  bool quoted = false;
  for (const char c : AValue) {
    const auto code = static_cast<unsigned char>(c);
    if (code < 32 || code == 127) {
      if (quoted) result += '\'';
      quoted = false;
      result += '#' + std::to_string(code);
      continue;
    }
    if (!quoted) result += '\'';
    quoted = true;
    result += c;
    if (c == '\'') result += '\'';
  }
  if (quoted) result += '\'';
  return result.empty() ? "''" : result;
}

std::string WriteComponentText(const TComponent* AInstance) {
  if (AInstance == nullptr) throw EWriteError("No component to write");
  return TWriter(AInstance).Write();
}

void WriteComponentFile(const std::string& AFileName, const TComponent* AInstance) {
  const std::string text = WriteComponentText(AInstance);
  const std::string temporary = AFileName + ".~" + std::to_string(::getpid());
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) {
    throw EWriteError("Cannot write form file '" + AFileName + "': " + ErrnoText());
  }
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed || std::rename(temporary.c_str(), AFileName.c_str()) != 0) {
    const std::string reason = ErrnoText();
    std::remove(temporary.c_str());
    throw EWriteError("Cannot write form file '" + AFileName + "': " + reason);
  }
}

TComponent* ReadComponentText(const std::string& AText, const std::string& ASourceName,
                              TComponent* AInstance) {
  const std::unique_ptr<TObjectNode> root = TParser(AText, ASourceName).ParseFile();
  TReader reader(ASourceName, AInstance);
  return reader.Read(*root);
}

TComponent* ReadComponentFile(const std::string& AFileName, TComponent* AInstance) {
  std::ifstream stream(AFileName, std::ios::binary);
  if (!stream) {
    throw EReadError("Cannot open form file '" + AFileName + "': " + ErrnoText());
  }
  std::ostringstream text;
  text << stream.rdbuf();
  if (stream.bad()) {
    throw EReadError("Cannot read form file '" + AFileName + "': " + ErrnoText());
  }
  return ReadComponentText(text.str(), AFileName, AInstance);
}

}  // namespace host
