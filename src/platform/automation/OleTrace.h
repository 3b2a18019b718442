#pragma once

// Call tracing: TOleTrace wraps an automation object and, in turn, every object its calls
// return, and writes each call as one line to a sink. The same rendering of calls and values
// serves the recording server of the tests, so traces and recorded logs read alike.
//
// A line is the path of the object called, a dot, the call, then " -> " and the result, or
// " !! " and the error's class and message:
//
//   Word.Application.8.Documents.Open(FileName="C:\a.docx", ReadOnly=False) -> Object
//   Word.Application.8.ActiveDocument.Bookmarks.Count -> 3
//   Word.Application.8.ActiveDocument.Bookmarks.Item(ByRef 1).Name -> "Customer_Name"
//   Word.Application.8.ActiveDocument.Bookmarks.Item(ByRef 1).Range.Information[28] -> False
//   Word.Application.8.ActiveWindow.View.Type := 1 -> Empty
//   Word.Application.8.ActivePrinter := ByRef "Laser" -> Empty
//   Word.Basic.FileOpen(Name="x.doc", ReadOnly=False) !! EOleException: WordBasic Err=1078 ...
//
// The path starts with the root's name and adds, for each call that returned the object, the
// call as rendered below. A call renders as:
//   method                 Name            or  Name(arg, arg)
//   property read          Name[]          or  Name[arg, arg]
//   property write         Name := value   or  Name[arg] := value
// The default member (the empty name, read when an object converts to a value) shows as "[]"
// after the path's dot. Arguments appear in the order given: positional ones as their value,
// named ones as Name=value, each preceded by "ByRef " when passed by reference, with the
// values they had when the call was made. Values:
//   Empty, Null          the two special values
//   -1, 42               32-bit integers
//   True, False          Booleans (which the server reads as -1 and 0)
//   2.5, 3.0             doubles: shortest exact form, always with a '.' or an exponent
//   "text"               strings in double quotes, a quote doubled (""), and each control
//                        character outside the quotes as '#' and its code: "a"#13"b"
//   Object               a dispatch reference
// Text is UTF-8 and passes unchanged.

#include <functional>
#include <memory>
#include <string>

#include "platform/automation/Variant.h"
#include "platform/host/Classes.h"

namespace automation {

// Receives one line per call.
using TOleTraceSink = std::function<void(const std::string& ALine)>;

// One value as the lines show it.
std::string OleFormatValue(const OleVariant& AValue);
// One argument: [Name "="] ["ByRef "] value.
std::string OleFormatArg(const TOleArg& AArg);
// One call without its path: Name, Name(args), Name[args], Name := value.
std::string OleFormatCall(const std::string& AName, TDispatchKind AKind, const TOleArgs& AArgs);

// The tracing decorator. It forwards every call unchanged (by-reference arguments included) to
// the object it wraps, returns each object result wrapped in turn, and passes errors on after
// writing them. An object of ours passed back as a by-value argument is unwrapped first, so
// the server sees its own object.
class TOleTrace : public TDispatch {
 public:
  TOleTrace(OleVariant AInner, std::string APath, std::shared_ptr<const TOleTraceSink> ASink);

  OleVariant Invoke(const std::string& AName, TDispatchKind AKind, TOleArgs& AArgs) override;
  // Passes the bound name on, so a traced call stays bound.
  OleVariant InvokeBound(const TOleName& AName, TDispatchKind AKind, TOleArgs& AArgs) override;

  const OleVariant& GetInner() const { return FInner; }
  const std::string& GetPath() const { return FPath; }

 private:
  using inherited = TDispatch;

  template <class TName>
  OleVariant Forward(const TName& AName, const std::string& APlainName, TDispatchKind AKind,
                     TOleArgs& AArgs);

  OleVariant FInner;
  std::string FPath;
  std::shared_ptr<const TOleTraceSink> FSink;
};

// AObject wrapped in a TOleTrace whose path is ARootName; a value that holds no object, or an
// empty sink, gives AObject back unchanged.
OleVariant OleTraceWrap(const OleVariant& AObject, const std::string& ARootName,
                        TOleTraceSink ASink);
// A sink that appends each line to AList, which must outlive every traced object.
TOleTraceSink OleTraceToList(host::TStringList* AList);
// "line -> result" and "line !! EClass: message", as the decorator writes them.
std::string OleTraceResultLine(const std::string& ACallLine, const OleVariant& AResult);
std::string OleTraceErrorLine(const std::string& ACallLine, const EOleError& AError);

}  // namespace automation
