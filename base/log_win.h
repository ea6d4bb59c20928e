#pragma once
#include <string>

// Opens %LOCALAPPDATA%\Kovra\<baseName>.txt, keeping the previous run's file
// as <baseName>-previous.txt. Without a folder or file the program runs unlogged.
void logOpen(const wchar_t* baseName);
const std::wstring& logPath();
