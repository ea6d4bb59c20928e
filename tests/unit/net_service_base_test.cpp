#include <gtest/gtest.h>

#include <string>

#include "net/service_base.h"

namespace {

// A server that replaces a folder of files keeps its path; the rule about
// plain HTTP is the same as for the services without one.
TEST(ServiceBase, AnOverrideWithAFolderKeepsItsPath) {
  const char* builtIn = "https://quillar.github.io/themes/";
  struct Case {
    const char* value;
    const char* base;
    bool overridden, refused;
  };
  const Case cases[] = {
      {"", builtIn, false, false},
      {"http://127.0.0.1:8642", "http://127.0.0.1:8642/", true, false},
      {"http://127.0.0.1:8642/", "http://127.0.0.1:8642/", true, false},
      {"http://localhost:8642/mirror/themes", "http://localhost:8642/mirror/themes/", true, false},
      {"https://cdn.example.org/themes/", "https://cdn.example.org/themes/", true, false},
      {"HTTPS://cdn.example.org:443/t/", "https://cdn.example.org/t/", true, false},
      {"http://[::1]:9000/t/", "http://[::1]:9000/t/", true, false},
      // Plain HTTP leaves this machine never.
      {"http://cdn.example.org/themes/", builtIn, false, true},
      {"http://127.0.0.1@cdn.example.org/", builtIn, false, true},
      {"http://cdn.example.org@127.0.0.1/", builtIn, false, true},
      {"https://cdn.example.org/themes/?x=1", builtIn, false, true},
      {"https://cdn.example.org/themes/#top", builtIn, false, true},
      {"https://cdn.example.org/a b/", builtIn, false, true},
      {"file:///C:/themes/", builtIn, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    ServiceBase b = serviceBase(c.value, builtIn, ServicePath::Prefix);
    EXPECT_EQ(b.base, c.base);
    EXPECT_EQ(b.overridden, c.overridden);
    EXPECT_EQ(b.refused, c.refused);
  }
  // Without a folder a path stays refused.
  EXPECT_TRUE(serviceBase("http://127.0.0.1:8642/themes/", "https://api.met.no").refused);
}

}  // namespace
