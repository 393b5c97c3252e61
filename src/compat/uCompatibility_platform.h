#pragma once
// The platform's share of the unit's start-up and shutdown; uCompatibility.cpp calls it.

#include "compat/uCompatibility.h"

// Loads kernel32 and resolves every optional entry point in EntryPoints (all null where
// there is no kernel32).
void LoadOptionalEntryPoints(TOptionalEntryPoints& EntryPoints);

// Releases what LoadOptionalEntryPoints loaded and sets every entry point to null.
void UnloadOptionalEntryPoints(TOptionalEntryPoints& EntryPoints);
