#pragma once

// Free routines shared by the package's units: the two value formatters that apply an
// identifier's mask (FormatStr, FormatInt) with their part selector GetSubString, the test
// whether a data source delivers records, the cut of a display label at a separator, a
// depth-first walk over owned components, two path routines and the installed printers.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "foundation/VeltraneExport.h"
#include "platform/host/Classes.h"
#include "platform/host/Db.h"

namespace veltrane {

// A test applied to each component of a walk; true means "this is the component sought".
using TForEachComponentProc =
    std::function<bool(host::TComponent* component, const host::TVarRecs& data)>;

// True when ADatasource exists, has a data set and that data set is active.
VELTRANE_EXPORT bool DatasourceUsable(const host::TDataSource* ADatasource);

// AField's display label; when it holds ASeparator, the part before the first one, trimmed.
VELTRANE_EXPORT std::string DisplayLabelToFieldName(const host::TField* AField, char ASeparator);

// The program's folder with its trailing separator.
VELTRANE_EXPORT std::string ExePath();

// The first component owned by AParent (depth-first, pre-order when ARecursive) for which AProc
// answers true; nullptr when none does or AParent is null. Exceptions of AProc pass.
VELTRANE_EXPORT host::TComponent* ForEachComponent(const TForEachComponentProc& AProc,
                                                   const host::TVarRecs& AData,
                                                   host::TComponent* AParent, bool ARecursive);

// A whole-number value through a mask: a mask with ';' that does not start with '#' or '0'
// lists alternatives and the value picks one (from 0); otherwise the host's number format.
// Raises the host's EConvertError for a mask the number format rejects.
VELTRANE_EXPORT std::string FormatInt(const std::string& AMask, std::int64_t AValue);

// A text value through a mask: alternatives picked by the value as a whole number when the mask
// holds ';'; otherwise an optional alignment letter (L or R) and a width in characters: longer
// values are cut, shorter ones padded with blanks. Raises EConvertError for a value or width
// that is not a whole number.
VELTRANE_EXPORT std::string FormatStr(const std::string& AMask, const std::string& AValue);

// Part AIndex (from 0) of AText split at ';'; empty when there is no such part.
VELTRANE_EXPORT std::string GetSubString(const std::string& AText, std::int64_t AIndex);

// APath up to and including its last path separator ('\' or '/'); empty without one.
VELTRANE_EXPORT std::string JustPath(const std::string& APath);

// The installed printers' names, in the registry's order; empty when none can be read.
VELTRANE_EXPORT std::unique_ptr<host::TStringList> RegistryPrinterNames();

}  // namespace veltrane
