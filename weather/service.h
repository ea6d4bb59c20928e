#pragma once
// Where the forecast and the city search are sent; a stored override may
// replace the scheme and host (net/service_base.h says how).
#include "net/service_base.h"

inline constexpr char kForecastServiceBase[] = "https://api.met.no";
inline constexpr char kCityServiceBase[] = "https://nominatim.openstreetmap.org";
