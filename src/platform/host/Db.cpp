// Filled in by its unit's implementation.
