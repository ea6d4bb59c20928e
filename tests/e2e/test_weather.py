"""Snow like outside against a local HTTP server of the test's own: the
forecast and city-search answers are the real ones kept in tests/fixtures,
served on 127.0.0.1 through the "WeatherServer" and "CityServer" overrides.
Nothing here reaches the internet."""

from __future__ import annotations

import http.server
import re
import time
from pathlib import Path

import harness
from harness import wait_until

QUILLAR_KEY = r"HKCU\Software\Quillar"
FIXTURES = Path(__file__).resolve().parents[1] / "fixtures"
OSLO = (FIXTURES / "met-oslo-2026-02-06-snow-compact.json").read_bytes()
PORTLAND = (FIXTURES / "nominatim-portland-head-light-jsonv2.json").read_bytes()
FORECAST_PATH = "/weatherapi/locationforecast/2.0/compact"
USER_AGENT = re.compile(r"^Kovra/0\.9\.20 \(Windows; \+\S+\)$")
WEATHER_LINE = re.compile(r"^weather: \S.*, -?\d+\.\d°, wind -?\d\.\d\d, snow outside [01]$")
KEEPING = re.compile(r"^weather: no answer \(HTTP (\d+)\) — keeping the last one$")


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        self.server.requests.append({"path": self.path, "headers": dict(self.headers.items())})
        route = self.path.partition("?")[0]
        mode = self.server.modes.get(route, "ok")
        body = self.server.bodies.get(route, b"[]")
        if mode == "hangup":  # no answer at all
            self.close_connection = True
            self.connection.close()
            return
        status = 500 if mode == "500" else 200
        if mode == "500":
            body = b"Internal Server Error"
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True
        # "cut": the whole length is announced, half the body arrives.
        self.wfile.write(body[:len(body) // 2] if mode == "cut" else body)
        self.wfile.flush()


class Server(harness.LocalHttpServer):
    def __init__(self):
        super().__init__(Handler, modes={}, bodies={FORECAST_PATH: OSLO, "/search": PORTLAND})


def store_city(s, server: Server, name="Oslo", lat="59.9139", lon="10.7522", on=1):
    s.reg_add(QUILLAR_KEY, "WeatherServer", "REG_SZ", server.base)
    s.reg_add(QUILLAR_KEY, "CityServer", "REG_SZ", server.base)
    s.reg_add(QUILLAR_KEY, "RealWeather", "REG_DWORD", on)
    s.reg_add(QUILLAR_KEY, "CityName", "REG_SZ", name)
    s.reg_add(QUILLAR_KEY, "CityLat", "REG_SZ", lat)
    s.reg_add(QUILLAR_KEY, "CityLon", "REG_SZ", lon)


# ------------------------------------------------------------------- tests

def test_stored_city_sends_one_forecast_request_at_start(s):
    with Server() as server:
        store_city(s, server)
        proc = s.start_resident()
        s.wait_log(f"weather: server {server.base} (WeatherServer)", proc=proc)
        line = s.wait_log(WEATHER_LINE, timeout=40, proc=proc)
        # Which step counts depends on the wall clock; any of them is a reading.
        assert "snow outside" in line, line
        reqs = server.requests_to(FORECAST_PATH)
        assert len(reqs) == 1, server.httpd.requests
        assert reqs[0]["path"] == FORECAST_PATH + "?lat=59.914&lon=10.752", reqs[0]["path"]
        assert reqs[0]["headers"].get("Accept") == "application/json", reqs[0]["headers"]
        assert USER_AGENT.match(reqs[0]["headers"].get("User-Agent", "")), reqs[0]["headers"]
        s.quit_resident(proc)


def test_option_off_or_no_city_sends_nothing(s):
    with Server() as server:
        store_city(s, server, on=0)
        proc = s.start_resident()
        s.wait_log("weather: server", proc=proc)
        s.quit_resident(proc)
        assert server.requests_to(FORECAST_PATH) == [], server.httpd.requests
    with Server() as server:
        store_city(s, server, lat="0", lon="0")
        proc = s.start_resident()
        s.wait_log("weather: server", proc=proc)
        s.quit_resident(proc)
        assert server.requests_to(FORECAST_PATH) == [], server.httpd.requests


def test_failed_answers_keep_the_last_one(s):
    for mode, status in (("500", 500), ("cut", 200), ("hangup", 0)):  # a cut body came with its 200
        with Server() as server:
            server.httpd.modes[FORECAST_PATH] = mode
            store_city(s, server)
            proc = s.start_resident()
            line = s.wait_log(KEEPING, timeout=40, proc=proc)
            assert KEEPING.match(line)[1] == str(status), (mode, line)
            assert not any(WEATHER_LINE.match(m) for m in s.messages()), mode
            assert len(server.requests_to(FORECAST_PATH)) == 1, (mode, server.httpd.requests)
            s.quit_resident(proc)


def test_plain_http_override_to_another_host_is_refused(s):
    s.reg_add(QUILLAR_KEY, "WeatherServer", "REG_SZ", "http://weather.example.org")
    s.reg_add(QUILLAR_KEY, "RealWeather", "REG_DWORD", 0)
    proc = s.start_resident()
    s.wait_log("weather: WeatherServer http://weather.example.org refused, using https://api.met.no", proc=proc)
    s.quit_resident(proc)


# --------------------------------------------------------- the city field

CITY_FIELD, FIND_CITY, SANTA = 90, 27, 17


def type_city(s, text: str, enter=True):
    """Clicks into the window's city field, types `text` and (with `enter`)
    presses Enter, as a user does."""
    from test_settings_window import layout, scroll_to, xdo
    scroll_to(s, FIND_CITY)  # the field stands beside its button
    (ox, oy), areas = layout(s)
    x, y, w, h = areas[(CITY_FIELD, 0)]
    xdo(s, "mousemove", ox + x + w // 2, oy + y + h // 2)
    xdo(s, "click", "1")
    time.sleep(0.4)
    xdo(s, "key", "ctrl+a", "BackSpace")
    if text.isascii() and text.isprintable():
        xdo(s, "type", "--delay", "60", text)
    else:  # Wine takes no typed "ó" or tab from xdotool: pasted, as a user may do
        s.helper.ok("clipboard " + text.encode().hex())
        xdo(s, "key", "ctrl+v")
    time.sleep(0.4)
    if enter:
        xdo(s, "key", "Return")


def test_city_typed_in_the_field_is_searched_and_stored(s):
    from test_settings_window import open_window
    with Server() as server:
        store_city(s, server, name="", lat="0", lon="0")
        proc = open_window(s)
        type_city(s, "  Kraków\t")
        line = s.wait_log(re.compile(r"^town: (?!server )"), timeout=30, proc=proc)
        reqs = server.requests_to("/search")
        assert len(reqs) == 1, server.httpd.requests
        assert reqs[0]["path"] == "/search?format=jsonv2&limit=1&q=Krak%C3%B3w&accept-language=en", reqs[0]["path"]
        assert USER_AGENT.match(reqs[0]["headers"].get("User-Agent", "")), reqs[0]["headers"]
        # The fixture's place, its name rule and "%.4f" in the registry.
        assert line.startswith("town: Portland Head Light") and line.endswith("(43.623, -70.208)"), line
        assert s.reg_value(QUILLAR_KEY, "CityLat") == ("REG_SZ", "43.6231"), s.reg_query(QUILLAR_KEY)
        assert s.reg_value(QUILLAR_KEY, "CityLon") == ("REG_SZ", "-70.2079"), s.reg_query(QUILLAR_KEY)
        assert s.reg_value(QUILLAR_KEY, "CityName")[1].startswith("Portland Head Light"), s.reg_query(QUILLAR_KEY)
        # The new place's forecast follows at once.
        wait_until(lambda: server.requests_to(FORECAST_PATH), 30, "a forecast request for the new city")
        s.quit_resident(proc)


def test_city_not_found_shows_the_error_under_the_field(s):
    import pixels
    from test_settings_window import layout, open_window
    for lang in ("en", "de"):
        with Server() as server:
            server.httpd.bodies["/search"] = b"[]"
            store_city(s, server, name="", lat="0", lon="0")
            proc = open_window(s, lang=lang)
            type_city(s, "Nowhereville")
            (ox, oy), areas = layout(s)
            x, y, w, h = areas[(CITY_FIELD, 0)]
            # Under the field: the error in its warm red, where the status was grey.
            strip = (ox + x - 12, oy + y + h + 10, ox + x + w, oy + y + h + 48)
            red = lambda r, g, b: r > 180 and r > g + 50 and r > b + 50
            s.wait_log("town lookup failed (HTTP 200)", timeout=30, proc=proc)
            img = pixels.screenshot_until(s, f"weather-city-not-found-{lang}",
                                          lambda im: len(pixels.matching(im, red, strip, floor=150)) > 40, 20)
            assert len(pixels.matching(img, red, strip, floor=150)) > 40, "the error text shows under the field"
            assert len(server.requests_to("/search")) == 1, server.httpd.requests
            assert s.reg_value(QUILLAR_KEY, "CityLat") == ("REG_SZ", "0"), s.reg_query(QUILLAR_KEY)
            s.quit_resident(proc)


REAL_WEATHER = 26
FOLLOWS = re.compile(r"^the snow follows the weather: level [012], wind -?\d\.\d\d(, no snow outside)?$")


def test_switched_on_in_the_window_the_snow_follows_the_city_found(s):
    """The user's flow: "Snow like outside" switched on in the window, a city
    typed and "Find city" pressed; its forecast then leads the snow."""
    from test_settings_window import click, open_window, scroll_to
    with Server() as server:
        store_city(s, server, name="", lat="0", lon="0", on=0)
        proc = open_window(s)
        scroll_to(s, REAL_WEATHER)
        click(s, REAL_WEATHER)
        wait_until(lambda: s.reg_value(QUILLAR_KEY, "RealWeather") == ("REG_DWORD", 1), 15, "RealWeather = 1 stored")
        assert server.requests_to(FORECAST_PATH) == [], "no city yet, no forecast"
        type_city(s, "Portland", enter=False)
        mark = len(s.messages())
        click(s, FIND_CITY)
        town = s.wait_log(re.compile(r"^town: (?!server )"), start=mark, timeout=30, proc=proc)
        assert town.startswith("town: Portland Head Light"), town
        assert server.requests_to("/search")[0]["path"].endswith("&q=Portland&accept-language=en")
        s.wait_log(WEATHER_LINE, start=mark, timeout=30, proc=proc)
        s.wait_log(FOLLOWS, start=mark, timeout=10, proc=proc)
        assert len(server.requests_to(FORECAST_PATH)) == 1, server.httpd.requests
        # The field shows the city found; the status line under it names the
        # city and its weather.
        wait_until(lambda: s.helper.ok("texts KovraSettings").startswith("Portland Head Light"), 10,
                   "the found city in the field")
        time.sleep(3)
        s.screenshot("weather-status-line")
        s.quit_resident(proc)
