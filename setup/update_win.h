#pragma once
// Update check and install.

// The first check after the start (askedByUser false) or the user's "Check for updates".
void updateCheck(bool askedByUser);
// Every 6 hours: a check when the last one is old enough.
void periodicUpdateCheck();
// Downloads and starts the offered update.
void updateInstall();
