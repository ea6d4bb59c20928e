#pragma once
// Snow like outside: the forecast for the chosen city on worker threads, the
// city search, and what the frame tick and the settings window read. Main
// thread only; workers hand their answers back through postToMain.
#include <functional>
#include <string>

#include "weather/weather_state.h"

struct WeatherHooks {
  // After every applied change (answer, search start and end, option): the
  // settings window repaints its status line and error text.
  std::function<void()> changed;
  // A new city was found and stored: the settings window's city field takes
  // weatherCityName(), and a time-of-day wallpaper is applied again.
  std::function<void()> cityChanged;
  // The UI text lookup (tr) for the status line and the error text; without
  // it they stay in their Ukrainian source form.
  TextLookup translate = nullptr;
};

// Once at start-up, before the one-minute timer: reads RealWeather, CityName,
// CityLat, CityLon and the WeatherServer/CityServer overrides, then asks for
// a forecast when the option is on and a city is stored. The shell puts
// weatherCityName() into the city field afterwards.
void weatherInit(WeatherHooks hooks);
// Starts a forecast request unless one runs, the option is off or no city is set.
void weatherFetch();
// The one-minute timer: a new forecast 30 minutes after the last answer.
void weatherTick();

bool realWeather();
void setRealWeather(bool on);
// On, and a forecast is held: the frame tick then takes weatherReading().
bool weatherActive();
WeatherReading weatherReading();
// The chosen city's coordinates; false when there is none.
bool cityLocation(double& latitude, double& longitude);
const std::string& weatherCityName();

// From the settings window's "Find city" or Enter: trims the text and
// searches it, unless it is blank or a search runs.
void weatherFindCity(const std::string& text);
bool citySearchBusy();

// The status line under "Snow like outside", in the UI language.
std::string weatherStatusText();
// The text under the city field; empty when there is nothing to say.
std::string weatherSearchError();
