#pragma once

// VELTRANE_EXPORT marks the package's public classes and routines: the shared package is built
// with hidden visibility, so only the names carrying it are exported to host applications.

#define VELTRANE_EXPORT __attribute__((visibility("default")))
