// Placeholder; filled in by its unit.
