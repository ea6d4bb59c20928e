#pragma once
// A service's address with the override stored under Software\Quillar.
#include <string>

#include "net/service_base.h"

// Reads the REG_SZ value `valueName`; logs "{module}: server ..." when the
// override is in force and "{module}: ... refused, using ..." when it is not
// acceptable. Returns the base to use.
std::string serviceBaseFromRegistry(const wchar_t* valueName, const char* builtIn, const char* module,
                                    ServicePath path = ServicePath::None);
