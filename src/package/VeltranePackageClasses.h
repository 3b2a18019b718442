#pragma once

// The published properties of the package's components, as the form files read and write them,
// and the factories that let a form file create the components by class name. The package's
// unit sections call these while the package initializes; each can run again without harm,
// because registering a class or a property a second time replaces the first registration.
//
// Stream defaults follow the components' initial values: a component written right after its
// construction produces no property line of its own. Version is published but never written.

#include "foundation/VeltraneExport.h"

namespace veltrane {

// TVeltraneAuto: OnOpen and OnClose after the component's Name and Tag.
VELTRANE_EXPORT void RegisterAutoProperties();
// TVeltranePrinter (abstract, not creatable): the document events, the separators ('_', '@'),
// Docname, DocReadonly (always written), Printername, UseRunningServer (default True) and
// Version.
VELTRANE_EXPORT void RegisterPrinterProperties();
// TVeltraneController: its factory and every published property, Format default True and
// UseInvisibleFields default False.
VELTRANE_EXPORT void RegisterControllerClass();
// TVeltraneWord7: its factory and WordbasicDialect (default wbdEnglish).
VELTRANE_EXPORT void RegisterWord7Class();
// TVeltraneWord8: its factory; its properties are the printer's.
VELTRANE_EXPORT void RegisterWord8Class();

}  // namespace veltrane
