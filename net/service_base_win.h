#pragma once
// The base of a web service as this user's registry chooses it.
#include <string>

// Reads the REG_SZ override `valueName` under Software\Quillar and applies
// serviceBase to it; an accepted override is logged as "<module>: server
// <base> (<valueName>)", a refused one as "<module>: <valueName> <value>
// refused, using <builtIn>".
std::string serviceBaseFromSettings(const wchar_t* valueName, const char* builtIn, const char* module);
