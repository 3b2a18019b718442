#include "platform/automation/OleTrace.h"

#include <charconv>
#include <cmath>

namespace automation {

namespace {

// Strings are quoted as the Basic dialects quote them, a quote doubled. A control character
// (a paragraph mark, a tab) would break the line or hide in it, so it leaves the quotes and
// shows as its code; backslashes and UTF-8 stay as they are, so Word's "\STARTOFSEL" reads as
// the design writes it.
void AppendQuoted(std::string& ALine, const std::string& AText) {
  ALine += '"';
  for (const char c : AText) {
    const auto code = static_cast<unsigned char>(c);
    if (code < 0x20 || code == 0x7F) {
      ALine += "\"#" + std::to_string(code) + '"';
    } else {
      if (c == '"') ALine += '"';
      ALine += c;
    }
  }
  ALine += '"';
}

// The shortest text that reads back as the same double, marked as a double by a '.' or an
// exponent so that 3.0 never looks like the integer 3.
std::string FormatDouble(double AValue) {
  if (std::isnan(AValue)) return "NaN";
  if (std::isinf(AValue)) return AValue < 0 ? "-Inf" : "Inf";
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, AValue);
  std::string text(buffer, result.ptr);
  if (text.find_first_of(".e") == std::string::npos) text += ".0";
  return text;
}

void AppendArgs(std::string& ALine, const TOleArgs& AArgs, std::size_t ACount) {
  for (std::size_t i = 0; i < ACount; ++i) {
    if (i > 0) ALine += ", ";
    ALine += OleFormatArg(AArgs[i]);
  }
}

}  // namespace

std::string OleFormatValue(const OleVariant& AValue) {
  switch (AValue.GetVarType()) {
    case vtEmpty:
      return "Empty";
    case vtNull:
      return "Null";
    case vtInteger:
      return std::to_string(AValue.ToInteger());
    case vtBoolean:
      return AValue.ToBoolean() ? "True" : "False";
    case vtDouble:
      return FormatDouble(AValue.ToDouble());
    case vtString: {
      std::string result;
      AppendQuoted(result, AValue.ToString());
      return result;
    }
    case vtDispatch:
      return "Object";
  }
  return "?";
}

std::string OleFormatArg(const TOleArg& AArg) {
  std::string result;
  if (AArg.GetIsNamed()) result = AArg.GetName() + "=";
  if (AArg.GetByRef()) result += "ByRef ";
  result += OleFormatValue(AArg.GetValue());
  return result;
}

std::string OleFormatCall(const std::string& AName, TDispatchKind AKind, const TOleArgs& AArgs) {
  std::string result = AName;
  if (AKind == dkPropertyPut) {
    const std::size_t indexes = AArgs.empty() ? 0 : AArgs.size() - 1;
    if (indexes > 0) {
      result += '[';
      AppendArgs(result, AArgs, indexes);
      result += ']';
    }
    result += " :=";
    if (!AArgs.empty()) result += ' ' + OleFormatArg(AArgs.back());
  } else if (AKind == dkPropertyGet) {
    result += '[';
    AppendArgs(result, AArgs, AArgs.size());
    result += ']';
  } else if (!AArgs.empty()) {
    result += '(';
    AppendArgs(result, AArgs, AArgs.size());
    result += ')';
  }
  return result;
}

std::string OleTraceResultLine(const std::string& ACallLine, const OleVariant& AResult) {
  return ACallLine + " -> " + OleFormatValue(AResult);
}

std::string OleTraceErrorLine(const std::string& ACallLine, const EOleError& AError) {
  return ACallLine + " !! " + OleErrorClassName(AError) + ": " + AError.GetMessage();
}

// ---------------------------------------------------------------------------------------------
// TOleTrace

TOleTrace::TOleTrace(OleVariant AInner, std::string APath,
                     std::shared_ptr<const TOleTraceSink> ASink)
    : FInner(std::move(AInner)), FPath(std::move(APath)), FSink(std::move(ASink)) {}

OleVariant TOleTrace::Invoke(const std::string& AName, TDispatchKind AKind, TOleArgs& AArgs) {
  return Forward(AName, AName, AKind, AArgs);
}

OleVariant TOleTrace::InvokeBound(const TOleName& AName, TDispatchKind AKind, TOleArgs& AArgs) {
  return Forward(AName, AName.GetName(), AKind, AArgs);
}

// AName is the name as the caller gave it (bound or not), APlainName its text for the line.
template <class TName>
OleVariant TOleTrace::Forward(const TName& AName, const std::string& APlainName,
                              TDispatchKind AKind, TOleArgs& AArgs) {
  const std::string line =
      (FPath.empty() ? "" : FPath + ".") + OleFormatCall(APlainName, AKind, AArgs);
  for (TOleArg& arg : AArgs) {
    if (arg.GetByRef()) continue;
    if (const auto* traced = dynamic_cast<const TOleTrace*>(arg.GetValue().GetDispatch())) {
      arg.SetValue(traced->FInner);
    }
  }
  OleVariant result;
  try {
    result = FInner.Invoke(AName, AKind, AArgs);
  } catch (const EOleError& E) {
    (*FSink)(OleTraceErrorLine(line, E));
    throw;
  }
  (*FSink)(OleTraceResultLine(line, result));
  if (result.IsDispatch()) {
    return OleVariant(std::make_unique<TOleTrace>(std::move(result), line, FSink));
  }
  return result;
}

OleVariant OleTraceWrap(const OleVariant& AObject, const std::string& ARootName,
                        TOleTraceSink ASink) {
  if (!AObject.IsDispatch() || !ASink) return AObject;
  return OleVariant(std::make_unique<TOleTrace>(
      AObject, ARootName, std::make_shared<const TOleTraceSink>(std::move(ASink))));
}

TOleTraceSink OleTraceToList(host::TStringList* AList) {
  return [AList](const std::string& ALine) { AList->Add(ALine); };
}

}  // namespace automation
