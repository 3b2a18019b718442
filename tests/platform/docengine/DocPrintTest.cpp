// Placeholder; filled in with its unit's tests.
