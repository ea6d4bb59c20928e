#pragma once
// Removal of the installed program for the current user.

// Runs the uninstaller; `quiet` asks no questions and shows no notice.
void uninstall(bool quiet);
