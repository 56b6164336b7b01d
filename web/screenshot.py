"""Regenerates the README's pictures of the page at 1280 x 800: the measurements tab with the
shipped example against a limit value of 20 (docs/browser.png), and the planning tab
(docs/planning.png).

    cmake --preset wasm && cmake --build --preset wasm
    /usr/bin/python3 web/screenshot.py build/wasm/site docs
"""
import os
import sys
import tempfile

from selenium.webdriver.support.ui import WebDriverWait

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "tests"))
from browser import start_browser, start_server  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def wait_done(driver, element_id):
    WebDriverWait(driver, 120).until(lambda d: d.execute_script(
        f"return document.getElementById('{element_id}').dataset.state") == "done")


def main():
    site, out = sys.argv[1], sys.argv[2]
    with open(os.path.join(ROOT, "examples", "concentrations.txt"), encoding="utf-8") as f:
        example = f.read()
    server = start_server(site)
    base = f"http://127.0.0.1:{server.server_address[1]}/index.html"
    with tempfile.TemporaryDirectory() as profile:
        driver = start_browser("/usr/bin/chromium", "/usr/bin/chromedriver", profile)
        driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
            "width": 1280, "height": 800, "deviceScaleFactor": 1, "mobile": False})
        try:
            driver.get(base + "?limit=20&unit=%C2%B5g%2FL&kind=upper&confidence=0.95")
            driver.execute_script(
                "const a = document.getElementById('data'); a.value = arguments[0];"
                "a.dispatchEvent(new Event('input'));", example)
            wait_done(driver, "state")
            driver.save_screenshot(os.path.join(out, "browser.png"))
            driver.get(base + "?tab=plan&gsd=2.5&ratio=0.5&statistic=mean&confidence=0.95&power=0.8")
            wait_done(driver, "plan-state")
            driver.save_screenshot(os.path.join(out, "planning.png"))
        finally:
            driver.quit()
            server.shutdown()


if __name__ == "__main__":
    main()
