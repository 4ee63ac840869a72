#!/usr/bin/env python3
"""The station's page in a real browser (headless Chromium driven by
WebDriver), against corvane-cli station serving four chargers of
corvane-sim: one refusing block 10, one whose device ID is markup, two slow ones.

The page shows a row per charger and their progress without a reload, the
failed row's reason, the markup as text; Stop from the page needs the token
(cancelled or refused, the job goes on; with it, the job stops); and once
the station is restarted the page says it is reconnecting, then recovers.

  station_page.py BIN_DIR [--screenshot FILE]   (or CORVANE_STATION_SCREENSHOT=FILE)

Exits 77 (skipped) only when Chromium or its driver is not installed.
"""
import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
BOUND = 60  # seconds any one wait may take; the waits end as soon as they hold


def find_browser():
    browser = shutil.which("chromium") or shutil.which("chromium-browser")
    driver = shutil.which("chromedriver")
    return browser, driver


class Station:
    """corvane-cli station as a child process, its page's address read from
    its standard error."""

    def __init__(self, bin_dir, env, args):
        self.err = tempfile.TemporaryFile()
        self.process = subprocess.Popen(
            [os.path.join(bin_dir, "corvane-cli"), "station", *args],
            env=env, stdout=subprocess.DEVNULL, stderr=self.err)
        self.url = None
        deadline = time.monotonic() + BOUND
        while self.url is None and time.monotonic() < deadline:
            self.err.seek(0)
            found = re.search(r"Station page: (http://\S+)", self.err.read().decode())
            if found:
                self.url = found.group(1)
            elif self.process.poll() is not None:
                break
            else:
                time.sleep(0.05)
        if self.url is None:
            self.err.seek(0)
            raise RuntimeError("the station did not start: " + self.err.read().decode())

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        return self.process.wait(timeout=BOUND)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("bin_dir")
    parser.add_argument("--screenshot", default=os.environ.get("CORVANE_STATION_SCREENSHOT"))
    args = parser.parse_args()
    browser, driver_path = find_browser()
    if not browser or not driver_path:
        print("SKIP: chromium or chromedriver is not installed")
        return SKIP
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import WebDriverWait

    scratch = tempfile.TemporaryDirectory(prefix="corvane-station-page-")
    env = dict(os.environ, XDG_STATE_HOME=scratch.name + "/state", HOME=scratch.name)
    token = subprocess.run([os.path.join(args.bin_dir, "corvane-cli"), "station",
                            "--show-token"], env=env, capture_output=True, text=True,
                           check=True).stdout.strip()
    sim = subprocess.Popen(
        [os.path.join(args.bin_dir, "corvane-sim"), "--chargers", "4",
         "--link", scratch.name + "/charger-%d",
         "--fault", "2:--device-id=<b>X</b>", "--fault", "3:--nak-block=10:20",
         # Chargers 1 and 4 take their time, so they are still busy once 3 failed.
         "--fault", "1:--ack-delay=200", "--fault", "4:--ack-delay=200"],
        stdout=subprocess.PIPE, env=env)
    for _ in range(4):
        sim.stdout.readline()  # each "PTY ..." line: its link is there
    try:
        station = Station(args.bin_dir, env, ["--port", scratch.name + "/charger-*",
                                              "--listen", "127.0.0.1:0"])
    except Exception:
        sim.terminate()
        raise

    options = webdriver.ChromeOptions()
    options.binary_location = browser
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu",
                 "--disable-dev-shm-usage", "--window-size=1280,800"):
        options.add_argument(flag)
    driver = webdriver.Chrome(service=Service(driver_path), options=options)
    wait = WebDriverWait(driver, BOUND, poll_frequency=0.1)
    failures = []

    def check(condition, what):
        if not condition:
            failures.append(what)
            print("FAILED: " + what)

    def row(link):
        return driver.find_element(By.CSS_SELECTOR, 'tr[data-slot="%s"]' % link)

    def cell(link, name):
        return row(link).find_element(By.CSS_SELECTOR, "td." + name).text

    def block(link):
        found = re.search(r"block (\d+) of", cell(link, "progress"))
        return int(found.group(1)) if found else 0

    links = [scratch.name + "/charger-%d" % k for k in range(1, 5)]
    try:
        driver.get(station.url)
        driver.execute_script("window.loadedOnce = true;")
        wait.until(lambda d: len(d.find_elements(By.CSS_SELECTOR, "#slot-rows tr")) == 4, "len(d.find_elements(By.CSS_SELECTOR, \"#slot-rows tr\")) == 4")
        wait.until(lambda d: d.find_element(By.ID, "link").text == "Live", "d.find_element(By.ID, \"link\").text == \"Live\"")
        wait.until(lambda d: block(links[0]) >= 5, "block(links[0]) >= 5")
        first = block(links[0])
        wait.until(lambda d: block(links[0]) >= first + 5, "block(links[0]) >= first + 5")
        check(driver.execute_script("return window.loadedOnce === true;"),
              "progress advanced without a reload")

        wait.until(lambda d: cell(links[2], "state") == "FAILED", "cell(links[2], \"state\") == \"FAILED\"")
        check("block 10 of 101" in cell(links[2], "reason"),
              "the failed row says why: " + cell(links[2], "reason"))
        check(cell(links[1], "device") == "<b>X</b>",
              "the markup device ID shows literally: " + cell(links[1], "device"))
        check(not driver.find_elements(By.CSS_SELECTOR, "#slots b"),
              "no b element in the table")
        if args.screenshot:
            wait.until(lambda d: d.find_element(By.ID, "tally-failed").text == "1",
                       "the tally counts the failure")
            driver.save_screenshot(args.screenshot)

        # Stop without the token: cancelled, then refused. The job goes on.
        row(links[0]).find_element(By.CSS_SELECTOR, "button.stop").click()
        wait.until(lambda d: d.find_element(By.ID, "token-form").is_displayed(), "d.find_element(By.ID, \"token-form\").is_displayed()")
        driver.find_element(By.ID, "token-cancel").click()
        row(links[3]).find_element(By.CSS_SELECTOR, "button.stop").click()
        driver.find_element(By.ID, "token").send_keys("0" * 64)
        driver.find_element(By.CSS_SELECTOR, "#token-form button[type=submit]").click()
        wait.until(lambda d: d.find_element(By.ID, "notice").text ==
                   "The token was not accepted.")
        check(cell(links[3], "state") == "UPGRADING", "a refused stop leaves the job running")
        # The form is back for the same stop: now with the token.
        driver.find_element(By.ID, "token").send_keys(token)
        driver.find_element(By.CSS_SELECTOR, "#token-form button[type=submit]").click()
        wait.until(lambda d: cell(links[3], "state") == "STOPPED", "cell(links[3], \"state\") == \"STOPPED\"")
        wait.until(lambda d: cell(links[0], "state") == "UPGRADED", "cell(links[0], \"state\") == \"UPGRADED\"")
        check(cell(links[1], "state") == "UPGRADED", "the markup charger was upgraded")
        wait.until(lambda d: d.find_element(By.ID, "tally-upgraded").text == "2", "d.find_element(By.ID, \"tally-upgraded\").text == \"2\"")

        # The station goes and comes back: the page reconnects by itself.
        check(station.stop() == 0, "a stopped station exits 0")
        wait.until(lambda d: d.find_element(By.ID, "link").text == "Reconnecting\u2026", "d.find_element(By.ID, \"link\").text == \"Reconnecting\u2026\"")
        port = station.url.rsplit(":", 1)[1].strip("/")
        station = Station(args.bin_dir, env, ["--simulate", "--chargers", "1",
                                              "--listen", "127.0.0.1:" + port])
        wait.until(lambda d: d.find_element(By.ID, "link").text == "Live", "d.find_element(By.ID, \"link\").text == \"Live\"")
        wait.until(lambda d: len(d.find_elements(By.CSS_SELECTOR, "#slot-rows tr")) == 1, "len(d.find_elements(By.CSS_SELECTOR, \"#slot-rows tr\")) == 1")
        check(driver.execute_script("return window.loadedOnce === true;"),
              "the page recovered without a reload")
    except Exception as error:  # a wait that ran out: say where, and what the page showed
        failures.append(repr(error))
        print("FAILED: %r %s" % (error, getattr(error, "msg", "")))
        print(driver.find_element(By.TAG_NAME, "body").text)
    finally:
        driver.quit()
        station.stop()
        sim.terminate()
        sim.wait(timeout=BOUND)
    print("%d passed, %d failed" % (0 if failures else 1, 1 if failures else 0))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
