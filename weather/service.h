#pragma once
// Where the forecast and the city search are sent: the built-in hosts, which
// the "WeatherServer" and "CityServer" values may replace (net/service_base.h
// keeps the user's city off plain HTTP to another machine).
#include "net/service_base.h"

inline constexpr char kForecastServiceBase[] = "https://api.met.no";
inline constexpr char kCityServiceBase[] = "https://nominatim.openstreetmap.org";
