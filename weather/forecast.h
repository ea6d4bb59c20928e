#pragma once
// Reading a point forecast: which time step holds "now", and what its symbol
// code and measured values mean for the snow on screen.
#include <cstdint>
#include <string>
#include <string_view>

// The worker's result, handed to the main thread by value.
struct ForecastReading {
  bool valid = false;
  int level = 0;           // 0, 1, 2
  float wind = 0.0f;       // -1..1, positive blows to the right (eastwards)
  std::string label;       // one of the nine Ukrainian source labels
  double temperatureC = 0;
  double windKmh = 0;
  bool snowOutside = false;
  int statusCode = 0;      // the HTTP status, 0 without an answer
};

// The nine labels, as the text table knows them.
inline constexpr char kLabelHeavySnow[] = "сильний сніг";
inline constexpr char kLabelLightSnow[] = "легкий сніг";
inline constexpr char kLabelSnow[] = "сніг";
inline constexpr char kLabelSleet[] = "мокрий сніг";
inline constexpr char kLabelRain[] = "дощ";
inline constexpr char kLabelFog[] = "туман";
inline constexpr char kLabelClear[] = "ясно";
inline constexpr char kLabelCloudy[] = "хмарно";
inline constexpr char kLabelNoSnow[] = "без снігу";

struct SymbolMeaning {
  int level = 0;
  const char* label = kLabelNoSnow;
  bool snowOutside = false;
};

// By substring, first match wins: heavy snow or heavy sleet, light snow
// (also as the service misspells it, "lightssnow"), snow, sleet, rain, fog,
// clear or fair, cloudy; anything else no snow.
SymbolMeaning symbolMeaning(std::string_view symbolCode);

// The horizontal wind for the world from where it comes from (degrees) and
// its speed (m/s): a west wind of 12 m/s or more is +1.
float windFromForecast(double fromDegrees, double speedMs);

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t daysFromCivil(int64_t year, int64_t month, int64_t day);

// Unix seconds of a forecast time "YYYY-MM-DDTHH:MM:SS..." taken as UTC;
// missing time fields count as 0, and fewer than the three date fields give
// -1 (so the entry counts as in the past).
int64_t forecastTime(std::string_view text);

// The reading of a whole answer body at `now` (Unix seconds). Invalid when
// the body is not JSON, has no time steps or the chosen step no details.
ForecastReading forecastParse(std::string_view body, int64_t now);

// The request's path and query for a place, coordinates with three decimals.
std::string forecastObject(double latitude, double longitude);
inline constexpr char kForecastHeaders[] = "Accept: application/json\r\n";

// What the worker posts for an exchange: parsed only for a completed 200.
ForecastReading forecastFromAnswer(bool completed, int status, std::string_view body, int64_t now);
