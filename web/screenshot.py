"""Regenerates the README's picture of the page: the shipped example, two-sided 95% limits.

    cmake --preset wasm && cmake --build --preset wasm
    /usr/bin/python3 web/screenshot.py build/wasm/site docs/browser.png
"""
import os
import sys
import tempfile

from selenium.webdriver.support.ui import WebDriverWait

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "tests"))
from browser import start_browser, start_server  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def main():
    site, out = sys.argv[1], sys.argv[2]
    with open(os.path.join(ROOT, "examples", "concentrations.txt"), encoding="utf-8") as f:
        example = f.read()
    server = start_server(site)
    with tempfile.TemporaryDirectory() as profile:
        driver = start_browser("/usr/bin/chromium", "/usr/bin/chromedriver", profile, (1100, 1000))
        try:
            driver.get(f"http://127.0.0.1:{server.server_address[1]}/index.html")
            driver.execute_script(
                "const a = document.getElementById('data'); a.value = arguments[0];"
                "a.dispatchEvent(new Event('input'));", example)
            WebDriverWait(driver, 120).until(lambda d: d.execute_script(
                "return document.getElementById('state').dataset.state") == "done")
            driver.save_screenshot(out)
        finally:
            driver.quit()
            server.shutdown()


if __name__ == "__main__":
    main()
