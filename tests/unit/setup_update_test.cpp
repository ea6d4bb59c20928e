#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "net/service_base.h"
#include "net/sha256.h"
#include "setup/update.h"
#include "ui/text.h"

namespace {

const char kOk[] = "https://quillar.github.io/update/Quillar-Setup-0.9.21.exe";

std::string answer(const std::string& version, const std::string& url, const std::string& extra = "") {
  return "{\"version\": " + version + ", \"url\": " + url + extra + "}";
}

TEST(UpdateAnswer, OnlyAWellFormedAnswerCounts) {
  struct Case {
    bool completed;
    int status;
    std::string body;
    UpdateFault fault;
    const char* sha;
  } cases[] = {
      {true, 200, answer("\"0.9.21\"", std::string("\"") + kOk + "\"", ", \"sha256\": \"ab12\", \"notes\": 1"),
       UpdateFault::None, "ab12"},
      {true, 200, answer("\"0.9.21\"", std::string("\"") + kOk + "\"", ", \"sha256\": 5"), UpdateFault::None, ""},
      {true, 200, answer("\"0.9.21\"", "\"http://127.0.0.1:8080/s.exe\""), UpdateFault::None, ""},
      {true, 200, answer("\"0.9.21\"", "\"http://localhost/s.exe\""), UpdateFault::None, ""},
      // Plain HTTP from the internet, other schemes, no URL at all.
      {true, 200, answer("\"0.9.21\"", "\"http://quillar.github.io/s.exe\""), UpdateFault::BadUrl, ""},
      {true, 200, answer("\"0.9.21\"", "\"file:///C:/s.exe\""), UpdateFault::BadUrl, ""},
      {true, 200, answer("\"0.9.21\"", "\"\""), UpdateFault::BadUrl, ""},
      // A version that would walk out of the temporary folder, or is no version.
      {true, 200, answer("\"..\\\\..\\\\Startup\\\\x\"", std::string("\"") + kOk + "\""), UpdateFault::BadVersion, ""},
      {true, 200, answer("\"0.9.21/../x\"", std::string("\"") + kOk + "\""), UpdateFault::BadVersion, ""},
      {true, 200, answer("\"\"", std::string("\"") + kOk + "\""), UpdateFault::BadVersion, ""},
      // Missing or mistyped members, no object, no 200, no answer.
      {true, 200, answer("0.921", std::string("\"") + kOk + "\""), UpdateFault::NoAnswer, ""},
      {true, 200, "{\"version\": \"0.9.21\"}", UpdateFault::NoAnswer, ""},
      {true, 200, "[\"0.9.21\"]", UpdateFault::NoAnswer, ""},
      {true, 200, "<html>", UpdateFault::NoAnswer, ""},
      {true, 500, answer("\"0.9.21\"", std::string("\"") + kOk + "\""), UpdateFault::NoAnswer, ""},
      {false, 0, answer("\"0.9.21\"", std::string("\"") + kOk + "\""), UpdateFault::NoAnswer, ""},
  };
  for (const Case& c : cases) {
    const UpdateAnswer a = updateAnswerRead(c.completed, c.status, c.body);
    EXPECT_EQ(a.fault, c.fault) << c.body;
    if (c.fault == UpdateFault::None) {
      EXPECT_EQ(a.version, "0.9.21");
      EXPECT_EQ(a.sha256, c.sha) << c.body;
    }
  }
}

TEST(UpdateAnswer, VersionsAreDigitsAndDots) {
  for (const char* v : {"0.9.21", "1", "10.0", "0.10.0.1234"}) EXPECT_TRUE(updateVersionAcceptable(v)) << v;
  for (const char* v : {"", ".", "1.", ".1", "1..2", "1.2a", "v1.2", "1 .2", "1/2", "1\\2", "1.2-beta",
                        "123456789012345678901234567890123"})
    EXPECT_FALSE(updateVersionAcceptable(v)) << v;
  EXPECT_EQ(updateSetupFileName("0.9.21"), "Quillar-Setup-0.9.21.exe");
  EXPECT_EQ(updateCheckObject("0.9.20"), "/update/windows.json?v=0.9.20");
}

TEST(UpdateAnswer, NewerIsOfferedAndFailuresSayWhy) {
  struct Case {
    const char* version;  // null: no valid answer
    int status;
    bool manual;
    int state;
    const char* error;
  } cases[] = {
      {"0.9.21", 200, false, UpdateAvailable, ""},   {"0.10", 200, true, UpdateAvailable, ""},
      {"0.9.20", 200, false, UpdateUpToDate, ""},    {"0.9.2", 200, true, UpdateUpToDate, ""},
      {"0.9.20.0", 200, false, UpdateUpToDate, ""},  {"0.9.19", 200, false, UpdateUpToDate, ""},
      {nullptr, 500, true, UpdateFailed, kUpdateErrorServer}, {nullptr, 200, true, UpdateFailed, kUpdateErrorServer},
      {nullptr, 0, true, UpdateFailed, kUpdateErrorOffline},  {nullptr, 500, false, UpdateIdle, kUpdateErrorServer},
      {nullptr, 0, false, UpdateIdle, kUpdateErrorOffline},
  };
  for (const Case& c : cases) {
    UpdateAnswer a;
    if (c.version) {
      a.fault = UpdateFault::None;
      a.version = c.version;
    }
    const UpdateCheckResult r = updateCheckResult(a, c.status, c.manual, "0.9.20");
    EXPECT_EQ(r.state, c.state) << (c.version ? c.version : "none") << " " << c.status;
    EXPECT_EQ(r.available, c.state == UpdateAvailable);
    EXPECT_EQ(r.error, c.error);
  }
}

TEST(UpdateState, WhatMayStartWhen) {
  const int64_t now = 1'800'000'000;
  struct Case {
    int state;
    bool check, install;
    bool staleAt599, staleAt600, periodicAt21540, periodicAt21541, periodicNever;
  } cases[] = {
      {UpdateIdle, true, false, false, true, false, true, true},
      {UpdateChecking, false, false, false, false, false, false, false},
      {UpdateUpToDate, true, false, false, true, false, true, true},
      {UpdateAvailable, true, true, false, false, false, false, false},
      {UpdateDownloading, false, false, false, false, false, false, false},
      {UpdateInstalling, false, false, false, false, false, false, false},
      {UpdateFailed, true, true, false, true, false, true, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(updateCheckAllowed(c.state), c.check) << c.state;
    EXPECT_EQ(updateInstallAllowed(c.state), c.install) << c.state;
    EXPECT_EQ(updateStaleCheckWanted(c.state, now - 599, now), c.staleAt599) << c.state;
    EXPECT_EQ(updateStaleCheckWanted(c.state, now - 600, now), c.staleAt600) << c.state;
    EXPECT_EQ(updatePeriodicCheckWanted(c.state, now - 21540, now), c.periodicAt21540) << c.state;
    EXPECT_EQ(updatePeriodicCheckWanted(c.state, now - 21541, now), c.periodicAt21541) << c.state;
    EXPECT_EQ(updatePeriodicCheckWanted(c.state, 0, now), c.periodicNever) << c.state;
    // A clock set back behind the last check does not hold checks off for hours.
    EXPECT_EQ(updateStaleCheckWanted(c.state, now + 3600, now), c.staleAt600) << c.state;
  }
  EXPECT_TRUE(updateStaleCheckWanted(UpdateIdle, 0, now));
}

TEST(UpdateState, TheNoticeComesOncePerVersion) {
  struct Case {
    bool available, manual;
    const char* told;
    bool wanted;
  } cases[] = {{true, false, "", true},       {true, false, "0.9.21", false}, {true, false, "0.9.19", true},
               {true, true, "", false},       {false, false, "", false}};
  for (const Case& c : cases)
    EXPECT_EQ(updateNoticeWanted(c.available, c.manual, c.told, "0.9.21"), c.wanted) << c.told << c.manual;
}

TEST(UpdateState, ProgressRepaintsInHundredths) {
  EXPECT_FLOAT_EQ(updateProgressFraction(0, 0), 0);
  EXPECT_FLOAT_EQ(updateProgressFraction(50, 200), 0.25f);
  EXPECT_FLOAT_EQ(updateProgressFraction(300, 200), 1);
  // A 20 MB file in 16 KB pieces posts about a hundred repaints, not a thousand.
  const uint64_t total = 20'000'000;
  float last = 0;
  int posted = 0;
  for (uint64_t got = 0; got <= total; got += 16384) {
    const float f = updateProgressFraction(got, total);
    if (updateProgressWorthPosting(last, f)) {
      last = f;
      ++posted;
    }
  }
  if (updateProgressWorthPosting(last, 1)) ++posted;
  EXPECT_GE(posted, 90);
  EXPECT_LE(posted, 101);
  EXPECT_TRUE(updateProgressWorthPosting(0.995f, 1));
  EXPECT_FALSE(updateProgressWorthPosting(1, 1));
}

TEST(UpdateState, TheChecksumMatchesExactly) {
  const std::string digest = sha256Hex("MZ setup");
  std::string upper = digest;
  for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  EXPECT_TRUE(updateChecksumMatches(digest, sha256Hex("MZ setup")));
  EXPECT_FALSE(updateChecksumMatches(upper, digest));
  EXPECT_FALSE(updateChecksumMatches(digest.substr(1), digest));
  EXPECT_FALSE(updateChecksumMatches(digest + " ", digest));
  EXPECT_FALSE(updateChecksumMatches("", digest));
}

TEST(UpdateState, EveryTextIsInTheTable) {
  struct Case {
    const char* key;
    const char* english;
  } cases[] = {{kUpdateErrorServer, "The update server is not reachable right now."},
               {kUpdateErrorOffline, "No internet connection."},
               {kUpdateErrorDownload, "The update could not be downloaded. Please try again."},
               {kUpdateErrorStart, "The update could not be started. Please try again."},
               {kUpdateNoticeTitle, "A new Quillar is out ❄"}};
  for (const Case& c : cases) EXPECT_STREQ(trIn(1, c.key), c.english);
  EXPECT_EQ(trFormatIn(1, kUpdateNoticeText, "0.9.21"), "Version 0.9.21 — open the Quillar window and click “Update”.");
  EXPECT_EQ(trFormatIn(2, kUpdateNoticeText, "0.9.21"),
            "Version 0.9.21 – öffnen Sie das Quillar-Fenster und klicken Sie auf „Aktualisieren“.");
}

TEST(ServiceBase, AnswersHandOnlyHttpsOrLoopbackAddresses) {
  struct Case {
    const char* url;
    bool allowed;
  } cases[] = {{"https://example.org/a.exe", true}, {"https://127.0.0.1/a", true},  {"http://127.0.0.1:9/a", true},
               {"http://[::1]/a", true},            {"http://LOCALHOST/a", true},   {"http://example.org/a", false},
               {"http://127.0.0.1.example.org/a", false}, {"ftp://127.0.0.1/a", false}, {"", false},
               {"https://exa mple.org/a", false}};
  for (const Case& c : cases) EXPECT_EQ(urlFetchAllowed(c.url), c.allowed) << c.url;
}

}  // namespace
