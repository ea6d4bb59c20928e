#pragma once
// The setup roles of the executable: installation, update and removal.

// Takes the start when the command line or the embedded package asks for
// setup work; `exitCode` is then the process's.
bool setupOffer(const wchar_t* commandLine, int& exitCode);
