#pragma once
// The setup roles of the executable: installation, update and removal.
#include <string>

// Takes the start when the command line asks for removal or the executable
// carries an installation package; `exitCode` is then the process's.
bool dispatchSetup(const wchar_t* commandLine, int& exitCode);

// Installs the embedded package for the current user and starts the
// installed copy; the process's exit code (0 done, 1 failed).
int install(bool isUpdate);

// LocalAppData\Programs\Quillar; empty when the system names no such folder.
std::wstring installationFolder();

// Asks a running resident copy to quit, ending it when it does not.
void stopRunningInstance();
