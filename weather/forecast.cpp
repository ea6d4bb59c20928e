#include "weather/forecast.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "net/json.h"
#include "weather/numbers.h"

namespace {

bool has(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

// A number of `details`; anything else, or a value that is not finite,
// counts as 0.
double numberOr0(const JsonValue* details, std::string_view key) {
  const JsonValue* v = member(details, key);
  if (!v || v->kind != JsonKind::Number || !std::isfinite(v->number)) return 0;
  return v->number;
}

// One decimal field as "%d" reads it (leading blanks, an optional sign), but
// of at most `maxDigits` digits.
bool readField(std::string_view text, size_t& i, int64_t& out, bool allowSign, size_t maxDigits) {
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r')) ++i;
  bool negative = false;
  if (allowSign && i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  size_t start = i;
  int64_t value = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - start < maxDigits) value = value * 10 + (text[i++] - '0');
  if (i == start) return false;
  out = negative ? -value : value;
  return true;
}

}  // namespace

SymbolMeaning symbolMeaning(std::string_view code) {
  SymbolMeaning m;
  m.snowOutside = has(code, "snow") || has(code, "sleet");
  if (has(code, "heavysnow") || has(code, "heavysleet")) {
    m.level = 2;
    m.label = kLabelHeavySnow;
  } else if (has(code, "lightsnow") || has(code, "lightssnow")) {
    // The service also sends the misspelt "lightssnowshowersandthunder".
    m.label = kLabelLightSnow;
  } else if (has(code, "snow")) {
    m.level = 1;
    m.label = kLabelSnow;
  } else if (has(code, "sleet")) {
    m.label = kLabelSleet;
  } else if (has(code, "rain")) {
    m.label = kLabelRain;
  } else if (has(code, "fog")) {
    m.label = kLabelFog;
  } else if (has(code, "clearsky") || has(code, "fair")) {
    m.label = kLabelClear;
  } else if (has(code, "cloudy")) {
    m.label = kLabelCloudy;
  }
  return m;
}

float windFromForecast(double fromDegrees, double speedMs) {
  double w = -std::sin(fromDegrees * 0.017453292519943278) * speedMs / 12.0;
  if (!std::isfinite(w)) return 0.0f;
  return static_cast<float>(std::clamp(w, -1.0, 1.0));
}

int64_t daysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2 ? 1 : 0;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;                            // [0, 399]
  const int64_t mp = (m + 9) % 12;                              // March = 0
  const int64_t doy = (153 * mp + 2) / 5 + d - 1;               // [0, 365]
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;    // [0, 146096]
  return era * 146097 + doe - 719468;
}

int64_t forecastTime(std::string_view text) {
  // Bounded digit runs keep every field and the sum far from overflow.
  int64_t f[6] = {0, 0, 0, 0, 0, 0};
  const char separators[5] = {'-', '-', 'T', ':', ':'};
  size_t i = 0;
  int read = 0;
  for (int k = 0; k < 6; ++k) {
    if (k > 0) {
      if (i >= text.size() || text[i] != separators[k - 1]) break;
      ++i;
    }
    if (!readField(text, i, f[k], true, 9)) break;
    ++read;
  }
  if (read < 3) return -1;
  // The March-based month arithmetic holds for 1..12 only.
  const int64_t month = std::clamp<int64_t>(f[1], 1, 12);
  return daysFromCivil(f[0], month, f[2]) * 86400 + f[3] * 3600 + f[4] * 60 + f[5];
}

ForecastReading forecastParse(std::string_view body, int64_t now) {
  ForecastReading r;
  std::unique_ptr<JsonValue> root = jsonParse(body);
  const JsonValue* series = path(root.get(), {"properties", "timeseries"});
  if (!series || series->kind != JsonKind::Array || series->items.empty()) return r;

  const JsonValue* chosen = &series->items.front();
  for (const JsonValue& entry : series->items) {
    const JsonValue* time = member(entry, "time");
    if (time && time->kind == JsonKind::String && now >= forecastTime(time->text)) chosen = &entry;
  }

  const JsonValue* details = path(chosen, {"data", "instant", "details"});
  if (!details) return r;
  double temperature = numberOr0(details, "air_temperature");
  double speed = numberOr0(details, "wind_speed");
  double from = numberOr0(details, "wind_from_direction");

  std::string_view code;
  const JsonValue* symbol = path(chosen, {"data", "next_1_hours", "summary", "symbol_code"});
  if (symbol && symbol->kind == JsonKind::String) code = symbol->text;

  SymbolMeaning meaning = symbolMeaning(code);
  r.level = meaning.level;
  r.label = meaning.label;
  r.snowOutside = meaning.snowOutside;
  r.wind = windFromForecast(from, speed);
  r.windKmh = 3.6 * speed;
  r.temperatureC = temperature;
  r.valid = true;
  return r;
}

std::string forecastObject(double latitude, double longitude) {
  return "/weatherapi/locationforecast/2.0/compact?lat=" + writeDecimal(latitude, 3) +
         "&lon=" + writeDecimal(longitude, 3);
}

ForecastReading forecastFromAnswer(bool completed, int status, std::string_view body, int64_t now) {
  ForecastReading r;
  if (completed && status == 200) r = forecastParse(body, now);
  r.statusCode = status;
  return r;
}
