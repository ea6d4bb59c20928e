#pragma once
// Finding a city by name through the geocoding service: the request, the
// reading of its answer and the texts shown when nothing came of it.
#include <string>
#include <string_view>

// The worker's answer, handed to the main thread by value.
struct CitySearchResult {
  bool found = false;
  std::string name;  // UTF-8; may be empty (the typed text stands in)
  double latitude = 0, longitude = 0;
  bool requestOk = false;  // the exchange completed
  int statusCode = 0;
  std::string query;  // the text as searched
};

// Spaces and tabs cut off at both ends.
std::string_view trimCityText(std::string_view text);

// The request's path and query: the query's UTF-8 bytes percent-encoded and
// the two-letter UI language code.
std::string citySearchObject(std::string_view query, std::string_view languageCode);
inline constexpr char kCitySearchHeaders[] = "Accept: application/json\r\n";

// The first hit of an answer body: `lat` and `lon` as strings or numbers,
// `name` or else `display_name` up to its first comma. Found only with
// coordinates that are not both 0 and lie on the globe (latitude within
// ±90°, longitude within ±180°).
CitySearchResult cityParse(std::string_view body);

// What the worker posts for an exchange: parsed only for a completed 200.
CitySearchResult cityFromAnswer(bool completed, int status, std::string_view body, std::string query);

// The Ukrainian source text to show for a search that found nothing: the
// server could not be reached (no exchange, or a status other than 200 and 0),
// or the city is not known.
const char* citySearchErrorKey(const CitySearchResult& result);
inline constexpr char kCityNotFoundKey[] = "Місто не знайдено. Спробуйте інше написання, напр. «Київ».";
inline constexpr char kCityNoServerKey[] =
    "Не вдається з’єднатися із сервером. Перевірте підключення до інтернету й спробуйте ще раз.";
