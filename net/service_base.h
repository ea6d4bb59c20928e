#pragma once
// Where a web service is reached. A stored override may replace the built-in
// address (tests point it at a local server), but only in a way that never
// sends anything over plain HTTP to another machine.
#include <string>
#include <string_view>

struct ServiceBase {
  std::string base;         // "scheme://host[:port]" without "/"; with a path, ending in "/"
  bool overridden = false;  // the override is in force
  bool refused = false;     // an override was set but not accepted
};

// What an override may name besides scheme, host and port.
enum class ServicePath {
  None,    // the request paths are the program's own
  Prefix,  // a folder the program's file names are appended to
};

// The base to put the request paths after. An empty override gives
// `builtIn`. An override is taken when it is an https URL of any host or an
// http URL of a loopback host, consisting of scheme, host and optional port
// (a single trailing "/" allowed), and with ServicePath::Prefix also a path
// (a "/" is added when it does not end in one); anything else, user
// information, a query or a fragment included, is refused and `builtIn` stays.
ServiceBase serviceBase(std::string_view overrideValue, std::string_view builtIn,
                        ServicePath path = ServicePath::None);

// 127.0.0.0/8 written as four decimal parts, [::1] or localhost (any case).
bool isLoopbackHost(std::string_view host);

// Whether a URL that a service's answer hands on (a file to download) may be
// fetched: https to any host, http only to a loopback host.
bool urlFetchAllowed(std::string_view url);
