#pragma once

// The host's text form files: a component tree with its published properties, as the designer
// saves a form or data module, so that a whole merge setup can be kept in a file.
//
//   object Orders: TDataModule
//     object Database: TSQLiteConnection
//       DatabaseName = 'orders.db'
//     end
//     object Lines: TSQLiteQuery
//       Connection = Database
//       SQL.Strings = (
//         'SELECT * FROM lines'
//         'WHERE order_id = :id')
//       DataSource = OrderSource
//       AfterOpen = LinesAfterOpen
//     end
//   end
//
// Objects nest by ownership: an object's inner objects are the components it owns. A line
// "inherited Name: TClass" stands for a component that its owner's class makes itself; the file
// then holds only what differs from a fresh one. Values are integers, Booleans, quoted strings
// (a doubled '' inside, #nnn for a character by its code, parts joined with +), identifiers
// (enumeration values, component references as Name or Form.Name, event handler names, nil),
// sets [a, b] and string lists ( 'a' 'b' ). The writer leaves out every property that holds its
// stream default, and always produces the same bytes for the same tree; the reader takes any
// layout of the same tokens.

#include <string>

#include "platform/host/Classes.h"

namespace host {

// A form file that cannot be read or written.
class EFilerError : public Exception {
 public:
  using Exception::Exception;
};

// A syntax error, an unknown property, a bad value or a reference to nothing. The message starts
// with the file, line and column: "orders.vfm, line 7, column 18: ...".
class EReadError : public EFilerError {
 public:
  using EFilerError::EFilerError;
};

// A class that the class registry does not know; the message names the file and position too.
class EClassNotFound : public EFilerError {
 public:
  using EFilerError::EFilerError;
};

// A tree that cannot be written (a reference to an unnamed component) or a file that cannot be
// saved.
class EWriteError : public EFilerError {
 public:
  using EFilerError::EFilerError;
};

// The text of AInstance's tree. Raises EWriteError for a reference that has no name to write and
// EPropertyError for a class without registered properties.
std::string WriteComponentText(const TComponent* AInstance);
// Writes that text to AFileName through a temporary file renamed into place, so that a failed
// write leaves the old file as it was. Raises EWriteError naming the file.
void WriteComponentFile(const std::string& AFileName, const TComponent* AInstance);

// Reads a component tree from AText; ASourceName names the text in messages. Without AInstance
// the root object is made through the class registry and owned by the application object (so
// that "Module.Source" names find it) and returned; with AInstance the root's properties and
// objects go into it (its class must be the file's root class or descend from it) and AInstance
// is returned. References are resolved after the whole text is read, so they may point forward;
// then every component read gets Loaded, in reading order. Event properties keep their handler
// names (GetEventHandlerName) for BindEventHandlers.
// Raises EReadError or EClassNotFound naming the source, line and column; a failed read frees
// every component it made (the root too, when it made it), so nothing is left half-built.
TComponent* ReadComponentText(const std::string& AText, const std::string& ASourceName,
                              TComponent* AInstance = nullptr);
// Reads a form file (UTF-8, with or without BOM). Raises EReadError naming the file when it
// cannot be opened.
TComponent* ReadComponentFile(const std::string& AFileName, TComponent* AInstance = nullptr);

// One property value in the form file's spelling ('it''s', [a, b], True), as the writer does it;
// also used for messages and by tools that show properties.
std::string QuotedString(const std::string& AValue);

}  // namespace host
