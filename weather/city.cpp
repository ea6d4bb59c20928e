#include "weather/city.h"

#include <cmath>
#include <memory>
#include <optional>
#include <utility>

#include "net/form.h"
#include "net/json.h"
#include "weather/numbers.h"

namespace {

std::optional<double> coordinate(const JsonValue* v) {
  if (!v) return std::nullopt;
  if (v->kind == JsonKind::Number) return std::isfinite(v->number) ? std::optional<double>(v->number) : std::nullopt;
  if (v->kind == JsonKind::String) return readDecimal(v->text);
  return std::nullopt;
}

}  // namespace

std::string_view trimCityText(std::string_view text) {
  size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

std::string citySearchObject(std::string_view query, std::string_view languageCode) {
  return "/search?format=jsonv2&limit=1&q=" + formEscape(query) + "&accept-language=" + formEscape(languageCode);
}

CitySearchResult cityParse(std::string_view body) {
  CitySearchResult r;
  std::unique_ptr<JsonValue> root = jsonParse(body);
  if (!root || root->kind != JsonKind::Array || root->items.empty()) return r;
  const JsonValue& hit = root->items.front();
  std::optional<double> lat = coordinate(member(hit, "lat"));
  std::optional<double> lon = coordinate(member(hit, "lon"));
  if (!lat || !lon) return r;

  const JsonValue* name = member(hit, "name");
  if (name && name->kind == JsonKind::String && !name->text.empty()) {
    r.name = name->text;
  } else if (const JsonValue* display = member(hit, "display_name"); display && display->kind == JsonKind::String) {
    r.name = display->text.substr(0, display->text.find(','));
  }
  r.latitude = *lat;
  r.longitude = *lon;
  bool onGlobe = std::fabs(*lat) <= 90 && std::fabs(*lon) <= 180;
  r.found = onGlobe && (*lat != 0 || *lon != 0);
  return r;
}

CitySearchResult cityFromAnswer(bool completed, int status, std::string_view body, std::string query) {
  CitySearchResult r;
  if (completed && status == 200) r = cityParse(body);
  r.requestOk = completed;
  r.statusCode = status;
  r.query = std::move(query);
  return r;
}

const char* citySearchErrorKey(const CitySearchResult& r) {
  if (!r.requestOk || (r.statusCode != 200 && r.statusCode != 0)) return kCityNoServerKey;
  return kCityNotFoundKey;
}
